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

#include "link/Fifo.h"
#include "link/PortKind.h"
#include "ports/EventLoop.h"

namespace recdesk::link {

// Notifications, with the number of bytes waiting to be read.
inline constexpr int kLineNotification = 0x5F4;   // line mode: data arrived (serial: a "\n" arrived)
inline constexpr int kDataNotification = 0x5F5;   // block mode: data arrived
inline constexpr int kErrorNotification = 0x5F6;  // serial line-status error (ignored by the session)
// The reader found the device gone (unplugged, hung up). Sent once, whatever the mask; the reader
// ends right after. The owner treats it as a lost link.
inline constexpr int kLostNotification = 0x5F7;

// The event-loop timer that paces written lines, one byte per tick. The owner's timer handler hands
// this timer's ticks to LinkTransport::OnPacedWriteTimer().
inline constexpr int kTimerPacedWrite = 20;
inline constexpr ports::Millis kPacedWriteGap{15};

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
  // The adapter's description, handed to `done` on the owner thread: at once when the channel knows
  // it, later when the adapter must be asked (then dropped when the link closes first).
  using InformationDone = std::function<void(const std::string& text)>;
  virtual void adapterInformation(InformationDone done) = 0;
  // True once the reader found the device gone (unplugged, hung up); writes then report 0.
  virtual bool deviceLost() const { return false; }
  // True while the adapter still carries out a command of its own (set-up, purge, speed change):
  // what goes to the recorder waits until it is done.
  virtual bool adapterBusy() const { return false; }
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
  // Paced write: one byte every 15 ms without holding the owner thread. The first byte goes out now
  // (or once WriteHeldBack() is over), each next one on a tick of timer
  // kTimerPacedWrite; writing stops at the first byte not written. `done` runs on the tick 15 ms
  // after the last byte tried, with the count written, so that whatever follows keeps the 15 ms gap.
  // A line asked for while another is going out follows it. Close drops the line under way and
  // those waiting without calling their `done`: whoever closes the link knows.
  using WriteDone = std::function<void(std::size_t written)>;
  void PacedWrite(std::string bytes, WriteDone done);
  // True while a paced line is going out or waiting.
  bool PacedWriting() const { return !paced_.empty(); }
  // Unpaced bytes in the writer's order: written whole once the lines before them are out and the
  // adapter is free; `done` runs on the next tick. For bytes that must not overtake what waits.
  void QueuedWrite(std::string bytes, WriteDone done);
  // True while a byte written now would not go out as it should: the pause after a speed change,
  // or the adapter still busy with a command of its own.
  bool WriteHeldBack() const;
  // The tick of timer kTimerPacedWrite.
  void OnPacedWriteTimer();
  std::size_t Read(std::uint8_t* buffer, std::size_t count);
  bool QueueStatus(std::uint32_t& errorWord, QueueStatusRecord& status);
  int SetNotificationMask(std::uint32_t mask);
  int SetSpeed(std::uint32_t speed);
  void Purge();
  // The adapter's description (empty for a serial port or no link), handed to `done` on the owner
  // thread, at once or once the adapter has been asked.
  void AdapterInformation(LinkChannel::InformationDone done);

  // True when the open link's device went away; the owner closes and reopens the link.
  bool DeviceLost() const { return channel_ && channel_->deviceLost(); }

  int linkMode() const { return linkMode_; }
  bool isOpen() const { return linkMode_ != kModeClosed; }

 private:
  struct PacedLine {
    std::string bytes;
    bool paced = true;
    std::size_t written = 0;
    bool failed = false;
    WriteDone done;
  };
  // Writes the next byte of the line in front (all of it when unpaced).
  void writeNext();
  // Goes on with the line in front: its next byte, or its end.
  void advance();
  void dropPacedLines();

  ports::EventLoop& loop_;
  ChannelFactory factory_;
  std::unique_ptr<LinkChannel> channel_;
  int linkMode_ = kModeClosed;
  Fifo<PacedLine> paced_;
  ports::Clock::time_point quietUntil_{};  // no paced byte before this (the pause after a speed change)
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
