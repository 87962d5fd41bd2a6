// Whole sessions against the simulated recorder in virtual time: connecting, the query chain, the
// time-out machinery (reply time-out, ping retry, speed cycling), link loss and speed agreement.
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

bool startsWith(const std::string& s, const std::string& p) { return s.rfind(p, 0) == 0; }

// Status texts of step 4 of the reply time-out (they begin with five blanks).
std::vector<std::string> waitingStatuses(const FakeUi& ui) {
  std::vector<std::string> out;
  for (const auto& s : ui.statuses)
    if (startsWith(s, "     ")) out.push_back(s);
  return out;
}

std::string dots(int n) { return std::string(static_cast<std::size_t>(n), '.') + std::string(static_cast<std::size_t>(8 - n), ' '); }

}  // namespace

TEST(SessionScenario, SerialPortRunsTheWholeQueryChainWithoutASpeedRequest) {
  Rig rig;  // R5 on a serial port
  ASSERT_TRUE(rig.connect());
  const auto& info = rig.host->info();
  EXPECT_TRUE(rig.host->flags().recorderConnected);
  EXPECT_EQ(info.deviceName, "R5-12345");
  EXPECT_EQ(info.model, "R5");
  EXPECT_EQ(info.versionText, "R5 1.2.0f,HW 3,2006-05-12");
  EXPECT_TRUE(info.firmwareCapability);
  EXPECT_EQ(info.listCount, 2);
  EXPECT_EQ(info.listRecords, 2u);
  EXPECT_TRUE(info.listComplete);
  EXPECT_TRUE(info.type.numeric);
  EXPECT_EQ(info.type.sampleRate, 8000u);
  EXPECT_EQ(info.flash.sizeMb, 1024u);
  EXPECT_EQ(info.flash.totalBlocks, 8192u);
  EXPECT_EQ(info.freePages, rig.device->freePages());
  ASSERT_TRUE(info.recordingSecondsLeft);
  EXPECT_GT(*info.recordingSecondsLeft, 0u);
  ASSERT_TRUE(info.clockDifferenceSeconds);
  EXPECT_LE(std::llabs(*info.clockDifferenceSeconds), 1);
  EXPECT_TRUE(rig.clockDifferences.empty());

  // The lines in their order; a serial port gets no speed request.
  const auto lines = withoutPings(rig.linesSent());
  const std::vector<std::string> expected = {"\r\n",          "$R5,HSP,ON\r\n", "$R5,VER\r\n",  "$R5,LST\r\n",
                                             "$R5,TYP\r\n",   "$R5,FLASH\r\n",  "$R5,FREE\r\n", "$R5,TIME\r\n"};
  EXPECT_EQ(lines, expected);
  // The log names the speed the port runs at, not the configured adapter speed.
  EXPECT_NE(rig.logText().find(" <57922> 115200 bps\r\n"), std::string::npos);
  EXPECT_EQ(rig.logText().find("2000000 bps"), std::string::npos);

  // The log shows the chain in order, each answer after its command, and never a ping.
  long at = 0;
  for (const char* entry : {"<< $R5,VER", ">> $R5,ACK,VER", "<< $R5,LST", ">> $R5,ACK,LST", ">> $R5,MSG,LST,END",
                            "<< $R5,TYP", ">> $R5,ACK,TYP", "<< $R5,FLASH", ">> $R5,ACK,FLASH", "<< $R5,FREE",
                            ">> $R5,ACK,FREE", "<< $R5,TIME", ">> $R5,ACK,TIME"}) {
    const long found = rig.findLog(entry, static_cast<std::size_t>(at));
    ASSERT_GE(found, at) << entry;
    at = found;
  }
  EXPECT_EQ(rig.countLog("PING"), 0u);
  EXPECT_EQ(rig.countLog("PONG"), 0u);

  // Connected and idle: a ping every second keeps the session.
  rig.loop.runFor(5s);
  EXPECT_TRUE(rig.host->flags().recorderConnected);
  EXPECT_EQ(rig.resets, 0);
}

TEST(SessionScenario, AdapterSwitchesSpeedOnlyAfterTheConfirmationThenPingsTwice) {
  Rig rig({}, 1000, 3000000);
  ASSERT_TRUE(rig.connect());
  const auto lines = rig.linesSent();
  const auto com = std::find(lines.begin(), lines.end(), "$R5,COM,3000000\r\n");
  ASSERT_NE(com, lines.end());
  ASSERT_GE(lines.end() - com, 4);
  EXPECT_EQ(*(com - 1), "$R5,HSP,ON\r\n");
  EXPECT_EQ(*(com + 1), "$R5,PING\r\n");
  EXPECT_EQ(*(com + 2), "$R5,PING\r\n");
  EXPECT_EQ(*(com + 3), "$R5,VER\r\n");

  // On the wire: the host's speed changes once, after the recorder's confirmation went out.
  const auto& trace = rig.wire->trace();
  long ack = -1, speed = -1;
  for (std::size_t i = 0; i < trace.size(); ++i) {
    if (ack < 0 && trace[i].kind == sim::WireEvent::DeviceSent &&
        trace[i].text.find("$R5,ACK,COM,3000000") != std::string::npos)
      ack = static_cast<long>(i);
    if (trace[i].kind == sim::WireEvent::HostSpeed) {
      EXPECT_LT(speed, 0) << "the speed changed twice";
      speed = static_cast<long>(i);
    }
  }
  ASSERT_GE(ack, 0);
  EXPECT_GT(speed, ack);
  EXPECT_EQ(rig.hostSpeeds(), std::vector<std::uint32_t>{3000000});
  EXPECT_EQ(rig.host->info().linkSpeed, 3000000u);
  EXPECT_TRUE(rig.host->info().versionKnown);
}

TEST(SessionScenario, AnUnconfirmedSpeedRequestLeavesTheSpeedAndPingsAfterOneSecond) {
  Rig rig({}, 1000, 3000000);
  rig.device->addCommand("COM", [](sim::SimRecorder&, const std::string&, const std::vector<std::string>&) {});
  rig.host->connectAttempt();
  ASSERT_TRUE(rig.loop.runUntil([&] { return rig.host->flags().recorderConnected; }, 5s));
  ASSERT_TRUE(rig.settle());  // the speed request is out
  const auto mark = rig.wire->trace().size();
  rig.loop.runFor(1500ms);
  EXPECT_TRUE(rig.hostSpeeds().empty());
  EXPECT_EQ(rig.countLog("<57801>"), 1u);
  const auto after = rig.linesSent(mark);
  ASSERT_FALSE(after.empty());
  EXPECT_EQ(after.front(), "$R5,PING\r\n");
  EXPECT_TRUE(rig.host->flags().recorderConnected);  // the recorder still answers at 115200
}

TEST(SessionScenario, UnansweredCommandLogsTheTimeOutAndPingsAndGoesOnWhenAnswered) {
  Rig rig;
  ASSERT_TRUE(rig.connect());
  rig.device->faults().silent = true;
  const auto mark = rig.wire->trace().size();
  rig.host->commandList();
  // The reply wait starts when the last byte is out.
  ASSERT_TRUE(rig.settle());
  rig.loop.runFor(999ms);
  EXPECT_EQ(rig.countLog("<57801>"), 0u);
  rig.loop.runFor(2ms);
  EXPECT_EQ(rig.countLog("<57801>"), 1u);
  ASSERT_TRUE(rig.settle());
  const auto sent = rig.linesSent(mark);
  ASSERT_EQ(sent.size(), 2u);
  EXPECT_EQ(sent[0], "$R5,LST\r\n");
  EXPECT_EQ(sent[1], "$R5,PING\r\n");

  rig.device->faults().silent = false;  // the recorder answers the ping
  rig.loop.runFor(3s);
  EXPECT_TRUE(rig.host->flags().recorderConnected);
  EXPECT_EQ(rig.resets, 0);
  EXPECT_EQ(session::HostProbe::pingRetryCount(*rig.host), 0u);
}

TEST(SessionScenario, SilentRecorderGetsOneRetryPingThenTheSessionIsResetEverySecondWithDots) {
  Rig rig;  // serial port 1
  ASSERT_TRUE(rig.connect());
  rig.device->faults().silent = true;
  const auto mark = rig.wire->trace().size();
  // Keep-alive ping after 1 s, its time-out after 2 s sends the retry ping, after 3 s the session
  // is reset and two more pings go out.
  ASSERT_TRUE(rig.loop.runUntil([&] { return rig.resets == 1; }, 10s));
  ASSERT_TRUE(rig.settle());
  EXPECT_FALSE(rig.host->flags().recorderConnected);
  EXPECT_EQ(rig.linesSent(mark), std::vector<std::string>(4, "$R5,PING\r\n"));
  EXPECT_EQ(session::HostProbe::pingRetryCount(*rig.host), 1u);

  // Every further silent second resets again, straight from step 4 (no more retry pings).
  const auto mark2 = rig.wire->trace().size();
  ASSERT_TRUE(rig.loop.runUntil([&] { return rig.resets == 6; }, 20s));
  ASSERT_TRUE(rig.settle());
  EXPECT_EQ(rig.linesSent(mark2), std::vector<std::string>(10, "$R5,PING\r\n"));
  const std::string base = "     <57802> <57707>";
  EXPECT_EQ(waitingStatuses(rig.ui), (std::vector<std::string>{base + dots(1), base + dots(2), base + dots(3),
                                                               base + dots(1), base + dots(2), base + dots(3)}));
  EXPECT_TRUE(rig.hostSpeeds().empty());  // a serial port keeps its speed

  rig.device->faults().silent = false;
  ASSERT_TRUE(rig.loop.runUntil([&] { return rig.host->info().chainComplete; }, 5s));
}

TEST(SessionScenario, AdapterCyclesThroughTheSixSpeedsUntilTheRecorderAnswers) {
  Rig rig({}, 1000, 3000000);
  rig.device->receive("$R5,COM,3000000\r\n");  // left at 3 Mbit/s by an earlier session
  ASSERT_EQ(rig.device->speed(), 3000000u);
  ASSERT_TRUE(rig.connect(20s));
  EXPECT_EQ(rig.hostSpeeds(),
            (std::vector<std::uint32_t>{115200, 1000000, 1500000, 115200, 2000000, 3000000, 3000000}));
  const std::string base = "     <57802> <57803>";
  EXPECT_EQ(waitingStatuses(rig.ui), (std::vector<std::string>{base + dots(1), base + dots(2), base + dots(3),
                                                               base + dots(1), base + dots(2), base + dots(3)}));
  EXPECT_TRUE(rig.host->info().versionKnown);
}

TEST(SessionScenario, SpeedCyclingStartsOverAfterTheSixthSpeed) {
  Rig rig({}, 1000, 3000000);
  rig.device->faults().silent = true;
  rig.host->connectAttempt();
  // Ping, retry, then seven rounds of step 4.
  ASSERT_TRUE(rig.loop.runUntil([&] { return rig.hostSpeeds().size() == 7; }, 30s));
  EXPECT_EQ(rig.hostSpeeds(),
            (std::vector<std::uint32_t>{115200, 1000000, 1500000, 115200, 2000000, 3000000, 115200}));
  EXPECT_EQ(session::HostProbe::speedCycleIndex(*rig.host), 1);
}

TEST(SessionScenario, QuickUsbModuleHasItsOwnWaitingText) {
  Rig usb({}, 2000, 2000000);
  usb.device->faults().silent = true;
  usb.host->connectAttempt();
  ASSERT_TRUE(usb.loop.runUntil([&] { return !waitingStatuses(usb.ui).empty(); }, 10s));
  EXPECT_EQ(waitingStatuses(usb.ui)[0], "     <57802> <57998>" + dots(1));
  EXPECT_TRUE(usb.hostSpeeds().empty());  // only the FTDI adapter cycles its speed
}

TEST(SessionScenario, PortZeroRetriesEverySecondSilently) {
  Rig rig({}, 0);
  rig.host->connectAttempt();
  EXPECT_EQ(rig.host->lastOpenResult(), link::kOpenNoPort);
  rig.loop.runFor(3500ms);
  EXPECT_TRUE(rig.logs.empty());
  EXPECT_TRUE(rig.wire->trace().empty());
  EXPECT_TRUE(rig.loop.timerActive(session::kTimerConnectRetry));
  EXPECT_EQ(rig.loop.ticks(session::kTimerConnectRetry), 3u);
  EXPECT_TRUE(rig.ui.messages.empty());
}

TEST(SessionScenario, ShortWriteIsALostLinkThatIsReopenedEverySecond) {
  Rig rig;
  ASSERT_TRUE(rig.connect());
  test::LossCountingTransfer transfer;
  rig.host->setActiveTransfer(&transfer);
  rig.host->setActivity(session::Activity::Download, true);
  rig.wire->faults().failWritesAfterBytes = 4;

  rig.host->commandList();  // "$R5," goes out, then the cable is gone
  EXPECT_TRUE(rig.host->linkOpen());  // noticed when the line ends
  rig.loop.runFor(75ms);                   // four bytes, the fifth fails, 15 ms later the line ends
  EXPECT_NE(rig.logText().find("<57791>\r\n<57792>\r\n"), std::string::npos);
  EXPECT_EQ(rig.ui.statuses.back(), "<57762>");
  EXPECT_FALSE(rig.host->flags().recorderConnected);
  EXPECT_FALSE(rig.host->flags().download);
  EXPECT_EQ(transfer.lost, 1);
  EXPECT_FALSE(rig.host->linkOpen());
  EXPECT_TRUE(rig.loop.timerActive(session::kTimerConnectRetry));
  EXPECT_FALSE(rig.loop.timerActive(session::kTimerReply));
  rig.host->setActiveTransfer(nullptr);

  // Unplugged: the attempts fail quietly, once a second.
  const auto opened = rig.countLog("<57790>");
  rig.loop.runFor(3s);
  EXPECT_EQ(rig.countLog("<57790>"), opened);
  EXPECT_EQ(rig.host->lastOpenResult(), ENOENT);

  // Plugged in again: the next attempt connects and the chain runs again.
  rig.wire->faults().unplugged = false;
  rig.wire->faults().failWritesAfterBytes = -1;
  ASSERT_TRUE(rig.loop.runUntil([&] { return rig.host->info().chainComplete; }, 10s));
}

TEST(SessionScenario, PresenceLineWhileConnectedChangesOnlyTheDeviceKind) {
  Rig rig;
  ASSERT_TRUE(rig.connect());
  const auto kinds = rig.kinds.size();
  const auto mark = rig.wire->trace().size();
  rig.device->announceReady();  // "$R5,READY,0,1": a plain recorder again
  rig.loop.runFor(100ms);
  EXPECT_EQ(rig.kinds.size(), kinds);
  rig.device->config().model = sim::Model::R5U;
  rig.device->config().subModel = 7;
  rig.device->announceReady();  // "$R5,READY,0,1,R5U,7"
  rig.loop.runFor(100ms);
  ASSERT_EQ(rig.kinds.size(), kinds + 1);
  EXPECT_EQ(rig.kinds.back().variant, DeviceVariant::Reduced);
  EXPECT_EQ(rig.kinds.back().subModel, 7);
  EXPECT_FALSE(rig.kinds.back().menu);
  EXPECT_TRUE(rig.host->flags().recorderConnected);
  EXPECT_TRUE(withoutPings(rig.linesSent(mark)).empty());  // no high-speed line, no version query
  EXPECT_EQ(rig.countLog("<57924>"), 1u);                 // established once
}

TEST(SessionScenario, PresenceFieldsReportFlashErrorAndTestModeAndStillConnect) {
  sim::DeviceConfig config;
  config.testMode = true;
  Rig rig(config);
  rig.device->faults().flashError = true;
  ASSERT_TRUE(rig.connect());
  ASSERT_EQ(rig.ui.messages.size(), 2u);
  EXPECT_EQ(rig.ui.messages[0].icon, ports::Icon::Error);
  EXPECT_EQ(rig.ui.messages[1].icon, ports::Icon::Information);
  EXPECT_TRUE(rig.host->flags().testMode);
  EXPECT_GE(rig.findLog("<57905>"), rig.findLog("<57902>"));
  EXPECT_GE(rig.findLog("<57902>"), 0);
}

TEST(SessionScenario, ModelsReportTheirKindAndCapability) {
  {
    sim::DeviceConfig t7;
    t7.model = sim::Model::T7;
    Rig rig(t7, 1, 2000000, 0);
    ASSERT_TRUE(rig.connect());
    EXPECT_EQ(rig.host->info().variant, DeviceVariant::Transmitter);
    ASSERT_FALSE(rig.kinds.empty());
    EXPECT_TRUE(rig.kinds.front().menu);
    EXPECT_TRUE(rig.host->info().firmwareCapability);
    EXPECT_EQ(rig.host->info().model, "T7");
  }
  {
    sim::DeviceConfig r5u;
    r5u.model = sim::Model::R5U;
    r5u.subModel = 4;
    Rig rig(r5u);
    ASSERT_TRUE(rig.connect());
    EXPECT_EQ(rig.host->info().variant, DeviceVariant::Reduced);
    EXPECT_EQ(rig.host->info().subModel, 4);
    EXPECT_TRUE(rig.host->info().firmwareCapability);  // "R5 0.5.0a": minor 5
  }
  {
    sim::DeviceConfig r6;
    r6.model = sim::Model::R6;
    r6.version = "R6 0.017,HW 6";
    Rig rig(r6);
    ASSERT_TRUE(rig.connect());
    EXPECT_FALSE(rig.host->info().firmwareCapability);
    EXPECT_EQ(rig.host->info().model, "R6");
  }
}

TEST(SessionScenario, AnswersSplitIntoPiecesStillFormWholeLines) {
  for (int port : {1, 1000}) {
    Rig rig({}, port, 2000000);
    rig.wire->faults().splitEvery = 3;
    ASSERT_TRUE(rig.connect()) << port;
    EXPECT_EQ(rig.host->info().deviceName, "R5-12345");
    EXPECT_EQ(rig.host->info().listRecords, 2u);
    EXPECT_EQ(rig.countLog(">> $R5,MSG,LST,"), 3u);  // two records and the end, each whole
  }
}

TEST(SessionScenario, NoiseAndGarbledAnswersDoNotBreakTheSession) {
  Rig rig;
  ASSERT_TRUE(rig.connect());
  rig.device->sendBytes(std::string(20000, 'x'));
  rig.device->sendBytes(std::string("\0\0\r\n\0", 5));
  rig.device->sendLine("$R5,ACK,LED,2");
  rig.loop.runFor(50ms);
  EXPECT_GT(session::HostProbe::garbageBytesDropped(*rig.host), 0u);
  EXPECT_LE(session::HostProbe::pendingInput(*rig.host).size(), session::LineAssembler::kMaxLine);
  EXPECT_GE(rig.findLog(">> $R5,ACK,LED,2"), 0);

  rig.device->faults().garbleProbability = 0.3;
  rig.loop.runFor(20s);  // pings and their (sometimes garbled) answers
  rig.device->faults().garbleProbability = 0;
  rig.loop.runFor(10s);
  EXPECT_TRUE(rig.host->flags().recorderConnected);
}

TEST(SessionScenario, SpeedFallbackLowersTheAdapterSpeedByOneMegabit) {
  {
    Rig rig({}, 1000, 2000000);
    ASSERT_TRUE(rig.connect());
    const auto mark = rig.wire->trace().size();
    rig.host->speedFallback("");
    EXPECT_GE(rig.findLog(" <57949> <57948>, <57950>\r\n"), 0);
    ASSERT_TRUE(rig.settle());
    EXPECT_EQ(rig.linesSent(mark).at(0), "$R5,COM,1000000\r\n");
    rig.loop.runFor(500ms);
    EXPECT_EQ(rig.hostSpeeds().back(), 1000000u);  // the confirmation switched the adapter
    const auto again = rig.wire->trace().size();
    rig.host->speedFallback("bad line");
    ASSERT_TRUE(rig.settle());
    EXPECT_EQ(rig.linesSent(again).at(0), "$R5,COM,1000000\r\n");  // not below 1 Mbit/s
  }
  {
    Rig rig;  // serial: only logged
    ASSERT_TRUE(rig.connect());
    const auto mark = rig.wire->trace().size();
    rig.host->speedFallback("bad line");
    EXPECT_GE(rig.findLog(" <57949> bad line.\r\n"), 0);
    rig.settle();
    EXPECT_TRUE(withoutPings(rig.linesSent(mark)).empty());
  }
}

TEST(SessionScenario, RecordingOffAndFormatCommands) {
  Rig rig;
  ASSERT_TRUE(rig.connect());
  session::HostProbe::flags(*rig.host).recording = true;
  auto mark = rig.wire->trace().size();
  rig.host->commandRecordOff();
  EXPECT_GE(rig.findLog("<57799>"), 0);
  EXPECT_FALSE(rig.host->flags().recording);
  // The list is asked for once the line is out.
  ASSERT_TRUE(rig.loop.runUntil([&] { return rig.linesSent(mark).size() >= 2; }, 5s));
  EXPECT_EQ(withoutPings(rig.linesSent(mark)), (std::vector<std::string>{"$R5,REC,OFF\r\n", "$R5,LST\r\n"}));
  rig.loop.runFor(1s);
  rig.host->commandRecordOff();
  EXPECT_GE(rig.findLog("<57800>"), 0);

  // Format: the first "No" ends it; two "Yes" (recordings not on disk) send it.
  rig.loop.runFor(1s);
  ASSERT_TRUE(rig.settle());
  rig.ui.messages.clear();
  rig.ui.answers = {ports::Answer::No};
  mark = rig.wire->trace().size();
  EXPECT_FALSE(rig.host->commandFormat());
  EXPECT_EQ(rig.ui.messages.size(), 1u);
  rig.ui.answers = {ports::Answer::Yes, ports::Answer::No};
  EXPECT_FALSE(rig.host->commandFormat());
  EXPECT_EQ(rig.ui.messages.size(), 3u);
  EXPECT_NE(rig.ui.messages[1].text.find("R5-12345"), std::string::npos);
  EXPECT_TRUE(withoutPings(rig.linesSent(mark)).empty());
  rig.ui.answers = {ports::Answer::Yes, ports::Answer::Yes};
  EXPECT_TRUE(rig.host->commandFormat());
  rig.loop.runFor(2s);
  const auto sent = withoutPings(rig.linesSent(mark));
  ASSERT_GE(sent.size(), 2u);
  EXPECT_EQ(sent[0], "$R5,FMT\r\n");
  EXPECT_EQ(sent[1], "$R5,LST\r\n");  // the format's end reads the list again
  EXPECT_FALSE(rig.host->flags().maintenance);
  EXPECT_EQ(rig.host->info().listCount, 0);
}

TEST(SessionScenario, ClockDifferenceAboveAMinuteIsReportedOncePerConnection) {
  sim::DeviceConfig ahead;
  ahead.clockOffsetSeconds = 120;
  Rig rig(ahead);
  ASSERT_TRUE(rig.connect());
  ASSERT_EQ(rig.clockDifferences.size(), 1u);
  EXPECT_NEAR(static_cast<double>(rig.clockDifferences[0]), 120.0, 1.0);
  EXPECT_GE(rig.findLog("<57930>"), 0);
  rig.host->commandTime();
  rig.loop.runFor(500ms);
  EXPECT_EQ(rig.clockDifferences.size(), 1u);

  sim::DeviceConfig close;
  close.clockOffsetSeconds = 30;
  Rig near(close);
  ASSERT_TRUE(near.connect());
  EXPECT_TRUE(near.clockDifferences.empty());
}

TEST(SessionScenario, BlockDataBeyondTheBlockIsCountedNeverStored) {
  Rig rig;
  ASSERT_TRUE(rig.connect());
  struct Transfer : session::BlockTransferHandler {
    void onBlockData() override { ++data; }
    void onBlockTimeout() override { ++blockTimeouts; }
    void onRequestTimeout() override { ++requestTimeouts; }
    void onConfirmationTimeout() override { ++confirmationTimeouts; }
    int data = 0, blockTimeouts = 0, requestTimeouts = 0, confirmationTimeouts = 0;
  } transfer;
  rig.host->stopKeepAliveAndReplyWait();
  rig.host->setActiveTransfer(&transfer);
  rig.host->setBlockMode(session::BlockReceiver::Download);
  auto& block = rig.host->blockBuffer();
  block.clear(528);
  rig.device->sendBytes(std::string(1000, '\x55'));
  rig.loop.runFor(10ms);
  EXPECT_EQ(block.received, 528u);
  EXPECT_EQ(block.overrun, 472u);
  EXPECT_GE(transfer.data, 1);
  block.clear(10 * session::BlockBuffer::kCapacity);  // asks for more than the buffer holds
  EXPECT_EQ(block.expected, session::BlockBuffer::kCapacity);

  // The transfer's time-outs go to it.
  rig.host->startTimer(session::kTimerBlockData, 100ms);
  rig.host->startTimer(session::kTimerTransferRequest, 1000ms);
  rig.host->startTimer(session::kTimerCancelConfirm, 1000ms);
  rig.loop.runFor(1500ms);
  EXPECT_EQ(transfer.blockTimeouts, 1);
  EXPECT_EQ(transfer.requestTimeouts, 1);
  EXPECT_EQ(transfer.confirmationTimeouts, 1);
  rig.host->setActiveTransfer(nullptr);
  rig.host->setLineMode();

  // Without a transfer the request time-out is only logged.
  rig.host->startTimer(session::kTimerTransferRequest, 1000ms);
  rig.loop.runFor(1001ms);
  EXPECT_GE(rig.findLog(" <57808> <57807>.\r\n"), 0);
}

TEST(SessionScenario, BlockDataWithoutAReceiverGoesBackToLineModeAndKeepsTheBytes) {
  Rig rig;
  ASSERT_TRUE(rig.connect());
  session::HostProbe::link(*rig.host).SetNotificationMask(link::kMaskData);  // block mode, but nobody receives
  rig.device->sendLine("$R5,ACK,LED,1");
  rig.loop.runFor(10ms);
  EXPECT_EQ(rig.findLog(">> $R5,ACK,LED,1"), -1);  // not read yet
  rig.device->sendLine("$R5,ACK,LED,3");
  rig.loop.runFor(10ms);
  const long first = rig.findLog(">> $R5,ACK,LED,1");
  EXPECT_GE(first, 0);
  EXPECT_GT(rig.findLog(">> $R5,ACK,LED,3"), first);
}

TEST(SessionScenario, PluggedReplyHandlersReplaceTheBuiltInOnes) {
  Rig rig;
  std::vector<std::string> accepted;
  rig.host->setReplyHandler(session::ReplyId::AckDnl, [&](const std::string& r) { accepted.push_back(r); });
  ASSERT_TRUE(rig.connect());
  rig.device->sendLine("$R5,ACK,DNL,1,0,9,8");
  rig.loop.runFor(10ms);
  ASSERT_EQ(accepted.size(), 1u);
  EXPECT_EQ(accepted[0], "$R5,ACK,DNL,1,0,9,8");

  // A plugged list handler keeps the chain going by asking for the type itself.
  int records = 0;
  rig.host->setReplyHandler(session::ReplyId::MsgLst, [&](const std::string& r) {
    if (r.find("END") != std::string::npos)
      rig.host->commandType();
    else
      ++records;
  });
  session::HostProbe::info(*rig.host).chainComplete = false;
  rig.host->commandList();
  ASSERT_TRUE(rig.loop.runUntil([&] { return rig.host->info().chainComplete; }, 5s));
  EXPECT_EQ(records, 2);
  rig.host->setReplyHandler(session::ReplyId::MsgLst, {});  // back to the built-in one
  EXPECT_TRUE(static_cast<bool>(rig.host->builtInReplyHandler(session::ReplyId::MsgLst)));
}

TEST(SessionScenario, ShutdownSendsTheResetLineAndTheRecorderReturnsToItsPowerOnSpeed) {
  Rig rig({}, 1000, 3000000);
  ASSERT_TRUE(rig.connect());
  EXPECT_EQ(rig.device->speed(), 3000000u);
  rig.host->shutdown();
  // The link stays open until the reset line is out, and closes then.
  EXPECT_TRUE(rig.host->linkOpen());
  EXPECT_FALSE(rig.host->shutdownComplete());
  ASSERT_TRUE(rig.loop.runUntil([&] { return rig.host->shutdownComplete(); }, 5s));
  EXPECT_EQ(rig.device->speed(), sim::SimRecorder::kPowerOnSpeed);
  EXPECT_FALSE(rig.host->linkOpen());
  EXPECT_EQ(rig.countLog("RB5RB5"), 0u);  // the access token is never logged
  rig.loop.runFor(3s);
  EXPECT_FALSE(rig.wire->isOpen());  // no reconnect after shutdown
}

TEST(SessionScenario, TheFormatConfirmationWaitsForItsAnswersWhileTheSessionGoesOn) {
  Rig rig;
  ASSERT_TRUE(rig.connect());
  rig.loop.runFor(2s);
  rig.ui.holdQuestions = true;
  const auto mark = rig.wire->trace().size();
  EXPECT_TRUE(rig.host->commandFormat());  // asked, not yet answered
  ASSERT_EQ(rig.ui.held.size(), 1u);
  EXPECT_EQ(rig.ui.held[0].question.topic, ports::Topic::Format);
  EXPECT_EQ(rig.ui.held[0].question.defaultAnswer, ports::Answer::No);
  EXPECT_TRUE(rig.host->formatQuestionOpen());
  EXPECT_TRUE(rig.host->commandFormat());  // asked once only
  EXPECT_EQ(rig.ui.held.size(), 1u);

  // The keep-alive pings and the recorder answers, several times, while the user thinks (unanswered
  // pings would have reset the session).
  rig.loop.runFor(5s);
  EXPECT_TRUE(withoutPings(rig.linesSent(mark)).empty());
  EXPECT_GE(rig.linesSent(mark).size(), 4u);
  EXPECT_TRUE(rig.host->flags().recorderConnected);
  EXPECT_EQ(rig.resets, 0);

  // Yes: the second question (recordings not on disk) waits too; its Yes sends the format.
  rig.ui.answerHeld(0, ports::Answer::Yes);
  ASSERT_EQ(rig.ui.held.size(), 1u);
  EXPECT_EQ(rig.ui.held[0].question.topic, ports::Topic::FormatIncomplete);
  rig.loop.runFor(3s);
  EXPECT_TRUE(withoutPings(rig.linesSent(mark)).empty());
  rig.ui.answerHeld(0, ports::Answer::Yes);
  EXPECT_FALSE(rig.host->formatQuestionOpen());
  rig.loop.runFor(2s);
  const auto sent = withoutPings(rig.linesSent(mark));
  ASSERT_GE(sent.size(), 1u);
  EXPECT_EQ(sent[0], "$R5,FMT\r\n");
}

TEST(SessionScenario, AFormatAnswerThatComesAfterTheRecorderWentIsDropped) {
  Rig rig;
  ASSERT_TRUE(rig.connect());
  rig.ui.holdQuestions = true;
  EXPECT_TRUE(rig.host->commandFormat());
  ASSERT_EQ(rig.ui.held.size(), 1u);
  rig.wire->faults().unplugged = true;
  rig.loop.runFor(3s);
  EXPECT_FALSE(rig.host->flags().recorderConnected);
  rig.wire->faults().unplugged = false;
  ASSERT_TRUE(rig.loop.runUntil([&] { return rig.host->info().chainComplete; }, 30s));

  // The answer to the question about the recorder that went formats nothing.
  const auto mark = rig.wire->trace().size();
  rig.ui.answerHeld(0, ports::Answer::Yes);
  EXPECT_TRUE(rig.ui.held.empty());
  rig.loop.runFor(2s);
  EXPECT_TRUE(withoutPings(rig.linesSent(mark)).empty());
  EXPECT_FALSE(rig.host->formatQuestionOpen());
  // A new format asks again.
  rig.ui.holdQuestions = false;
  rig.ui.answers = {ports::Answer::No};
  EXPECT_FALSE(rig.host->commandFormat());
}

TEST(SessionScenario, FrontEndsFollowTheSessionStateWithoutPolling) {
  struct Watcher : session::SessionObserver {
    void onState(const session::SessionState& s) override { states.push_back(s); }
    std::vector<session::SessionState> states;
  } watcher;
  Rig rig;
  rig.host->addObserver(&watcher);
  ASSERT_EQ(watcher.states.size(), 1u);  // where it stands when observing starts
  EXPECT_FALSE(watcher.states[0].connected);

  ASSERT_TRUE(rig.connect());
  const session::SessionState connected = watcher.states.back();
  EXPECT_TRUE(connected.running);
  EXPECT_TRUE(connected.connected);
  EXPECT_TRUE(connected.linkOpen);
  EXPECT_EQ(connected.recorderName, "R5-12345");
  EXPECT_EQ(connected, rig.host->state());
  // Only changes are sent: a quiet session sends nothing.
  const auto sentSoFar = watcher.states.size();
  rig.loop.runFor(5s);
  EXPECT_EQ(watcher.states.size(), sentSoFar);

  // An operation's activity, through the session's named method.
  rig.host->setActivity(session::Activity::Download, true);
  EXPECT_TRUE(watcher.states.back().downloading);
  rig.host->setActivity(session::Activity::Download, false);
  EXPECT_FALSE(watcher.states.back().downloading);
  rig.host->setStatusText("1:00");
  EXPECT_EQ(watcher.states.back().secondStatus, "1:00");

  // The recorder goes: not connected, the status line says so.
  rig.wire->faults().unplugged = true;
  rig.loop.runFor(3s);
  EXPECT_FALSE(watcher.states.back().connected);
  EXPECT_FALSE(watcher.states.back().statusText.empty());
  EXPECT_EQ(watcher.states.back().recorderName, "");
  rig.host->removeObserver(&watcher);
}
