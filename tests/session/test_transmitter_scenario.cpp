// The transmitter's configuration against the simulated T7 in virtual time: the query chain with its
// firmware gate, the apply queue (one line per reply, also on a lumpy link), and both refusals of a
// frequency.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <utility>
#include <vector>

#include "SessionRig.h"
#include "SimTransmitter.h"
#include "operations/Transmitter.h"

using namespace recdesk;
using namespace recdesk::test;
using namespace std::chrono_literals;
using operations::Scrambler;
using operations::TransmitPower;

namespace {

struct TxRig : Rig {
  explicit TxRig(const std::string& version = "", sim::TransmitterState initial = {}, int port = 1)
      : Rig(
            [&] {
              sim::DeviceConfig c;
              c.model = sim::Model::T7;
              c.version = version;
              return c;
            }(),
            port) {
    state = sim::installTransmitter(*device, initial);
  }
  bool openForm(operations::Transmitter& tx) {
    return tx.open() && loop.runUntil([&] { return tx.shown(); }, 10000ms);
  }
  std::shared_ptr<sim::TransmitterState> state;
};

// The transmitter lines on the wire in order: what the host wrote (whole lines) and what the
// transmitter answered, pings and presence answers left out.
std::vector<std::string> conversation(const sim::SimLink& wire, std::size_t from = 0) {
  std::vector<std::string> out;
  std::string line;
  const auto& trace = wire.trace();
  for (std::size_t i = from; i < trace.size(); ++i) {
    const auto& e = trace[i];
    if (e.kind == sim::WireEvent::HostWrite) {
      for (char c : e.text) {
        line += c;
        if (c != '\n') continue;
        if (line.find("$T7,") != std::string::npos) out.push_back("> " + line.substr(0, line.size() - 2));
        line.clear();
      }
    } else if (e.kind == sim::WireEvent::DeviceSent && e.text.find("$T7,") != std::string::npos &&
               e.text.find("READY") == std::string::npos) {
      out.push_back("< " + e.text.substr(0, e.text.find('\r')));
    }
  }
  return out;
}

}  // namespace

TEST(TransmitterScenario, TheQueryChainFillsTheFormAndApplySendsOneLinePerReply) {
  for (std::size_t pieces : {std::size_t(0), std::size_t(3)}) {
    TxRig rig;
    rig.wire->faults().splitEvery = pieces;  // the transmitter's answers in small pieces
    ASSERT_TRUE(rig.connect());
    EXPECT_TRUE(rig.host->state().transmitterPresent);
    operations::Transmitter tx(*rig.host);
    const std::size_t start = rig.wire->trace().size();
    ASSERT_TRUE(rig.openForm(tx));
    EXPECT_EQ(conversation(*rig.wire, start),
              (std::vector<std::string>{"> $T7,TX", "< $T7,ACK,TX,ON,HI", "> $T7,SCR", "< $T7,ACK,SCR,OFF",
                                        "> $T7,FRQ", "< $T7,ACK,FRQ,162475000,12500", "> $T7,RANGE",
                                        "< $T7,ACK,RANGE,150000000,174000000"}));
    const auto& v = tx.values();
    EXPECT_EQ(v.power, TransmitPower::High);
    EXPECT_EQ(v.scrambler, Scrambler::Off);
    EXPECT_EQ(v.frequencyText, "162.4750");
    EXPECT_FLOAT_EQ(v.secondValue, 12.5f);
    EXPECT_FALSE(tx.initialQueryRunning());

    operations::TransmitterForm form = tx.form();
    form.power = TransmitPower::Low;
    form.scrambler = Scrambler::On;
    form.frequencyText = "150";
    const std::size_t applied = rig.wire->trace().size();
    ASSERT_TRUE(tx.apply(form));
    ASSERT_TRUE(rig.loop.runUntil([&] { return tx.queued() == 0 && tx.awaitingReplies() == 0; }, 10000ms));
    EXPECT_EQ(conversation(*rig.wire, applied),
              (std::vector<std::string>{"> $T7,TX,ON,LO", "< $T7,ACK,TX,ON,LO", "> $T7,FRQ,150000000",
                                        "< $T7,ACK,FRQ,150000000,12500", "> $T7,SCR,ON", "< $T7,ACK,SCR,ON"}));
    EXPECT_FALSE(rig.state->highPower);
    EXPECT_TRUE(rig.state->scrambler);
    EXPECT_EQ(rig.state->frequencyHz, 150000000.0);
    EXPECT_EQ(tx.values().frequencyText, "150.0000");
    EXPECT_TRUE(rig.ui.messages.empty());
  }
}

TEST(TransmitterScenario, OlderFirmwareIsNotAskedForItsRangeAndTheDefaultRangeApplies) {
  sim::TransmitterState narrow;
  narrow.lowestHz = 160000000;
  narrow.highestHz = 170000000;
  for (const auto& [version, asked] : std::vector<std::pair<std::string, bool>>{
           {"T7 1.01 B43", false}, {"T7 1.01 B44", true}, {"T7 1.02", true}, {"T7 unknown", false}}) {
    TxRig rig(version, narrow);
    ASSERT_TRUE(rig.connect());
    operations::Transmitter tx(*rig.host);
    ASSERT_TRUE(rig.openForm(tx)) << version;  // also when the version cannot be read
    const auto lines = rig.linesSent();
    EXPECT_EQ(std::count(lines.begin(), lines.end(), "$T7,RANGE\r\n"), asked ? 1 : 0) << version;
    EXPECT_EQ(tx.values().lowestHz, asked ? 160000000.0 : operations::kLowestFrequencyHz) << version;
    EXPECT_EQ(tx.values().highestHz, asked ? 170000000.0 : operations::kHighestFrequencyHz) << version;
  }
}

TEST(TransmitterScenario, AFrequencyOutsideTheRangeOrRefusedIsToldAndCleared) {
  sim::TransmitterState narrow;
  narrow.lowestHz = 160000000;
  narrow.highestHz = 170000000;
  // The transmitter reports its range: 155 MHz is refused here, nothing is sent.
  {
    TxRig rig("T7 1.02", narrow);
    ASSERT_TRUE(rig.connect());
    operations::Transmitter tx(*rig.host);
    ASSERT_TRUE(rig.openForm(tx));
    const std::size_t before = rig.linesSent().size();
    operations::TransmitterForm form = tx.form();
    form.frequencyText = "155";
    EXPECT_FALSE(tx.apply(form));
    ASSERT_EQ(rig.ui.messages.size(), 1u);
    EXPECT_EQ(rig.ui.messages[0].text, lang::text(TextId::TransmitterFrequencyRefused));
    EXPECT_EQ(rig.ui.messages[0].caption, lang::text(TextId::TransmitterTitle));
    EXPECT_EQ(tx.values().frequencyText, "");
    ASSERT_TRUE(rig.settle());
    EXPECT_EQ(rig.linesSent().size(), before);
  }
  // Older firmware: the default range lets 155 MHz through and the transmitter refuses it.
  {
    TxRig rig("T7 1.00", narrow);
    ASSERT_TRUE(rig.connect());
    operations::Transmitter tx(*rig.host);
    ASSERT_TRUE(rig.openForm(tx));
    operations::TransmitterForm form = tx.form();
    form.frequencyText = "155";
    ASSERT_TRUE(tx.apply(form));
    ASSERT_TRUE(rig.loop.runUntil([&] { return tx.refusals() > 0; }, 10000ms));
    EXPECT_EQ(rig.ui.messages.size(), 1u);
    EXPECT_EQ(tx.values().frequencyText, "");
    EXPECT_EQ(rig.state->frequencyHz, 162475000.0);
    // The scrambler line still follows the refusal.
    ASSERT_TRUE(rig.loop.runUntil([&] { return tx.queued() == 0 && tx.awaitingReplies() == 0; }, 10000ms));
  }
}

TEST(TransmitterScenario, WithoutAScramblerTheApplySendsTwoLines) {
  sim::TransmitterState noScrambler;
  noScrambler.scramblerSupported = false;
  TxRig rig("", noScrambler);
  ASSERT_TRUE(rig.connect());
  operations::Transmitter tx(*rig.host);
  ASSERT_TRUE(rig.openForm(tx));
  EXPECT_FALSE(tx.values().scramblerAvailable);
  const std::size_t applied = rig.wire->trace().size();
  ASSERT_TRUE(tx.apply(tx.form()));
  ASSERT_TRUE(rig.loop.runUntil([&] { return tx.queued() == 0 && tx.awaitingReplies() == 0; }, 10000ms));
  EXPECT_EQ(conversation(*rig.wire, applied),
            (std::vector<std::string>{"> $T7,TX,ON,HI", "< $T7,ACK,TX,ON,HI", "> $T7,FRQ,162475000",
                                      "< $T7,ACK,FRQ,162475000,12500"}));
}

TEST(TransmitterScenario, ALostAnswerIsAskedAgainAndASilentQueryGivesUp) {
  {
    TxRig rig;
    ASSERT_TRUE(rig.connect());
    operations::Transmitter tx(*rig.host);
    rig.device->faults().silent = true;  // the first answer to "$T7,TX" is lost
    ASSERT_TRUE(tx.open());
    rig.loop.runUntil([&] { return false; }, 400ms);
    rig.device->faults().silent = false;
    ASSERT_TRUE(rig.loop.runUntil([&] { return tx.shown(); }, 10000ms));
    const auto lines = rig.linesSent();
    EXPECT_EQ(std::count(lines.begin(), lines.end(), "$T7,TX\r\n"), 2);
    EXPECT_EQ(std::count(lines.begin(), lines.end(), "$T7,SCR\r\n"), 1);  // the chain runs once
    EXPECT_EQ(tx.values().frequencyText, "162.4750");
  }
  {
    TxRig rig;
    rig.device->addCommand("TX", [](sim::SimRecorder&, const std::string&, const std::vector<std::string>&) {});
    ASSERT_TRUE(rig.connect());
    operations::Transmitter tx(*rig.host);
    ASSERT_TRUE(tx.open());
    ASSERT_TRUE(rig.loop.runUntil([&] { return !tx.initialQueryRunning(); }, 20000ms));
    EXPECT_FALSE(tx.shown());
    const auto lines = rig.linesSent();
    EXPECT_EQ(std::count(lines.begin(), lines.end(), "$T7,TX\r\n"), operations::Transmitter::kQueryTries);
    ASSERT_EQ(rig.ui.messages.size(), 1u);
    EXPECT_EQ(rig.ui.messages[0].text, lang::text(TextId::TransmitterNoAnswer));
    EXPECT_TRUE(rig.host->state().connected);  // the transmitter itself still answers
  }
}

TEST(TransmitterScenario, ASecondApplyBeforeTheRepliesCameEndsWithNothingAwaitedAndItsValuesSet) {
  // The second Apply comes at every stage of the first: while its first line goes out, while the
  // answer is on its way, between its lines.
  for (int delayMs = 0; delayMs <= 1200; delayMs += 60) {
    TxRig rig;
    ASSERT_TRUE(rig.connect());
    operations::Transmitter tx(*rig.host);
    ASSERT_TRUE(rig.openForm(tx));
    operations::TransmitterForm first = tx.form();
    first.power = TransmitPower::Low;
    first.scrambler = Scrambler::On;
    first.frequencyText = "150";
    ASSERT_TRUE(tx.apply(first));
    rig.loop.runUntil([] { return false; }, std::chrono::milliseconds(delayMs));
    operations::TransmitterForm second = first;
    second.power = TransmitPower::High;
    second.frequencyText = "170";
    tx.apply(second);
    ASSERT_TRUE(rig.loop.runUntil([&] { return tx.queued() == 0 && tx.awaitingReplies() == 0; }, 10000ms))
        << "second apply after " << delayMs << " ms: " << tx.queued() << " queued, " << tx.awaitingReplies()
        << " awaited";
    EXPECT_TRUE(tx.applyEnabled()) << delayMs;
    // Nothing of the first apply goes after the second's lines.
    ASSERT_TRUE(rig.settle());
    EXPECT_TRUE(rig.state->highPower) << delayMs;
    EXPECT_EQ(rig.state->frequencyHz, 170000000.0) << delayMs;
    EXPECT_EQ(tx.values().frequencyText, "170.0000") << delayMs;
    EXPECT_TRUE(rig.host->state().connected) << delayMs;
  }
}

TEST(TransmitterScenario, ASettingWhoseAnswerIsLostDoesNotHoldBackTheOthers) {
  TxRig rig;
  ASSERT_TRUE(rig.connect());
  operations::Transmitter tx(*rig.host);
  ASSERT_TRUE(rig.openForm(tx));
  operations::TransmitterForm form = tx.form();
  form.power = TransmitPower::Low;
  rig.device->faults().silent = true;  // the answer to the power line is lost
  ASSERT_TRUE(tx.apply(form));
  ASSERT_TRUE(rig.settle());
  rig.loop.runUntil([] { return false; }, 100ms);
  rig.device->faults().silent = false;
  EXPECT_EQ(tx.awaitingReplies(), 1u);
  EXPECT_EQ(tx.queued(), 2u);  // nothing goes while the answer may still come
  ASSERT_TRUE(rig.loop.runUntil([&] { return tx.queued() == 0 && tx.awaitingReplies() == 0; }, 10000ms));
  EXPECT_NE(rig.logText().find(lang::text(TextId::TransmitterSettingUnanswered)), std::string::npos);
  const auto lines = rig.linesSent();
  EXPECT_EQ(std::count(lines.begin(), lines.end(), "$T7,SCR,OFF\r\n"), 1);
  EXPECT_TRUE(rig.host->state().connected);
}

TEST(TransmitterScenario, AQueryAskedWhileTheLinkSpeedIsAgreedWaitsForItAndIsAnswered) {
  TxRig rig("", {}, 1000);  // an adapter port: the speed is switched after connecting
  operations::Transmitter tx(*rig.host);
  rig.host->connectAttempt();
  ASSERT_TRUE(rig.loop.runUntil([&] { return rig.host->speedChanging(); }, 10000ms));
  EXPECT_TRUE(rig.host->state().speedChanging);
  EXPECT_TRUE(rig.host->state().connected);
  ASSERT_TRUE(tx.open());
  EXPECT_TRUE(tx.initialQueryRunning());
  const auto before = rig.linesSent();
  EXPECT_EQ(std::count(before.begin(), before.end(), "$T7,TX\r\n"), 0);  // held, not sent into the switch
  ASSERT_TRUE(rig.loop.runUntil([&] { return tx.shown(); }, 10000ms));
  EXPECT_FALSE(rig.host->speedChanging());
  EXPECT_EQ(rig.host->info().linkSpeed, 2000000u);
  EXPECT_EQ(tx.values().power, TransmitPower::High);
  EXPECT_EQ(tx.values().frequencyText, "162.4750");
  const auto lines = rig.linesSent();
  EXPECT_EQ(std::count(lines.begin(), lines.end(), "$T7,TX\r\n"), 1);  // asked once, at the new speed
  EXPECT_TRUE(rig.ui.messages.empty());  // no "did not answer" warning
}
