#pragma once
// A simulated QuickUSB module for tests and demonstrations: it lists module names, records the
// adapter commands written to RS-232 channel 0 (and answers each with a short reply), serves queued
// data blocks through ReadData (its status setting 7 shows the no-data bit 0x200 while none waits),
// keeps what was written with WriteData, and can be made to fail. Thread-safe.
#include <cstdint>
#include <deque>
#include <mutex>
#include <string>
#include <vector>

#include "link/QuickUsb.h"

namespace recdesk::sim {

class SimulatedQuickUsb : public link::QuickUsbApi {
 public:
  explicit SimulatedQuickUsb(std::vector<std::string> modules = {"QUSB-0"});

  // --- the test's side ---
  // Queues a raw block exactly as the module would deliver it (header included).
  void queueBlock(std::vector<std::uint8_t> block);
  // Queues a data block: header (kind 1, plain length) + plain bytes + one packet per entry of `packets`.
  void queueDataBlock(const std::string& plain, const std::vector<std::string>& packets = {});
  bool blocksPending() const;
  std::vector<std::string> commands() const;  // RS-232 channel 0 writes, in order
  std::string written() const;                // WriteData bytes
  std::string openedName() const;
  bool isOpen() const;
  int closeCount() const;
  unsigned long timeout() const;
  unsigned long rs232Baud() const;
  int rs232BytesUnread() const;  // adapter replies nobody has read
  void setFailOpen(bool fail);
  void setFailWrite(bool fail);
  void unplug();  // every call fails from now on

  // --- link::QuickUsbApi ---
  int FindModules(char* nameList, unsigned long length) override;
  int Open(link::QuickUsbHandle* handle, const char* name) override;
  int Close(link::QuickUsbHandle handle) override;
  int SetTimeout(link::QuickUsbHandle handle, unsigned long milliseconds) override;
  int SetRS232BaudRate(link::QuickUsbHandle handle, unsigned long baud) override;
  int WriteRS232(link::QuickUsbHandle handle, unsigned char channel, const unsigned char* data,
                 unsigned short length) override;
  int ReadRS232(link::QuickUsbHandle handle, unsigned char channel, unsigned char* data,
                unsigned short* length) override;
  int GetNumRS232(link::QuickUsbHandle handle, unsigned char channel, unsigned short* count) override;
  int ReadData(link::QuickUsbHandle handle, unsigned char* data, unsigned long* length) override;
  int WriteData(link::QuickUsbHandle handle, const unsigned char* data, unsigned long length) override;
  int ReadSetting(link::QuickUsbHandle handle, unsigned short address, unsigned short* value) override;
  int GetLastError(unsigned long* error) override;

 private:
  bool valid(link::QuickUsbHandle handle);

  mutable std::mutex mutex_;
  std::vector<std::string> modules_;
  std::deque<std::vector<std::uint8_t>> blocks_;
  std::vector<std::string> commands_;
  std::string rs232Pending_;
  std::string written_;
  std::string openedName_;
  bool open_ = false;
  bool failOpen_ = false;
  bool failWrite_ = false;
  bool unplugged_ = false;
  int closeCount_ = 0;
  unsigned long timeout_ = 0;
  unsigned long baud_ = 0;
  unsigned long lastError_ = 0;
  int token_ = 0;  // what the handle points at
};

}  // namespace recdesk::sim
