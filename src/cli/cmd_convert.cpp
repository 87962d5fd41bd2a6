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

std::uint16_t wholeNumber(const std::string& text, const std::string& option, unsigned max) {
  std::size_t used = 0;
  unsigned long v = 0;
  try {
    v = std::stoul(text, &used, 10);
  } catch (const std::exception&) {
    used = 0;
  }
  if (used == 0 || used != text.size() || text[0] == '-' || v > max)
    throw std::invalid_argument(option + " takes a whole number from 0 to " + std::to_string(max) + ", not '" + text + "'");
  return static_cast<std::uint16_t>(v);
}

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
  std::vector<std::string> positional;
  audio::ConvertRequest request;
  bool minutesGiven = false, sizeGiven = false;
  try {
    for (std::size_t i = 0; i < context.args.size(); ++i) {
      std::string value;
      if (optionValue(context.args, i, "--cut-minutes", value)) {
        request.cutMinutes = wholeNumber(value, "--cut-minutes", 6000);
        minutesGiven = true;
      } else if (optionValue(context.args, i, "--cut-mib", value)) {
        request.cutMiB = wholeNumber(value, "--cut-mib", 2047);
        sizeGiven = true;
      } else if (!context.args[i].empty() && context.args[i][0] == '-' && context.args[i] != "-") {
        return usageError(context, "unknown option " + context.args[i]);
      } else {
        positional.push_back(context.args[i]);
      }
    }
  } catch (const std::invalid_argument& e) {
    return usageError(context, e.what());
  }
  if (positional.size() != 2) return usageError(context, "convert needs the IM2 file and the WAV file");
  if (minutesGiven && sizeGiven && request.cutMinutes != 0 && request.cutMiB != 0) return usageError(context, "give --cut-minutes or --cut-mib, not both");
  request.sourcePath = positional[0];
  request.wavPath = positional[1];
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

RECDESK_CLI_COMMAND("convert", "convert IN.im2 OUT.wav [--cut-minutes M | --cut-mib S]",
                    "decode an IM2 recording into WAV parts OUT.00.wav, OUT.01.wav, ... with information files "
                    "OUT.00.txt, ... (cut every M minutes or S MiB; asks before replacing unless --yes)",
                    runConvertCommand);

}  // namespace recdesk::cli
