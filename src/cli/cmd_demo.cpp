// recdesk-cli demo: generated demo recordings, written as IM2 files and converted (no recorder involved;
// `recdesk-cli --demo` alone runs the whole session against the simulated recorder instead).
#include <iostream>

#include "Cli.h"
#include "CliUi.h"
#include "RecordingsCli.h"
#include "audio/Im2Converter.h"
#include "recording/DemoRecordings.h"

namespace recdesk::cli {

void printConversion(const audio::ConvertResult& r);

namespace {

int runDemo(CliContext& context) {
  const std::filesystem::path folder = context.value("--demo-folder").value_or(demoFolder(""));
  std::cout << "RecDesk " << versionLine() << " demo: generated recordings in " << folder.string() << "\n";
  std::vector<std::filesystem::path> paths;
  std::vector<sim::DemoRecording> demos;
  try {
    demos = sim::makeDemoRecordings();
    paths = sim::writeDemoRecordings(folder, demos);
  } catch (const std::exception& e) {
    return fail(std::string("cannot write the demo recordings: ") + e.what());
  }
  CliUi ui(true);
  int status = kExitOk;
  for (std::size_t i = 0; i < paths.size(); ++i) {
    std::cout << "\n" << demos[i].title << "\n" << paths[i].string() << "\n";
    audio::ConvertRequest request;
    request.sourcePath = paths[i].string();
    request.wavPath = (paths[i].parent_path() / paths[i].stem()).string() + ".wav";
    request.askBeforeOverwrite = false;  // the demo folder is ours
    request.showFailures = false;
    const auto r = audio::Im2Converter(ui).convert(request);
    ui.progressDone();
    if (!r.ok()) {
      status = fail("converting " + paths[i].string() + " failed: " + r.message);
      continue;
    }
    printConversion(r);
  }
  std::cout << "\nThe WAV files are in " << folder.string() << "\n";
  return status;
}

}  // namespace

RECDESK_CLI_COMMAND(
    "demo",
    "generate demo recordings (IM2) and convert them to WAV, without a recorder (default folder "
    "$XDG_CACHE_HOME/recdesk/demo)",
    runDemo, folder("--demo-folder", "DIR", "the folder for the recordings and their WAV files"));

}  // namespace recdesk::cli
