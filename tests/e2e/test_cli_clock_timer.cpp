// recdesk-cli clock and timer against recdesk-sim over a real pseudo-terminal, and timer with --demo.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "EndToEnd.h"

using namespace recdesk::test;
using namespace std::chrono_literals;

TEST(CliClock, ShowsWarnsUnlessIgnoredAndSets) {
  TempDir dir;
  prepareEnvironment(dir);
  Sim sim({"--clock-offset", "300", "--recordings", "0"}, 90);
  ASSERT_FALSE(sim.path.empty()) << sim.process.err();

  const CliRun shown = cli({"--device", sim.path, "--no-log", "clock"});
  ASSERT_EQ(shown.code, 0) << shown.err;
  // The recorder tells whole seconds and its answer arrives a moment later: a second may have begun.
  const bool fiveMinutes = contains(shown.out, "Difference:           0:05:00 ahead of this computer's clock");
  EXPECT_TRUE(fiveMinutes || contains(shown.out, "Difference:           0:04:59 ahead of this computer's clock"))
      << shown.out;
  EXPECT_TRUE(contains(shown.err, fiveMinutes ? "warning: the recorder's clock is 0:05:00 ahead"
                                              : "warning: the recorder's clock is 0:04:59 ahead"))
      << shown.err;

  const auto ini = dir / "ignore.ini";
  writeFile(ini, "[Options]\nIgnoreRTC=1\n");
  const CliRun ignored = cli({"--settings", ini.string(), "--device", sim.path, "--no-log", "clock"});
  ASSERT_EQ(ignored.code, 0) << ignored.err;
  EXPECT_FALSE(contains(ignored.err, "warning")) << ignored.err;

  const CliRun set = cli({"--device", sim.path, "--no-log", "clock", "--set", "2031-02-03T04:05:06"});
  ASSERT_EQ(set.code, 0) << set.err;
  EXPECT_TRUE(contains(set.out, "Recorder clock set:   2031-02-03 04:05:0")) << set.out;

  const CliRun now = cli({"--device", sim.path, "--no-log", "clock", "--set", "now"});
  ASSERT_EQ(now.code, 0) << now.err;
  EXPECT_TRUE(contains(now.err, "warning")) << now.err;  // off by years before the set
  const CliRun after = cli({"--device", sim.path, "--no-log", "clock"});
  ASSERT_EQ(after.code, 0) << after.err;
  EXPECT_FALSE(contains(after.err, "warning")) << after.err;

  const CliRun bad = cli({"--device", sim.path, "clock", "--set", "2031-02-29T00:00:00"});
  EXPECT_EQ(bad.code, 2);
  EXPECT_TRUE(contains(bad.err, "YYYY-MM-DDTHH:MM:SS")) << bad.err;
}

TEST(CliTimer, WritesArmsRefusesWhileArmedDisarmsAndClears) {
  TempDir dir;
  prepareEnvironment(dir);
  Sim sim({"--recordings", "0", "--timer-slots", "3", "--timer-entry", "20200101,080000,60"}, 120);
  ASSERT_FALSE(sim.path.empty()) << sim.process.err();
  const auto log = dir / "comms.log";

  const CliRun shown = cli({"--device", sim.path, "--no-log", "timer"});
  ASSERT_EQ(shown.code, 0) << shown.err;
  EXPECT_TRUE(contains(shown.out, "    0  2020-01-01 08:00:00   00:01:00  past")) << shown.out;
  EXPECT_TRUE(contains(shown.out, "Total to record:      00:00:00")) << shown.out;
  EXPECT_TRUE(contains(shown.out, "Free after:")) << shown.out;

  const auto bad = dir / "bad.txt";
  writeFile(bad, "2030-05-01 10:00:00 3600\n2030-05-01 25:00:00 60\n");
  const CliRun refused = cli({"--device", sim.path, "--no-log", "timer", "--set", bad.string()});
  EXPECT_EQ(refused.code, 1);
  EXPECT_TRUE(contains(refused.err, "line 2:")) << refused.err;

  const auto past = dir / "past.txt";
  writeFile(past, "2001-05-01 10:00:00 3600\n");
  const CliRun nothingLeft = cli({"--device", sim.path, "--no-log", "timer", "--set", past.string()});
  EXPECT_EQ(nothingLeft.code, 1);
  EXPECT_TRUE(contains(nothingLeft.err, "nothing in the programme is still to come")) << nothingLeft.err;

  const auto good = dir / "programme.txt";
  writeFile(good, "# two meetings\n2030-05-01 10:00:00 3600\n2030-05-02 10:00:00 600\n");
  const CliRun written = cli({"--device", sim.path, "--log", log.string(), "timer", "--set", good.string()});
  ASSERT_EQ(written.code, 0) << written.err;
  EXPECT_TRUE(contains(written.out, "written (2 entries, 1 cleared) and the timer armed")) << written.out;
  const std::string text = readFile(log);
  EXPECT_TRUE(contains(text, "<< $R5,TMR,PGM,1,20300502,100000,600")) << text;
  EXPECT_TRUE(contains(text, "<< $R5,TMR,PGM,2,20000101,000000,0")) << text;
  EXPECT_TRUE(contains(text, "<< $R5,TMR,ON")) << text;

  const CliRun armed = cli({"--device", sim.path, "--no-log", "list"});
  EXPECT_EQ(armed.code, 1);
  EXPECT_TRUE(contains(armed.err, "timer is armed")) << armed.err;

  const CliRun disarmed = cli({"--device", sim.path, "--no-log", "timer", "--disarm"});
  ASSERT_EQ(disarmed.code, 0) << disarmed.err;
  EXPECT_TRUE(contains(disarmed.out, "Timer disarmed.")) << disarmed.out;

  const CliRun cleared = cli({"--device", sim.path, "--no-log", "timer", "--clear"});
  ASSERT_EQ(cleared.code, 0) << cleared.err;
  EXPECT_TRUE(contains(cleared.out, "cleared (3 entries)")) << cleared.out;

  const CliRun twoActions = cli({"--device", sim.path, "timer", "--arm", "--disarm"});
  EXPECT_EQ(twoActions.code, 2);
}

TEST(CliTimer, DemoAsksBeforeAProgrammeLongerThanTheFreeTime) {
  TempDir dir;
  prepareEnvironment(dir);
  const auto longer = dir / "long.txt";
  // Far more than the demo recorder's free recording time.
  std::string text;
  for (int day = 1; day <= 5; ++day) text += "2030-06-0" + std::to_string(day) + " 00:00:00 349199\n";
  writeFile(longer, text);
  const CliRun declined = cli({"--demo", "--no-log", "timer", "--set", longer.string()});
  EXPECT_EQ(declined.code, 1);
  EXPECT_TRUE(contains(declined.err, "more recording time than is free")) << declined.err;

  const CliRun agreed = cli({"--demo", "--no-log", "--yes", "timer", "--set", longer.string()});
  ASSERT_EQ(agreed.code, 0) << agreed.err;
  EXPECT_TRUE(contains(agreed.out, "5 entries, 3 cleared") && contains(agreed.out, "the timer armed")) << agreed.out;
}
