#include "PlaybackTestSupport.h"

#include "TestSupport.h"
#include "audio/Im2Converter.h"

namespace recdesk::test {

std::string convertedAudio(const std::filesystem::path& im2, const std::filesystem::path& folder) {
  ports::QuietUi ui;
  audio::ConvertRequest request;
  request.sourcePath = im2.string();
  request.wavPath = (folder / "converted.wav").string();
  request.askBeforeOverwrite = false;
  request.showFailures = false;
  const auto result = audio::Im2Converter(ui).convert(request);
  if (!result.ok() || result.parts.size() != 1) return "conversion failed: " + result.message;
  return readFile(result.parts[0].wavPath).substr(44);
}

sim::Recording toneRecording(std::size_t pages, const sim::RecordingFormat& format) {
  auto tone = sim::makeTone(440, 0.4, format.sampleRate);
  return sim::makeRecording(format, *tone, pages);
}

}  // namespace recdesk::test
