#include "lang/LanguageChoice.h"

#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <fstream>
#include <string_view>

#include "lang/Strings.h"

namespace recdesk::lang {
namespace {

// The value buffer holds 20 bytes including the terminating zero: 19 characters fit.
constexpr std::size_t kValueBuffer = 20;

std::filesystem::path configHome() {
  if (const char* xdg = std::getenv("XDG_CONFIG_HOME"); xdg && *xdg) return xdg;
  if (const char* home = std::getenv("HOME"); home && *home) return std::filesystem::path(home) / ".config";
  return {};
}

std::string languageFromConfig() {
  const auto home = configHome();
  if (home.empty()) return {};
  std::ifstream in(home / kLanguageKey, std::ios::binary);
  if (!in) return {};
  // Only the first line counts, and only its first bytes are read: a longer value is unusable anyway.
  char buffer[256];
  in.read(buffer, sizeof buffer);
  std::string_view text(buffer, static_cast<std::size_t>(in.gcount()));
  text = text.substr(0, text.find_first_of("\r\n"));
  while (!text.empty() && std::isspace(static_cast<unsigned char>(text.back()))) text.remove_suffix(1);
  while (!text.empty() && std::isspace(static_cast<unsigned char>(text.front()))) text.remove_prefix(1);
  return std::string(text);
}

bool usableName(const std::string& name) {
  if (name.empty() || name.size() >= kValueBuffer) return false;
  // A language name is a plain file name: letters, digits, '-' and '_' only.
  return std::all_of(name.begin(), name.end(), [](unsigned char c) {
    return std::isalnum(c) || c == '-' || c == '_';
  });
}

}  // namespace

std::string chooseLanguageName() {
  std::string name;
  if (const char* env = std::getenv("RECDESK_LANGUAGE"); env && *env) {
    name = env;
  } else {
    name = languageFromConfig();
  }
  if (!usableName(name)) return "english";
  std::transform(name.begin(), name.end(), name.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return name;
}

std::vector<std::filesystem::path> languageSearchPath(const std::filesystem::path& exe,
                                                      const EnvironmentLookup& env) {
  std::vector<std::filesystem::path> dirs;
  auto value = [&](const char* name) -> std::string {
    const char* v = env ? env(name) : nullptr;
    return v ? std::string(v) : std::string();
  };
  // Only absolute folders count: a relative one would depend on where the program was started.
  auto addDataFolder = [&](const std::filesystem::path& base) {
    if (base.is_absolute()) dirs.push_back(base / "recdesk" / "lang");
  };

  if (const auto dir = value("RECDESK_LANG_DIR"); !dir.empty()) dirs.emplace_back(dir);
  // The installed layout (<prefix>/bin/<program>, <prefix>/share/recdesk/lang); the build tree has the
  // same shape.
  if (const auto exeDir = exe.parent_path(); !exeDir.empty())
    dirs.push_back(exeDir.parent_path() / "share" / "recdesk" / "lang");

  if (const auto dataHome = value("XDG_DATA_HOME"); !dataHome.empty()) {
    addDataFolder(dataHome);
  } else if (const auto home = value("HOME"); !home.empty()) {
    addDataFolder(std::filesystem::path(home) / ".local" / "share");
  }
  std::string dataDirs = value("XDG_DATA_DIRS");
  if (dataDirs.empty()) dataDirs = "/usr/local/share/:/usr/share/";
  std::size_t from = 0;
  while (from <= dataDirs.size()) {
    const std::size_t colon = std::min(dataDirs.find(':', from), dataDirs.size());
    if (colon > from) addDataFolder(dataDirs.substr(from, colon - from));
    from = colon + 1;
  }
  return dirs;
}

std::vector<std::filesystem::path> languageSearchPath(const std::filesystem::path& programPath) {
  std::error_code ec;
  std::filesystem::path exe = std::filesystem::read_symlink("/proc/self/exe", ec);
  if (ec || exe.empty()) exe = std::filesystem::absolute(programPath, ec);
  return languageSearchPath(exe, [](const char* name) { return std::getenv(name); });
}

bool loadProgramLanguage(const std::filesystem::path& programPath, std::string& message,
                         std::vector<std::string>* warnings) {
  const std::string fileName = chooseLanguageName() + ".lang";
  for (const auto& dir : languageSearchPath(programPath)) {
    std::error_code ec;
    const auto candidate = dir / fileName;
    if (!std::filesystem::is_regular_file(candidate, ec)) continue;
    std::vector<std::string> problems;
    if (strings().loadFile(candidate, &problems)) {
      if (warnings)
        for (const auto& p : problems) warnings->push_back(candidate.string() + ": " + p);
      return true;
    }
  }
  message = formatText(kUnableToLoad, {fileName});
  return false;
}

}  // namespace recdesk::lang
