#pragma once
// Ctrl-C while a command runs: a flag the command polls instead of the program being killed. The
// previous handler comes back when the scope ends, so a second command in the same run starts clean.
#include <csignal>

namespace recdesk::cli {

class InterruptScope {
 public:
  InterruptScope();
  ~InterruptScope();
  InterruptScope(const InterruptScope&) = delete;
  InterruptScope& operator=(const InterruptScope&) = delete;

  // Whether Ctrl-C was pressed since the scope began or since the last clear().
  static bool interrupted();
  static void clear();

 private:
  void (*previous_)(int);
};

}  // namespace recdesk::cli
