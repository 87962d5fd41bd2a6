#pragma once
// The recorder's maintenance: format, bad-block scan, flash check, record on and off, LED mode, test
// mode off, and the information a front end shows about the device, its flash and the USB adapter.
//
// Format and flash check run on the recorder from its "START" reply to its "END" reply; meanwhile the
// session is busy (the maintenance flag) and front ends follow the progress as numbers. A format or
// check whose "END" never comes can be abandoned by the user (after a confirmation): the session
// stops waiting for it instead of staying busy for good. The flash check erases the flash: the user
// confirms it, and confirms again when a recording is not wholly on disk.
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "operations/MaintenanceMath.h"
#include "operations/RecordingList.h"
#include "session/Host.h"

namespace recdesk::operations {

enum class MaintenanceJob { None, Format, Check };

// A format or flash check as a progress window shows it.
struct MaintenanceProgress {
  MaintenanceJob job = MaintenanceJob::None;
  bool running = false;      // between "START" and "END"
  bool ended = false;        // its "END" came
  bool abandoned = false;    // the user stopped waiting for its "END" (or the link went)
  std::string deviceName;
  std::int64_t elapsedMs = 0;  // since "START"
  long badBlocks = 0;          // format: bad blocks met so far (the "END" count once it came)
  CheckProgress check;         // flash check: pass, bar and estimate
};

// How a front end follows the maintenance replies.
class MaintenanceListener {
 public:
  virtual ~MaintenanceListener() = default;
  virtual void onMaintenanceProgress(const MaintenanceProgress& /*progress*/) {}
  virtual void onBadBlockScan(const BadBlockScanResult& /*result*/) {}
  virtual void onLedMode(int /*mode*/) {}
  // "$R5,ACK,REC…" (accepted) or "$R5,NAK,REC,ON"; `on` when the line says "ON".
  virtual void onRecordReply(bool /*accepted*/, bool /*on*/) {}
  virtual void onTestModeReply(bool /*accepted*/) {}
};

class Maintenance : public session::SessionObserver {
 public:
  Maintenance(session::Host& host, const RecordingList& list);
  ~Maintenance() override;
  Maintenance(const Maintenance&) = delete;
  Maintenance& operator=(const Maintenance&) = delete;

  void setListener(MaintenanceListener* listener) { listener_ = listener; }
  // Playback stops when a format or check starts.
  std::function<void()> stopPlayback;

  // ---- commands --------------------------------------------------------------------------------
  // Asks (twice when recordings are not all on disk), then sends the format. See Host::commandFormat.
  bool format() { return host_.commandFormat(); }
  // "$R5,BAD": the result comes as onBadBlockScan.
  bool scanBadBlocks();
  // Asks the user to confirm the check (and again when a recording is not wholly on disk), then
  // sends "$R5,CHK". False when declined at once or not sent; true when sent or still being asked.
  bool checkFlash();
  bool checkQuestionOpen() const { return checkAsking_; }
  void recordOn() { host_.commandRecordOn(); }
  void recordOff() { host_.commandRecordOff(); }
  // Sets the recording type (a profile's values, or its name on the reduced recorder); the recorder's
  // answer selects the profile and runs the flash and free-space queries again.
  bool setRecordingType(const RecordingTypeChoice& choice);
  // "$R5,LED,<mode>" for mode 1, 2 or 3; false for another mode or when not sent.
  bool setLed(int mode);
  // "$R5,RB5RB5,TST,0" and at once "$R5,RB5RB5,TST,OFF".
  bool testModeOff();
  // Stops waiting for the "END" of a format or check, after asking the user. True when a job was
  // running (the answer may come later).
  bool abandon();

  // ---- information -----------------------------------------------------------------------------
  const MaintenanceProgress& progress() const { return progress_; }
  std::optional<int> ledMode() const { return led_; }
  // The result of the last scan the user asked for in this session.
  const std::optional<BadBlockScanResult>& lastScan() const { return scan_; }
  DeviceInformation device() const { return deviceInformation(host_.info().versionText); }
  const std::string& flashText() const { return host_.info().flashText; }
  void adapterInformation(std::function<void(const std::string& text)> done) {
    host_.adapterInformation(std::move(done));
  }

  // ---- replies (plugged into the session's dispatcher) ------------------------------------------
  void onFormatReply(const std::string& line);
  void onCheckReply(const std::string& line);
  void onLedReply(const std::string& line);
  // The scan's end, read by the session's scan handler.
  void onScanEnd(const BadBlockScanResult& result);

  // SessionObserver
  void onSessionReset() override;
  void onMaintenance(bool running) override;

 private:
  void askCheck(ports::Topic topic, const std::string& text, ports::Buttons buttons, ports::Answer no,
                std::function<void(bool yes)> then);
  void sendCheck();
  void beginJob(MaintenanceJob job);
  void endJob(bool abandoned);
  void publish();
  std::int64_t nowMs() const;

  session::Host& host_;
  const RecordingList& list_;
  MaintenanceListener* listener_ = nullptr;
  MaintenanceProgress progress_;
  CheckTracker tracker_;
  std::int64_t startMs_ = 0;
  std::optional<int> led_;
  std::optional<BadBlockScanResult> scan_;
  bool scanAsked_ = false;
  bool inReply_ = false;  // a reply handler runs (its flag changes are its own)
  bool checkAsking_ = false;
  std::optional<bool> checkSent_;
  std::uint64_t token_ = 0;  // the question whose answer counts
  std::shared_ptr<char> life_ = std::make_shared<char>();
};

}  // namespace recdesk::operations
