// Sessions over a link that fails or misbehaves, in virtual time: a link lost in the middle of a
// chunk, reconnecting after a loss, a device that is unplugged while nothing is written, speed
// confirmations that cannot be used, every adapter index, and device text that carries control
// characters.
#include <gtest/gtest.h>

#include "HostProbe.h"

#include <algorithm>

#include "SessionRig.h"
#include "link/LinkTransport.h"
#include "session/SessionServices.h"

using namespace recdesk;
using namespace recdesk::test;
using namespace std::chrono_literals;
using session::DeviceVariant;

namespace {

bool contains(const std::vector<std::string>& lines, const std::string& line) {
  return std::find(lines.begin(), lines.end(), line) != lines.end();
}

// Every control character or byte outside printable ASCII other than the line ends.
bool hasRawControl(const std::string& text) {
  return std::any_of(text.begin(), text.end(), [](char ch) {
    const auto c = static_cast<unsigned char>(ch);
    return (c < 0x20 && c != '\r' && c != '\n') || c == 0x7F || c == 0x1B;
  });
}

}  // namespace

// ---- a link that closes while lines are still waiting ---------------------------------------------------

TEST(LinkFaults, LinesAfterTheLinkWasLostInTheSameChunkAreNotDispatched) {
  Rig rig;
  ASSERT_TRUE(rig.connect());
  // The version reply makes the host send the list query, which finds the cable gone. The presence
  // line behind it in the same chunk came over the lost link.
  rig.wire->faults().failWritesAfterBytes = 0;
  rig.device->sendBytes("$R5,ACK,VER,R5 1.2.0f\r\n$R5,PONG,0,1\r\n");
  rig.loop.runFor(20ms);  // the failed line ends 15 ms after its first byte
  EXPECT_FALSE(rig.host->linkOpen());
  EXPECT_FALSE(rig.host->flags().recorderConnected);
  EXPECT_FALSE(rig.host->flags().sessionRunning);
  EXPECT_EQ(rig.countLog("<57924>"), 1u);  // established once, at the first connect only

  // Plugged in again: the next attempt runs the whole connection, the version query included.
  rig.wire->faults().unplugged = false;
  rig.wire->faults().failWritesAfterBytes = -1;
  const auto mark = rig.wire->trace().size();
  ASSERT_TRUE(rig.loop.runUntil([&] { return rig.host->info().chainComplete; }, 10s));
  EXPECT_TRUE(contains(rig.linesSent(mark), "$R5,VER\r\n"));
}

TEST(LinkFaults, AConnectAttemptStartsAFreshSessionAfterTheLinkWasClosed) {
  Rig rig;
  ASSERT_TRUE(rig.connect());
  // The front end closes and reopens the link (a port change) without a session reset in between.
  rig.host->closeLink();
  ASSERT_TRUE(rig.host->flags().recorderConnected);
  const auto mark = rig.wire->trace().size();
  session::HostProbe::info(*rig.host).chainComplete = false;
  rig.host->connectAttempt();
  EXPECT_FALSE(rig.host->flags().recorderConnected);
  ASSERT_TRUE(rig.loop.runUntil([&] { return rig.host->info().chainComplete; }, 10s));
  const auto sent = withoutPings(rig.linesSent(mark));
  ASSERT_GE(sent.size(), 3u);
  EXPECT_EQ(sent[0], "\r\n");
  EXPECT_EQ(sent[1], "$R5,HSP,ON\r\n");
  EXPECT_EQ(sent[2], "$R5,VER\r\n");
}

TEST(LinkFaults, APartialLineFromBeforeTheLossDoesNotPrefixTheFirstPresenceLine) {
  Rig rig({}, 1000, 115200);  // the adapter hands over bytes as they come, line end or not
  ASSERT_TRUE(rig.connect());
  rig.device->sendBytes("$R5,ACK,LE");  // cut off by the loss
  rig.loop.runFor(10ms);
  ASSERT_EQ(session::HostProbe::pendingInput(*rig.host), "$R5,ACK,LE");
  rig.host->closeLink();

  // A reduced recorder in test mode answers on the new link.
  rig.device->config().model = sim::Model::R5U;
  rig.device->config().subModel = 9;
  rig.device->config().testMode = true;
  session::HostProbe::info(*rig.host).chainComplete = false;
  rig.host->connectAttempt();
  ASSERT_TRUE(rig.loop.runUntil([&] { return rig.host->info().chainComplete; }, 10s));
  EXPECT_EQ(rig.host->info().variant, DeviceVariant::Reduced);
  EXPECT_EQ(rig.host->info().subModel, 9);
  EXPECT_TRUE(rig.host->flags().testMode);
  EXPECT_EQ(rig.findLog("LE$R5"), -1);
}

// ---- a device that goes away while nothing is written -----------------------------------------------------

TEST(LinkFaults, AnUnpluggedRecorderIsNoticedAtOnceWhileNothingIsWritten) {
  // Recording or formatting: the session writes nothing (no keep-alive) for as long as that lasts.
  for (const bool recording : {true, false}) {
    Rig rig;
    ASSERT_TRUE(rig.connect());
    if (recording) {
      rig.host->commandRecordOn();
      ASSERT_TRUE(rig.loop.runUntil([&] { return rig.host->flags().recording; }, 2s));
    } else {
      // A format of a large flash: started, its end a long way off.
      rig.device->addCommand("FMT", [](sim::SimRecorder& d, const std::string&, const std::vector<std::string>&) {
        d.sendLine("$R5,ACK,FMT,START");
      });
      rig.ui.answers = {ports::Answer::Yes, ports::Answer::Yes};
      ASSERT_TRUE(rig.host->commandFormat());
      ASSERT_TRUE(rig.loop.runUntil([&] { return rig.host->flags().maintenance; }, 2s));
    }
    test::LossCountingTransfer transfer;
    rig.host->setActiveTransfer(&transfer);
    rig.loop.runFor(3s);
    ASSERT_TRUE(rig.host->linkOpen());
    const int resets = rig.resets;

    rig.wire->unplug();
    rig.loop.runFor(1ms);
    EXPECT_FALSE(rig.host->linkOpen()) << recording;
    EXPECT_FALSE(rig.host->flags().recorderConnected);
    EXPECT_EQ(rig.resets, resets + 1);
    EXPECT_EQ(transfer.lost, 1);
    EXPECT_NE(rig.logText().find("<57791>\r\n<57792>\r\n"), std::string::npos);
    ASSERT_FALSE(rig.ui.statuses.empty());
    EXPECT_EQ(rig.ui.statuses.back(), "<57762>");
    EXPECT_TRUE(rig.loop.timerActive(session::kTimerConnectRetry));
    rig.host->setActiveTransfer(nullptr);

    // Plugged in again: found on the next attempt.
    rig.wire->faults().unplugged = false;
    session::HostProbe::info(*rig.host).chainComplete = false;
    ASSERT_TRUE(rig.loop.runUntil([&] { return rig.host->info().chainComplete; }, 10s));
  }
}

// ---- speed confirmations that cannot be used ------------------------------------------------------------

TEST(LinkFaults, AnUnusableSpeedConfirmationStillSendsTheVersionQueryAtTheCurrentSpeed) {
  for (const std::string answer : {"0", "fast", "4000000", ""}) {
    Rig rig({}, 1000, 3000000);
    rig.device->addCommand("COM", [answer](sim::SimRecorder& d, const std::string&, const std::vector<std::string>&) {
      d.sendLine("$R5,ACK,COM," + answer);
    });
    rig.host->connectAttempt();
    ASSERT_TRUE(rig.loop.runUntil([&] { return rig.host->info().chainComplete; }, 10s)) << answer;
    EXPECT_TRUE(rig.hostSpeeds().empty()) << answer;  // the adapter stays at 115200
    EXPECT_EQ(rig.host->info().linkSpeed, 115200u);
    const auto sent = withoutPings(rig.linesSent());
    const auto com = std::find(sent.begin(), sent.end(), "$R5,COM,3000000\r\n");
    ASSERT_NE(com, sent.end());
    ASSERT_NE(com + 1, sent.end());
    EXPECT_EQ(*(com + 1), "$R5,VER\r\n") << answer;
    EXPECT_EQ(std::count(sent.begin(), sent.end(), "$R5,VER\r\n"), 1);
    EXPECT_GE(rig.findLog(" <57949> <57948>.\r\n"), 0);
  }
}

// ---- every adapter index is an adapter ----------------------------------------------------------------------

TEST(LinkFaults, EveryFtdiIndexAgreesTheSpeedAndCyclesIt) {
  for (const int port : {1001, 1999}) {
    Rig rig({}, port, 2000000);
    rig.device->receive("$R5,COM,1000000\r\n");  // left at 1 Mbit/s by an earlier session
    ASSERT_TRUE(rig.connect(20s)) << port;
    // Speed cycling found the recorder at its second speed, then the agreed speed was set.
    EXPECT_EQ(rig.hostSpeeds(), (std::vector<std::uint32_t>{115200, 1000000, 2000000})) << port;
    EXPECT_TRUE(contains(rig.linesSent(), "$R5,COM,2000000\r\n"));
    EXPECT_EQ(rig.host->info().linkSpeed, 2000000u);
    ASSERT_FALSE(rig.ui.statuses.empty());
    EXPECT_NE(std::find(rig.ui.statuses.begin(), rig.ui.statuses.end(), "     <57802> <57803>.       "),
              rig.ui.statuses.end());

    // The speed fallback lowers the speed on this adapter too.
    const auto mark = rig.wire->trace().size();
    rig.host->speedFallback("");
    ASSERT_TRUE(rig.settle());
    EXPECT_EQ(withoutPings(rig.linesSent(mark)).at(0), "$R5,COM,1000000\r\n");
  }
}

TEST(LinkFaults, EveryQuickUsbIndexAgreesTheSpeedWithoutCycling) {
  Rig rig({}, 2003, 3000000);
  ASSERT_TRUE(rig.connect());
  EXPECT_TRUE(contains(rig.linesSent(), "$R5,COM,3000000\r\n"));
  EXPECT_EQ(rig.hostSpeeds(), std::vector<std::uint32_t>{3000000});
  EXPECT_GE(rig.findLog(" <57922> 3000000 bps\r\n"), 0);

  rig.device->faults().silent = true;
  ASSERT_TRUE(rig.loop.runUntil([&] { return rig.resets > 0; }, 10s));
  ASSERT_FALSE(rig.ui.statuses.empty());
  EXPECT_EQ(rig.ui.statuses.back(), "     <57802> <57998>.       ");
  EXPECT_EQ(rig.hostSpeeds(), std::vector<std::uint32_t>{3000000});  // no cycling on this module
}

// ---- device text with control characters -----------------------------------------------------------------------

TEST(LinkFaults, ControlCharactersFromTheDeviceAreShownEscaped) {
  sim::DeviceConfig config;
  config.version = std::string("R5 0.4.0\x07,HW\x1b[2J 3");
  Rig rig(config);
  rig.device->addCommand("LST", [](sim::SimRecorder& d, const std::string&, const std::vector<std::string>&) {
    d.sendLine("$R5,ACK,LST,R5-1\b\b\x1b]0;owned\x07,0");
    d.sendLine("$R5,MSG,LST,END");
  });
  ASSERT_TRUE(rig.connect());
  rig.device->sendBytes(std::string("$R5,ACK,LED,\b\b\b\x7f\xc2\x9b\n1\r\n"));
  rig.loop.runFor(10ms);

  const auto& info = rig.host->info();
  EXPECT_EQ(info.deviceName, "R5-1\\x08\\x08\\x1b]0;owned\\x07");
  EXPECT_EQ(info.versionText, "R5 0.4.0\\x07,HW\\x1b[2J 3");
  EXPECT_FALSE(info.firmwareCapability);  // read from the text as it came: the "letter" is the bell
  EXPECT_GE(rig.findLog(">> $R5,ACK,LED,\\x08\\x08\\x08\\x7f\\xc2\\x9b\\x0a1\r\n"), 0);
  EXPECT_GE(rig.findLog("R5-1\\x08\\x08\\x1b]0;owned\\x07\r\n"), 0);  // the list's device name line
  for (const auto& entry : rig.logs) EXPECT_FALSE(hasRawControl(entry)) << entry;

  // Text an operation logs raw is caught on its way to the log as well.
  rig.host->log(" name \b\b\x1b[1A\r\n");
  EXPECT_EQ(rig.logs.back(), " name \\x08\\x08\\x1b[1A\r\n");
}

TEST(LinkFaults, ObserversHearThatTheLinkClosedAndOpenedAgain) {
  // Windows left open over a lost link follow the link through the published state alone.
  struct Watcher : session::SessionObserver {
    void onState(const session::SessionState& s) override { linkOpen = s.linkOpen; }
    bool linkOpen = false;
  } watcher;
  Rig rig;
  rig.host->addObserver(&watcher);
  ASSERT_TRUE(rig.connect());
  EXPECT_TRUE(watcher.linkOpen);
  rig.wire->unplug();
  ASSERT_TRUE(rig.loop.runUntil([&] { return !rig.host->linkOpen(); }, 5s));
  EXPECT_FALSE(watcher.linkOpen);
  rig.wire->faults().unplugged = false;
  ASSERT_TRUE(rig.loop.runUntil([&] { return rig.host->info().chainComplete; }, 30s));
  EXPECT_TRUE(watcher.linkOpen);
  rig.host->removeObserver(&watcher);
}
