#include "CliRestrictions.h"

#include <array>
#include <utility>

#include "app/Restrictions.h"
#include "app/Settings.h"
#include "app/SettingsFile.h"

namespace recdesk::cli {
namespace {

// Commands guarded as a whole.
constexpr std::array<std::pair<const char*, std::uint32_t>, 8> kGuarded{{
    {"download", app::restriction::kDownload},
    {"preview", app::restriction::kDownload},  // the level preview is the playback bar's
    {"format", app::restriction::kFormat},
    {"check", app::restriction::kFormat},
    {"password", app::restriction::kPasswordReset},
    {"led", app::restriction::kLedTests},
    {"timer", app::restriction::kTimer},
    {"tx", app::restriction::kTransmitter},
}};

// The options of `options` that change something.
constexpr std::array<const char*, 8> kOptionChanges{"--link",         "--download-folder", "--decode-folder",
                                                    "--acceleration", "--auto-decode",     "--cut-minutes",
                                                    "--cut-mib",      "--profile-file"};

}  // namespace

std::uint32_t restrictionOf(const CliContext& context) {
  for (const auto& [name, bit] : kGuarded)
    if (context.command == name) return bit;
  if (context.command == "options") {
    for (const char* option : kOptionChanges)
      if (context.given(option)) return app::restriction::kOptions;
  }
  if (context.command == "profiles") {
    const auto args = context.all("ACTION");
    const std::string action = args.empty() ? "" : args.front();
    if (action == "add" || action == "remove") return app::restriction::kProfileEditor;
    if (action == "apply") return app::restriction::kProfiles;
  }
  return 0;
}

std::optional<std::string> restrictionRefusal(const CliContext& context) {
  const std::uint32_t bit = restrictionOf(context);
  if (bit == 0) return std::nullopt;
  app::SettingsFile file(context.settingsFile ? *context.settingsFile : app::defaultSettingsPath());
  const app::Restrictions r{
      file.readInt(app::keys::kOptions, app::keys::kActive, 0) != 0,
      static_cast<std::uint32_t>(file.readInt(app::keys::kOptions, app::keys::kConfig, 0)),
      {}};
  if (r.allowed(bit)) return std::nullopt;
  std::string guards;
  for (const auto& b : app::restrictionBits())
    if (b.bit == bit) guards = b.guards;
  return "'" + context.command + "' is locked by the access restrictions (bit " + std::to_string(bit) + ": " +
         guards + "); 'recdesk-cli restrictions' shows them";
}

}  // namespace recdesk::cli
