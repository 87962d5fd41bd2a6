// recdesk-cli's communications log: the daily file in the user's state folder by default, the file
// named by --log instead, none with --no-log.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "EndToEnd.h"

using namespace recdesk::test;
using namespace std::chrono_literals;
namespace fs = std::filesystem;

namespace {


// The files in a folder (none when it does not exist).
std::vector<fs::path> filesIn(const fs::path& folder) {
  std::vector<fs::path> files;
  std::error_code ec;
  for (const auto& e : fs::directory_iterator(folder, ec)) files.push_back(e.path());
  return files;
}

bool isDailyLogName(const std::string& name) {
  // "RecDesk.YYYYMMDD.log"
  return name.size() == std::string("RecDesk.20240101.log").size() && name.rfind("RecDesk.", 0) == 0 &&
         name.substr(16) == ".log" && name.substr(8, 8).find_first_not_of("0123456789") == std::string::npos;
}

}  // namespace

TEST(CliLog, EverySessionWritesTheDailyLogInTheStateFolderUnlessToldOtherwise) {
  TempDir dir;
  prepareEnvironment(dir);
  Sim sim({"--recordings", "1"}, 60);
  ASSERT_FALSE(sim.path.empty()) << sim.process.err();
  const fs::path state = dir / "state" / "recdesk";

  // By default: the daily file, time-stamped, with the lines sent and received.
  CliRun r = cli({"--device", sim.path, "--timeout", "20", "info"});
  auto files = filesIn(state);
  ASSERT_EQ(r.code, 0) << r.err << (files.empty() ? std::string() : readFile(files[0]));
  ASSERT_EQ(files.size(), 1u);
  EXPECT_TRUE(isDailyLogName(files[0].filename().string())) << files[0];
  std::string text = readFile(files[0]);
  EXPECT_EQ(text.rfind("[", 0), 0u) << text;
  EXPECT_TRUE(contains(text, "] - << $R5,VER")) << text;
  EXPECT_TRUE(contains(text, ">> $R5,ACK,LST,12345,1")) << text;
  EXPECT_FALSE(contains(text, "PING"));

  // A second run appends to the same day's file.
  const auto firstSize = text.size();
  r = cli({"--device", sim.path, "--timeout", "20", "info"});
  ASSERT_EQ(r.code, 0) << r.err;
  ASSERT_EQ(filesIn(state).size(), 1u);
  text = readFile(files[0]);
  EXPECT_GT(text.size(), firstSize + 100);

  // --log FILE takes the place of the daily file.
  const fs::path named = dir / "named.log";
  r = cli({"--device", sim.path, "--timeout", "20", "--log", named.string(), "info"});
  ASSERT_EQ(r.code, 0) << r.err;
  EXPECT_TRUE(contains(readFile(named), "<< $R5,VER"));
  EXPECT_EQ(readFile(files[0]).size(), text.size());

  // --no-log writes nothing anywhere.
  r = cli({"--device", sim.path, "--timeout", "20", "--no-log", "info"});
  ASSERT_EQ(r.code, 0) << r.err;
  EXPECT_EQ(readFile(files[0]).size(), text.size());
}

TEST(CliLog, LogOptionsAreCheckedBeforeAnythingRuns) {
  TempDir dir;
  prepareEnvironment(dir);
  CliRun r = cli({"--demo", "--log", (dir / "x.log").string(), "--no-log", "info"});
  EXPECT_EQ(r.code, 2);
  EXPECT_TRUE(contains(r.err, "either --log FILE or --no-log")) << r.err;

  // A log file that cannot be written stops the run before it connects.
  r = cli({"--demo", "--log", dir.path().string(), "info"});
  EXPECT_EQ(r.code, 1);
  EXPECT_TRUE(contains(r.err, "cannot write the log file")) << r.err;
  EXPECT_TRUE(r.out.empty());

  // A state folder that cannot be made costs the log, not the job.
  writeFile(dir / "blocked", "a file where the state folder would be");
  ::setenv("XDG_STATE_HOME", (dir / "blocked").c_str(), 1);
  r = cli({"--demo", "info"});
  EXPECT_EQ(r.code, 0) << r.err;
  EXPECT_TRUE(contains(r.err, "no communications log")) << r.err;
}

TEST(CliLog, ConversionsAreLoggedLikeSessions) {
  TempDir dir;
  prepareEnvironment(dir);
  ASSERT_EQ(cli({"demo", "--demo-folder", (dir / "demo").string()}).code, 0);
  const fs::path im2 = dir / "demo" / "R5-12345.1.im2";
  ASSERT_TRUE(fs::is_regular_file(im2));
  const fs::path state = dir / "state" / "recdesk";
  fs::remove_all(state);

  CliRun r = cli({"--no-log", "convert", im2.string(), (dir / "quiet.wav").string()});
  ASSERT_EQ(r.code, 0) << r.err;
  EXPECT_TRUE(filesIn(state).empty());

  r = cli({"convert", im2.string(), (dir / "out.wav").string()});
  ASSERT_EQ(r.code, 0) << r.err;
  const auto files = filesIn(state);
  ASSERT_EQ(files.size(), 1u);
  EXPECT_TRUE(isDailyLogName(files[0].filename().string())) << files[0];
  EXPECT_TRUE(contains(readFile(files[0]), im2.string())) << readFile(files[0]);
}
