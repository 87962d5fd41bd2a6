// The session owner: wiring of the reply handlers and timers, the services the operations use,
// sending (paced lines in order, control bytes) and receiving (line and block notifications, the
// dispatcher). The connection keeper and the query chain live in HostConnection.cpp and
// HostQueryChain.cpp.
#include "session/Host.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <ctime>

#include "app/Settings.h"
#include "lang/Strings.h"
#include "ports/EventLoop.h"
#include "ports/UserInterface.h"
#include "session/HostDetail.h"

namespace recdesk::session {

using namespace std::chrono_literals;
using namespace host_detail;

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
  // (Most text has nothing to escape and goes as it is, without a copy.)
  if (!logSink_) return;
  if (logTextVisible(text))
    logSink_(text);
  else
    logSink_(visibleLogText(text));
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

// ---- sending -------------------------------------------------------------------------------------------------

bool Host::sendLine(const std::string& line, bool expectReply, AfterSent afterSent) {
  // With no link there is nothing to write to (the connect retry is already running).
  if (!link_.isOpen()) return false;
  if (!contains(line, "PING")) {
    stopTimer(kTimerKeepAlive);
    flags_.pingOutstanding = false;
  } else {
    // A ping means the recorder left a query of the chain unanswered (its purge drops any late
    // answer): the chain is over, and the commands that talk to the recorder are free again.
    querying_ = false;
  }
  // Logged when asked for: the log keeps the order of the session's steps.
  if (sentLineIsLogged(line)) log("<< " + line);
  if (expectReply && line.rfind(cmd::kLinkSpeedPrefix, 0) == 0) speedChanging_ = true;
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
    Outgoing item = outgoing_.take();
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
  char chunk[kReadChunk];
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
    const std::size_t got = link_.Read(reinterpret_cast<std::uint8_t*>(chunk), want);
    if (got == 0) break;
    anyRead = true;
    remaining -= std::min(got, remaining);
    assembler_.append(std::string_view(chunk, std::min(got, want)), onLine, [this](std::size_t run) {
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

}  // namespace recdesk::session
