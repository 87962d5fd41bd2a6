#pragma once
// The serial devices of this machine and the port codes that name them.
//
// Linux has no "COM n", so a serial port code n (1..999) names entry n of this list, built in a
// stable order so that a code keeps meaning the same device from run to run:
//   1. the devices that have a name below /dev/serial/by-id/ (USB adapters: the name carries the
//      maker, product and serial number), sorted by that name;
//   2. the remaining /dev/ttyUSB*, then /dev/ttyACM*, then the /dev/ttyS* ports that really exist
//      (the kernel reports a known port type for them), each in number order.
// A device that appears in several places is listed once. `--device PATH` (ChannelConfig::
// serialDevicePath) bypasses the list.
#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace recdesk::link {

struct SerialDeviceInfo {
  std::string path;      // the device, e.g. /dev/ttyUSB0
  std::string byIdName;  // its name below /dev/serial/by-id, or empty
  std::string driver;    // kernel driver from sysfs (ftdi_sio, cdc_acm, serial8250…), or empty
  bool usb = false;      // the system names a USB device behind it
  std::uint16_t usbVendor = 0;
  std::uint16_t usbProduct = 0;
  std::string manufacturer;  // USB strings, when the system tells
  std::string product;
  std::string serialNumber;
};

// `devRoot` and `sysRoot` are "/dev" and "/sys" except in tests.
std::vector<SerialDeviceInfo> listSerialDevices(const std::filesystem::path& devRoot = "/dev",
                                                const std::filesystem::path& sysRoot = "/sys");

}  // namespace recdesk::link
