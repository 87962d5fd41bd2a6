// Open results turned into sentences a Linux user can act on.
#include <grp.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <string>
#include <vector>

#include "link/LinkTransport.h"
#include "link/QuickUsb.h"

namespace recdesk::link {

namespace {

// The group that owns `path` (e.g. "dialout"), or empty when unknown.
std::string owningGroup(const std::string& path) {
  struct stat info {};
  if (path.empty() || ::stat(path.c_str(), &info) != 0) return {};
  std::vector<char> buffer(4096);
  group entry{};
  group* found = nullptr;
  if (getgrgid_r(info.st_gid, &entry, buffer.data(), buffer.size(), &found) != 0 || !found) return {};
  return found->gr_name ? found->gr_name : "";
}

std::string systemText(int code) {
  char buffer[256] = {};
  // The GNU strerror_r returns the text (possibly not in `buffer`).
  const char* text = strerror_r(code, buffer, sizeof buffer);
  return text ? text : "error " + std::to_string(code);
}

const char* const kListHint = " (recdesk-cli ports lists the ports and adapters this computer has)";
const char* const kUdevHint =
    "install the rule packaging/udev/60-recdesk.rules (sudo cp packaging/udev/60-recdesk.rules "
    "/etc/udev/rules.d/ && sudo udevadm control --reload && sudo udevadm trigger), then plug the adapter in "
    "again";

}  // namespace

std::string describeOpenError(int portCode, int result, const std::string& devicePath) {
  if (result == kOpenOk) return {};
  if (portKind(portCode) == PortKind::None) {
    return "No port is configured for the recorder: choose its serial device or adapter (a port code of "
           "1 or more, or --device PATH)" +
           std::string(kListHint) + ".";
  }
  if (isQuickUsbPort(portCode)) {
    if (!quickUsbLibraryAvailable()) return std::string(kQuickUsbMissingText) + ".";
    return "QuickUSB module " + std::to_string(portCode - kFirstQuickUsbPort) + " (port code " +
           std::to_string(portCode) +
           ") could not be opened or set up: check that it is plugged in and "
           "that you may use it" +
           kListHint + ".";
  }
  if (isFtdiPort(portCode)) {
    return "FTDI adapter " + std::to_string(portCode - kFirstFtdiPort) + " (port code " +
           std::to_string(portCode) + ") could not be opened or set up. Check that it is plugged in" +
           kListHint + "; when it is listed but cannot be opened, your user may not access it: " + kUdevHint +
           ".";
  }

  // A serial port: the result is the system's error number.
  const std::string device = devicePath.empty() ? "serial port " + std::to_string(portCode) : devicePath;
  switch (result) {
    case EACCES:
    case EPERM: {
      std::string group = owningGroup(devicePath);
      if (group.empty()) group = "dialout";
      return "You may not open " + device + ": add yourself to the group that owns it (" + group +
             "): sudo usermod -aG " + group + " $USER, then log out and in again; or " + kUdevHint + ".";
    }
    case EBUSY:
      return device +
             " is in use by another program (ModemManager probes new serial devices; stop it with "
             "sudo systemctl stop ModemManager, or install packaging/udev/60-recdesk.rules which tells it "
             "to leave the recorder alone). Close other terminal programs using the port and try again.";
    case ENOENT:
    case ENODEV:
    case ENXIO:
      if (devicePath.empty())
        return "There is no serial port with port code " + std::to_string(portCode) +
               ": the recorder's cable may be unplugged" + kListHint +
               ", or give the device with --device PATH.";
      return device + " does not exist: the recorder's cable is unplugged or the path is wrong" + kListHint +
             ".";
    case EIO:
      return device + " reported an input/output error: unplug the cable, plug it in again and retry.";
    case ENOTTY:
      return device + " is not a serial port.";
    case EINVAL:
      return device + " does not accept these line settings (speed, parity or stop bits).";
    default:
      return "Could not open " + device + ": " + systemText(result) + ".";
  }
}

}  // namespace recdesk::link
