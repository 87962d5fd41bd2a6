// Fuzz target: the private-profile text parser and writer on arbitrary bytes, in memory.
#include <strings.h>

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "app/IniDocument.h"
#include "app/SettingsFile.h"

namespace {

bool equalIgnoringCase(std::string_view a, std::string_view b) {
  return a.size() == b.size() && ::strncasecmp(a.data(), b.data(), a.size()) == 0;
}

}  // namespace

// A settings file's worth of text: longer inputs only repeat lines and slow every run down.
constexpr std::size_t kMaxInput = 4096;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace recdesk::app;
  if (size > kMaxInput) return 0;
  const std::string_view text(reinterpret_cast<const char*>(data), size);

  // Parsing and writing back unchanged loses nothing.
  IniDocument doc(text);
  if (doc.text() != text) __builtin_trap();
  (void)SettingsFile::parseInteger(text.substr(0, 64));

  // A key set reads back after writing and parsing again, and every other key keeps its value.
  IniDocument changed = doc;  // the same lines as parsing the text again (checked above)
  const std::string value = "v" + std::to_string(size) + " x";
  if (!changed.set("Options", "RPW", value)) __builtin_trap();
  const IniDocument reread(changed.text());
  const auto got = reread.find("Options", "RPW");
  if (!got || *got != value) __builtin_trap();
  std::size_t compared = 0;
  for (const auto& section : doc.sectionNames()) {
    for (const auto& key : doc.keyNames(section)) {
      if (++compared > 64) break;
      if (equalIgnoringCase(key, "RPW")) continue;
      const auto before = doc.find(section, key);
      const auto after = reread.find(section, key);
      if (before != after) __builtin_trap();
    }
  }

  // A removed key is gone for good.
  IniDocument removed(reread.text());
  if (!removed.removeKey("Options", "RPW")) __builtin_trap();
  if (IniDocument(removed.text()).find("Options", "RPW")) __builtin_trap();
  return 0;
}
