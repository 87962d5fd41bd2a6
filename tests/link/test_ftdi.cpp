// The FTDI adapter link against the simulated adapter, and the divisor arithmetic.
#include <gtest/gtest.h>

#include <memory>

#include "LinkTestSupport.h"
#include "TestSupport.h"
#include "lang/Strings.h"
#include "link/FtdiChannel.h"
#include "link/SimulatedFtdiDevice.h"

namespace recdesk {
namespace {

using link::ftdiDivisor;
using link::LinkTransport;
using test::CountingLoop;
using test::kPatience;
using test::RecordingListener;

TEST(FtdiDivisor, FollowsTheBaseClockArithmetic) {
  EXPECT_EQ(ftdiDivisor(3000000), 0u);
  EXPECT_EQ(ftdiDivisor(2000000), 16385u);
  EXPECT_EQ(ftdiDivisor(1500000), 2u);
  EXPECT_EQ(ftdiDivisor(1000000), 3u);
  EXPECT_EQ(ftdiDivisor(115200), 26u);
  EXPECT_EQ(ftdiDivisor(9600), 312u + 16384u);       // 312.5: one half
  EXPECT_EQ(ftdiDivisor(292683), 10u + 2 * 16384u);  // 10.25: one quarter
  EXPECT_EQ(ftdiDivisor(296296), 10u + 3 * 16384u);  // 10.125: one eighth
  EXPECT_EQ(ftdiDivisor(277778), 11u);               // 10.8: rounds up
  EXPECT_EQ(ftdiDivisor(300300), 10u);               // 9.99: rounds up
}

TEST(FtdiDivisor, OutOfRangeSpeedsStayInsideTheDivisorFields) {
  EXPECT_EQ(ftdiDivisor(0), 16383u);
  EXPECT_EQ(ftdiDivisor(100), 16383u);  // 30,000 would spill into the fraction bits
  EXPECT_EQ(ftdiDivisor(4000000), 0u);
  EXPECT_LT(ftdiDivisor(184) & 0x3FFF, 16384u);
}

class FtdiLinkTest : public ::testing::Test {
 protected:
  std::shared_ptr<link::SimulatedFtdiDevice> device = std::make_shared<link::SimulatedFtdiDevice>();
  CountingLoop loop;
  RecordingListener listener;
  LinkTransport transport{loop, [this](int) -> std::unique_ptr<link::LinkChannel> {
                            return std::make_unique<link::FtdiChannel>([this] { return device; });
                          }};

  void SetUp() override {
    listener.link = &transport;
    test::loadEnglish();
    // Distinct texts for the adapter information lines, whatever the language library holds.
    for (int id = 57747; id <= 57751; ++id)
      if (lang::text(id).empty()) lang::strings().set(id, "text" + std::to_string(id));
  }
  std::uint32_t waiting() { return test::bytesWaiting(transport); }
  bool waitFor(const std::function<bool()>& done) { return loop.runUntil(done, kPatience); }
};

TEST_F(FtdiLinkTest, OpensTheIndexedAdapterWithTheSetUpSequenceAndSendsTheDivisorRaw) {
  ASSERT_EQ(transport.Open(1005, 115200, &listener, 2, 1), link::kOpenOk);
  EXPECT_EQ(transport.linkMode(), link::kModeFtdi);
  EXPECT_EQ(device->openedIndex(), 5);
  const std::vector<std::string> expected = {"open 5",     "reset",           "baud 115200",
                                             "line 8 2 1", "chars 10 0 32 0", "timeouts 1000 1000",
                                             "latency 2",  "chunks 4096 0",   "purge rx"};
  EXPECT_EQ(device->calls(), expected);

  EXPECT_EQ(transport.SetSpeed(2000000), 0);
  EXPECT_EQ(transport.SetSpeed(3000000), 0);
  const auto calls = device->calls();
  ASSERT_GE(calls.size(), 2u);
  EXPECT_EQ(calls[calls.size() - 2], "divisor 16385");
  EXPECT_EQ(calls.back(), "divisor 0");

  EXPECT_EQ(transport.Close(), 0);
  EXPECT_FALSE(device->isOpen());
  EXPECT_EQ(transport.linkMode(), link::kModeClosed);
}

TEST_F(FtdiLinkTest, AFailingLastSetUpCallClosesTheAdapterAgain) {
  device->failCall("chunks");
  EXPECT_EQ(transport.Open(1000, 115200, &listener), link::kOpenAdapterFailed);
  EXPECT_FALSE(transport.isOpen());
  EXPECT_FALSE(device->isOpen());
  EXPECT_EQ(device->calls().back(), "close");
  EXPECT_EQ(transport.Write(std::string_view("x")), 0u);

  // Other set-up failures are not examined; an adapter that does not open gives 6.
  auto other = std::make_shared<link::SimulatedFtdiDevice>();
  other->failCall("latency");
  device = other;
  EXPECT_EQ(transport.Open(1000, 115200, &listener), link::kOpenOk);
  transport.Close();
  device = std::make_shared<link::SimulatedFtdiDevice>();
  device->failCall("open");
  EXPECT_EQ(transport.Open(1001, 115200, &listener), link::kOpenAdapterFailed);
}

TEST_F(FtdiLinkTest, NotifiesArrivalsAsTheMaskSaysAndReadsFromTheReceiveQueue) {
  ASSERT_EQ(transport.Open(1000, 115200, &listener), link::kOpenOk);
  device->feed("before a mode");
  ASSERT_TRUE(waitFor([&] { return waiting() == 13; }));
  EXPECT_TRUE(listener.notifications.empty());
  transport.Purge();
  EXPECT_EQ(waiting(), 0u);
  EXPECT_EQ(device->calls().back(), "purge rx");  // the receive side only

  EXPECT_EQ(transport.SetNotificationMask(link::kMaskLine), 1);
  device->feed("$R5,PONG\r\n");
  ASSERT_TRUE(waitFor([&] { return listener.received == "$R5,PONG\r\n"; }));
  EXPECT_GE(listener.count(link::kLineNotification), 1);
  EXPECT_EQ(listener.count(link::kDataNotification), 0);

  transport.SetNotificationMask(link::kMaskData);
  listener.received.clear();
  device->feed(std::string(5000, 'p'));
  ASSERT_TRUE(waitFor([&] { return listener.received.size() == 5000; }));
  EXPECT_GE(listener.count(link::kDataNotification), 1);

  // Partial reads leave the rest queued.
  transport.SetNotificationMask(0);
  device->feed("abcdef");
  ASSERT_TRUE(waitFor([&] { return waiting() == 6; }));
  std::uint8_t buffer[16];
  EXPECT_EQ(transport.Read(buffer, 4), 4u);
  EXPECT_EQ(waiting(), 2u);
  EXPECT_EQ(transport.Read(buffer, sizeof buffer), 2u);
  EXPECT_EQ(std::string(reinterpret_cast<char*>(buffer), 2), "ef");

  EXPECT_EQ(transport.PacedWrite(std::string_view("$R5,PING\r\n")), 10u);
  EXPECT_EQ(device->written(), "$R5,PING\r\n");
  EXPECT_EQ(loop.slept, ports::Millis(150));
}

TEST_F(FtdiLinkTest, AnUnpluggedAdapterIsReportedOnceThenStaysSilentAndWritesReportZero) {
  ASSERT_EQ(transport.Open(1000, 115200, &listener), link::kOpenOk);
  transport.SetNotificationMask(link::kMaskLine);
  device->unplug();
  ASSERT_TRUE(waitFor([&] { return listener.count(link::kLostNotification) == 1; }));
  EXPECT_TRUE(transport.DeviceLost());
  device->feed("late\r\n");
  EXPECT_EQ(transport.Write(std::string_view("x")), 0u);
  std::uint32_t errorWord = 0;
  link::QueueStatusRecord status;
  EXPECT_FALSE(transport.QueueStatus(errorWord, status));
  EXPECT_EQ(listener.notifications.size(), 1u);  // the reader has ended
  EXPECT_EQ(transport.Close(), 0);
}

TEST_F(FtdiLinkTest, AdapterInformationTellsTheLoopBackAndTheChip) {
  ASSERT_EQ(transport.Open(1000, 115200, &listener), link::kOpenOk);
  const std::string expectFollows = lang::formatText(
      "%s\n SN: %s\n %s %s", {"Simulated FTDI adapter", "SIM00001", lang::text(57747), lang::text(57751)});
  EXPECT_EQ(transport.AdapterInformation(), expectFollows);
  const auto calls = device->calls();
  ASSERT_GE(calls.size(), 5u);
  const std::vector<std::string> tail(calls.end() - 5, calls.end());
  EXPECT_EQ(tail, (std::vector<std::string>{"rts 0", "modem", "rts 1", "info", "modem"}));
  EXPECT_EQ(loop.slept, ports::Millis(40));  // RTS settles 20 ms each way

  link::FtdiDeviceInfo bm;
  bm.type = link::kFtdiChipBM;
  bm.serialNumber = "A1";
  bm.description = "BM";
  device->setInfo(bm);
  device->setModemStatus(0x6010, 0x6010);  // clear-to-send does not follow
  EXPECT_EQ(transport.AdapterInformation(),
            lang::formatText("%s\n SN: %s\n %s %s", {"BM", "A1", lang::text(57748), lang::text(57750)}));

  device->failCall("modem");
  EXPECT_EQ(transport.AdapterInformation(), lang::text(57749));
}

}  // namespace
}  // namespace recdesk
