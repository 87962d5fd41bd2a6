// Fuzz target: the settings file reader and writer on arbitrary bytes.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "FuzzFiles.h"
#include "app/IniDocument.h"
#include "app/Settings.h"
#include "app/SettingsFile.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace recdesk::app;
  const std::string_view text(reinterpret_cast<const char*>(data), size);

  // Parsing and writing back unchanged loses nothing.
  IniDocument doc(text);
  if (doc.text() != text) __builtin_trap();
  (void)doc.find("Options", "Port");
  (void)doc.keyNames("Device Profiles");
  (void)SettingsFile::parseInteger(text.substr(0, 64));

  static const auto path = recdesk::fuzz::memoryFolder() / "settings.ini";
  recdesk::fuzz::writeWhole(path, data, size);
  SettingsFile file(path);
  const LoadResult loaded = loadSettings(file);  // reads every key, may write the repairs back
  (void)settingsAsText(loaded.settings);

  // A written key reads back as written, and every other readable key keeps its value.
  const std::string before = file.readText("MainWindow", "FilePrefix", "\x01none");
  const std::string value = "v" + std::to_string(size) + " x";
  if (file.writeText("Options", "RPW", value)) {
    SettingsFile again(path);
    if (again.readText("Options", "RPW", "") != value) __builtin_trap();
    if (again.readText("MainWindow", "FilePrefix", "\x01none") != before) __builtin_trap();
  }
  return 0;
}
