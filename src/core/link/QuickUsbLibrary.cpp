// Binding of the QuickUSB vendor library at run time.
//
// The library is expected to export C functions with these signatures (handles are opaque pointers,
// results non-zero on success):
//   int QuickUsbFindModules(char* nameList, unsigned long length);
//   int QuickUsbOpen(void** handle, const char* name);
//   int QuickUsbClose(void* handle);
//   int QuickUsbSetTimeout(void* handle, unsigned long milliseconds);
//   int QuickUsbSetRS232BaudRate(void* handle, unsigned long baud);
//   int QuickUsbWriteRS232(void* handle, unsigned char channel, const unsigned char* data, unsigned short
//   length); int QuickUsbReadRS232(void* handle, unsigned char channel, unsigned char* data, unsigned short*
//   length); int QuickUsbGetNumRS232(void* handle, unsigned char channel, unsigned short* count); int
//   QuickUsbReadData(void* handle, unsigned char* data, unsigned long* length); int QuickUsbWriteData(void*
//   handle, const unsigned char* data, unsigned long length); int QuickUsbReadSetting(void* handle, unsigned
//   short address, unsigned short* value); int QuickUsbGetLastError(unsigned long* error);
#include <dlfcn.h>

#include <algorithm>
#include <array>
#include <cstdlib>
#include <cstring>

#include "link/QuickUsb.h"

namespace recdesk::link {

namespace {

constexpr std::size_t kNameListSize = 1024;
constexpr std::size_t kMaxModules = 16;
constexpr std::size_t kNameBuffer = 64;

class DynamicQuickUsb final : public QuickUsbApi {
 public:
  using FindModulesFn = int (*)(char*, unsigned long);
  using OpenFn = int (*)(void**, const char*);
  using CloseFn = int (*)(void*);
  using SetTimeoutFn = int (*)(void*, unsigned long);
  using SetBaudFn = int (*)(void*, unsigned long);
  using WriteRS232Fn = int (*)(void*, unsigned char, const unsigned char*, unsigned short);
  using ReadRS232Fn = int (*)(void*, unsigned char, unsigned char*, unsigned short*);
  using GetNumRS232Fn = int (*)(void*, unsigned char, unsigned short*);
  using ReadDataFn = int (*)(void*, unsigned char*, unsigned long*);
  using WriteDataFn = int (*)(void*, const unsigned char*, unsigned long);
  using ReadSettingFn = int (*)(void*, unsigned short, unsigned short*);
  using GetLastErrorFn = int (*)(unsigned long*);

  explicit DynamicQuickUsb(void* library) : library_(library) {}
  ~DynamicQuickUsb() override {
    if (library_) dlclose(library_);
  }

  // Looks every call up; returns the name of the first one missing, or null.
  const char* bind() {
    if (!lookup(findModules_, "QuickUsbFindModules")) return "QuickUsbFindModules";
    if (!lookup(open_, "QuickUsbOpen")) return "QuickUsbOpen";
    if (!lookup(close_, "QuickUsbClose")) return "QuickUsbClose";
    if (!lookup(setTimeout_, "QuickUsbSetTimeout")) return "QuickUsbSetTimeout";
    if (!lookup(setBaud_, "QuickUsbSetRS232BaudRate")) return "QuickUsbSetRS232BaudRate";
    if (!lookup(writeRS232_, "QuickUsbWriteRS232")) return "QuickUsbWriteRS232";
    if (!lookup(readRS232_, "QuickUsbReadRS232")) return "QuickUsbReadRS232";
    if (!lookup(getNumRS232_, "QuickUsbGetNumRS232")) return "QuickUsbGetNumRS232";
    if (!lookup(readData_, "QuickUsbReadData")) return "QuickUsbReadData";
    if (!lookup(writeData_, "QuickUsbWriteData")) return "QuickUsbWriteData";
    if (!lookup(readSetting_, "QuickUsbReadSetting")) return "QuickUsbReadSetting";
    if (!lookup(getLastError_, "QuickUsbGetLastError")) return "QuickUsbGetLastError";
    return nullptr;
  }

  int FindModules(char* nameList, unsigned long length) override { return findModules_(nameList, length); }
  int Open(QuickUsbHandle* handle, const char* name) override { return open_(handle, name); }
  int Close(QuickUsbHandle handle) override { return close_(handle); }
  int SetTimeout(QuickUsbHandle handle, unsigned long ms) override { return setTimeout_(handle, ms); }
  int SetRS232BaudRate(QuickUsbHandle handle, unsigned long baud) override { return setBaud_(handle, baud); }
  int WriteRS232(QuickUsbHandle handle, unsigned char channel, const unsigned char* data,
                 unsigned short length) override {
    return writeRS232_(handle, channel, data, length);
  }
  int ReadRS232(QuickUsbHandle handle, unsigned char channel, unsigned char* data,
                unsigned short* length) override {
    return readRS232_(handle, channel, data, length);
  }
  int GetNumRS232(QuickUsbHandle handle, unsigned char channel, unsigned short* count) override {
    return getNumRS232_(handle, channel, count);
  }
  int ReadData(QuickUsbHandle handle, unsigned char* data, unsigned long* length) override {
    return readData_(handle, data, length);
  }
  int WriteData(QuickUsbHandle handle, const unsigned char* data, unsigned long length) override {
    return writeData_(handle, data, length);
  }
  int ReadSetting(QuickUsbHandle handle, unsigned short address, unsigned short* value) override {
    return readSetting_(handle, address, value);
  }
  int GetLastError(unsigned long* error) override { return getLastError_(error); }

 private:
  template <typename Fn>
  bool lookup(Fn& target, const char* name) {
    void* symbol = dlsym(library_, name);
    if (!symbol) return false;
    target = reinterpret_cast<Fn>(symbol);
    return true;
  }

  void* library_ = nullptr;
  FindModulesFn findModules_ = nullptr;
  OpenFn open_ = nullptr;
  CloseFn close_ = nullptr;
  SetTimeoutFn setTimeout_ = nullptr;
  SetBaudFn setBaud_ = nullptr;
  WriteRS232Fn writeRS232_ = nullptr;
  ReadRS232Fn readRS232_ = nullptr;
  GetNumRS232Fn getNumRS232_ = nullptr;
  ReadDataFn readData_ = nullptr;
  WriteDataFn writeData_ = nullptr;
  ReadSettingFn readSetting_ = nullptr;
  GetLastErrorFn getLastError_ = nullptr;
};

}  // namespace

std::string quickUsbLibraryName(const std::string& path) {
  if (!path.empty()) return path;
  if (const char* env = std::getenv("RECDESK_QUICKUSB_LIBRARY"); env && *env) return env;
  return "libquickusb.so";
}

std::shared_ptr<QuickUsbApi> loadQuickUsbLibrary(const std::string& path, std::string& error) {
  const std::string name = quickUsbLibraryName(path);
  void* library = dlopen(name.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (!library) {
    error = kQuickUsbMissingText;
    if (const char* why = dlerror()) error += std::string(" (") + why + ")";
    return nullptr;
  }
  auto api = std::make_shared<DynamicQuickUsb>(library);
  if (const char* missing = api->bind()) {
    error = name + " lacks the call " + missing + ": it is not a usable QuickUSB library";
    return nullptr;
  }
  return api;
}

bool quickUsbLibraryAvailable(const std::string& path) {
  std::string error;
  return loadQuickUsbLibrary(path, error) != nullptr;
}

std::vector<std::string> quickUsbModuleNames(QuickUsbApi& api) {
  std::array<char, kNameListSize> list{};
  std::vector<std::string> names;
  if (!api.FindModules(list.data(), static_cast<unsigned long>(list.size()))) return names;
  // Whatever the library wrote, the list ends inside the buffer.
  list[list.size() - 2] = '\0';
  list[list.size() - 1] = '\0';
  std::size_t pos = 0;
  while (pos < list.size() && list[pos] != '\0' && names.size() < kMaxModules) {
    const std::size_t length = std::strlen(list.data() + pos);
    names.emplace_back(list.data() + pos, std::min(length, kNameBuffer - 1));
    pos += length + 1;
  }
  return names;
}

}  // namespace recdesk::link
