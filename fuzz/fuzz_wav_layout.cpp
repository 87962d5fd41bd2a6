// WAV files given to the filter are untrusted: the chunk walker must accept or refuse any bytes cleanly.
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>

#include "audio/CFile64.h"
#include "audio/WavFilter.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace recdesk::audio;
  static const std::string path = "/tmp/recdesk-fuzz-wav-layout-" + std::to_string(::getpid()) + ".wav";
  if (FILE* f = std::fopen(path.c_str(), "wb")) {
    std::fwrite(data, 1, size, f);
    std::fclose(f);
  }
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
