#include "operations/TimerProgramme.h"

#include "lang/Strings.h"
#include "operations/RecorderClock.h"
#include "ports/UserInterface.h"
#include "session/Protocol.h"

namespace recdesk::operations {

using session::ReplyId;

namespace {
constexpr const char* kReadLine = "$R5,TMR,PGM\r\n";
constexpr const char* kArmLine = "$R5,TMR,ON\r\n";
constexpr const char* kDisarmLine = "$R5,TMR,OFF\r\n";
}  // namespace

// ---- the model ---------------------------------------------------------------------------------------------

std::size_t TimerProgrammeModel::rowCount() const {
  for (std::size_t i = rows.size(); i > 0; --i)
    if (rows[i - 1]) return i;
  return 0;
}

DateTime TimerProgrammeModel::recorderNow(std::time_t computerNow) const {
  return runningClock(reading, computerAtReading, computerNow);
}

TimerTotals TimerProgrammeModel::totals(std::time_t computerNow) const {
  return timerTotals(rows, recorderNow(computerNow));
}

std::string TimerProgrammeModel::freeText() const {
  if (!enabled) return timerSpanText(0);
  return freeSeconds ? timerSpanText(static_cast<std::int64_t>(*freeSeconds)) : "--:--:--";
}

std::string TimerProgrammeModel::freeAfterText(std::time_t computerNow) const {
  if (!enabled) return timerSpanText(0);
  if (!freeSeconds) return "--:--:--";
  return timerSpanText(freeAfterProgramme(*freeSeconds, totals(computerNow).pendingSeconds));
}

bool TimerProgrammeModel::exceedsFree(std::time_t computerNow) const {
  return freeSeconds && totals(computerNow).pendingSeconds > *freeSeconds;
}

// ---- wiring ------------------------------------------------------------------------------------------------

TimerProgramme::TimerProgramme(session::Host& host, RecorderClock& clock) : host_(host), clock_(clock) {
  host_.addObserver(this);
  host_.setReplyHandler(ReplyId::AckTmrPgmStart, [this](const std::string&) { onStart(); });
  host_.setReplyHandler(ReplyId::MsgTmrPgm, [this](const std::string& line) { onEntry(line); });
  host_.setReplyHandler(ReplyId::MsgTmrPgmEnd, [this](const std::string&) { onEnd(); });
  host_.setReplyHandler(ReplyId::AckTmrPgm, [this](const std::string& line) { onAcknowledged(line); });
  for (const ReplyId id : {ReplyId::Timer, ReplyId::AckTmrOn}) {
    host_.setReplyHandler(id, [this, id](const std::string& line) {
      if (const auto builtIn = host_.builtInReplyHandler(id)) builtIn(line);
      onArmed(line);
    });
  }
  host_.setReplyHandler(ReplyId::AckTmrOff, [this](const std::string& line) { onDisarmed(line); });
  host_.setTimerHook(kTimerProgrammeAck, [this] { ackTimeout(); });
}

TimerProgramme::~TimerProgramme() {
  host_.stopTimer(kTimerProgrammeAck);
  host_.setTimerHook(kTimerProgrammeAck, {});
  for (const ReplyId id : {ReplyId::AckTmrPgmStart, ReplyId::MsgTmrPgm, ReplyId::MsgTmrPgmEnd, ReplyId::AckTmrPgm,
                           ReplyId::Timer, ReplyId::AckTmrOn, ReplyId::AckTmrOff})
    host_.setReplyHandler(id, {});
  host_.removeObserver(this);
  if (noticeOpen_) host_.ui().withdraw(ports::Topic::TimerNotice);
}

void TimerProgramme::logEvent(TextId a, std::optional<TextId> b) {
  host_.log(" " + lang::text(a) + (b ? " " + lang::text(*b) : std::string()) + "\r\n");
}

void TimerProgramme::changed() {
  if (listener_ && model_.visible) listener_->onProgrammeChanged(model_);
}

// ---- reading -----------------------------------------------------------------------------------------------

bool TimerProgramme::read() {
  logEvent(TextId::ReadingTimerProgramme);
  return host_.sendLine(kReadLine, true);
}

void TimerProgramme::onStart() {
  logEvent(TextId::TimerProgramme, TextId::TimerProgrammeStart);
  model_.rows = {};
  changed();
}

void TimerProgramme::onEntry(const std::string& line) {
  logEvent(TextId::TimerProgramme, TextId::TimerProgrammeEntry);
  const ParsedTimerEntry parsed = parseTimerEntry(line);
  if (!parsed.index) {
    // The programme has 19 rows: an entry outside them is reported and left alone.
    host_.log(" " + lang::text(TextId::TimerEntryIgnored) + " " + parsed.badIndex + "\r\n");
    return;
  }
  model_.rows[*parsed.index] = parsed.entry;
  changed();
}

void TimerProgramme::onEnd() {
  logEvent(TextId::TimerProgramme, TextId::TimerProgrammeEnd);
  clock_.queryFor([this, life = std::weak_ptr<char>(life_)](const DateTime& recorder, std::time_t computer) {
    if (!life.expired()) onReading(recorder, computer);
  });
}

void TimerProgramme::onReading(const DateTime& recorder, std::time_t computer) {
  model_.reading = recorder;
  model_.computerAtReading = computer;
  model_.freeSeconds = host_.info().recordingSecondsLeft;
  model_.visible = true;
  model_.enabled = true;
  changed();
  logEvent(TextId::TimerWindowOpened);
}

bool TimerProgramme::editRow(std::size_t index, const TimerEntry& entry) {
  if (index >= kTimerRows || !model_.rows[index]) return false;
  model_.rows[index] = entry;
  changed();
  return true;
}

void TimerProgramme::closeWindow() {
  if (!model_.visible) return;
  model_.visible = false;
  if (listener_) listener_->onProgrammeClosed();
}

// ---- writing and clearing ----------------------------------------------------------------------------------

bool TimerProgramme::write() {
  // As the window's OK: only a programme with something still to record is written and armed.
  if (busy() || !model_.okEnabled(host_.wallNow()) || !host_.recorderConnected()) return false;
  std::vector<Pending> lines;
  for (std::size_t i = 0; i < model_.rows.size(); ++i)
    if (model_.rows[i]) lines.push_back({i, *model_.rows[i], timerEntryLine(i, *model_.rows[i])});
  if (!model_.exceedsFree(host_.wallNow())) {
    startWrite(std::move(lines), true);
    return true;
  }
  ports::Question q;
  q.topic = ports::Topic::TimerOverFree;
  q.text = lang::formatText("%s\r\n\r\n%s", {lang::text(TextId::TimerOverFree), lang::text(TextId::TimerWriteAnyway)});
  q.caption = lang::text(TextId::AppName);
  q.icon = ports::Icon::Warning;
  q.buttons = ports::Buttons::YesNo;
  q.defaultAnswer = ports::Answer::No;
  writeAsking_ = true;
  writeDecision_.reset();
  const std::uint64_t token = ++writeToken_;
  host_.ui().ask(q, [this, token, lines = std::move(lines), life = std::weak_ptr<char>(life_)](const ports::Reply& reply) mutable {
    if (life.expired() || token != writeToken_ || !writeAsking_) return;
    writeAsking_ = false;
    const bool yes = reply.answer == ports::Answer::Yes && model_.enabled && host_.recorderConnected();
    writeDecision_ = yes;
    if (yes) startWrite(std::move(lines), true);
  });
  // Answered at once: whether anything is written. Else the answer comes later.
  return writeDecision_.value_or(true);
}

bool TimerProgramme::writeProgramme(const std::vector<TimerEntry>& entries) {
  if (busy()) return false;
  if (entries.size() > kTimerRows) return false;
  for (std::size_t i = 0; i < entries.size(); ++i)
    if (!model_.rows[i]) return false;
  for (std::size_t i = 0; i < model_.rows.size(); ++i)
    if (model_.rows[i]) model_.rows[i] = i < entries.size() ? entries[i] : clearedTimerEntry();
  changed();
  return write();
}

bool TimerProgramme::clear() {
  if (busy() || !host_.recorderConnected()) return false;
  std::vector<Pending> lines;
  for (std::size_t i = 0; i < model_.rows.size(); ++i)
    if (model_.rows[i]) lines.push_back({i, clearedTimerEntry(), timerClearLine(i)});
  if (lines.empty()) return false;
  startWrite(std::move(lines), false);
  return true;
}

void TimerProgramme::startWrite(std::vector<Pending> lines, bool armAfter) {
  queue_.assign(lines.begin(), lines.end());
  armAfter_ = armAfter;
  resends_ = 0;
  sendHead();
}

void TimerProgramme::sendHead() {
  if (queue_.empty()) return finish(true);
  logEvent(TextId::WritingTimerEntry);
  host_.startTimer(kTimerProgrammeAck, kProgrammeAckWait);
  if (!host_.sendLine(queue_.front().line, true)) {
    queue_.clear();
    finish(false);
  }
}

void TimerProgramme::onAcknowledged(const std::string& line) {
  logEvent(TextId::TimerProgramme, TextId::TimerProgrammeEntry);
  const ParsedTimerEntry parsed = parseTimerEntry(line);
  if (!parsed.index) {
    host_.log(" " + lang::text(TextId::TimerEntryIgnored) + " " + parsed.badIndex + "\r\n");
    return;
  }
  model_.rows[*parsed.index] = parsed.entry;
  changed();
  // Only the acknowledgement of the line under way moves the queue on (a late one of a line sent
  // again does not).
  if (queue_.empty() || queue_.front().index != *parsed.index) return;
  host_.stopTimer(kTimerProgrammeAck);
  queue_.pop_front();
  resends_ = 0;
  sendHead();
}

void TimerProgramme::ackTimeout() {
  host_.stopTimer(kTimerProgrammeAck);
  if (queue_.empty()) return;
  if (resends_ < kProgrammeResends && host_.recorderConnected()) {
    ++resends_;
    sendHead();
    return;
  }
  queue_.clear();
  const std::string text = lang::text(TextId::TimerEntryNotAcknowledged);
  host_.log(" " + text + "\r\n");
  host_.ui().message(text, lang::text(TextId::TimerProgrammeCaption), ports::Icon::Warning, ports::Buttons::Ok);
  finish(false);
}

void TimerProgramme::finish(bool ok) {
  host_.stopTimer(kTimerProgrammeAck);
  const bool armNow = ok && armAfter_;
  armAfter_ = false;
  if (armNow) {
    arm();
    closeWindow();
  }
  if (listener_) listener_->onProgrammeWritten(ok);
}

// ---- armed and disarmed ------------------------------------------------------------------------------------

bool TimerProgramme::arm() {
  logEvent(TextId::ArmingTimer);
  return host_.sendLine(kArmLine, true);
}

bool TimerProgramme::disarm() {
  logEvent(TextId::DisarmingTimer);
  return host_.sendLine(kDisarmLine, true);
}

void TimerProgramme::onArmed(const std::string&) {
  if (noticeEnabled_ && !noticeOpen_) showNotice();
}

void TimerProgramme::showNotice() {
  noticeOpen_ = true;
  const std::uint64_t token = ++noticeToken_;
  ports::Question q;
  q.topic = ports::Topic::TimerNotice;
  q.text = lang::text(TextId::TimerNotice);
  q.caption = lang::text(TextId::AppName);
  q.icon = ports::Icon::Information;
  q.buttons = ports::Buttons::OkCancel;
  q.defaultAnswer = ports::Answer::Cancel;
  host_.ui().ask(q, [this, token, life = std::weak_ptr<char>(life_)](const ports::Reply& reply) {
    if (!life.expired()) answerNotice(token, reply);
  });
}

void TimerProgramme::answerNotice(std::uint64_t token, const ports::Reply& reply) {
  if (!noticeOpen_ || token != noticeToken_) return;
  noticeOpen_ = false;
  if (reply.answer == ports::Answer::Ok || reply.answer == ports::Answer::Yes) {
    disarm();
  } else if (listener_) {
    listener_->onQuitRequested();  // the program ends and leaves the recorder armed
  }
}

void TimerProgramme::withdrawNotice() {
  if (!noticeOpen_) return;
  noticeOpen_ = false;
  ++noticeToken_;
  host_.ui().withdraw(ports::Topic::TimerNotice);
}

void TimerProgramme::onDisarmed(const std::string& line) {
  withdrawNotice();
  if (const auto builtIn = host_.builtInReplyHandler(ReplyId::AckTmrOff)) builtIn(line);
}

void TimerProgramme::onSessionReset() {
  withdrawNotice();
  ++writeToken_;
  writeAsking_ = false;
  host_.stopTimer(kTimerProgrammeAck);
  const bool wasWriting = !queue_.empty();
  queue_.clear();
  armAfter_ = false;
  // The window stays, disabled, until the recorder is back.
  model_.enabled = false;
  changed();
  if (wasWriting && listener_) listener_->onProgrammeWritten(false);
}

void TimerProgramme::onChainComplete() {
  // The window stayed, disabled, while the link was down: its rows and clock are read again from the
  // recorder now connected, which enables it (rows are never written back from a stale reading).
  if (model_.visible && !model_.enabled) read();
}

}  // namespace recdesk::operations
