#pragma once
// A QuickUSB module (the Vantle2 adapter). Recorder data flows through the module's data calls into
// an 8-slot receive ring; the module's RS-232 channel 0 carries the adapter's own "$KDC,," commands.
//
// A block the module delivers is 4 header bytes and a data area: byte 1 is the block kind (1 = data),
// bytes 2 and 3 (little-endian) the number of plain data bytes at the start of the data area. Packets
// may follow them: 0x80, 0x01, a 16-bit little-endian payload length and the payload. Unpacking moves
// the payloads down behind the plain bytes, so the slot's data area holds just the recorder's bytes.
#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <thread>

#include "link/LinkTransport.h"
#include "link/QuickUsb.h"
#include "ports/EventLoop.h"

namespace recdesk::link {

inline constexpr std::size_t kQuickUsbHeaderSize = 4;
inline constexpr std::size_t kQuickUsbDataArea = 65536;
inline constexpr std::size_t kQuickUsbSlotSize = kQuickUsbHeaderSize + kQuickUsbDataArea;
inline constexpr std::size_t kQuickUsbSlots = 8;
inline constexpr unsigned long kQuickUsbReadLength = 65536;  // asked of the module per block

// Unpacks the block of `received` bytes that the module wrote from `slot[0]` (`slotSize` bytes). The
// result is the number of recorder bytes now at the start of the data area (slot + 4), or nothing when
// the block is dropped: not a data block, shorter than its header, or declaring more plain bytes than
// arrived. A packet that would run past the bytes received is dropped (never copied), and so is
// everything after it.
std::optional<std::size_t> unpackQuickUsbBlock(std::uint8_t* slot, std::size_t slotSize,
                                               std::size_t received);

class QuickUsbChannel : public LinkChannel {
 public:
  explicit QuickUsbChannel(std::shared_ptr<QuickUsbApi> api);
  ~QuickUsbChannel() override;

  int open(int portCode, std::uint32_t speed, int stopBits, int parity, ReaderContext reader,
           int& linkMode) override;
  void close() override;
  std::size_t write(const std::uint8_t* bytes, std::size_t count) override;
  std::size_t read(std::uint8_t* buffer, std::size_t count) override;
  bool queueStatus(std::uint32_t& errorWord, QueueStatusRecord& status) override;
  int setNotificationMask(std::uint32_t mask) override;
  int setSpeed(std::uint32_t speed) override;
  void purge() override;
  void adapterInformation(InformationDone done) override;
  bool deviceLost() const override;
  bool adapterBusy() const override;

  struct Shared;  // what the reader thread shares with the owner (QuickUsbChannel.cpp)

 private:
  // Queues one adapter command for the reader: it sends it on RS-232 channel 0, pauses, then reads
  // and discards the reply. The link holds what goes to the recorder back until then.
  void adapterCommand(const std::string& line, ports::Millis pause);

  std::shared_ptr<QuickUsbApi> api_;
  std::shared_ptr<Shared> shared_;
  std::thread reader_;
};

}  // namespace recdesk::link
