// A QuickUSB module's block is untrusted: any bytes and any received length must unpack inside the slot.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

#include "link/QuickUsbChannel.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace recdesk::link;
  if (size < 2) return 0;
  // The first two bytes say how many bytes the module claims to have written.
  const std::size_t claimed = (static_cast<std::size_t>(data[0]) << 8 | data[1]) * 4;
  std::vector<std::uint8_t> slot(kQuickUsbSlotSize, 0);
  const std::size_t payload = size - 2 < slot.size() ? size - 2 : slot.size();
  std::memcpy(slot.data(), data + 2, payload);
  const auto unpacked = unpackQuickUsbBlock(slot.data(), slot.size(), claimed < payload ? claimed : payload);
  if (unpacked && *unpacked > kQuickUsbDataArea) __builtin_trap();
  return 0;
}
