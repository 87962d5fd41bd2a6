// recdesk-cli info against recdesk-sim over a real pseudo-terminal (the termios link and its reader
// thread), and against the in-process simulator (--demo).
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "EndToEnd.h"

using namespace recdesk::test;
using namespace std::chrono_literals;

namespace {

// recdesk-sim for at most a minute.
struct InfoSim : Sim {
  explicit InfoSim(std::vector<std::string> options) : Sim(std::move(options), 60) {}
};


// Positions of the entries in order; false when one is missing or out of order.
bool inOrder(const std::string& text, const std::vector<std::string>& entries) {
  std::size_t at = 0;
  for (const auto& e : entries) {
    const auto found = text.find(e, at);
    if (found == std::string::npos) return false;
    at = found + e.size();
  }
  return true;
}

}  // namespace

TEST(CliInfo, IdentifiesTheSimulatedRecorderOverAPseudoTerminal) {
  TempDir dir;
  prepareEnvironment(dir);
  InfoSim sim({"--recordings", "2", "--serial", "4711", "--clock-offset", "300"});
  ASSERT_FALSE(sim.path.empty()) << sim.process.err();
  const auto log = dir / "comms.log";
  const CliRun r = cli({"--device", sim.path, "--timeout", "20", "--log", log.string(), "info"});
  ASSERT_EQ(r.code, 0) << r.err;
  EXPECT_TRUE(contains(r.out, "R5-04711")) << r.out;
  EXPECT_TRUE(contains(r.out, "R5 1.2.0f")) << r.out;
  EXPECT_TRUE(contains(r.out, "1024 MB, 8192 blocks")) << r.out;
  EXPECT_TRUE(contains(r.out, "Recordings:           2")) << r.out;
  EXPECT_TRUE(contains(r.out, "ahead of this computer's clock")) << r.out;

  const std::string text = readFile(log);
  EXPECT_TRUE(inOrder(text, {"<< $R5,VER", ">> $R5,ACK,VER,", "<< $R5,LST", ">> $R5,ACK,LST,04711,2",
                             ">> $R5,MSG,LST,1,", ">> $R5,MSG,LST,2,", ">> $R5,MSG,LST,END", "<< $R5,TYP",
                             ">> $R5,ACK,TYP,", "<< $R5,FLASH", ">> $R5,ACK,FLASH,", "<< $R5,FREE",
                             ">> $R5,ACK,FREE,", "<< $R5,TIME", ">> $R5,ACK,TIME,"}))
      << text;
  EXPECT_FALSE(contains(text, "PING"));
  EXPECT_FALSE(contains(text, "$R5,COM"));  // a serial port keeps its speed

  // The recorder was reset at the end; a second run connects again.
  const CliRun again = cli({"--device", sim.path, "--timeout", "20", "info"});
  EXPECT_EQ(again.code, 0) << again.err;
}

TEST(CliInfo, OtherModelsAndAnswersInSmallPieces) {
  TempDir dir;
  prepareEnvironment(dir);
  {
    InfoSim sim({"--model", "T7", "--recordings", "0", "--split", "3"});
    ASSERT_FALSE(sim.path.empty());
    const CliRun r = cli({"--device", sim.path, "info"});
    ASSERT_EQ(r.code, 0) << r.err;
    EXPECT_TRUE(contains(r.out, "transmitter")) << r.out;
    EXPECT_TRUE(contains(r.out, "T7 1.04")) << r.out;
  }
  {
    InfoSim sim({"--model", "R5U", "--submodel", "5", "--recordings", "1"});
    ASSERT_FALSE(sim.path.empty());
    const CliRun r = cli({"--device", sim.path, "info"});
    ASSERT_EQ(r.code, 0) << r.err;
    EXPECT_TRUE(contains(r.out, "sub-model 5")) << r.out;
    EXPECT_TRUE(contains(r.out, "Recording type:       SPEECH")) << r.out;
  }
}

TEST(CliInfo, ASilentRecorderIsReportedAfterTheTimeOut) {
  TempDir dir;
  prepareEnvironment(dir);
  InfoSim sim({"--silent"});
  ASSERT_FALSE(sim.path.empty());
  const CliRun r = cli({"--device", sim.path, "--timeout", "3", "info"});
  EXPECT_NE(r.code, 0);
  EXPECT_TRUE(contains(r.err, "no recorder answered")) << r.err;
  EXPECT_TRUE(r.out.empty()) << r.out;
}

TEST(CliInfo, AMissingDeviceIsAClearError) {
  TempDir dir;
  prepareEnvironment(dir);
  const CliRun r = cli({"--device", (dir / "no-such-tty").string(), "info"});
  EXPECT_NE(r.code, 0);
  EXPECT_TRUE(contains(r.err, "cannot open")) << r.err;
}

TEST(CliInfo, DemoRunsTheSpeedAgreementAndTheWholeChain) {
  TempDir dir;
  prepareEnvironment(dir);
  const auto log = dir / "demo.log";
  const CliRun r = cli({"--demo", "--log", log.string(), "info"});
  ASSERT_EQ(r.code, 0) << r.err;
  EXPECT_TRUE(contains(r.out, "R5-12345")) << r.out;
  EXPECT_TRUE(contains(r.out, "at 2000000 bit/s")) << r.out;
  const std::string text = readFile(log);
  EXPECT_TRUE(inOrder(text, {"<< $R5,COM,2000000", ">> $R5,ACK,COM,2000000", "<< $R5,VER", "<< $R5,LST",
                             "<< $R5,TYP", "<< $R5,FLASH", "<< $R5,FREE", "<< $R5,TIME", ">> $R5,ACK,TIME,"}))
      << text;
}

TEST(CliInfo, ALinkLostDuringTheChainIsReportedAsSuch) {
  TempDir dir;
  prepareEnvironment(dir);
  InfoSim lost({"--lose-link-after", "4"});  // hangs up after the version query and ends
  ASSERT_FALSE(lost.path.empty());
  shortDemoRecordings();
  Process run({binPath("recdesk-cli"), "--device", lost.path, "--timeout", "4", "info"});
  EXPECT_EQ(lost.process.wait(10s), 0) << lost.process.err();

  // The host tries its device again every second. A simulator started now may be given the freed
  // terminal; the host must not reach it, and it must not keep that simulator's host out.
  InfoSim next({});
  ASSERT_FALSE(next.path.empty());
  EXPECT_NE(run.wait(30s), 0);
  EXPECT_TRUE(contains(run.err(), "was lost")) << run.err();
  const CliRun r = cli({"--device", next.path, "info"});
  EXPECT_EQ(r.code, 0) << r.err;
}
