// recdesk-cli list: the recordings in the recorder's flash, with how much of each is on disk.
#include <cstdio>
#include <iostream>

#include "Cli.h"
#include "RecordingsCli.h"
#include "lang/Strings.h"

namespace recdesk::cli {
namespace {

std::string formatText(const operations::RecordingEntry& e) {
  const char* channels = e.channels == 1 ? "mono" : e.channels == 2 ? "stereo" : "?";
  char text[64];
  std::snprintf(text, sizeof text, "%u Hz %u-bit %s", static_cast<unsigned>(e.sampleRate),
                static_cast<unsigned>(e.encodedBits), channels);
  return text;
}

int runList(CliContext& context) {
  FolderOptions folders;
  std::string error;
  if (!takeFolderOptions(context.args, folders, error)) return usageError(context, error);
  if (!context.args.empty()) return usageError(context, "unexpected argument '" + context.args.front() + "'");

  RecordingsSession rs;
  if (!openRecordingsSession(context, folders, rs)) return kExitFailure;
  const operations::RecordingList& list = rs.operations->list();

  std::cout << "Recorder " << list.deviceName() << ": " << list.size() << " recording(s)";
  if (rs.operations->refusedLines() > 0) std::cout << ", " << rs.operations->refusedLines() << " unreadable list line(s)";
  std::cout << "\n";
  if (!list.empty()) {
    std::printf("%6s  %-20s  %10s  %10s  %-22s  %6s\n", "Number", "Start", "Duration", "Pages", "Format", "Disk");
    for (const auto& row : list.rows()) {
      const auto& e = row.entry;
      std::printf("%6u  %-20s  %10s  %10llu  %-22s  %5ld%%\n", static_cast<unsigned>(e.fileNumber),
                  e.start.format("%Y-%m-%d %H:%M:%S").c_str(), operations::formatSpan(e.durationSeconds).c_str(),
                  static_cast<unsigned long long>(e.pages), formatText(e).c_str(),
                  operations::percentDownloaded(e.pagesOnDisk, e.pages));
    }
    // The summary row under the list: the recordings a download would fetch, and their sizes.
    const auto& summary = list.summary();
    std::string line = summary.selection;
    for (const std::string* part : {&summary.im2, &summary.wav})
      if (!part->empty()) line += "   " + *part;
    std::printf("%s\n", line.c_str());
  }
  std::fflush(stdout);
  rs.session->close();
  return kExitOk;
}

}  // namespace

RECDESK_CLI_COMMAND("list", "list [--download-folder D] [--prefix P]",
                    "the recordings in the recorder, with the share of each already downloaded", runList);

}  // namespace recdesk::cli
