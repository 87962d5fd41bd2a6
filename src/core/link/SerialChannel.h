#pragma once
// A serial port on POSIX termios: raw 8 data bits, the given parity and stop bits, no flow control,
// opened exclusively. The reader takes the bytes from the port into a bounded receive queue and
// emulates the driver events: "\n" received (line notification), any byte received (data
// notification), line-status error (error notification), each when the mask asks for it.
#include <memory>
#include <string>
#include <thread>

#include "link/LinkTransport.h"

namespace recdesk::link {

class SerialChannel : public LinkChannel {
 public:
  // The receive queue holds at most this many bytes; when it is full the reader stops taking bytes
  // from the port until the owner has read (the port's own buffer then overflows, not ours).
  static constexpr std::size_t kReceiveCapacity = 1u << 20;

  explicit SerialChannel(ChannelConfig config = {});
  ~SerialChannel() override;

  int open(int portCode, std::uint32_t speed, int stopBits, int parity, ReaderContext reader,
           int& linkMode) override;
  void close() override;
  std::size_t write(const std::uint8_t* bytes, std::size_t count) override;
  std::size_t read(std::uint8_t* buffer, std::size_t count) override;
  bool queueStatus(std::uint32_t& errorWord, QueueStatusRecord& status) override;
  int setNotificationMask(std::uint32_t mask) override;
  int setSpeed(std::uint32_t speed) override;
  void purge() override;
  void adapterInformation(InformationDone done) override {
    if (done) done({});
  }
  bool deviceLost() const override;

  // The device path of the open port (or of the last attempt).
  const std::string& devicePath() const { return devicePath_; }

  struct Shared;  // what the reader thread shares with the owner (SerialChannel.cpp)

 private:
  ChannelConfig config_;
  std::shared_ptr<Shared> shared_;
  std::thread reader_;
  std::string devicePath_;
};

// Error-word bits of the queue status (the values of the serial driver's error word).
inline constexpr std::uint32_t kSerialErrorRxOver = 0x0001;
inline constexpr std::uint32_t kSerialErrorOverrun = 0x0002;
inline constexpr std::uint32_t kSerialErrorParity = 0x0004;
inline constexpr std::uint32_t kSerialErrorFrame = 0x0008;
inline constexpr std::uint32_t kSerialErrorBreak = 0x0010;

}  // namespace recdesk::link
