#pragma once
// The bridge between the core's enabling function and the window's numbered commands and controls:
// the session as enabling sees it, and the enabled set by menu or control number.
#include "window/Commands.h"
#include "app/Enabling.h"

namespace recdesk::session {
struct SessionState;
}

namespace recdesk::gui {

// What the window knows beside the session state.
struct WindowFacts {
  bool reducedVariant = false;
  bool transmitterMenu = true;
  bool recordingsSelected = false;
};

app::EnablingSession enablingSession(const session::SessionState& state, const WindowFacts& facts);

// The menu, submenu or control number of an enabling item (0 for none).
int windowNumber(app::Control c);

// The core's set by window numbers.
EnabledSet windowEnabling(const app::EnabledSet& set);

}  // namespace recdesk::gui
