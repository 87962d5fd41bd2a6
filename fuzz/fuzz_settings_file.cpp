// Fuzz target: the settings file holding arbitrary bytes: loading every setting (with its repairs
// written back), writing a key, and reading again. The text parser alone is fuzz_ini.
//
// The file lives in memory (MemoryFileStore): on the disk each key read looked at the file and each
// write was an atomic save, and those system calls took nearly all of the run. The disk's own reading
// and saving are the unit tests' (tests/app).
//
// Inputs are at most 1 KiB: a settings file's keys, sections and damages fit well within it, and
// larger texts are fuzz_ini's. Once the coverage stood still libFuzzer let the inputs grow to 4 KiB,
// where every key read searched a long file and the run slowed to about half.
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <string>

#include "AsanDefaults.h"
#include "FuzzFlags.h"
#include "MemoryFileStore.h"
#include "app/Settings.h"
#include "app/SettingsFile.h"

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv) {
  recdesk::fuzz::defaultFlags(argc, argv, {"-max_len=1024"});
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace recdesk::app;

  static const std::filesystem::path path = "/settings/recdesk.ini";
  recdesk::test::MemoryFileStore store;
  store.put(path, std::string_view(reinterpret_cast<const char*>(data), size));
  SettingsFile file(path, store);
  const LoadResult loaded = loadSettings(file);  // reads every key, may write the repairs back
  (void)settingsAsText(loaded.settings);

  // A written key reads back as written, and every other readable key keeps its value.
  const std::string before = file.readText("MainWindow", "FilePrefix", "\x01none");
  const std::string value = "v" + std::to_string(size) + " x";
  if (file.writeText("Options", "RPW", value)) {
    SettingsFile again(path, store);
    if (again.readText("Options", "RPW", "") != value) __builtin_trap();
    if (again.readText("MainWindow", "FilePrefix", "\x01none") != before) __builtin_trap();
  }
  return 0;
}
