#include "operations/PinUnlock.h"

#include <algorithm>

#include "app/Settings.h"
#include "lang/Strings.h"
#include "ports/UserInterface.h"
#include "session/Protocol.h"
#include "session/Replies.h"

namespace recdesk::operations {

using session::ReplyId;

PinUnlock::PinUnlock(session::Host& host) : host_(host) {
  host_.addObserver(this);
  host_.setReplyHandler(ReplyId::Password, [this](const std::string& reply) {
    if (const auto builtIn = host_.builtInReplyHandler(ReplyId::Password)) builtIn(reply);
    onPrompt(reply);
  });
}

PinUnlock::~PinUnlock() {
  host_.setReplyHandler(ReplyId::Password, {});
  host_.removeObserver(this);
}

std::filesystem::path PinUnlock::tableFile() const {
  if (!tableFile_.empty()) return tableFile_;
  return host_.settings().pinTable;
}

void PinUnlock::onPrompt(const std::string& reply) {
  PinPrompt p;
  std::string name = session::field(reply, 2).substr(0, session::kMaxDeviceName);
  if (name.find('-') == std::string::npos) name = "R5-" + name;
  p.referenceName = name;
  p.deviceName = session::visibleText(name);
  p.challenge = session::field(reply, 3).substr(0, 16);
  const long long number = session::leadingNumber(session::field(reply, 2));
  p.nameNumber = static_cast<std::uint16_t>(std::clamp<long long>(number, 0, 0xFFFF));
  prompt_ = p;
  formShown_ = true;
  ++prompts_;
  if (listener_) listener_->onPinPrompt(*prompt_);
}

bool PinUnlock::refuse(const std::string& text, bool warning) {
  lastError_ = text;
  host_.log(" " + text + "\r\n");
  host_.ui().message(text, lang::text(TextId::AppName), warning ? ports::Icon::Warning : ports::Icon::Information,
                     ports::Buttons::Ok);
  return false;
}

bool PinUnlock::submit(const std::string& pin) {
  lastError_.clear();
  // A locked recorder prompts before it tells its version: until the version is known, a PIN may
  // hold every digit (a recorder whose firmware takes no "0" simply refuses such a PIN).
  const bool capability = host_.info().firmwareCapability || !host_.info().versionKnown;
  const std::string trimmed = trimBlanks(pin);
  if (!validPin(trimmed, capability))
    return refuse(lang::text(capability ? TextId::PinRuleWithZero : TextId::PinRuleWithoutZero), false);
  if (!prompt_) return false;  // nothing asked for a PIN

  const std::filesystem::path file = tableFile();
  std::optional<PinTable> table;
  if (!file.empty()) {
    std::string error;
    table = PinTable::load(file, error);
    if (!table) return refuse(error, true);
  }
  const PinResponse response =
      pinResponse(table ? &*table : nullptr, file.string(), prompt_->referenceName, prompt_->challenge, trimmed);
  if (!response.ok()) return refuse(response.error, true);

  host_.log(" " + lang::text(TextId::PinSent) + "\r\n");
  // No reply wait: the recorder answers with its acknowledgement or a new prompt. The keep-alive
  // notices a recorder that says nothing.
  if (!host_.sendLine("$R5,PIN," + response.digits + "\r\n", false, [this] { host_.startKeepAlive(); }))
    return false;
  ++sent_;
  formShown_ = false;
  if (listener_) listener_->onPinSent();
  return true;
}

void PinUnlock::onSessionReset() {
  prompt_.reset();
  formShown_ = false;
}

}  // namespace recdesk::operations
