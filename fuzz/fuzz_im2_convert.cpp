// An IM2 file from anywhere converted to WAV parts: the converter's reading, decoding, cutting into
// parts and writing of the parts and their information files, in a folder in memory.
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <string>

#include "FuzzFiles.h"
#include "audio/Im2Converter.h"
#include "ports/UserInterface.h"

namespace {

using namespace recdesk;

void convertAsFile(const std::uint8_t* data, std::size_t size) {
  const auto& dir = fuzz::memoryFolder();
  static const auto source = dir / "in.im2";
  fuzz::writeWhole(source, data, size);
  ports::QuietUi ui;
  audio::ConvertRequest request;
  request.sourcePath = source.string();
  request.wavPath = (dir / "out.wav").string();
  request.askBeforeOverwrite = false;
  request.showFailures = false;
  request.cutLimitOverride = size % 7 == 0 ? 3000 : 0;  // sometimes cut into many small parts
  (void)audio::Im2Converter(ui).convert(request);
  std::error_code ec;
  for (const auto& entry : std::filesystem::directory_iterator(dir, ec))
    if (entry.path().filename() != "in.im2") std::filesystem::remove(entry.path(), ec);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size <= 64 * 1024) convertAsFile(data, size);
  return 0;
}
