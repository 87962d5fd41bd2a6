// Fuzz target: the profile lines of the settings file and of the profile file, on arbitrary bytes.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "app/Profile.h"
#include "app/ProfileSources.h"

// A profile line is read into 150 characters; longer inputs add nothing.
constexpr std::size_t kMaxInput = 512;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace recdesk::app;
  if (size > kMaxInput) return 0;
  const std::string_view text(reinterpret_cast<const char*>(data), size);

  for (bool general : {false, true}) {
    const auto p = parseSettingsProfileLine(text, general);
    if (!p) continue;
    // What is saved reads back as the same profile.
    const auto again = parseSettingsProfileLine(settingsProfileLine(*p), true);
    if (!again || again->values != p->values || again->name != p->name) __builtin_trap();
    // The type line is one line, whatever the name holds.
    const std::string line = typeLine(*p, true);
    if (line.find_first_of("\r\n") != line.size() - 2) __builtin_trap();
  }
  if (const auto p = parseProfileFileLine(text)) {
    const auto& v = p->values;
    if (v.gain < 0 || v.gain > 32 || (v.channels != 1 && v.channels != 2)) __builtin_trap();
  }
  (void)deviceTypeFromText(text);
  return 0;
}
