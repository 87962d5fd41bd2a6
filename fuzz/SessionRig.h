#pragma once
// The session host the session fuzz targets feed: one host for the whole run over a link whose
// received bytes come from the fuzzer, and the input's records applied to it.
//
// An input is a sequence of records: a control byte (operation in bits 6-7, length - 1 in bits 0-5)
// followed by that many bytes.
//   0: the bytes arrive in line mode (line notification)
//   1: the bytes arrive in block mode for a download block of (first byte) pages
//   2: the bytes are dispatched as one line
//   3: virtual time passes ((first byte) × 10 ms): pings, time-outs, speed cycling
// Both session targets read the same records, so that one target's corpus is a good start for the
// other; fuzz_dispatch lets no time pass (operation 3 is skipped there).
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "AsanDefaults.h"
#include "FuzzFlags.h"
#include "HostProbe.h"
#include "app/Settings.h"
#include "link/LinkTransport.h"
#include "operations/DownloadSession.h"
#include "operations/Password.h"
#include "operations/PinUnlock.h"
#include "operations/Transmitter.h"
#include "ports/UserInterface.h"
#include "ports/VirtualEventLoop.h"
#include "session/Host.h"

namespace recdesk::fuzz {

struct NullUi : ports::UserInterface {
  ports::Answer message(const std::string&, const std::string&, ports::Icon, ports::Buttons buttons) override {
    return buttons == ports::Buttons::YesNo ? ports::Answer::Yes : ports::Answer::Ok;
  }
};

// A link whose received bytes come from the fuzzer; writes succeed. The bytes wait in one buffer that
// keeps its room from input to input (no allocation per byte or per input).
class Feed {
 public:
  std::size_t waiting() const { return bytes_.size() - readAt_; }
  void add(const std::uint8_t* data, std::size_t count) {
    if (readAt_ == bytes_.size()) clear();
    bytes_.insert(bytes_.end(), data, data + count);
  }
  std::size_t take(std::uint8_t* buffer, std::size_t count) {
    const std::size_t n = std::min(count, waiting());
    std::copy_n(bytes_.data() + readAt_, n, buffer);
    readAt_ += n;
    return n;
  }
  void clear() {
    bytes_.clear();
    readAt_ = 0;
  }

 private:
  std::vector<std::uint8_t> bytes_;
  std::size_t readAt_ = 0;
};

class FeedChannel : public link::LinkChannel {
 public:
  explicit FeedChannel(std::shared_ptr<Feed> feed) : feed_(std::move(feed)) {}
  int open(int portCode, std::uint32_t, int, int, link::ReaderContext, int& linkMode) override {
    linkMode = portCode >= 2000 ? 2000 : portCode >= 1000 ? 1000 : portCode;
    return 0;
  }
  void close() override {}
  std::size_t write(const std::uint8_t*, std::size_t count) override { return count; }
  std::size_t read(std::uint8_t* buffer, std::size_t count) override { return feed_->take(buffer, count); }
  bool queueStatus(std::uint32_t& errorWord, link::QueueStatusRecord& status) override {
    errorWord = 0;
    status.bytesToRead = static_cast<std::uint32_t>(feed_->waiting());
    return true;
  }
  int setNotificationMask(std::uint32_t) override { return 1; }
  int setSpeed(std::uint32_t) override { return 0; }
  void purge() override {}
  void adapterInformation(InformationDone done) override { done({}); }

 private:
  std::shared_ptr<Feed> feed_;
};

// One host for the whole run: building one (with its 132 KiB block buffer) cost more than running
// an input. Between inputs the link is closed, the session reset and every timer stopped, as when a
// recorder is unplugged and plugged in again; what that does not reach (the speed cycle position, the
// ping retry count, a partial line, a few flags) carries over, as it does in a program that sees many
// connections. An input run on its own (a crash being reproduced) always meets a fresh host.
struct SessionRig {
  ports::VirtualEventLoop loop;
  NullUi ui;
  app::Settings settings;
  std::shared_ptr<Feed> feed = std::make_shared<Feed>();
  session::Host host{loop, [f = feed](int) { return std::make_unique<FeedChannel>(f); }, ui, settings};
  // The operations plugged in as a front end has them: the list, the maintenance replies (format and
  // check progress, LED, record, test mode), the level preview's replies, the transmitter, the
  // password and the PIN prompt reach their readers.
  operations::DownloadSession operations{host};
  operations::Transmitter transmitter{host};
  operations::PasswordChange password{host};
  operations::PinUnlock unlock{host};
  std::size_t logged = 0;
  std::string line;  // a dispatched record's line (its room stays)

  SessionRig() {
    host.setLogSink([this](const std::string& text) { logged += text.size(); });
  }

  // A new connection on a serial port (odd first byte: the FTDI adapter).
  void reconnect(const std::uint8_t* data, std::size_t size) {
    host.closeLink();
    host.sessionReset();
    session::HostProbe::flags(host) = session::SessionFlags{};
    for (int id : {session::kTimerConnectRetry, session::kTimerPlayback, session::kTimerKeepAlive,
                   session::kTimerBlockData, session::kTimerReply, session::kTimerCancelConfirm,
                   session::kTimerTransferRequest})
      loop.stopTimer(id);
    loop.runPosted();
    feed->clear();
    host.blockBuffer().clear(0);
    settings.port = static_cast<std::int16_t>(size > 0 && (data[0] & 1) ? 1000 : 1);
    host.connectAttempt();
    // Both operations wait for their answers from the start: the transmitter's query chain and the
    // password probe.
    transmitter.open();
    password.start();
  }
};

// Applies the input's records to the host. `wait` runs operation 3 (the time asked for, in
// milliseconds); without it operation 3 is skipped.
template <typename Wait>
void applyRecords(SessionRig& rig, const std::uint8_t* data, std::size_t size, Wait&& wait) {
  auto& host = rig.host;
  auto& feed = rig.feed;
  std::size_t at = 0;
  while (at < size) {
    const std::uint8_t control = data[at++];
    const std::size_t length = std::min<std::size_t>((control & 0x3F) + 1u, size - at);
    const std::uint8_t* bytes = data + at;
    at += length;
    switch (control >> 6) {
      case 0:
        feed->add(bytes, length);
        session::HostProbe::lineNotification(host, feed->waiting());
        break;
      case 1: {
        host.setBlockMode(session::BlockReceiver::Download);
        const std::size_t pages = length ? bytes[0] : 0;
        auto& block = host.blockBuffer();
        if (block.received >= block.expected) block.clear(pages * kPageSize);
        feed->add(bytes, length);
        session::HostProbe::dataNotification(host, feed->waiting());
        if (block.received > block.expected || block.expected > session::BlockBuffer::kCapacity) __builtin_trap();
        host.setLineMode();
        break;
      }
      case 2:
        rig.line.assign(reinterpret_cast<const char*>(bytes), length);
        session::HostProbe::dispatch(host, rig.line);
        break;
      default:
        wait(10 * (length ? bytes[0] : 1));
        break;
    }
    if (session::HostProbe::pendingInput(host).size() > session::LineAssembler::kMaxLine) __builtin_trap();
  }
}

// The host lives across inputs, so what one input leaves in it (queued lines, timers, texts) is no
// leak; the per-input leak check would scan the whole heap after nearly every input and took most of
// the run. Leaks in the host are the unit tests' job (run under LeakSanitizer).
inline void noPerInputLeakCheck(int* argc, char*** argv) { defaultFlags(argc, argv, {"-detect_leaks=0"}); }

}  // namespace recdesk::fuzz
