// Language files and format strings come from disk: any bytes must load and format without harm.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "lang/Strings.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  recdesk::lang::Strings strings;
  std::vector<std::string> problems;
  strings.loadText(text, &problems);
  // Every input is also a format string, filled with arguments of every kind.
  (void)recdesk::lang::formatText(text, {1, -2L, 3u, 4.5, "five", std::string("six")});
  (void)recdesk::lang::formatText(text, {});
  for (int id : {146, 147, 148, 57910}) (void)strings.format(id, {"drive", 1.5, 2.5});
  return 0;
}
