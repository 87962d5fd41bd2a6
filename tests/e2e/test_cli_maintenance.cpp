// recdesk-cli format, check and preview against recdesk-sim over a real pseudo-terminal (the termios
// link and its reader thread), and the small maintenance commands against the in-process simulator.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "EndToEnd.h"

using namespace recdesk::test;
using namespace std::chrono_literals;

namespace {

std::size_t lineCount(const std::string& text) {
  std::size_t n = 0;
  for (char c : text) n += c == '\n';
  return n;
}

}  // namespace

TEST(CliMaintenance, FormatsAndChecksOverAPseudoTerminalOnlyWhenConfirmed) {
  TempDir dir;
  prepareEnvironment(dir);
  Sim sim({"--recordings", "2", "--bad-blocks", "2", "--format-seconds", "1.5", "--check-seconds", "0.5",
           "--check-short"},
          90);
  ASSERT_FALSE(sim.path.empty()) << sim.process.err();

  // Without --yes and without a terminal to ask, nothing is erased.
  CliRun r = cli({"--device", sim.path, "format"});
  EXPECT_EQ(r.code, 1);
  EXPECT_TRUE(contains(r.err, "recdesk-cli: the format was not confirmed: nothing was erased")) << r.err;

  const auto log = dir / "comms.log";
  r = cli({"--device", sim.path, "--log", log.string(), "format", "--yes"});
  ASSERT_EQ(r.code, 0) << r.err;
  EXPECT_TRUE(contains(r.out, "Format complete on R5-12345: 2 bad block(s)")) << r.out;
  const std::string text = readFile(log);
  EXPECT_TRUE(contains(text, ">> $R5,ACK,FMT,START")) << text;
  EXPECT_TRUE(contains(text, "Bad block found while formatting")) << text;
  r = cli({"--device", sim.path, "list"});
  ASSERT_EQ(r.code, 0) << r.err;
  EXPECT_TRUE(contains(r.out, ": 0 recording(s)")) << r.out;

  // The flash is empty now: the check asks once.
  r = cli({"--device", sim.path, "--yes", "check"});
  ASSERT_EQ(r.code, 0) << r.err;
  EXPECT_TRUE(contains(r.out, "Flash check complete on R5-12345: 2 bad block(s)")) << r.out;
  EXPECT_FALSE(contains(r.err, "not been downloaded completely")) << r.err;
}

TEST(CliMaintenance, PreviewPrintsTheLevelsAndWritesTheCsvThroughSurplusBytes) {
  TempDir dir;
  prepareEnvironment(dir);
  Sim sim({"--recordings", "2", "--extra-bytes-next", "2"}, 60);
  ASSERT_FALSE(sim.path.empty()) << sim.process.err();
  const auto csv = dir / "levels.csv";
  CliRun r = cli({"--device", sim.path, "preview", "1", "--csv", csv.string()});
  ASSERT_EQ(r.code, 0) << r.err;
  EXPECT_TRUE(contains(r.out, "Levels of recording 1, first ")) << r.out;
  EXPECT_TRUE(contains(r.out, "Channel 1: mean ")) << r.out;
  EXPECT_TRUE(contains(r.out, "|#")) << r.out;
  const std::string table = readFile(csv);
  ASSERT_TRUE(table.rfind("page,low1,high1", 0) == 0) << table;
  EXPECT_GT(lineCount(table), 10u);
  EXPECT_LE(lineCount(table), 301u);

  r = cli({"--device", sim.path, "preview", "99"});
  EXPECT_EQ(r.code, 1);
  EXPECT_TRUE(contains(r.err, "the recorder holds no recording 99")) << r.err;
  EXPECT_EQ(cli({"--device", sim.path, "preview"}).code, 2);
}

TEST(CliMaintenance, RecordLedAndTestModeWithTheDemo) {
  TempDir dir;
  prepareEnvironment(dir);
  CliRun r = cli({"--demo", "led", "2"});
  ASSERT_EQ(r.code, 0) << r.err;
  EXPECT_TRUE(contains(r.out, "LED mode 2 set.")) << r.out;
  EXPECT_EQ(cli({"--demo", "led", "4"}).code, 2);
  r = cli({"--demo", "record", "on"});
  ASSERT_EQ(r.code, 0) << r.err;
  EXPECT_TRUE(contains(r.out, "Recording on R5-12345.")) << r.out;
  r = cli({"--demo", "testmode", "off"});  // the demo recorder is not in test mode
  EXPECT_EQ(r.code, 1);
  EXPECT_TRUE(contains(r.err, "recdesk-cli: the recorder refused to switch its test mode off")) << r.err;
  r = cli({"--demo", "badblocks"});
  ASSERT_EQ(r.code, 0) << r.err;
  EXPECT_TRUE(contains(r.out, "Bad blocks: 0 of 8192 (0.00%)")) << r.out;
}
