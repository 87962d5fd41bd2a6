#include "operations/ProfileApply.h"

#include "app/Profile.h"
#include "app/Settings.h"
#include "lang/Strings.h"

namespace recdesk::operations {

app::ConnectedDevice connectedDevice(const session::Host& host) {
  const auto& info = host.info();
  app::ConnectedDevice d;
  d.connected = host.flags().recorderConnected;
  d.type = info.versionKnown ? app::deviceTypeFromText(info.versionText) : app::device_type::kAny;
  d.reduced = info.variant == session::DeviceVariant::Reduced;
  d.subModel = info.subModel;
  return d;
}

bool applySelectedProfile(session::Host& host, const app::ProfileStore& store) {
  const app::DeviceProfile* profile = store.selectedProfile();
  if (!host.flags().recorderConnected || profile == nullptr) return false;
  host.log(" " + lang::text(TextId::SettingRecordingType) + "\r\n");
  return host.sendLine(app::typeLine(*profile, host.info().variant == session::DeviceVariant::Reduced), true);
}

void selectFromTypeReply(app::ProfileStore& store, const session::RecordingType& type, bool reducedVariant) {
  if (reducedVariant) {
    store.selectByName(type.text.substr(0, type.text.find(',')));
    return;
  }
  if (!type.numeric) return;
  const auto clamp16 = [](long long v) {
    return static_cast<std::int16_t>(v < -32768 ? -32768 : v > 32767 ? 32767 : v);
  };
  app::RecordingValues v;
  v.rate = static_cast<std::int32_t>(type.sampleRate > 0x7fffffffu ? 0x7fffffffu : type.sampleRate);
  v.bits = clamp16(type.bits);
  v.channels = clamp16(type.channels);
  v.gain = clamp16(type.gain);
  store.selectBySettings(v);
}

app::EnablingSession enablingSession(const session::Host& host, bool recordingsSelected) {
  const auto& f = host.flags();
  app::EnablingSession s;
  s.running = f.sessionRunning;
  s.connected = f.recorderConnected;
  s.downloading = f.download;
  s.maintenance = f.maintenance || f.scan || f.check;
  s.recording = f.recording;
  s.sampling = f.sample;
  s.timerArmed = f.locked;
  s.testMode = f.testMode;
  s.speedChanging = host.speedChanging();
  s.reducedVariant = host.info().variant == session::DeviceVariant::Reduced;
  s.transmitterMenu = host.settings().transmitterMenu;
  s.recordingsSelected = recordingsSelected;
  return s;
}

}  // namespace recdesk::operations
