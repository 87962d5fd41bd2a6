// recdesk-cli demo: generated demo recordings, written as IM2 files and converted (no recorder involved;
// `recdesk-cli --demo` alone runs the whole session against the simulated recorder instead).
#include <cstdlib>
#include <iostream>

#include "Cli.h"
#include "CliUi.h"
#include "audio/Im2Converter.h"
#include "recording/DemoRecordings.h"

namespace recdesk::cli {

void printConversion(const audio::ConvertResult& r);

namespace {

std::filesystem::path defaultDemoFolder() {
  if (const char* cache = std::getenv("XDG_CACHE_HOME"); cache != nullptr && cache[0] == '/')
    return std::filesystem::path(cache) / "recdesk" / "demo";
  if (const char* home = std::getenv("HOME"); home != nullptr && home[0] != '\0')
    return std::filesystem::path(home) / ".cache" / "recdesk" / "demo";
  return std::filesystem::temp_directory_path() / "recdesk-demo";
}

int runDemo(CliContext& context) {
  std::filesystem::path folder = defaultDemoFolder();
  for (std::size_t i = 0; i < context.args.size(); ++i) {
    const std::string& a = context.args[i];
    if (a == "--demo-folder" && i + 1 < context.args.size()) {
      folder = context.args[++i];
    } else if (a.rfind("--demo-folder=", 0) == 0) {
      folder = a.substr(14);
    } else {
      return usageError(context, "unknown argument " + a);
    }
  }
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

RECDESK_CLI_COMMAND("demo", "demo [--demo-folder=DIR]",
                    "generate demo recordings (IM2) and convert them to WAV, without a recorder (default folder "
                    "$XDG_CACHE_HOME/recdesk/demo)",
                    runDemo);

}  // namespace recdesk::cli
