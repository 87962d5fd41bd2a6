#include "RecordingsCli.h"

#include <cstdlib>
#include <filesystem>

#include "DemoRecorder.h"
#include "SimDownload.h"
#include "SimMaintenance.h"
#include "SimRecorder.h"
#include "operations/RecordingFolders.h"

namespace recdesk::cli {

OptionDef downloadFolderOption() {
  return folder("--download-folder", "DIR", "the folder for the IM2 files (instead of the settings' one)");
}
OptionDef decodeFolderOption() {
  return folder("--decode-folder", "DIR", "the folder for the WAV files (instead of the settings' one)");
}
OptionDef prefixOption() {
  return text("--prefix", "P", "the file-name prefix (instead of the settings' one)");
}

FolderOptions folderOptions(const CliContext& context) {
  FolderOptions out;
  out.downloadFolder = context.value("--download-folder");
  out.decodeFolder = context.value("--decode-folder");
  out.prefix = context.value("--prefix");
  return out;
}

std::string demoFolder(const std::string& what) { return sim::demoFolder(what).string(); }

operations::FileNaming resolveNaming(const CliContext& context, const app::Settings& settings,
                                     const FolderOptions& options) {
  operations::FileNaming n;
  n.downloadFolder = options.downloadFolder.value_or(settings.downloadFolder);
  n.decodeFolder = options.decodeFolder.value_or(settings.decryptFolder);
  n.prefix = operations::cleanPrefix(options.prefix.value_or(context.demo && !context.settingsFile ? std::string()
                                                                                                   : settings.filePrefix));
  if (context.demo) {
    // The demo's own folders are made without asking.
    std::error_code ec;
    if (n.downloadFolder.empty()) {
      n.downloadFolder = demoFolder("download");
      std::filesystem::create_directories(n.downloadFolder, ec);
    }
    if (n.decodeFolder.empty()) {
      n.decodeFolder = demoFolder("decode");
      std::filesystem::create_directories(n.decodeFolder, ec);
    }
  }
  return n;
}

bool openRecordingsSession(const CliContext& context, const FolderOptions& options, RecordingsSession& out) {
  std::string error;
  out.session = CliSession::create(context, error);
  if (!out.session) {
    fail(error);
    return false;
  }
  if (sim::SimRecorder* device = out.session->simulatedDevice()) {
    sim::SimDownload::install(*device);
    out.demoClock = std::make_unique<DemoScheduler>(out.session->loop());
    DemoScheduler* clock = out.demoClock.get();
    sim::SimMaintenance::install(*device, {}, [clock](std::chrono::nanoseconds delay, std::function<void()> call) {
      clock->schedule(delay, std::move(call));
    });
  }
  out.operations = std::make_unique<operations::DownloadSession>(out.session->host());
  out.operations->listReplies().naming = resolveNaming(context, out.session->settings(), options);
  if (!out.session->connect(error)) {
    fail(error);
    return false;
  }
  return true;
}

}  // namespace recdesk::cli
