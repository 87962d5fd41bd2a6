#include "operations/Transmitter.h"

#include <cctype>
#include <cmath>
#include <cstdio>
#include <cstdlib>

#include "lang/Strings.h"
#include "ports/UserInterface.h"
#include "session/Protocol.h"

namespace recdesk::operations {

using session::ReplyId;

namespace {

constexpr std::string_view kQueryTx = "$T7,TX\r\n";
constexpr std::string_view kQueryScr = "$T7,SCR\r\n";
constexpr std::string_view kQueryFrq = "$T7,FRQ\r\n";
constexpr std::string_view kQueryRange = "$T7,RANGE\r\n";

bool isSpace(char c) { return std::isspace(static_cast<unsigned char>(c)) != 0; }

// A field's number as the transmitter writes it (decimal, leading blanks allowed); nothing when it
// does not begin with one or it is not finite.
std::optional<double> leadingReal(const std::string& text) {
  if (text.empty()) return std::nullopt;
  char* end = nullptr;
  const double v = std::strtod(text.c_str(), &end);
  if (end == text.c_str() || !std::isfinite(v)) return std::nullopt;
  return v;
}

}  // namespace

std::optional<double> frequencyMhz(std::string_view text) {
  std::string s(text);
  std::size_t begin = 0, end = s.size();
  while (begin < end && isSpace(s[begin])) ++begin;
  while (end > begin && isSpace(s[end - 1])) --end;
  s = s.substr(begin, end - begin);
  if (s.empty()) return std::nullopt;
  char* stop = nullptr;
  const double v = std::strtod(s.c_str(), &stop);
  if (stop != s.c_str() + s.size() || !std::isfinite(v)) return std::nullopt;
  return v;
}

bool frequencyInRange(double mhz, double lowestHz, double highestHz) {
  const double hz = mhz * 1000000.0;
  return hz >= lowestHz && hz <= highestHz;
}

std::string frequencyText(double hz) {
  char buffer[64];
  std::snprintf(buffer, sizeof buffer, "%.4f", hz / 1000000.0);
  return buffer;
}

bool rangeQueryWanted(std::string_view versionText, bool* readable) {
  // "%*s%g B%d": a word, a real number, any blanks, "B", a whole number.
  const std::string text(versionText);
  std::size_t i = 0;
  while (i < text.size() && isSpace(text[i])) ++i;
  while (i < text.size() && !isSpace(text[i])) ++i;
  while (i < text.size() && isSpace(text[i])) ++i;
  const char* start = text.c_str() + i;
  char* end = nullptr;
  const float version = std::strtof(start, &end);
  const bool versionRead = end != start;
  if (readable) *readable = versionRead;
  if (!versionRead) return false;
  std::size_t j = static_cast<std::size_t>(end - text.c_str());
  while (j < text.size() && isSpace(text[j])) ++j;
  std::optional<long> build;
  if (j < text.size() && text[j] == 'B') {
    const char* b = text.c_str() + j + 1;
    char* bEnd = nullptr;
    const long n = std::strtol(b, &bEnd, 10);
    if (bEnd != b) build = n;
  }
  if (!(version >= 1.01f)) return false;
  return version != 1.01f || (build && *build > 43);
}

std::deque<std::string> applyLines(const TransmitterForm& form, double mhz, bool scramblerAvailable) {
  std::deque<std::string> lines;
  lines.push_back(std::string("$T7,TX,") + "ON," + (form.power == TransmitPower::Low ? "LO\r\n" : "HI\r\n"));
  char buffer[64];
  std::snprintf(buffer, sizeof buffer, "$T7,FRQ,%.0f\r\n", mhz * 1000000.0);
  lines.push_back(buffer);
  if (scramblerAvailable)
    lines.push_back(std::string("$T7,SCR,") + (form.scrambler == Scrambler::Off ? "OFF\r\n" : "ON\r\n"));
  return lines;
}

// ---- the operation ------------------------------------------------------------------------------------

Transmitter::Transmitter(session::Host& host) : host_(host) {
  host_.addObserver(this);
  const auto plug = [this](ReplyId id, Reply kind) {
    host_.setReplyHandler(id, [this, kind](const std::string& r) { onReply(kind, r); });
  };
  plug(ReplyId::T7AckTx, Reply::Tx);
  plug(ReplyId::T7AckScr, Reply::Scr);
  plug(ReplyId::T7NakScr, Reply::Scr);
  plug(ReplyId::T7AckFrq, Reply::Frq);
  plug(ReplyId::T7NakFrq, Reply::Frq);
  plug(ReplyId::T7AckRange, Reply::Range);
  host_.setTimerHook(kTimerQueryRetry, [this] { retryQuery(); });
  host_.setTimerHook(kTimerApplyReply, [this] { applyReplyLost(); });
}

Transmitter::~Transmitter() {
  for (const ReplyId id : {ReplyId::T7AckTx, ReplyId::T7AckScr, ReplyId::T7NakScr, ReplyId::T7AckFrq,
                           ReplyId::T7NakFrq, ReplyId::T7AckRange})
    host_.setReplyHandler(id, {});
  for (const int timer : {kTimerQueryRetry, kTimerApplyReply}) {
    host_.setTimerHook(timer, {});
    host_.stopTimer(timer);
  }
  host_.removeObserver(this);
}

bool Transmitter::open() {
  created_ = true;
  initialQuery_ = true;
  refusals_ = 0;
  queryTries_ = 0;
  ask(Reply::Tx, kQueryTx, true);
  return initialQuery_;
}

void Transmitter::ask(Reply kind, std::string_view line, bool replyWait) {
  if (expected_ != kind) queryTries_ = 0;
  ++queryTries_;
  expected_ = kind;
  queryLine_ = std::string(line);
  queryReplyWait_ = replyWait;
  // While the link speed is being agreed a query would be lost: it goes once the speed is settled.
  heldForSpeed_ = host_.speedChanging() && host_.linkOpen();
  if (heldForSpeed_) return;
  // The queries after the first go without the session's reply wait; the keep-alive still notices a
  // transmitter that went silent, and the retry timer a single answer that was lost.
  const bool sent = host_.sendLine(queryLine_, replyWait, [this, replyWait] {
    if (!replyWait) host_.startKeepAlive();
    if (initialQuery_) host_.startTimer(kTimerQueryRetry, kQueryRetry);
  });
  if (!sent) {
    initialQuery_ = false;
    expected_.reset();
  }
}

void Transmitter::retryQuery() {
  host_.stopTimer(kTimerQueryRetry);
  if (!initialQuery_ || !expected_) return;
  if (queryTries_ < kQueryTries) {
    ask(*expected_, queryLine_, queryReplyWait_);
    return;
  }
  initialQuery_ = false;
  expected_.reset();
  const std::string text = lang::text(TextId::TransmitterNoAnswer);
  host_.log(" " + text + "\r\n");
  host_.ui().message(text, lang::text(TextId::TransmitterTitle), ports::Icon::Warning, ports::Buttons::Ok);
}

void Transmitter::onReply(Reply kind, const std::string& reply) {
  if (awaiting_ > 0) {
    --awaiting_;
    host_.stopTimer(kTimerApplyReply);
  }
  if (created_ && initialQuery_) {
    // Another kind is a late answer to a query asked again: the chain has moved on.
    if (expected_ == kind) {
      host_.stopTimer(kTimerQueryRetry);
      expected_.reset();
      queryTries_ = 0;
      initialReply(kind, reply);
    }
  } else if (shown_) {
    laterReply(kind, reply);
  }
  sendQueued();
}

void Transmitter::initialReply(Reply kind, const std::string& reply) {
  switch (kind) {
    case Reply::Tx:
      values_ = TransmitterValues{};
      readPower(reply);
      ask(Reply::Scr, kQueryScr, false);
      break;
    case Reply::Scr:
      values_.scramblerAvailable = session::field(reply, 1) != "NAK";
      if (values_.scramblerAvailable) readScrambler(reply);
      ask(Reply::Frq, kQueryFrq, false);
      break;
    case Reply::Frq: {
      readFrequency(reply);
      bool readable = false;
      if (rangeQueryWanted(host_.info().versionText, &readable)) {
        ask(Reply::Range, kQueryRange, false);
      } else {
        // Also a version text that cannot be read: the form shows with the default range rather
        // than the query staying open for good.
        values_.lowestHz = kLowestFrequencyHz;
        values_.highestHz = kHighestFrequencyHz;
        show();
      }
      break;
    }
    case Reply::Range:
      if (const auto low = leadingReal(session::field(reply, 3))) values_.lowestHz = *low;
      if (const auto high = leadingReal(session::field(reply, 4))) values_.highestHz = *high;
      show();
      break;
  }
}

void Transmitter::laterReply(Reply kind, const std::string& reply) {
  switch (kind) {
    case Reply::Tx: readPower(reply); break;
    case Reply::Scr:
      if (session::field(reply, 1) != "NAK") readScrambler(reply);
      break;
    case Reply::Frq:
      // A refusal is told even when it does not repeat the frequency: otherwise the user would take
      // the unchanged frequency for accepted.
      if (session::field(reply, 1) == "NAK") {
        readSecondValue(reply);
        refuseFrequency();
        return;
      }
      readFrequency(reply);
      break;
    case Reply::Range: return;
  }
  if (listener_) listener_->onTransmitterChanged();
}

void Transmitter::readPower(const std::string& reply) {
  values_.power = session::contains(session::field(reply, 4), "HI") ? TransmitPower::High : TransmitPower::Low;
}

void Transmitter::readScrambler(const std::string& reply) {
  values_.scrambler = session::contains(session::field(reply, 3), "ON") ? Scrambler::On : Scrambler::Off;
}

void Transmitter::readFrequency(const std::string& reply) {
  const std::string hz = session::field(reply, 3);
  if (!hz.empty()) values_.frequencyText = frequencyText(leadingReal(hz).value_or(0));
  readSecondValue(reply);
}

void Transmitter::readSecondValue(const std::string& reply) {
  const std::string second = session::field(reply, 4);
  if (!second.empty()) values_.secondValue = static_cast<float>(leadingReal(second).value_or(0) / 1000.0);
}

void Transmitter::refuseFrequency() {
  ++refusals_;
  host_.ui().message(lang::text(TextId::TransmitterFrequencyRefused), lang::text(TextId::TransmitterTitle),
                     ports::Icon::Warning, ports::Buttons::Ok);
  values_.frequencyText.clear();
  if (listener_) listener_->onFrequencyRefused();
}

void Transmitter::show() {
  shown_ = true;
  initialQuery_ = false;
  host_.stopTimer(kTimerQueryRetry);
  if (listener_) listener_->onTransmitterShown();
}

TransmitterForm Transmitter::form() const {
  TransmitterForm f;
  f.power = values_.power;
  f.scrambler = values_.scrambler;
  f.frequencyText = values_.frequencyText;
  return f;
}

bool Transmitter::apply(const TransmitterForm& form) {
  // What an earlier apply has not sent yet gives way to this one.
  queue_.clear();
  const auto mhz = frequencyMhz(form.frequencyText);
  if (!mhz || !frequencyInRange(*mhz, values_.lowestHz, values_.highestHz)) {
    refuseFrequency();
    return false;
  }
  values_.power = form.power;
  values_.scrambler = form.scrambler;
  queue_ = applyLines(form, *mhz, values_.scramblerAvailable);
  sendQueued();
  return true;
}

void Transmitter::sendQueued() {
  // One at a time: the next line goes when this one has been answered, and none while the link speed
  // is being agreed.
  if (queue_.empty() || awaiting_ > 0) return;
  if (host_.speedChanging() && host_.linkOpen()) {
    heldForSpeed_ = true;
    return;
  }
  const std::string line = std::move(queue_.front());
  queue_.pop_front();
  if (host_.sendLine(line, false, [this] {
        host_.startKeepAlive();
        if (awaiting_ > 0) host_.startTimer(kTimerApplyReply, kApplyReplyWait);
      }))
    ++awaiting_;
  else
    queue_.clear();
}

void Transmitter::applyReplyLost() {
  host_.stopTimer(kTimerApplyReply);
  if (awaiting_ == 0) return;
  awaiting_ = 0;
  host_.log(" " + lang::text(TextId::TransmitterSettingUnanswered) + "\r\n");
  sendQueued();
}

void Transmitter::close() {
  const bool wasShown = shown_ || initialQuery_;
  shown_ = false;
  initialQuery_ = false;
  heldForSpeed_ = false;
  expected_.reset();
  host_.stopTimer(kTimerQueryRetry);
  host_.stopTimer(kTimerApplyReply);
  queue_.clear();
  awaiting_ = 0;
  if (wasShown && listener_) listener_->onTransmitterClosed();
}

void Transmitter::onDeviceKind(session::DeviceVariant, std::uint16_t, bool transmitterMenu) {
  if (!transmitterMenu) close();
}

void Transmitter::onState(const session::SessionState& state) {
  if (!heldForSpeed_ || state.speedChanging) return;
  heldForSpeed_ = false;
  if (initialQuery_ && expected_) {
    --queryTries_;  // the held query was never asked
    ask(*expected_, queryLine_, queryReplyWait_);
  } else {
    sendQueued();
  }
}

void Transmitter::onSessionReset() {
  // Nothing answers on a link that is gone: the query and the queue end.
  heldForSpeed_ = false;
  initialQuery_ = false;
  expected_.reset();
  host_.stopTimer(kTimerQueryRetry);
  host_.stopTimer(kTimerApplyReply);
  queue_.clear();
  awaiting_ = 0;
}

}  // namespace recdesk::operations
