#include "DemoRecorder.h"

#include "SimPassword.h"
#include "SimTransmitter.h"

#include <algorithm>
#include <exception>
#include <random>

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

}  // namespace

void addDemoRecordings(SimRecorder& device, int count, std::uint64_t seed) {
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
    const double seconds = 2.0 + static_cast<double>(random() % 40) / 10.0;
    try {
      const std::size_t pages = pagesForSeconds(format, seconds);
      auto source = makeMelody(format.sampleRate, 0.3, 0.35, static_cast<std::uint32_t>(random()));
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

std::shared_ptr<SimRecorder> makeDemoRecorder(const DeviceConfig& config, int recordings) {
  auto device = std::make_shared<SimRecorder>(config);
  installPassword(*device, {});
  installTransmitter(*device);
  if (recordings > 0) addDemoRecordings(*device, recordings, config.seed);
  return device;
}

}  // namespace recdesk::sim
