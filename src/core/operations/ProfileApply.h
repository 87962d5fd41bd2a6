#pragma once
// Device profiles meet the session: which device is connected, the recording-type line that applies
// the selected profile, and the profile the recorder's type reply selects.
#include <string>

#include "app/Enabling.h"
#include "app/ProfileStore.h"
#include "session/Host.h"

namespace recdesk::operations {

// The connected device as the profiles need it: its type from the version reply, the reduced variant
// and its variant number from the presence line.
app::ConnectedDevice connectedDevice(const session::Host& host);

// Sends the selected profile's recording-type line (logged first); the reply selects the profile the
// recorder now uses (selectFromTypeReply). False, sending nothing, without a recorder or a selection.
bool applySelectedProfile(session::Host& host, const app::ProfileStore& store);

// The type reply: the reduced recorder names its profile, the others report four numbers.
void selectFromTypeReply(app::ProfileStore& store, const session::RecordingType& type, bool reducedVariant);

// The session's part of the enabling input.
app::EnablingSession enablingSession(const session::Host& host, bool recordingsSelected);

}  // namespace recdesk::operations
