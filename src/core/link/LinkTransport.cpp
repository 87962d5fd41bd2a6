#include "link/LinkTransport.h"

#include <cerrno>

#include "link/FtdiChannel.h"
#include "link/LibFtdiDevice.h"
#include "link/QuickUsbChannel.h"
#include "link/SerialChannel.h"
#include "ports/EventLoop.h"

namespace recdesk::link {

namespace {

constexpr ports::Millis kPacedWriteGap{15};
constexpr ports::Millis kSetSpeedPause{1};

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

std::size_t LinkTransport::PacedWrite(const std::uint8_t* bytes, std::size_t count) {
  std::size_t written = 0;
  for (; written < count; ++written) {
    if (Write(bytes + written, 1) != 1) break;
    loop_.sleep(kPacedWriteGap);
  }
  return written;
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
  loop_.sleep(kSetSpeedPause);
  return result;
}

void LinkTransport::Purge() {
  if (channel_ && dispatchable(linkMode_)) channel_->purge();
}

std::string LinkTransport::AdapterInformation() {
  if (!channel_ || !dispatchable(linkMode_)) return {};
  return channel_->adapterInformation();
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
