// A session over the real serial link and its reader thread, on a pseudo-terminal whose far end the
// test holds: the device going away is noticed from the reader alone.
#include <fcntl.h>
#include <gtest/gtest.h>

#include "HostProbe.h"
#include <unistd.h>

#include <cstdlib>
#include <string>

#include "TestSupport.h"
#include "app/Settings.h"
#include "lang/Strings.h"
#include "link/LinkTransport.h"
#include "ports/ThreadEventLoop.h"
#include "session/Host.h"
#include "session/SessionServices.h"

using namespace recdesk;

namespace {

constexpr ports::Millis kPatience{5000};

// The recorder's end of a pseudo-terminal; the host opens the other end by its path.
struct FarEnd {
  int fd = -1;
  std::string path;
  FarEnd() {
    fd = ::posix_openpt(O_RDWR | O_NOCTTY);
    if (fd >= 0 && ::grantpt(fd) == 0 && ::unlockpt(fd) == 0)
      if (const char* name = ::ptsname(fd)) path = name;
  }
  ~FarEnd() { pull(); }
  void pull() {
    if (fd >= 0) ::close(fd);
    fd = -1;
  }
};

}  // namespace

TEST(SerialSession, PullingTheDeviceWhileNothingIsWrittenLosesTheLinkAtOnce) {
  test::loadEnglish();
  FarEnd far;
  ASSERT_FALSE(far.path.empty());
  ports::ThreadEventLoop loop;
  test::FakeUi ui;
  app::Settings settings;
  settings.port = 1;
  link::ChannelConfig config;
  config.serialDevicePath = far.path;
  session::Host host(loop, link::defaultChannelFactory(config), ui, settings);
  std::string logText;
  host.setLogSink([&](const std::string& text) { logText += text; });

  host.connectAttempt();
  ASSERT_TRUE(host.linkOpen()) << host.lastOpenResult();
  // As while the recorder records: no ping and no reply wait, so no write finds the loss.
  host.stopKeepAliveAndReplyWait();

  far.pull();
  ASSERT_TRUE(loop.runUntil([&] { return !host.linkOpen(); }, kPatience));
  EXPECT_NE(logText.find(lang::text(57791)), std::string::npos);
  EXPECT_TRUE(loop.timerActive(session::kTimerConnectRetry));
  host.shutdown(false);
}
