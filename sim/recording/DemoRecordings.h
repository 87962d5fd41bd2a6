#pragma once
// The demo recordings: a few short generated recordings in different formats, as a recorder would
// hold them, for `--demo` and the simulated recorder.
#include <filesystem>
#include <string>
#include <vector>

#include "recording/RecordingWriter.h"

namespace recdesk::sim {

struct DemoRecording {
  std::string title;     // what it is, for people ("R5, 4-bit difference table, 8 kHz mono")
  Recording recording;   // data pages 0 .. P - 1
};

// Builds the demo recordings in memory (a few seconds to a minute each; about two seconds of work).
// All carry the same device (family by recorder model) and consecutive file numbers from `firstFile`.
std::vector<DemoRecording> makeDemoRecordings(std::uint16_t serial = 12345, std::uint16_t firstFile = 1);

// The IM2 file name a download gives a recording without a prefix: "<device name>.<file number>.im2".
std::string im2FileName(const Recording& recording);

// Writes every demo recording as an IM2 file into `folder` (created when missing). Returns the paths.
std::vector<std::filesystem::path> writeDemoRecordings(const std::filesystem::path& folder,
                                                       const std::vector<DemoRecording>& recordings);

}  // namespace recdesk::sim
