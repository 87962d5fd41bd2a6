#include "operations/OptionsApply.h"

#include "app/OptionsModel.h"
#include "app/SettingsFile.h"
#include "lang/Strings.h"
#include "operations/ProfileApply.h"
#include "session/Host.h"

namespace recdesk::operations {

OptionsApplied applyOptions(session::Host* host, app::Settings& settings, app::SettingsFile& file,
                            const app::Settings& result, app::ProfileStore* store) {
  OptionsApplied out;
  std::string error;
  if (!app::writeOptionsResult(file, result, &error)) out.error = error;

  const bool connected = host != nullptr && host->flags().recorderConnected;
  if (result.port != settings.port) {
    out.portChanged = true;
    settings.port = result.port;
    settings.baud = result.baud;
    if (host != nullptr) {
      host->sessionReset();
      host->closeLink();
      host->stopTimer(session::kTimerKeepAlive);
      host->connectAttempt();
    }
    out.linkWritten = app::saveLink(file, settings.port, settings.baud, &error);
    if (!out.linkWritten) out.error = error;
  } else if (result.baud != settings.baud) {
    settings.baud = result.baud;
    if (connected) {
      host->stopTimer(session::kTimerKeepAlive);
      host->log(" " + lang::text(TextId::ChangingLinkSpeed) + "\r\n");
      host->setSaveSpeedPending(true);
      host->sendLine(lang::formatText("$R5,COM,%ld\r\n", {static_cast<long>(settings.baud)}), true);
      out.speedRequested = true;
    } else {
      out.linkWritten = app::saveLink(file, settings.port, settings.baud, &error);
      if (!out.linkWritten) out.error = error;
    }
  }

  settings.acceleration = result.acceleration;
  settings.profileIni = result.profileIni;
  settings.downloadFolder = result.downloadFolder;
  settings.decryptFolder = result.decryptFolder;
  settings.autoDecrypt = result.autoDecrypt;
  settings.waveCutTime = result.waveCutTime;
  settings.waveCutSize = result.waveCutSize;

  if (store != nullptr) {
    const auto remembered = store->valuesNamed(store->selectedName());
    const app::ConnectedDevice device = host ? connectedDevice(*host) : app::ConnectedDevice{};
    store->load(file, settings.profileIni, device);
    store->reselectAfterOptions(remembered, device.connected);
  }
  return out;
}

}  // namespace recdesk::operations
