// recdesk-cli list and download against recdesk-sim over a real pseudo-terminal (the termios link and
// its reader thread): the IM2 files must equal the simulated flash byte for byte, also when the
// simulator corrupts, loses and adds bytes, and a download cut off by an unplugged recorder must
// continue to the same file.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "../e2e/EndToEnd.h"
#include "DemoRecorder.h"
#include "TestSupport.h"

using namespace recdesk::test;
using namespace std::chrono_literals;
namespace fs = std::filesystem;

namespace {

// recdesk-sim with two recordings, for at most two minutes.
struct DownloadSim : Sim {
  explicit DownloadSim(std::vector<std::string> options) : Sim(withRecordings(std::move(options)), 120) {}
  static std::vector<std::string> withRecordings(std::vector<std::string> options) {
    options.insert(options.begin(), {"--recordings", "2"});
    return options;
  }
};

// The IM2 files the simulator's flash gives (the same seed as recdesk-sim's default).
std::vector<std::string> expectedFiles() {
  recdesk::sim::DeviceConfig config;
  auto device = recdesk::sim::makeDemoRecorder(config, 2);
  std::vector<std::string> files;
  for (const auto& r : device->recordings()) {
    const auto bytes = r.im2();
    files.emplace_back(bytes.begin(), bytes.end());
  }
  return files;
}

std::vector<std::string> downloadArgs(const std::string& device, const TempDir& dir) {
  return {"--device", device, "--timeout", "20", "download", "--all", "--download-folder", (dir / "im2").string(),
          "--decode-folder", (dir / "wav").string(), "--prefix", "E2E"};
}

}  // namespace

TEST(CliDownload, FetchesEveryRecordingByteForByteThroughFaults) {
  TempDir dir;
  prepareEnvironment(dir);
  fs::create_directories(dir / "im2");
  fs::create_directories(dir / "wav");
  DownloadSim sim({"--flip", "0.2", "--extra-bytes-next", "1", "--drop-bytes-next", "1", "--skip-ahead", "1"});
  ASSERT_FALSE(sim.path.empty()) << sim.process.err();

  const CliRun list = cli({"--device", sim.path, "--timeout", "20", "list", "--download-folder", (dir / "im2").string()});
  ASSERT_EQ(list.code, 0) << list.err;
  EXPECT_NE(list.out.find("R5-12345: 2 recording(s)"), std::string::npos) << list.out;

  const CliRun r = cli(downloadArgs(sim.path, dir));
  ASSERT_EQ(r.code, 0) << r.out << r.err;
  const auto expected = expectedFiles();
  for (std::size_t i = 0; i < expected.size(); ++i) {
    const fs::path file = dir / "im2" / ("E2E.R5-12345." + std::to_string(i + 1) + ".im2");
    EXPECT_EQ(readFile(file), expected[i]) << file;
    EXPECT_TRUE(fs::exists(dir / "wav" / ("E2E.R5-12345." + std::to_string(i + 1) + ".00.wav")));
  }
  EXPECT_NE(r.out.find("Recording 1: complete"), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("Recording 2: complete"), std::string::npos) << r.out;
}

TEST(CliDownload, AnUnpluggedRecorderFailsTheRunAndTheNextRunContinues) {
  TempDir dir;
  prepareEnvironment(dir);
  fs::create_directories(dir / "im2");
  fs::create_directories(dir / "wav");
  const fs::path file = dir / "im2" / "E2E.R5-12345.1.im2";
  {
    DownloadSim sim({"--unplug-after-blocks", "3"});
    ASSERT_FALSE(sim.path.empty()) << sim.process.err();
    const CliRun r = cli(downloadArgs(sim.path, dir));
    EXPECT_NE(r.code, 0) << r.out << r.err;
    EXPECT_NE(r.out.find("Recording 1: NOT complete"), std::string::npos) << r.out;
    // The summary names every recording asked for, also the one the download never came to.
    EXPECT_NE(r.out.find("Recording 2: NOT reached"), std::string::npos) << r.out;
  }
  ASSERT_TRUE(fs::exists(file));
  EXPECT_EQ(fs::file_size(file), 17u * 528);  // header + 2 blocks of 8 pages
  // Its report says how it ended.
  const std::string report = readFile(dir / "im2" / "E2E.R5-12345.1.txt");
  EXPECT_NE(report.find("interrupted"), std::string::npos) << report;
  EXPECT_EQ(report.substr(report.size() - 2), "\r\n");

  DownloadSim sim({});
  ASSERT_FALSE(sim.path.empty()) << sim.process.err();
  const CliRun r = cli(downloadArgs(sim.path, dir));
  ASSERT_EQ(r.code, 0) << r.out << r.err;
  EXPECT_NE(r.out.find("(" + std::to_string(expectedFiles()[0].size() / 528 - 17) + " fetched now)"), std::string::npos)
      << r.out;
  EXPECT_EQ(readFile(file), expectedFiles()[0]);
}

TEST(CliDownload, AcceptedBadPagesAreFollowedByTheBadBlockScanWhoseResultIsPrinted) {
  TempDir dir;
  prepareEnvironment(dir);
  fs::create_directories(dir / "im2");
  fs::create_directories(dir / "wav");
  DownloadSim sim({"--bad-page", "1:3", "--bad-blocks", "41"});
  ASSERT_FALSE(sim.path.empty()) << sim.process.err();
  std::vector<std::string> args = downloadArgs(sim.path, dir);
  args.push_back("--no-decode");
  const CliRun r = cli(args);
  ASSERT_EQ(r.code, 0) << r.out << r.err;
  EXPECT_NE(r.out.find("Recording 1: complete"), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("1 bad page(s) accepted"), std::string::npos) << r.out;
  // 41 of the 8192 blocks of the simulated flash.
  EXPECT_NE(r.out.find("Bad-block scan: Bad blocks found: 41; Share of bad blocks: 0.50%"), std::string::npos)
      << r.out;
}
