#pragma once
// What a port code names. The setting "Port" is one signed number: 0 or less no link, 1..999 a
// serial port, 1000..1999 an FTDI adapter (device index code - 1000; the second interface of a dual
// chip is just the next index), 2000 and more a QuickUSB module (index code - 2000).
//
// Every decision that depends on the kind of link (speed agreement, speed cycling, the waiting text,
// the download's repeat limit) asks here, never compares the code with 1000 or 2000 itself: an
// adapter at index 1 is as much an adapter as the one at index 0.
namespace recdesk::link {

inline constexpr int kFirstFtdiPort = 1000;
inline constexpr int kFirstQuickUsbPort = 2000;

enum class PortKind { None, Serial, Ftdi, QuickUsb };

constexpr PortKind portKind(int portCode) {
  if (portCode < 1) return PortKind::None;
  if (portCode < kFirstFtdiPort) return PortKind::Serial;
  if (portCode < kFirstQuickUsbPort) return PortKind::Ftdi;
  return PortKind::QuickUsb;
}

constexpr bool isSerialPort(int portCode) { return portKind(portCode) == PortKind::Serial; }
constexpr bool isFtdiPort(int portCode) { return portKind(portCode) == PortKind::Ftdi; }
constexpr bool isQuickUsbPort(int portCode) { return portKind(portCode) == PortKind::QuickUsb; }
// A USB adapter of either kind: the link speed is agreed with the recorder and set on the adapter.
constexpr bool isAdapterPort(int portCode) { return isFtdiPort(portCode) || isQuickUsbPort(portCode); }

}  // namespace recdesk::link
