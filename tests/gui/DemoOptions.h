#pragma once
// The options of a window test on the demo recorder: its settings, log and cache all inside the test's
// temporary folder, so that nothing lands in the user's own.
#include <cstdlib>

#include "TestSupport.h"
#include "window/GuiSession.h"

namespace recdesk::test {

inline gui::GuiOptions demoOptions(const TempDir& dir) {
  setenv("XDG_CACHE_HOME", (dir / "cache").c_str(), 1);
  gui::GuiOptions options;
  options.demo = true;
  options.settingsFile = dir / "recdesk.ini";
  options.logFolder = dir / "log";
  return options;
}

}  // namespace recdesk::test
