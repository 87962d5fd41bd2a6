#include "session/Host.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <ctime>

#include "app/Settings.h"
#include "lang/Strings.h"
#include "ports/EventLoop.h"
#include "ports/UserInterface.h"

namespace recdesk::session {

using namespace std::chrono_literals;
using lang::FormatArg;

namespace {

constexpr std::uint32_t kOpenSpeed = 115200;
constexpr std::size_t kReadChunk = 4096;
constexpr std::size_t kMaxVersionText = 256;
// The highest speed the adapters can run; a confirmation beyond it is not a speed we can use.
constexpr long long kMaxLinkSpeed = 3000000;

std::string fmt(std::string_view format, std::initializer_list<FormatArg> args) {
  return lang::formatText(format, args);
}

}  // namespace

Host::Host(ports::EventLoop& loop, link::LinkTransport::ChannelFactory channels, ports::UserInterface& ui,
           app::Settings& settings)
    : loop_(loop), ui_(ui), settings_(settings), link_(loop, std::move(channels)) {
  transmitterMenu_ = settings_.transmitterMenu;
  installBuiltInHandlers();
  loop_.setTimerHandler([this](int id) { onTimer(id); });
}

Host::~Host() {
  shutDown_ = true;
  loop_.setTimerHandler({});
  for (int id : {kTimerConnectRetry, kTimerKeepAlive, kTimerBlockData, kTimerReply, kTimerCancelConfirm,
                 kTimerTransferRequest})
    loop_.stopTimer(id);
  link_.Close();
}

// ---- wiring --------------------------------------------------------------------------------------------

void Host::addObserver(SessionObserver* observer) {
  if (observer && std::find(observers_.begin(), observers_.end(), observer) == observers_.end()) {
    observers_.push_back(observer);
    observer->onState(state());
  }
}

void Host::removeObserver(SessionObserver* observer) {
  observers_.erase(std::remove(observers_.begin(), observers_.end(), observer), observers_.end());
}

void Host::setReplyHandler(ReplyId id, ReplyHandler handler) {
  const auto i = replyIndex(id);
  handlers_[i] = handler ? std::move(handler) : builtIn_[i];
}

Host::ReplyHandler Host::builtInReplyHandler(ReplyId id) { return builtIn_[replyIndex(id)]; }

void Host::setTimerHook(int timerId, std::function<void()> hook) {
  if (hook)
    timerHooks_[timerId] = std::move(hook);
  else
    timerHooks_.erase(timerId);
}

void Host::installBuiltInHandlers() {
  auto set = [this](ReplyId id, ReplyHandler h) { builtIn_[replyIndex(id)] = std::move(h); };
  set(ReplyId::Pong, [this](const std::string& r) { devicePresence(r); });
  set(ReplyId::Ready, [this](const std::string& r) { devicePresence(r); });
  set(ReplyId::T7Ready, [this](const std::string& r) {
    // The transmitter's ready line carries no test and status fields of its own.
    currentReply_ = r + ",1,T7";
    devicePresence(currentReply_);
  });
  set(ReplyId::AckLst, [this](const std::string& r) { listAcknowledgement(r); });
  set(ReplyId::MsgLst, [this](const std::string& r) { listRecord(r); });
  set(ReplyId::MsgRecOff, [this](const std::string& r) { recordingEnded(r); });
  set(ReplyId::AckTyp, [this](const std::string& r) { typeReply(r); });
  set(ReplyId::AckFree, [this](const std::string& r) { freeReply(r); });
  set(ReplyId::AckRec, [this](const std::string& r) { recordingReply(r); });
  set(ReplyId::NakRecOn, [this](const std::string& r) { recordingReply(r); });
  set(ReplyId::AckFmt, [this](const std::string& r) { formatReply(r); });
  set(ReplyId::MsgFmt, [this](const std::string& r) { formatReply(r); });
  set(ReplyId::AckCom, [this](const std::string& r) { speedConfirmation(r); });
  set(ReplyId::AckPin, [this](const std::string&) { sessionEstablished(); });
  set(ReplyId::Timer, [this](const std::string& r) { timerArmed(r); });
  set(ReplyId::AckTmrOn, [this](const std::string& r) { timerArmed(r); });
  set(ReplyId::AckTmrOff, [this](const std::string&) {
    flags_.locked = false;
    timerArmed_ = false;
    sessionEstablished();
  });
  set(ReplyId::AckTime, [this](const std::string& r) { clockReply(r); });
  set(ReplyId::Password, [this](const std::string& r) { passwordPrompt(r); });
  set(ReplyId::AckVer, [this](const std::string& r) { versionReply(r); });
  set(ReplyId::AckFlash, [this](const std::string& r) { flashReply(r); });
  set(ReplyId::AckTst0, [this](const std::string&) { testReply(true); });
  set(ReplyId::AckTstOff, [this](const std::string&) { testReply(true); });
  set(ReplyId::NakTst, [this](const std::string&) { testReply(false); });
  handlers_ = builtIn_;
}

// ---- small services -------------------------------------------------------------------------------------

void Host::log(const std::string& text) {
  // Device text is escaped where it enters; this catches any that an operation logs raw, so that no
  // backspace or escape sequence reaches the log file or a terminal.
  if (logSink_) logSink_(visibleLogText(text));
}

void Host::logEvent(TextId text) { log(" " + lang::text(text) + "\r\n"); }

void Host::persist(const char* section, const char* key) {
  if (settingsWriter_) settingsWriter_(section, key);
}

int Host::portCode() const { return settings_.port; }

void Host::refreshControls() {
  notify([](SessionObserver& o) { o.onStateChanged(); });
  publishState();
}

void Host::setStatusText(const std::string& text) {
  secondStatus_ = text;
  notify([&](SessionObserver& o) { o.onSecondStatus(text); });
  publishState();
}

void Host::setTitleSuffix(const std::string& text) {
  titleSuffix_ = text;
  notify([&](SessionObserver& o) { o.onTitleSuffix(text); });
  publishState();
}

void Host::startTimer(int timerId, std::chrono::milliseconds period) { loop_.startTimer(timerId, period); }

void Host::stopTimer(int timerId) { loop_.stopTimer(timerId); }

void Host::stopKeepAliveAndReplyWait() {
  stopTimer(kTimerKeepAlive);
  stopTimer(kTimerReply);
}

void Host::keepAliveStart() {
  flags_.pingOutstanding = true;
  startTimer(kTimerKeepAlive, 1000ms);
}

void Host::setLinkSpeed(std::uint32_t speed) {
  // A speed change waits for the lines asked for before it; the link holds the next byte back for
  // the adapter to settle.
  queueOutgoing(Outgoing{Outgoing::Kind::Step, {}, false, [this, speed] {
                           link_.SetSpeed(speed);
                           info_.linkSpeed = speed;
                         }});
}

// ---- connection ------------------------------------------------------------------------------------------

void Host::connectAttempt() {
  if (shutDown_) return;
  // A new link starts a new session: whatever the last one believed about the recorder does not hold
  // until the recorder answers on this link.
  const bool wasConnected = flags_.recorderConnected || flags_.sessionRunning;
  flags_.recorderConnected = false;
  flags_.sessionRunning = false;
  if (wasConnected) refreshControls();
  ++linkEpoch_;
  dropOutgoing();
  lastOpenResult_ = link_.Open(portCode(), kOpenSpeed, this, 0, 0);
  if (lastOpenResult_ == link::kOpenOk) {
    stopTimer(kTimerConnectRetry);
    // A partial line from before the link went away is not the start of the first line on this one.
    assembler_.clear();
    info_.linkSpeed = kOpenSpeed;
    logEvent(TextId::LinkOpenedLooking);
    link_.SetNotificationMask(link::kMaskLine);
    receiver_ = BlockReceiver::None;
    sendLine(std::string(cmd::kPing), true);
  } else {
    startTimer(kTimerConnectRetry, 1000ms);
  }
}

void Host::closeLink() {
  ++linkEpoch_;
  dropOutgoing();
  link_.Close();
  receiver_ = BlockReceiver::None;
}

void Host::shutdown(bool sendResetLine) {
  if (shutDown_) return;
  // The link closes once the reset line (and whatever was asked for before it) is out.
  const bool reset = sendResetLine && flags_.recorderConnected && link_.isOpen();
  if (reset) {
    sendLine(std::string(cmd::kReset), false, [this] { closeLink(); });
    log(fmt("%s %s.\r\n\r\n\r\n", {lang::text(TextId::AppName), lang::text(TextId::LogClosed)}));
  }
  shutDown_ = true;
  for (int id : {kTimerConnectRetry, kTimerKeepAlive, kTimerBlockData, kTimerReply, kTimerCancelConfirm,
                 kTimerTransferRequest})
    stopTimer(id);
  if (!reset) closeLink();
  flags_.recorderConnected = false;
  flags_.sessionRunning = false;
  flags_.pingOutstanding = false;
}

void Host::sessionReset() {
  stopTimer(kTimerKeepAlive);
  flags_.recorderConnected = false;
  flags_.sessionRunning = false;
  flags_.pingOutstanding = false;
  flags_.testMode = false;
  timerArmed_ = false;
  const std::uint32_t speed = info_.linkSpeed;
  info_ = SessionInfo{};
  info_.linkSpeed = speed;
  notify([](SessionObserver& o) { o.onSessionReset(); });
  refreshControls();
}

void Host::sessionEstablished() {
  logEvent(TextId::RecorderFoundStarting);
  receiver_ = BlockReceiver::None;
  flags_.sessionRunning = true;
  flags_.recorderConnected = true;
  flags_.recording = false;
  flags_.locked = false;
  timerArmed_ = false;
  clockCheckArmed_ = true;
  if (flags_.maintenance) {
    flags_.maintenance = false;
    notify([](SessionObserver& o) { o.onMaintenance(false); });
  }
  refreshControls();
  sendLine(std::string(cmd::kHighSpeedOn), false);
  if (link::isAdapterPort(portCode())) {
    persist("Options", "Baud");
    stopTimer(kTimerKeepAlive);
    logEvent(TextId::ChangingLinkSpeed);
    sendLine(cmd::linkSpeed(static_cast<long>(settings_.baud)), true);
    verPending_ = true;
  } else {
    // A serial port stays at the speed it was opened with; the log names that one, not the setting.
    log(fmt(" %s %ld bps\r\n", {lang::text(TextId::LinkSpeed), static_cast<long>(info_.linkSpeed)}));
    logEvent(TextId::ReadingFirmwareVersion);
    sendLine(std::string(cmd::kVersion), true);
    refreshControls();
  }
}

void Host::applyDeviceKind(const std::string& kind, const std::string& subModelField, bool connected) {
  if (kind.empty()) {
    if (connected) return;
    info_.variant = DeviceVariant::Plain;
    info_.subModel = 0;
    transmitterMenu_ = false;
  } else if (contains(kind, "T7")) {
    if (connected && transmitterMenu_) return;
    transmitterMenu_ = true;
    info_.variant = DeviceVariant::Transmitter;
    info_.subModel = 0;
    if (lang::strings().has(TextId::TransmitterFound)) log(lang::text(TextId::TransmitterFound));
  } else if (contains(kind, "R5U")) {
    const long long sub = leadingNumber(subModelField);
    info_.subModel = static_cast<std::uint16_t>(std::clamp<long long>(sub, 0, 0xFFFF));
    info_.variant = DeviceVariant::Reduced;
    transmitterMenu_ = false;
  } else {
    return;
  }
  settings_.transmitterMenu = transmitterMenu_;
  const auto variant = info_.variant;
  const auto sub = info_.subModel;
  const bool menu = transmitterMenu_;
  notify([&](SessionObserver& o) { o.onDeviceKind(variant, sub, menu); });
  publishState();
}

void Host::devicePresence(std::string reply) {
  // An answered ping ends a run of unanswered ones: the next silence gets its retry again.
  pingRetryCount_ = 0;
  info_.presenceSeen = true;
  const std::string kind = field(reply, 4);
  const std::string subModel = field(reply, 5);
  if (flags_.recorderConnected) {
    applyDeviceKind(kind, subModel, true);
    return;
  }
  applyDeviceKind(kind, subModel, false);

  const std::string status = field(reply, 3);
  if (!status.empty() && leadingNumber(status) == 0) {
    logEvent(TextId::RecorderErrorState);
    ui_.message(lang::text(TextId::RecorderErrorAdvice), lang::text(TextId::RecorderErrorCaption),
                ports::Icon::Error, ports::Buttons::Ok);
  }
  if (leadingNumber(field(reply, 2)) >= 1) {
    logEvent(TextId::RecorderInTestMode);
    ui_.message(lang::text(TextId::TestModeAdvice), lang::text(TextId::TestModeCaption),
                ports::Icon::Information, ports::Buttons::Ok);
    flags_.testMode = true;
  } else {
    flags_.testMode = false;
  }
  sessionEstablished();
}

void Host::speedConfirmation(const std::string& reply) {
  refreshControls();
  logEvent(TextId::LinkSpeedConfirmed);
  const long long speed = leadingNumber(field(reply, 3));
  if (speed <= 0 || speed > kMaxLinkSpeed) {
    // Not a speed the adapter can run: the recorder did not confirm anything usable and the link
    // stays at its speed. The connection still goes on there: the version query that waited for the
    // confirmation goes out now, or the session would only ever ping.
    log(fmt(" %s %s.\r\n", {lang::text(TextId::TransferError), lang::text(TextId::UnreadableReply)}));
    sendPendingVersionQuery();
    return;
  }
  setLinkSpeed(static_cast<std::uint32_t>(speed));
  refreshControls();
  sendLine(std::string(cmd::kPing), false);
  sendLine(std::string(cmd::kPing), true);
  log(fmt(" %s %ld bps\r\n", {lang::text(TextId::LinkSpeed), static_cast<long>(speed)}));
  sendPendingVersionQuery();
  if (saveSpeedPending_) {
    saveSpeedPending_ = false;
    settings_.baud = static_cast<std::uint32_t>(speed);
    persist("Options", "Port");
    persist("Options", "Baud");
  }
}

void Host::sendPendingVersionQuery() {
  if (!verPending_) return;
  verPending_ = false;
  logEvent(TextId::ReadingFirmwareVersion);
  sendLine(std::string(cmd::kVersion), true);
}

void Host::versionReply(const std::string& reply) {
  logEvent(TextId::FirmwareVersionReceived);
  constexpr std::string_view kPrefix = "$R5,ACK,VER";
  const std::size_t at = reply.find(kPrefix);
  std::string text;
  const std::size_t from = (at == std::string::npos ? 0 : at) + kPrefix.size() + 1;
  if (from <= reply.size()) text = reply.substr(from, kMaxVersionText);
  info_.firmwareCapability = firmwareCapability(text);
  info_.versionText = visibleText(text);
  info_.versionKnown = true;
  notify([](SessionObserver& o) { o.onInfoChanged(); });
  publishState();
  commandList();
}

std::chrono::steady_clock::time_point Host::now() const { return loop_.now(); }

void Host::speedFallback(const std::string& reasonText) {
  const std::string reason = reasonText.empty() ? lang::text(TextId::UnreadableReply) : reasonText;
  if (link::isFtdiPort(portCode())) {
    std::uint32_t speed = settings_.baud;
    log(fmt(" %s %s, %s\r\n",
            {lang::text(TextId::TransferError), reason, lang::text(TextId::LoweringLinkSpeed)}));
    if (speed > 1000000) speed -= 1000000;
    settings_.baud = speed;
    stopTimer(kTimerKeepAlive);
    refreshControls();
    logEvent(TextId::ChangingLinkSpeed);
    sendLine(cmd::linkSpeed(static_cast<long>(speed)), false);
  } else {
    log(fmt(" %s %s.\r\n", {lang::text(TextId::TransferError), reason}));
  }
}

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
  if (info_.type.numeric)
    info_.recordingSecondsLeft =
        recordingSecondsLeft(info_.freePages, info_.type.bits, info_.type.channels, info_.type.sampleRate);
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
  info_.computerTimeAtClock = std::time(nullptr);
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

void Host::passwordPrompt(const std::string&) {
  if (!flags_.recorderConnected) {
    flags_.sessionRunning = true;
    flags_.recorderConnected = true;
  }
  flags_.locked = true;
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

// ---- sending -------------------------------------------------------------------------------------------------

bool Host::sendLine(const std::string& line, bool expectReply, AfterSent afterSent) {
  // With no link there is nothing to write to (the connect retry is already running).
  if (!link_.isOpen()) return false;
  if (!contains(line, "PING")) {
    stopTimer(kTimerKeepAlive);
    flags_.pingOutstanding = false;
  }
  // Logged when asked for: the log keeps the order of the session's steps.
  if (sentLineIsLogged(line)) log("<< " + line);
  refreshControls();
  currentReply_.clear();
  queueOutgoing(Outgoing{Outgoing::Kind::Line, line, expectReply, std::move(afterSent)});
  return true;
}

bool Host::sendByte(std::uint8_t value) {
  if (!link_.isOpen()) return false;
  if (sending() || link_.WriteHeldBack()) {
    // Never inside a line: the byte follows the line going out (or waits for the adapter).
    queueOutgoing(Outgoing{Outgoing::Kind::Byte, std::string(1, static_cast<char>(value)), false, {}});
    return true;
  }
  if (link_.Write(&value, 1) == 1) return true;
  linkLost();
  return false;
}

void Host::queueOutgoing(Outgoing item) {
  outgoing_.push_back(std::move(item));
  if (!goingOut_) sendNext();
}

void Host::sendNext() {
  while (!goingOut_ && !outgoing_.empty()) {
    Outgoing item = std::move(outgoing_.front());
    outgoing_.pop_front();
    switch (item.kind) {
      case Outgoing::Kind::Step:
        if (item.then) item.then();  // may send, or lose the link (which empties the queue)
        break;
      case Outgoing::Kind::Byte:
        if (link_.WriteHeldBack()) {
          // The adapter is not ready for it yet: the link writes it when it is.
          const std::uint64_t epoch = linkEpoch_;
          goingOut_ = std::move(item);
          link_.QueuedWrite(goingOut_->bytes, [this, epoch](std::size_t written) {
            if (epoch == linkEpoch_ && goingOut_) lineSent(written);
          });
          break;
        }
        if (link_.Write(reinterpret_cast<const std::uint8_t*>(item.bytes.data()), item.bytes.size()) !=
            item.bytes.size()) {
          linkLost();
          return;
        }
        break;
      case Outgoing::Kind::Line: {
        link_.Purge();
        inputDeferred_ = false;  // the purge took it
        const std::uint64_t epoch = linkEpoch_;
        goingOut_ = std::move(item);
        link_.PacedWrite(goingOut_->bytes, [this, epoch](std::size_t written) {
          if (epoch == linkEpoch_ && goingOut_) lineSent(written);
        });
        break;
      }
    }
  }
}

void Host::lineSent(std::size_t written) {
  Outgoing line = std::move(*goingOut_);
  goingOut_.reset();
  if (written != line.bytes.size()) {
    linkLost();
    return;
  }
  if (line.expectReply) startTimer(kTimerReply, 1000ms);
  if (line.then) line.then();
  sendNext();
  readDeferredInput();
}

void Host::dropOutgoing() {
  outgoing_.clear();
  goingOut_.reset();
  inputDeferred_ = false;
}

void Host::readDeferredInput() {
  if (goingOut_ || !inputDeferred_ || shutDown_ || !link_.isOpen()) return;
  inputDeferred_ = false;
  std::uint32_t errorWord = 0;
  link::QueueStatusRecord status;
  if (!link_.QueueStatus(errorWord, status) || status.bytesToRead == 0) return;
  if (receiver_ == BlockReceiver::None)
    lineNotification(status.bytesToRead);
  else
    dataNotification(status.bytesToRead);
}

bool Host::replyWaitPending() const {
  if (loop_.timerActive(kTimerReply)) return true;
  if (goingOut_ && goingOut_->expectReply) return true;
  return std::any_of(outgoing_.begin(), outgoing_.end(), [](const Outgoing& o) { return o.expectReply; });
}

void Host::linkLost() {
  stopTimer(kTimerBlockData);
  // Nothing can answer on a closed link: the reply, confirmation and request waits end too.
  stopTimer(kTimerReply);
  stopTimer(kTimerCancelConfirm);
  stopTimer(kTimerTransferRequest);
  log(fmt("%s\r\n%s\r\n", {lang::text(TextId::UnableToSend), lang::text(TextId::LinkLostReconnecting)}));
  sessionReset();
  showStatus(lang::text(TextId::NotConnected));
  flags_.download = false;
  if (activeTransfer_) activeTransfer_->onLinkLost();
  setStatusText("");
  refreshControls();
  closeLink();
  if (!shutDown_) startTimer(kTimerConnectRetry, 1000ms);
}

void Host::setLineMode() {
  receiver_ = BlockReceiver::None;
  link_.SetNotificationMask(link::kMaskLine);
}

void Host::setBlockMode(BlockReceiver receiver) {
  receiver_ = receiver;
  link_.SetNotificationMask(receiver == BlockReceiver::None ? link::kMaskLine : link::kMaskData);
}

void Host::discardInput() { link_.Purge(); }

// ---- receiving -----------------------------------------------------------------------------------------------

void Host::onLinkNotification(int notification, std::size_t bytesWaiting) {
  // After the session ended (and while the host goes away) a reader may still hand over what it had.
  if (shutDown_) return;
  if (goingOut_ && (notification == link::kLineNotification || notification == link::kDataNotification)) {
    // The recorder answers a line once it is out; what comes meanwhile is read when it is.
    inputDeferred_ = true;
    return;
  }
  if (notification == link::kLineNotification)
    lineNotification(bytesWaiting);
  else if (notification == link::kDataNotification)
    dataNotification(bytesWaiting);
  else if (notification == link::kLostNotification && link_.isOpen())
    // The reader saw the device go (unplugged, hung up). While recording, formatting or locked nothing
    // is written for a long time, so waiting for a failing write would leave the loss unnoticed.
    linkLost();
  // The serial line-status error notification has no handler.
}

bool Host::lineNotification(std::size_t bytesWaiting) {
  if (bytesWaiting == 0) return false;
  std::string chunk(std::min(bytesWaiting, kReadChunk), '\0');
  std::size_t remaining = bytesWaiting;
  bool anyRead = false;
  // A handler may lose or close the link: the lines after it in the same chunk came from a link
  // that is gone and are not dispatched (a presence line there would mark a closed link connected).
  const std::uint64_t epoch = linkEpoch_;
  const auto onLine = [this, epoch](const std::string& line) {
    if (epoch == linkEpoch_ && link_.isOpen()) dispatch(line);
  };
  while (remaining > 0 && epoch == linkEpoch_ && link_.isOpen()) {
    const std::size_t want = std::min(remaining, kReadChunk);
    const std::size_t got = link_.Read(reinterpret_cast<std::uint8_t*>(chunk.data()), want);
    if (got == 0) break;
    anyRead = true;
    remaining -= std::min(got, remaining);
    assembler_.append(std::string_view(chunk.data(), std::min(got, want)), onLine, [this](std::size_t run) {
      log(fmt(" %s (%lu)\r\n", {lang::text(TextId::UnreadableReply), static_cast<unsigned long>(run)}));
    });
  }
  return anyRead;
}

bool Host::dataNotification(std::size_t) {
  if (receiver_ == BlockReceiver::Download || receiver_ == BlockReceiver::Sample) {
    std::uint32_t errorWord = 0;
    link::QueueStatusRecord status;
    if (link_.QueueStatus(errorWord, status)) {
      std::size_t waiting = status.bytesToRead;
      // Into the block buffer up to what the block should bring…
      const std::size_t room = block_.expected > block_.received ? block_.expected - block_.received : 0;
      const std::size_t take = std::min(waiting, room);
      if (take > 0) {
        const std::size_t got = link_.Read(block_.data.data() + block_.received, take);
        block_.received += std::min(got, take);
        waiting -= std::min(got, take);
        if (got < take) waiting = 0;
      }
      // …and whatever comes beyond it is read, counted and dropped, never written past the buffer.
      std::uint8_t scratch[kReadChunk];
      while (waiting > 0) {
        const std::size_t got = link_.Read(scratch, std::min(waiting, sizeof scratch));
        if (got == 0) break;
        block_.overrun += got;
        waiting -= std::min(got, waiting);
      }
    }
    if (activeTransfer_) activeTransfer_->onBlockData();
  } else {
    // Block data with nobody to take it: back to line mode; the bytes stay in the link for the
    // line assembly.
    receiver_ = BlockReceiver::None;
    link_.SetNotificationMask(link::kMaskLine);
  }
  return true;
}

bool Host::dispatch(const std::string& line) {
  stopTimer(kTimerReply);
  stopTimer(kTimerKeepAlive);
  currentReply_ = line;
  if (receivedLineIsLogged(line)) log(">> " + visibleText(line) + "\r\n");

  bool matched = false;
  if (const auto id = matchReply(currentReply_)) {
    matched = true;
    const ReplyHandler handler = handlers_[replyIndex(*id)];  // a handler may replace itself
    if (handler) handler(std::string(line));
  } else {
    keepAliveStart();
  }

  if (flags_.sessionRunning && receiver_ == BlockReceiver::None && !flags_.recording && !flags_.maintenance &&
      !currentReply_.empty())
    keepAliveStart();
  // Before the session runs, a reply that is not the presence answer must not leave the session
  // waiting for nothing: when no wait is left, the keep-alive pings again.
  if (!flags_.sessionRunning && link_.isOpen() && receiver_ == BlockReceiver::None &&
      !loop_.timerActive(kTimerKeepAlive) && !replyWaitPending())
    keepAliveStart();
  currentReply_.clear();
  return matched;
}

// ---- timers --------------------------------------------------------------------------------------------------

void Host::onTimer(int timerId) {
  switch (timerId) {
    case kTimerConnectRetry:
      stopTimer(kTimerConnectRetry);
      connectAttempt();
      break;
    case kTimerKeepAlive:
      stopTimer(kTimerKeepAlive);
      sendLine(std::string(cmd::kPing), true);
      break;
    case kTimerBlockData:
      stopTimer(kTimerBlockData);
      if (activeTransfer_) activeTransfer_->onBlockTimeout();
      break;
    case kTimerReply:
      replyTimeout();
      break;
    case kTimerCancelConfirm:
      stopTimer(kTimerCancelConfirm);
      if (activeTransfer_)
        activeTransfer_->onConfirmationTimeout();
      else
        logEvent(TextId::CancelNotConfirmed);
      break;
    case link::kTimerPacedWrite:
      link_.OnPacedWriteTimer();
      break;
    case kTimerTransferRequest:
      stopTimer(kTimerTransferRequest);
      if (activeTransfer_)
        activeTransfer_->onRequestTimeout();
      else
        log(fmt(" %s %s.", {lang::text(TextId::NoReplyToThe), lang::text(TextId::Request)}) + "\r\n");
      break;
    default: {
      const auto it = timerHooks_.find(timerId);
      if (it != timerHooks_.end()) {
        const auto hook = it->second;
        hook();
      } else {
        stopTimer(timerId);  // nobody wants it
      }
      break;
    }
  }
}

void Host::replyTimeout() {
  stopTimer(kTimerReply);
  if (!flags_.pingOutstanding) {
    // The time-out of another command.
    log(lang::text(TextId::NoReplyInTime) + "\r\n");
    flags_.pingOutstanding = true;
    sendLine(std::string(cmd::kPing), true);
    return;
  }
  if (pingRetryCount_ == 0) {
    pingRetryCount_ = 1;
    flags_.pingOutstanding = true;
    sendLine(std::string(cmd::kPing), true);
    return;
  }
  // The recorder does not answer.
  if (speedCycleIndex_ > 5) speedCycleIndex_ = 0;
  const link::PortKind kind = link::portKind(portCode());
  if (kind == link::PortKind::Ftdi) setLinkSpeed(kCycleSpeeds[static_cast<std::size_t>(speedCycleIndex_)]);
  std::string dots(8, ' ');
  for (int i = 0; i <= speedCycleIndex_ % 3; ++i) dots[static_cast<std::size_t>(i)] = '.';
  ++speedCycleIndex_;
  sessionReset();
  if (kind == link::PortKind::Ftdi)
    showStatus(fmt("     %s %s%s", {lang::text(TextId::LookingForRecorder), lang::text(TextId::UsbAdapter), dots}));
  else if (kind == link::PortKind::QuickUsb)
    showStatus(fmt("     %s %s%s", {lang::text(TextId::LookingForRecorder), lang::text(TextId::VantleModule), dots}));
  else if (kind == link::PortKind::None) {
    showStatus(lang::text(TextId::NotConnected));
    speedCycleIndex_ = 0;
  } else
    showStatus(fmt("     %s %s%s", {lang::text(TextId::LookingForRecorder), lang::text(TextId::SerialPortCom), dots}));
  refreshControls();
  flags_.pingOutstanding = true;
  sendLine(std::string(cmd::kPing), false);
  sendLine(std::string(cmd::kPing), true);
}

}  // namespace recdesk::session
