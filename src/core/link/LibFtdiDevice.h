#pragma once
// FTDI adapters through libftdi1, and the stable order in which they are numbered.
//
// Adapter order: every USB device of the FTDI vendor (0403), sorted by USB bus number and then by
// the chain of hub port numbers that leads to it; a chip with several serial interfaces (2232, 4232)
// counts once per interface, A first. Index i of this order is port code 1000 + i, so an index keeps
// naming the same adapter as long as it stays in the same USB socket.
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "link/FtdiDevice.h"

namespace recdesk::link {

struct FtdiAdapterInfo {
  int index = 0;
  int bus = 0;
  std::string portPath;  // "1-2.4" as the system writes it
  int interfaceNumber = 0;
  int interfaceCount = 1;
  std::uint16_t vendor = 0;
  std::uint16_t product = 0;
  std::string manufacturer;
  std::string description;
  std::string serialNumber;
  std::string problem;  // why the strings could not be read (no access…), or empty
};

// The adapters in their stable order. `error` receives a text when USB itself is not usable.
std::vector<FtdiAdapterInfo> listFtdiAdapters(std::string& error);

std::shared_ptr<FtdiDevice> makeLibFtdiDevice();

}  // namespace recdesk::link
