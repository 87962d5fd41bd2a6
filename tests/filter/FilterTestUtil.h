#pragma once
// Test WAV files for the filter tests, generated in code.
#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "TestSupport.h"
#include "audio/WaveFile.h"

namespace recdesk::test {

// Writes a WAV file through WaveFile: `frames` frames of `channels` samples from sample(frame, channel).
inline void writeWav(const std::filesystem::path& path, std::uint32_t rate, std::uint16_t channels,
                     std::size_t frames, const std::function<double(std::size_t, int)>& sample,
                     std::uint16_t bits = 16) {
  audio::WaveFile file;
  audio::FileError error;
  if (!file.Open(path.string(), audio::CFile64::kWrite, audio::CFile64::kShareRead,
                 audio::CFile64::kCreateAlways, &error))
    throw error;
  file.SetFormat(rate, bits, channels);
  std::vector<std::uint8_t> bytes;
  bytes.reserve(frames * channels * bits / 8);
  for (std::size_t i = 0; i < frames; ++i)
    for (int c = 0; c < channels; ++c) {
      const double v = std::round(sample(i, c));
      if (bits == 8) {
        bytes.push_back(static_cast<std::uint8_t>(std::clamp(v / 256.0 + 128.0, 0.0, 255.0)));
      } else {
        const auto s =
            static_cast<std::uint16_t>(static_cast<std::int16_t>(std::clamp(v, -32768.0, 32767.0)));
        bytes.push_back(static_cast<std::uint8_t>(s));
        bytes.push_back(static_cast<std::uint8_t>(s >> 8));
      }
    }
  file.WriteAndExtend(bytes.data(), bytes.size());
  file.Close();
}

inline std::function<double(std::size_t, int)> sine(double amplitude, double hz, std::uint32_t rate,
                                                    double offset = 0.0) {
  return [=](std::size_t i, int) {
    return offset + amplitude * std::sin(2.0 * M_PI * hz * static_cast<double>(i) / rate);
  };
}

// The 16-bit samples of a canonical 44-byte-header WAV file, interleaved.
inline std::vector<std::int16_t> readSamples(const std::filesystem::path& path) {
  const std::string bytes = readFile(path);
  std::vector<std::int16_t> samples;
  for (std::size_t i = 44; i + 1 < bytes.size(); i += 2)
    samples.push_back(static_cast<std::int16_t>(static_cast<std::uint8_t>(bytes[i]) |
                                                (static_cast<std::uint8_t>(bytes[i + 1]) << 8)));
  return samples;
}

inline audio::WaveHeader readHeader(const std::filesystem::path& path) {
  const std::string bytes = readFile(path);
  audio::WaveHeader header;
  if (!audio::WaveHeader::fromBytes(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size(),
                                    header))
    header.dataLength = 0xFFFFFFFFu;  // marks "not a canonical header"
  return header;
}

// Channel `channel` of interleaved samples, frames [from, to).
inline std::vector<double> channelOf(const std::vector<std::int16_t>& samples, int channels, int channel,
                                     std::size_t from = 0, std::size_t to = SIZE_MAX) {
  std::vector<double> out;
  const std::size_t frames = samples.size() / static_cast<std::size_t>(channels);
  for (std::size_t i = from; i < std::min(to, frames); ++i)
    out.push_back(samples[i * static_cast<std::size_t>(channels) + static_cast<std::size_t>(channel)]);
  return out;
}

inline double peak(const std::vector<double>& v) {
  double p = 0.0;
  for (double x : v) p = std::max(p, std::fabs(x));
  return p;
}

inline double mean(const std::vector<double>& v) {
  double s = 0.0;
  for (double x : v) s += x;
  return v.empty() ? 0.0 : s / static_cast<double>(v.size());
}

inline double rms(const std::vector<double>& v) {
  double s = 0.0;
  for (double x : v) s += x * x;
  return v.empty() ? 0.0 : std::sqrt(s / static_cast<double>(v.size()));
}

// Files in a folder (to see that nothing is left behind).
inline std::vector<std::string> filesIn(const std::filesystem::path& dir) {
  std::vector<std::string> names;
  for (const auto& e : std::filesystem::directory_iterator(dir))
    names.push_back(e.path().filename().string());
  std::sort(names.begin(), names.end());
  return names;
}

}  // namespace recdesk::test
