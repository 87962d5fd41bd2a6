// Writes starting inputs the fuzzers could hardly build from nothing: short IM2 recordings of every
// encoding, sample size, channel count and device family the format has (plus container recordings),
// and WAV files of the shapes the program writes. scripts/fuzz-corpus.sh merges them into the seeds.
//   make-fuzz-seeds <folder>   ->  <folder>/<target>/ for fuzz_im2, fuzz_im2_convert, fuzz_wav_header, fuzz_wav_layout
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <stdexcept>
#include <string>
#include <vector>

#include "audio/Im2Format.h"
#include "audio/WaveFile.h"
#include "recording/RecordingWriter.h"

namespace fs = std::filesystem;
using namespace recdesk;

namespace {

void writeBytes(const fs::path& file, const std::vector<std::uint8_t>& bytes) {
  std::ofstream out(file, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

int im2Seeds(const fs::path& dir) {
  int written = 0;
  for (int family : {audio::kFamilyR5, audio::kFamilyR6, audio::kFamilyT7}) {
    for (int encoding : {audio::kEncodingDifference, audio::kEncodingAdaptive, audio::kEncodingPrediction8,
                         audio::kEncodingPrediction}) {
      for (int bits : {4, 8, 16}) {
        for (int channels : {1, 2}) {
          sim::RecordingFormat f;
          f.family = family;
          f.encoding = encoding;
          f.bits = bits;
          f.channels = channels;
          f.sampleRate = channels == 2 ? 16000 : 8000;
          f.searchWidth = 1;
          try {
            auto tone = sim::makeTone(440, 0.3, f.sampleRate);
            const auto rec = sim::makeRecording(f, *tone, 3);
            writeBytes(dir / ("f" + std::to_string(family) + "e" + std::to_string(encoding) + "b" +
                              std::to_string(bits) + "c" + std::to_string(channels) + ".im2"),
                       rec.im2());
            ++written;
          } catch (const std::exception&) {
            // A combination the format does not have.
          }
        }
      }
    }
  }
  sim::RecordingFormat outer;
  outer.encoding = audio::kEncodingContainer;
  outer.family = audio::kFamilyR6;
  for (int encoding : {audio::kEncodingDifference, audio::kEncodingPrediction}) {
    sim::RecordingFormat inner;
    inner.encoding = encoding;
    inner.family = audio::kFamilyR6;
    inner.searchWidth = 1;
    try {
      auto tone = sim::makeTone(300, 0.3, inner.sampleRate);
      writeBytes(dir / ("container-e" + std::to_string(encoding) + ".im2"),
                 sim::makeContainerRecording(outer, inner, *tone, 3).im2());
      ++written;
    } catch (const std::exception&) {
    }
  }
  return written;
}

int wavSeeds(const fs::path& dir) {
  int written = 0;
  for (int bits : {8, 16}) {
    for (int channels : {1, 2}) {
      audio::WaveHeader h;
      h.channels = static_cast<std::uint16_t>(channels);
      h.bitsPerSample = static_cast<std::uint16_t>(bits);
      h.sampleRate = 11025;
      h.blockAlign = static_cast<std::uint16_t>(channels * bits / 8);
      h.byteRate = h.sampleRate * h.blockAlign;
      h.dataLength = 64u * h.blockAlign;
      h.riffLength = 36 + h.dataLength;
      const auto head = h.toBytes();
      std::vector<std::uint8_t> bytes(head.begin(), head.end());
      for (std::uint32_t i = 0; i < h.dataLength; ++i) bytes.push_back(static_cast<std::uint8_t>(i * 7));
      writeBytes(dir / ("b" + std::to_string(bits) + "c" + std::to_string(channels) + ".wav"), bytes);
      ++written;
    }
  }
  return written;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: make-fuzz-seeds <folder>\n");
    return 2;
  }
  const fs::path base = argv[1];
  for (const char* name : {"fuzz_im2", "fuzz_im2_convert", "fuzz_wav_header", "fuzz_wav_layout"})
    fs::create_directories(base / name);
  int im2 = im2Seeds(base / "fuzz_im2");
  im2 += im2Seeds(base / "fuzz_im2_convert");
  int wav = wavSeeds(base / "fuzz_wav_header");
  wav += wavSeeds(base / "fuzz_wav_layout");
  std::printf("make-fuzz-seeds: %d IM2 recordings, %d WAV files\n", im2, wav);
  return im2 > 0 && wav > 0 ? 0 : 1;
}
