// The serial link over a real pseudo-terminal pair: the test plays the recorder on the master side.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <pty.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <string>
#include <thread>

#include "LinkTestSupport.h"
#include "TestSupport.h"
#include "link/LinkTransport.h"
#include "link/SerialChannel.h"
#include "link/SerialSpeed.h"

namespace recdesk {
namespace {

using link::LinkTransport;
using test::adapterInformation;
using test::pacedWrite;
using test::kPatience;
using test::RecordingListener;

struct Pty {
  int master = -1;
  int slave = -1;
  std::string path;
  Pty() {
    if (openpty(&master, &slave, nullptr, nullptr, nullptr) != 0) throw std::runtime_error("openpty failed");
    path = ttyname(slave);
  }
  ~Pty() {
    closeMaster();
    if (slave >= 0) ::close(slave);
  }
  void closeMaster() {
    if (master >= 0) ::close(master);
    master = -1;
  }
  void send(const std::string& bytes) const {
    ASSERT_EQ(::write(master, bytes.data(), bytes.size()), static_cast<ssize_t>(bytes.size()));
  }
  // What the link wrote, waiting for `count` bytes at most kPatience.
  std::string receive(std::size_t count) const {
    std::string out;
    const auto deadline = std::chrono::steady_clock::now() + kPatience;
    while (out.size() < count && std::chrono::steady_clock::now() < deadline) {
      pollfd p{master, POLLIN, 0};
      if (::poll(&p, 1, 50) <= 0) continue;
      char buffer[256];
      const ssize_t n = ::read(master, buffer, std::min(sizeof buffer, count - out.size()));
      if (n <= 0) break;
      out.append(buffer, static_cast<std::size_t>(n));
    }
    return out;
  }
};

class SerialPtyTest : public ::testing::Test {
 protected:
  Pty pty;
  ports::ThreadEventLoop loop;
  RecordingListener listener;
  LinkTransport transport{loop, link::defaultChannelFactory(link::ChannelConfig{pty.path, {}})};

  void SetUp() override { listener.link = &transport; }

  std::uint32_t waiting() { return test::bytesWaiting(transport); }
  bool waitFor(const std::function<bool()>& done) { return loop.runUntil(done, kPatience); }
};

TEST_F(SerialPtyTest, OpensWithThePortCodeAndSendsALineNotificationOnlyWhenALineEndArrives) {
  ASSERT_EQ(transport.Open(5, 115200, &listener), link::kOpenOk);
  EXPECT_EQ(transport.linkMode(), 5);
  EXPECT_EQ(adapterInformation(loop, transport), "");

  // Bytes before a mode is chosen are not notified.
  pty.send("early\r\n");
  ASSERT_TRUE(waitFor([&] { return waiting() == 7; }));
  EXPECT_TRUE(listener.notifications.empty());
  transport.Purge();

  EXPECT_EQ(transport.SetNotificationMask(link::kMaskLine), 1);
  pty.send("$R5,PO");
  pty.send("NG\r\n");
  ASSERT_TRUE(waitFor([&] { return listener.received == "$R5,PONG\r\n"; }));
  // One notification: the first piece had no line end.
  ASSERT_EQ(listener.notifications.size(), 1u);
  EXPECT_EQ(listener.notifications[0].first, link::kLineNotification);
  EXPECT_EQ(listener.notifications[0].second, 10u);
  EXPECT_EQ(listener.lastThread, std::this_thread::get_id());  // handled on the owner thread
}

TEST_F(SerialPtyTest, BlockModeNotifiesForAnyByteAndPartialReadsKeepTheRest) {
  ASSERT_EQ(transport.Open(1, 115200, &listener), link::kOpenOk);
  transport.SetNotificationMask(link::kMaskData);
  std::string block(600, '\0');
  for (std::size_t i = 0; i < block.size(); ++i) block[i] = static_cast<char>(i * 7);
  pty.send(block);
  ASSERT_TRUE(waitFor([&] { return listener.received.size() == block.size(); }));
  EXPECT_EQ(listener.received, block);
  EXPECT_EQ(listener.count(link::kLineNotification), 0);
  EXPECT_GE(listener.count(link::kDataNotification), 1);

  // Partial reads: the rest stays queued; asking for more than is queued gives what is queued.
  transport.SetNotificationMask(0);
  pty.send("abcdef");
  ASSERT_TRUE(waitFor([&] { return waiting() == 6; }));
  std::uint8_t buffer[16] = {};
  ASSERT_EQ(transport.Read(buffer, 4), 4u);
  EXPECT_EQ(std::string(reinterpret_cast<char*>(buffer), 4), "abcd");
  EXPECT_EQ(waiting(), 2u);
  ASSERT_EQ(transport.Read(buffer, sizeof buffer), 2u);
  EXPECT_EQ(std::string(reinterpret_cast<char*>(buffer), 2), "ef");
  EXPECT_EQ(transport.Read(buffer, sizeof buffer), 0u);
}

TEST_F(SerialPtyTest, PacedWriteSendsEveryByteFromTheLoopsTimer) {
  ASSERT_EQ(transport.Open(1, 115200, &listener), link::kOpenOk);
  const std::string line = "$R5,PING\r\n";
  EXPECT_EQ(pacedWrite(loop, transport, line), line.size());
  EXPECT_EQ(pty.receive(line.size()), line);
  EXPECT_EQ(transport.Write(std::string_view("n")), 1u);
  EXPECT_EQ(pty.receive(1), "n");
}

// The purge before every line drops unread input only: the previous line's bytes, written but not
// yet taken by a slow recorder, still reach it whole.
TEST_F(SerialPtyTest, PurgeDropsWhatWaitsButNotWhatWasSent) {
  ASSERT_EQ(transport.Open(1, 115200, &listener), link::kOpenOk);
  pty.send("stale bytes");
  ASSERT_TRUE(waitFor([&] { return waiting() == 11; }));
  EXPECT_EQ(transport.Write(std::string_view("$R5,HSP,ON\r\n")), 12u);
  transport.Purge();
  EXPECT_EQ(waiting(), 0u);
  EXPECT_EQ(pty.receive(12), "$R5,HSP,ON\r\n");
  transport.SetNotificationMask(link::kMaskLine);
  pty.send("fresh\r\n");
  ASSERT_TRUE(waitFor([&] { return !listener.received.empty(); }));
  EXPECT_EQ(listener.received, "fresh\r\n");
}

TEST_F(SerialPtyTest, FastSpeedsGoThroughTheFreeBitRate) {
  ASSERT_EQ(transport.Open(1, 2000000, &listener), link::kOpenOk);
  std::uint32_t speed = 0;
  ASSERT_EQ(link::serial::readFreeSpeed(pty.slave, speed), 0);
  EXPECT_EQ(speed, 2000000u);
  EXPECT_EQ(transport.SetSpeed(3000000), 0);
  ASSERT_EQ(link::serial::readFreeSpeed(pty.slave, speed), 0);
  EXPECT_EQ(speed, 3000000u);
  EXPECT_EQ(transport.SetSpeed(115200), 0);
  ASSERT_EQ(link::serial::readFreeSpeed(pty.slave, speed), 0);
  EXPECT_EQ(speed, 115200u);
}

TEST_F(SerialPtyTest, CloseEndsAWaitingReaderAndWorksFromInsideANotification) {
  ASSERT_EQ(transport.Open(1, 115200, &listener), link::kOpenOk);
  transport.SetNotificationMask(link::kMaskLine);
  EXPECT_EQ(transport.Close(), 0);
  EXPECT_FALSE(transport.isOpen());
  EXPECT_EQ(transport.Close(), 0);
  EXPECT_EQ(transport.SetNotificationMask(link::kMaskLine), 0);

  // The owner closes and reopens the link while handling a notification (a lost reply, say).
  struct Reopener : link::LinkListener {
    LinkTransport* link = nullptr;
    int notifications = 0;
    int reopenResult = -1;
    void onLinkNotification(int, std::size_t) override {
      if (++notifications > 1) return;
      link->Close();
      reopenResult = link->Open(1, 115200, this);
      link->SetNotificationMask(link::kMaskLine);
    }
  } reopener;
  reopener.link = &transport;
  ASSERT_EQ(transport.Open(1, 115200, &reopener), link::kOpenOk);
  transport.SetNotificationMask(link::kMaskLine);
  pty.send("first\r\n");
  ASSERT_TRUE(waitFor([&] { return reopener.notifications == 1; }));
  EXPECT_EQ(reopener.reopenResult, link::kOpenOk);  // the port was free again at once
  pty.send("second\r\n");
  ASSERT_TRUE(waitFor([&] { return reopener.notifications == 2; }));
}

TEST_F(SerialPtyTest, UnplugIsReportedOnceAndWriteReportsTheLoss) {
  ASSERT_EQ(transport.Open(1, 115200, &listener), link::kOpenOk);
  transport.SetNotificationMask(link::kMaskLine);
  pty.send("$R5,PONG\r\n");
  ASSERT_TRUE(waitFor([&] { return !listener.received.empty(); }));

  pty.closeMaster();  // the cable is pulled
  ASSERT_TRUE(waitFor([&] { return listener.count(link::kLostNotification) == 1; }));
  EXPECT_TRUE(transport.DeviceLost());
  EXPECT_EQ(pacedWrite(loop, transport, "$R5,PING\r\n"), 0u);
  EXPECT_EQ(transport.Write(std::string_view("x")), 0u);
  std::uint8_t buffer[8];
  EXPECT_EQ(transport.Read(buffer, sizeof buffer), 0u);
  EXPECT_EQ(listener.notifications.size(), 2u);  // the line, then the loss
  EXPECT_EQ(listener.notifications.back().first, link::kLostNotification);
  EXPECT_EQ(transport.Close(), 0);
}

TEST_F(SerialPtyTest, AReaderFasterThanTheOwnerIsHeldBackWithoutLoss) {
  ASSERT_EQ(transport.Open(1, 115200, &listener), link::kOpenOk);
  const std::size_t total = link::SerialChannel::kReceiveCapacity + 300000;
  std::string pattern(total, '\0');
  for (std::size_t i = 0; i < total; ++i) pattern[i] = static_cast<char>((i * 131) >> 3);
  std::thread recorder([&] {
    std::size_t sent = 0;
    while (sent < total) {
      const ssize_t n =
          ::write(pty.master, pattern.data() + sent, std::min<std::size_t>(65536, total - sent));
      if (n <= 0) break;
      sent += static_cast<std::size_t>(n);
    }
  });
  // Nobody reads: the queue fills up to its bound and no further.
  ASSERT_TRUE(waitFor([&] { return waiting() == link::SerialChannel::kReceiveCapacity; }));
  std::string got;
  std::vector<std::uint8_t> buffer(70000);
  waitFor([&] {
    EXPECT_LE(waiting(), link::SerialChannel::kReceiveCapacity);
    const std::size_t n = transport.Read(buffer.data(), buffer.size());
    got.append(reinterpret_cast<const char*>(buffer.data()), n);
    return got.size() >= total;
  });
  recorder.join();
  ASSERT_EQ(got.size(), total);
  EXPECT_TRUE(got == pattern);
}

TEST(SerialOpen, ReportsTheSystemErrorForMissingBusyAndNonSerialDevices) {
  test::TempDir dir;
  ports::ThreadEventLoop loop;
  RecordingListener listener;
  auto openPath = [&](const std::string& path) {
    LinkTransport transport(loop, link::defaultChannelFactory(link::ChannelConfig{path, {}}));
    const int result = transport.Open(3, 115200, &listener);
    EXPECT_EQ(transport.isOpen(), result == link::kOpenOk);
    return result;
  };
  EXPECT_EQ(openPath((dir / "ttyUSB9").string()), ENOENT);
  test::writeFile(dir / "plain", "not a terminal");
  EXPECT_EQ(openPath((dir / "plain").string()), ENOTTY);

  Pty pty;
  LinkTransport first(loop, link::defaultChannelFactory(link::ChannelConfig{pty.path, {}}));
  ASSERT_EQ(first.Open(1, 115200, &listener), link::kOpenOk);
  EXPECT_EQ(openPath(pty.path), EBUSY);  // not shared
  EXPECT_EQ(openPath(pty.path), EBUSY);
  first.Close();
  EXPECT_EQ(openPath(pty.path), link::kOpenOk);

  // Bad line settings are refused by the settings step, and the port is closed again.
  LinkTransport odd(loop, link::defaultChannelFactory(link::ChannelConfig{pty.path, {}}));
  EXPECT_EQ(odd.Open(1, 115200, &listener, 1 /* one and a half stop bits */, 0), EINVAL);
  EXPECT_EQ(odd.Open(1, 115200, &listener, 0, 9), EINVAL);
  EXPECT_EQ(odd.Open(1, 115200, &listener, 2, 2), link::kOpenOk);
}

}  // namespace
}  // namespace recdesk
