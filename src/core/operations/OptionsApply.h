#pragma once
// What the Options' OK changes in the running program: the keys of the Options are written; a new
// port restarts the session there and writes "Port" and "Baud"; a new speed alone is asked of the
// recorder ("$R5,COM,…"), and both keys are written when it confirms; then the block size, folders,
// conversion and cut values are taken, the profiles reloaded and the recorder's profile selected again.
#include <string>

#include "app/ProfileStore.h"
#include "app/Settings.h"

namespace recdesk::app {
class SettingsFile;
}
namespace recdesk::session {
class Host;
}

namespace recdesk::operations {

struct OptionsApplied {
  bool portChanged = false;
  bool speedRequested = false;  // "$R5,COM,…" sent: the keys follow the recorder's confirmation
  bool linkWritten = false;     // "Port" and "Baud" written now
  std::string error;            // a settings write that failed (the values are in use all the same)
};

// `host` may be null (no session: a new speed is written at once, there is no recorder to ask);
// `store` may be null (no profiles shown).
OptionsApplied applyOptions(session::Host* host, app::Settings& settings, app::SettingsFile& file,
                            const app::Settings& result, app::ProfileStore* store);

}  // namespace recdesk::operations
