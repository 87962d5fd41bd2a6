// The session owner's query chain (list, type, flash, free space, clock) that fills the main window
// after the connection, the other replies it handles itself, and the simple recorder commands.
#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <ctime>

#include "app/Settings.h"
#include "lang/Strings.h"
#include "ports/EventLoop.h"
#include "ports/UserInterface.h"
#include "session/Host.h"
#include "session/HostDetail.h"

namespace recdesk::session {

using namespace std::chrono_literals;
using namespace host_detail;

// ---- the query chain ---------------------------------------------------------------------------------------

void Host::listAcknowledgement(const std::string& reply) {
  refreshControls();
  logEvent(TextId::RecordingListReceived);
  if (const auto ack = parseListAck(reply)) {
    info_.deviceName = visibleText(ack->deviceName);
    info_.model = modelOfDeviceName(info_.deviceName);
    info_.listCount = ack->count;
  }
  info_.listKnown = true;
  info_.listComplete = false;
  info_.listRecords = 0;
  notify([](SessionObserver& o) { o.onListStarted(); });
  log(fmt(" %s %u ", {lang::text(TextId::Found), static_cast<unsigned>(info_.listCount)}) +
      lang::text(TextId::RecordingsOn) + " " + info_.deviceName + "\r\n");
  notify([](SessionObserver& o) { o.onInfoChanged(); });
  publishState();
}

void Host::listRecord(const std::string& reply) {
  if (contains(reply, "END")) {
    if (!contains(reply, "MSG,LST,END")) return;
    info_.listComplete = true;
    querying_ = true;
    notify([](SessionObserver& o) { o.onListEnd(); });
    notify([](SessionObserver& o) { o.onInfoChanged(); });
    publishState();
    commandType();
    return;
  }
  ++info_.listRecords;
  notify([&](SessionObserver& o) { o.onListRecord(reply); });
}

void Host::typeReply(const std::string& reply) {
  logEvent(TextId::RecordingTypeReceived);
  info_.type = parseRecordingType(reply);
  info_.type.text = visibleText(info_.type.text);
  info_.typeKnown = true;
  notify([](SessionObserver& o) { o.onInfoChanged(); });
  publishState();
  commandFlash();
}

void Host::flashReply(const std::string& reply) {
  info_.flash = parseFlashReply(reply);
  info_.flashKnown = true;
  info_.flashText = fmt("%s:\r\n\r\n       %s:  %X\r\n       %s:    %X\r\n\r\n %s: %u MB",
                        {lang::text(TextId::FlashMemory), lang::text(TextId::MakerCode),
                         static_cast<unsigned>(info_.flash.makerCodes), lang::text(TextId::DeviceCode),
                         static_cast<unsigned>(info_.flash.deviceCodes), lang::text(TextId::TotalSize),
                         static_cast<unsigned>(info_.flash.sizeMb)});
  notify([](SessionObserver& o) { o.onInfoChanged(); });
  publishState();
  commandFree();
}

void Host::freeReply(const std::string& reply) {
  logEvent(TextId::FreeSpaceReceived);
  const long long pages = leadingNumber(field(reply, 3));
  info_.freePages = pages > 0 ? static_cast<std::uint64_t>(pages) : 0;
  info_.freeKnown = true;
  info_.recordingSecondsLeft.reset();
  // A named type (the reduced recorder) takes its numbers from the profile its name selected.
  std::optional<RecordingType> values;
  if (info_.type.numeric)
    values = info_.type;
  else if (info_.typeKnown && profileQuery_)
    values = profileQuery_();
  if (values)
    info_.recordingSecondsLeft = recordingSecondsLeft(info_.freePages, values->bits, values->channels, values->sampleRate);
  if (info_.recordingSecondsLeft) {
    const std::uint64_t s = *info_.recordingSecondsLeft;
    const std::string hms = fmt("%.0f:%02ld:%02ld", {static_cast<double>(s / 3600), static_cast<long>((s / 60) % 60),
                                                     static_cast<long>(s % 60)});
    info_.recordingTimeText = lang::format(TextId::RecordingTimeLeft, {hms}) + "   " +
                              fmt("%.1f", {static_cast<double>(info_.freePages) * 512.0 / 1048576.0}) + " MB";
  } else {
    info_.recordingTimeText =
        lang::format(TextId::RecordingTimeLeft, {lang::text(TextId::NoProfileSelected)});
  }
  notify([](SessionObserver& o) { o.onInfoChanged(); });
  publishState();
  commandTime();
}

void Host::clockReply(const std::string& reply) {
  info_.recorderClock = parseClockReply(reply);
  info_.clockKnown = true;
  info_.computerTimeAtClock = wallNow();
  info_.clockDifferenceSeconds.reset();
  if (const auto recorder = info_.recorderClock.toTime())
    info_.clockDifferenceSeconds =
        std::llround(std::difftime(*recorder, info_.computerTimeAtClock));
  if (clockCheckArmed_ && !settings_.ignoreRtc) {
    clockCheckArmed_ = false;
    if (info_.clockDifferenceSeconds && std::llabs(*info_.clockDifferenceSeconds) >= 61) {
      logEvent(TextId::ClockDiffers);
      const auto when = info_.recorderClock;
      const long long seconds = *info_.clockDifferenceSeconds;
      notify([&](SessionObserver& o) { o.onClockDifference(when, seconds); });
    }
  }
  info_.chainComplete = true;
  querying_ = false;
  notify([](SessionObserver& o) { o.onInfoChanged(); });
  publishState();
  notify([](SessionObserver& o) { o.onChainComplete(); });
}

// ---- other built-in replies ----------------------------------------------------------------------------------

void Host::recordingReply(const std::string& reply) {
  logEvent(TextId::RecordingCommandAcknowledged);
  if (contains(reply, "ON")) flags_.recording = true;
  refreshControls();
}

void Host::recordingEnded(const std::string&) {
  logEvent(TextId::RecorderStoppedRecording);
  flags_.recording = false;
  refreshControls();
}

void Host::formatReply(const std::string& reply) {
  if (contains(reply, "START")) {
    flags_.maintenance = true;
    notify([](SessionObserver& o) { o.onMaintenance(true); });
    log(fmt(" %s. %s\r\n", {lang::text(TextId::PleaseWait), lang::text(TextId::FormattingStarted)}));
  }
  if (contains(reply, "BAD"))
    log(fmt(" %s: %ld\r\n", {lang::text(TextId::BadBlockWhileFormatting),
                             static_cast<long>(leadingNumber(field(reply, 4)))}));
  if (contains(reply, "END")) {
    flags_.maintenance = false;
    notify([](SessionObserver& o) { o.onMaintenance(false); });
    log(fmt(" %s! %s: %ld\r\n", {lang::text(TextId::FormatComplete), lang::text(TextId::BadBlocks),
                                 static_cast<long>(leadingNumber(field(reply, 4)))}));
    commandList();
  }
  refreshControls();
}

void Host::timerArmed(const std::string&) {
  if (!flags_.recorderConnected) {
    flags_.sessionRunning = true;
    flags_.recorderConnected = true;
  }
  flags_.locked = true;
  timerArmed_ = true;
  showStatus(lang::text(TextId::TimerArmed));
  refreshControls();
}

void Host::passwordPrompt(const std::string& reply) {
  if (!flags_.recorderConnected) {
    flags_.sessionRunning = true;
    flags_.recorderConnected = true;
  }
  flags_.locked = true;
  // The prompt names the recorder the way the list acknowledgement does.
  std::string name = field(reply, 2).substr(0, kMaxDeviceName);
  if (!name.empty()) {
    if (name.find('-') == std::string::npos) name = "R5-" + name;
    info_.deviceName = visibleText(name);
    info_.model = modelOfDeviceName(info_.deviceName);
  }
  showStatus(fmt("%s%s is %s", {lang::text(TextId::RecorderLockedBefore), info_.deviceName,
                                lang::text(TextId::RecorderLockedAfter)}));
  notify([](SessionObserver& o) { o.onInfoChanged(); });
  refreshControls();
}

void Host::testReply(bool accepted) {
  if (accepted) {
    flags_.testMode = false;
    refreshControls();
  } else {
    ui_.message(lang::text(TextId::TestModeRefused), lang::text(TextId::TestMode), ports::Icon::Information,
                ports::Buttons::Ok);
  }
}

// ---- simple commands ---------------------------------------------------------------------------------------

void Host::keepAliveAfterSend() {
  if (flags_.sessionRunning && link_.isOpen()) keepAliveStart();
}

void Host::commandType() {
  refreshControls();
  logEvent(TextId::ReadingRecordingType);
  // Sent without the reply time-out; the keep-alive still notices a recorder that went silent.
  sendLine(std::string(cmd::kType), false, [this] { keepAliveAfterSend(); });
}

void Host::commandFlash() {
  logEvent(TextId::ReadingFlashIdentification);
  sendLine(std::string(cmd::kFlash), true);
}

void Host::commandFree() {
  refreshControls();
  logEvent(TextId::ReadingFreeSpace);
  sendLine(std::string(cmd::kFree), false, [this] { keepAliveAfterSend(); });
}

void Host::commandTime() {
  logEvent(TextId::ReadingClock);
  sendLine(std::string(cmd::kTime), false, [this] { keepAliveAfterSend(); });
}

void Host::commandList() {
  logEvent(TextId::ReadingRecordingList);
  sendLine(std::string(cmd::kList), true);
}

bool Host::commandFormat() {
  // Format erases every recording: the user confirms it, and a second time when recordings are not
  // all on disk. The answers may come later; the session goes on meanwhile, and an answer that
  // comes after the link went (or after another format question) is dropped.
  if (formatAsking_ && formatEpoch_ == linkEpoch_) return true;  // its question is still open
  formatAsking_ = true;
  formatEpoch_ = linkEpoch_;
  formatSent_.reset();
  const std::string name = info_.deviceName;
  const std::uint64_t token = ++formatToken_;
  const auto stillWanted = [this, life = std::weak_ptr<char>(life_), token] {
    if (life.expired() || token != formatToken_) return false;
    if (formatEpoch_ == linkEpoch_ && flags_.recorderConnected) return true;
    formatAsking_ = false;  // the recorder it was asked about has gone
    return false;
  };
  askFormat(ports::Topic::Format, lang::format(TextId::FormatQuestion, {name}), [this, name, stillWanted](const ports::Reply& first) {
    if (!stillWanted()) return;
    if (first.answer != ports::Answer::Yes) return formatDecided(false);
    const bool incomplete = incompleteQuery_ ? incompleteQuery_() : info_.listRecords > 0;
    if (!incomplete) return formatDecided(true);
    askFormat(ports::Topic::FormatIncomplete, lang::format(TextId::FormatIncompleteQuestion, {name}), [this, stillWanted](const ports::Reply& second) {
      if (!stillWanted()) return;
      formatDecided(second.answer == ports::Answer::Yes);
    });
  });
  // Answered at once (the command line, a script): whether it was sent. Else it waits.
  return formatSent_.value_or(true);
}

void Host::askFormat(ports::Topic topic, const std::string& text, ports::ReplyHandler then) {
  ports::Question q;
  q.topic = topic;
  q.text = text;
  q.caption = lang::text(TextId::AppName);
  q.icon = ports::Icon::Error;
  q.buttons = ports::Buttons::YesNo;
  q.defaultAnswer = ports::Answer::No;
  ui_.ask(q, std::move(then));
}

void Host::formatDecided(bool confirmed) {
  formatAsking_ = false;
  if (!confirmed) {
    formatSent_ = false;
    return;
  }
  stopTimer(kTimerKeepAlive);
  refreshControls();
  logEvent(TextId::FormattingRecorder);
  formatSent_ = sendLine(std::string(cmd::kFormat), true);
}

void Host::commandRecordOn() {
  stopTimer(kTimerKeepAlive);
  refreshControls();
  logEvent(TextId::StartingRecording);
  sendLine(std::string(cmd::kRecordOn), true);
}

void Host::commandRecordOff() {
  refreshControls();
  logEvent(flags_.recording ? TextId::StoppingRecording : TextId::SendingStopNotRecording);
  // The list is asked for once the line is out (not at all when the link is lost meanwhile).
  sendLine(std::string(cmd::kRecordOff), false, [this] {
    commandList();
    refreshControls();
  });
  flags_.recording = false;
  refreshControls();
}

}  // namespace recdesk::session
