#pragma once
// A plain enabling from the session state alone, used until the core's enabling function (session
// state and restriction mask) is wired in: recorder commands while connected and idle, downloads
// while a recording is selected, the Download button also while a download runs (to cancel it).
#include "Commands.h"

namespace recdesk::session {
struct SessionState;
}

namespace recdesk::gui {

struct WindowFacts {
  bool anySelected = false;   // a recording is selected in the list
  bool playbackOpen = false;  // the player holds a file
};

EnabledSet interimEnabling(const session::SessionState& state, const WindowFacts& facts);

}  // namespace recdesk::gui
