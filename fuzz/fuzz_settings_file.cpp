// Fuzz target: the settings file on the disk holding arbitrary bytes: loading every setting (with its
// repairs written back), writing a key, and reading again. The text parser alone is fuzz_ini.
//
// Each key read stats the file (a change by another program is picked up) and each write is an atomic
// save, so this target runs at the speed of those system calls, far below fuzz_ini.
#include <cstddef>
#include <cstdint>
#include <string>

#include "FuzzFiles.h"
#include "app/Settings.h"
#include "app/SettingsFile.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace recdesk::app;

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
