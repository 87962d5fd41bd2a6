#pragma once
// The PIN response of a locked recorder: the key sequence made from the recorder's name, the
// response table of the recorder's maker, and the four response digits.
//
// The table gives one response digit for each key character and PIN digit. Its values belong to
// the recorder's maker, so the program does not hold them: they are read from a file the user
// names, one line per key character, "C=dddddddddd" (the digits for PIN digits 0 to 9), "#" lines
// being comments. A key character the table lacks refuses the unlocking; nothing is guessed.
#include <array>
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

namespace recdesk::operations {

class PinTable {
 public:
  // The largest table file that is read (a full table of every byte value takes about 3 KiB).
  static constexpr std::size_t kMaxFileBytes = 64 * 1024;

  // Parses table text; `name` names the file in the error sentence. Nothing when the text is not a
  // table (`error` then says which line is wrong and why).
  static std::optional<PinTable> parse(std::string_view text, const std::string& name, std::string& error);
  // Reads and parses a table file.
  static std::optional<PinTable> load(const std::filesystem::path& file, std::string& error);

  // The response digit for key character `key` and PIN digit `pinDigit` (0-9); nothing when the
  // table has no line for the key or the digit is not 0-9.
  std::optional<int> digit(unsigned char key, int pinDigit) const;
  bool has(unsigned char key) const { return rows_[key].has_value(); }
  std::size_t keys() const;

 private:
  std::array<std::optional<std::array<std::uint8_t, 10>>, 256> rows_{};
};

// The key sequence of a reference name: its first five characters without repeats (first
// occurrences kept in order), then every digit "0" to "9" that is not among them, ascending.
std::string pinKeySequence(std::string_view referenceName);

// A PIN as the recorder takes it: blanks at both ends removed, then exactly four digits ("1"-"9"
// without the firmware capability, "0"-"9" with it).
bool validPin(std::string_view trimmedPin, bool capability);

// The four response digits for `pin` (valid) to the prompt of `referenceName` with `challenge`,
// or the sentence why there are none (no table, a challenge that is not four digits, a key
// character the table lacks). `tableName` names the table's file in those sentences.
struct PinResponse {
  std::string digits;
  std::string error;
  // Whole digits only: a refusal is one even when its sentence is missing from the language library.
  bool ok() const { return digits.size() == 4; }
};
PinResponse pinResponse(const PinTable* table, const std::string& tableName, std::string_view referenceName,
                        std::string_view challenge, std::string_view pin);

// Blanks (spaces and tabs) at both ends removed.
std::string trimBlanks(std::string_view text);

}  // namespace recdesk::operations
