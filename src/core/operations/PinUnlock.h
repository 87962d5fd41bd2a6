#pragma once
// Unlocking a locked recorder: the recorder announces itself with "$R5,PASSWORD,<name>,<challenge>"
// (the session marks it connected and locked); the user types the four-digit PIN into the PIN form
// and "$R5,PIN,<response>\r\n" goes out, the response made from the PIN, the name and the challenge
// with the maker's table (PinTable.h). The recorder answers "$R5,ACK,PIN" (the session starts
// again) or prompts once more.
//
// No user interface here: the form is drawn by a front end that follows PinUnlockListener and calls
// submit(); messages go through the user-interface port.
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>

#include "operations/PinTable.h"
#include "session/Host.h"

namespace recdesk::operations {

struct PinPrompt {
  std::string deviceName;     // as shown (device text escaped)
  std::string referenceName;  // the name the response is made from ("R5-" put in front when it has no "-")
  std::string challenge;      // field 3 of the prompt
  std::uint16_t nameNumber = 0;  // the name's leading number
};

class PinUnlockListener {
 public:
  virtual ~PinUnlockListener() = default;
  // The recorder asks for its PIN: show the PIN form (it may already be shown) with the PIN box focused.
  virtual void onPinPrompt(const PinPrompt& /*prompt*/) {}
  // The response went out: the form closes.
  virtual void onPinSent() {}
};

class PinUnlock : public session::SessionObserver {
 public:
  explicit PinUnlock(session::Host& host);
  ~PinUnlock() override;
  PinUnlock(const PinUnlock&) = delete;
  PinUnlock& operator=(const PinUnlock&) = delete;

  void setListener(PinUnlockListener* listener) { listener_ = listener; }
  // The table file to use instead of the settings' "Options" "PinTable" (the command line's choice).
  void setTableFile(std::filesystem::path file) { tableFile_ = std::move(file); }
  // The table file in use: the one set above, else the setting (empty: none).
  std::filesystem::path tableFile() const;

  // The last prompt of this session, and whether the PIN form is shown.
  const std::optional<PinPrompt>& prompt() const { return prompt_; }
  bool formShown() const { return formShown_; }
  std::size_t promptsSeen() const { return prompts_; }
  std::size_t responsesSent() const { return sent_; }

  // The PIN form's OK: checks the PIN, makes the response and sends it. False when nothing was sent:
  // the user has been told why (`lastError()` holds the sentence) and the form stays.
  bool submit(const std::string& pin);
  const std::string& lastError() const { return lastError_; }

  // SessionObserver
  void onSessionReset() override;

 private:
  void onPrompt(const std::string& reply);
  bool refuse(const std::string& text, bool warning);

  session::Host& host_;
  PinUnlockListener* listener_ = nullptr;
  std::filesystem::path tableFile_;
  std::optional<PinPrompt> prompt_;
  bool formShown_ = false;
  std::size_t prompts_ = 0;
  std::size_t sent_ = 0;
  std::string lastError_;
};

}  // namespace recdesk::operations
