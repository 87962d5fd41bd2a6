// recdesk-cli ports: the serial devices, FTDI adapters and QuickUSB modules this computer offers,
// each with the port code that opens it.
#include <cstdio>
#include <iostream>
#include <string>

#include "Cli.h"
#include "link/LibFtdiDevice.h"
#include "link/LinkTransport.h"
#include "link/QuickUsb.h"
#include "link/SerialPorts.h"

namespace recdesk::cli {
namespace {

std::string hex4(std::uint16_t value) {
  char buffer[8];
  std::snprintf(buffer, sizeof buffer, "%04x", value);
  return buffer;
}

void listSerial() {
  std::cout << "Serial ports (port codes 1-999):\n";
  const auto devices = link::listSerialDevices();
  if (devices.empty()) std::cout << "  none found\n";
  for (std::size_t i = 0; i < devices.size(); ++i) {
    const auto& d = devices[i];
    std::cout << "  " << (i + 1) << "  " << d.path;
    if (!d.byIdName.empty()) std::cout << "  (by-id: " << d.byIdName << ")";
    if (d.usb) {
      std::cout << "  USB " << hex4(d.usbVendor) << ":" << hex4(d.usbProduct);
      if (!d.manufacturer.empty()) std::cout << " " << d.manufacturer;
      if (!d.product.empty()) std::cout << " " << d.product;
      if (!d.serialNumber.empty()) std::cout << " SN " << d.serialNumber;
    }
    if (!d.driver.empty()) std::cout << "  [" << d.driver << "]";
    std::cout << "\n";
  }
}

void listFtdi() {
  std::cout << "FTDI adapters through libftdi (port codes 1000+):\n";
  std::string error;
  const auto adapters = link::listFtdiAdapters(error);
  if (!error.empty()) {
    std::cout << "  " << error << "\n";
    return;
  }
  if (adapters.empty()) std::cout << "  none found\n";
  for (const auto& a : adapters) {
    std::cout << "  " << (link::kModeFtdi + a.index) << "  USB " << a.portPath;
    if (a.interfaceCount > 1) std::cout << " interface " << static_cast<char>('A' + a.interfaceNumber);
    std::cout << "  " << hex4(a.vendor) << ":" << hex4(a.product);
    if (!a.manufacturer.empty()) std::cout << " " << a.manufacturer;
    if (!a.description.empty()) std::cout << " " << a.description;
    if (!a.serialNumber.empty()) std::cout << " SN " << a.serialNumber;
    if (!a.problem.empty())
      std::cout << "  (cannot be opened: " << a.problem << "; see Troubleshooting in the README)";
    std::cout << "\n";
  }
}

void listQuickUsb() {
  std::cout << "QuickUSB modules (port codes 2000+):\n";
  std::string error;
  auto api = link::loadQuickUsbLibrary({}, error);
  if (!api) {
    std::cout << "  " << error << "\n";
    return;
  }
  const auto names = link::quickUsbModuleNames(*api);
  if (names.empty()) std::cout << "  none found\n";
  for (std::size_t i = 0; i < names.size(); ++i)
    std::cout << "  " << (link::kModeQuickUsb + static_cast<int>(i)) << "  " << names[i] << "\n";
}

int runPorts(CliContext& context) {
  listSerial();
  if (context.devicePath)
    std::cout << "  (--device " << *context.devicePath << " replaces this list for every serial port code)\n";
  listFtdi();
  listQuickUsb();
  return kExitOk;
}

}  // namespace

RECDESK_CLI_COMMAND(
    "ports", "list the serial ports, FTDI adapters and QuickUSB modules with the port codes that open them",
    runPorts);

}  // namespace recdesk::cli
