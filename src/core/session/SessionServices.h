#pragma once
// What the session owner offers the recorder operations (download, level preview, maintenance…),
// and the block-transfer hooks it calls back. The session owner (the host) implements
// SessionServices; an operation that uses block transfers implements BlockTransferHandler.
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "FlashPage.h"

namespace recdesk::ports {
class UserInterface;
}
namespace recdesk::app {
struct Settings;
}

namespace recdesk::session {

class BlockTransferHandler;
struct SessionFlags;
enum class Activity;

// Fixed timer identifiers of the session owner.
inline constexpr int kTimerConnectRetry = 2;     // 1 s
inline constexpr int kTimerPlayback = 3;         // 100 ms
inline constexpr int kTimerKeepAlive = 6;        // 1 s
inline constexpr int kTimerBlockData = 10;       // computed per block
inline constexpr int kTimerReply = 11;           // 1 s
inline constexpr int kTimerCancelConfirm = 12;   // 1 s
inline constexpr int kTimerTransferRequest = 13; // 1 s

// Who owns block-mode data.
enum class BlockReceiver : std::uint16_t { None = 0, Download = 1, Sample = 4 };

// The block buffer: room for the largest block (256 flash pages). Bytes beyond `expected`
// are counted in `overrun` by the receiver and never written past the buffer.
struct BlockBuffer {
  static constexpr std::size_t kMaxPages = 256;
  static constexpr std::size_t kCapacity = kPageSize * kMaxPages;  // 135,168 bytes

  std::vector<std::uint8_t> data = std::vector<std::uint8_t>(kCapacity);
  std::size_t expected = 0;   // bytes the block under way should bring
  std::size_t received = 0;   // bytes stored so far (at most `expected`)
  std::uint64_t overrun = 0;  // bytes that came beyond `expected` for this block

  // Whether what arrived is a whole reply line starting with `prefix`: a recorder that has moved past
  // the last page (a block lost on the way) ends the transfer with its end line while the host waits
  // for block data, and the line lands here.
  bool holdsLine(std::string_view prefix) const {
    if (received < prefix.size() + 1) return false;
    const std::string_view text(reinterpret_cast<const char*>(data.data()), received);
    return text.substr(0, prefix.size()) == prefix && text.find('\r') != std::string_view::npos;
  }

  void clear(std::size_t expectedBytes) {
    expected = expectedBytes < kCapacity ? expectedBytes : kCapacity;
    received = 0;
    overrun = 0;
  }
};

class SessionServices {
 public:
  virtual ~SessionServices() = default;

  // Send line: logs it (with the log filters) and queues it; lines go out in the order asked, each
  // purging the link and then written paced (a byte every 15 ms) while the owner goes on with its
  // work. When the last byte is out the reply timer starts (with `expectReply`) and `afterSent` runs:
  // whatever must follow the line on the wire or in time (a request timer, a speed change) goes
  // there. Returns false when there is no link. A link lost while the line goes out takes the
  // link-lost steps then (BlockTransferHandler::onLinkLost included) and `afterSent` never runs.
  using AfterSent = std::function<void()>;
  virtual bool sendLine(const std::string& line, bool expectReply, AfterSent afterSent) = 0;
  bool sendLine(const std::string& line, bool expectReply) { return sendLine(line, expectReply, {}); }
  // Send byte: one unpaced byte (block control "n", "r", "c"), written at once, or right after the
  // line still going out (never inside it). False when the link was lost.
  virtual bool sendByte(std::uint8_t value) = 0;

  // Link modes: line mode assembles reply lines; block mode appends to blockBuffer() for `receiver`
  // and calls its handler's onBlockData after each append.
  virtual void setLineMode() = 0;
  virtual void setBlockMode(BlockReceiver receiver) = 0;
  virtual bool inBlockMode() const = 0;
  // Discards whatever waits on the link.
  virtual void discardInput() = 0;
  virtual BlockBuffer& blockBuffer() = 0;

  virtual void startTimer(int timerId, std::chrono::milliseconds period) = 0;
  virtual void stopTimer(int timerId) = 0;
  // The keep-alive ping (timer 6) and the reply wait (timer 11).
  virtual void startKeepAlive() = 0;
  virtual void stopKeepAliveAndReplyWait() = 0;

  // Appends text to the communications log exactly as given (callers add " " and "\r\n").
  virtual void log(const std::string& text) = 0;
  virtual ports::UserInterface& ui() = 0;
  virtual const app::Settings& settings() const = 0;
  // The port code of the link (1000 = FTDI adapter), and the session flags operations look at.
  virtual int portCode() const = 0;
  virtual bool recorderConnected() const = 0;
  // The session flags (recording, maintenance, download, sample, locked…) as operations read them.
  virtual const SessionFlags& flags() const = 0;
  // An operation tells the session what it is busy with (the Download button's state, the level
  // preview's fetches, a scan or check it asked for); front ends see it in the session state.
  virtual void setActivity(Activity activity, bool on) = 0;
  // The transfer whose block data and time-outs (timers 10, 12, 13) the session routes; null for none.
  virtual void setActiveTransfer(BlockTransferHandler* handler) = 0;
  // Updates which commands are enabled (front ends refresh menus and buttons).
  virtual void refreshControls() {}
  // The second status text (remaining time of a download) and the title suffix (progress).
  virtual void setStatusText(const std::string& /*text*/) {}
  virtual void setTitleSuffix(const std::string& /*text*/) {}
  // The speed fallback after a garbled reply (a malformed list line): on the USB adapter the link
  // speed is lowered; elsewhere it is only logged. An empty reason means the default one.
  virtual void speedFallback(const std::string& /*reason*/) {}
  // Monotonic time of the session's event loop (virtual time in tests); the download's rate uses it.
  virtual std::chrono::steady_clock::time_point now() const { return std::chrono::steady_clock::now(); }
};

// An operation that runs block transfers. The session owner routes to it: the block data of its
// receiver, and the block (10), request (13) and confirmation (12) time-outs while it is the
// active transfer.
class BlockTransferHandler {
 public:
  virtual ~BlockTransferHandler() = default;
  // Called after bytes were appended to the block buffer (received may still be < expected).
  virtual void onBlockData() = 0;
  virtual void onBlockTimeout() = 0;         // timer 10
  virtual void onRequestTimeout() = 0;       // timer 13
  virtual void onConfirmationTimeout() = 0;  // timer 12
  // The link was lost while this transfer was active (the session has been reset and the link closed).
  virtual void onLinkLost() {}
};

}  // namespace recdesk::session
