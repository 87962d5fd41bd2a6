#pragma once
// An FTDI adapter. libftdi has no event or status call, so the reader owns the reads: it pulls what
// the chip delivers into a bounded receive queue, answers the queue status from it and notifies when
// bytes arrive (line and data notification alike, as the mask selects). Writes and settings run on
// the owner thread; the device guards its USB context against the reader.
#include <functional>
#include <memory>
#include <thread>

#include "link/FtdiDevice.h"
#include "link/LinkTransport.h"

namespace recdesk::link {

// The divisor of the adapter's 3 MHz base clock for `speed` bit/s: the integer part in the low 14
// bits and a fraction code (1 = 1/2, 2 = 1/4, 3 = 1/8) times 16,384. 3,000,000 gives 0, 2,000,000
// 16,385, 1,500,000 2, 1,000,000 3, 115,200 26. Speeds above 3,000,000 give 0 (the fastest); speeds
// so slow that the integer part would not fit 14 bits give the slowest divisor, 16,383.
std::uint32_t ftdiDivisor(std::uint32_t speed);

class FtdiChannel : public LinkChannel {
 public:
  using DeviceFactory = std::function<std::shared_ptr<FtdiDevice>()>;
  static constexpr std::size_t kReceiveCapacity = 1u << 20;

  explicit FtdiChannel(DeviceFactory factory);
  ~FtdiChannel() override;

  int open(int portCode, std::uint32_t speed, int stopBits, int parity, ReaderContext reader,
           int& linkMode) override;
  void close() override;
  std::size_t write(const std::uint8_t* bytes, std::size_t count) override;
  std::size_t read(std::uint8_t* buffer, std::size_t count) override;
  bool queueStatus(std::uint32_t& errorWord, QueueStatusRecord& status) override;
  int setNotificationMask(std::uint32_t mask) override;
  int setSpeed(std::uint32_t speed) override;
  void purge() override;
  // The loop-back test needs the adapter's lines to settle (20 ms each way): the reader runs it and
  // hands the text over.
  void adapterInformation(InformationDone done) override;
  bool deviceLost() const override;

  struct Shared;  // what the reader thread shares with the owner (FtdiChannel.cpp)

 private:
  DeviceFactory factory_;
  std::shared_ptr<Shared> shared_;
  std::thread reader_;
};

}  // namespace recdesk::link
