#include "operations/MaintenanceMath.h"

#include <algorithm>
#include <cctype>

#include "lang/Strings.h"
#include "session/Protocol.h"

namespace recdesk::operations {

namespace {

std::size_t fieldCount(std::string_view line) {
  return static_cast<std::size_t>(std::count(line.begin(), line.end(), ',')) + 1;
}

// A count field of the recorder: negative values and values beyond 32 bits are read as the nearest bound.
std::uint32_t count(std::string_view line, int n) {
  const long long v = session::leadingNumber(session::field(line, n));
  return static_cast<std::uint32_t>(std::clamp<long long>(v, 0, 0xFFFFFFFFLL));
}

}  // namespace

std::uint32_t powerOfTwoAtLeast(std::uint32_t amount) {
  std::uint32_t p = 1;
  while (p < amount && p < 0x80000000u) p <<= 1;
  return p;
}

void CheckTracker::start(std::int64_t nowMs) {
  progress_ = CheckProgress{};
  startMs_ = nowMs;
  totalKnown_ = false;
}

const CheckProgress& CheckTracker::position(std::string_view line, std::int64_t nowMs) {
  if (fieldCount(line) > 6) {
    const int pass = static_cast<int>(std::min<std::uint32_t>(count(line, 4), 1000000));
    const std::uint32_t position = count(line, 6);
    if (pass != progress_.pass || !totalKnown_) {
      // A new pass: its clock starts now.
      startMs_ = nowMs;
      progress_.pass = pass;
      progress_.passes = static_cast<int>(std::min<std::uint32_t>(count(line, 5), 1000000));
      progress_.total = count(line, 7);
      totalKnown_ = true;
      progress_.position = std::min(position, progress_.total);
      progress_.estimate.reset();
      progress_.secondsLeft.reset();
    } else {
      progress_.position = std::min(position, progress_.total);
      estimate(nowMs, progress_.position, progress_.total - progress_.position);
    }
    return progress_;
  }
  const std::uint32_t amount = count(line, 4);
  if (!totalKnown_) {
    // The recorder tells only what is left: the bar's end is the power of two at or above the first amount.
    progress_.total = powerOfTwoAtLeast(amount);
    progress_.pass = 1;
    progress_.passes = 1;
    totalKnown_ = true;
  }
  const std::uint32_t left = std::min(amount, progress_.total);
  progress_.position = progress_.total - left;
  estimate(nowMs, progress_.position, left);
  return progress_;
}

void CheckTracker::estimate(std::int64_t nowMs, std::uint32_t done, std::uint32_t left) {
  if (done == 0) {
    progress_.estimate.reset();
    progress_.secondsLeft.reset();
    return;
  }
  const double elapsed = static_cast<double>(std::max<std::int64_t>(nowMs - startMs_, 0));
  const double msLeft = elapsed / static_cast<double>(done) * static_cast<double>(left);
  progress_.estimate = msLeft / 36000.0;
  progress_.secondsLeft = msLeft / 1000.0;
}

DeviceInformation deviceInformation(std::string_view versionText) {
  DeviceInformation d;
  // The version text is the recorder's: shown escaped. Field 0 of the accessor is the text before
  // the first comma.
  d.firmware = session::visibleText(session::field(versionText, 0));
  d.hardware = session::visibleText(session::field(versionText, 1));
  d.date = session::visibleText(session::field(versionText, 2));
  d.text = lang::formatText("    %s: %s \r\n\r\n%s: %s, %s", {lang::text(TextId::Firmware), d.firmware,
                                                               lang::text(TextId::Hardware), d.hardware, d.date});
  return d;
}

BadBlockScanResult readBadBlockScanEnd(const std::string& line, std::uint32_t totalBlocks) {
  BadBlockScanResult r;
  const long long bad = session::leadingNumber(session::field(line, 4));
  r.badBlocks = static_cast<long>(std::clamp<long long>(bad, -2147483647LL, 2147483647LL));
  r.totalBlocks = totalBlocks;
  r.text = lang::formatText("%s: %i", {lang::text(TextId::BadBlocksFound), static_cast<int>(r.badBlocks)});
  if (totalBlocks != 0) {
    r.percent = static_cast<double>(r.badBlocks) * 100.0 / static_cast<double>(totalBlocks);
    r.text += lang::formatText("\r\n\r\n%s: %.2f%%", {lang::text(TextId::BadBlockShare), *r.percent});
  }
  return r;
}

std::string recordingTypeLine(bool reducedVariant, const RecordingTypeChoice& choice) {
  if (reducedVariant) {
    std::string name = choice.profileName;
    for (char& c : name) {
      c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
      // A comma or a line end would break the line: they go the way blanks go.
      if (c == ' ' || c == ',' || c == '\r' || c == '\n') c = '_';
    }
    return "$R5,TYP," + name + "\r\n";
  }
  return lang::formatText("$R5,TYP,%ld,%d,%d,OFF,%d\r\n",
                          {choice.sampleRate, choice.bits, choice.channels, choice.gain});
}

std::optional<int> ledModeOfReply(std::string_view line) {
  const std::string mode = session::field(line, 3);
  if (mode == "1" || mode == "2" || mode == "3") return mode[0] - '0';
  return std::nullopt;
}

}  // namespace recdesk::operations
