// Playback's CPU cost: the share of one core the engine takes while it plays an hour of 8 kHz 4-bit
// mono and of 22,050 Hz 16-bit stereo.
//
// Two measurements per format:
//  - BM_PlayDecodeAndQueue: the whole recording through the engine (file reads, page decoding,
//    copying into the 20 buffers, handing them over, the worker's wake-ups) to a sink that plays
//    every buffer the moment it gets it. cpu_share = process CPU time ÷ audio duration: the share
//    of one core that playing in real time costs.
//  - BM_PlayRealTime: 20 s of audio at the real-time pace through the silent sink (a thread that
//    consumes the buffers at the format's byte rate), the way a sound device paces the player.
//    cpu_share = process CPU time ÷ wall time, so the sink's own thread counts too.
// The hour of 16-bit stereo is 327 MB of IM2 file: the decode-and-queue run uses 10 minutes of it
// (the cost per second of audio does not depend on the length).
#include <benchmark/benchmark.h>
#include <sys/resource.h>
#include <unistd.h>

#include <chrono>
#include <condition_variable>
#include <filesystem>
#include <mutex>

#include "playback/PlaybackEngine.h"
#include "playback/WaitingObserver.h"
#include "playback/SilentSink.h"
#include "recording/RecordingWriter.h"

namespace {

using namespace recdesk;
namespace fs = std::filesystem;

fs::path tempDir() {
  static const fs::path dir = [] {
    fs::path d = fs::temp_directory_path() / ("recdesk-bench-playback-" + std::to_string(::getpid()));
    fs::create_directories(d);
    return d;
  }();
  return dir;
}

sim::RecordingFormat format(bool stereo16) {
  sim::RecordingFormat f;
  f.searchWidth = 1;
  if (stereo16) {
    f.sampleRate = 22050;
    f.bits = 16;
    f.channels = 2;
  }
  return f;
}

// The recording of `seconds` in the format, written once per process.
fs::path recording(bool stereo16, double seconds) {
  const sim::RecordingFormat f = format(stereo16);
  const fs::path path =
      tempDir() / ((stereo16 ? "s16-" : "m4-") + std::to_string(static_cast<int>(seconds)) + ".im2");
  if (!fs::exists(path)) {
    auto tone = sim::makeMelody(f.sampleRate, 0.4);
    sim::writeIm2File(path, f, *tone, sim::pagesForSeconds(f, seconds));
  }
  return path;
}

double processCpuSeconds() {
  rusage u{};
  ::getrusage(RUSAGE_SELF, &u);
  return static_cast<double>(u.ru_utime.tv_sec + u.ru_stime.tv_sec) +
         static_cast<double>(u.ru_utime.tv_usec + u.ru_stime.tv_usec) * 1e-6;
}

// Plays every buffer the moment it is written.
class InstantSink : public ports::AudioSink {
 public:
  void setBufferDone(BufferDone done) override { done_ = std::move(done); }
  bool open(std::uint32_t, int, int) override { return true; }
  void close() override {}
  void write(const std::uint8_t* data, std::size_t bytes) override {
    benchmark::DoNotOptimize(data[bytes - 1]);
    if (done_) done_();
  }
  std::size_t queuedBytes() const override { return 0; }
  void pause() override {}
  void resume() override {}
  void reset() override {}
  void drain() override {}

 private:
  BufferDone done_;
};

void playThrough(benchmark::State& state, ports::AudioSink& sink, const fs::path& file) {
  playback::WaitingObserver waiter;
  playback::PlaybackEngine engine(sink, &waiter);
  if (!waiter.openAndWait(engine, file.string())) {
    state.SkipWithError("cannot open the recording");
    return;
  }
  const double audioSeconds = static_cast<double>(engine.status().lengthMs) / 1000.0;
  double cpu = 0, wall = 0, audio = 0;
  int plays = 0;
  for (auto _ : state) {
    const double cpu0 = processCpuSeconds();
    const auto t0 = std::chrono::steady_clock::now();
    engine.play();
    waiter.waitEnded(++plays, std::chrono::hours(24));
    wall += std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
    cpu += processCpuSeconds() - cpu0;
    audio += audioSeconds;
  }
  state.counters["audio_s"] = audio;
  state.counters["cpu_s"] = cpu;
  state.counters["cpu_share_%"] = 100.0 * cpu / (state.range(1) != 0 ? wall : audio);
}

void BM_PlayDecodeAndQueue(benchmark::State& state) {
  const bool stereo16 = state.range(0) != 0;
  InstantSink sink;
  playThrough(state, sink, recording(stereo16, stereo16 ? 600 : 3600));
}
BENCHMARK(BM_PlayDecodeAndQueue)
    ->ArgNames({"s16", "rt"})
    ->Args({0, 0})
    ->Args({1, 0})
    ->Iterations(3)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

void BM_PlayRealTime(benchmark::State& state) {
  const bool stereo16 = state.range(0) != 0;
  playback::SilentSink sink;
  playThrough(state, sink, recording(stereo16, 20));
}
BENCHMARK(BM_PlayRealTime)
    ->ArgNames({"s16", "rt"})
    ->Args({0, 1})
    ->Args({1, 1})
    ->Iterations(1)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  std::error_code ec;
  fs::remove_all(tempDir(), ec);
  return 0;
}
