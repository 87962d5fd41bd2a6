// LinkTransport's own rules (dispatch, Open's last steps, paced write), the serial device order
// behind port codes, and the open-error sentences.
#include <gtest/gtest.h>

#include <cerrno>
#include <memory>

#include "LinkTestSupport.h"
#include "TestSupport.h"
#include "link/LinkTransport.h"
#include "link/QuickUsb.h"
#include "link/SerialPorts.h"

namespace recdesk {
namespace {

namespace fs = std::filesystem;
using link::LinkTransport;
using test::CountingLoop;

// A channel that records what LinkTransport asks of it.
struct FakeChannel : link::LinkChannel {
  struct Log {
    std::vector<std::string> calls;
    int openResult = link::kOpenOk;
    int modeToReport = 7;
    std::size_t acceptBytes = 1000;
  };
  explicit FakeChannel(std::shared_ptr<Log> l) : log(std::move(l)) {}
  std::shared_ptr<Log> log;

  int open(int portCode, std::uint32_t, int, int, link::ReaderContext, int& linkMode) override {
    log->calls.push_back("open " + std::to_string(portCode));
    if (log->openResult == link::kOpenOk) linkMode = log->modeToReport;
    return log->openResult;
  }
  void close() override { log->calls.push_back("close"); }
  std::size_t write(const std::uint8_t*, std::size_t count) override {
    const std::size_t n = std::min(count, log->acceptBytes);
    log->acceptBytes -= n;
    return n;
  }
  std::size_t read(std::uint8_t*, std::size_t) override { return 0; }
  bool queueStatus(std::uint32_t&, link::QueueStatusRecord&) override { return true; }
  int setNotificationMask(std::uint32_t mask) override {
    log->calls.push_back("mask " + std::to_string(mask));
    return 1;
  }
  int setSpeed(std::uint32_t) override { return 0; }
  void purge() override { log->calls.push_back("purge"); }
  std::string adapterInformation() override { return "fake"; }
};

class LinkTransportTest : public ::testing::Test {
 protected:
  CountingLoop loop;
  std::shared_ptr<FakeChannel::Log> log = std::make_shared<FakeChannel::Log>();
  int factoryCalls = 0;
  LinkTransport transport{loop, [this](int) {
                            ++factoryCalls;
                            return std::make_unique<FakeChannel>(log);
                          }};
};

TEST_F(LinkTransportTest, NoPortMeansNothingIsOpenedAndEveryOperationDoesNothing) {
  EXPECT_EQ(transport.Open(0, 115200, nullptr), link::kOpenNoPort);
  EXPECT_EQ(transport.Open(-3, 115200, nullptr), link::kOpenNoPort);
  EXPECT_EQ(factoryCalls, 0);
  EXPECT_EQ(transport.SetNotificationMask(link::kMaskLine), 0);
  EXPECT_EQ(transport.Write(std::string_view("x")), 0u);
  EXPECT_EQ(transport.PacedWrite(std::string_view("xy")), 0u);
  EXPECT_EQ(loop.slept, ports::Millis(0));
  std::uint32_t errorWord = 0;
  link::QueueStatusRecord status;
  EXPECT_FALSE(transport.QueueStatus(errorWord, status));
  EXPECT_EQ(transport.AdapterInformation(), "");
  EXPECT_EQ(transport.Close(), 0);
}

TEST_F(LinkTransportTest, OpenPurgesOnSuccessAndAlwaysEndsWithMaskZero) {
  ASSERT_EQ(transport.Open(7, 115200, nullptr), link::kOpenOk);
  EXPECT_EQ(transport.linkMode(), 7);
  EXPECT_EQ(log->calls, (std::vector<std::string>{"open 7", "purge", "mask 0"}));
  EXPECT_EQ(transport.AdapterInformation(), "fake");

  // Opening again closes the open link first.
  log->calls.clear();
  log->openResult = EACCES;
  EXPECT_EQ(transport.Open(7, 115200, nullptr), EACCES);
  EXPECT_EQ(log->calls, (std::vector<std::string>{"close", "open 7"}));
  EXPECT_FALSE(transport.isOpen());

  // A channel reporting a link mode no operation dispatches on is closed again.
  log->calls.clear();
  log->openResult = link::kOpenOk;
  log->modeToReport = 1500;
  EXPECT_EQ(transport.Open(1500, 115200, nullptr), link::kOpenAdapterFailed);
  EXPECT_EQ(log->calls, (std::vector<std::string>{"open 1500", "close"}));
  EXPECT_FALSE(transport.isOpen());
}

TEST_F(LinkTransportTest, PacedWriteStopsAtTheFirstByteNotWritten) {
  ASSERT_EQ(transport.Open(1, 115200, nullptr), link::kOpenOk);
  log->acceptBytes = 3;
  EXPECT_EQ(transport.PacedWrite(std::string_view("$R5,TYP\r\n")), 3u);
  EXPECT_EQ(loop.slept, ports::Millis(45));
}

TEST(PortKind, EveryAdapterIndexIsAnAdapter) {
  using link::PortKind;
  for (int code : {-1, 0}) EXPECT_EQ(link::portKind(code), PortKind::None) << code;
  for (int code : {1, 999}) EXPECT_EQ(link::portKind(code), PortKind::Serial) << code;
  for (int code : {1000, 1001, 1999}) {
    EXPECT_EQ(link::portKind(code), PortKind::Ftdi) << code;
    EXPECT_TRUE(link::isAdapterPort(code)) << code;
  }
  for (int code : {2000, 2003, 32767}) {
    EXPECT_EQ(link::portKind(code), PortKind::QuickUsb) << code;
    EXPECT_TRUE(link::isAdapterPort(code)) << code;
  }
  EXPECT_FALSE(link::isAdapterPort(999));
  EXPECT_FALSE(link::isAdapterPort(0));
}

TEST(SerialPorts, CodesFollowByIdNamesThenNumberedDevicesAndSkipPlaceholderPorts) {
  test::TempDir root;
  const fs::path dev = root / "dev";
  const fs::path sys = root / "sys";
  fs::create_directories(dev / "serial" / "by-id");
  for (const char* name : {"ttyUSB10", "ttyUSB2", "ttyACM0", "ttyS1", "ttyS0", "ttyUSBx", "tty5"})
    test::writeFile(dev / name, "");
  fs::create_symlink("../../ttyUSB10", dev / "serial" / "by-id" / "usb-FTDI_FT232R_USB_UART_A1-if00-port0");
  fs::create_symlink("../../ttyACM0", dev / "serial" / "by-id" / "usb-Acme_Modem-if00");
  // sysfs: ttyUSB10 sits on a USB device 0403:6001; ttyS0 is real, ttyS1 a placeholder.
  const fs::path usbDevice = sys / "devices" / "pci0" / "usb1" / "1-2";
  fs::create_directories(usbDevice / "1-2:1.0" / "ttyUSB10");
  fs::create_directories(sys / "bus" / "usb-serial" / "drivers" / "ftdi_sio");
  test::writeFile(usbDevice / "idVendor", "0403\n");
  test::writeFile(usbDevice / "idProduct", "6001\n");
  test::writeFile(usbDevice / "manufacturer", "FTDI\n");
  test::writeFile(usbDevice / "product", "FT232R USB UART\n");
  test::writeFile(usbDevice / "serial", "A1\n");
  fs::create_directories(sys / "class" / "tty" / "ttyUSB10");
  fs::create_symlink(usbDevice / "1-2:1.0" / "ttyUSB10", sys / "class" / "tty" / "ttyUSB10" / "device");
  fs::create_symlink(sys / "bus" / "usb-serial" / "drivers" / "ftdi_sio",
                     usbDevice / "1-2:1.0" / "ttyUSB10" / "driver");
  fs::create_directories(sys / "class" / "tty" / "ttyS0");
  fs::create_directories(sys / "class" / "tty" / "ttyS1");
  test::writeFile(sys / "class" / "tty" / "ttyS0" / "type", "4\n");
  test::writeFile(sys / "class" / "tty" / "ttyS1" / "type", "0\n");

  const auto devices = link::listSerialDevices(dev, sys);
  std::vector<std::string> names;
  for (const auto& d : devices) names.push_back(fs::path(d.path).filename().string());
  EXPECT_EQ(names, (std::vector<std::string>{"ttyACM0", "ttyUSB10", "ttyUSB2", "ttyS0"}));
  ASSERT_EQ(devices.size(), 4u);
  EXPECT_EQ(devices[0].byIdName, "usb-Acme_Modem-if00");
  EXPECT_EQ(devices[1].byIdName, "usb-FTDI_FT232R_USB_UART_A1-if00-port0");
  EXPECT_TRUE(devices[1].usb);
  EXPECT_EQ(devices[1].usbVendor, 0x0403);
  EXPECT_EQ(devices[1].usbProduct, 0x6001);
  EXPECT_EQ(devices[1].product, "FT232R USB UART");
  EXPECT_EQ(devices[1].serialNumber, "A1");
  EXPECT_EQ(devices[1].driver, "ftdi_sio");
  EXPECT_FALSE(devices[2].usb);

  // A configured device path serves every serial code, and only serial codes.
  const link::ChannelConfig config{"/dev/ttyRECORDER", {}};
  EXPECT_EQ(link::serialDevicePathFor(1, config), "/dev/ttyRECORDER");
  EXPECT_EQ(link::serialDevicePathFor(999, config), "/dev/ttyRECORDER");
  EXPECT_EQ(link::serialDevicePathFor(1000, config), "");
  EXPECT_EQ(link::serialDevicePathFor(0, config), "");
}

TEST(DescribeOpenError, NamesWhatTheUserCanDo) {
  EXPECT_EQ(link::describeOpenError(3, link::kOpenOk, "/dev/ttyUSB0"), "");
  const std::string denied = link::describeOpenError(1, EACCES, "/dev/null");
  EXPECT_NE(denied.find("usermod -aG"), std::string::npos);
  EXPECT_NE(denied.find("/dev/null"), std::string::npos);
  EXPECT_NE(link::describeOpenError(1, EBUSY, "/dev/ttyUSB0").find("ModemManager"), std::string::npos);
  EXPECT_NE(link::describeOpenError(1, ENOENT, "/dev/ttyUSB7").find("unplugged"), std::string::npos);
  // The same numbers mean "no port" and "adapter failed" only outside the serial codes.
  EXPECT_NE(link::describeOpenError(0, link::kOpenNoPort, "").find("No port"), std::string::npos);
  EXPECT_EQ(link::describeOpenError(5, EPERM, "/dev/ttyS4").find("No port"), std::string::npos);
  EXPECT_NE(link::describeOpenError(1002, link::kOpenAdapterFailed, "").find("FTDI adapter 2"),
            std::string::npos);
  if (!link::quickUsbLibraryAvailable()) {
    EXPECT_NE(link::describeOpenError(2000, link::kOpenAdapterFailed, "").find("libquickusb.so"),
              std::string::npos);
  }
}

}  // namespace
}  // namespace recdesk
