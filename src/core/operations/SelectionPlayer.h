#pragma once
// What the player shows when the user changes the selection of the recording list: the focused
// recording's downloaded IM2 file when it holds data pages, otherwise nothing loaded but the time
// ruler spanning the recording as the recorder holds it; with no row selected, nothing at all.
#include <cstdint>
#include <ctime>
#include <filesystem>
#include <optional>
#include <string>

#include "operations/ListReplies.h"

namespace recdesk::operations {

class RecordingList;

struct SelectionPlayerView {
  enum class Action {
    Keep,   // the player keeps what it has
    Load,   // close the player's file and load `im2`
    Empty,  // close the player's file; the ruler spans the focused recording (`spanStart` …)
    Clear,  // no row selected: close the player's file, clear the ruler
  };
  Action action = Action::Keep;
  std::filesystem::path im2;  // Load: the file; Empty: where its file would be (the player's tooltip)
  std::optional<std::time_t> spanStart;
  std::time_t spanEnd = 0;
};

struct SelectionPlayerFacts {
  std::optional<std::size_t> focused;  // the row holding the focus mark
  bool downloadsAllowed = true;        // the access restrictions allow downloads
  bool downloading = false;
  std::string shownPath;               // what the player has loaded ("" none)
};

// After a selection change: with no row selected the player is cleared. Otherwise, when downloads
// are allowed, no download runs and the focused row is selected, its IM2 file (the exact name for
// the prefix) is loaded when it holds data pages of this recording, unless it is the file shown;
// when it holds none the player is emptied and the ruler spans the recording. Anything else keeps.
SelectionPlayerView playerForSelection(const RecordingList& list, const FileNaming& naming,
                                       const SelectionPlayerFacts& facts);

}  // namespace recdesk::operations
