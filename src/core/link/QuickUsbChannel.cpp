#include "link/QuickUsbChannel.h"

#include <algorithm>
#include <array>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <vector>

#include "link/ReaderThread.h"

namespace recdesk::link {

namespace {

constexpr int kFirstModulePort = kModeQuickUsb;
constexpr unsigned long kModuleTimeoutMs = 5000;
constexpr unsigned long kCommandChannelBaud = 115200;
constexpr unsigned char kCommandChannel = 0;
constexpr unsigned short kStatusSetting = 7;
constexpr unsigned short kNoDataBit = 0x200;
constexpr int kBusyPolls = 50000;
// The module is taken for gone after this many calls in a row have failed.
constexpr int kFailuresUntilLost = 100;
constexpr ports::Millis kSetUpPause{20};
constexpr ports::Millis kCommandPause{100};
constexpr ports::Millis kSettlePause{500};
constexpr auto kReaderStartPause = std::chrono::milliseconds(10);
constexpr auto kReaderPause = std::chrono::milliseconds(1);
constexpr std::uint8_t kPacketMark = 0x80;
constexpr std::uint8_t kPacketKind = 0x01;
constexpr std::uint8_t kDataBlock = 1;

const char* const kNoInformationText = "No information available for Vantle2 Device.";

std::size_t le16(const std::uint8_t* p) {
  return static_cast<std::size_t>(p[0]) | static_cast<std::size_t>(p[1]) << 8;
}

}  // namespace

std::optional<std::size_t> unpackQuickUsbBlock(std::uint8_t* slot, std::size_t slotSize,
                                               std::size_t received) {
  received = std::min(received, slotSize);
  if (!slot || received < kQuickUsbHeaderSize || slot[1] != kDataBlock) return std::nullopt;
  std::uint8_t* data = slot + kQuickUsbHeaderSize;
  const std::size_t available = received - kQuickUsbHeaderSize;  // data bytes that came with the block
  const std::size_t plain = le16(slot + 2);
  if (plain > available) return std::nullopt;  // the header claims bytes that never came

  std::size_t out = plain;
  std::size_t at = plain;
  while (at + kQuickUsbHeaderSize <= available && data[at] == kPacketMark && data[at + 1] == kPacketKind) {
    const std::size_t length = le16(data + at + 2);
    if (length > available - at - kQuickUsbHeaderSize) break;  // would run past the block: dropped
    std::memset(data + at, 0, kQuickUsbHeaderSize);
    std::memmove(data + out, data + at + kQuickUsbHeaderSize, length);
    out += length;
    at += kQuickUsbHeaderSize + length;
  }
  return out;
}

struct QuickUsbChannel::Shared : ReaderShared {
  std::shared_ptr<QuickUsbApi> api;
  QuickUsbHandle handle = nullptr;
  std::mutex lock;  // guards every module call, the ring indexes and the slot lengths
  bool moduleOpen = false;
  std::vector<std::array<std::uint8_t, kQuickUsbSlotSize>> slots =
      std::vector<std::array<std::uint8_t, kQuickUsbSlotSize>>(kQuickUsbSlots);
  std::array<std::size_t, kQuickUsbSlots> lengths{};
  std::size_t writeIndex = 0;
  std::size_t readIndex = 0;

  void noteError() {
    unsigned long error = 0;
    api->GetLastError(&error);
  }
};

namespace {

void runQuickUsbReader(ReaderShared& base) {
  auto& s = static_cast<QuickUsbChannel::Shared&>(base);
  std::this_thread::sleep_for(kReaderStartPause);
  int idle = 0;
  int failures = 0;
  for (;;) {
    std::size_t w = 0;
    std::size_t slotLength = 0;
    {
      std::lock_guard<std::mutex> guard(s.lock);
      if (s.stop.load() || !s.moduleOpen) break;
      w = s.writeIndex;
      slotLength = s.lengths[w];
    }
    if (slotLength != 0) {
      // The slot has not been read yet: the ring is full up to here.
      std::this_thread::sleep_for(kReaderPause);
    } else {
      unsigned short setting = 0;
      int ok = 0;
      {
        std::lock_guard<std::mutex> guard(s.lock);
        if (!s.moduleOpen || s.stop.load()) break;
        ok = s.api->ReadSetting(s.handle, kStatusSetting, &setting);
        if (!ok) s.noteError();
      }
      if (!ok || (setting & kNoDataBit)) {
        failures = ok ? 0 : failures + 1;
        if (idle <= kBusyPolls)
          ++idle;
        else
          std::this_thread::sleep_for(kReaderPause);
      } else {
        std::lock_guard<std::mutex> guard(s.lock);
        if (!s.moduleOpen || s.stop.load()) break;
        unsigned long length = kQuickUsbReadLength;
        if (!s.api->ReadData(s.handle, s.slots[w].data(), &length)) {
          s.noteError();
          ++failures;
        } else {
          failures = 0;
          const auto unpacked = unpackQuickUsbBlock(s.slots[w].data(), kQuickUsbSlotSize, length);
          if (unpacked) {
            s.lengths[w] = *unpacked;
            s.writeIndex = (w + 1) % kQuickUsbSlots;
          } else {
            s.lengths[w] = 0;  // not a data block, or one whose lengths lie: dropped
          }
        }
        idle = 0;
      }
      if (failures >= kFailuresUntilLost) {
        s.markLost();
        break;
      }
    }

    std::size_t r = 0;
    std::size_t waiting = 0;
    {
      std::lock_guard<std::mutex> guard(s.lock);
      r = s.readIndex;
      waiting = s.lengths[r];
      if (waiting == 0 && r != s.writeIndex) s.readIndex = (r + 1) % kQuickUsbSlots;
    }
    if (waiting != 0) {
      const std::uint32_t mask = s.mask.load();
      if (mask & kMaskLine) s.notify(kLineNotification, waiting);
      if (mask & kMaskData) s.notify(kDataNotification, waiting);
    }
  }
  // The reader closes the module as it ends.
  std::lock_guard<std::mutex> guard(s.lock);
  if (s.moduleOpen) s.api->Close(s.handle);
  s.moduleOpen = false;
}

}  // namespace

QuickUsbChannel::QuickUsbChannel(std::shared_ptr<QuickUsbApi> api) : api_(std::move(api)) {}

QuickUsbChannel::~QuickUsbChannel() {
  close();
}

void QuickUsbChannel::adapterCommand(const std::string& line, ports::Millis pause) {
  Shared& s = *shared_;
  {
    std::lock_guard<std::mutex> guard(s.lock);
    if (!s.moduleOpen) return;
    if (!s.api->WriteRS232(s.handle, kCommandChannel, reinterpret_cast<const unsigned char*>(line.data()),
                           static_cast<unsigned short>(std::min<std::size_t>(line.size(), 0xFFFF))))
      s.noteError();
  }
  if (s.context.loop)
    s.context.loop->sleep(pause);
  else
    std::this_thread::sleep_for(pause);
  // The adapter's reply is read and not looked at; a missing reply is not an error.
  std::lock_guard<std::mutex> guard(s.lock);
  if (!s.moduleOpen) return;
  unsigned short count = 0;
  if (!s.api->GetNumRS232(s.handle, kCommandChannel, &count)) {
    s.noteError();
    return;
  }
  if (count == 0) return;
  std::vector<unsigned char> reply(count);
  unsigned short length = count;
  if (!s.api->ReadRS232(s.handle, kCommandChannel, reply.data(), &length)) s.noteError();
}

int QuickUsbChannel::open(int portCode, std::uint32_t speed, int /*stopBits*/, int /*parity*/,
                          ReaderContext reader, int& linkMode) {
  close();
  if (!api_) return kOpenAdapterFailed;
  const auto names = quickUsbModuleNames(*api_);
  const auto index = static_cast<std::size_t>(portCode - kFirstModulePort);
  if (portCode < kFirstModulePort || index >= names.size()) return kOpenAdapterFailed;
  char name[64] = {};
  std::strncpy(name, names[index].c_str(), sizeof name - 1);
  QuickUsbHandle handle = nullptr;
  if (!api_->Open(&handle, name) || !handle) {
    unsigned long error = 0;
    api_->GetLastError(&error);
    return kOpenAdapterFailed;
  }

  auto shared = std::make_shared<Shared>();
  shared->api = api_;
  shared->handle = handle;
  shared->moduleOpen = true;
  shared->context = reader;
  shared_ = shared;

  api_->SetTimeout(handle, kModuleTimeoutMs);
  api_->SetRS232BaudRate(handle, kCommandChannelBaud);
  char line[96];
  std::snprintf(line, sizeof line, "$KDC,,BDR,%lu\r\n", static_cast<unsigned long>(speed));
  adapterCommand(line, kSetUpPause);
  std::snprintf(line, sizeof line, "$KDC,,LAT,%lu\r\n", 2000UL);
  adapterCommand(line, kSetUpPause);
  std::snprintf(line, sizeof line, "$KDC,,CHR,%lu,%lu,%lu\r\n", 8UL, 78UL, 1UL);
  adapterCommand(line, kSetUpPause);
  std::snprintf(line, sizeof line, "$KDC,,TXS,%lu\r\n", 528UL);
  adapterCommand(line, kSetUpPause);

  shared->writeIndex = 0;
  shared->readIndex = 0;
  shared->lengths.fill(0);
  if (reader.loop)
    reader.loop->sleep(kSettlePause);
  else
    std::this_thread::sleep_for(kSettlePause);
  reader_ = startReader(shared, runQuickUsbReader);
  linkMode = kModeQuickUsb;
  return kOpenOk;
}

void QuickUsbChannel::close() {
  if (!shared_) return;
  stopReader(*shared_, reader_);
  {
    // The reader closes the module as it ends; a reader that could not be waited for has not yet.
    std::lock_guard<std::mutex> guard(shared_->lock);
    if (shared_->moduleOpen) shared_->api->Close(shared_->handle);
    shared_->moduleOpen = false;
  }
  shared_.reset();
}

bool QuickUsbChannel::deviceLost() const {
  return shared_ && shared_->lost.load();
}

std::size_t QuickUsbChannel::write(const std::uint8_t* bytes, std::size_t count) {
  if (!shared_ || shared_->lost.load()) return 0;
  std::lock_guard<std::mutex> guard(shared_->lock);
  if (!shared_->moduleOpen) return 0;
  if (!shared_->api->WriteData(shared_->handle, bytes, static_cast<unsigned long>(count))) {
    shared_->noteError();
    return 0;
  }
  return count;
}

std::size_t QuickUsbChannel::read(std::uint8_t* buffer, std::size_t count) {
  if (!shared_) return 0;
  Shared& s = *shared_;
  std::lock_guard<std::mutex> guard(s.lock);
  const std::size_t r = s.readIndex;
  const std::size_t length = s.lengths[r];
  std::uint8_t* data = s.slots[r].data() + kQuickUsbHeaderSize;
  if (length > 0 && length <= count) {
    std::memcpy(buffer, data, length);
    s.lengths[r] = 0;
    s.readIndex = (r + 1) % kQuickUsbSlots;
    return length;
  }
  if (length > count) {
    // Exactly what was asked; the rest moves to the start of the same slot.
    std::memcpy(buffer, data, count);
    std::memmove(data, data + count, length - count);
    s.lengths[r] = length - count;
    return count;
  }
  // Nothing in the ring: ask the module directly.
  if (count == 0 || !s.moduleOpen || s.lost.load()) return 0;
  unsigned long delivered = static_cast<unsigned long>(count);
  if (!s.api->ReadData(s.handle, buffer, &delivered)) {
    s.noteError();
    return 0;
  }
  return std::min<std::size_t>(delivered, count);
}

bool QuickUsbChannel::queueStatus(std::uint32_t& errorWord, QueueStatusRecord& status) {
  errorWord = 0;
  status = {};
  if (!shared_) return false;
  std::lock_guard<std::mutex> guard(shared_->lock);
  status.bytesToRead = static_cast<std::uint32_t>(shared_->lengths[shared_->readIndex]);
  return !shared_->lost.load();
}

int QuickUsbChannel::setNotificationMask(std::uint32_t mask) {
  if (!shared_) return 0;
  shared_->mask.store(mask);
  return 1;
}

int QuickUsbChannel::setSpeed(std::uint32_t speed) {
  if (!shared_) return 0;
  char line[64];
  std::snprintf(line, sizeof line, "$KDC,,BDR,%lu\r\n", static_cast<unsigned long>(speed));
  adapterCommand(line, kCommandPause);
  return 0;
}

void QuickUsbChannel::purge() {
  // The adapter drops what it holds; the receive ring is kept.
  if (shared_) adapterCommand("$KDC,,PUR\r\n", kCommandPause);
}

std::string QuickUsbChannel::adapterInformation() {
  return shared_ ? kNoInformationText : std::string();
}

}  // namespace recdesk::link
