#include "session/Replies.h"

#include <cctype>
#include <cstdio>
#include <cstdlib>

#include "session/Protocol.h"

namespace recdesk::session {

namespace {

bool isDigit(char c) { return c >= '0' && c <= '9'; }

// Reads an unsigned decimal number at `pos` (no sign); false when there is no digit.
bool readUnsigned(std::string_view text, std::size_t& pos, unsigned long long& value) {
  const std::size_t start = pos;
  value = 0;
  while (pos < text.size() && isDigit(text[pos])) {
    if (value < 100000000000ULL) value = value * 10 + static_cast<unsigned>(text[pos] - '0');
    ++pos;
  }
  return pos > start;
}

// Reads an unsigned number as scanf's "%lu" does: leading white space and one sign are taken, then
// at least one digit; a minus sign negates modulo 2^64 and a number too large for 64 bits saturates.
bool scanUnsigned(std::string_view text, std::size_t& pos, unsigned long long& value) {
  std::size_t at = pos;
  while (at < text.size() && std::isspace(static_cast<unsigned char>(text[at]))) ++at;
  bool negative = false;
  if (at < text.size() && (text[at] == '+' || text[at] == '-')) negative = text[at++] == '-';
  unsigned long long v = 0;
  bool overflow = false;
  const std::size_t digits = at;
  while (at < text.size() && isDigit(text[at])) {
    const unsigned d = static_cast<unsigned>(text[at] - '0');
    if (v > (~0ULL - d) / 10) overflow = true;
    if (!overflow) v = v * 10 + d;
    ++at;
  }
  if (at == digits) return false;
  pos = at;
  value = overflow ? ~0ULL : negative ? 0ULL - v : v;
  return true;
}

// Skips a blank-separated word and the blanks around it ("%*s ").
std::size_t afterFirstWord(std::string_view text) {
  std::size_t i = 0;
  while (i < text.size() && std::isspace(static_cast<unsigned char>(text[i]))) ++i;
  while (i < text.size() && !std::isspace(static_cast<unsigned char>(text[i]))) ++i;
  while (i < text.size() && std::isspace(static_cast<unsigned char>(text[i]))) ++i;
  return i;
}

int hexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return -1;
}

// "%02x": up to two hexadecimal digits.
bool readHex2(std::string_view text, std::size_t& pos, std::uint8_t& value) {
  int v = 0, n = 0;
  while (n < 2 && pos < text.size() && hexDigit(text[pos]) >= 0) {
    v = v * 16 + hexDigit(text[pos]);
    ++pos;
    ++n;
  }
  value = static_cast<std::uint8_t>(v);
  return n > 0;
}

bool expect(std::string_view text, std::size_t& pos, std::string_view literal) {
  if (text.substr(pos, literal.size()) != literal) return false;
  pos += literal.size();
  return true;
}

// The leading digits of text[from, from + count) as a number (none give 0).
int digitsAt(std::string_view text, std::size_t from, std::size_t count) {
  if (from >= text.size()) return 0;
  const std::string_view piece = text.substr(from, count);
  int value = 0;
  for (char c : piece) {
    if (!isDigit(c)) break;
    value = value * 10 + (c - '0');
  }
  return value;
}

}  // namespace

bool firmwareCapability(std::string_view versionText) {
  if (versionText.substr(0, 2) == "R5") {
    // "<word> <major>.<minor>.<patch><letter>", read the way a scanf of "%*s %lu.%lu.%lu%c" reads it:
    // the numbers may have blanks and a sign before them, the dots match only themselves, and the
    // letter is whatever single character follows the patch number (a comma too).
    std::size_t pos = afterFirstWord(versionText);
    unsigned long long major = 0, minor = 0, patch = 1;
    unsigned char letter = 'z';
    // Without major and minor the text says nothing about the firmware: not capable.
    if (!scanUnsigned(versionText, pos, major)) return false;
    if (!expect(versionText, pos, ".")) return false;
    if (!scanUnsigned(versionText, pos, minor)) return false;
    if (expect(versionText, pos, ".")) {
      unsigned long long p = 0;
      if (scanUnsigned(versionText, pos, p)) {
        patch = p;
        if (pos < versionText.size()) letter = static_cast<unsigned char>(versionText[pos]);
      }
    }
    // A byte of 0x80 and up is no letter at all, never "f or later".
    const bool lateLetter = letter >= 'f' && letter < 0x80;
    return major >= 1 || minor >= 5 || patch >= 1 || lateLetter;
  }
  if (versionText.substr(0, 2) == "R6") {
    const std::string rest(versionText.substr(afterFirstWord(versionText)));
    if (rest.empty()) return false;
    char* end = nullptr;
    const double value = std::strtod(rest.c_str(), &end);
    if (end == rest.c_str()) return false;
    return static_cast<float>(value) >= 0.018f;
  }
  return versionText.substr(0, 2) == "T7";
}

std::optional<ListAck> parseListAck(std::string_view line) {
  constexpr std::string_view kPrefix = "$R5,ACK,LST,";
  const std::size_t at = line.find(kPrefix);
  if (at == std::string_view::npos) return std::nullopt;
  std::string_view rest = line.substr(at + kPrefix.size());
  const std::size_t comma = rest.find(',');
  if (comma == std::string_view::npos || comma == 0) return std::nullopt;
  std::string name(rest.substr(0, comma));
  std::size_t pos = comma + 1;
  unsigned long long count = 0;
  if (!readUnsigned(rest, pos, count)) return std::nullopt;
  ListAck ack;
  if (name.size() > kMaxDeviceName) name.resize(kMaxDeviceName);
  ack.deviceName = name.find('-') == std::string::npos ? "R5-" + name : name;
  ack.count = static_cast<std::uint16_t>(count);
  return ack;
}

std::string modelOfDeviceName(std::string_view deviceName) {
  return std::string(deviceName.substr(0, deviceName.find('-')));
}

RecordingType parseRecordingType(std::string_view line) {
  RecordingType type;
  constexpr std::string_view kPrefix = "$R5,ACK,TYP";
  const std::size_t at = line.find(kPrefix);
  if (at == std::string_view::npos) return type;
  std::string_view rest = line.substr(at + kPrefix.size());
  if (!rest.empty() && rest.front() == ',') rest.remove_prefix(1);
  type.text = std::string(rest);
  const std::string f0 = field(rest, 0), f1 = field(rest, 1), f2 = field(rest, 2), f4 = field(rest, 4);
  const auto rate = wholeNumber(f0), bits = wholeNumber(f1), channels = wholeNumber(f2);
  if (rate && bits && channels && !f4.empty() && *rate <= 1000000 && *bits <= 64 && *channels <= 16) {
    type.sampleRate = static_cast<std::uint32_t>(*rate);
    type.bits = static_cast<std::uint32_t>(*bits);
    type.channels = static_cast<std::uint32_t>(*channels);
    const long long gain = leadingNumber(f4);
    type.gain = static_cast<std::int32_t>(gain > 1000000 ? 1000000 : gain < -1000000 ? -1000000 : gain);
    type.numeric = true;
  }
  return type;
}

ChipSize flashChip(std::uint8_t device, std::uint8_t maker) {
  struct Row {
    std::uint8_t device, maker;
    std::uint32_t sizeMb, blocks;
  };
  static constexpr Row kChips[] = {
      {0x79, 0x98, 128, 8192}, {0x76, 0x98, 64, 4096},   {0xDA, 0xEC, 256, 2048}, {0xF1, 0xEC, 128, 1024},
      {0xD5, 0xEC, 2048, 16384}, {0xD3, 0xEC, 1024, 8192}, {0xDC, 0xEC, 512, 4096}, {0x71, 0xEC, 256, 16384},
      {0x79, 0xEC, 128, 8192}, {0x76, 0xEC, 64, 4096},   {0x75, 0xEC, 32, 2048},  {0x73, 0xEC, 16, 1024},
      {0xE6, 0xEC, 8, 512},
  };
  for (const auto& row : kChips)
    if (row.device == device && row.maker == maker) return {row.sizeMb, row.blocks};
  return {};
}

FlashInfo parseFlashReply(std::string_view line) {
  FlashInfo info;
  std::string upper(line);
  for (char& c : upper) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  const std::string_view text = upper;
  std::size_t pos = 0;
  if (!expect(text, pos, "$R5,ACK,FLASH")) return info;
  for (int bank = 0; bank < 4; ++bank) {
    const std::string label = ",BANK " + std::to_string(bank + 1) + ",";
    if (!expect(text, pos, label)) break;
    std::uint8_t device = 0, maker = 0;
    if (!readHex2(text, pos, device)) break;
    info.device[static_cast<std::size_t>(bank)] = device;
    if (!expect(text, pos, ",") || !readHex2(text, pos, maker)) {
      info.deviceCodes = static_cast<std::uint8_t>(info.deviceCodes | device);
      break;
    }
    info.maker[static_cast<std::size_t>(bank)] = maker;
    info.deviceCodes = static_cast<std::uint8_t>(info.deviceCodes | device);
    info.makerCodes = static_cast<std::uint8_t>(info.makerCodes | maker);
    info.banksRead = bank + 1;
  }
  // Each bank read counts when its "BANK n,DD,MM" text (two hexadecimal capitals each) is found in the
  // line and its codes are in the chip table.
  for (int bank = 0; bank < info.banksRead; ++bank) {
    const auto b = static_cast<std::size_t>(bank);
    char label[32];
    std::snprintf(label, sizeof label, "BANK %d,%02X,%02X", bank + 1, info.device[b], info.maker[b]);
    if (!contains(text, label)) continue;
    const ChipSize chip = flashChip(info.device[b], info.maker[b]);
    info.sizeMb += chip.sizeMb;
    info.totalBlocks += chip.blocks;
  }
  return info;
}

std::optional<std::uint64_t> recordingSecondsLeft(std::uint64_t freePages, std::uint32_t bits,
                                                  std::uint32_t channels, std::uint32_t sampleRate) {
  if (bits == 0 || sampleRate == 0 || channels == 0) return std::nullopt;
  double perPage = 0;
  if (channels == 1)
    perPage = bits > 15 ? 4096.0 / bits : static_cast<double>(4080 / bits + 1);
  else
    perPage = bits > 15 ? 4096.0 / bits * 0.5 : static_cast<double>(4064 / bits) * 0.5 + 1;
  const double seconds = perPage * static_cast<double>(freePages) / sampleRate;
  if (!(seconds >= 0) || seconds > 1e15) return std::nullopt;
  return static_cast<std::uint64_t>(seconds);
}

std::string clockText(const DateTime& t) {
  char buffer[64];
  std::snprintf(buffer, sizeof buffer, "%04d-%02d-%02d %02d:%02d:%02d", t.year, t.month, t.day, t.hour, t.minute,
                t.second);
  return buffer;
}

DateTime parseClockReply(std::string_view line) {
  const std::string date = field(line, 3);
  const std::string time = field(line, 4);
  DateTime dt;
  dt.year = digitsAt(date, 0, 4);
  dt.month = digitsAt(date, 4, 2);
  dt.day = date.size() >= 2 ? digitsAt(date, date.size() - 2, 2) : digitsAt(date, 0, 2);
  dt.hour = digitsAt(time, 0, 2);
  dt.minute = digitsAt(time, 2, 2);
  dt.second = digitsAt(time, 4, 2);
  return dt;
}

}  // namespace recdesk::session
