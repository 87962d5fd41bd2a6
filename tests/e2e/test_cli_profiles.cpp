// recdesk-cli profiles, options and restrictions: the models behind the command line, and the
// restriction that stops a command before it starts.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "EndToEnd.h"

using namespace recdesk::test;
using namespace std::chrono_literals;
namespace fs = std::filesystem;

namespace {

CliRun cli(const fs::path& settings, std::vector<std::string> args) {
  args.insert(args.begin(), {"--settings", settings.string(), "--no-log"});
  return runCli(std::move(args), 60s);
}

}  // namespace

TEST(CliProfiles, AddListRemoveAndApplyToTheDemoRecorder) {
  TempDir dir;
  prepareEnvironment(dir);
  const fs::path s = dir / "s.ini";
  writeFile(dir / "p.ini",
            "[Profiles]\nNumProfiles=2\nProfile0=Quiet,11025,4,1,0,R5\nProfile1=Wide,22050,16,2,0,R6\n");
  writeFile(s, "[Options]\nProfileIni=" + (dir / "p.ini").string() + "\n");

  CliRun r = cli(s, {"profiles", "add", "Talk", "8000", "4", "1", "0", "--type", "R5"});
  ASSERT_EQ(r.code, 0) << r.err;
  r = cli(s, {"profiles", "add", "Big", "16000", "4", "1", "0", "--type", "R5"});
  EXPECT_EQ(r.code, 1);  // 16000 Hz is not offered for an R5
  EXPECT_TRUE(contains(r.err, "not offered for R5")) << r.err;
  EXPECT_TRUE(
      contains(readFile(s), "[Device Profiles for R5]\nProfile0=Talk,0,8000,4,1,0,0,R5\nNumProfiles=1\n"))
      << readFile(s);

  r = cli(s, {"profiles"});
  ASSERT_EQ(r.code, 0) << r.err;
  EXPECT_TRUE(contains(r.out, "* Talk   settings, R5: 8000 Hz, 4 bits, mono, gain auto\n")) << r.out;
  EXPECT_TRUE(contains(r.out, "  Wide   profile file, R6: 22050 Hz, 16 bits, stereo, gain auto\n")) << r.out;
  r = cli(s, {"profiles", "remove", "Quiet"});
  EXPECT_EQ(r.code, 1);
  EXPECT_TRUE(contains(r.err, "read-only")) << r.err;

  // The demo recorder is an R5: the R6 profile is not offered, and applying one selects it.
  r = cli(s, {"--demo", "profiles", "apply", "Quiet"});
  ASSERT_EQ(r.code, 0) << r.err;
  EXPECT_TRUE(contains(r.out, "the recorder now uses: Quiet (Mono:11025,4,bits Gain - auto)")) << r.out;
  r = cli(s, {"--demo", "profiles", "apply", "Wide"});
  EXPECT_EQ(r.code, 1);

  ASSERT_EQ(cli(s, {"profiles", "remove", "Talk"}).code, 0);
  EXPECT_TRUE(contains(readFile(s), "[Device Profiles for R5]\nNumProfiles=0\n")) << readFile(s);
}

TEST(CliProfiles, OptionsAndRestrictionsThroughTheirModels) {
  TempDir dir;
  prepareEnvironment(dir);
  const fs::path s = dir / "s.ini";
  writeFile(s, "[Options]\nPort=1000\nBaud=2000000\nDownloadFolder=/rec\nDecryptFolder=/wav\n");
  CliRun r = cli(s, {"options", "--link", "7", "--cut-minutes", "30", "--acceleration", "64"});
  ASSERT_EQ(r.code, 0) << r.err;
  const std::string text = readFile(s);
  EXPECT_TRUE(contains(text, "Port=3\n") && contains(text, "Baud=115200\n")) << text;
  EXPECT_TRUE(contains(text, "WaveCutTime=30\n") && contains(text, "WaveCutSize=0\n")) << text;
  EXPECT_TRUE(contains(text, "Acceleration=64\n")) << text;
  EXPECT_EQ(cli(s, {"options", "--acceleration", "6"}).code, 2);
  r = cli(s, {"options", "--profile-file", s.string()});
  EXPECT_EQ(r.code, 1);
  EXPECT_TRUE(contains(r.err, "no device profiles")) << r.err;

  // Locked downloads, Options, format and timer refuse to start; the right password unlocks them again.
  r = cli(s, {"restrictions", "set", "--active", "1", "--mask", "197", "--new-password", "Pw"});
  ASSERT_EQ(r.code, 0) << r.err;
  r = cli(s, {"--demo", "download", "--all"});
  EXPECT_EQ(r.code, 1);
  EXPECT_TRUE(contains(r.err, "'download' is locked by the access restrictions")) << r.err;
  EXPECT_EQ(cli(s, {"options", "--link", "1"}).code, 1);
  r = cli(s, {"--demo", "--yes", "format"});
  EXPECT_EQ(r.code, 1);
  EXPECT_TRUE(contains(r.err, "'format' is locked by the access restrictions")) << r.err;
  r = cli(s, {"--demo", "timer"});
  EXPECT_EQ(r.code, 1);
  EXPECT_TRUE(contains(r.err, "'timer' is locked")) << r.err;
  EXPECT_EQ(cli(s, {"options"}).code, 0);  // looking is allowed
  EXPECT_EQ(cli(s, {"restrictions", "set", "--active", "0", "--password", "pw"}).code, 1);
  ASSERT_EQ(cli(s, {"restrictions", "set", "--active", "0", "--password", "Pw"}).code, 0);
  EXPECT_EQ(cli(s, {"options", "--link", "1"}).code, 0);
}
