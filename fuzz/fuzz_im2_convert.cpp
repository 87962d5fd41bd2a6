// An IM2 file from anywhere converted to WAV parts: the converter's reading, decoding, cutting into
// parts and writing of the parts and their information files. The files are in memory
// (MemoryFileSystem): on the disk, making and removing them took most of the run.
//
// Inputs are at most six pages: a header, a container's two inner-header pages and a few audio pages
// of every kind fit within that (so does each seed), and every further page only repeats the decoding.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "AsanDefaults.h"
#include "FuzzFlags.h"
#include "MemoryFileSystem.h"
#include "audio/Im2Converter.h"
#include "ports/UserInterface.h"

namespace {

using namespace recdesk;

void convert(const std::uint8_t* data, std::size_t size) {
  test::MemoryFileSystem files;
  files.put("/in/rec.im2", std::string_view(reinterpret_cast<const char*>(data), size));
  ports::QuietUi ui;
  audio::ConvertRequest request;
  request.sourcePath = "/in/rec.im2";
  request.wavPath = "/out/rec.wav";
  request.askBeforeOverwrite = false;
  request.showFailures = false;
  request.cutLimitOverride = size % 7 == 0 ? 3000 : 0;  // sometimes cut into many small parts
  request.files = &files;
  const audio::ConvertResult result = audio::Im2Converter(ui).convert(request);

  // Every file is closed, and each part the result names holds its header and the audio it reports.
  if (files.openFiles() != 0) __builtin_trap();
  if (result.status == audio::ConvertStatus::Completed || result.status == audio::ConvertStatus::Cancelled) {
    for (const auto& part : result.parts) {
      const auto bytes = files.fileSize(part.wavPath);
      if (!bytes || *bytes != 44 + part.dataBytes || !files.exists(part.infoPath)) __builtin_trap();
    }
  }
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv) {
  recdesk::fuzz::defaultFlags(argc, argv, {"-max_len=3200"});
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size <= 64 * 1024) convert(data, size);
  return 0;
}
