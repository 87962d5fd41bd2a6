// recdesk-cli info: connects, runs the whole query chain and prints what the recorder told about itself.
#include <cmath>
#include <cstdio>
#include <ctime>
#include <iostream>
#include <sstream>

#include "Cli.h"
#include "CliSession.h"

namespace recdesk::cli {
namespace {

std::string hms(std::uint64_t seconds) {
  char buffer[48];
  std::snprintf(buffer, sizeof buffer, "%llu:%02u:%02u", static_cast<unsigned long long>(seconds / 3600),
                static_cast<unsigned>(seconds / 60 % 60), static_cast<unsigned>(seconds % 60));
  return buffer;
}

std::string megabytes(double bytes) {
  char buffer[48];
  std::snprintf(buffer, sizeof buffer, "%.1f MB", bytes / 1048576.0);
  return buffer;
}

std::string hex2(unsigned v) {
  char buffer[8];
  std::snprintf(buffer, sizeof buffer, "%02X", v & 0xFFu);
  return buffer;
}

void printInfo(CliSession& s) {
  const auto& info = s.host().info();
  const auto& flags = s.host().flags();
  std::ostringstream out;
  const auto row = [&](const char* label, const std::string& value) {
    out << label << std::string(label[0] ? 22 - std::min<std::size_t>(21, std::char_traits<char>::length(label)) : 0, ' ')
        << value << "\n";
  };
  std::string kind;
  switch (info.variant) {
    case session::DeviceVariant::Transmitter: kind = "transmitter"; break;
    case session::DeviceVariant::Reduced: kind = "recorder, reduced kind R5U, sub-model " + std::to_string(info.subModel); break;
    default: kind = "recorder"; break;
  }
  row("Device name:", info.deviceName.empty() ? "(not reported)" : info.deviceName);
  row("Model:", (info.model.empty() ? std::string("?") : info.model) + " (" + kind + ")");
  row("Firmware version:", info.versionText);
  row("Firmware capability:", info.firmwareCapability ? "1 (extended password digits)" : "0");
  if (flags.testMode) row("Test mode:", "on");
  std::string linkText = s.linkDescription();
  if (info.linkSpeed) linkText += " at " + std::to_string(info.linkSpeed) + " bit/s";
  row("Link:", linkText);
  row("Recordings:", std::to_string(info.listCount) + (info.listRecords != info.listCount
                                                           ? " (" + std::to_string(info.listRecords) + " listed)"
                                                           : ""));
  if (info.type.numeric) {
    row("Recording type:", std::to_string(info.type.sampleRate) + " Hz, " + std::to_string(info.type.bits) +
                               " bits, " + (info.type.channels == 1 ? std::string("mono") : info.type.channels == 2 ? std::string("stereo") : std::to_string(info.type.channels) + " channels") +
                               ", gain " + std::to_string(info.type.gain));
  } else if (!info.type.text.empty()) {
    row("Recording type:", info.type.text);
  }
  std::string banks;
  for (int b = 0; b < info.flash.banksRead; ++b) {
    const auto i = static_cast<std::size_t>(b);
    if (info.flash.device[i] == 0 && info.flash.maker[i] == 0) continue;
    banks += (banks.empty() ? "" : ", ") + hex2(info.flash.device[i]) + "/" + hex2(info.flash.maker[i]);
  }
  row("Flash:", std::to_string(info.flash.sizeMb) + " MB, " + std::to_string(info.flash.totalBlocks) + " blocks" +
                    (banks.empty() ? "" : " (chips " + banks + ")"));
  row("Free space:", std::to_string(info.freePages) + " pages (" +
                         megabytes(static_cast<double>(info.freePages) * 512.0) + ")");
  row("Recording time left:", info.recordingSecondsLeft ? hms(*info.recordingSecondsLeft) : "unknown");
  std::string clock = session::clockText(info.recorderClock);
  if (!info.recorderClock.valid()) clock += " (not a valid date)";
  if (info.clockDifferenceSeconds) clock += " (" + clockDifferenceText(*info.clockDifferenceSeconds) + ")";
  row("Recorder clock:", clock);
  std::cout << out.str() << std::flush;
}

int runInfo(CliContext& context) {
  std::string error;
  auto session = CliSession::connected(context, error);
  if (!session) return fail(error);
  printInfo(*session);
  session->close();
  return kExitOk;
}

}  // namespace

RECDESK_CLI_COMMAND(
    "info",
    "connect to the recorder and show what it reports: name, model, firmware, flash, free space, "
    "clock",
    runInfo);

}  // namespace recdesk::cli
