// What recdesk-cli's commands print: the list's summary row, the settings as they are used, and a
// failed download told once, with what stands where its files belong.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "EndToEnd.h"

using namespace recdesk::test;
using namespace std::chrono_literals;
namespace fs = std::filesystem;

namespace {


std::size_t occurrences(const std::string& text, const std::string& part) {
  std::size_t n = 0;
  for (auto at = text.find(part); at != std::string::npos; at = text.find(part, at + part.size())) ++n;
  return n;
}

std::string lastLine(const std::string& text) {
  const std::string trimmed = text.substr(0, text.find_last_not_of('\n') + 1);
  return trimmed.substr(trimmed.rfind('\n') + 1);
}

}  // namespace

TEST(CliCommands, ListEndsWithTheSummaryOfWhatADownloadWouldFetch) {
  TempDir dir;
  prepareEnvironment(dir);
  CliRun r = cli({"--demo", "list"});
  ASSERT_EQ(r.code, 0) << r.err;
  std::string summary = lastLine(r.out);
  EXPECT_EQ(summary.rfind("3 recordings Selected   IM2: ", 0), 0u) << r.out;
  // The short demo recordings take a few kB each, not "0.0 MB".
  EXPECT_TRUE(contains(summary, " kB   WAV: ")) << summary;
  EXPECT_FALSE(contains(summary, "0.0 MB")) << summary;

  // A recording on disk leaves the selection and its sizes.
  ASSERT_EQ(cli({"--demo", "download", "1", "--no-decode"}).code, 0);
  r = cli({"--demo", "list"});
  ASSERT_EQ(r.code, 0) << r.err;
  EXPECT_EQ(lastLine(r.out).rfind("2 recordings Selected   IM2: ", 0), 0u) << r.out;
}

TEST(CliCommands, SettingsShowTheBlockCountInUseAndDamagedNumbers) {
  TempDir dir;
  prepareEnvironment(dir);
  const fs::path file = dir / "s.ini";
  const auto show = [&](const std::string& text) {
    writeFile(file, text);
    return cli({"--settings", file.string(), "settings"});
  };
  CliRun r = show("[Options]\nAcceleration=6\n");
  ASSERT_EQ(r.code, 0) << r.err;
  EXPECT_TRUE(contains(r.out, "Options.Acceleration=6 (4 pages per block in use)\n")) << r.out;
  r = show("[Options]\nAcceleration=1000\n");
  EXPECT_TRUE(contains(r.out, "Options.Acceleration=1000 (256 pages per block in use)\n")) << r.out;
  r = show("[Options]\nAcceleration=0\n");
  EXPECT_TRUE(contains(r.out, "Options.Acceleration=0 (1 pages per block in use)\n")) << r.out;
  r = show("");
  EXPECT_TRUE(contains(r.out, "Options.Acceleration=8 (8 pages per block in use)\n")) << r.out;

  // Values that hold no number are reported, repaired where a repair exists, and flags are off.
  r = show("[Options]\nBaud=abc\nAutoDecrypt=\n");
  ASSERT_EQ(r.code, 0) << r.err;
  EXPECT_TRUE(contains(r.out, "Options.Baud=1000000\n")) << r.out;
  EXPECT_TRUE(contains(r.out, "Options.AutoDecrypt=0\n")) << r.out;
  EXPECT_TRUE(contains(r.err, "Options.Baud \"abc\" repaired to 1000000 and written back")) << r.err;
  EXPECT_TRUE(contains(r.err, "Options.AutoDecrypt holds no number")) << r.err;
  EXPECT_TRUE(contains(readFile(file), "Baud=1000000"));
}

TEST(CliCommands, AFolderInPlaceOfTheInformationFileIsReportedOnceAndGivenNoSize) {
  TempDir dir;
  prepareEnvironment(dir);
  fs::create_directories(dir / "im2" / "R5-12345.1.txt");
  fs::create_directories(dir / "wav");
  const CliRun r = cli({"--demo", "download", "1", "--download-folder", (dir / "im2").string(), "--decode-folder",
                        (dir / "wav").string()});
  EXPECT_EQ(r.code, 1);
  const std::string info = (dir / "im2" / "R5-12345.1.txt").string();
  EXPECT_TRUE(contains(r.out, "Recording 1: NOT complete")) << r.out;
  EXPECT_TRUE(contains(r.out, info + " (a folder stands in the file's place)")) << r.out;
  EXPECT_FALSE(contains(r.out, info + " (0")) << r.out;
  EXPECT_FALSE(contains(r.out, "17592186044416")) << r.out;  // the size of an error code
  EXPECT_EQ(occurrences(r.out + r.err, "cannot be opened for writing"), 1u) << r.out << r.err;
}
