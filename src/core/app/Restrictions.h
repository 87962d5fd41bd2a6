#pragma once
// Access restrictions: a mask of nine bits that lock commands behind a password while restrictions are
// active, the dialog that changes them (as a model), its password prompt and the new-password rules.
#include <array>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>

#include "lang/TextId.h"

namespace recdesk::ports {
class UserInterface;
}

namespace recdesk::app {

class SettingsFile;
struct Settings;

// The restriction bits and what each guards.
namespace restriction {
inline constexpr std::uint32_t kOptions = 1;
inline constexpr std::uint32_t kProfileEditor = 2;
inline constexpr std::uint32_t kFormat = 4;  // format and flash check
inline constexpr std::uint32_t kPasswordReset = 8;
inline constexpr std::uint32_t kLedTests = 16;
inline constexpr std::uint32_t kProfiles = 32;  // profile drop-down and apply
inline constexpr std::uint32_t kTimer = 64;
inline constexpr std::uint32_t kDownload = 128;  // downloads and the playback bar
inline constexpr std::uint32_t kTransmitter = 256;
inline constexpr std::uint32_t kAll = 511;
}  // namespace restriction

struct RestrictionBit {
  std::uint32_t bit;
  const char* name;    // a short name (command-line use)
  const char* guards;  // the commands it guards, in words
};
// The nine bits in the dialog's order of values (1, 2, 4 … 256).
const std::array<RestrictionBit, 9>& restrictionBits();

struct Restrictions {
  bool active = false;
  std::uint32_t mask = 0;
  std::string password;

  // A command guarded by `bit` is allowed while restrictions are off or the bit is clear.
  bool allowed(std::uint32_t bit) const { return !active || (mask & bit) == 0; }
  bool operator==(const Restrictions&) const = default;
};
Restrictions restrictionsOf(const Settings& settings);

// Passwords are compared exactly as typed (letter case counts).
inline bool passwordMatches(const std::string& stored, const std::string& typed) {
  return stored == typed;
}
// A new password and its confirmation: 57961 when empty, 58621 when it has blanks at its ends or
// control characters (the settings file could not give it back as typed), 57962 when they differ,
// else nothing.
std::optional<TextId> newPasswordProblem(const std::string& password, const std::string& confirmation);

// Asks for the restriction password until it is typed right (a wrong one shows message 57960 and asks
// again) or the question is cancelled; `done(true)` when it was right.
void askRestrictionPassword(ports::UserInterface& ui, const std::string& stored,
                            std::function<void(bool)> done);

// The restrictions dialog.
class RestrictionsModel {
 public:
  // For the reduced recorder the profile-editor choice is cleared and unavailable.
  RestrictionsModel(const Restrictions& current, bool reducedVariant, ports::UserInterface& ui);

  // Opening: while restrictions are active the password is asked first; `done(false)` means the
  // dialog closes as cancelled.
  void open(std::function<void(bool opened)> done);

  bool active() const { return active_; }
  void setActive(bool on) { active_ = on; }
  // The nine choices: enabled while the caption box is on, except an unavailable one.
  bool choice(std::uint32_t bit) const { return (choices_ & bit) != 0; }
  void setChoice(std::uint32_t bit, bool on);
  bool available(std::uint32_t bit) const { return !(reduced_ && bit == restriction::kProfileEditor); }
  bool choiceEnabled(std::uint32_t bit) const { return active_ && available(bit); }
  bool passwordButtonEnabled() const { return active_; }

  // The password button: asks for a new password (typed twice; the front end checks both with
  // newPasswordProblem) and takes it.
  void changePassword(std::function<void(bool changed)> done = {});
  void setPassword(const std::string& password) { password_ = password; }
  const std::string& password() const { return password_; }

  // OK: message 57965 and nothing while the restrictions are switched on without a password; else
  // the record for the main window.
  std::optional<Restrictions> ok() const;

 private:
  ports::UserInterface& ui_;
  bool reduced_;
  bool active_;
  std::uint32_t choices_;
  std::string password_;
  std::string stored_;  // the password that unlocks the dialog
};

// The main window takes a new record: writes "Active", "Config" and "RPW" and keeps them in `settings`.
bool applyRestrictions(Settings& settings, SettingsFile& file, const Restrictions& r,
                       std::string* error = nullptr);

}  // namespace recdesk::app
