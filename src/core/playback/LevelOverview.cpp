#include "playback/LevelOverview.h"

#include <algorithm>
#include <array>

#include "audio/CFile64.h"
#include "audio/WaveFile.h"
#include "playback/PlaybackSource.h"

namespace recdesk::playback {

audio::Peaks scanPcm(const std::uint8_t* data, std::size_t bytes, int bits, int channels) {
  audio::Peaks peaks;
  if (bits == 16) {
    audio::AudioDecoder::ScanPeaks(data, bytes, channels, peaks);
    return peaks;
  }
  const bool stereo = channels == 2;
  for (std::size_t i = 0; i < bytes; ++i) {
    const std::int32_t v = widen8(data[i]);
    const std::size_t ch = stereo ? (i & 1u) : 0;
    peaks.min[ch] = std::min(peaks.min[ch], v);
    peaks.max[ch] = std::max(peaks.max[ch], v);
  }
  return peaks;
}

LevelOverview summarise(std::vector<audio::Peaks> points, int channels) {
  LevelOverview o;
  o.channels = channels;
  o.points = std::move(points);
  const std::size_t count = o.points.size();
  for (int ch = 0; ch < std::min(channels, 2); ++ch) {
    if (count < 2) continue;  // the centre and the peaks need points beyond the first
    std::int32_t lo = 32767, hi = -32768;
    std::int64_t sum = 0;
    for (std::size_t j = 1; j < count; ++j) {
      lo = std::min(lo, o.points[j].min[ch]);
      hi = std::max(hi, o.points[j].max[ch]);
      sum += (static_cast<std::int64_t>(o.points[j].min[ch]) + o.points[j].max[ch]) / 2;
    }
    o.min[ch] = lo;
    o.max[ch] = hi;
    o.centre[ch] = static_cast<std::int32_t>(sum / static_cast<std::int64_t>(count));
  }
  return o;
}

std::uint64_t pointStart(std::uint64_t j, std::uint64_t frames, std::uint64_t points) {
  return points == 0 ? 0 : j * frames / points;
}

LevelOverview im2Overview(const std::string& path) {
  std::string error;
  const auto source = openIm2Source(path, error);
  if (!source) return {};
  try {
    const auto pages = static_cast<std::uint64_t>(source->pieceCount());
    const std::uint64_t count = std::min<std::uint64_t>(kOverviewPoints, pages);
    const PcmFormat f = source->format();
    std::vector<audio::Peaks> points;
    alignas(16) std::array<std::uint8_t, kMaxPiece> out{};
    for (std::uint64_t j = 0; j < count; ++j) {
      source->seekPiece(static_cast<std::int64_t>(pointStart(j, pages, count)));
      const std::size_t n = source->next(out.data());
      points.push_back(scanPcm(out.data(), n, f.bits, f.channels));
    }
    return summarise(std::move(points), f.channels);
  } catch (const audio::FileError&) {
    return {};
  }
}

LevelOverview wavOverview(const std::string& path) {
  audio::CFile64 file;
  audio::FileError error;
  if (!file.Open(path, audio::CFile64::kRead, audio::CFile64::kShareRead | audio::CFile64::kShareWrite,
                 audio::CFile64::kOpenExisting, &error))
    return {};
  try {
    std::array<std::uint8_t, 44> head{};
    audio::WaveHeader h;
    if (!audio::WaveHeader::fromBytes(head.data(), file.Read(head.data(), head.size()), h) ||
        (h.bitsPerSample != 8 && h.bitsPerSample != 16) || h.channels > 2)
      return {};
    const std::uint64_t frameBytes = h.blockAlign;
    const std::uint64_t length = file.GetLength();
    const std::uint64_t frames = length > 44 ? (length - 44) / frameBytes : 0;
    const std::uint64_t count = std::min<std::uint64_t>(kOverviewPoints, frames);
    const std::uint64_t perPoint =
        frames <= kOverviewPoints ? 1 : std::min<std::uint64_t>(frames / kOverviewPoints, 200);
    std::vector<std::uint8_t> buffer(perPoint * frameBytes);
    std::vector<audio::Peaks> points;
    for (std::uint64_t j = 0; j < count; ++j) {
      file.Seek(44 + pointStart(j, frames, count) * frameBytes, audio::CFile64::kBegin);
      const std::size_t n = file.Read(buffer.data(), buffer.size());
      points.push_back(scanPcm(buffer.data(), n, h.bitsPerSample, h.channels));
    }
    return summarise(std::move(points), h.channels);
  } catch (const audio::FileError&) {
    return {};
  }
}

}  // namespace recdesk::playback
