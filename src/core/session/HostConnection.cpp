// The session owner's connection keeper: opening the link and pinging until the recorder answers,
// the presence answer, the speed agreement with its confirmation and fallback, the version reply,
// and the reply time-out that cycles the adapter's speed while nothing answers.
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
  speedChanging_ = false;
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
  speedChanging_ = false;
  link_.Close();
  receiver_ = BlockReceiver::None;
  // Front ends disable what needs the link (the windows left open over a lost link).
  publishState();
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
  querying_ = false;
  speedChanging_ = false;
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
    speedAgreed();
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
  speedAgreed();
}

void Host::speedAgreed() {
  // What waited for the speed goes out behind the lines just queued, at the new speed.
  speedChanging_ = false;
  publishState();
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

// ---- the reply time-out: speed cycling while nothing answers ---------------------------------------------

void Host::replyTimeout() {
  stopTimer(kTimerReply);
  // A speed line left unconfirmed: the link stays at its speed.
  speedChanging_ = false;
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
