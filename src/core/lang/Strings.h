#pragma once
// The language library: every user-visible text, fetched by number. Program code names its texts
// (TextId.h); the number overloads serve the library itself, its loader and the tests.
//
// A library is a text file lang/<language>.lang with one entry per line, "NUMBER=TEXT"; "#" starts a
// comment line; TEXT knows the escapes \n, \r, \t and \\. Format strings use printf-style placeholders
// and are filled by a safe formatter: a placeholder without an argument, or an argument of the wrong
// kind, never crashes (it is rendered as well as it can be).
#include <cstdint>
#include <filesystem>
#include <initializer_list>
#include <span>
#include <string>
#include <string_view>
#include <unordered_map>
#include <variant>
#include <vector>

#include "lang/TextId.h"

namespace recdesk::lang {

// One argument of a format string.
class FormatArg {
 public:
  using Value = std::variant<long long, unsigned long long, double, std::string>;
  FormatArg(int v) : value_(static_cast<long long>(v)) {}
  FormatArg(long v) : value_(static_cast<long long>(v)) {}
  FormatArg(long long v) : value_(v) {}
  FormatArg(unsigned v) : value_(static_cast<unsigned long long>(v)) {}
  FormatArg(unsigned long v) : value_(static_cast<unsigned long long>(v)) {}
  FormatArg(unsigned long long v) : value_(v) {}
  FormatArg(double v) : value_(v) {}
  FormatArg(const char* v) : value_(std::string(v ? v : "")) {}
  FormatArg(std::string v) : value_(std::move(v)) {}
  FormatArg(std::string_view v) : value_(std::string(v)) {}
  const Value& value() const { return value_; }

 private:
  Value value_;
};

// printf-style formatting of `format` with `args` (%d %i %u %x %X %o %c %s %f %e %g with flags, width,
// precision and the h/l/ll/L/j/z/t and I64/I32 length modifiers; %% for a percent sign). The argument's
// own kind is converted to what the conversion asks for; widths and precisions above 1024 count as
// 1024; an unknown conversion (including %n and %*) is kept as text.
std::string formatText(std::string_view format, std::span<const FormatArg> args);
inline std::string formatText(std::string_view format, std::initializer_list<FormatArg> args) {
  return formatText(format, std::span<const FormatArg>(args.begin(), args.size()));
}

class Strings {
 public:
  // The largest .lang file that is read (a complete library is far smaller).
  static constexpr std::size_t kMaxFileSize = 4u << 20;

  // Loads a .lang file, replacing what was loaded before. Returns false when the file cannot be read
  // or is larger than kMaxFileSize (what was loaded before then stays). Lines that cannot be parsed
  // are skipped; each adds "line N: reason" to `problems` when given, and so does a number that
  // appears twice (the later text is used). A leading UTF-8 byte order mark is ignored.
  bool loadFile(const std::filesystem::path& file, std::vector<std::string>* problems = nullptr);
  // Parses .lang text (the same rules as loadFile).
  void loadText(std::string_view text, std::vector<std::string>* problems = nullptr);

  // Load string: true when the number exists; `out` is the text, or empty when it does not.
  bool load(int id, std::string& out) const;
  bool has(int id) const { return texts_.count(id) != 0; }
  // The text of `id`, or an empty text when the number is missing.
  std::string text(int id) const;
  // Format by identifier.
  std::string format(int id, std::initializer_list<FormatArg> args) const;
  std::string format(int id, std::span<const FormatArg> args) const;

  // The same by name.
  bool has(TextId id) const { return has(number(id)); }
  std::string text(TextId id) const { return text(number(id)); }
  std::string format(TextId id, std::initializer_list<FormatArg> args) const {
    return format(number(id), args);
  }
  std::string format(TextId id, std::span<const FormatArg> args) const { return format(number(id), args); }

  void set(int id, std::string text) { texts_[id] = std::move(text); }
  std::size_t size() const { return texts_.size(); }

 private:
  std::unordered_map<int, std::string> texts_;
};

// The process-wide language library (the program loads it once at start; tests may fill it).
Strings& strings();

// Shorthands for the process-wide library.
inline std::string text(TextId id) { return strings().text(id); }
inline std::string format(TextId id, std::initializer_list<FormatArg> args) {
  return strings().format(id, args);
}
inline bool has(TextId id) { return strings().has(id); }
// By number: for the library's own tools and the tests (program code names the text).
inline std::string text(int id) { return strings().text(id); }
inline std::string format(int id, std::initializer_list<FormatArg> args) { return strings().format(id, args); }

}  // namespace recdesk::lang
