#pragma once
// Scaffolding of the end-to-end tests: recdesk-sim on a pseudo-terminal and recdesk-cli runs, each
// with the user's folders redirected into a temporary folder.
#include <chrono>
#include <cstdlib>
#include <string>
#include <vector>

#include "Process.h"
#include "TestSupport.h"

namespace recdesk::test {

// Keeps the user's settings, logs and caches out of the test.
// The demo recordings of recdesk-cli --demo and recdesk-sim are the short ones in these tests.
inline void shortDemoRecordings() { ::setenv("RECDESK_DEMO_SECONDS", "0", 1); }

inline void prepareEnvironment(const TempDir& dir) {
  if (!std::getenv("RECDESK_LANG_DIR")) ::setenv("RECDESK_LANG_DIR", RECDESK_SOURCE_LANG_DIR, 1);
  ::setenv("XDG_CONFIG_HOME", (dir / "config").c_str(), 1);
  ::setenv("XDG_STATE_HOME", (dir / "state").c_str(), 1);
  ::setenv("XDG_CACHE_HOME", (dir / "cache").c_str(), 1);
}

// recdesk-sim serving a pseudo-terminal until the test ends (or `exitAfterSeconds` pass).
// The host is given a link of this simulator's own to the terminal, never the terminal's name: the
// system hands a freed terminal's name to the next one opened, and a host that opens its device again
// after a lost link would otherwise find another test's simulator there. The simulator removes the
// link before it lets go of the terminal.
struct Sim {
  Sim(std::vector<std::string> options, int exitAfterSeconds)
      : process([&] {
          shortDemoRecordings();
          std::vector<std::string> argv = {binPath("recdesk-sim"), "--exit-after", std::to_string(exitAfterSeconds),
                                           "--link", (linkDir / "tty").string()};
          argv.insert(argv.end(), options.begin(), options.end());
          return argv;
        }()) {
    if (!process.firstLine(std::chrono::seconds(10)).empty()) path = (linkDir / "tty").string();
  }
  ~Sim() {
    process.terminate();
    process.wait(std::chrono::seconds(5));
  }
  TempDir linkDir;
  Process process;
  std::string path;  // the simulator's link to the pseudo-terminal it serves
};

struct CliRun {
  int code = -1;
  std::string out, err;
};

// Runs recdesk-cli with `args` and waits at most `limit` for it.
inline CliRun runCli(std::vector<std::string> args, std::chrono::milliseconds limit) {
  shortDemoRecordings();
  args.insert(args.begin(), binPath("recdesk-cli"));
  Process p(args);
  CliRun r;
  r.code = p.wait(limit);
  r.out = p.out();
  r.err = p.err();
  return r;
}

// recdesk-cli with a limit no healthy run comes near.
inline CliRun cli(std::vector<std::string> args) { return runCli(std::move(args), std::chrono::seconds(90)); }

inline bool contains(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

}  // namespace recdesk::test
