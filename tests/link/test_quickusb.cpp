// The QuickUSB module link: block unpacking (including blocks whose lengths lie), the receive ring,
// the adapter commands, and the missing vendor library.
#include <gtest/gtest.h>

#include <memory>
#include <vector>

#include "LinkTestSupport.h"
#include "link/QuickUsbChannel.h"
#include "link/SimulatedQuickUsb.h"

namespace recdesk {
namespace {

using link::kQuickUsbSlotSize;
using link::LinkTransport;
using link::unpackQuickUsbBlock;
using test::CountingLoop;
using test::kPatience;
using test::RecordingListener;

// A slot as the module fills it: kind, plain length, then the data area bytes given.
std::vector<std::uint8_t> slotWith(std::uint8_t kind, std::size_t plainLength, const std::string& data) {
  std::vector<std::uint8_t> slot(kQuickUsbSlotSize, 0xEE);
  slot[0] = 0;
  slot[1] = kind;
  slot[2] = static_cast<std::uint8_t>(plainLength & 0xFF);
  slot[3] = static_cast<std::uint8_t>(plainLength >> 8);
  std::copy(data.begin(), data.end(), slot.begin() + 4);
  return slot;
}

std::string packet(const std::string& payload) {
  std::string p = {'\x80', '\x01', static_cast<char>(payload.size() & 0xFF),
                   static_cast<char>(payload.size() >> 8)};
  return p + payload;
}

std::string dataOf(const std::vector<std::uint8_t>& slot, std::size_t length) {
  return std::string(slot.begin() + 4, slot.begin() + 4 + static_cast<std::ptrdiff_t>(length));
}

TEST(QuickUsbUnpack, MovesPacketPayloadsBehindThePlainBytes) {
  const std::string body = "plain" + packet("AB") + packet("") + packet("CDE");
  auto slot = slotWith(1, 5, body);
  const auto length = unpackQuickUsbBlock(slot.data(), slot.size(), 4 + body.size());
  ASSERT_TRUE(length);
  EXPECT_EQ(dataOf(slot, *length), "plainABCDE");

  // Only packets; and plain bytes only (stale bytes after the block are not taken for packets).
  const std::string packets = packet("xyz") + packet("0123456789");
  slot = slotWith(1, 0, packets);
  ASSERT_EQ(unpackQuickUsbBlock(slot.data(), slot.size(), 4 + packets.size()), 13u);
  EXPECT_EQ(dataOf(slot, 13), "xyz0123456789");
  slot = slotWith(1, 3, "abc" + packet("stale"));
  EXPECT_EQ(unpackQuickUsbBlock(slot.data(), slot.size(), 4 + 3), 3u);
}

TEST(QuickUsbUnpack, DropsBlocksThatAreNotDataOrWhoseLengthsLie) {
  auto slot = slotWith(2, 3, "abc");
  EXPECT_FALSE(unpackQuickUsbBlock(slot.data(), slot.size(), 7));  // not a data block
  slot = slotWith(1, 500, "only ten b");
  EXPECT_FALSE(unpackQuickUsbBlock(slot.data(), slot.size(), 14));  // claims 500 plain bytes
  slot = slotWith(1, 65535, "");
  EXPECT_FALSE(unpackQuickUsbBlock(slot.data(), slot.size(), 4 + 100));  // the largest claim, 100 came
  slot = slotWith(1, 0, "");
  EXPECT_FALSE(unpackQuickUsbBlock(slot.data(), slot.size(), 3));  // shorter than its header
  EXPECT_FALSE(unpackQuickUsbBlock(nullptr, 0, 100));
}

TEST(QuickUsbUnpack, APacketRunningPastTheBlockIsDroppedNotCopied) {
  // The second packet claims 60,000 bytes but 5 came: it and everything after it are dropped.
  const std::string body = "ok" + packet("good") + std::string("\x80\x01\x60\xEA", 4) + "short";
  auto slot = slotWith(1, 2, body);
  const auto length = unpackQuickUsbBlock(slot.data(), slot.size(), 4 + body.size());
  ASSERT_TRUE(length);
  EXPECT_EQ(dataOf(slot, *length), "okgood");

  // A module that reports more bytes than the slot holds is held to the slot.
  std::string full(link::kQuickUsbDataArea - 4, 'z');
  slot = slotWith(1, 0, std::string("\x80\x01\xFC\xFF", 4) + full);  // exactly fills the data area
  const auto clamped = unpackQuickUsbBlock(slot.data(), slot.size(), 10 * kQuickUsbSlotSize);
  ASSERT_TRUE(clamped);
  EXPECT_EQ(*clamped, link::kQuickUsbDataArea - 4);
  slot = slotWith(1, 0, std::string("\x80\x01\xFD\xFF", 4) + full);  // one byte more than fits
  EXPECT_EQ(unpackQuickUsbBlock(slot.data(), slot.size(), 10 * kQuickUsbSlotSize), 0u);
}

class QuickUsbLinkTest : public ::testing::Test {
 protected:
  std::shared_ptr<link::SimulatedQuickUsb> module =
      std::make_shared<link::SimulatedQuickUsb>(std::vector<std::string>{"QUSB-A", "QUSB-B"});
  CountingLoop loop;
  RecordingListener listener;
  LinkTransport transport{loop, [this](int) -> std::unique_ptr<link::LinkChannel> {
                            return std::make_unique<link::QuickUsbChannel>(module);
                          }};

  void SetUp() override { listener.link = &transport; }
  std::uint32_t waiting() { return test::bytesWaiting(transport); }
  bool waitFor(const std::function<bool()>& done) { return loop.runUntil(done, kPatience); }
};

TEST_F(QuickUsbLinkTest, OpensTheListedModuleAndSetsTheAdapterUp) {
  ASSERT_EQ(transport.Open(2001, 2000000, &listener), link::kOpenOk);
  EXPECT_EQ(transport.linkMode(), link::kModeQuickUsb);
  EXPECT_EQ(module->openedName(), "QUSB-B");
  EXPECT_EQ(module->timeout(), 5000u);
  EXPECT_EQ(module->rs232Baud(), 115200u);
  const std::vector<std::string> expected = {"$KDC,,BDR,2000000\r\n", "$KDC,,LAT,2000\r\n",
                                             "$KDC,,CHR,8,78,1\r\n", "$KDC,,TXS,528\r\n", "$KDC,,PUR\r\n"};
  EXPECT_EQ(module->commands(), expected);
  EXPECT_EQ(module->rs232BytesUnread(), 0);  // every reply was read and put aside
  EXPECT_EQ(loop.slept, ports::Millis(4 * 20 + 500 + 100));
  EXPECT_EQ(transport.AdapterInformation(), "No information available for Vantle2 Device.");

  EXPECT_EQ(transport.SetSpeed(3000000), 0);
  EXPECT_EQ(module->commands().back(), "$KDC,,BDR,3000000\r\n");
  EXPECT_EQ(transport.Write(std::string_view("n")), 1u);
  EXPECT_EQ(module->written(), "n");
  module->setFailWrite(true);
  EXPECT_EQ(transport.Write(std::string_view("r")), 0u);

  EXPECT_EQ(transport.Close(), 0);
  EXPECT_FALSE(module->isOpen());
  EXPECT_EQ(module->closeCount(), 1);
}

TEST_F(QuickUsbLinkTest, ModulesThatAreMissingOrRefuseGiveSix) {
  EXPECT_EQ(transport.Open(2002, 115200, &listener), link::kOpenAdapterFailed);
  module->setFailOpen(true);
  EXPECT_EQ(transport.Open(2000, 115200, &listener), link::kOpenAdapterFailed);
  EXPECT_FALSE(transport.isOpen());

  LinkTransport withoutLibrary(loop, link::defaultChannelFactory({{}, "/nonexistent/libquickusb.so"}));
  EXPECT_EQ(withoutLibrary.Open(2000, 115200, &listener), link::kOpenAdapterFailed);
  std::string error;
  EXPECT_FALSE(link::loadQuickUsbLibrary("/nonexistent/libquickusb.so", error));
  EXPECT_NE(error.find(link::kQuickUsbMissingText), std::string::npos);
  // A library that is there but is not the vendor's is refused by name of the missing call.
  EXPECT_FALSE(link::loadQuickUsbLibrary("libc.so.6", error));
  EXPECT_NE(error.find("QuickUsbFindModules"), std::string::npos);
}

TEST_F(QuickUsbLinkTest, DeliversUnpackedBlocksAndSkipsBadOnes) {
  ASSERT_EQ(transport.Open(2000, 115200, &listener), link::kOpenOk);
  transport.SetNotificationMask(link::kMaskLine);
  module->queueBlock({0, 7, 3, 0, 'b', 'a', 'd'});        // not a data block
  module->queueBlock({0, 1, 0xF4, 0x01, 'l', 'i', 'e'});  // claims 500 bytes
  module->queueDataBlock("$R5,PO", {"NG", "\r\n"});
  ASSERT_TRUE(waitFor([&] { return listener.received == "$R5,PONG\r\n"; }));
  ASSERT_EQ(listener.notifications.size(), 1u);
  EXPECT_EQ(listener.notifications[0], std::make_pair(link::kLineNotification, std::size_t{10}));

  transport.SetNotificationMask(link::kMaskData);
  listener.received.clear();
  module->queueDataBlock(std::string(3000, 'd'));
  ASSERT_TRUE(waitFor([&] { return listener.received.size() == 3000; }));
  EXPECT_EQ(listener.count(link::kDataNotification), 1);
}

TEST_F(QuickUsbLinkTest, APartialReadKeepsTheRestInTheSameSlotAndTheRingNeverOverwrites) {
  ASSERT_EQ(transport.Open(2000, 115200, &listener), link::kOpenOk);
  module->queueDataBlock("abcdefgh");
  ASSERT_TRUE(waitFor([&] { return waiting() == 8; }));
  std::uint8_t buffer[64];
  ASSERT_EQ(transport.Read(buffer, 3), 3u);
  EXPECT_EQ(std::string(reinterpret_cast<char*>(buffer), 3), "abc");
  EXPECT_EQ(waiting(), 5u);
  ASSERT_EQ(transport.Read(buffer, sizeof buffer), 5u);
  EXPECT_EQ(std::string(reinterpret_cast<char*>(buffer), 5), "defgh");

  // More blocks than slots while nobody reads: the reader waits for room; nothing is lost or reordered.
  for (int i = 0; i < 12; ++i) module->queueDataBlock("block" + std::to_string(i) + ";");
  ASSERT_TRUE(waitFor([&] { return waiting() != 0; }));
  std::string got;
  waitFor([&] {
    const std::size_t n = transport.Read(buffer, sizeof buffer);
    got.append(reinterpret_cast<char*>(buffer), n);
    return got.size() >= 12 * 7 + 2;
  });
  std::string expected;
  for (int i = 0; i < 12; ++i) expected += "block" + std::to_string(i) + ";";
  EXPECT_EQ(got, expected);

  // With the ring empty a read asks the module directly; nothing waits, so nothing comes.
  EXPECT_EQ(transport.Read(buffer, 4), 0u);
}

TEST_F(QuickUsbLinkTest, AnUnpluggedModuleIsReportedLost) {
  ASSERT_EQ(transport.Open(2000, 115200, &listener), link::kOpenOk);
  transport.SetNotificationMask(link::kMaskLine);
  module->unplug();
  ASSERT_TRUE(waitFor([&] { return listener.count(link::kLostNotification) == 1; }));
  EXPECT_TRUE(transport.DeviceLost());
  EXPECT_EQ(transport.PacedWrite(std::string_view("$R5,PING\r\n")), 0u);
  EXPECT_EQ(listener.notifications.size(), 1u);
  EXPECT_EQ(transport.Close(), 0);
}

}  // namespace
}  // namespace recdesk
