// The settings file under recdesk-cli: it applies to every run, whatever names the link, and the
// command line overrides it for one run. recdesk-sim serves a real pseudo-terminal.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "EndToEnd.h"

using namespace recdesk::test;
using namespace std::chrono_literals;
namespace fs = std::filesystem;

namespace {


// Writes the default settings file (the one read without --settings) of the test's environment.
void writeDefaultSettings(const TempDir& dir, const std::string& text) {
  fs::create_directories(dir / "config" / "recdesk");
  writeFile(dir / "config" / "recdesk" / "recdesk.ini", text);
}

std::string settingsWithFolders(const TempDir& dir, const std::string& more) {
  return "[Options]\nDownloadFolder=" + (dir / "im2").string() + "\nDecryptFolder=" + (dir / "wav").string() +
         "\n" + more + "[MainWindow]\nFilePrefix=Field\n";
}

}  // namespace

TEST(CliSettings, ADeviceRunDownloadsIntoTheFoldersOfTheSettingsFile) {
  TempDir dir;
  prepareEnvironment(dir);
  fs::create_directories(dir / "im2");
  fs::create_directories(dir / "wav");
  writeDefaultSettings(dir, settingsWithFolders(dir, "Acceleration=4\nAutoDecrypt=1\n"));
  Sim sim({"--recordings", "1"}, 120);
  ASSERT_FALSE(sim.path.empty()) << sim.process.err();

  const CliRun r = cli({"--device", sim.path, "--timeout", "20", "download", "--all"});
  ASSERT_EQ(r.code, 0) << r.out << r.err;
  EXPECT_TRUE(contains(r.out, "(4 pages per block)")) << r.out;
  EXPECT_TRUE(fs::is_regular_file(dir / "im2" / "Field.R5-12345.1.im2")) << r.out;
  EXPECT_TRUE(fs::is_regular_file(dir / "im2" / "Field.R5-12345.1.txt")) << r.out;
  EXPECT_TRUE(fs::is_regular_file(dir / "wav" / "Field.R5-12345.1.00.wav")) << r.out;
}

TEST(CliSettings, CommandLineOptionsOverrideTheSettingsForOneRun) {
  TempDir dir;
  prepareEnvironment(dir);
  fs::create_directories(dir / "im2");
  fs::create_directories(dir / "wav");
  fs::create_directories(dir / "other");
  const fs::path settings = dir / "my.ini";
  const std::string text = settingsWithFolders(dir, "AutoDecrypt=0\nBaud=115200\nPort=3\n");
  writeFile(settings, text);
  Sim sim({"--recordings", "1"}, 120);
  ASSERT_FALSE(sim.path.empty()) << sim.process.err();

  const CliRun r = cli({"--settings", settings.string(), "--device", sim.path, "--timeout", "20", "download",
                        "--all", "--prefix", "Once", "--download-folder", (dir / "other").string()});
  ASSERT_EQ(r.code, 0) << r.out << r.err;
  EXPECT_TRUE(fs::is_regular_file(dir / "other" / "Once.R5-12345.1.im2")) << r.out;
  EXPECT_TRUE(fs::is_empty(dir / "im2"));
  EXPECT_TRUE(fs::is_empty(dir / "wav"));  // AutoDecrypt=0 holds: nothing decoded
  EXPECT_EQ(readFile(settings), text);     // the overrides are not stored
}

TEST(CliSettings, TheDemoKeepsToItsOwnFoldersButFollowsTheOtherSettings) {
  TempDir dir;
  prepareEnvironment(dir);
  fs::create_directories(dir / "im2");
  fs::create_directories(dir / "wav");
  writeDefaultSettings(dir, settingsWithFolders(dir, "AutoDecrypt=0\nAcceleration=16\n"));

  const CliRun r = cli({"--demo", "download", "1"});
  ASSERT_EQ(r.code, 0) << r.out << r.err;
  EXPECT_TRUE(contains(r.out, "(16 pages per block)")) << r.out;
  EXPECT_TRUE(fs::is_regular_file(dir / "cache" / "recdesk" / "demo" / "download" / "R5-12345.1.im2")) << r.out;
  EXPECT_FALSE(fs::exists(dir / "cache" / "recdesk" / "demo" / "decode" / "R5-12345.1.00.wav"));
  EXPECT_TRUE(fs::is_empty(dir / "im2"));

  // Folders given on the command line are taken, also by the demo.
  const CliRun given = cli({"--demo", "download", "2", "--download-folder", (dir / "im2").string()});
  ASSERT_EQ(given.code, 0) << given.out << given.err;
  EXPECT_TRUE(fs::is_regular_file(dir / "im2" / "R5-12345.2.im2")) << given.out;
}

TEST(CliSettings, DamagedNumbersInTheSettingsAreNotTakenForDefaults) {
  TempDir dir;
  prepareEnvironment(dir);
  fs::create_directories(dir / "im2");
  fs::create_directories(dir / "wav");
  writeDefaultSettings(dir, settingsWithFolders(dir, "AutoDecrypt=\nBaud=abc\n"));
  Sim sim({"--recordings", "1"}, 120);
  ASSERT_FALSE(sim.path.empty()) << sim.process.err();

  const CliRun r = cli({"--device", sim.path, "--timeout", "20", "download", "--all"});
  ASSERT_EQ(r.code, 0) << r.out << r.err;
  EXPECT_TRUE(fs::is_regular_file(dir / "im2" / "Field.R5-12345.1.im2")) << r.out;
  EXPECT_TRUE(fs::is_empty(dir / "wav"));  // an empty AutoDecrypt is off
  EXPECT_TRUE(contains(r.err, "Options.AutoDecrypt in ")) << r.err;
  EXPECT_TRUE(contains(readFile(dir / "config" / "recdesk" / "recdesk.ini"), "Baud=1000000\n"));
}
