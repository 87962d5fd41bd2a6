#pragma once
// Choosing and loading the program's language library at start.
//
// The language name comes from the environment variable RECDESK_LANGUAGE, else from the first line of
// the file "$XDG_CONFIG_HOME/recdesk/language" (~/.config/recdesk/language); a missing, empty or too
// long value (20 characters or more) selects "english". The name is lower-cased and "<name>.lang" is
// looked for in RECDESK_LANG_DIR, beside the program ("<exe dir>/lang", "<exe dir>/../share/recdesk/lang")
// and in the source tree's lang/ folder.
#include <filesystem>
#include <string>
#include <vector>

namespace recdesk::lang {

// The program's own texts, needed before (or without) a language library.
inline constexpr const char* kUnableToLoad = "Error: Unable to load %s.";  // 57958
inline constexpr const char* kLanguageKey = "recdesk/language";             // 57966
inline constexpr const char* kLanguageValue = "Language";                    // 57967

std::string chooseLanguageName();
// Where "<name>.lang" is looked for, in order. `programPath` is argv[0] or /proc/self/exe.
std::vector<std::filesystem::path> languageSearchPath(const std::filesystem::path& programPath);
// Loads the chosen language into strings(). On failure returns false and sets `message` to
// "Error: Unable to load <name>.lang." (the program then ends with a non-zero exit). Lines of the file
// that could not be read are skipped and described in `warnings` ("<file>: line N: reason").
bool loadProgramLanguage(const std::filesystem::path& programPath, std::string& message,
                         std::vector<std::string>* warnings = nullptr);

}  // namespace recdesk::lang
