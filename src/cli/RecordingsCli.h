#pragma once
// Pieces shared by the "list" and "download" commands: the folder and prefix options, the demo
// folders, and the connected session with the recording list plugged in.
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "Cli.h"
#include "CliSession.h"
#include "DemoScheduler.h"
#include "operations/DownloadSession.h"

namespace recdesk::cli {

struct FolderOptions {
  std::optional<std::string> downloadFolder;
  std::optional<std::string> decodeFolder;
  std::optional<std::string> prefix;
};

// The options "--download-folder D", "--decode-folder W" and "--prefix P", and what the command line gave.
OptionDef downloadFolderOption();
OptionDef decodeFolderOption();
OptionDef prefixOption();
FolderOptions folderOptions(const CliContext& context);

// The folder for the demo's files under the user's cache ("$XDG_CACHE_HOME/recdesk/demo/<what>").
std::string demoFolder(const std::string& what);

// Folders and prefix: the options, else the settings, else (with --demo) the demo folders.
operations::FileNaming resolveNaming(const CliContext& context, const app::Settings& settings,
                                     const FolderOptions& options);

// A connected session with the recording list: create, plug the list in, connect. Null after
// printing the reason.
struct RecordingsSession {
  std::unique_ptr<CliSession> session;
  std::unique_ptr<operations::DownloadSession> operations;
  // The demo recorder's clock for its format, scan and check (goes first).
  std::unique_ptr<DemoScheduler> demoClock;
};
bool openRecordingsSession(const CliContext& context, const FolderOptions& options, RecordingsSession& out);

}  // namespace recdesk::cli
