#pragma once
// A fake session owner and a small fake recorder for the operation tests.
//
// FakeSession implements SessionServices: it records lines, control bytes, log text and timers,
// keeps a virtual clock, and queues the recorder's answers as events that run() delivers after the
// current handler has returned (as the real session delivers replies). When nothing is queued, run()
// advances the virtual clock to the next running timer and fires it.
//
// FakeRecorder answers "$R5,DNL,…" and the control bytes "n", "r", "c" from an array of pages per
// file number, with fault injection on the copy it sends.
#include <chrono>
#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "TestSupport.h"
#include "app/Settings.h"
#include "operations/Download.h"
#include "session/SessionInfo.h"
#include "session/SessionServices.h"

namespace recdesk::test {

class FakeRecorder;

class FakeSession : public session::SessionServices {
 public:
  FakeSession() { settings_.downloadFolder = ""; }

  // ---- SessionServices ----
  using session::SessionServices::sendLine;
  // The fake's line is out at once: `afterSent` runs before sendLine returns.
  bool sendLine(const std::string& line, bool expectReply, AfterSent afterSent) override;
  bool sendByte(std::uint8_t value) override;
  void setLineMode() override { receiver_ = session::BlockReceiver::None; }
  void setBlockMode(session::BlockReceiver receiver) override { receiver_ = receiver; }
  bool inBlockMode() const override { return receiver_ != session::BlockReceiver::None; }
  void discardInput() override { ++discards; }
  session::BlockBuffer& blockBuffer() override { return buffer_; }
  void startTimer(int id, std::chrono::milliseconds period) override {
    timers_[id] = {period, now_ + period};
    timerStarts[id].push_back(period);
  }
  void stopTimer(int id) override { timers_.erase(id); }
  void startKeepAlive() override { ++keepAliveStarts; }
  void stopKeepAliveAndReplyWait() override { ++keepAliveStops; }
  void log(const std::string& text) override { logText += text; }
  ports::UserInterface& ui() override { return ui_; }
  const app::Settings& settings() const override { return settings_; }
  int portCode() const override { return port; }
  bool recorderConnected() const override { return true; }
  const session::SessionFlags& flags() const override { return flags_; }
  void setActivity(session::Activity activity, bool on) override {
    switch (activity) {
      case session::Activity::Download: flags_.download = on; break;
      case session::Activity::Preview: flags_.sample = on; break;
      case session::Activity::Scan: flags_.scan = on; break;
      case session::Activity::Check: flags_.check = on; break;
      case session::Activity::Maintenance: flags_.maintenance = on; break;
    }
  }
  void setActiveTransfer(session::BlockTransferHandler* handler) override { transfer_ = handler; }
  void setStatusText(const std::string& text) override { statusText = text; }
  void setTitleSuffix(const std::string& text) override { titleSuffix = text; }
  void speedFallback(const std::string& reason) override { fallbacks.push_back(reason); }
  std::chrono::steady_clock::time_point now() const override { return std::chrono::steady_clock::time_point(now_); }

  // ---- the test's side ----
  // Queues an event (a reply or block data) for after the current handler.
  void post(std::function<void()> event) { events_.push_back(std::move(event)); }
  // Appends bytes that arrive on the link: into the block buffer in block mode (then the transfer's
  // onBlockData), to `lineModeBytes` otherwise.
  void deliverBytes(const std::vector<std::uint8_t>& bytes);
  // Delivers events and fires timers until nothing is left or `limit` virtual time has passed.
  void run(std::chrono::milliseconds limit = std::chrono::hours(10));
  bool timerActive(int id) const { return timers_.count(id) != 0; }

  void attach(operations::Download* download) { download_ = download; }
  void attach(FakeRecorder* recorder) { recorder_ = recorder; }
  operations::Download* download() const { return download_; }

  app::Settings settings_;
  FakeUi ui_;
  session::SessionFlags flags_;
  int port = 1;
  bool failWrites = false;  // the link is lost on the next write

  std::vector<std::string> lines;      // lines sent
  std::string controlBytes;            // "n", "r", "c" in order
  std::string logText;
  std::string statusText, titleSuffix;
  std::vector<std::string> fallbacks;
  std::map<int, std::vector<std::chrono::milliseconds>> timerStarts;
  std::vector<std::uint8_t> lineModeBytes;
  int keepAliveStarts = 0, keepAliveStops = 0, discards = 0;

 private:
  struct Timer {
    std::chrono::milliseconds period;
    std::chrono::nanoseconds due;
  };
  session::BlockBuffer buffer_;
  session::BlockReceiver receiver_ = session::BlockReceiver::None;
  session::BlockTransferHandler* transfer_ = nullptr;
  operations::Download* download_ = nullptr;
  FakeRecorder* recorder_ = nullptr;
  std::deque<std::function<void()>> events_;
  std::map<int, Timer> timers_;
  std::chrono::nanoseconds now_{1'000'000'000};
};

class FakeRecorder {
 public:
  explicit FakeRecorder(FakeSession& session) : session_(session) { session.attach(this); }

  // A recording in flash: its page count and how to read page i (528 bytes).
  struct Source {
    std::uint64_t pages = 0;
    std::function<void(std::uint64_t page, std::uint8_t* out)> read;
  };
  std::map<std::uint16_t, Source> recordings;
  // A recording held as an array of pages (pages * 528 bytes).
  void add(std::uint16_t fileNumber, const std::vector<std::uint8_t>& pages);
  // A recording whose pages are made on demand (makePage), for recordings too large for memory.
  void addGenerated(std::uint16_t fileNumber, std::uint64_t pages, std::uint32_t seed = 1);

  // ---- faults on the copy sent ----
  // Called with every block copy before it is sent (index counts every block sent, from 0).
  std::function<void(std::vector<std::uint8_t>& copy, std::uint64_t firstPage, int sendIndex)> mutate;
  int silentBlocks = 0;     // the next N blocks are not sent at all (and the position does not move)
  int lostBlocks = 0;       // the next N blocks are sent but lost on the way (the position moves)
  int ignoreControls = 0;   // the next N control bytes are not heard
  bool refuse = false;      // "$R5,NAK,DNL,"
  bool silentRequests = false;
  bool confirmCancel = true;
  int extraBytes = 0;       // bytes appended to the next block copy
  int dropBytes = 0;        // bytes cut from the end of the next block copy

  // ---- what happened ----
  std::vector<std::string> requests;
  int blocksSent = 0;

  void onLine(const std::string& line);
  void onControl(char byte);

 private:
  void sendBlock(std::uint64_t start);
  FakeSession& session_;
  bool inTransfer_ = false;
  std::uint16_t file_ = 0;
  std::uint64_t first_ = 0, last_ = 0, perBlock_ = 1;
  std::optional<std::uint64_t> current_;  // first page of the block last sent
};

// One page of a recording: trailer with file number and page number, seeded payload, check byte.
void makePage(std::uint16_t fileNumber, std::uint64_t pageNumber, std::uint32_t seed, std::uint8_t* out);
// Builds the pages of a recording: trailer with file number and page number, seeded payload,
// correct check byte.
std::vector<std::uint8_t> makePages(std::uint16_t fileNumber, std::uint64_t pages, std::uint32_t seed = 1);
// The IM2 file of a recording: the last page, then every page.
std::string im2Of(const std::vector<std::uint8_t>& pages);
// "$R5,MSG,LST,<n>,8000,4,1,0,20240517,093000,<pages>"
std::string recordLine(std::uint16_t fileNumber, std::uint64_t pages);

}  // namespace recdesk::test
