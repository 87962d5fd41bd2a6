// recdesk-cli convert: an IM2 recording to WAV parts (OUT.00.wav, OUT.00.txt, OUT.01.wav, …).
#include <cstdio>
#include <iostream>
#include <optional>
#include <string>

#include "Cli.h"
#include "CliLog.h"
#include "CliUi.h"
#include "audio/Im2Converter.h"

namespace recdesk::cli {
namespace {

std::string hms(std::uint64_t seconds) {
  char buf[48];
  std::snprintf(buf, sizeof buf, "%llu:%02llu:%02llu", static_cast<unsigned long long>(seconds / 3600),
                static_cast<unsigned long long>(seconds / 60 % 60), static_cast<unsigned long long>(seconds % 60));
  return buf;
}

}  // namespace

// Prints what a conversion produced (shared with the demo command).
void printConversion(const audio::ConvertResult& r) {
  for (const auto& p : r.parts) {
    std::cout << p.wavPath << "  " << hms(p.seconds) << ", " << p.dataBytes << " bytes of audio";
    if (p.faultyPages != 0) std::cout << ", " << p.faultyPages << " faulty pages";
    std::cout << "\n" << p.infoPath << "\n";
  }
}

int runConvertCommand(CliContext& context) {
  audio::ConvertRequest request;
  const auto minutes = context.number("--cut-minutes");
  const auto size = context.number("--cut-mib");
  if (minutes) request.cutMinutes = static_cast<std::uint16_t>(*minutes);
  if (size) request.cutMiB = static_cast<std::uint16_t>(*size);
  if (minutes && size && request.cutMinutes != 0 && request.cutMiB != 0)
    return usageError(context, "give --cut-minutes or --cut-mib, not both");
  request.sourcePath = *context.value("IN.im2");
  request.wavPath = *context.value("OUT.wav");
  request.showFailures = false;  // the failure is printed below, once

  std::string error;
  const auto commsLog = openCommsLog(context, error);
  if (!commsLog && !error.empty()) return fail(error);
  CliUi ui(context.yes);
  audio::LogSink log;
  if (commsLog) log = [&commsLog](const std::string& s) { commsLog->append(s); };

  const audio::ConvertResult r = audio::Im2Converter(ui, log).convert(request);
  ui.progressDone();
  switch (r.status) {
    case audio::ConvertStatus::Completed:
      printConversion(r);
      return kExitOk;
    case audio::ConvertStatus::Declined:
      return fail(r.firstWavPath + " exists and was not replaced (give --yes to replace it)");
    case audio::ConvertStatus::Cancelled:
      printConversion(r);
      return fail("the conversion was cancelled");
    case audio::ConvertStatus::WriteFailed:
      printConversion(r);
      return fail("the conversion stopped: " + r.message);
    case audio::ConvertStatus::SourceOpenFailed:
      return fail("cannot open the recording: " + r.message);
    case audio::ConvertStatus::OutputCreateFailed:
      return fail("cannot create the WAV file: " + r.message);
    case audio::ConvertStatus::NotARecording:
    case audio::ConvertStatus::Unsupported:
      return fail(r.message);
  }
  return kExitFailure;
}

RECDESK_CLI_COMMAND(
    "convert",
    "decode an IM2 recording into WAV parts OUT.00.wav, OUT.01.wav, ... with information files "
    "OUT.00.txt, ... (cut every M minutes or S MiB; asks before replacing unless --yes)",
    runConvertCommand, argument(file("IN.im2", "", "the recording to decode"), true),
    argument(file("OUT.wav", "", "the WAV file; its parts are numbered OUT.00.wav, ..."), true),
    integer("--cut-minutes", "M", 0, 6000, "start a new part every M minutes (0: no cutting)"),
    integer("--cut-mib", "S", 0, 2047, "start a new part every S MiB (0: no cutting)"));

}  // namespace recdesk::cli
