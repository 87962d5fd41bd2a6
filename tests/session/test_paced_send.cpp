// Sending while the owner thread goes on, in virtual time: lines go out a byte every 15 ms from the
// loop's timer, whole and in the order asked; what follows a line (the reply wait, a continuation, a
// control byte, a speed change) comes when its last byte is out; a link lost mid-line drops the rest;
// input that arrives while a line goes out is read when it is done.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "HostProbe.h"
#include "SessionRig.h"
#include "link/LinkTransport.h"
#include "session/SessionServices.h"

using namespace recdesk;
using namespace recdesk::test;
using namespace std::chrono_literals;

namespace {

// Everything the host wrote from trace position `from` on, as one text.
std::string wireText(const Rig& rig, std::size_t from) {
  std::string text;
  const auto& trace = rig.wire->trace();
  for (std::size_t i = from; i < trace.size(); ++i)
    if (trace[i].kind == sim::WireEvent::HostWrite) text += trace[i].text;
  return text;
}

// A connected rig with nothing going out, the recorder silent so that no reply interferes.
struct QuietRig : Rig {
  QuietRig() : Rig() {
    EXPECT_TRUE(connect());
    EXPECT_TRUE(settle());
    host->stopKeepAliveAndReplyWait();
    device->faults().silent = true;
    mark = wire->trace().size();
    logs.clear();
  }
  std::size_t mark = 0;
};

}  // namespace

TEST(PacedSend, LinesGoOutWholeInTheOrderAskedWithoutHoldingTheOwner) {
  QuietRig rig;
  const auto start = rig.loop.elapsed();
  EXPECT_TRUE(rig.host->sendLine("$R5,TYP\r\n", false));
  EXPECT_TRUE(rig.host->sendLine("$R5,FREE\r\n", false));
  rig.host->commandList();
  // The calls returned at once: no time passed and only the first byte is out.
  EXPECT_EQ(rig.loop.elapsed(), start);
  EXPECT_EQ(wireText(rig, rig.mark), "$");
  EXPECT_TRUE(rig.host->sending());
  // Logged in the order asked, at once.
  EXPECT_EQ(rig.findLog("<< $R5,TYP"), 0);
  EXPECT_EQ(rig.findLog("<< $R5,FREE"), 1);

  ASSERT_TRUE(rig.settle());
  EXPECT_EQ(wireText(rig, rig.mark), "$R5,TYP\r\n$R5,FREE\r\n$R5,LST\r\n");
  // A byte every 15 ms, and 15 ms after each line's last byte before the next begins.
  EXPECT_EQ(rig.loop.elapsed() - start, 15ms * (9 + 10 + 9));
  // Each line purged the link before its first byte.
  std::size_t purges = 0;
  for (std::size_t i = rig.mark; i < rig.wire->trace().size(); ++i)
    purges += rig.wire->trace()[i].kind == sim::WireEvent::Purge ? 1 : 0;
  EXPECT_EQ(purges, 3u);
}

TEST(PacedSend, TheReplyWaitAndTheContinuationStartWhenTheLastByteIsOut) {
  QuietRig rig;
  int continued = 0;
  bool replyWaitAtContinuation = false;
  rig.host->sendLine("$R5,LST\r\n", true, [&] {
    ++continued;
    replyWaitAtContinuation = rig.loop.timerActive(session::kTimerReply);
  });
  rig.loop.runFor(134ms);  // the last byte went out at 120 ms
  EXPECT_EQ(wireText(rig, rig.mark), "$R5,LST\r\n");
  EXPECT_EQ(continued, 0);
  EXPECT_FALSE(rig.loop.timerActive(session::kTimerReply));
  rig.loop.runFor(1ms);
  EXPECT_EQ(continued, 1);
  EXPECT_TRUE(replyWaitAtContinuation);
  // The reply wait runs its full second from there.
  rig.loop.runFor(999ms);
  EXPECT_EQ(rig.countLog("<57801>"), 0u);
  rig.loop.runFor(1ms);
  EXPECT_EQ(rig.countLog("<57801>"), 1u);
}

TEST(PacedSend, AControlByteAskedForDuringALineFollowsItAndNeverGoesInside) {
  QuietRig rig;
  rig.host->sendLine("$R5,DNL,1,0,9,8\r\n", false);
  rig.loop.runFor(50ms);
  EXPECT_TRUE(rig.host->sendByte('c'));
  EXPECT_TRUE(rig.host->sendByte('n'));
  EXPECT_EQ(wireText(rig, rig.mark), "$R5,");
  ASSERT_TRUE(rig.settle());
  EXPECT_EQ(wireText(rig, rig.mark), "$R5,DNL,1,0,9,8\r\nc" "n");

  // With nothing going out a control byte is written at once.
  const auto mark = rig.wire->trace().size();
  EXPECT_TRUE(rig.host->sendByte('r'));
  EXPECT_EQ(wireText(rig, mark), "r");
  EXPECT_FALSE(rig.host->sending());
}

TEST(PacedSend, ALinkLostMidLineDropsTheRestAndEverythingQueuedAndIsReportedOnce) {
  QuietRig rig;
  test::LossCountingTransfer transfer;
  rig.host->setActiveTransfer(&transfer);
  rig.wire->faults().failWritesAfterBytes = 3;
  int continued = 0;
  rig.host->sendLine("$R5,LST\r\n", true, [&] { ++continued; });
  rig.host->sendLine("$R5,TYP\r\n", false, [&] { ++continued; });
  rig.host->sendByte('n');
  rig.loop.runFor(100ms);
  EXPECT_EQ(wireText(rig, rig.mark), "$R5");
  EXPECT_EQ(continued, 0);
  EXPECT_EQ(transfer.lost, 1);
  EXPECT_EQ(rig.countLog("<57791>\r\n<57792>\r\n"), 1u);
  EXPECT_FALSE(rig.host->linkOpen());
  EXPECT_FALSE(rig.host->sending());
  EXPECT_FALSE(rig.loop.timerActive(session::kTimerReply));
  EXPECT_FALSE(rig.loop.timerActive(link::kTimerPacedWrite));
  EXPECT_TRUE(rig.loop.timerActive(session::kTimerConnectRetry));
  rig.host->setActiveTransfer(nullptr);

  // A new link writes nothing of what was dropped.
  rig.wire->faults().unplugged = false;
  rig.wire->faults().failWritesAfterBytes = -1;
  rig.device->faults().silent = false;
  const auto mark = rig.wire->trace().size();
  ASSERT_TRUE(rig.loop.runUntil([&] { return rig.host->info().chainComplete; }, 10s));
  EXPECT_EQ(wireText(rig, mark).rfind("$R5,PING\r\n", 0), 0u);
  EXPECT_EQ(continued, 0);
}

TEST(PacedSend, ClosingTheLinkMidLineDropsTheRestWithoutALossReport) {
  QuietRig rig;
  rig.host->sendLine("$R5,LST\r\n", true);
  rig.loop.runFor(40ms);
  rig.host->closeLink();
  rig.loop.runFor(1s);
  EXPECT_EQ(wireText(rig, rig.mark), "$R5");
  EXPECT_EQ(rig.countLog("<57791>"), 0u);
  EXPECT_FALSE(rig.host->sending());
  EXPECT_FALSE(rig.loop.timerActive(session::kTimerReply));
}

TEST(PacedSend, InputArrivingWhileALineGoesOutIsReadWhenTheLineIsDone) {
  QuietRig rig;
  rig.host->sendLine("$R5,TYP\r\n", false);
  rig.loop.runFor(30ms);
  rig.device->sendBytes("$R5,ACK,LED,1\r\n");
  rig.loop.runFor(60ms);
  EXPECT_LT(rig.findLog(">> $R5,ACK,LED"), 0);  // waits in the link
  rig.loop.runFor(45ms);                         // the line is out at 135 ms
  const long sent = rig.findLog("<< $R5,TYP");
  const long received = rig.findLog(">> $R5,ACK,LED,1");
  ASSERT_GE(received, 0);
  EXPECT_LT(sent, received);

  // When another line follows, its purge takes what came meanwhile, as a busy writer always did.
  rig.host->sendLine("$R5,TYP\r\n", false);
  rig.host->sendLine("$R5,FREE\r\n", false);
  rig.loop.runFor(30ms);
  rig.device->sendBytes("$R5,ACK,LED,2\r\n");
  ASSERT_TRUE(rig.settle());
  rig.loop.runFor(10ms);
  EXPECT_LT(rig.findLog(">> $R5,ACK,LED,2"), 0);
}

TEST(PacedSend, ASpeedChangeWaitsForTheLinesBeforeItAndTheNextByteWaitsForTheAdapter) {
  Rig rig({}, 1000, 2000000);
  ASSERT_TRUE(rig.connect());
  ASSERT_TRUE(rig.settle());
  rig.host->stopKeepAliveAndReplyWait();
  const auto mark = rig.wire->trace().size();
  rig.host->sendLine("$R5,PING\r\n", false);
  rig.host->setLinkSpeed(1000000);
  rig.host->sendLine("$R5,PING\r\n", false);
  EXPECT_EQ(rig.host->info().linkSpeed, 2000000u);  // not yet: the first line is going out
  rig.loop.runFor(150ms);
  EXPECT_EQ(rig.host->info().linkSpeed, 1000000u);
  // On the wire: the whole first line, the speed change, then the second line.
  std::string order;
  for (std::size_t i = mark; i < rig.wire->trace().size(); ++i) {
    const auto& e = rig.wire->trace()[i];
    if (e.kind == sim::WireEvent::HostWrite) order += e.text;
    if (e.kind == sim::WireEvent::HostSpeed) order += "|speed|";
  }
  EXPECT_EQ(order, "$R5,PING\r\n|speed|");
  rig.loop.runFor(1ms);
  EXPECT_EQ(wireText(rig, mark), "$R5,PING\r\n");  // the adapter settles first
  rig.loop.runFor(1ms);
  EXPECT_EQ(wireText(rig, mark), "$R5,PING\r\n$");
}

TEST(PacedSend, ABeforeSessionReplyDoesNotStartTheKeepAliveWhileTheRequestIsStillGoingOut) {
  Rig rig;
  rig.device->faults().silent = true;
  rig.host->connectAttempt();  // the first ping is going out and expects a reply
  ASSERT_TRUE(rig.host->sending());
  session::HostProbe::dispatch(*rig.host, "$R5,MSG,REC,OFF");
  EXPECT_FALSE(rig.loop.timerActive(session::kTimerKeepAlive));
}
