// Shows the effective settings (after the start-up repairs, which are written back like at start).
#include <iostream>

#include "Cli.h"
#include "app/Settings.h"
#include "app/SettingsFile.h"
#include "operations/DownloadMath.h"

namespace recdesk::cli {
namespace {

int runSettings(CliContext& context) {
  if (!context.args.empty()) return usageError(context, "settings takes no arguments");
  const std::filesystem::path path = context.settingsFile ? *context.settingsFile : app::defaultSettingsPath();
  app::SettingsFile file(path);
  const app::LoadResult loaded = app::loadSettings(file);

  for (const auto& [key, value] : app::settingsAsText(loaded.settings)) {
    std::cout << key << "=" << value;
    // The stored count may be any number; a download asks for a power of two from 1 to 256.
    if (key == "Options.Acceleration")
      std::cout << " (" << operations::normaliseAcceleration(loaded.settings.acceleration) << " pages per block in use)";
    std::cout << "\n";
  }
  std::cout.flush();

  std::cerr << "recdesk-cli: settings file " << path.string() << "\n";
  if (!loaded.readProblem.empty()) std::cerr << "recdesk-cli: warning: " << loaded.readProblem << "\n";
  const bool saved = loaded.writeBackError.empty();
  if (loaded.portRepaired)
    std::cerr << "recdesk-cli: Options.Port \"" << loaded.storedPort << "\" repaired to 1000"
              << (saved ? " and written back" : " (not written back)") << "\n";
  if (loaded.baudRepaired)
    std::cerr << "recdesk-cli: Options.Baud \"" << loaded.storedBaud << "\" repaired to 1000000"
              << (saved ? " and written back" : " (not written back)") << "\n";
  for (const auto& key : loaded.noIntegers)
    std::cerr << "recdesk-cli: " << key << " holds no number: read as 0\n";
  if (loaded.cutValuesDropped)
    std::cerr << "recdesk-cli: Options.WaveCutTime and Options.WaveCutSize are both set: no cutting is used"
                 " (the file keeps both values)\n";
  if (!loaded.portRepaired && !loaded.baudRepaired) std::cerr << "recdesk-cli: nothing needed writing back\n";
  if (!saved) return fail(loaded.writeBackError);
  return kExitOk;
}

}  // namespace

RECDESK_CLI_COMMAND("settings", "settings",
                    "show every effective setting (the start-up repairs of Port and Baud are written back)",
                    runSettings);

}  // namespace recdesk::cli
