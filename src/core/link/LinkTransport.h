#pragma once
// The byte link to the recorder, whatever carries it: a serial port, an FTDI USB adapter or a
// QuickUSB module. One reader per open link watches for incoming bytes and notifies the owner
// synchronously (the reader waits until the owner has handled the notification, and the owner reads
// during it). All operations are called on the owner thread.
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>

#include "link/PortKind.h"

namespace recdesk::ports {
class EventLoop;
}

namespace recdesk::link {

// Notifications, with the number of bytes waiting to be read.
inline constexpr int kLineNotification = 0x5F4;   // line mode: data arrived (serial: a "\n" arrived)
inline constexpr int kDataNotification = 0x5F5;   // block mode: data arrived
inline constexpr int kErrorNotification = 0x5F6;  // serial line-status error (ignored by the session)
// The reader found the device gone (unplugged, hung up). Sent once, whatever the mask; the reader
// ends right after. The owner treats it as a lost link.
inline constexpr int kLostNotification = 0x5F7;

// Notification mask bits.
inline constexpr std::uint32_t kMaskData = 1;    // block mode
inline constexpr std::uint32_t kMaskLine = 2;    // line mode
inline constexpr std::uint32_t kMaskError = 0x80;

// Open result codes (any other value is the operating system's error code of a serial port).
inline constexpr int kOpenOk = 0;
inline constexpr int kOpenNoPort = 1;
inline constexpr int kOpenAdapterFailed = 6;

// Link modes: 0 closed, 1..999 serial (the port code), 1000 FTDI, 2000 QuickUSB.
inline constexpr int kModeClosed = 0;
inline constexpr int kModeFtdi = kFirstFtdiPort;
inline constexpr int kModeQuickUsb = kFirstQuickUsbPort;

struct QueueStatusRecord {
  std::uint32_t bytesToRead = 0;
  std::uint32_t bytesToSend = 0;
};

// The owner's side of the notifications. Called on the owner thread; the reader waits for the return.
class LinkListener {
 public:
  virtual ~LinkListener() = default;
  virtual void onLinkNotification(int notification, std::size_t bytesWaiting) = 0;
};

// What a channel's reader needs to notify the owner.
struct ReaderContext {
  ports::EventLoop* loop = nullptr;
  LinkListener* listener = nullptr;
};

// One kind of link with its reader. LinkTransport dispatches to the channel of the open link.
class LinkChannel {
 public:
  virtual ~LinkChannel() = default;
  // Opens and configures the device and starts the reader. Returns an open result code; `linkMode`
  // receives the link mode on success.
  virtual int open(int portCode, std::uint32_t speed, int stopBits, int parity, ReaderContext reader,
                   int& linkMode) = 0;
  virtual void close() = 0;
  virtual std::size_t write(const std::uint8_t* bytes, std::size_t count) = 0;
  virtual std::size_t read(std::uint8_t* buffer, std::size_t count) = 0;
  virtual bool queueStatus(std::uint32_t& errorWord, QueueStatusRecord& status) = 0;
  virtual int setNotificationMask(std::uint32_t mask) = 0;
  virtual int setSpeed(std::uint32_t speed) = 0;
  virtual void purge() = 0;
  virtual std::string adapterInformation() = 0;
  // True once the reader found the device gone (unplugged, hung up); writes then report 0.
  virtual bool deviceLost() const { return false; }
};

class LinkTransport {
 public:
  // Makes the channel for a port code (> 0); null when that kind of link is not available.
  using ChannelFactory = std::function<std::unique_ptr<LinkChannel>(int portCode)>;

  LinkTransport(ports::EventLoop& loop, ChannelFactory factory);
  ~LinkTransport();
  LinkTransport(const LinkTransport&) = delete;
  LinkTransport& operator=(const LinkTransport&) = delete;

  int Open(int portCode, std::uint32_t speed, LinkListener* listener, int stopBits = 0, int parity = 0);
  int Close();
  std::size_t Write(const std::uint8_t* bytes, std::size_t count);
  std::size_t Write(std::string_view bytes) {
    return Write(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size());
  }
  // Writes one byte at a time and pauses 15 ms after each (through the event loop's sleep); stops at
  // the first byte not written. Returns the bytes written.
  std::size_t PacedWrite(const std::uint8_t* bytes, std::size_t count);
  std::size_t PacedWrite(std::string_view bytes) {
    return PacedWrite(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size());
  }
  std::size_t Read(std::uint8_t* buffer, std::size_t count);
  bool QueueStatus(std::uint32_t& errorWord, QueueStatusRecord& status);
  int SetNotificationMask(std::uint32_t mask);
  int SetSpeed(std::uint32_t speed);
  void Purge();
  std::string AdapterInformation();

  // True when the open link's device went away; the owner closes and reopens the link.
  bool DeviceLost() const { return channel_ && channel_->deviceLost(); }

  int linkMode() const { return linkMode_; }
  bool isOpen() const { return linkMode_ != kModeClosed; }

 private:
  ports::EventLoop& loop_;
  ChannelFactory factory_;
  std::unique_ptr<LinkChannel> channel_;
  int linkMode_ = kModeClosed;
};

// Where the default channels find their devices.
struct ChannelConfig {
  // When set, every serial port code (1..999) opens this device path.
  std::string serialDevicePath;
  // The QuickUSB vendor library to load; empty: $RECDESK_QUICKUSB_LIBRARY, else "libquickusb.so".
  std::string quickUsbLibrary;
};

// Serial (1..999) over termios, FTDI (1000..1999) over libftdi1, QuickUSB (2000..) over the vendor
// library when it is installed.
LinkTransport::ChannelFactory defaultChannelFactory(ChannelConfig config = {});

// The device a serial port code (1..999) opens: ChannelConfig::serialDevicePath when set, otherwise
// entry n (1-based) of listSerialDevices() (see link/SerialPorts.h for the order). Empty when there is
// no such device.
std::string serialDevicePathFor(int portCode, const ChannelConfig& config);

// A sentence a user can act on for an Open result (`devicePath`: the serial device tried, may be
// empty). Empty for result 0. For serial port codes the result is the system's error number (errno);
// 1 and 6 mean "no port" and "adapter failed" only for the other port codes.
std::string describeOpenError(int portCode, int result, const std::string& devicePath);

}  // namespace recdesk::link
