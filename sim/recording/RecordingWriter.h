#pragma once
// Builds IM2 recordings the way the recorder stores them: 528-byte pages with trailer fields, the
// packed start time, scrambling and a correct check byte, and audio encoded into any of the page
// encodings by analysis-by-synthesis (for each code the one whose decoded result comes closest to
// the input, computed with the decoder's own per-code steps).
//
// A recording of P pages is what the recorder's flash holds for it: data pages 0 .. P - 1. Its IM2
// file is the header page (a copy of page P - 1) followed by pages 0 .. P - 1.
#include <array>
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "audio/AudioDecoder.h"
#include "audio/Im2Format.h"

namespace recdesk::sim {

// The format and identity of a recording.
struct RecordingFormat {
  std::uint32_t sampleRate = 8000;  // 8000, 11025, 16000 or 22050
  int bits = 4;                     // encoded bits: 4, 8 or 16
  int channels = 1;                 // 1 or 2
  int encoding = audio::kEncodingDifference;
  int family = audio::kFamilyR5;
  std::uint16_t serial = 12345;
  std::uint16_t fileNumber = 1;
  audio::DateTime start{2024, 5, 17, 9, 30, 0};
  std::uint8_t reserved = 0;
  // Paths kept by the encoder's search for the 4-bit encodings: 1 = the closest code each time; more
  // costs time and gains quality for the adaptive encodings 4, 5 and 6 (a code also moves the
  // step). 0 = automatic: 4 for those, 1 for the others.
  unsigned searchWidth = 0;

  std::string deviceName() const { return audio::deviceNameFor(family, serial); }
};

// Format byte (rate index bits 0-1, bits index 2-4, channel index bit 5) and encoding byte
// (encoding bits 0-4, family bits 5-7). Throw std::invalid_argument for values the format lacks.
std::uint8_t formatByte(std::uint32_t sampleRate, int bits, int channels);
std::uint8_t encodingByte(int encoding, int family);

// The trailer of one page.
struct PageTrailer {
  std::uint16_t fileNumber = 0;
  std::uint16_t serial = 0;
  std::uint32_t startTime = 0;  // packed
  std::int32_t pageNumber = 0;
  std::uint8_t format = 0;
  std::uint8_t encoding = 0;
  std::uint8_t reserved = 0;
};
PageTrailer trailerFor(const RecordingFormat& format, std::int32_t pageNumber);

// Writes the trailer into page[512..526], scrambles the 512 plain bytes into page[0..511] and sets
// the check byte. `plain` and `page` may not overlap.
void buildPage(const std::uint8_t* plain, const PageTrailer& trailer, std::uint8_t* page);
// Sets the check byte of a page from its other bytes.
void sealPage(std::uint8_t* page);

// Audio input: one signed 16-bit value per channel and frame, at the recording's rate.
class PcmGenerator {
 public:
  virtual ~PcmGenerator() = default;
  // Fills `frames` interleaved frames of `channels` samples, continuing where the last call ended.
  virtual void generate(std::int16_t* out, std::size_t frames, int channels) = 0;
};

// A sine tone (the second channel a quarter period later), white noise, silence. Amplitudes are
// fractions of full scale (1.0 = 32767); louder values clip.
std::unique_ptr<PcmGenerator> makeTone(double frequencyHz, double amplitude, std::uint32_t sampleRate);
std::unique_ptr<PcmGenerator> makeNoise(double amplitude, std::uint32_t seed = 1);
std::unique_ptr<PcmGenerator> makeSilence();
// A little tune: notes of `noteSeconds` with a soft attack and release, plus a quiet hiss.
std::unique_ptr<PcmGenerator> makeMelody(std::uint32_t sampleRate, double amplitude, double noteSeconds = 0.35,
                                         std::uint32_t seed = 7);

// Encodes PCM into page payloads of one format.
class PageEncoder {
 public:
  // Throws std::invalid_argument for formats the decoder refuses.
  explicit PageEncoder(const RecordingFormat& format);
  // Frames one page carries (what decoding it yields).
  std::size_t framesPerPage() const { return framesPerPage_; }
  audio::PageKind kind() const { return kind_; }
  int channels() const { return channels_; }
  // Encodes framesPerPage() interleaved frames into the 512 plain payload bytes.
  void encode(const std::int16_t* pcm, std::uint8_t* plain) const;

 private:
  audio::PageKind kind_;
  int channels_;
  std::size_t framesPerPage_;
  unsigned width_;
};

// A whole recording in memory: data pages 0 .. pageCount - 1.
struct Recording {
  RecordingFormat format;
  std::vector<std::uint8_t> pages;  // pageCount() * 528 bytes

  std::size_t pageCount() const { return pages.size() / kPageSize; }
  std::uint8_t* page(std::size_t i) { return pages.data() + i * kPageSize; }
  const std::uint8_t* page(std::size_t i) const { return pages.data() + i * kPageSize; }
  // The IM2 file: a copy of the last page, then every page (empty for a recording without pages).
  std::vector<std::uint8_t> im2() const;
  void writeIm2(const std::filesystem::path& file) const;
};

// Pages needed for `seconds` of audio (at least 1).
std::size_t pagesForSeconds(const RecordingFormat& format, double seconds);

// Encodes `pageCount` pages from the generator. Pages are numbered from `firstPageNumber`.
Recording makeRecording(const RecordingFormat& format, PcmGenerator& source, std::size_t pageCount,
                        std::int32_t firstPageNumber = 0);

// Streams a recording straight into an IM2 file (for long recordings). Returns the pages written.
std::size_t writeIm2File(const std::filesystem::path& file, const RecordingFormat& format, PcmGenerator& source,
                         std::size_t pageCount);

// A container recording (encoding 31): the outer pages' payloads carry a stream of inner 528-byte
// pages. The stream starts with an inner header page whose number is innerPages - 1 (like an IM2
// header page, it announces the count), followed by innerPages audio pages numbered from there on
// (innerPages, innerPages + 1, ...). The last outer payload is filled up with 0xFF.
// `outer` supplies family, serial, file number and start time of the outer pages.
Recording makeContainerRecording(const RecordingFormat& outer, const RecordingFormat& inner, PcmGenerator& source,
                                 std::size_t innerPages);

// The reference input of a page kind for comparisons: the 16-bit input mapped to the output domain
// (8-bit output kinds: (v >> 8) + 128).
std::int32_t toOutputDomain(audio::PageKind kind, std::int16_t v);

}  // namespace recdesk::sim
