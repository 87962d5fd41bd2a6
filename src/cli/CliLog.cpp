#include "CliLog.h"

#include <filesystem>
#include <fstream>
#include <iostream>

namespace recdesk::cli {

std::unique_ptr<link::CommsLog> openCommsLog(const CliContext& context, std::string& error) {
  if (context.noLog) return nullptr;
  auto log = std::make_unique<link::CommsLog>();
  if (context.logFile) {
    log->setLogFile(*context.logFile);
    std::ofstream probe(*context.logFile, std::ios::app);
    if (!probe) {
      error = "cannot write the log file " + context.logFile->string();
      return nullptr;
    }
    return log;
  }
  std::error_code ec;
  std::filesystem::create_directories(log->folder(), ec);
  if (ec || !std::filesystem::is_directory(log->folder(), ec))
    std::cerr << "recdesk-cli: warning: no communications log: cannot create the folder " << log->folder().string()
              << "\n";
  return log;
}

}  // namespace recdesk::cli
