// The shipped English library and the choice and loading of the program's language.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "TestSupport.h"
#include "lang/LanguageChoice.h"
#include "lang/Strings.h"

namespace {

using recdesk::lang::chooseLanguageName;
using recdesk::lang::loadProgramLanguage;
using recdesk::lang::Strings;
using recdesk::test::TempDir;
using recdesk::test::writeFile;

const std::filesystem::path kEnglish = std::filesystem::path(RECDESK_SOURCE_LANG_DIR) / "english.lang";

// Every string number the program fetches. A number may only leave this list when no code uses it.
const int kStringNumbers[] = {
    130,   131,   133,   134,   135,   136,   139,   140,   141,   143,   145,   146,   147,   148,   57667,
    57668, 57669, 57670, 57671, 57672, 57673, 57674, 57675, 57676, 57677, 57679, 57683, 57684, 57685, 57686,
    57687, 57688, 57689, 57690, 57691, 57692, 57693, 57694, 57695, 57696, 57697, 57698, 57699, 57700, 57701,
    57702, 57703, 57704, 57705, 57706, 57707, 57708, 57709, 57710, 57711, 57712, 57713, 57715, 57716, 57717,
    57719, 57720, 57721, 57722, 57723, 57724, 57725, 57726, 57727, 57728, 57729, 57730, 57731, 57732, 57733,
    57734, 57735, 57736, 57737, 57738, 57739, 57740, 57741, 57742, 57743, 57744, 57746, 57747, 57748, 57749,
    57750, 57751, 57752, 57753, 57754, 57755, 57756, 57757, 57758, 57759, 57760, 57761, 57762, 57763, 57764,
    57765, 57767, 57768, 57769, 57770, 57771, 57772, 57773, 57774, 57775, 57776, 57778, 57779, 57780, 57781,
    57782, 57783, 57784, 57785, 57786, 57787, 57788, 57790, 57791, 57792, 57793, 57794, 57795, 57796, 57797,
    57798, 57799, 57800, 57801, 57802, 57803, 57804, 57805, 57806, 57807, 57808, 57809, 57815, 57816, 57818,
    57819, 57820, 57821, 57822, 57823, 57824, 57825, 57826, 57827, 57828, 57829, 57830, 57831, 57832, 57833,
    57834, 57835, 57836, 57837, 57838, 57839, 57840, 57841, 57842, 57843, 57844, 57845, 57846, 57847, 57848,
    57849, 57850, 57851, 57852, 57853, 57854, 57855, 57856, 57857, 57858, 57859, 57860, 57861, 57862, 57863,
    57864, 57865, 57866, 57867, 57868, 57869, 57870, 57871, 57872, 57875, 57877, 57878, 57879, 57880, 57881,
    57882, 57884, 57885, 57886, 57887, 57888, 57889, 57890, 57891, 57892, 57893, 57894, 57895, 57896, 57897,
    57898, 57899, 57900, 57901, 57902, 57903, 57904, 57905, 57906, 57907, 57908, 57910, 57911, 57912, 57913,
    57914, 57915, 57916, 57917, 57918, 57919, 57920, 57921, 57922, 57923, 57924, 57925, 57926, 57927, 57928,
    57929, 57930, 57931, 57932, 57933, 57935, 57936, 57937, 57938, 57939, 57940, 57941, 57942, 57943, 57944,
    57945, 57946, 57947, 57948, 57949, 57950, 57951, 57952, 57953, 57959, 57960, 57961, 57962, 57963, 57964,
    57965, 57969, 57970, 57971, 57972, 57973, 57974, 57975, 57976, 57978, 57979, 57980, 57981, 57983, 57984,
    57985, 57986, 57987, 57988, 57989, 57990, 57991, 57992, 57993, 57994, 57995, 57996, 57997, 57998, 57999,
    58000,
    // Texts of the program's own additions (WAV filter input problems).
    58600, 58601, 58602, 58603, 58604, 58605,
    // Download: the answers to the existing-file question, report lines.
    58610, 58611, 58612, 58613, 58614, 58615,
    // Transmitter, PIN table
    58650, 58651, 58652, 58653, 58654, 58655, 58656, 58657, 58658, 58659,
};

// The texts the program fills, with the kind of each argument it passes, in order (s text, f real).
// Every other text must hold no conversion at all: several are inserted into formats that are then
// formatted again.
const std::map<int, std::string> kFormatArguments = {
    {135, "s"},      // recorder name (format confirmation)
    {136, "s"},      // recorder name (format although recordings are not downloaded)
    {148, "sff"},    // drive, MB needed, MB free
    {57910, "s"},    // reason a list line was refused
    {57969, "ssss"}, // about box: application name, two describing texts, version text
    {57971, "s"},    // recording time left
    {57974, "s"},    // path of today's log file
    {58600, "s"},    // WAV filter: path of an unreadable input
    {58601, "suu"},  // path, bytes claimed, bytes present
    {58602, "s"},    // the file error
    {58603, "s"},    // the file error
    {58604, "su"},   // path, bytes left out
    {58605, "su"},   // path, bytes filtered
    {58652, "ss"},   // PIN table: file, reason
    {58653, "su"},   // file, line
    {58654, "sus"},  // file, line, character
    {58655, "su"},   // file, largest size
    {58656, "ss"},   // file, character
};

// The conversions of a format text, in order, as formatText reads them: one letter per conversion
// ('s' for %s, 'f' for %f/%e/%g, 'd' for %d/%i, 'u' for %u/%x/%X/%o, 'c' for %c).
std::string conversions(const std::string& text) {
  std::string found;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] != '%') continue;
    std::size_t j = i + 1;
    if (j < text.size() && text[j] == '%') {
      i = j;
      continue;
    }
    while (j < text.size() && std::string("-+ #0.123456789hlLqjztI").find(text[j]) != std::string::npos) ++j;
    if (j >= text.size()) break;
    const char c = text[j];
    if (std::string("sS").find(c) != std::string::npos) found += 's';
    else if (std::string("fFeEgG").find(c) != std::string::npos) found += 'f';
    else if (c == 'd' || c == 'i') found += 'd';
    else if (std::string("uxXo").find(c) != std::string::npos) found += 'u';
    else if (c == 'c') found += 'c';
    i = j;
  }
  return found;
}

class EnglishLibrary : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(english.loadFile(kEnglish, &problems)) << kEnglish; }
  Strings english;
  std::vector<std::string> problems;
};

TEST_F(EnglishLibrary, LoadsWithoutProblemsAndHoldsEveryNumber) {
  EXPECT_TRUE(problems.empty()) << problems.front();
  for (int id : kStringNumbers) {
    std::string text;
    EXPECT_TRUE(english.load(id, text)) << "missing string " << id;
    EXPECT_FALSE(text.empty()) << "empty string " << id;
  }
  EXPECT_EQ(english.text(146), "RecDesk");
  EXPECT_EQ(english.text(147), "recdesk.ini");
  // The program's own texts are not the library's.
  for (int own : {57958, 57966, 57967}) EXPECT_FALSE(english.has(own)) << own;
}

TEST_F(EnglishLibrary, FormatTextsTakeExactlyTheArgumentsTheProgramPasses) {
  for (int id : kStringNumbers) {
    const auto it = kFormatArguments.find(id);
    const std::string expected = it == kFormatArguments.end() ? "" : it->second;
    EXPECT_EQ(conversions(english.text(id)), expected) << "string " << id << ": " << english.text(id);
  }
  // Filled as the program fills them, every argument shows.
  const std::string space = english.format(148, {"C:\\", 1234.56, 7.04});
  EXPECT_NE(space.find("C:\\"), std::string::npos) << space;
  EXPECT_NE(space.find("1234.6"), std::string::npos) << space;
  EXPECT_NE(space.find("7.0"), std::string::npos) << space;
  const std::string about = english.format(57969, {english.text(146), english.text(57970), english.text(57780), "0.1.0"});
  for (const auto& part : {english.text(146), english.text(57970), english.text(57780), std::string("0.1.0")})
    EXPECT_NE(about.find(part), std::string::npos) << about;
  EXPECT_NE(english.format(135, {"R5-01234"}).find("R5-01234"), std::string::npos);
  EXPECT_NE(english.format(57910, {"Invalid Parameter(s)"}).find("Invalid Parameter(s)"), std::string::npos);
}

TEST_F(EnglishLibrary, TextsThatTheProgramJoinsOrUsesAsNamesHaveTheirShape) {
  // "%s%s is %s" with 57931 and the recorder's name: 57931 brings its own separating blank.
  const std::string locked = english.text(57931);
  ASSERT_FALSE(locked.empty());
  EXPECT_EQ(locked.back(), ' ');
  // 57973 goes to the log unchanged, so it carries the log line's leading blank and line end.
  const std::string transmitter = english.text(57973);
  EXPECT_EQ(transmitter.front(), ' ');
  EXPECT_EQ(transmitter.substr(transmitter.size() - 2), "\r\n");
  // Filter mode names become part of an output file name and guide names are file names.
  for (int id : {57767, 57768, 57769, 57770, 57771, 57772, 57773, 57778, 57996})
    EXPECT_EQ(english.text(id).find_first_of("/\\*:|?\"<>"), std::string::npos) << id;
  // Built-in profile names travel in a protocol line (blanks become "_") and come back by name.
  for (int id : {57983, 57984, 57985, 57986, 57987, 57988, 57989})
    EXPECT_EQ(english.text(id).find_first_of(",_\r\n"), std::string::npos) << id;
  // Menus are found by their captions, so the captions must differ.
  std::set<std::string> captions;
  for (int id : {57940, 57979, 57980, 57981, 58000}) captions.insert(english.text(id));
  EXPECT_EQ(captions.size(), 5u);
}

// Sets environment variables for one test and puts the previous values back afterwards.
class Environment {
 public:
  ~Environment() {
    for (const auto& [name, value] : saved_) {
      if (value) ::setenv(name.c_str(), value->c_str(), 1);
      else ::unsetenv(name.c_str());
    }
  }
  void set(const std::string& name, const std::string& value) {
    remember(name);
    ::setenv(name.c_str(), value.c_str(), 1);
  }
  void unset(const std::string& name) {
    remember(name);
    ::unsetenv(name.c_str());
  }

 private:
  void remember(const std::string& name) {
    if (saved_.count(name)) return;
    const char* old = std::getenv(name.c_str());
    saved_[name] = old ? std::optional<std::string>(old) : std::nullopt;
  }
  std::map<std::string, std::optional<std::string>> saved_;
};

TEST(LanguageChoice, EnvironmentValueIsLowerCasedAndTooLongValuesSelectEnglish) {
  Environment env;
  TempDir config;
  env.set("XDG_CONFIG_HOME", config.path().string());  // no language file there
  env.set("RECDESK_LANGUAGE", "German");
  EXPECT_EQ(chooseLanguageName(), "german");
  env.set("RECDESK_LANGUAGE", std::string(19, 'x'));  // fits the 20-byte value buffer
  EXPECT_EQ(chooseLanguageName(), std::string(19, 'x'));
  env.set("RECDESK_LANGUAGE", std::string(20, 'x'));  // does not
  EXPECT_EQ(chooseLanguageName(), "english");
  // A value that is not a plain file name never reaches the file system.
  env.set("RECDESK_LANGUAGE", "../german");
  EXPECT_EQ(chooseLanguageName(), "english");
  env.unset("RECDESK_LANGUAGE");
  EXPECT_EQ(chooseLanguageName(), "english");
}

TEST(LanguageChoice, FallsBackToTheConfigFile) {
  Environment env;
  TempDir config;
  env.unset("RECDESK_LANGUAGE");
  env.set("XDG_CONFIG_HOME", config.path().string());
  std::filesystem::create_directories(config / "recdesk");
  writeFile(config / "recdesk" / "language", "  French\r\nsecond line\n");
  EXPECT_EQ(chooseLanguageName(), "french");
  // An empty environment value counts as none.
  env.set("RECDESK_LANGUAGE", "");
  EXPECT_EQ(chooseLanguageName(), "french");
  // The environment wins over the file.
  env.set("RECDESK_LANGUAGE", "Dutch");
  EXPECT_EQ(chooseLanguageName(), "dutch");
  env.unset("RECDESK_LANGUAGE");
  // A first line far too long (no line end at all) selects english without being read whole.
  writeFile(config / "recdesk" / "language", std::string(1 << 20, 'a'));
  EXPECT_EQ(chooseLanguageName(), "english");
  writeFile(config / "recdesk" / "language", "");
  EXPECT_EQ(chooseLanguageName(), "english");
}

class ProgramLanguage : public ::testing::Test {
 protected:
  void SetUp() override {
    env.set("RECDESK_LANG_DIR", langDir.path().string());
    env.set("XDG_CONFIG_HOME", langDir.path().string());
  }
  // The process-wide library is shared with the other tests of this program: leave English in it.
  void TearDown() override { recdesk::lang::strings().loadFile(kEnglish); }

  static bool existsOnSearchPath(const std::string& file) {
    for (const auto& dir : recdesk::lang::languageSearchPath("test_lang"))
      if (std::filesystem::exists(dir / file)) return true;
    return false;
  }

  Environment env;
  TempDir langDir;
};

TEST_F(ProgramLanguage, MissingLibraryGivesTheExactMessage) {
  std::string message;
  env.set("RECDESK_LANGUAGE", "zzNoSuchLanguage");
  EXPECT_FALSE(loadProgramLanguage("test_lang", message));
  EXPECT_EQ(message, "Error: Unable to load zznosuchlanguage.lang.");

  if (existsOnSearchPath("german.lang")) GTEST_SKIP() << "a german.lang is installed";
  env.set("RECDESK_LANGUAGE", "German");
  message.clear();
  EXPECT_FALSE(loadProgramLanguage("test_lang", message));
  EXPECT_EQ(message, "Error: Unable to load german.lang.");
}

TEST_F(ProgramLanguage, LoadsTheChosenLibraryAndReportsBadLinesByNumber) {
  env.set("RECDESK_LANGUAGE", "Testish");
  writeFile(langDir / "testish.lang", "# test language\n146=TestDesk\nnot an entry\n57762=Offline\n");
  std::string message;
  std::vector<std::string> warnings;
  ASSERT_TRUE(loadProgramLanguage("test_lang", message, &warnings)) << message;
  ASSERT_EQ(warnings.size(), 1u);
  EXPECT_NE(warnings[0].find("testish.lang: line 3:"), std::string::npos) << warnings[0];
  EXPECT_EQ(recdesk::lang::text(146), "TestDesk");
  EXPECT_EQ(recdesk::lang::text(57762), "Offline");
  EXPECT_EQ(recdesk::lang::format(57762, {}), "Offline");
}

TEST_F(ProgramLanguage, TheLanguageFolderComesFirstAndEnglishIsTheDefault) {
  env.unset("RECDESK_LANGUAGE");
  writeFile(langDir / "english.lang", "146=Own English\n");
  std::string message;
  ASSERT_TRUE(loadProgramLanguage("test_lang", message)) << message;
  EXPECT_EQ(recdesk::lang::text(146), "Own English");
  // Without an own copy the shipped library is found.
  std::filesystem::remove(langDir / "english.lang");
  ASSERT_TRUE(loadProgramLanguage("test_lang", message)) << message;
  EXPECT_EQ(recdesk::lang::text(146), "RecDesk");
  EXPECT_TRUE(recdesk::lang::strings().has(58000));
}

// Where language files are looked for: the override, the program's own installation, then the XDG
// data folders. The process's real environment plays no part here.
class SearchPath : public ::testing::Test {
 protected:
  std::vector<std::filesystem::path> search(const std::filesystem::path& exe) const {
    return recdesk::lang::languageSearchPath(exe, [this](const char* name) -> const char* {
      const auto it = vars.find(name);
      return it == vars.end() ? nullptr : it->second.c_str();
    });
  }
  std::map<std::string, std::string> vars;
};

TEST_F(SearchPath, OverrideThenBesideTheProgramThenTheXdgDataFolders) {
  vars = {{"RECDESK_LANG_DIR", "/try/lang"},
          {"XDG_DATA_HOME", "/home/u/data"},
          {"XDG_DATA_DIRS", "/opt/a/share:/opt/b/share/"},
          {"HOME", "/home/u"}};
  const std::vector<std::filesystem::path> expected = {
      "/try/lang", "/opt/recdesk/share/recdesk/lang", "/home/u/data/recdesk/lang",
      "/opt/a/share/recdesk/lang", "/opt/b/share/recdesk/lang"};
  EXPECT_EQ(search("/opt/recdesk/bin/recdesk-cli"), expected);
}

TEST_F(SearchPath, DefaultsFollowTheXdgRules) {
  vars = {{"HOME", "/home/u"}, {"RECDESK_LANG_DIR", ""}, {"XDG_DATA_HOME", ""}};
  const std::vector<std::filesystem::path> expected = {
      "/usr/share/recdesk/lang", "/home/u/.local/share/recdesk/lang", "/usr/local/share/recdesk/lang",
      "/usr/share/recdesk/lang"};
  EXPECT_EQ(search("/usr/bin/recdesk"), expected);

  // Without a home folder there is no user data folder.
  vars.clear();
  EXPECT_EQ(search("/usr/bin/recdesk").size(), 3u);
}

TEST_F(SearchPath, RelativeAndEmptyDataFoldersAreIgnored) {
  vars = {{"XDG_DATA_HOME", "relative/data"}, {"XDG_DATA_DIRS", "::share:/abs/share::"}};
  const std::vector<std::filesystem::path> expected = {"/p/share/recdesk/lang", "/abs/share/recdesk/lang"};
  EXPECT_EQ(search("/p/bin/x"), expected);
}

TEST_F(SearchPath, TheBuildTreeHasTheInstalledLayout) {
  // The programs and the test programs live one folder below the build tree's root, which holds a copy
  // of the language files: they run without a path into the source tree.
  vars.clear();
  const auto found = search(std::filesystem::canonical("/proc/self/exe"));
  ASSERT_FALSE(found.empty());
  EXPECT_TRUE(std::filesystem::is_regular_file(found.front() / "english.lang")) << found.front();
}

}  // namespace
