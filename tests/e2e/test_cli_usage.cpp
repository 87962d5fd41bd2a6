// recdesk-cli's command line: usage errors, the help of each command, global options on either side of
// the command, and the bash completion written from the same option definitions.
#include <gtest/gtest.h>

#include <filesystem>
#include <regex>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "EndToEnd.h"

using namespace recdesk::test;
using namespace std::chrono_literals;
namespace fs = std::filesystem;

namespace {


struct UsageCase {
  std::vector<std::string> args;
  std::string message;
};

}  // namespace

TEST(CliUsage, UsageErrorsExitTwoWithAClearMessage) {
  TempDir dir;
  prepareEnvironment(dir);
  const std::vector<UsageCase> cases = {
      {{"frobnicate"}, "unknown command 'frobnicate'"},
      {{"--demo", "frobnicate"}, "unknown command 'frobnicate'"},
      {{"--frob", "info"}, "unknown option '--frob'"},
      {{"info", "--frob"}, "unknown option '--frob'"},
      {{"info", "extra"}, "unexpected argument 'extra'"},
      {{"filter", "a.wav", "b.wav", "c.wav"}, "unexpected argument 'c.wav'"},
      {{"filter", "a.wav", "--mode", "7"}, "--mode takes a whole number from 0 to 6, not '7'"},
      {{"filter", "a.wav", "-m", "x"}, "--mode takes a whole number from 0 to 6, not 'x'"},
      {{"filter", "a.wav", "--mode"}, "--mode needs a value"},
      {{"--settings"}, "--settings needs a value"},
      {{"convert", "a.im2"}, "OUT.wav is required"},
      {{"convert", "a.im2", "b.wav", "--cut-mib=2048"},
       "--cut-mib takes a whole number from 0 to 2047, not '2048'"},
      {{"convert", "a.im2", "b.wav", "--cut-minutes", "5", "--cut-mib", "9"},
       "give --cut-minutes or --cut-mib"},
      {{"--baud", "9600", "info"}, "--baud takes 115200, 1000000, 2000000 or 3000000, not '9600'"},
      {{"--port", "0", "info"}, "--port takes a whole number from 1 to 32767, not '0'"},
      {{"--timeout", "-5", "info"}, "--timeout takes a whole number from 1 to 86400, not '-5'"},
      {{"--timeout", "1.5", "info"}, "--timeout takes a whole number from 1 to 86400, not '1.5'"},
      {{"--demo", "download", "70000"}, "NUMBER takes a whole number from 0 to 65535, not '70000'"},
      {{"--demo", "download", "--all", "2"}, "give either --all or recording numbers"},
      {{"--demo", "download", "--acceleration", "0"}, "--acceleration takes a whole number from 1 to 256"},
      {{"--demo", "download", "--on-existing", "maybe"},
       "--on-existing takes continue, start-again, skip or restart, not 'maybe'"},
      {{"--demo", "--log", "x.log", "--no-log", "info"}, "give either --log FILE or --no-log"},
  };
  for (const auto& c : cases) {
    std::string line;
    for (const auto& a : c.args) line += " " + a;
    const CliRun r = cli(c.args);
    EXPECT_EQ(r.code, 2) << line << "\n" << r.err;
    EXPECT_TRUE(contains(r.err, "recdesk-cli: " + c.message)) << line << "\n" << r.err;
    EXPECT_EQ(r.out, "") << line;  // nothing ran
  }
  // A command's usage error names the command's usage; no command at all prints the overview.
  CliRun r = cli({"filter", "a.wav", "--mode", "9"});
  EXPECT_TRUE(contains(r.err, "usage: recdesk-cli [options] filter IN.wav [OUT.wav] [--mode N]")) << r.err;
  r = cli({});
  EXPECT_EQ(r.code, 2);
  EXPECT_TRUE(contains(r.out, "Commands:")) << r.out;
}

TEST(CliUsage, EachCommandsHelpShowsItsOwnOptions) {
  TempDir dir;
  prepareEnvironment(dir);
  CliRun r = cli({"download", "--help"});
  ASSERT_EQ(r.code, 0) << r.err;
  for (const char* part : {"recdesk-cli download", "NUMBER", "--all", "--no-decode", "--acceleration N",
                           "(1 to 256)", "--on-existing continue|start-again|skip|restart", "--download-folder DIR"})
    EXPECT_TRUE(contains(r.out, part)) << part << "\n" << r.out;
  EXPECT_FALSE(contains(r.out, "--cut-minutes")) << r.out;

  r = cli({"--demo", "filter", "-h"});  // help comes before the missing input file
  ASSERT_EQ(r.code, 0) << r.err;
  EXPECT_TRUE(contains(r.out, "-m,--mode N")) << r.out;
  EXPECT_TRUE(contains(r.out, "IN.wav")) << r.out;
  EXPECT_FALSE(contains(r.out, "--on-existing")) << r.out;

  // The overview names every command and the global options.
  r = cli({"--help"});
  ASSERT_EQ(r.code, 0);
  for (const char* part : {"convert", "demo", "download", "filter", "info", "list", "ports", "settings",
                           "--settings FILE", "--no-log", "-y,--yes", "--version"})
    EXPECT_TRUE(contains(r.out, part)) << part << "\n" << r.out;
  r = cli({"--version"});
  EXPECT_EQ(r.code, 0);
  EXPECT_EQ(r.out.rfind("recdesk-cli ", 0), 0u) << r.out;
}

TEST(CliUsage, GlobalOptionsWorkBeforeAndAfterTheCommand) {
  TempDir dir;
  prepareEnvironment(dir);
  const fs::path file = dir / "mine.ini";
  writeFile(file, "[Options]\nAcceleration=16\n");
  for (const auto& args : {std::vector<std::string>{"--settings", file.string(), "settings"},
                           std::vector<std::string>{"settings", "--settings=" + file.string()}}) {
    const CliRun r = cli(args);
    ASSERT_EQ(r.code, 0) << r.err;
    EXPECT_TRUE(contains(r.err, "settings file " + file.string())) << r.err;
    EXPECT_TRUE(contains(r.out, "Options.Acceleration=16 ")) << r.out;
  }

  // A command's own options may stand before it.
  fs::create_directories(dir / "first");
  CliRun r = cli(
      {"--download-folder", (dir / "first").string(), "--demo", "--no-decode", "download", "2", "--no-log"});
  ASSERT_EQ(r.code, 0) << r.err;
  EXPECT_TRUE(fs::exists(dir / "first" / "R5-12345.2.im2"));
  r = cli({"-m", "7", "filter", "in.wav"});
  EXPECT_EQ(r.code, 2);
  EXPECT_TRUE(contains(r.err, "--mode takes a whole number from 0 to 6, not '7'")) << r.err;

  // --demo without a command downloads every recording, taking the download's options.
  fs::create_directories(dir / "im2");
  r = cli({"--demo", "--no-log", "--no-decode", "--download-folder", (dir / "im2").string()});
  ASSERT_EQ(r.code, 0) << r.err;
  EXPECT_TRUE(contains(r.out, "Downloading 3 recording(s)")) << r.out;
  EXPECT_FALSE(contains(r.out, "decoding into")) << r.out;
  EXPECT_TRUE(fs::exists(dir / "im2" / "R5-12345.1.im2"));
  EXPECT_FALSE(fs::exists(dir / "state" / "recdesk"));
}

TEST(CliUsage, BashCompletionOffersCommandsOptionsAndChoices) {
  TempDir dir;
  prepareEnvironment(dir);
  const CliRun script = cli({"--completion", "bash"});
  ASSERT_EQ(script.code, 0) << script.err;
  writeFile(dir / "completion", script.out);
  fs::create_directories(dir / "folder");
  writeFile(dir / "take.wav", "");

  // What bash offers for the words typed so far (the last one is being completed).
  const auto complete = [&](const std::vector<std::string>& words) {
    std::string array;
    for (const auto& w : words) array += " '" + w + "'";
    Process bash({"/bin/bash", "-c",
                  "cd '" + dir.path().string() + "' && source ./completion && COMP_WORDS=(recdesk-cli" +
                      array + ") && COMP_CWORD=" + std::to_string(words.size()) +
                      " && _recdesk_cli && printf '%s\\n' \"${COMPREPLY[@]}\" | sort | tr '\\n' ' '"});
    EXPECT_EQ(bash.wait(20s), 0) << bash.err();
    return bash.out();
  };
  EXPECT_EQ(complete({"d"}), "demo download ");
  EXPECT_EQ(complete({"--demo", "--port", "1000", "li"}), "list ");
  EXPECT_EQ(complete({"download", "--on-existing", "r"}), "restart ");
  EXPECT_EQ(complete({"download", "--on-existing", "st"}), "start-again ");
  EXPECT_EQ(complete({"download", "--on-existing", "=", "s"}), "skip start-again ");
  EXPECT_EQ(complete({"--baud", "1"}), "1000000 115200 ");
  EXPECT_EQ(complete({"filter", "--m"}), "--mode ");
  EXPECT_EQ(complete({"info", "--no-"}), "--no-log ");  // global options after the command
  EXPECT_EQ(complete({"--settings", "x.ini", "list", "--pr"}), "--prefix ");
  EXPECT_EQ(complete({"download", "--download-folder", "fo"}), "folder ");
  EXPECT_EQ(complete({"filter", "ta"}), "take.wav ");

  // Every command of the overview, and every option of each command's help, is offered.
  const CliRun help = cli({"--help"});
  std::istringstream lines(help.out.substr(help.out.find("Commands:")));
  std::vector<std::string> commands;
  for (std::string line; std::getline(lines, line);)
    if (line.rfind("  ", 0) == 0 && line.size() > 2 && line[2] != ' ')
      commands.push_back(line.substr(2, line.find(' ', 2) - 2));
  ASSERT_GE(commands.size(), 8u) << help.out;
  std::string all;
  for (const auto& c : commands) all += c + " ";
  EXPECT_EQ(complete({""}), all);
  const std::regex option("--[a-z][a-z-]*");
  for (const auto& c : commands) {
    const std::string offered = " " + complete({c, "-"});
    const std::string text = cli({c, "--help"}).out;
    std::set<std::string> options;
    for (std::sregex_iterator it(text.begin(), text.end(), option), end; it != end; ++it)
      options.insert(it->str());
    for (const auto& o : options)
      EXPECT_TRUE(contains(offered, " " + o + " ")) << c << " " << o << ":" << offered;
  }
}
