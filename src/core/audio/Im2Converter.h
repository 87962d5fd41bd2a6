#pragma once
// IM2 -> WAV conversion: decodes an IM2 recording page by page into WAV parts "B.00.wav", "B.01.wav",
// … (B = the destination path without ".wav"), cut by time or size, each with an information file
// "B.kk.txt" that describes the part and lists its faulty pages. Runs without a user interface of its
// own: it asks and reports through ports::UserInterface and writes to the communications log
// through a sink.
//
// Container recordings (encoding 31) are converted through their stream of inner pages. A pass of
// the page loop that completes no inner page advances neither the page count nor the expected
// inner page number.
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "audio/FileSystem.h"
#include "ports/UserInterface.h"

namespace recdesk::app {
struct Settings;
}

namespace recdesk::audio {

// Receives communications-log text exactly as it is to be appended (lines end in "\r\n").
using LogSink = std::function<void(const std::string&)>;

// The largest audio data of one part: every RIFF length stays within 32 bits.
inline constexpr std::uint64_t kMaxPartBytes = 0x7FF00000u;

// Bytes of audio data per part: "WaveCutTime" minutes when not 0, else "WaveCutSize" MiB when not 0,
// else kMaxPartBytes; never more than kMaxPartBytes. Computed in 64 bits, so it cannot overflow.
std::uint64_t cutLimitBytes(std::uint16_t cutMinutes, std::uint16_t cutMiB, int channels, int outputBits,
                            std::uint32_t sampleRate);

// B: the destination path without its ".wav" (any case); a path without it is taken whole.
std::string wavBase(const std::string& wavPath);
// "%s.%02u.wav" / "%s.%02u.txt" of B and the part number.
std::string wavPartPath(const std::string& base, unsigned part);
std::string infoPartPath(const std::string& base, unsigned part);

struct ConvertRequest {
  std::string sourcePath;           // the IM2 file
  std::string wavPath;              // destination; the parts are named from it
  std::uint16_t cutMinutes = 0;     // "WaveCutTime"
  std::uint16_t cutMiB = 0;         // "WaveCutSize"
  std::uint64_t cutLimitOverride = 0;  // when not 0: bytes per part instead of the settings (tools, tests)
  bool askBeforeOverwrite = true;   // ask when part 00 exists; otherwise it is replaced
  bool showFailures = true;         // tell failures in message boxes (the command line prints its own)
  FileSystem* files = nullptr;      // where the files are (tests, fuzz targets); the disk when none
};

enum class ConvertStatus {
  Completed,          // the whole recording (or everything a partial download holds) was converted
  Cancelled,          // the user cancelled; the parts written are complete WAV files
  WriteFailed,        // a file error during the conversion; ended like a cancel
  Declined,           // part 00 existed and the user chose not to replace it
  SourceOpenFailed,   // the IM2 file cannot be opened
  NotARecording,      // shorter than a header page, or a container without an inner page
  Unsupported,        // a format the decoder refuses
  OutputCreateFailed, // part 00 or its information file cannot be created
};

struct ConvertPart {
  std::string wavPath;
  std::string infoPath;
  std::uint64_t dataBytes = 0;
  std::uint32_t seconds = 0;
  std::uint64_t faultyPages = 0;
};

struct ConvertResult {
  ConvertStatus status = ConvertStatus::Completed;
  std::string message;       // for the user when not completed (English; the GUI shows language texts)
  std::string firstWavPath;  // part 00: where the player goes afterwards
  std::vector<ConvertPart> parts;
  std::uint64_t pagesProcessed = 0;
  std::uint64_t faultyPages = 0;
  std::uint32_t sampleRate = 0;
  int outputBits = 0;
  int channels = 0;
  std::string deviceName;
  bool ok() const { return status == ConvertStatus::Completed; }
};

class Im2Converter {
 public:
  explicit Im2Converter(ports::UserInterface& ui, LogSink log = {});
  ConvertResult convert(const ConvertRequest& request);

 private:
  ports::UserInterface& ui_;
  LogSink log_;
};

// The download's entry point: converts `im2Path` to parts named from `wavPath` with the cut settings
// ("WaveCutTime", "WaveCutSize") of `settings`. `infoPath`, the recording's download information file,
// is left alone: every part gets its own information file beside it.
// `askBeforeOverwrite` false: part 00 is replaced without a question (the caller asked it).
ConvertResult convertRecording(ports::UserInterface& ui, const LogSink& log, const std::string& im2Path,
                               const std::string& wavPath, const std::string& infoPath,
                               const app::Settings& settings, bool askBeforeOverwrite = true);

// The question before part 00 of `wavPath` is replaced; nullopt when there is no such file.
std::optional<ports::Question> overwriteQuestion(const std::string& wavPath,
                                                 FileSystem& files = FileSystem::disk());
// The result's message when the user chose not to replace it.
std::string declinedMessage(const std::string& wavPath);

}  // namespace recdesk::audio
