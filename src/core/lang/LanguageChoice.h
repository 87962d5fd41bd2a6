#pragma once
// Choosing and loading the program's language library at start.
//
// The language name comes from the environment variable RECDESK_LANGUAGE, else from the first line of
// the file "$XDG_CONFIG_HOME/recdesk/language" (~/.config/recdesk/language); a missing, empty or too
// long value (20 characters or more) selects "english". The name is lower-cased and "<name>.lang" is
// looked for, in this order:
//   1. $RECDESK_LANG_DIR (an override for tests and for trying a translation);
//   2. relative to the program: "<exe dir>/../share/recdesk/lang" — the installed layout, which the
//      build tree copies (build/<preset>/bin/ beside build/<preset>/share/recdesk/lang);
//   3. the XDG data folders: "$XDG_DATA_HOME/recdesk/lang" (default ~/.local/share), then
//      "<dir>/recdesk/lang" for each dir of $XDG_DATA_DIRS (default /usr/local/share:/usr/share).
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

namespace recdesk::lang {

// The program's own texts, needed before (or without) a language library; no library holds them.
inline constexpr const char* kUnableToLoad = "Error: Unable to load %s.";
inline constexpr const char* kLanguageKey = "recdesk/language";
inline constexpr const char* kLanguageValue = "Language";

std::string chooseLanguageName();
// Where "<name>.lang" is looked for, in order, for this process: the program's own location comes
// from /proc/self/exe, or from `programPath` (argv[0]) where that cannot be read.
std::vector<std::filesystem::path> languageSearchPath(const std::filesystem::path& programPath);
// The same for a program at `exe` (absolute) and an environment read through `env` (nullptr: unset).
using EnvironmentLookup = std::function<const char*(const char* name)>;
std::vector<std::filesystem::path> languageSearchPath(const std::filesystem::path& exe,
                                                      const EnvironmentLookup& env);
// Loads the chosen language into strings(). On failure returns false and sets `message` to
// "Error: Unable to load <name>.lang." (the program then ends with a non-zero exit). Lines of the file
// that could not be read are skipped and described in `warnings` ("<file>: line N: reason").
bool loadProgramLanguage(const std::filesystem::path& programPath, std::string& message,
                         std::vector<std::string>* warnings = nullptr);

}  // namespace recdesk::lang
