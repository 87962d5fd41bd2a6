#pragma once
// The QuickUSB module's library calls that the link uses, as an interface: bound at run time to the
// vendor's shared library when it is installed (no such library ships with Linux distributions), or
// served by the simulator's SimulatedQuickUsb in tests.
//
// Each call returns non-zero on success and 0 on failure, after which GetLastError tells why.
#include <memory>
#include <string>
#include <vector>

namespace recdesk::link {

using QuickUsbHandle = void*;

class QuickUsbApi {
 public:
  virtual ~QuickUsbApi() = default;
  // Fills `nameList` with module names, each ended by a zero byte, the list ended by a second one.
  virtual int FindModules(char* nameList, unsigned long length) = 0;
  virtual int Open(QuickUsbHandle* handle, const char* name) = 0;
  virtual int Close(QuickUsbHandle handle) = 0;
  virtual int SetTimeout(QuickUsbHandle handle, unsigned long milliseconds) = 0;
  virtual int SetRS232BaudRate(QuickUsbHandle handle, unsigned long baud) = 0;
  virtual int WriteRS232(QuickUsbHandle handle, unsigned char channel, const unsigned char* data,
                         unsigned short length) = 0;
  // `length`: room in, bytes delivered out.
  virtual int ReadRS232(QuickUsbHandle handle, unsigned char channel, unsigned char* data,
                        unsigned short* length) = 0;
  virtual int GetNumRS232(QuickUsbHandle handle, unsigned char channel, unsigned short* count) = 0;
  // `length`: room in, bytes delivered out.
  virtual int ReadData(QuickUsbHandle handle, unsigned char* data, unsigned long* length) = 0;
  virtual int WriteData(QuickUsbHandle handle, const unsigned char* data, unsigned long length) = 0;
  virtual int ReadSetting(QuickUsbHandle handle, unsigned short address, unsigned short* value) = 0;
  virtual int GetLastError(unsigned long* error) = 0;
};

// What the front ends say when the vendor library is missing.
inline constexpr const char* kQuickUsbMissingText =
    "QuickUSB support needs the vendor's libquickusb.so, which is not installed";

// The library file tried: `path` when given, else $RECDESK_QUICKUSB_LIBRARY, else "libquickusb.so".
std::string quickUsbLibraryName(const std::string& path = {});
// Binds the vendor library. Null (and `error` set) when it is missing or lacks a call.
std::shared_ptr<QuickUsbApi> loadQuickUsbLibrary(const std::string& path, std::string& error);
bool quickUsbLibraryAvailable(const std::string& path = {});

// The module names of a FindModules list (at most 16, each at most 63 characters).
std::vector<std::string> quickUsbModuleNames(QuickUsbApi& api);

}  // namespace recdesk::link
