// WAV filter throughput, end to end, beside SoX doing the same job on the same files.
//
//   bench_filter                       all benchmarks, then a summary of the ratios
//   RECDESK_CLI=/path/recdesk-cli      the program to time (default: recdesk-cli beside this program)
//   RECDESK_BENCH_RUNS=N               timed runs per command (default 5; the median counts)
//
// Two generated files (speech-like signal): 60 minutes 8000 Hz mono and 10 minutes 44100 Hz stereo.
// Each comparison runs our command and SoX's in turn, N times, each as a separate process timed by
// the wall clock from start to exit; the medians give samples per second per channel and the ratio.
//   mode 0 (33-tap speech band)      vs  sox -D IN OUT sinc -n 33 300-3300
//   mode 1 (the same + level control) vs  sox IN OUT sinc -n 33 300-3300 compand 0.02,0.3 6:-70,-60,-20 -5
//   -90 0.1
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <random>
#include <string>
#include <vector>

#include "audio/FirFilter.h"
#include "audio/WavFilter.h"
#include "audio/WaveFile.h"

extern char** environ;

namespace {

namespace fs = std::filesystem;
using recdesk::audio::FirFilter;

struct TestFile {
  const char* name;
  std::uint32_t rate;
  std::uint16_t channels;
  std::uint32_t seconds;
  std::string path;
  std::uint64_t frames() const { return static_cast<std::uint64_t>(rate) * seconds; }
};

TestFile gFiles[] = {{"8k_mono_60min", 8000, 1, 3600, {}}, {"44k_stereo_10min", 44100, 2, 600, {}}};
fs::path gDir;

// A speech-like signal: voiced syllables (a few partials with a moving pitch), pauses, a little noise
// and some hum with a DC offset, so that the filters and the level control all have work to do.
void generate(TestFile& file) {
  if (!file.path.empty()) return;
  std::fprintf(stderr, "generating %s ...\n", file.name);
  file.path = (gDir / (std::string(file.name) + ".wav")).string();
  recdesk::audio::WaveFile wav;
  recdesk::audio::FileError error;
  if (!wav.Open(file.path, recdesk::audio::CFile64::kWrite, 0, recdesk::audio::CFile64::kCreateAlways,
                &error)) {
    std::fprintf(stderr, "cannot create %s: %s\n", file.path.c_str(), error.describe().c_str());
    std::exit(1);
  }
  wav.SetFormat(file.rate, 16, file.channels);
  std::mt19937 rng(42);
  std::normal_distribution<double> noise(0.0, 150.0);
  std::vector<std::uint8_t> block;
  const double rate = file.rate;
  double phase = 0.0;
  const std::uint64_t frames = file.frames();
  for (std::uint64_t i = 0; i < frames; ++i) {
    const double t = static_cast<double>(i) / rate;
    const double syllable = std::fabs(std::sin(2 * M_PI * 2.7 * t));
    const double phrase = std::sin(2 * M_PI * 0.11 * t) > -0.3 ? 1.0 : 0.0;  // pauses between phrases
    const double pitch = 140.0 + 40.0 * std::sin(2 * M_PI * 0.4 * t);
    phase += 2 * M_PI * pitch / rate;
    const double voice =
        6000.0 * std::sin(phase) + 3000.0 * std::sin(3 * phase) + 1500.0 * std::sin(7 * phase);
    const double hum = 800.0 * std::sin(2 * M_PI * 50.0 * t) + 300.0;
    for (int c = 0; c < file.channels; ++c) {
      const double v =
          std::clamp(voice * syllable * phrase * (c == 0 ? 1.0 : 0.6) + hum + noise(rng), -32768.0, 32767.0);
      const auto s = static_cast<std::uint16_t>(static_cast<std::int16_t>(v));
      block.push_back(static_cast<std::uint8_t>(s));
      block.push_back(static_cast<std::uint8_t>(s >> 8));
    }
    if (block.size() >= (1u << 20)) {
      wav.WriteAndExtend(block.data(), block.size());
      block.clear();
    }
  }
  wav.WriteAndExtend(block.data(), block.size());
  wav.Close();
}

std::string cliPath() {
  if (const char* env = std::getenv("RECDESK_CLI")) return env;
  std::error_code ec;
  const fs::path self = fs::read_symlink("/proc/self/exe", ec);
  return (self.parent_path() / "recdesk-cli").string();
}

int timedRuns() {
  const char* env = std::getenv("RECDESK_BENCH_RUNS");
  const int n = env ? std::atoi(env) : 5;
  return std::clamp(n, 1, 100);
}

// Runs a program (stdout and stderr to /dev/null) and returns its wall time in seconds, or a
// negative value when it could not run or failed.
double runTimed(const std::vector<std::string>& argv) {
  std::vector<char*> args;
  for (const auto& a : argv) args.push_back(const_cast<char*>(a.c_str()));
  args.push_back(nullptr);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
  posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
  const auto start = std::chrono::steady_clock::now();
  pid_t pid = 0;
  const int rc = posix_spawnp(&pid, args[0], &actions, nullptr, args.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  if (rc != 0) return -1.0;
  int status = 0;
  while (waitpid(pid, &status, 0) < 0) {
  }
  const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  return WIFEXITED(status) && WEXITSTATUS(status) == 0 ? seconds : -1.0;
}

double median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  return v.empty() ? 0.0 : v[v.size() / 2];
}

struct Comparison {
  std::string label;
  std::string ours, sox;
  double oursRate = 0.0, soxRate = 0.0;  // samples per second per channel
};
std::vector<Comparison> gResults;

std::string joined(const std::vector<std::string>& argv) {
  std::string s;
  for (const auto& a : argv) s += (s.empty() ? "" : " ") + a;
  return s;
}

// Our filter (mode 0 or 1) against SoX's equivalent, alternating, on one file.
void BM_VersusSox(benchmark::State& state, int fileIndex, int mode) {
  TestFile& file = gFiles[fileIndex];
  generate(file);
  const std::string ourOut = (gDir / "ours.wav").string();
  const std::string soxOut = (gDir / "sox.wav").string();
  const std::vector<std::string> ours = {
      cliPath(), "filter", file.path, ourOut, "--mode", std::to_string(mode), "--yes"};
  std::vector<std::string> sox = {"sox"};
  if (mode == 0) sox.push_back("-D");
  for (const char* a : {"IN", "OUT", "sinc", "-n", "33", "300-3300"}) sox.push_back(a);
  if (mode == 1)
    for (const char* a : {"compand", "0.02,0.3", "6:-70,-60,-20", "-5", "-90", "0.1"}) sox.push_back(a);
  auto soxCommand = sox;
  std::replace(soxCommand.begin(), soxCommand.end(), std::string("IN"), file.path);
  std::replace(soxCommand.begin(), soxCommand.end(), std::string("OUT"), soxOut);

  std::vector<double> oursTimes, soxTimes;
  const int runs = timedRuns();
  for (auto _ : state) {
    for (int r = 0; r < runs; ++r) {
      const double a = runTimed(ours);
      const double b = runTimed(soxCommand);
      if (a < 0) {
        state.SkipWithError(("failed: " + joined(ours)).c_str());
        return;
      }
      if (b < 0) {
        state.SkipWithError(("failed: " + joined(soxCommand)).c_str());
        return;
      }
      oursTimes.push_back(a);
      soxTimes.push_back(b);
    }
    state.SetIterationTime(median(oursTimes));
  }
  const double frames = static_cast<double>(file.frames());
  Comparison c{std::string(file.name) + " mode " + std::to_string(mode), joined(ours), joined(soxCommand),
               frames / median(oursTimes), frames / median(soxTimes)};
  state.counters["ours_Msps_per_ch"] = c.oursRate / 1e6;
  state.counters["sox_Msps_per_ch"] = c.soxRate / 1e6;
  state.counters["ratio"] = c.oursRate / c.soxRate;
  gResults.push_back(c);
}

// The filter in process (no process start, same files): where the time goes.
struct NullUi : recdesk::ports::UserInterface {
  recdesk::ports::Answer message(const std::string& text, const std::string&, recdesk::ports::Icon,
                                 recdesk::ports::Buttons) override {
    std::fprintf(stderr, "%s\n", text.c_str());
    return recdesk::ports::Answer::Ok;
  }
};

// `level` limits the filter's instruction set (0 portable, 2 widest), as on an older processor.
void BM_FilterInProcess(benchmark::State& state, int fileIndex, int mode, int level) {
  TestFile& file = gFiles[fileIndex];
  generate(file);
  const std::string out = (gDir / "inproc.wav").string();
  NullUi ui;
  FirFilter::LimitInstructionSet(level);
  for (auto _ : state) {
    if (recdesk::audio::filterWav(file.path, out, mode, ui) != recdesk::audio::FilterResult::Completed) {
      state.SkipWithError("filter failed");
      break;
    }
  }
  FirFilter::LimitInstructionSet(2);
  state.counters["samples_per_ch"] = benchmark::Counter(
      static_cast<double>(file.frames() * state.iterations()), benchmark::Counter::kIsRate);
}

// The 33-tap kernel alone, on each instruction-set level (0 portable, 1 AVX2, 2 widest).
void BM_FirProcess(benchmark::State& state) {
  FirFilter::LimitInstructionSet(static_cast<int>(state.range(0)));
  FirFilter fir;
  fir.Design(32, 0.075, 0.825);
  std::vector<double> in(4000), out(4000);
  std::mt19937 rng(1);
  std::uniform_real_distribution<double> d(-20000, 20000);
  for (double& v : in) v = std::round(d(rng));
  for (auto _ : state) {
    fir.Process(in.data(), out.data(), in.size());
    benchmark::DoNotOptimize(out.data());
  }
  state.counters["samples"] =
      benchmark::Counter(static_cast<double>(in.size() * state.iterations()), benchmark::Counter::kIsRate);
  FirFilter::LimitInstructionSet(2);
}

}  // namespace

int main(int argc, char** argv) {
  char pattern[] = "/tmp/recdesk-bench-filter-XXXXXX";
  if (!::mkdtemp(pattern)) return 1;
  gDir = pattern;
  std::fprintf(stderr, "test files go to %s\n", pattern);

  for (int f = 0; f < 2; ++f)
    for (int mode : {0, 1}) {
      const std::string name = std::string("VersusSox/") + gFiles[f].name + "/mode" + std::to_string(mode);
      benchmark::RegisterBenchmark(name.c_str(), BM_VersusSox, f, mode)
          ->UseManualTime()
          ->Iterations(1)
          ->Unit(benchmark::kMillisecond);
      for (int level : {2, 0}) {
        const std::string inName = std::string("InProcess/") + gFiles[f].name + "/mode" +
                                   std::to_string(mode) + (level == 0 ? "/portable" : "/widest");
        benchmark::RegisterBenchmark(inName.c_str(), BM_FilterInProcess, f, mode, level)
            ->Iterations(3)
            ->Unit(benchmark::kMillisecond);
      }
    }
  benchmark::RegisterBenchmark("FirProcess/33taps", BM_FirProcess)->DenseRange(0, 2);

  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();

  if (!gResults.empty()) {
    std::printf(
        "\nSamples per second per channel (median of %d runs each, wall clock, process start to exit):\n",
        timedRuns());
    for (const auto& c : gResults) {
      std::printf("  %-26s ours %7.1f M/s   sox %7.1f M/s   ratio %.2fx\n", c.label.c_str(), c.oursRate / 1e6,
                  c.soxRate / 1e6, c.oursRate / c.soxRate);
      std::printf("      ours: %s\n      sox:  %s\n", c.ours.c_str(), c.sox.c_str());
    }
  }
  std::error_code ec;
  fs::remove_all(gDir, ec);
  return 0;
}
