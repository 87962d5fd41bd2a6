#pragma once
// The communications log of a recdesk-cli run: the daily file in the user's state folder (shared
// with the desktop program), the file named by --log instead, or none with --no-log.
#include <memory>
#include <string>

#include "Cli.h"
#include "link/CommsLog.h"

namespace recdesk::cli {

// Null with --no-log, and null with a sentence in `error` when the --log file cannot be written. A
// state folder that cannot be created costs only the log: a warning is printed and the daily log
// is returned all the same (its appends are skipped).
std::unique_ptr<link::CommsLog> openCommsLog(const CliContext& context, std::string& error);

}  // namespace recdesk::cli
