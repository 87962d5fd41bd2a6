#include "DemoRecorder.h"

#include "SimPassword.h"
#include "SimTransmitter.h"

#include <algorithm>
#include <cstdlib>
#include <exception>
#include <random>
#include <string>

#include "recording/DemoSounds.h"

namespace recdesk::sim {

namespace {

int familyOf(Model model) {
  switch (model) {
    case Model::R6: return audio::kFamilyR6;
    case Model::T7: return audio::kFamilyT7;
    default: return audio::kFamilyR5;
  }
}

// A recording whose pages carry valid trailers and check bytes around a silent payload: the fallback
// when the writer refuses a format.
Recording silentRecording(const RecordingFormat& format, std::size_t pageCount) {
  Recording r;
  r.format = format;
  r.pages.assign(pageCount * kPageSize, 0);
  std::uint8_t plain[audio::kPayloadSize] = {};
  for (std::size_t i = 0; i < pageCount; ++i)
    buildPage(plain, trailerFor(format, static_cast<std::int32_t>(i)), r.page(i));
  return r;
}

// One of the full demo recordings: what it sounds like and how it is stored.
struct FullKind {
  std::uint32_t sampleRate;
  int bits;
  int channels;
  int encoding;
};

// Speech-like syllables, a tune in stereo, a tone sweep, room noise with events (8-bit), a tune
// again at the highest rate: every content and most formats turn up within the first few.
constexpr FullKind kFullKinds[] = {
    {16000, 4, 1, audio::kEncodingPrediction},
    {8000, 4, 2, audio::kEncodingDifference},
    {11025, 4, 1, audio::kEncodingAdaptive},
    {8000, 8, 1, audio::kEncodingDifference},
    {22050, 4, 1, audio::kEncodingDifference},
};

std::unique_ptr<PcmGenerator> fullSound(std::size_t kind, std::uint32_t rate, std::uint32_t seed) {
  switch (kind % std::size(kFullKinds)) {
    case 0: return makeSpeechLike(rate, 0.6, seed);
    case 2: return makeSweep(rate, 0.4, 120.0, 3200.0, 12.0);
    case 3: return makeRoomNoise(rate, 0.02, seed);
    default: return makeMelody(rate, 0.4, 0.3, seed);
  }
}

}  // namespace

DemoLength demoLengthForPeople() {
  const char* text = std::getenv("RECDESK_DEMO_SECONDS");
  if (text == nullptr || *text == '\0') return DemoLength::fullOnes();
  const std::string value(text);
  if (value == "short") return DemoLength::shortOnes();
  char* end = nullptr;
  const double seconds = std::strtod(text, &end);
  if (end == text || *end != '\0' || !(seconds >= 0.0) || seconds > 600.0) return DemoLength::fullOnes();
  return seconds == 0.0 ? DemoLength::shortOnes() : DemoLength::fullOnes(seconds);
}

void addDemoRecordings(SimRecorder& device, int count, std::uint64_t seed, DemoLength length) {
  std::mt19937_64 random(seed);
  static constexpr std::uint32_t kRates[] = {8000, 16000, 11025, 22050};
  std::uint16_t next = 1;
  for (const auto& r : device.recordings()) next = static_cast<std::uint16_t>(std::max<int>(next, r.format.fileNumber + 1));
  audio::DateTime start{2024, 5, 17, 9, 30, 0};
  for (int i = 0; i < count; ++i) {
    RecordingFormat format;
    format.family = familyOf(device.config().model);
    format.serial = device.config().serial;
    format.fileNumber = next++;
    format.sampleRate = kRates[random() % 4];
    format.bits = 4;
    format.channels = (random() % 3 == 0) ? 2 : 1;
    format.encoding = audio::kEncodingDifference;
    start = audio::addSeconds(start, 3600 + static_cast<std::int64_t>(random() % 86400));
    format.start = start;
    double seconds = 2.0 + static_cast<double>(random() % 40) / 10.0;
    const auto soundSeed = static_cast<std::uint32_t>(random());
    const std::size_t kind = static_cast<std::size_t>(i);
    if (length.full) {
      const FullKind& k = kFullKinds[kind % std::size(kFullKinds)];
      format.sampleRate = k.sampleRate;
      format.bits = k.bits;
      format.channels = k.channels;
      format.encoding = k.encoding;
      format.searchWidth = 1;  // the closest code each time: quick to make, and good enough to listen to
      seconds = length.seconds * (0.9 + static_cast<double>(random() % 21) / 100.0);
    }
    try {
      const std::size_t pages = pagesForSeconds(format, seconds);
      auto source = length.full ? fullSound(kind, format.sampleRate, soundSeed)
                                : makeMelody(format.sampleRate, 0.3, 0.35, soundSeed);
      device.recordings().push_back(makeRecording(format, *source, pages));
    } catch (const std::exception&) {
      device.recordings().push_back(silentRecording(format, 16));
    }
  }
}

Recording noiseRecording(const RecordingFormat& format, std::size_t pages, std::uint32_t seed) {
  Recording r;
  r.format = format;
  r.pages.resize(pages * kPageSize);
  std::uint32_t x = seed;
  std::uint8_t plain[audio::kPayloadSize];
  for (std::size_t i = 0; i < pages; ++i) {
    for (auto& b : plain) {
      x = x * 1664525u + 1013904223u;
      b = static_cast<std::uint8_t>(x >> 24);
    }
    buildPage(plain, trailerFor(format, static_cast<std::int32_t>(i)), r.page(i));
  }
  return r;
}

std::filesystem::path demoFolder(const std::string& what) {
  namespace fs = std::filesystem;
  fs::path base;
  if (const char* cache = std::getenv("XDG_CACHE_HOME"); cache && *cache)
    base = cache;
  else if (const char* home = std::getenv("HOME"); home && *home)
    base = fs::path(home) / ".cache";
  else
    base = fs::temp_directory_path();
  return base / "recdesk" / "demo" / what;
}

std::shared_ptr<SimRecorder> makeDemoRecorder(const DeviceConfig& config, int recordings, DemoLength length) {
  auto device = std::make_shared<SimRecorder>(config);
  installPassword(*device, {});
  installTransmitter(*device);
  if (recordings > 0) addDemoRecordings(*device, recordings, config.seed, length);
  return device;
}

}  // namespace recdesk::sim
