#include "recording/DemoRecordings.h"

#include <system_error>

namespace recdesk::sim {

std::vector<DemoRecording> makeDemoRecordings(std::uint16_t serial, std::uint16_t firstFile) {
  std::vector<DemoRecording> out;
  std::uint16_t file = firstFile;
  const auto add = [&](std::string title, RecordingFormat f, PcmGenerator& source, double seconds) {
    f.serial = serial;
    f.fileNumber = file++;
    f.start = audio::addSeconds(audio::DateTime{2024, 6, 3, 9, 15, 0}, 3600 * (f.fileNumber - firstFile));
    out.push_back({std::move(title), makeRecording(f, source, pagesForSeconds(f, seconds))});
  };

  {
    RecordingFormat f;  // R5, 4-bit difference table, 8 kHz mono: the long one
    auto melody = makeMelody(f.sampleRate, 0.5);
    add("R5 tune, 4-bit difference table, 8000 Hz mono, 60 s", f, *melody, 60);
  }
  {
    RecordingFormat f;
    f.sampleRate = 16000;
    f.channels = 2;
    f.encoding = audio::kEncodingPrediction;
    auto melody = makeMelody(f.sampleRate, 0.4, 0.25, 11);
    add("R5 tune, 4-bit adaptive prediction, 16000 Hz stereo, 10 s", f, *melody, 10);
  }
  {
    RecordingFormat f;
    f.sampleRate = 11025;
    f.encoding = audio::kEncodingAdaptive;
    auto tone = makeTone(440, 0.3, f.sampleRate);
    add("R5 440 Hz tone, 4-bit adaptive step, 11025 Hz mono, 5 s", f, *tone, 5);
  }
  {
    RecordingFormat f;
    f.sampleRate = 22050;
    f.bits = 8;
    f.encoding = audio::kEncodingDifference;
    auto melody = makeMelody(f.sampleRate, 0.5, 0.2, 3);
    add("R5 tune, 8-bit byte table, 22050 Hz mono, 8 s", f, *melody, 8);
  }
  {
    RecordingFormat f;  // R6 records 8-bit-output prediction
    f.family = audio::kFamilyR6;
    f.encoding = audio::kEncodingPrediction8;
    auto melody = makeMelody(f.sampleRate, 0.6, 0.3, 5);
    add("R6 tune, 4-bit prediction with 8-bit output, 8000 Hz mono, 20 s", f, *melody, 20);
  }
  {
    RecordingFormat f;
    f.sampleRate = 16000;
    f.bits = 16;
    auto noise = makeNoise(0.05, 99);
    add("R5 quiet noise, 16-bit PCM, 16000 Hz mono, 3 s", f, *noise, 3);
  }
  {
    // An R6 recording of a transmitter's stream (container encoding).
    RecordingFormat outer;
    outer.family = audio::kFamilyR6;
    outer.serial = serial;
    outer.fileNumber = file++;
    outer.start = audio::DateTime{2024, 6, 3, 18, 0, 0};
    RecordingFormat inner;
    inner.family = audio::kFamilyT7;
    inner.serial = 2;
    inner.fileNumber = 1;
    inner.encoding = audio::kEncodingPrediction8;
    inner.start = outer.start;
    auto melody = makeMelody(8000, 0.5, 0.4, 21);
    out.push_back({"R6 recording of a T7 stream (container), 8000 Hz mono, 15 s",
                   makeContainerRecording(outer, inner, *melody, pagesForSeconds(inner, 15))});
  }
  return out;
}

std::string im2FileName(const Recording& recording) {
  return recording.format.deviceName() + "." + std::to_string(recording.format.fileNumber) + ".im2";
}

std::vector<std::filesystem::path> writeDemoRecordings(const std::filesystem::path& folder,
                                                       const std::vector<DemoRecording>& recordings) {
  std::filesystem::create_directories(folder);
  std::vector<std::filesystem::path> paths;
  for (const auto& demo : recordings) {
    const auto path = folder / im2FileName(demo.recording);
    demo.recording.writeIm2(path);
    paths.push_back(path);
  }
  return paths;
}

}  // namespace recdesk::sim
