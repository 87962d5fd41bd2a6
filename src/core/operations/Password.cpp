#include "operations/Password.h"

#include "lang/Strings.h"
#include "operations/PinTable.h"
#include "ports/UserInterface.h"
#include "session/Protocol.h"

namespace recdesk::operations {

using session::ReplyId;

std::string_view passwordCharacters(bool capability) { return capability ? "1234567890" : "123456789"; }

std::string filterPasswordBox(std::string_view typed, bool capability) {
  const std::string_view allowed = passwordCharacters(capability);
  std::string kept;
  for (const char c : typed) {
    if (kept.size() == 4 || allowed.find(c) == std::string_view::npos) break;
    kept.push_back(c);
  }
  return kept;
}

bool isFourWithoutBlank(std::string_view text) {
  return text.size() == 4 && text.find(' ') == std::string_view::npos && text.find('\t') == std::string_view::npos;
}

// ---- the forms -----------------------------------------------------------------------------------------

void PasswordForm::setText(Box b, std::string_view typed) {
  if (!enabled(b)) return;
  box(b) = filterPasswordBox(typed, capability_);
}

void PasswordForm::setUseDefault(bool use) {
  if (kind_ != Kind::Full) return;
  useDefault_ = use;
  const std::string value = use ? std::string(kDefaultPassword) : std::string();
  new_ = value;
  confirm_ = value;
}

PasswordForm::Verdict PasswordForm::refuse(Box b, TextId message) {
  box(b).clear();
  return Verdict{false, message, b};
}

PasswordForm::Verdict PasswordForm::validate() {
  const TextId rule = capability_ ? TextId::PasswordRuleWithZero : TextId::PasswordRuleWithoutZero;
  std::string oldPassword(kDefaultPassword);
  if (kind_ == Kind::Full) {
    oldPassword = trimBlanks(old_);
    if (oldPassword.empty()) oldPassword = kDefaultPassword;
    if (!isFourWithoutBlank(oldPassword)) return refuse(Box::Old, rule);
  }
  const std::string newPassword = trimBlanks(new_);
  if (!isFourWithoutBlank(newPassword)) return refuse(Box::New, rule);
  const std::string confirmation = trimBlanks(confirm_);
  if (!isFourWithoutBlank(confirmation) || confirmation != newPassword)
    return refuse(Box::Confirm, TextId::PasswordConfirmationDiffers);
  checkedOld_ = oldPassword;
  checkedNew_ = newPassword;
  return Verdict{};
}

std::string PasswordForm::changeLine() const {
  if (kind_ == Kind::NewOnly) return "$R5,PWD," + std::string(kDefaultPassword) + "," + checkedNew_ + "\r\n";
  return "$R5,PWD," + checkedOld_ + "," + checkedNew_ + "\r\n";
}

// ---- the conversation ----------------------------------------------------------------------------------

PasswordChange::PasswordChange(session::Host& host) : host_(host) {
  host_.addObserver(this);
  host_.setReplyHandler(ReplyId::AckPwd, [this](const std::string& r) { onReply(r, true); });
  host_.setReplyHandler(ReplyId::NakPwd, [this](const std::string& r) { onReply(r, false); });
}

PasswordChange::~PasswordChange() {
  host_.setReplyHandler(ReplyId::AckPwd, {});
  host_.setReplyHandler(ReplyId::NakPwd, {});
  host_.removeObserver(this);
}

bool PasswordChange::start() {
  form_.reset();
  result_.reset();
  changeSent_ = false;
  const std::string probe = "$R5,PWD," + std::string(kDefaultPassword) + "," + std::string(kDefaultPassword) + "\r\n";
  if (!host_.sendLine(probe, true)) return false;
  probe_ = true;
  return true;
}

PasswordForm PasswordChange::makeForm(PasswordForm::Kind kind) const {
  return PasswordForm(kind, host_.info().firmwareCapability);
}

bool PasswordChange::submit(PasswordForm& form) {
  const PasswordForm::Verdict verdict = form.validate();
  if (!verdict.ok) {
    host_.ui().message(lang::text(verdict.message), lang::text(TextId::AppName), ports::Icon::Information,
                       ports::Buttons::Ok);
    return false;
  }
  form_.reset();
  if (!host_.sendLine(form.changeLine(), true)) return false;
  changeSent_ = true;
  return true;
}

void PasswordChange::onReply(const std::string& reply, bool accepted) {
  if (probe_) {
    probe_ = false;
    form_ = accepted ? PasswordForm::Kind::NewOnly : PasswordForm::Kind::Full;
    if (listener_) listener_->onPasswordForm(*form_);
    return;
  }
  TextId text = TextId::PasswordChangeRefused;
  if (accepted) {
    // The recorder took a password with every digit: it knows the extended ones.
    host_.setFirmwareCapability(true);
    constexpr std::string_view kAck = "$R5,ACK,PWD,";
    const std::size_t at = reply.find(kAck);
    const bool toDefault = at != std::string::npos &&
                           std::string_view(reply).substr(at + kAck.size(), kDefaultPassword.size()) == kDefaultPassword;
    text = toDefault ? TextId::PasswordResetToDefault : TextId::PasswordChanged;
  }
  result_ = text;
  host_.log(" " + lang::text(text) + "\r\n");
  host_.ui().message(lang::text(text), lang::text(TextId::AppName),
                     accepted ? ports::Icon::Information : ports::Icon::Warning, ports::Buttons::Ok);
  if (listener_) listener_->onPasswordResult(text);
}

void PasswordChange::onSessionReset() {
  probe_ = false;
  form_.reset();
}

}  // namespace recdesk::operations
