#include "operations/RecorderClock.h"

#include <cstdio>

#include "app/Settings.h"
#include "lang/Strings.h"
#include "operations/TimerEntries.h"
#include "ports/UserInterface.h"
#include "session/Protocol.h"

namespace recdesk::operations {

using session::ReplyId;

namespace {

DateTime localDateTime(std::time_t t) {
  std::tm tm{};
  localtime_r(&t, &tm);
  return DateTime{tm.tm_year + 1900, tm.tm_mon + 1, tm.tm_mday, tm.tm_hour, tm.tm_min, tm.tm_sec};
}

}  // namespace

DateTime ClockModel::recorderNow(std::time_t computerNow) const {
  return runningClock(reading, computerAtReading, computerNow);
}

RecorderClock::RecorderClock(session::Host& host, app::Settings& settings) : host_(host), settings_(settings) {
  host_.addObserver(this);
  host_.setReplyHandler(ReplyId::AckTime, [this](const std::string& line) { onReply(line); });
  host_.setTimerHook(kTimerClockQuestion, [this] { questionExpired(); });
}

RecorderClock::~RecorderClock() {
  host_.stopTimer(kTimerClockQuestion);
  host_.setTimerHook(kTimerClockQuestion, {});
  host_.setReplyHandler(ReplyId::AckTime, {});
  host_.removeObserver(this);
  if (questionOpen_) host_.ui().withdraw(ports::Topic::ClockDifference);
}

DateTime RecorderClock::computerNow() const { return localDateTime(host_.wallNow()); }

bool RecorderClock::command() {
  host_.log(" " + lang::text(TextId::ReadingClock) + "\r\n");
  windowRequested_ = true;
  return host_.sendLine(std::string(session::cmd::kTime), true);
}

bool RecorderClock::query() {
  host_.log(" " + lang::text(TextId::ReadingClock) + "\r\n");
  return host_.sendLine(std::string(session::cmd::kTime), true);
}

bool RecorderClock::queryFor(ReadingHandler handler) {
  // The timer programme's reading goes to the timer programme, not to the clock window.
  windowRequested_ = false;
  timerWaiting_ = std::move(handler);
  return query();
}

std::string RecorderClock::setLine(const DateTime& when) {
  char line[48];
  std::snprintf(line, sizeof line, "$R5,TIME,%04d%02d%02d,%02d%02d%02d\r\n", when.year, when.month, when.day,
                when.hour, when.minute, when.second);
  return line;
}

bool RecorderClock::set(const DateTime& when) {
  // The range the clock window's date picker offers; the recorder is never sent a date it cannot hold.
  if (!when.isCalendarDate() || when < DateTime{2000, 1, 1, 0, 0, 0} || when > DateTime{9000, 1, 1, 0, 0, 0})
    return false;
  host_.log(" " + lang::text(TextId::SettingClock) + "\r\n");
  return host_.sendLine(setLine(when), true);
}

bool RecorderClock::setToComputerClock() { return set(computerNow()); }

void RecorderClock::closeWindow() {
  if (!model_.visible) return;
  model_.visible = false;
  if (listener_) listener_->onClockHidden();
}

void RecorderClock::onReply(const std::string& line) {
  // The session keeps the reading and runs the check once per connection (which may raise the
  // clock-difference question through onClockDifference below).
  differenceRaised_ = false;
  if (const auto builtIn = host_.builtInReplyHandler(ReplyId::AckTime)) builtIn(line);
  ++readings_;
  model_.reading = host_.info().recorderClock;
  model_.computerAtReading = host_.info().computerTimeAtClock;
  if (differenceRaised_) {
    differenceRaised_ = false;
    return;  // the question is all that is shown
  }
  show();
}

void RecorderClock::show() {
  if (windowRequested_) {
    windowRequested_ = false;
    model_.visible = true;
    if (listener_) listener_->onClockShown(model_);
    host_.log(" " + lang::text(TextId::ClockWindowOpened) + "\r\n");
  } else if (model_.visible) {
    if (listener_) listener_->onClockShown(model_);
  } else if (timerWaiting_) {
    const ReadingHandler handler = std::move(timerWaiting_);
    timerWaiting_ = nullptr;
    handler(model_.reading, model_.computerAtReading);
  }
}

void RecorderClock::onClockDifference(const DateTime& recorderTime, long long) {
  if (!askOnDifference_ || questionOpen_) return;
  differenceRaised_ = true;
  questionOpen_ = true;
  const std::uint64_t token = ++questionToken_;
  ports::Question q;
  q.topic = ports::Topic::ClockDifference;
  q.text = lang::format(TextId::ClockDifferenceQuestion,
                        {session::clockText(recorderTime), session::clockText(computerNow())});
  q.caption = lang::text(TextId::ClockCaption);
  q.icon = ports::Icon::Question;
  q.buttons = ports::Buttons::OkCancel;
  q.defaultAnswer = ports::Answer::Cancel;
  q.checkBox = lang::text(TextId::DoNotAskAgain);
  host_.startTimer(kTimerClockQuestion, kClockQuestionWait);
  host_.ui().ask(q, [this, token, life = std::weak_ptr<char>(life_)](const ports::Reply& reply) {
    if (!life.expired()) answerDifference(token, reply);
  });
}

void RecorderClock::answerDifference(std::uint64_t token, const ports::Reply& reply) {
  // An answer to a question that was withdrawn (time-out, session ended) changes nothing.
  if (!questionOpen_ || token != questionToken_) return;
  questionOpen_ = false;
  host_.stopTimer(kTimerClockQuestion);
  // The box is stored whichever button was pressed.
  storeIgnoreRtc(reply.checked);
  if (!host_.recorderConnected()) return;
  if (reply.answer == ports::Answer::Ok || reply.answer == ports::Answer::Yes)
    command();  // a fresh reading opens the clock window, where the clock is set
  else
    query();
}

void RecorderClock::questionExpired() {
  host_.stopTimer(kTimerClockQuestion);
  if (!questionOpen_) return;
  questionOpen_ = false;
  host_.ui().withdraw(ports::Topic::ClockDifference);  // nothing is stored
}

void RecorderClock::storeIgnoreRtc(bool ignore) {
  settings_.ignoreRtc = ignore;
  if (writer_) writer_(ignore);
}

void RecorderClock::onSessionReset() {
  windowRequested_ = false;
  timerWaiting_ = nullptr;
  if (questionOpen_) {
    questionOpen_ = false;
    host_.stopTimer(kTimerClockQuestion);
    host_.ui().withdraw(ports::Topic::ClockDifference);
  }
  closeWindow();
}

}  // namespace recdesk::operations
