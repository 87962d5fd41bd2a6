#include "operations/Maintenance.h"

#include <chrono>

#include "lang/Strings.h"
#include "ports/UserInterface.h"
#include "session/Protocol.h"

namespace recdesk::operations {

using session::ReplyId;
using session::contains;

namespace {

constexpr const char* kScanLine = "$R5,BAD\r\n";
constexpr const char* kCheckLine = "$R5,CHK\r\n";
constexpr const char* kTestZeroLine = "$R5,RB5RB5,TST,0\r\n";
constexpr const char* kTestOffLine = "$R5,RB5RB5,TST,OFF\r\n";

long fieldNumber(const std::string& line, int n) {
  const long long v = session::leadingNumber(session::field(line, n));
  return static_cast<long>(std::clamp<long long>(v, -2147483647LL, 2147483647LL));
}

}  // namespace

Maintenance::Maintenance(session::Host& host, const RecordingList& list) : host_(host), list_(list) {
  host_.addObserver(this);
  // The session's own handling of these replies (flags, log, the list read again) runs first.
  const auto wrap = [this](ReplyId id, std::function<void(const std::string&)> after) {
    host_.setReplyHandler(id, [this, id, after](const std::string& line) {
      inReply_ = true;
      if (const auto builtIn = host_.builtInReplyHandler(id)) builtIn(line);
      after(line);
      inReply_ = false;
    });
  };
  wrap(ReplyId::AckFmt, [this](const std::string& l) { onFormatReply(l); });
  wrap(ReplyId::MsgFmt, [this](const std::string& l) { onFormatReply(l); });
  wrap(ReplyId::AckChk, [this](const std::string& l) { onCheckReply(l); });
  wrap(ReplyId::MsgChk, [this](const std::string& l) { onCheckReply(l); });
  wrap(ReplyId::AckLed, [this](const std::string& l) { onLedReply(l); });
  const auto record = [this](const std::string& l) {
    if (listener_) listener_->onRecordReply(contains(l, "$R5,ACK,REC"), contains(l, "ON"));
  };
  wrap(ReplyId::AckRec, record);
  wrap(ReplyId::NakRecOn, record);
  const auto test = [this](bool accepted) {
    return [this, accepted](const std::string&) {
      if (listener_) listener_->onTestModeReply(accepted);
    };
  };
  wrap(ReplyId::AckTst0, test(true));
  wrap(ReplyId::AckTstOff, test(true));
  wrap(ReplyId::NakTst, test(false));
}

Maintenance::~Maintenance() {
  for (const ReplyId id : {ReplyId::AckFmt, ReplyId::MsgFmt, ReplyId::AckChk, ReplyId::MsgChk, ReplyId::AckLed,
                           ReplyId::AckRec, ReplyId::NakRecOn, ReplyId::AckTst0, ReplyId::AckTstOff, ReplyId::NakTst})
    host_.setReplyHandler(id, {});
  host_.removeObserver(this);
}

std::int64_t Maintenance::nowMs() const {
  return std::chrono::duration_cast<std::chrono::milliseconds>(host_.now().time_since_epoch()).count();
}

// ---- commands ------------------------------------------------------------------------------------

bool Maintenance::scanBadBlocks() {
  if (!host_.recorderConnected()) return false;
  host_.log(" " + lang::text(TextId::ScanningForBadBlocks) + "\r\n");
  if (!host_.sendLine(kScanLine, true)) return false;
  scanAsked_ = true;
  host_.setActivity(session::Activity::Scan, true);
  return true;
}

bool Maintenance::checkFlash() {
  // The check erases the flash: the user confirms it, and confirms again when a recording is not
  // wholly on disk. Answers may come later; one that comes after the recorder went is dropped.
  if (checkAsking_) return true;
  if (!host_.recorderConnected()) return false;
  checkAsking_ = true;
  checkSent_.reset();
  const std::string text = lang::text(TextId::FlashCheckErases) + "\n\n" + lang::text(TextId::FlashCheckTakesHours);
  askCheck(ports::Topic::FlashCheck, text, ports::Buttons::OkCancel, ports::Answer::Cancel, [this](bool ok) {
    if (!ok) {
      checkAsking_ = false;
      checkSent_ = false;
      return;
    }
    bool incomplete = false;
    for (std::size_t i = 0; i < list_.size(); ++i)
      if (!list_.completeOnDisk(i)) incomplete = true;
    if (!incomplete) return sendCheck();
    askCheck(ports::Topic::FlashCheckIncomplete, lang::text(TextId::FlashCheckIncompleteQuestion),
             ports::Buttons::YesNo, ports::Answer::No, [this](bool yes) {
               if (yes) return sendCheck();
               checkAsking_ = false;
               checkSent_ = false;
             });
  });
  return checkSent_.value_or(true);
}

void Maintenance::askCheck(ports::Topic topic, const std::string& text, ports::Buttons buttons, ports::Answer no,
                           std::function<void(bool yes)> then) {
  ports::Question q;
  q.topic = topic;
  q.text = text;
  q.caption = lang::text(TextId::AppName);
  q.icon = ports::Icon::Error;
  q.buttons = buttons;
  q.defaultAnswer = no;
  const std::uint64_t token = ++token_;
  host_.ui().ask(q, [this, life = std::weak_ptr<char>(life_), token, then](const ports::Reply& reply) {
    if (life.expired() || token != token_) return;
    if (!host_.recorderConnected()) {  // the recorder it was asked about has gone
      checkAsking_ = false;
      checkSent_ = false;
      return;
    }
    then(reply.answer == ports::Answer::Yes || reply.answer == ports::Answer::Ok);
  });
}

void Maintenance::sendCheck() {
  checkAsking_ = false;
  host_.log(" " + lang::text(TextId::CheckingFlash) + "\r\n");
  checkSent_ = host_.sendLine(kCheckLine, true);
  if (*checkSent_) host_.setActivity(session::Activity::Check, true);
}

bool Maintenance::setRecordingType(const RecordingTypeChoice& choice) {
  if (!host_.recorderConnected()) return false;
  host_.log(" " + lang::text(TextId::SettingRecordingType) + "\r\n");
  return host_.sendLine(recordingTypeLine(host_.info().variant == session::DeviceVariant::Reduced, choice), true);
}

bool Maintenance::setLed(int mode) {
  if (mode < 1 || mode > 3 || !host_.recorderConnected()) return false;
  host_.log(" " + lang::text(TextId::SettingLedMode) + "\r\n");
  return host_.sendLine("$R5,LED," + std::to_string(mode) + "\r\n", true);
}

bool Maintenance::testModeOff() {
  if (!host_.recorderConnected()) return false;
  host_.log(" " + lang::text(TextId::SwitchingTestModeOff) + "\r\n");
  return host_.sendLine(kTestZeroLine, true) && host_.sendLine(kTestOffLine, true);
}

bool Maintenance::abandon() {
  if (!progress_.running) return false;
  ports::Question q;
  q.topic = ports::Topic::AbandonMaintenance;
  q.text = lang::text(TextId::AbandonMaintenanceQuestion);
  q.caption = lang::text(TextId::AppName);
  q.icon = ports::Icon::Warning;
  q.buttons = ports::Buttons::YesNo;
  q.defaultAnswer = ports::Answer::No;
  const std::uint64_t token = ++token_;
  const MaintenanceJob job = progress_.job;
  host_.ui().ask(q, [this, life = std::weak_ptr<char>(life_), token, job](const ports::Reply& reply) {
    if (life.expired() || token != token_) return;
    // The "END" may have come while the user was asked: then there is nothing left to abandon.
    if (reply.answer != ports::Answer::Yes || !progress_.running || progress_.job != job) return;
    host_.log(" " + lang::text(TextId::MaintenanceAbandoned) + "\r\n");
    endJob(true);
    if (host_.recorderConnected()) host_.startKeepAlive();
  });
  return true;
}

// ---- replies ---------------------------------------------------------------------------------------

void Maintenance::beginJob(MaintenanceJob job) {
  if (stopPlayback) stopPlayback();
  ++token_;  // a question about the job before (abandon) no longer counts
  progress_ = MaintenanceProgress{};
  progress_.job = job;
  progress_.running = true;
  progress_.deviceName = host_.info().deviceName;
  startMs_ = nowMs();
}

void Maintenance::endJob(bool abandoned) {
  progress_.running = false;
  progress_.ended = !abandoned;
  progress_.abandoned = abandoned;
  if (progress_.job == MaintenanceJob::Check) host_.setActivity(session::Activity::Check, false);
  host_.setActivity(session::Activity::Maintenance, false);
  publish();
}

void Maintenance::publish() {
  progress_.elapsedMs = progress_.running || progress_.ended ? nowMs() - startMs_ : progress_.elapsedMs;
  host_.refreshControls();
  if (listener_) listener_->onMaintenanceProgress(progress_);
}

void Maintenance::onFormatReply(const std::string& line) {
  // The session has set or cleared the maintenance flag, logged and (at the end) asked for the list.
  if (contains(line, "START")) beginJob(MaintenanceJob::Format);
  if (progress_.job != MaintenanceJob::Format) return;
  if (contains(line, "BAD")) ++progress_.badBlocks;
  if (contains(line, "END")) {
    progress_.badBlocks = fieldNumber(line, 4);
    if (progress_.running) return endJob(false);
  }
  if (progress_.running) publish();
}

void Maintenance::onCheckReply(const std::string& line) {
  if (contains(line, "START")) {
    beginJob(MaintenanceJob::Check);
    tracker_.start(startMs_);
    host_.setActivity(session::Activity::Maintenance, true);
    publish();
  }
  if (contains(line, "POS")) {
    if (progress_.job != MaintenanceJob::Check || !progress_.running) {
      // A check the session did not see start (it began before we connected): follow it all the same.
      beginJob(MaintenanceJob::Check);
      tracker_.start(startMs_);
      host_.setActivity(session::Activity::Maintenance, true);
    }
    progress_.check = tracker_.position(line, nowMs());
    publish();
  }
  if (contains(line, "END")) {
    const long bad = fieldNumber(line, 4);
    if (progress_.job == MaintenanceJob::Check) progress_.badBlocks = bad;
    const bool wasRunning = progress_.running && progress_.job == MaintenanceJob::Check;
    host_.setActivity(session::Activity::Maintenance, false);
    host_.setActivity(session::Activity::Check, false);
    host_.ui().message(lang::text(TextId::FlashCheckComplete), lang::text(TextId::AppName),
                       ports::Icon::Information, ports::Buttons::Ok);
    host_.log(lang::formatText(" %s %ld\r\n", {lang::text(TextId::FlashCheckBadBlocks), bad}));
    if (wasRunning) endJob(false);
    host_.commandList();
  }
}

void Maintenance::onLedReply(const std::string& line) {
  host_.log(" " + lang::text(TextId::LedModeSet) + "\r\n");
  led_ = ledModeOfReply(line);
  if (led_ && listener_) listener_->onLedMode(*led_);
  host_.refreshControls();
}

void Maintenance::onScanEnd(const BadBlockScanResult& result) {
  // The scan the user asked for is shown; the one that follows a download is only logged.
  if (!scanAsked_) return;
  scanAsked_ = false;
  scan_ = result;
  host_.ui().message(result.text, lang::text(TextId::AppName), ports::Icon::Information, ports::Buttons::Ok);
  if (listener_) listener_->onBadBlockScan(result);
}

void Maintenance::onSessionReset() {
  scanAsked_ = false;
  led_.reset();
  if (checkAsking_) ++token_;  // the answer would be about a recorder that has gone
  checkAsking_ = false;
  if (progress_.running) endJob(true);
}

void Maintenance::onMaintenance(bool running) {
  // The session cleared the flag itself (a new session was established): the job is over.
  if (!running && progress_.running && !inReply_) endJob(true);
}

}  // namespace recdesk::operations
