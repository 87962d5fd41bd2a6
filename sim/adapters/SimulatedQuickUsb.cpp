#include "adapters/SimulatedQuickUsb.h"

#include <algorithm>
#include <cstring>

namespace recdesk::sim {

namespace {
constexpr unsigned long kErrorNotOpen = 1;
constexpr unsigned long kErrorFailed = 2;
}  // namespace

SimulatedQuickUsb::SimulatedQuickUsb(std::vector<std::string> modules) : modules_(std::move(modules)) {}

void SimulatedQuickUsb::queueBlock(std::vector<std::uint8_t> block) {
  std::lock_guard<std::mutex> guard(mutex_);
  blocks_.push_back(std::move(block));
}

void SimulatedQuickUsb::queueDataBlock(const std::string& plain, const std::vector<std::string>& packets) {
  std::vector<std::uint8_t> block = {0, 1, static_cast<std::uint8_t>(plain.size() & 0xFF),
                                     static_cast<std::uint8_t>(plain.size() >> 8)};
  block.insert(block.end(), plain.begin(), plain.end());
  for (const auto& packet : packets) {
    block.push_back(0x80);
    block.push_back(0x01);
    block.push_back(static_cast<std::uint8_t>(packet.size() & 0xFF));
    block.push_back(static_cast<std::uint8_t>(packet.size() >> 8));
    block.insert(block.end(), packet.begin(), packet.end());
  }
  queueBlock(std::move(block));
}

bool SimulatedQuickUsb::blocksPending() const {
  std::lock_guard<std::mutex> guard(mutex_);
  return !blocks_.empty();
}

std::vector<std::string> SimulatedQuickUsb::commands() const {
  std::lock_guard<std::mutex> guard(mutex_);
  return commands_;
}

std::string SimulatedQuickUsb::written() const {
  std::lock_guard<std::mutex> guard(mutex_);
  return written_;
}

std::string SimulatedQuickUsb::openedName() const {
  std::lock_guard<std::mutex> guard(mutex_);
  return openedName_;
}

bool SimulatedQuickUsb::isOpen() const {
  std::lock_guard<std::mutex> guard(mutex_);
  return open_;
}

int SimulatedQuickUsb::closeCount() const {
  std::lock_guard<std::mutex> guard(mutex_);
  return closeCount_;
}

unsigned long SimulatedQuickUsb::timeout() const {
  std::lock_guard<std::mutex> guard(mutex_);
  return timeout_;
}

unsigned long SimulatedQuickUsb::rs232Baud() const {
  std::lock_guard<std::mutex> guard(mutex_);
  return baud_;
}

int SimulatedQuickUsb::rs232BytesUnread() const {
  std::lock_guard<std::mutex> guard(mutex_);
  return static_cast<int>(rs232Pending_.size());
}

void SimulatedQuickUsb::setFailOpen(bool fail) {
  std::lock_guard<std::mutex> guard(mutex_);
  failOpen_ = fail;
}

void SimulatedQuickUsb::setFailWrite(bool fail) {
  std::lock_guard<std::mutex> guard(mutex_);
  failWrite_ = fail;
}

void SimulatedQuickUsb::unplug() {
  std::lock_guard<std::mutex> guard(mutex_);
  unplugged_ = true;
}

bool SimulatedQuickUsb::valid(link::QuickUsbHandle handle) {
  if (unplugged_) {
    lastError_ = kErrorFailed;
    return false;
  }
  if (!open_ || handle != &token_) {
    lastError_ = kErrorNotOpen;
    return false;
  }
  return true;
}

int SimulatedQuickUsb::FindModules(char* nameList, unsigned long length) {
  std::lock_guard<std::mutex> guard(mutex_);
  if (!nameList || length < 2) return 0;
  std::memset(nameList, 0, length);
  unsigned long pos = 0;
  for (const auto& name : modules_) {
    if (pos + name.size() + 2 > length) break;
    std::memcpy(nameList + pos, name.c_str(), name.size() + 1);
    pos += static_cast<unsigned long>(name.size()) + 1;
  }
  return 1;
}

int SimulatedQuickUsb::Open(link::QuickUsbHandle* handle, const char* name) {
  std::lock_guard<std::mutex> guard(mutex_);
  if (failOpen_ || unplugged_ || !handle || !name ||
      std::find(modules_.begin(), modules_.end(), name) == modules_.end()) {
    lastError_ = kErrorFailed;
    return 0;
  }
  open_ = true;
  openedName_ = name;
  *handle = &token_;
  return 1;
}

int SimulatedQuickUsb::Close(link::QuickUsbHandle handle) {
  std::lock_guard<std::mutex> guard(mutex_);
  if (!open_ || handle != &token_) return 0;
  open_ = false;
  ++closeCount_;
  return 1;
}

int SimulatedQuickUsb::SetTimeout(link::QuickUsbHandle handle, unsigned long milliseconds) {
  std::lock_guard<std::mutex> guard(mutex_);
  if (!valid(handle)) return 0;
  timeout_ = milliseconds;
  return 1;
}

int SimulatedQuickUsb::SetRS232BaudRate(link::QuickUsbHandle handle, unsigned long baud) {
  std::lock_guard<std::mutex> guard(mutex_);
  if (!valid(handle)) return 0;
  baud_ = baud;
  return 1;
}

int SimulatedQuickUsb::WriteRS232(link::QuickUsbHandle handle, unsigned char channel, const unsigned char* data,
                                  unsigned short length) {
  std::lock_guard<std::mutex> guard(mutex_);
  if (!valid(handle) || channel != 0 || (!data && length)) return 0;
  commands_.emplace_back(reinterpret_cast<const char*>(data), length);
  rs232Pending_ += "$KDC,,OK\r\n";
  return 1;
}

int SimulatedQuickUsb::ReadRS232(link::QuickUsbHandle handle, unsigned char channel, unsigned char* data,
                                 unsigned short* length) {
  std::lock_guard<std::mutex> guard(mutex_);
  if (!valid(handle) || channel != 0 || !length) return 0;
  const std::size_t n = std::min<std::size_t>(*length, rs232Pending_.size());
  if (n) std::memcpy(data, rs232Pending_.data(), n);
  rs232Pending_.erase(0, n);
  *length = static_cast<unsigned short>(n);
  return 1;
}

int SimulatedQuickUsb::GetNumRS232(link::QuickUsbHandle handle, unsigned char channel, unsigned short* count) {
  std::lock_guard<std::mutex> guard(mutex_);
  if (!valid(handle) || channel != 0 || !count) return 0;
  *count = static_cast<unsigned short>(std::min<std::size_t>(rs232Pending_.size(), 0xFFFF));
  return 1;
}

int SimulatedQuickUsb::ReadData(link::QuickUsbHandle handle, unsigned char* data, unsigned long* length) {
  std::lock_guard<std::mutex> guard(mutex_);
  if (!valid(handle) || !length) return 0;
  if (blocks_.empty()) {
    *length = 0;
    lastError_ = kErrorFailed;
    return 0;
  }
  auto& block = blocks_.front();
  const std::size_t n = std::min<std::size_t>(*length, block.size());
  std::memcpy(data, block.data(), n);
  *length = static_cast<unsigned long>(n);
  blocks_.pop_front();
  return 1;
}

int SimulatedQuickUsb::WriteData(link::QuickUsbHandle handle, const unsigned char* data, unsigned long length) {
  std::lock_guard<std::mutex> guard(mutex_);
  if (!valid(handle) || failWrite_) {
    lastError_ = kErrorFailed;
    return 0;
  }
  written_.append(reinterpret_cast<const char*>(data), length);
  return 1;
}

int SimulatedQuickUsb::ReadSetting(link::QuickUsbHandle handle, unsigned short address, unsigned short* value) {
  std::lock_guard<std::mutex> guard(mutex_);
  if (!valid(handle) || !value) return 0;
  *value = (address == 7 && blocks_.empty()) ? 0x200 : 0;
  return 1;
}

int SimulatedQuickUsb::GetLastError(unsigned long* error) {
  std::lock_guard<std::mutex> guard(mutex_);
  if (error) *error = lastError_;
  return 1;
}

}  // namespace recdesk::sim
