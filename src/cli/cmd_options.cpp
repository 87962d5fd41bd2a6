// recdesk-cli options: the values of the Options, and changes to them through the same rules the
// Options dialog follows.
#include <filesystem>
#include <iostream>

#include "Cli.h"
#include "CliUi.h"
#include "app/OptionsModel.h"
#include "app/OptionsRules.h"
#include "app/ProfileSources.h"
#include "app/Settings.h"
#include "app/SettingsFile.h"
#include "operations/OptionsApply.h"

namespace recdesk::cli {
namespace {

void show(const app::OptionsModel& m, const app::Settings& s) {
  const auto row = [](const char* label, const std::string& value) {
    std::cout << label
              << std::string(20 - std::min<std::size_t>(19, std::char_traits<char>::length(label)), ' ')
              << value << "\n";
  };
  const int link = m.linkIndex();
  row("Link:", link < 0 ? "port " + std::to_string(s.port) + " (no entry in the list)"
                        : std::to_string(link) + " " + app::linkChoiceText(link));
  row("Port:", std::to_string(s.port) + " at " + std::to_string(s.baud) + " bit/s");
  row("Download folder:", m.downloadFolder());
  row("Decode folder:", m.decodeFolder());
  row("Acceleration:", std::to_string(app::accelerationFromExponent(m.exponent())) + " pages per block" +
                           (m.accelerationEnabled() ? "" : " (not used by this link)"));
  row("Auto-decode:", m.autoDecode() ? "on" : "off");
  row("Cut by time:", m.cutByTime() ? std::to_string(m.minutes()) + " minutes" : "off");
  row("Cut by size:", m.cutBySize() ? std::to_string(m.mib()) + " MiB" : "off");
  row("Profile file:", m.useProfileFile() ? m.profilePath() : "none");
}

std::string currentFolder() {
  std::error_code ec;
  const auto cwd = std::filesystem::current_path(ec);
  return ec ? std::string(".") : cwd.string();
}

// Paths are stored whole: the settings are read from any folder.
std::string absolute(const std::string& path) {
  std::error_code ec;
  const auto whole = std::filesystem::absolute(path, ec);
  return ec ? path : whole.lexically_normal().string();
}

int runOptions(CliContext& context) {
  app::SettingsFile file(context.settingsFile ? *context.settingsFile : app::defaultSettingsPath());
  app::LoadResult loaded = app::loadSettings(file);
  if (!loaded.readProblem.empty()) std::cerr << "recdesk-cli: warning: " << loaded.readProblem << "\n";
  app::Settings& settings = loaded.settings;
  // Folders that are not configured are offered as the default ones.
  app::Settings shown = settings;
  const bool defaults = app::presetDefaultFolders(shown);
  CliUi ui(context.yes);
  app::OptionsModel model(shown, ui);

  const bool change = context.given("--link") || context.given("--download-folder") ||
                      context.given("--decode-folder") || context.given("--acceleration") ||
                      context.given("--auto-decode") || context.given("--cut-minutes") ||
                      context.given("--cut-mib") || context.given("--profile-file");
  if (!change) {
    show(model, settings);
    if (defaults)
      std::cerr << "recdesk-cli: the folders are not configured yet: the ones shown are offered\n";
    return kExitOk;
  }
  if (context.given("--cut-minutes") && context.given("--cut-mib"))
    return usageError(context, "--cut-minutes and --cut-mib exclude each other");

  if (const auto link = context.number("--link")) model.setLinkIndex(static_cast<int>(*link));
  if (const auto folder = context.value("--download-folder")) model.chooseDownloadFolder(absolute(*folder));
  if (const auto folder = context.value("--decode-folder")) model.chooseDecodeFolder(absolute(*folder));
  if (const auto count = context.number("--acceleration")) {
    if ((*count & (*count - 1)) != 0)
      return usageError(context, "--acceleration takes a power of two from 1 to 256");
    model.setExponent(app::accelerationExponent(static_cast<std::uint32_t>(*count)));
  }
  if (const auto on = context.value("--auto-decode")) model.setAutoDecode(*on == "on");
  if (const auto minutes = context.number("--cut-minutes")) {
    model.setCutByTime(*minutes != 0);
    if (*minutes != 0) model.setMinutes(static_cast<long>(*minutes));
  }
  if (const auto mib = context.number("--cut-mib")) {
    model.setCutBySize(*mib != 0);
    if (*mib != 0) model.setMib(static_cast<long>(*mib));
  }
  if (const auto path = context.value("--profile-file")) {
    if (path->empty())
      model.setUseProfileFile(false);
    else if (!model.chooseProfileFile(*path))
      return kExitFailure;
  }

  std::string problem;
  const auto result = model.ok(settings, currentFolder(), &problem);
  if (!result) return fail(problem);
  const bool portChanged = result->port != settings.port;
  const operations::OptionsApplied applied =
      operations::applyOptions(nullptr, settings, file, *result, nullptr);
  show(app::OptionsModel(settings, ui), settings);
  if (!applied.error.empty()) return fail(applied.error);
  std::cerr << "recdesk-cli: options saved in " << file.path().string()
            << (applied.linkWritten ? (portChanged ? " (new port)" : " (new link speed)") : "") << "\n";
  return kExitOk;
}

}  // namespace

RECDESK_CLI_COMMAND(
    "options", "show the Options, or change them as the Options dialog does", runOptions,
    integer("--link", "N", 0, app::kLinkChoiceCount - 1,
            "link choice: 0 not configured, 1-3 USB adapter at 1/2/3 Mbit/s, 4 Vantle2 module, "
            "5-12 serial port COM1-COM8"),
    folder("--download-folder", "DIR", "folder for downloaded recordings (also sets the decode folder)"),
    folder("--decode-folder", "DIR", "folder for decoded WAV files"),
    integer("--acceleration", "N", 1, 256, "pages per block request (a power of two)"),
    choice("--auto-decode", {"on", "off"}, "decode every finished download"),
    integer("--cut-minutes", "M", 0, app::kMaxCutMinutes, "cut WAV output every M minutes (0: off)"),
    integer("--cut-mib", "S", 0, app::kMaxCutMib, "cut WAV output every S MiB (0: off)"),
    file("--profile-file", "FILE", "read-only device profile file (an empty text: none)"));

}  // namespace recdesk::cli
