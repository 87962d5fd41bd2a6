// Line assembly, dispatch and block-mode receiving of the session host, fed with arbitrary device
// bytes. The input is a sequence of records: a control byte (operation in bits 6-7, length - 1 in
// bits 0-5) followed by that many bytes.
//   0: the bytes arrive in line mode (line notification)
//   1: the bytes arrive in block mode for a download block of (first byte) pages
//   2: the bytes are dispatched as one line
//   3: virtual time passes ((first byte) × 10 ms): pings, time-outs, speed cycling
// An input runs at most kMaxWait of virtual time on its own (further waits are skipped): longer
// sessions only repeat the same pings and time-outs, and they slowed the whole run down. Inputs
// beyond kMaxInput bytes are not run (a session's worth of lines fits well below).
#include <cstddef>
#include <cstdint>
#include <deque>
#include <memory>
#include <string>
#include <vector>

#include "HostProbe.h"
#include "app/Settings.h"
#include "link/LinkTransport.h"
#include "operations/DownloadSession.h"
#include "ports/UserInterface.h"
#include "ports/VirtualEventLoop.h"
#include "session/Host.h"
#include "operations/Password.h"
#include "operations/PinUnlock.h"
#include "operations/Transmitter.h"

namespace {

using namespace recdesk;

struct NullUi : ports::UserInterface {
  ports::Answer message(const std::string&, const std::string&, ports::Icon, ports::Buttons buttons) override {
    return buttons == ports::Buttons::YesNo ? ports::Answer::Yes : ports::Answer::Ok;
  }
};

// A link whose received bytes come from the fuzzer; writes succeed.
struct Feed {
  std::deque<std::uint8_t> rx;
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
  std::size_t read(std::uint8_t* buffer, std::size_t count) override {
    std::size_t n = 0;
    while (n < count && !feed_->rx.empty()) {
      buffer[n++] = feed_->rx.front();
      feed_->rx.pop_front();
    }
    return n;
  }
  bool queueStatus(std::uint32_t& errorWord, link::QueueStatusRecord& status) override {
    errorWord = 0;
    status.bytesToRead = static_cast<std::uint32_t>(feed_->rx.size());
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
// ping retry count, a partial line, a few flags) carries over, as it does in a program that sees many connections.
// An input run on its own (a crash being reproduced) always meets a fresh host.
struct Rig {
  ports::VirtualEventLoop loop;
  NullUi ui;
  app::Settings settings;
  std::shared_ptr<Feed> feed = std::make_shared<Feed>();
  session::Host host{loop, [f = feed](int) { return std::make_unique<FeedChannel>(f); }, ui, settings};
  // The operations plugged in as a front end has them: the list, the maintenance replies (format and
  // check progress, LED, record, test mode) and the level preview's replies reach their readers.
  operations::DownloadSession operations{host};
  std::size_t logged = 0;
  // The operations whose replies the device lines reach.
  operations::Transmitter transmitter{host};
  operations::PasswordChange password{host};
  operations::PinUnlock unlock{host};

  Rig() {
    host.setLogSink([this](const std::string& text) { logged += text.size(); });
  }

  void reconnect(std::int16_t port) {
    host.closeLink();
    host.sessionReset();
    session::HostProbe::flags(host) = session::SessionFlags{};
    for (int id : {session::kTimerConnectRetry, session::kTimerPlayback, session::kTimerKeepAlive,
                   session::kTimerBlockData, session::kTimerReply, session::kTimerCancelConfirm,
                   session::kTimerTransferRequest})
      loop.stopTimer(id);
    loop.runPosted();
    feed->rx.clear();
    host.blockBuffer().clear(0);
    settings.port = port;
    host.connectAttempt();
    // Both operations wait for their answers from the start: the transmitter's query chain and the
    // password probe.
    transmitter.open();
    password.start();
  }
};

}  // namespace

constexpr std::size_t kMaxInput = 2048;
constexpr ports::Millis kMaxWait{5000};

// The host lives across inputs, so what one input leaves in it (queued lines, timers, texts) is no
// leak; the per-input leak check would scan the whole heap after nearly every input and took most of
// the run. Leaks in the host are the unit tests' job (run under LeakSanitizer). A -detect_leaks given
// on the command line still wins.
extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv) {
  static std::vector<char*> args(*argv, *argv + *argc);
  static char noLeakCheck[] = "-detect_leaks=0";
  args.insert(args.begin() + 1, noLeakCheck);
  args.push_back(nullptr);
  *argc = static_cast<int>(args.size() - 1);
  *argv = args.data();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size > kMaxInput) return 0;
  static Rig& rig = *new Rig;
  rig.reconnect(static_cast<std::int16_t>(size > 0 && (data[0] & 1) ? 1000 : 1));
  auto& loop = rig.loop;
  auto& host = rig.host;
  auto& feed = rig.feed;
  std::size_t at = 0;
  ports::Millis waited{0};
  while (at < size) {
    const std::uint8_t control = data[at++];
    const std::size_t length = std::min<std::size_t>((control & 0x3F) + 1u, size - at);
    const std::uint8_t* bytes = data + at;
    at += length;
    switch (control >> 6) {
      case 0:
        feed->rx.insert(feed->rx.end(), bytes, bytes + length);
        session::HostProbe::lineNotification(host, feed->rx.size());
        break;
      case 1: {
        host.setBlockMode(session::BlockReceiver::Download);
        const std::size_t pages = length ? bytes[0] : 0;
        auto& block = host.blockBuffer();
        if (block.received >= block.expected) block.clear(pages * kPageSize);
        feed->rx.insert(feed->rx.end(), bytes, bytes + length);
        session::HostProbe::dataNotification(host, feed->rx.size());
        if (block.received > block.expected || block.expected > session::BlockBuffer::kCapacity) __builtin_trap();
        host.setLineMode();
        break;
      }
      case 2:
        session::HostProbe::dispatch(host, std::string(reinterpret_cast<const char*>(bytes), length));
        break;
      default: {
        const ports::Millis wait = std::min(ports::Millis(10 * (length ? bytes[0] : 1)), kMaxWait - waited);
        waited += wait;
        if (wait.count() > 0) loop.runFor(wait);
        break;
      }
    }
    if (session::HostProbe::pendingInput(host).size() > session::LineAssembler::kMaxLine) __builtin_trap();
  }
  // Time-outs that the input left pending (a reply that never came) run out; longer waits are the
  // input's own (operation 3).
  loop.runFor(ports::Millis(1000));
  return 0;
}
