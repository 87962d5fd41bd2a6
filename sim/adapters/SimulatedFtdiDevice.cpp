#include "adapters/SimulatedFtdiDevice.h"

#include <algorithm>

namespace recdesk::sim {

SimulatedFtdiDevice::SimulatedFtdiDevice() {
  info_.type = link::kFtdiChip232R;
  info_.id = 0x04036001;
  info_.serialNumber = "SIM00001";
  info_.description = "Simulated FTDI adapter";
}

void SimulatedFtdiDevice::feed(const std::string& bytes) {
  std::lock_guard<std::mutex> guard(mutex_);
  pending_.insert(pending_.end(), bytes.begin(), bytes.end());
}

void SimulatedFtdiDevice::failCall(const std::string& name) {
  std::lock_guard<std::mutex> guard(mutex_);
  failing_.insert(name);
}

void SimulatedFtdiDevice::unplug() {
  std::lock_guard<std::mutex> guard(mutex_);
  unplugged_ = true;
}

std::vector<std::string> SimulatedFtdiDevice::calls() const {
  std::lock_guard<std::mutex> guard(mutex_);
  return calls_;
}

std::string SimulatedFtdiDevice::written() const {
  std::lock_guard<std::mutex> guard(mutex_);
  return written_;
}

bool SimulatedFtdiDevice::isOpen() const {
  std::lock_guard<std::mutex> guard(mutex_);
  return open_;
}

int SimulatedFtdiDevice::openedIndex() const {
  std::lock_guard<std::mutex> guard(mutex_);
  return index_;
}

void SimulatedFtdiDevice::setModemStatus(std::uint16_t rtsOff, std::uint16_t rtsOn) {
  std::lock_guard<std::mutex> guard(mutex_);
  statusRtsOff_ = rtsOff;
  statusRtsOn_ = rtsOn;
}

void SimulatedFtdiDevice::setInfo(link::FtdiDeviceInfo info) {
  std::lock_guard<std::mutex> guard(mutex_);
  info_ = std::move(info);
}

int SimulatedFtdiDevice::record(const std::string& entry) {
  calls_.push_back(entry);
  const std::string name = entry.substr(0, entry.find(' '));
  if (unplugged_ || failing_.count(name)) return -1;
  return 0;
}

int SimulatedFtdiDevice::open(int index) {
  std::lock_guard<std::mutex> guard(mutex_);
  const int rc = record("open " + std::to_string(index));
  if (rc < 0) return rc;
  open_ = true;
  index_ = index;
  return 0;
}

void SimulatedFtdiDevice::close() {
  std::lock_guard<std::mutex> guard(mutex_);
  calls_.push_back("close");
  open_ = false;
}

int SimulatedFtdiDevice::reset() {
  std::lock_guard<std::mutex> guard(mutex_);
  return record("reset");
}

int SimulatedFtdiDevice::setBaudRate(std::uint32_t speed) {
  std::lock_guard<std::mutex> guard(mutex_);
  return record("baud " + std::to_string(speed));
}

int SimulatedFtdiDevice::setBaudDivisor(std::uint32_t divisor) {
  std::lock_guard<std::mutex> guard(mutex_);
  return record("divisor " + std::to_string(divisor));
}

int SimulatedFtdiDevice::setLineProperty(int stopBits, int parity) {
  std::lock_guard<std::mutex> guard(mutex_);
  return record("line 8 " + std::to_string(stopBits) + " " + std::to_string(parity));
}

int SimulatedFtdiDevice::setChars(std::uint8_t eventChar, bool eventEnabled, std::uint8_t errorChar,
                                  bool errorEnabled) {
  std::lock_guard<std::mutex> guard(mutex_);
  return record("chars " + std::to_string(eventChar) + " " + std::to_string(eventEnabled) + " " +
                std::to_string(errorChar) + " " + std::to_string(errorEnabled));
}

int SimulatedFtdiDevice::setTimeouts(int readMs, int writeMs) {
  std::lock_guard<std::mutex> guard(mutex_);
  return record("timeouts " + std::to_string(readMs) + " " + std::to_string(writeMs));
}

int SimulatedFtdiDevice::setLatency(std::uint8_t milliseconds) {
  std::lock_guard<std::mutex> guard(mutex_);
  return record("latency " + std::to_string(milliseconds));
}

int SimulatedFtdiDevice::setChunkSizes(std::uint32_t inSize, std::uint32_t outSize) {
  std::lock_guard<std::mutex> guard(mutex_);
  return record("chunks " + std::to_string(inSize) + " " + std::to_string(outSize));
}

int SimulatedFtdiDevice::read(std::uint8_t* buffer, std::size_t count) {
  // Not recorded: the reader polls all the time.
  std::lock_guard<std::mutex> guard(mutex_);
  if (unplugged_ || !open_) return -1;
  const std::size_t n = std::min(count, pending_.size());
  std::copy_n(pending_.begin(), n, buffer);
  pending_.erase(pending_.begin(), pending_.begin() + static_cast<std::ptrdiff_t>(n));
  return static_cast<int>(n);
}

int SimulatedFtdiDevice::write(const std::uint8_t* bytes, std::size_t count) {
  std::lock_guard<std::mutex> guard(mutex_);
  if (unplugged_ || !open_ || failing_.count("write")) return -1;
  written_.append(reinterpret_cast<const char*>(bytes), count);
  return static_cast<int>(count);
}

int SimulatedFtdiDevice::purge(bool receive, bool transmit) {
  std::lock_guard<std::mutex> guard(mutex_);
  const int rc = record(std::string("purge") + (receive ? " rx" : "") + (transmit ? " tx" : ""));
  if (rc == 0 && receive) pending_.clear();
  return rc;
}

int SimulatedFtdiDevice::setRts(bool on) {
  std::lock_guard<std::mutex> guard(mutex_);
  const int rc = record(on ? "rts 1" : "rts 0");
  if (rc == 0) rts_ = on;
  return rc;
}

int SimulatedFtdiDevice::modemStatus(std::uint16_t& status) {
  std::lock_guard<std::mutex> guard(mutex_);
  const int rc = record("modem");
  if (rc == 0) status = rts_ ? statusRtsOn_ : statusRtsOff_;
  return rc;
}

int SimulatedFtdiDevice::deviceInfo(link::FtdiDeviceInfo& info) {
  std::lock_guard<std::mutex> guard(mutex_);
  const int rc = record("info");
  if (rc == 0) info = info_;
  return rc;
}

}  // namespace recdesk::sim
