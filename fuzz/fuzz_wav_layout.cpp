// WAV files given to the filter are untrusted: the chunk walker must accept or refuse any bytes cleanly.
#include <cstddef>
#include <cstdint>
#include <string>

#include "FuzzFiles.h"
#include "audio/CFile64.h"
#include "audio/WavFilter.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace recdesk::audio;
  static const std::string path = (recdesk::fuzz::memoryFolder() / "layout.wav").string();
  recdesk::fuzz::writeWhole(path, data, size);
  CFile64 file;
  FileError error;
  if (!file.Open(path, CFile64::kRead, CFile64::kShareRead, CFile64::kOpenExisting, &error)) return 0;
  try {
    WavLayout layout;
    (void)readWavLayout(file, layout);
  } catch (const FileError&) {
  }
  return 0;
}
