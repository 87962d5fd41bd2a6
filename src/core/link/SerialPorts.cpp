#include "link/SerialPorts.h"

#include <algorithm>
#include <charconv>
#include <fstream>
#include <set>
#include <system_error>

#include "link/LinkTransport.h"

namespace recdesk::link {

namespace fs = std::filesystem;

namespace {

// The first line of a small sysfs file, without its line end; empty when it cannot be read.
std::string readLine(const fs::path& file) {
  std::ifstream in(file);
  std::string line;
  if (!in || !std::getline(in, line)) return {};
  while (!line.empty() && (line.back() == '\n' || line.back() == '\r' || line.back() == ' ')) line.pop_back();
  if (line.size() > 256) line.resize(256);
  return line;
}

bool parseHex16(const std::string& text, std::uint16_t& value) {
  unsigned v = 0;
  auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), v, 16);
  if (ec != std::errc() || end != text.data() + text.size() || v > 0xFFFF) return false;
  value = static_cast<std::uint16_t>(v);
  return true;
}

// "ttyUSB12" -> ("ttyUSB", 12); names without a number sort after those with one.
bool splitNumbered(const std::string& name, const std::string& prefix, unsigned long& number) {
  if (name.size() <= prefix.size() || name.compare(0, prefix.size(), prefix) != 0) return false;
  const char* first = name.data() + prefix.size();
  const char* last = name.data() + name.size();
  auto [end, ec] = std::from_chars(first, last, number);
  return ec == std::errc() && end == last;
}

// Fills what sysfs tells about the tty named `name`.
void describeFromSysfs(SerialDeviceInfo& info, const std::string& name, const fs::path& sysRoot) {
  std::error_code ec;
  const fs::path classDir = sysRoot / "class" / "tty" / name;
  const fs::path device = fs::canonical(classDir / "device", ec);
  if (ec) return;
  // The driver; newer kernels put a generic serial "port"/"ctrl" layer in between, so look past it.
  fs::path owner = device;
  for (int depth = 0; depth < 3 && !owner.empty(); ++depth, owner = owner.parent_path()) {
    std::error_code driverError;
    const fs::path driver = fs::canonical(owner / "driver", driverError);
    if (driverError) continue;
    info.driver = driver.filename().string();
    if (info.driver != "port" && info.driver != "ctrl") break;
  }
  // Walk up from the tty's device to the USB device that carries it (the one with an idVendor).
  const fs::path sysCanonical = fs::canonical(sysRoot, ec);
  fs::path dir = device;
  for (int depth = 0; depth < 8 && !dir.empty() && dir != dir.root_path(); ++depth) {
    if (!ec && !sysCanonical.empty()) {
      const auto rel = dir.lexically_relative(sysCanonical);
      if (rel.empty() || *rel.begin() == "..") break;  // never leave the sysfs tree
    }
    std::uint16_t vendor = 0;
    std::uint16_t product = 0;
    if (parseHex16(readLine(dir / "idVendor"), vendor) && parseHex16(readLine(dir / "idProduct"), product)) {
      info.usb = true;
      info.usbVendor = vendor;
      info.usbProduct = product;
      info.manufacturer = readLine(dir / "manufacturer");
      info.product = readLine(dir / "product");
      info.serialNumber = readLine(dir / "serial");
      break;
    }
    dir = dir.parent_path();
  }
}

// A ttyS port is listed only when the kernel knows a port type for it (most of the 4 to 32 ttyS
// names a PC has are placeholders without hardware).
bool realLegacyPort(const std::string& name, const fs::path& sysRoot) {
  const fs::path classDir = sysRoot / "class" / "tty" / name;
  const std::string type = readLine(classDir / "type");
  if (!type.empty()) return type != "0";
  std::error_code ec;
  return fs::exists(classDir / "device", ec);
}

}  // namespace

std::vector<SerialDeviceInfo> listSerialDevices(const fs::path& devRoot, const fs::path& sysRoot) {
  std::vector<SerialDeviceInfo> result;
  std::set<std::string> listed;
  std::error_code ec;

  // 1. /dev/serial/by-id, sorted by name.
  std::vector<std::pair<std::string, std::string>> byId;  // (by-id name, resolved device)
  for (fs::directory_iterator it(devRoot / "serial" / "by-id", ec), end; !ec && it != end; it.increment(ec)) {
    std::error_code resolveError;
    const fs::path target = fs::canonical(it->path(), resolveError);
    if (resolveError) continue;
    byId.emplace_back(it->path().filename().string(), target.string());
  }
  std::sort(byId.begin(), byId.end());
  for (const auto& [name, target] : byId) {
    if (!listed.insert(target).second) continue;
    SerialDeviceInfo info;
    info.path = target;
    info.byIdName = name;
    describeFromSysfs(info, fs::path(target).filename().string(), sysRoot);
    result.push_back(std::move(info));
  }

  // 2. ttyUSB*, ttyACM*, ttyS*, each in number order.
  for (const std::string prefix : {"ttyUSB", "ttyACM", "ttyS"}) {
    std::vector<std::pair<unsigned long, std::string>> numbered;
    ec.clear();
    for (fs::directory_iterator it(devRoot, ec), end; !ec && it != end; it.increment(ec)) {
      const std::string name = it->path().filename().string();
      unsigned long number = 0;
      if (!splitNumbered(name, prefix, number)) continue;
      numbered.emplace_back(number, name);
    }
    std::sort(numbered.begin(), numbered.end());
    for (const auto& [number, name] : numbered) {
      if (prefix == "ttyS" && !realLegacyPort(name, sysRoot)) continue;
      std::error_code resolveError;
      fs::path target = fs::canonical(devRoot / name, resolveError);
      if (resolveError) target = devRoot / name;
      if (!listed.insert(target.string()).second) continue;
      SerialDeviceInfo info;
      info.path = target.string();
      describeFromSysfs(info, name, sysRoot);
      result.push_back(std::move(info));
    }
  }
  return result;
}

std::string serialDevicePathFor(int portCode, const ChannelConfig& config) {
  if (!isSerialPort(portCode)) return {};
  if (!config.serialDevicePath.empty()) return config.serialDevicePath;
  const auto devices = listSerialDevices();
  const auto index = static_cast<std::size_t>(portCode - 1);
  return index < devices.size() ? devices[index].path : std::string();
}

}  // namespace recdesk::link
