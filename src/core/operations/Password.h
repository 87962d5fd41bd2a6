#pragma once
// Changing the recorder's four-character password. The command first probes with the factory
// password ("$R5,PWD,6284,6284\r\n"): an acknowledgement means the recorder still has it, and only
// the new password is asked for; a refusal asks for the old one too. The change line's answer is
// reported with texts 139 (reset to the default), 140 (changed) or 141 (refused).
//
// PasswordForm is the model both forms draw: every box, its filtering while typing, the check box
// of the full form and the checks of OK. PasswordChange runs the conversation; a front end follows
// PasswordListener, shows the form asked for and hands it back with submit() or cancel().
#include <optional>
#include <string>
#include <string_view>

#include "lang/TextId.h"
#include "session/Host.h"

namespace recdesk::operations {

inline constexpr std::string_view kDefaultPassword = "6284";

// The characters a password may hold: "1234567890" with the firmware capability, else "123456789".
std::string_view passwordCharacters(bool capability);
// What a password box keeps of typed text: its leading run of allowed characters, at most four.
std::string filterPasswordBox(std::string_view typed, bool capability);
// Exactly four characters, none of them blank.
bool isFourWithoutBlank(std::string_view text);

class PasswordForm {
 public:
  // The new-password form (the recorder has the default password) or the full form.
  enum class Kind { NewOnly, Full };
  enum class Box { New, Old, Confirm };
  struct Verdict {
    bool ok = true;
    TextId message{};  // when not ok
    Box box = Box::New;  // the box emptied and focused
  };

  PasswordForm(Kind kind, bool capability) : kind_(kind), capability_(capability) {}

  Kind kind() const { return kind_; }
  // Typing into a box: the text is cut as the box cuts it. A box that is disabled keeps its text.
  void setText(Box box, std::string_view typed);
  const std::string& text(Box box) const { return box == Box::New ? new_ : box == Box::Old ? old_ : confirm_; }

  // The full form's check box "use the default password": new and confirmation hold the default,
  // are disabled and shown in clear; the OK caption is text 57723 (57722 when cleared, and both
  // boxes are emptied, enabled and masked again).
  void setUseDefault(bool use);
  bool useDefault() const { return useDefault_; }
  bool enabled(Box box) const { return box == Box::Old || !useDefault_; }
  bool masked(Box box) const { return box == Box::Old || !useDefault_; }
  TextId okCaption() const { return useDefault_ ? TextId::PasswordResetButton : TextId::PasswordChangeButton; }

  // OK: checks the boxes in order (old, new, confirmation; blanks at both ends removed, an empty old
  // password being the default). On failure the box named in the verdict is emptied.
  Verdict validate();
  // The change line for the checked boxes (after a validate() that passed).
  std::string changeLine() const;

 private:
  std::string& box(Box b) { return b == Box::New ? new_ : b == Box::Old ? old_ : confirm_; }
  Verdict refuse(Box b, TextId message);

  Kind kind_;
  bool capability_;
  bool useDefault_ = false;
  std::string new_, old_, confirm_;
  std::string checkedOld_, checkedNew_;
};

class PasswordListener {
 public:
  virtual ~PasswordListener() = default;
  // The probe was answered: show this form (a fresh one, boxes empty).
  virtual void onPasswordForm(PasswordForm::Kind /*kind*/) {}
  // The recorder answered the change line.
  virtual void onPasswordResult(TextId /*result*/) {}
};

class PasswordChange : public session::SessionObserver {
 public:
  explicit PasswordChange(session::Host& host);
  ~PasswordChange() override;
  PasswordChange(const PasswordChange&) = delete;
  PasswordChange& operator=(const PasswordChange&) = delete;

  void setListener(PasswordListener* listener) { listener_ = listener; }

  // The password command: sends the probe. False when it could not be sent.
  bool start();
  bool probeOutstanding() const { return probe_; }
  // The form the probe's answer asked for, while it is open.
  std::optional<PasswordForm::Kind> formWanted() const { return form_; }
  // A new form of the kind asked for, with the session's firmware capability.
  PasswordForm makeForm(PasswordForm::Kind kind) const;
  // The form's OK: validates (the message is shown and false returned when a box is wrong; the form
  // stays) and sends the change line. Cancel sends nothing.
  bool submit(PasswordForm& form);
  void cancel() { form_.reset(); }
  bool changeSent() const { return changeSent_; }
  // The answer to the change line: 139, 140 or 141; nothing before it came.
  const std::optional<TextId>& result() const { return result_; }

  // SessionObserver
  void onSessionReset() override;

 private:
  void onReply(const std::string& reply, bool accepted);

  session::Host& host_;
  PasswordListener* listener_ = nullptr;
  bool probe_ = false;
  bool changeSent_ = false;
  std::optional<PasswordForm::Kind> form_;
  std::optional<TextId> result_;
};

}  // namespace recdesk::operations
