#pragma once
// The text of a private-profile (INI) file, kept line by line so that a change to one key leaves every
// other byte of the file as it was (other sections, unknown keys, comments, even unreadable lines).
//
// Reading rules:
// - Lines end at "\n"; a "\r" before it is kept with the line and written back unchanged. A UTF-8 byte
//   order mark at the start of the file is skipped.
// - "[Name]" starts a section: the name runs from the first "[" to the last "]" of the line, with spaces
//   around it trimmed; spaces inside the name belong to it ("Device Profiles").
// - "key=value": the key runs to the first "="; key and value are trimmed of spaces and tabs.
// - Lines starting with ";" or "#", lines without "=", lines with an empty key and lines before the first
//   section are kept in the file but never match a lookup.
// - Section and key names match without regard to ASCII case. When a section appears more than once,
//   its parts are searched in file order and the first matching key wins.
//
// The document keeps the text it parsed in one piece and its lines as places in it, so that parsing
// and copying a document cost an allocation or two rather than a few per line. A changed or added line
// is stored after the parsed text; the room of the lines it replaced is given back now and then.
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace recdesk::app {

class IniDocument {
 public:
  IniDocument() = default;
  explicit IniDocument(std::string_view text) { parse(text); }

  void parse(std::string_view text);
  // The same, taking the text over instead of copying it.
  void parse(std::string&& text);
  // The file's text: unchanged lines byte for byte; ends with a line break once anything was changed.
  std::string text() const;

  // The value of `key` in `section`, or nullopt when there is none. The view into the document is
  // valid until the document changes (or goes).
  std::optional<std::string_view> find(std::string_view section, std::string_view key) const;
  std::vector<std::string> sectionNames() const;  // each name once, in file order
  std::vector<std::string> keyNames(std::string_view section) const;

  // Sets a key: the existing line is replaced, or a line is added at the end of the section, or the
  // section is added at the end of the file. Line breaks and NUL bytes inside the value become spaces
  // (a value can never start a new line). Returns false, changing nothing, for a section or key name
  // that could not be read back (empty, or holding "]", "=", a line break or a NUL byte; a key starting
  // with "[", ";" or "#").
  bool set(std::string_view section, std::string_view key, std::string_view value);
  // Removes every line of `key` in `section`; false when there was none.
  bool removeKey(std::string_view section, std::string_view key);
  // Removes every part of `section` with its lines; false when there was none.
  bool removeSection(std::string_view section);

  static bool validSectionName(std::string_view section);
  static bool validKeyName(std::string_view key);

 private:
  enum class Kind : std::uint8_t { kOther, kSection, kKey };
  // A line is a stretch of text_ (without its "\n"); its name and value are stretches of the line.
  struct Line {
    std::size_t start = 0;
    std::size_t size = 0;
    std::size_t nameAt = 0, nameSize = 0;    // section or key name (trimmed), from the line's start
    std::size_t valueAt = 0, valueSize = 0;  // key value (trimmed), from the line's start
    std::size_t nextSection = 0;  // a section line's: the next section line (or the number of lines)
    std::uint32_t hash = 0;  // nameHash(name): a look-up compares the names of lines with its hash only
    Kind kind = Kind::kOther;
  };

  void parseText();
  Line classify(std::size_t start, std::size_t size, bool first) const;
  std::string_view raw(const Line& l) const { return std::string_view(text_).substr(l.start, l.size); }
  std::string_view name(const Line& l) const { return std::string_view(text_).substr(l.start + l.nameAt, l.nameSize); }
  std::string_view value(const Line& l) const {
    return std::string_view(text_).substr(l.start + l.valueAt, l.valueSize);
  }
  // Stores a new line's text (with "\r" in a file of "\r\n" lines when `cr`) and returns its line.
  Line storeLine(const std::string& text, Kind kind, std::size_t nameAt, std::size_t nameSize, bool cr);
  void indexSections();
  // Removes the key's lines in the section (every line of the section's parts without a key).
  bool removeLines(std::string_view section, std::optional<std::string_view> key);
  void dropUnused();  // gives back the room of replaced and removed lines once it is most of text_
  static std::uint32_t nameHash(std::string_view name);

  std::string text_;  // the text parsed, followed by every line changed or added since
  std::vector<Line> lines_;
  std::size_t firstSection_ = 0;  // the first section line (or the number of lines)
  std::size_t unused_ = 0;             // bytes of text_ that no line holds any more
  bool finalNewline_ = false;
  bool crlf_ = false;  // the file's lines end in "\r\n": new lines do too
};

// ASCII case-insensitive comparison of two names.
bool sameName(std::string_view a, std::string_view b);

}  // namespace recdesk::app
