#include "link/FtdiChannel.h"

#include <chrono>
#include <cmath>
#include <mutex>
#include <vector>

#include "lang/Strings.h"
#include "link/ByteRing.h"
#include "link/ReaderThread.h"
#include "ports/EventLoop.h"

namespace recdesk::link {

namespace {

constexpr std::size_t kReadChunk = 4096;
constexpr std::uint8_t kLatencyMs = 2;
constexpr std::uint32_t kInTransferSize = 4096;
constexpr int kTimeoutMs = 1000;
constexpr std::uint8_t kEventChar = 0x0A;
constexpr std::uint8_t kErrorChar = 0x20;
constexpr std::uint16_t kClearToSend = 0x10;
constexpr auto kIdlePause = std::chrono::milliseconds(1);
constexpr auto kFullPause = std::chrono::milliseconds(10);
constexpr std::chrono::milliseconds kRtsSettle{20};

}  // namespace

std::uint32_t ftdiDivisor(std::uint32_t speed) {
  constexpr std::uint32_t kBase = 3000000;
  constexpr std::uint32_t kLargestInteger = 0x3FFF;
  if (speed >= kBase) return 0;
  if (speed == 0) return kLargestInteger;
  const double q = static_cast<double>(kBase) / static_cast<double>(speed);
  const double whole = std::floor(q);
  const double f = q - whole;
  if (whole >= kLargestInteger) return kLargestInteger;  // the integer part has 14 bits
  const auto i = static_cast<std::uint32_t>(whole);
  if (f > 0.75) return i + 1;
  std::uint32_t code = 0;
  if (f >= 0.375)
    code = 1;
  else if (f >= 0.1875)
    code = 2;
  else if (f >= 0.0625)
    code = 3;
  return i + code * 16384;
}

struct FtdiChannel::Shared : ReaderShared {
  std::shared_ptr<FtdiDevice> device;
  std::mutex lock;  // guards the receive queue and the reads into it, and the requests below
  ByteRing received{kReceiveCapacity};
  std::vector<LinkChannel::InformationDone> informationRequests;  // answered by the reader
};

namespace {

// The adapter's description: clear-to-send must follow request-to-send through its loop-back. Runs
// on the reader thread (the lines settle 20 ms each way). Empty when the reader is stopped meanwhile.
std::string describeAdapter(FtdiChannel::Shared& s) {
  FtdiDevice& device = *s.device;
  std::uint16_t before = 0;
  std::uint16_t after = 0;
  device.setRts(false);
  if (!s.pauseUnlessStopped(kRtsSettle)) return {};
  device.modemStatus(before);
  device.setRts(true);
  if (!s.pauseUnlessStopped(kRtsSettle)) return {};
  FtdiDeviceInfo info;
  device.deviceInfo(info);
  if (device.modemStatus(after) < 0) return lang::text(TextId::AdapterInfoUnreadable);
  const bool follows = static_cast<int>(after) - static_cast<int>(before) == kClearToSend;
  const std::string lineA = lang::text(follows ? TextId::HandshakeWorking : TextId::HandshakeNoResponse);
  const std::string lineB =
      lang::text(info.type == kFtdiChipBM ? TextId::AdapterChipStandard : TextId::AdapterChipOther);
  return lang::formatText("%s\n SN: %s\n %s %s", {info.description, info.serialNumber, lineA, lineB});
}

void runFtdiReader(ReaderShared& base) {
  auto& s = static_cast<FtdiChannel::Shared&>(base);
  std::uint8_t chunk[kReadChunk];
  while (!s.stop.load()) {
    std::vector<LinkChannel::InformationDone> requests;
    {
      std::lock_guard<std::mutex> guard(s.lock);
      requests.swap(s.informationRequests);
    }
    for (auto& request : requests) {
      const std::string text = describeAdapter(s);
      s.handOver([&] { request(text); });
    }
    if (s.stop.load()) break;

    // Read and queue under the lock, so that a purge drops either all or none of these bytes. The
    // read returns within the chip's latency time.
    int n = 0;
    std::size_t waiting = 0;
    bool full = false;
    {
      std::lock_guard<std::mutex> guard(s.lock);
      const std::size_t room = s.received.space();
      if (room == 0) {
        full = true;
      } else {
        n = s.device->read(chunk, std::min(room, sizeof chunk));
        if (n > 0) s.received.push(chunk, std::min(static_cast<std::size_t>(n), room));
        waiting = s.received.size();
      }
    }
    if (full) {
      // Leave the bytes in the chip (it holds them back) until the owner has read.
      std::this_thread::sleep_for(kFullPause);
      continue;
    }
    if (n < 0) {
      // The adapter went away (unplugged): the owner is told once; writes report 0 from now on.
      s.markLost();
      break;
    }
    if (n == 0) {
      std::this_thread::sleep_for(kIdlePause);
      continue;
    }
    const std::uint32_t mask = s.mask.load();
    if (mask & kMaskLine) s.notify(kLineNotification, waiting);
    if (mask & kMaskData) s.notify(kDataNotification, waiting);
  }
}

}  // namespace

FtdiChannel::FtdiChannel(DeviceFactory factory) : factory_(std::move(factory)) {}

FtdiChannel::~FtdiChannel() {
  close();
}

int FtdiChannel::open(int portCode, std::uint32_t speed, int stopBits, int parity, ReaderContext reader,
                      int& linkMode) {
  close();
  std::shared_ptr<FtdiDevice> device = factory_ ? factory_() : nullptr;
  if (!device || device->open(portCode - kFirstFtdiPort) < 0) return kOpenAdapterFailed;

  // The set-up sequence; only the last step's result decides.
  device->reset();
  device->setBaudRate(speed);
  device->setLineProperty(stopBits, parity);
  device->setChars(kEventChar, false, kErrorChar, false);
  device->setTimeouts(kTimeoutMs, kTimeoutMs);
  device->setLatency(kLatencyMs);
  if (device->setChunkSizes(kInTransferSize, 0) < 0) {
    // Not left half open: a link that could not be set up is closed again.
    device->close();
    return kOpenAdapterFailed;
  }

  auto shared = std::make_shared<Shared>();
  shared->device = device;
  shared->context = reader;
  shared_ = shared;
  reader_ = startReader(shared, runFtdiReader);
  linkMode = kModeFtdi;
  return kOpenOk;
}

void FtdiChannel::close() {
  if (!shared_) return;
  // The reader does not touch the device once the stop flag is set, even when it was let go.
  stopReader(*shared_, reader_);
  shared_->device->close();
  shared_.reset();
}

bool FtdiChannel::deviceLost() const {
  return shared_ && shared_->lost.load();
}

std::size_t FtdiChannel::write(const std::uint8_t* bytes, std::size_t count) {
  if (!shared_ || shared_->lost.load()) return 0;
  const int n = shared_->device->write(bytes, count);
  return n > 0 ? static_cast<std::size_t>(n) : 0;
}

std::size_t FtdiChannel::read(std::uint8_t* buffer, std::size_t count) {
  // What the reader has taken from the chip. No waiting: during a notification the reader cannot
  // fetch more until the owner returns, so a wait would only stall the owner.
  if (!shared_) return 0;
  std::lock_guard<std::mutex> guard(shared_->lock);
  return shared_->received.pop(buffer, count);
}

bool FtdiChannel::queueStatus(std::uint32_t& errorWord, QueueStatusRecord& status) {
  errorWord = 0;
  status = {};
  if (!shared_ || shared_->lost.load()) return false;
  std::lock_guard<std::mutex> guard(shared_->lock);
  status.bytesToRead = static_cast<std::uint32_t>(shared_->received.size());
  // Event status: a character is waiting.
  if (status.bytesToRead) errorWord = 1;
  return true;
}

int FtdiChannel::setNotificationMask(std::uint32_t mask) {
  if (!shared_) return 0;
  shared_->mask.store(mask);
  return 1;
}

int FtdiChannel::setSpeed(std::uint32_t speed) {
  if (shared_) shared_->device->setBaudDivisor(ftdiDivisor(speed));
  return 0;
}

void FtdiChannel::purge() {
  if (!shared_) return;
  // Receive side only; bytes on their way out are kept.
  std::lock_guard<std::mutex> guard(shared_->lock);
  shared_->device->purge(true, false);
  shared_->received.clear();
}

void FtdiChannel::adapterInformation(InformationDone done) {
  if (!done) return;
  if (!shared_) {
    done({});
    return;
  }
  std::lock_guard<std::mutex> guard(shared_->lock);
  shared_->informationRequests.push_back(std::move(done));
}

}  // namespace recdesk::link
