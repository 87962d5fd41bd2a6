#pragma once
// An FTDI USB serial adapter as the link uses it. The libftdi implementation (LibFtdiDevice.h)
// drives a real chip; the simulator's SimulatedFtdiDevice serves tests. Implementations are safe to
// call from the reader thread (read) and the owner thread (everything else) at the same time.
//
// Results: 0 or a count on success, a negative value on failure (libftdi's error codes).
#include <cstddef>
#include <cstdint>
#include <string>

namespace recdesk::link {

// Chip types numbered as the adapter information reports them (0 = the BM chip).
enum FtdiChipType : int {
  kFtdiChipBM = 0,
  kFtdiChipAM = 1,
  kFtdiChip100AX = 2,
  kFtdiChipUnknown = 3,
  kFtdiChip2232C = 4,
  kFtdiChip232R = 5,
  kFtdiChip2232H = 6,
  kFtdiChip4232H = 7,
  kFtdiChip232H = 8,
  kFtdiChipXSeries = 9,
};

struct FtdiDeviceInfo {
  int type = kFtdiChipUnknown;
  std::uint32_t id = 0;      // vendor << 16 | product
  std::string serialNumber;  // at most 16 characters
  std::string description;   // at most 64 characters
};

class FtdiDevice {
 public:
  virtual ~FtdiDevice() = default;

  // Opens adapter `index` of the stable adapter order (see listFtdiAdapters()).
  virtual int open(int index) = 0;
  virtual void close() = 0;
  virtual int reset() = 0;
  // The chip's own rounding of a speed (used when the link opens).
  virtual int setBaudRate(std::uint32_t speed) = 0;
  // A divisor of the 3 MHz base clock, sent to the chip as it is (see ftdiDivisor()).
  virtual int setBaudDivisor(std::uint32_t divisor) = 0;
  // 8 data bits; stop bits 0 one, 1 one and a half, 2 two; parity 0 none, 1 odd, 2 even, 3 mark, 4 space.
  virtual int setLineProperty(int stopBits, int parity) = 0;
  virtual int setChars(std::uint8_t eventChar, bool eventEnabled, std::uint8_t errorChar,
                       bool errorEnabled) = 0;
  virtual int setTimeouts(int readMs, int writeMs) = 0;
  virtual int setLatency(std::uint8_t milliseconds) = 0;
  // USB transfer sizes; 0 leaves a size as it is.
  virtual int setChunkSizes(std::uint32_t inSize, std::uint32_t outSize) = 0;
  // Returns at once with what the chip has delivered (0 when nothing came).
  virtual int read(std::uint8_t* buffer, std::size_t count) = 0;
  virtual int write(const std::uint8_t* bytes, std::size_t count) = 0;
  virtual int purge(bool receive, bool transmit) = 0;
  virtual int setRts(bool on) = 0;
  // Modem status in the low byte (0x10 clear-to-send, 0x20 data-set-ready, 0x40 ring, 0x80 carrier),
  // line status in the high byte.
  virtual int modemStatus(std::uint16_t& status) = 0;
  virtual int deviceInfo(FtdiDeviceInfo& info) = 0;
  // The last failure in words (for logs), or empty.
  virtual std::string lastError() const { return {}; }
};

}  // namespace recdesk::link
