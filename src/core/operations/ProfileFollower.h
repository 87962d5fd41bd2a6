#pragma once
// Keeps the profile list in step with the session: the list is loaded again whenever the connected
// device changes (connected, its type known from the version reply, the reduced variant, the session
// reset), and the recorder's type reply selects the profile it uses. Front ends hear of every change
// through the callback and draw the list.
#include <functional>
#include <string>

#include "app/ProfileStore.h"
#include "session/Host.h"

namespace recdesk::app {
class SettingsFile;
}

namespace recdesk::operations {

class ProfileFollower final : public session::SessionObserver {
 public:
  // `profileIni` is read at each load (the Options may change it).
  ProfileFollower(session::Host& host, app::ProfileStore& store, const app::SettingsFile& settings,
                  std::function<std::string()> profileIni, std::function<void()> changed = {});
  ~ProfileFollower() override;
  ProfileFollower(const ProfileFollower&) = delete;
  ProfileFollower& operator=(const ProfileFollower&) = delete;

  // Loads the list for the device connected now.
  void reload();

  void onInfoChanged() override;
  void onSessionReset() override;
  void onStateChanged() override;

 private:
  void follow();

  session::Host& host_;
  app::ProfileStore& store_;
  const app::SettingsFile& settings_;
  std::function<std::string()> profileIni_;
  std::function<void()> changed_;
  app::ConnectedDevice device_;
  bool typeSeen_ = false;
  std::string typeText_;
};

}  // namespace recdesk::operations
