// recdesk-cli download: fetches recordings into IM2 files (with their information files), continuing
// partial ones, and decodes each completed one to WAV when automatic decoding is on.
#include <chrono>
#include <csignal>
#include <cstdio>
#include <iostream>
#include <optional>
#include <set>
#include <vector>

#include "Interrupt.h"
#include "Cli.h"
#include "OutputFiles.h"
#include "RecordingsCli.h"
#include "lang/Strings.h"
#include "operations/DownloadMath.h"

namespace recdesk::cli {
namespace {



struct DownloadArgs {
  bool all = false;
  std::set<unsigned> numbers;
  bool noDecode = false;
  std::optional<long long> acceleration;
  std::optional<ports::ExistingFileChoice> onExisting;
};

bool parseArgs(const CliContext& context, DownloadArgs& out, std::string& error) {
  out.all = context.given("--all");
  out.noDecode = context.given("--no-decode");
  out.acceleration = context.number("--acceleration");
  if (const auto v = context.value("--on-existing")) {
    if (*v == "continue") out.onExisting = ports::ExistingFileChoice::Continue;
    if (*v == "start-again" || *v == "restart") out.onExisting = ports::ExistingFileChoice::StartAgain;
    if (*v == "skip") out.onExisting = ports::ExistingFileChoice::Skip;
  }
  for (const auto& n : context.all("NUMBER")) out.numbers.insert(static_cast<unsigned>(std::stoul(n)));
  if (out.all && !out.numbers.empty()) {
    error = "give either --all or recording numbers";
    return false;
  }
  return true;
}

// How long the recorder may take to answer the bad-block scan that follows accepted bad pages.
constexpr std::chrono::minutes kScanTimeout{10};

std::string pageList(const std::vector<std::uint64_t>& pages) {
  std::string text;
  for (std::size_t i = 0; i < pages.size(); ++i) {
    if (i == 20) {
      text += ", ... (" + std::to_string(pages.size()) + " in all)";
      break;
    }
    text += (i == 0 ? "" : ", ") + std::to_string(pages[i]);
  }
  return text;
}

int runDownload(CliContext& context) {
  const FolderOptions folders = folderOptions(context);
  DownloadArgs args;
  std::string error;
  if (!parseArgs(context, args, error)) return usageError(context, error);

  RecordingsSession rs;
  if (!openRecordingsSession(context, folders, rs)) return kExitFailure;
  CliSession& session = *rs.session;
  operations::RecordingList& list = rs.operations->list();
  operations::Download& download = rs.operations->download();

  // Which recordings: --all, the numbers given, or (by default) those not completely on disk.
  if (args.all || !args.numbers.empty()) {
    for (std::size_t i = 0; i < list.size(); ++i)
      list.setSelected(i, args.all || args.numbers.count(list.row(i).entry.fileNumber) != 0);
    for (const unsigned n : args.numbers) {
      if (!list.findFileNumber(static_cast<std::uint16_t>(n))) {
        session.close();
        return fail("the recorder holds no recording " + std::to_string(n));
      }
    }
  }
  if (list.selectedCount() == 0) {
    std::cout << "Nothing to download: " << list.size() << " recording(s), all on disk"
              << " (--all fetches them again, continuing or restarting per --on-existing).\n";
    session.close();
    return kExitOk;
  }

  operations::DownloadOptions options = operations::DownloadOptions::fromSettings(session.settings());
  options.naming = rs.operations->listReplies().currentNaming();
  if (args.noDecode) options.autoDecrypt = false;
  if (args.acceleration) options.acceleration = operations::normaliseAcceleration(*args.acceleration);
  // A script cannot be asked: continuing a partial file is the sensible default.
  const ports::ExistingFileChoice onExisting = args.onExisting.value_or(ports::ExistingFileChoice::Continue);
  ports::Reply existingFile;
  existingFile.choice = static_cast<std::size_t>(onExisting);
  session.ui().answer(ports::Topic::ExistingFile, existingFile);

  std::cout << "Downloading " << list.selectedCount() << " recording(s) from " << list.deviceName() << " into "
            << options.naming.downloadFolder;
  if (options.autoDecrypt) std::cout << ", decoding into " << options.naming.decodeFolder;
  std::cout << " (" << options.acceleration << " pages per block)\n" << std::flush;

  bool stopAsked = false;
  std::optional<InterruptScope> ctrlC(std::in_place);
  const auto interrupted = [] { return InterruptScope::interrupted(); };
  if (!download.start(options)) {
    ctrlC.reset();
    session.close();
    return fail("the download did not start");
  }
  session.runUntil(
      [&] {
        if (interrupted() && !stopAsked && download.running()) {
          stopAsked = true;
          session.ui().progressDone();
          std::cerr << "recdesk-cli: stopping after the block under way\n";
          download.requestStop();
        }
        return !download.running();
      },
      std::chrono::hours(24 * 365));
  session.ui().progressDone();

  // Accepted bad pages end the download with a bad-block scan: its result is part of the report.
  std::optional<operations::BadBlockScanResult> scan;
  bool scanMissing = false;
  if (download.scanRequested() && !stopAsked) {
    std::cerr << "recdesk-cli: waiting for the recorder's bad-block scan\n";
    session.runUntil([&] { return rs.operations->badBlockScan().has_value() || interrupted(); }, kScanTimeout);
    scan = rs.operations->badBlockScan();
    scanMissing = !scan && !interrupted();
  }
  ctrlC.reset();

  int failures = 0;
  for (const auto& out : download.outcomes()) {
    const bool deliberate = out.skipped;
    std::printf("Recording %u: ", static_cast<unsigned>(out.fileNumber));
    if (out.completed) {
      std::printf("complete, %llu pages (%llu fetched now), %llu repeated block(s), %llu bad page(s) accepted",
                  static_cast<unsigned long long>(out.pages), static_cast<unsigned long long>(out.pagesTransferred),
                  static_cast<unsigned long long>(out.repeats), static_cast<unsigned long long>(out.badPagesAccepted));
      if (!out.wrongPlacePages.empty())
        std::printf(", %zu wrong-place page(s) stored as sent", out.wrongPlacePages.size());
      std::printf("\n");
    } else if (deliberate) {
      std::printf("skipped (%s)\n", out.problem.c_str());
      continue;
    } else if (!out.reached) {
      ++failures;
      std::printf("NOT reached: %s; %llu of %llu pages on disk\n", out.problem.c_str(),
                  static_cast<unsigned long long>(out.pagesOnDisk), static_cast<unsigned long long>(out.pages));
      continue;
    } else {
      ++failures;
      std::printf("NOT complete: %s; %llu of %llu pages on disk, %llu repeated block(s)\n",
                  session.ui().told(out.problem) ? "see the message above" : out.problem.c_str(),
                  static_cast<unsigned long long>(out.pagesOnDisk), static_cast<unsigned long long>(out.pages),
                  static_cast<unsigned long long>(out.repeats));
    }
    if (!out.wrongPlacePages.empty())
      std::printf("  wrong-place page(s), stored as the recorder sent them: %s\n", pageList(out.wrongPlacePages).c_str());
    for (const auto& moved : out.movedAside)
      std::printf("  another recording's file moved aside: %s\n", moved.string().c_str());
    for (const auto& file : {out.files.im2, out.files.info})
      if (const std::string line = describeOutputFile(file); !line.empty()) std::printf("  %s\n", line.c_str());
    if (out.conversion) {
      if (!out.conversion->ok) {
        ++failures;
        std::printf("  decoding failed: %s\n", session.ui().told(out.conversion->message)
                                                    ? "see the message above"
                                                    : out.conversion->message.c_str());
      }
      for (const auto& file : out.conversion->files) std::printf("  %s\n", file.string().c_str());
    }
  }
  if (scan) {
    std::string text = scan->text;
    for (std::size_t at; (at = text.find("\r\n\r\n")) != std::string::npos;) text.replace(at, 4, "; ");
    std::printf("Bad-block scan: %s\n", text.c_str());
  } else if (scanMissing) {
    std::printf("Bad-block scan: no result from the recorder within %lld minutes\n",
                static_cast<long long>(kScanTimeout.count()));
  }
  std::fflush(stdout);
  session.close();
  if (stopAsked) return kExitFailure;
  return failures == 0 ? kExitOk : kExitFailure;
}

}  // namespace

RECDESK_CLI_COMMAND(
    "download", "fetch recordings into IM2 files (resuming partial ones) and decode them to WAV", runDownload,
    argument(integer("NUMBER", "", 0, 65535,
                     "the recordings to fetch (default: those not completely on disk)"),
             false, true),
    flag("--all", "fetch every recording, also those on disk"), downloadFolderOption(), decodeFolderOption(),
    prefixOption(), flag("--no-decode", "do not decode the recordings to WAV"),
    integer("--acceleration", "N", 1, 256, "pages per block (instead of the settings' count)"),
    choice("--on-existing", {"continue", "start-again", "skip", "restart"},
           "what to do with a recording partly or completely on disk (default continue)"));

}  // namespace recdesk::cli
