#include "operations/PinTable.h"

#include <cerrno>
#include <cstring>
#include <fstream>
#include <system_error>

#include "lang/Strings.h"
#include "session/Protocol.h"

namespace recdesk::operations {

namespace {

bool isBlank(char c) { return c == ' ' || c == '\t'; }
bool isDigit(char c) { return c >= '0' && c <= '9'; }

// A key character as the sentences show it: "R", or "\x8A" for a byte that is not printable.
std::string shownKey(unsigned char key) {
  return "\"" + session::visibleText(std::string_view(reinterpret_cast<const char*>(&key), 1)) + "\"";
}

}  // namespace

std::string trimBlanks(std::string_view text) {
  std::size_t begin = 0, end = text.size();
  while (begin < end && isBlank(text[begin])) ++begin;
  while (end > begin && isBlank(text[end - 1])) --end;
  return std::string(text.substr(begin, end - begin));
}

std::optional<PinTable> PinTable::parse(std::string_view text, const std::string& name, std::string& error) {
  PinTable table;
  unsigned lineNumber = 0;
  std::size_t at = 0;
  while (at < text.size()) {
    const std::size_t newline = text.find('\n', at);
    std::string_view line = text.substr(at, newline == std::string_view::npos ? std::string_view::npos : newline - at);
    at = newline == std::string_view::npos ? text.size() : newline + 1;
    ++lineNumber;
    // Line ends of either kind and trailing blanks are not part of an entry.
    while (!line.empty() && (line.back() == '\r' || isBlank(line.back()))) line.remove_suffix(1);
    if (line.empty() || line.front() == '#') continue;
    bool wellFormed = line.size() == 12 && line[1] == '=' && static_cast<unsigned char>(line[0]) > 0x20;
    for (std::size_t i = 2; wellFormed && i < 12; ++i) wellFormed = isDigit(line[i]);
    if (!wellFormed) {
      error = lang::format(TextId::PinTableBadLine, {name, lineNumber});
      return std::nullopt;
    }
    const auto key = static_cast<unsigned char>(line[0]);
    if (table.rows_[key]) {
      error = lang::format(TextId::PinTableRepeatedKey, {name, lineNumber, shownKey(key)});
      return std::nullopt;
    }
    std::array<std::uint8_t, 10> row{};
    for (std::size_t i = 0; i < 10; ++i) row[i] = static_cast<std::uint8_t>(line[2 + i] - '0');
    table.rows_[key] = row;
  }
  return table;
}

std::optional<PinTable> PinTable::load(const std::filesystem::path& file, std::string& error) {
  const std::string name = file.string();
  std::error_code ec;
  const auto status = std::filesystem::status(file, ec);
  if (ec || !std::filesystem::is_regular_file(status)) {
    const std::string why = ec ? ec.message()
                            : std::filesystem::exists(status) ? std::string("not a plain file")
                                                              : std::string("no such file");
    error = lang::format(TextId::PinTableUnreadable, {name, why});
    return std::nullopt;
  }
  std::ifstream in(file, std::ios::binary);
  if (!in) {
    error = lang::format(TextId::PinTableUnreadable, {name, std::strerror(errno)});
    return std::nullopt;
  }
  // One byte more than the largest table tells a file that is too large.
  std::string text(kMaxFileBytes + 1, '\0');
  in.read(text.data(), static_cast<std::streamsize>(text.size()));
  if (in.bad()) {
    error = lang::format(TextId::PinTableUnreadable, {name, "read error"});
    return std::nullopt;
  }
  text.resize(static_cast<std::size_t>(in.gcount()));
  if (text.size() > kMaxFileBytes) {
    error = lang::format(TextId::PinTableTooLarge, {name, static_cast<unsigned>(kMaxFileBytes)});
    return std::nullopt;
  }
  return parse(text, name, error);
}

std::optional<int> PinTable::digit(unsigned char key, int pinDigit) const {
  if (!rows_[key] || pinDigit < 0 || pinDigit > 9) return std::nullopt;
  return (*rows_[key])[static_cast<std::size_t>(pinDigit)];
}

std::size_t PinTable::keys() const {
  std::size_t n = 0;
  for (const auto& row : rows_) n += row.has_value() ? 1 : 0;
  return n;
}

std::string pinKeySequence(std::string_view referenceName) {
  std::string keys;
  for (const char c : referenceName.substr(0, 5))
    if (keys.find(c) == std::string::npos) keys.push_back(c);
  for (char d = '0'; d <= '9'; ++d)
    if (keys.find(d) == std::string::npos) keys.push_back(d);
  return keys;
}

bool validPin(std::string_view trimmedPin, bool capability) {
  if (trimmedPin.size() != 4) return false;
  for (const char c : trimmedPin)
    if (!isDigit(c) || (!capability && c == '0')) return false;
  return true;
}

PinResponse pinResponse(const PinTable* table, const std::string& tableName, std::string_view referenceName,
                        std::string_view challenge, std::string_view pin) {
  PinResponse r;
  if (!table) {
    r.error = lang::text(TextId::PinTableNotSet);
    return r;
  }
  bool challengeOk = challenge.size() >= 4;
  for (std::size_t i = 0; challengeOk && i < 4; ++i) challengeOk = isDigit(challenge[i]);
  if (!challengeOk) {
    r.error = lang::text(TextId::PinChallengeUnreadable);
    return r;
  }
  if (pin.size() < 4) {
    r.error = lang::text(TextId::PinRuleWithZero);
    return r;
  }
  // The sequence holds every digit, so a challenge digit always selects one of its characters.
  const std::string keys = pinKeySequence(referenceName);
  for (std::size_t i = 0; i < 4; ++i) {
    const auto key = static_cast<unsigned char>(keys[static_cast<std::size_t>(challenge[i] - '0')]);
    const auto d = table->digit(key, pin[i] - '0');
    if (!table->has(key)) {
      r.error = lang::format(TextId::PinTableLacksKey, {tableName, shownKey(key)});
      r.digits.clear();
      return r;
    }
    if (!d) {
      r.error = lang::text(TextId::PinRuleWithZero);
      r.digits.clear();
      return r;
    }
    r.digits.push_back(static_cast<char>('0' + *d));
  }
  return r;
}

}  // namespace recdesk::operations
