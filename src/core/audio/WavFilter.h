#pragma once
// The WAV filter: runs a 16-bit mono or stereo WAV file through one of seven modes (speech band,
// 300 Hz high-pass, 3300 Hz low-pass, each with or without automatic level control, or level control
// alone) and writes the result to a new WAV file.
#include <cstdint>
#include <string>

#include "lang/TextId.h"
#include "ports/UserInterface.h"

namespace recdesk::audio {

class CFile64;

inline constexpr int kFilterModeCount = 7;
// The language text naming a mode (0..6; TextId::FilterSpeechBand for any other). The filter's other
// texts are TextId::Filtering (the progress caption), TextId::FilterRefused… and the file problems
// TextId::FilterBadHeader … TextId::FilterTooLong.
TextId filterModeText(int mode);

// What one mode does.
struct FilterModeInfo {
  enum Kind { kNone, kBandPass, kHighPass, kLowPass };
  Kind kind = kNone;
  bool levelControl = false;
};
FilterModeInfo filterModeInfo(int mode);

// The edges for FirFilter::Design (fractions of half the sample rate) of a mode at a sample rate.
void filterModeEdges(int mode, std::uint32_t sampleRate, double& f1, double& f2);

// The mode's name (its language text, filterModeText), with path separators replaced so that it can be part
// of a file name.
std::string filterModeName(int mode);

// The output name the filter proposes: the input path without its last 4 characters (".wav"), a
// space, the mode's name and ".wav".
std::string proposedFilterOutput(const std::string& inputPath, int mode);

// Where the audio of a WAV file lies, found by walking its chunks (extra chunks before or after the
// audio, a longer format chunk and a data length that is not filled in are all handled).
struct WavLayout {
  std::uint16_t formatTag = 0;  // 1 PCM; 0xFFFE extensible (with a PCM sub-format)
  std::uint16_t channels = 0;
  std::uint32_t sampleRate = 0;
  std::uint16_t bitsPerSample = 0;
  std::uint64_t dataOffset = 0;      // first byte of the audio
  std::uint32_t declaredLength = 0;  // data length written in the header
  std::uint64_t available = 0;       // bytes from dataOffset to the end of the file
  // The audio bytes to use: the declared length, or what the file holds when the header claims more
  // than that or was never filled in (0 or 0xFFFFFFFF).
  std::uint64_t dataLength = 0;
  bool isPcm() const { return formatTag == 1 || formatTag == 0xFFFE; }
};
// Reads the layout of the WAV file open in `file` (any position). False when the file is not a RIFF
// WAVE file with a format chunk (of at least 16 bytes) followed by a data chunk, or when the format
// has no channels or no sample rate. Raises the file's errors (FileError).
bool readWavLayout(CFile64& file, WavLayout& layout);

enum class FilterResult {
  Completed,  // the output was written and closed
  Refused,    // the input was not opened, not a WAV file, or not 16-bit mono or stereo; nothing written
  Cancelled,  // the user cancelled; no output is left behind
  Failed,     // a file error (full disk, …) ended the run; no output is left behind
};

// Filters `inputPath` into `outputPath` with `mode` (0..6). Shows progress (caption TextId::Filtering,
// 0..1000; a false answer cancels) and every failure through `ui`. The output is written beside its
// final name and renamed into place only when it is complete, so a cancelled or failed run leaves no
// output file (and keeps a file that was there before); the output may be the input itself.
FilterResult filterWav(const std::string& inputPath, const std::string& outputPath, int mode,
                       ports::UserInterface& ui);

// True when the output was completed.
inline bool Filter(const std::string& inputPath, const std::string& outputPath, int mode,
                   ports::UserInterface& ui) {
  return filterWav(inputPath, outputPath, mode, ui) == FilterResult::Completed;
}

}  // namespace recdesk::audio
