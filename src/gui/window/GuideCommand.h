#pragma once
// The Help menu's guide: opens the guide document of the device connected now with the desktop's
// viewer, or tells the user that it is not installed.

namespace recdesk::gui {

class GuiSession;

// Runs the guide command; false for any other command.
bool runGuideCommand(int command, GuiSession& session);

}  // namespace recdesk::gui
