#pragma once
// A simulated FTDI adapter for tests and demonstrations: it records every call in order ("reset",
// "baud 115200", "divisor 26"…), serves the bytes fed to it, keeps what was written, and can be made
// to fail a named call or to be unplugged. Thread-safe like a real one.
#include <cstdint>
#include <deque>
#include <mutex>
#include <set>
#include <string>
#include <vector>

#include "link/FtdiDevice.h"

namespace recdesk::sim {

class SimulatedFtdiDevice : public link::FtdiDevice {
 public:
  SimulatedFtdiDevice();

  // --- the test's side ---
  // Bytes the "recorder" sends; the adapter delivers them to read().
  void feed(const std::string& bytes);
  // Makes every later call named `name` (the first word of its record) fail.
  void failCall(const std::string& name);
  // The adapter goes away: reads and writes fail from now on.
  void unplug();
  std::vector<std::string> calls() const;
  std::string written() const;
  bool isOpen() const;
  int openedIndex() const;
  // Modem status the adapter reports with RTS off and on (default: clear-to-send follows RTS).
  void setModemStatus(std::uint16_t rtsOff, std::uint16_t rtsOn);
  void setInfo(link::FtdiDeviceInfo info);

  // --- link::FtdiDevice ---
  int open(int index) override;
  void close() override;
  int reset() override;
  int setBaudRate(std::uint32_t speed) override;
  int setBaudDivisor(std::uint32_t divisor) override;
  int setLineProperty(int stopBits, int parity) override;
  int setChars(std::uint8_t eventChar, bool eventEnabled, std::uint8_t errorChar, bool errorEnabled) override;
  int setTimeouts(int readMs, int writeMs) override;
  int setLatency(std::uint8_t milliseconds) override;
  int setChunkSizes(std::uint32_t inSize, std::uint32_t outSize) override;
  int read(std::uint8_t* buffer, std::size_t count) override;
  int write(const std::uint8_t* bytes, std::size_t count) override;
  int purge(bool receive, bool transmit) override;
  int setRts(bool on) override;
  int modemStatus(std::uint16_t& status) override;
  int deviceInfo(link::FtdiDeviceInfo& info) override;

 private:
  // Records `entry`; returns -1 when its call was made to fail (or the adapter is unplugged).
  int record(const std::string& entry);

  mutable std::mutex mutex_;
  std::vector<std::string> calls_;
  std::set<std::string> failing_;
  std::deque<std::uint8_t> pending_;
  std::string written_;
  bool open_ = false;
  bool unplugged_ = false;
  bool rts_ = false;
  int index_ = -1;
  std::uint16_t statusRtsOff_ = 0x00;
  std::uint16_t statusRtsOn_ = 0x10;
  link::FtdiDeviceInfo info_;
};

}  // namespace recdesk::sim
