// IM2 pages from anywhere: ParseHeader and DecodePage on arbitrary bytes (with and without offset
// counting) and the container stream's inner pages, all in memory. The conversion of the bytes as a
// file is fuzz_im2_convert.
#include <array>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "audio/AudioDecoder.h"

namespace {

using namespace recdesk;

void decodeStream(const std::uint8_t* data, std::size_t size, bool offsetCounting) {
  audio::AudioDecoder outer;
  std::array<std::uint8_t, kPageSize> page{};
  std::memcpy(page.data(), data, std::min(size, page.size()));
  outer.setPage(page.data());
  outer.ParseHeader(offsetCounting);
  // Outputs are bounded by the buffer the decoder is promised; guard bytes catch an overrun.
  std::vector<std::uint8_t> out(audio::kPageOutputBuffer + 64, 0xA5);
  std::vector<std::uint8_t> stream;
  (void)outer.CheckFormatVersion(nullptr);
  (void)outer.totalLengthMs();
  (void)outer.positionMs();
  (void)outer.currentTime();
  for (std::size_t at = kPageSize; at + kPageSize <= size; at += kPageSize) {
    outer.setPage(data + at);
    const auto r = outer.DecodePage(out.data());
    if (r.bytes > audio::kMaxPageOutput) std::abort();
    for (std::size_t i = audio::kPageOutputBuffer; i < out.size(); ++i)
      if (out[i] != 0xA5) std::abort();
    if (outer.container() && stream.size() < 64 * kPageSize) stream.insert(stream.end(), out.begin(), out.begin() + r.bytes);
    outer.nextPage();
  }
  // The container's inner pages: the first is the inner header.
  if (stream.size() >= kPageSize) {
    audio::AudioDecoder inner;
    inner.setPage(stream.data());
    inner.ParseHeader(true);
    for (std::size_t at = kPageSize; at + kPageSize <= stream.size(); at += kPageSize) {
      inner.setPage(stream.data() + at);
      const auto r = inner.DecodePage(out.data());
      if (r.bytes > audio::kMaxPageOutput) std::abort();
      inner.nextPage();
    }
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0) return 0;
  decodeStream(data, size, (data[0] & 1) != 0);
  return 0;
}
