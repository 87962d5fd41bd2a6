// The session as front ends see it: one snapshot of the state, sent to observers when it changes,
// and the activities operations report.
#include "ports/UserInterface.h"
#include "session/Host.h"

namespace recdesk::session {

void Host::showStatus(const std::string& text) {
  statusText_ = text;
  ui_.status(text);
  publishState();
}

SessionState Host::state() const {
  SessionState s;
  s.running = flags_.sessionRunning;
  s.connected = flags_.recorderConnected;
  s.linkOpen = link_.isOpen();
  s.downloading = flags_.download;
  s.formatting = flags_.maintenance;
  s.scanning = flags_.scan;
  s.checking = flags_.check;
  s.recording = flags_.recording;
  s.previewing = flags_.sample;
  s.locked = flags_.locked;
  s.timerArmed = timerArmed_;
  s.testMode = flags_.testMode;
  s.querying = querying_;
  s.speedChanging = speedChanging_;
  s.transmitterPresent = transmitterMenu_;
  s.variant = info_.variant;
  s.subModel = info_.subModel;
  s.recorderName = info_.deviceName;
  s.statusText = statusText_;
  s.secondStatus = secondStatus_;
  s.titleSuffix = titleSuffix_;
  return s;
}

void Host::publishState() {
  SessionState now = state();
  if (now == published_) return;
  published_ = std::move(now);
  const SessionState sent = published_;  // an observer may change the state again
  notify([&](SessionObserver& o) { o.onState(sent); });
}

void Host::setActivity(Activity activity, bool on) {
  switch (activity) {
    case Activity::Download: flags_.download = on; break;
    case Activity::Preview: flags_.sample = on; break;
    case Activity::Scan: flags_.scan = on; break;
    case Activity::Check: flags_.check = on; break;
    case Activity::Maintenance:
      if (flags_.maintenance != on) {
        flags_.maintenance = on;
        notify([on](SessionObserver& o) { o.onMaintenance(on); });
      }
      break;
  }
  publishState();
}

void Host::setFirmwareCapability(bool capable) {
  if (info_.firmwareCapability == capable) return;
  info_.firmwareCapability = capable;
  notify([](SessionObserver& o) { o.onInfoChanged(); });
}

}  // namespace recdesk::session
