#include "link/LinkTransport.h"

#include <algorithm>
#include <cerrno>
#include <chrono>

#include "link/FtdiChannel.h"
#include "link/LibFtdiDevice.h"
#include "link/QuickUsbChannel.h"
#include "link/SerialChannel.h"
#include "ports/EventLoop.h"

namespace recdesk::link {

namespace {

// After a speed change the next paced byte waits this long for the adapter to settle (the link's
// pause of 1 ms and the session's own 1 ms after it).
constexpr ports::Millis kSetSpeedPause{2};
// How often a waiting line looks whether the adapter is done with a command of its own.
constexpr ports::Millis kAdapterPoll{5};

// The operations dispatch on the link mode: 1..999 serial, exactly 1000 FTDI, exactly 2000 QuickUSB.
bool dispatchable(int mode) {
  return (mode >= 1 && mode <= 999) || mode == kModeFtdi || mode == kModeQuickUsb;
}

}  // namespace

LinkTransport::LinkTransport(ports::EventLoop& loop, ChannelFactory factory)
    : loop_(loop), factory_(std::move(factory)) {}

LinkTransport::~LinkTransport() {
  Close();
}

int LinkTransport::Open(int portCode, std::uint32_t speed, LinkListener* listener, int stopBits, int parity) {
  // A link that is still open is closed first, so that its reader never outlives it.
  Close();
  int result = kOpenNoPort;
  if (portCode > 0) {
    channel_ = factory_ ? factory_(portCode) : nullptr;
    if (!channel_) {
      result = isSerialPort(portCode) ? ENODEV : kOpenAdapterFailed;
    } else {
      int mode = kModeClosed;
      result = channel_->open(portCode, speed, stopBits, parity, ReaderContext{&loop_, listener}, mode);
      if (result == kOpenOk && dispatchable(mode)) {
        linkMode_ = mode;
      } else {
        // A channel whose open failed has closed itself again; nothing is left half open.
        if (result == kOpenOk) {
          channel_->close();
          result = kOpenAdapterFailed;
        }
        channel_.reset();
      }
    }
  }
  if (result == kOpenOk) Purge();
  SetNotificationMask(0);
  return result;
}

int LinkTransport::Close() {
  dropPacedLines();
  if (channel_) {
    channel_->close();
    channel_.reset();
  }
  linkMode_ = kModeClosed;
  return 0;
}

std::size_t LinkTransport::Write(const std::uint8_t* bytes, std::size_t count) {
  if (!channel_ || !dispatchable(linkMode_) || (!bytes && count)) return 0;
  return channel_->write(bytes, count);
}

void LinkTransport::PacedWrite(std::string bytes, WriteDone done) {
  paced_.push_back(PacedLine{std::move(bytes), true, 0, false, std::move(done)});
  if (paced_.size() == 1) advance();
}

void LinkTransport::QueuedWrite(std::string bytes, WriteDone done) {
  paced_.push_back(PacedLine{std::move(bytes), false, 0, false, std::move(done)});
  if (paced_.size() == 1) advance();
}

bool LinkTransport::WriteHeldBack() const {
  return loop_.now() < quietUntil_ || (channel_ && channel_->adapterBusy());
}

void LinkTransport::writeNext() {
  PacedLine& line = paced_.front();
  if (line.failed || line.written >= line.bytes.size()) return;
  const auto* bytes = reinterpret_cast<const std::uint8_t*>(line.bytes.data()) + line.written;
  const std::size_t want = line.paced ? 1 : line.bytes.size() - line.written;
  const std::size_t got = Write(bytes, want);
  line.written += std::min(got, want);
  if (got < want) line.failed = true;
}

void LinkTransport::advance() {
  PacedLine& line = paced_.front();
  if (!line.failed && line.written < line.bytes.size()) {
    if (WriteHeldBack()) {
      // Looked at again shortly: the end of the pause, or every few milliseconds for the adapter.
      const auto now = loop_.now();
      const auto wait = now < quietUntil_ ? std::chrono::ceil<ports::Millis>(quietUntil_ - now) : kAdapterPoll;
      loop_.startTimer(kTimerPacedWrite, std::max(wait, ports::Millis(1)));
      return;
    }
    writeNext();
    loop_.startTimer(kTimerPacedWrite, line.paced ? kPacedWriteGap : ports::Millis(1));
    return;
  }
  // A tick after the last byte (15 ms for a paced line): the line is out.
  WriteDone done = std::move(line.done);
  const std::size_t written = line.written;
  paced_.take();
  if (paced_.empty())
    loop_.stopTimer(kTimerPacedWrite);
  else
    advance();
  // Last: `done` may write, close the link or destroy whoever owns this transport.
  if (done) done(written);
}

void LinkTransport::OnPacedWriteTimer() {
  if (paced_.empty()) {
    loop_.stopTimer(kTimerPacedWrite);
    return;
  }
  advance();
}

void LinkTransport::dropPacedLines() {
  if (paced_.empty()) return;
  paced_.clear();
  loop_.stopTimer(kTimerPacedWrite);
}

std::size_t LinkTransport::Read(std::uint8_t* buffer, std::size_t count) {
  if (!channel_ || !dispatchable(linkMode_) || !buffer || count == 0) return 0;
  return channel_->read(buffer, count);
}

bool LinkTransport::QueueStatus(std::uint32_t& errorWord, QueueStatusRecord& status) {
  errorWord = 0;
  status = {};
  if (!channel_ || !dispatchable(linkMode_)) return false;
  return channel_->queueStatus(errorWord, status);
}

int LinkTransport::SetNotificationMask(std::uint32_t mask) {
  if (!channel_ || !dispatchable(linkMode_)) return 0;
  return channel_->setNotificationMask(mask);
}

int LinkTransport::SetSpeed(std::uint32_t speed) {
  if (!channel_ || !dispatchable(linkMode_)) return 0;
  const int result = channel_->setSpeed(speed);
  // No sleeping on the owner thread: the next paced byte waits instead.
  quietUntil_ = loop_.now() + kSetSpeedPause;
  return result;
}

void LinkTransport::Purge() {
  if (channel_ && dispatchable(linkMode_)) channel_->purge();
}

void LinkTransport::AdapterInformation(LinkChannel::InformationDone done) {
  if (!done) return;
  if (!channel_ || !dispatchable(linkMode_)) {
    done({});
    return;
  }
  channel_->adapterInformation(std::move(done));
}

LinkTransport::ChannelFactory defaultChannelFactory(ChannelConfig config) {
  return [config](int portCode) -> std::unique_ptr<LinkChannel> {
    if (isSerialPort(portCode)) return std::make_unique<SerialChannel>(config);
    if (isFtdiPort(portCode)) return std::make_unique<FtdiChannel>([] { return makeLibFtdiDevice(); });
    if (isQuickUsbPort(portCode)) {
      std::string error;
      auto api = loadQuickUsbLibrary(config.quickUsbLibrary, error);
      if (!api) return nullptr;
      return std::make_unique<QuickUsbChannel>(std::move(api));
    }
    return nullptr;
  };
}

}  // namespace recdesk::link
