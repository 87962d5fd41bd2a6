// IM2 -> WAV throughput: the whole conversion (file to file) of a 60-minute 4-bit mono recording,
// and the page kernel alone (descramble, check, decode) for every encoding.
//
//   bench_convert                       run the benchmarks
//   bench_convert --write-sample DIR    write DIR/bench60.im2 and the PCM it was made from,
//                                       DIR/bench60.s16 (8000 Hz mono s16le), for comparisons with
//                                       other decoders (bench/compare_convert_ffmpeg.sh)
#include <benchmark/benchmark.h>

#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "audio/AudioDecoder.h"
#include "audio/Im2Converter.h"
#include "ports/UserInterface.h"
#include "recording/RecordingWriter.h"

namespace {

using namespace recdesk;
namespace fs = std::filesystem;

constexpr double kMinutes = 60.0;
fs::path gTempDir;  // made by this run, removed at the end

// Records the PCM a generator hands out (for the comparison input).
class Tap : public sim::PcmGenerator {
 public:
  Tap(sim::PcmGenerator& inner, std::vector<std::int16_t>* keep) : inner_(inner), keep_(keep) {}
  void generate(std::int16_t* out, std::size_t frames, int channels) override {
    inner_.generate(out, frames, channels);
    if (keep_) keep_->insert(keep_->end(), out, out + frames * static_cast<std::size_t>(channels));
  }

 private:
  sim::PcmGenerator& inner_;
  std::vector<std::int16_t>* keep_;
};

sim::RecordingFormat benchFormat(int encoding, int bits, int channels) {
  sim::RecordingFormat f;
  f.encoding = encoding;
  f.bits = bits;
  f.channels = channels;
  f.searchWidth = 1;  // quality does not matter here; generation speed does
  return f;
}

// Writes the 60-minute 4-bit mono recording (encoding 3) once per process.
const fs::path& sampleRecording(std::vector<std::int16_t>* pcm = nullptr, const fs::path& folder = {}) {
  static fs::path path;
  if (!path.empty() && pcm == nullptr) return path;
  const fs::path dir = folder.empty() ? fs::temp_directory_path() / ("recdesk-bench-" + std::to_string(::getpid())) : folder;
  fs::create_directories(dir);
  if (folder.empty()) gTempDir = dir;
  path = dir / "bench60.im2";
  const auto f = benchFormat(3, 4, 1);
  auto melody = sim::makeMelody(f.sampleRate, 0.5);
  Tap tap(*melody, pcm);
  sim::writeIm2File(path, f, tap, sim::pagesForSeconds(f, kMinutes * 60));
  return path;
}

void BM_ConvertEndToEnd(benchmark::State& state) {
  const fs::path& source = sampleRecording();
  const std::uint64_t pages = fs::file_size(source) / kPageSize - 1;
  ports::QuietUi ui;
  audio::ConvertRequest request;
  request.sourcePath = source.string();
  request.wavPath = (source.parent_path() / "bench60.wav").string();
  request.askBeforeOverwrite = false;
  for (auto _ : state) {
    const auto result = audio::Im2Converter(ui).convert(request);
    if (!result.ok()) state.SkipWithError(result.message.c_str());
    benchmark::DoNotOptimize(result.pagesProcessed);
  }
  state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations() * pages));
  state.counters["pages"] = static_cast<double>(pages);
  state.counters["pages/s"] = benchmark::Counter(static_cast<double>(state.iterations() * pages), benchmark::Counter::kIsRate);
}
BENCHMARK(BM_ConvertEndToEnd)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(2.0);

struct KernelCase {
  const char* name;
  int encoding, bits, channels;
};
constexpr KernelCase kKernelCases[] = {
    {"4bit_mono_enc3", 3, 4, 1},   {"4bit_mono_enc4", 4, 4, 1},   {"4bit_mono_enc5", 5, 4, 1},
    {"4bit_mono_enc6", 6, 4, 1},   {"4bit_stereo_enc3", 3, 4, 2}, {"4bit_stereo_enc4", 4, 4, 2},
    {"4bit_stereo_enc5", 5, 4, 2}, {"4bit_stereo_enc6", 6, 4, 2}, {"8bit_mono_enc3", 3, 8, 1},
    {"8bit_mono_enc5", 5, 8, 1},   {"8bit_mono_enc6", 6, 8, 1},   {"8bit_stereo_enc6", 6, 8, 2},
    {"16bit_mono", 3, 16, 1},      {"16bit_stereo", 3, 16, 2},
};

void BM_DecodeKernel(benchmark::State& state) {
  const KernelCase& c = kKernelCases[state.range(0)];
  state.SetLabel(c.name);
  const auto f = benchFormat(c.encoding, c.bits, c.channels);
  auto melody = sim::makeMelody(f.sampleRate, 0.5);
  const sim::Recording r = sim::makeRecording(f, *melody, 256);
  audio::AudioDecoder d;
  d.setPage(r.page(r.pageCount() - 1));
  d.ParseHeader(false);
  alignas(16) std::uint8_t out[audio::kPageOutputBuffer];
  std::size_t i = 0;
  std::uint64_t bytes = 0;
  for (auto _ : state) {
    d.setPage(r.page(i));
    const auto res = d.DecodePage(out);
    bytes += res.bytes;
    benchmark::DoNotOptimize(out);
    i = (i + 1) % r.pageCount();
  }
  state.counters["pages/s"] = benchmark::Counter(static_cast<double>(state.iterations()), benchmark::Counter::kIsRate);
  state.SetBytesProcessed(static_cast<std::int64_t>(bytes));
}
BENCHMARK(BM_DecodeKernel)->DenseRange(0, static_cast<int>(std::size(kKernelCases)) - 1);

}  // namespace

int main(int argc, char** argv) {
  if (argc == 3 && std::strcmp(argv[1], "--write-sample") == 0) {
    std::vector<std::int16_t> pcm;
    const fs::path& im2 = sampleRecording(&pcm, argv[2]);
    std::ofstream raw(im2.parent_path() / "bench60.s16", std::ios::binary | std::ios::trunc);
    raw.write(reinterpret_cast<const char*>(pcm.data()), static_cast<std::streamsize>(pcm.size() * 2));
    std::cout << im2.string() << "\n" << (im2.parent_path() / "bench60.s16").string() << "\n";
    return raw ? 0 : 1;
  }
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  std::error_code ec;
  if (!gTempDir.empty()) fs::remove_all(gTempDir, ec);
  return 0;
}
