#pragma once
// Pieces shared by the maintenance commands (format, badblocks, check, record, led, testmode) and
// the level preview: the connected session with the operations plugged in, what the recorder
// answered, and the wait for a format or check with its progress line.
#include <memory>
#include <optional>
#include <string>

#include "Cli.h"
#include "RecordingsCli.h"

namespace recdesk::cli {

// What the maintenance replies told, as they came.
struct MaintenanceWatch : operations::FrontEndObserver {
  std::optional<operations::MaintenanceProgress> progress;
  std::optional<int> led;
  std::optional<std::pair<bool, bool>> record;  // accepted, on
  int testReplies = 0;
  bool testRefused = false;
  std::optional<operations::LevelPreviewResult> preview;
  std::uint32_t previewPagesDone = 0, previewPages = 0;
  bool previewProgress = false;

  void onMaintenanceProgress(const operations::MaintenanceProgress& p) override { progress = p; }
  void onLedMode(int mode) override { led = mode; }
  void onRecordReply(bool accepted, bool on) override { record = std::make_pair(accepted, on); }
  void onTestModeReply(bool accepted) override {
    ++testReplies;
    if (!accepted) testRefused = true;
  }
  void onPreviewProgress(std::uint32_t done, std::uint32_t total) override {
    previewPagesDone = done;
    previewPages = total;
    previewProgress = true;
  }
  void onPreviewFinished(const operations::LevelPreviewResult& r) override { preview = r; }
};

struct MaintenanceSession {
  RecordingsSession rs;
  MaintenanceWatch watch;
  ~MaintenanceSession();
  CliSession& session() { return *rs.session; }
  operations::Maintenance& maintenance() { return rs.operations->maintenance(); }
};

// Creates and connects the session (the reason printed when it cannot); null then.
std::unique_ptr<MaintenanceSession> openMaintenanceSession(CliContext& context);

// The sentence why the recorder cannot take a maintenance command now (locked, armed, busy), or empty.
std::string whyNotNow(CliSession& session);

// Waits for the format or check that was asked for: its start (within the session's time-out), its
// progress (a line on the terminal) and its end. Ctrl-C, or `waitLimit` passing, asks whether to stop
// waiting for its end. Returns the exit code; prints the result.
int waitForMaintenance(MaintenanceSession& ms, operations::MaintenanceJob job, std::chrono::minutes waitLimit);

// The option "--wait MINUTES" of format and check.
OptionDef waitOption();

}  // namespace recdesk::cli
