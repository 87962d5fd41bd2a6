#include "window/WindowEnabling.h"

#include "session/SessionInfo.h"

namespace recdesk::gui {

app::EnablingSession enablingSession(const session::SessionState& s, const WindowFacts& facts) {
  app::EnablingSession e;
  e.running = s.running;
  e.connected = s.connected;
  e.downloading = s.downloading;
  e.maintenance = s.formatting || s.scanning || s.checking;
  e.recording = s.recording;
  e.sampling = s.previewing;
  e.timerArmed = s.timerArmed || s.locked;
  e.testMode = s.testMode;
  e.querying = s.querying;
  e.speedChanging = s.speedChanging;
  e.reducedVariant = facts.reducedVariant;
  e.transmitterMenu = facts.transmitterMenu;
  e.recordingsSelected = facts.recordingsSelected;
  return e;
}

int windowNumber(app::Control c) {
  using C = app::Control;
  switch (c) {
    case C::Options: return number(Command::Options);
    case C::ProfileEditor: return number(Command::Profiles);
    case C::RestrictionsCmd: return number(Command::Restrictions);
    case C::ReadList: return number(Command::ReadList);
    case C::DeviceInfo: return number(Command::DeviceInfo);
    case C::FlashInfo: return number(Command::FlashInfo);
    case C::BadBlockScan: return number(Command::BadBlockScan);
    case C::Clock: return number(Command::Clock);
    case C::TimerProgramme: return number(Command::TimerProgramme);
    case C::PasswordReset: return number(Command::ResetPassword);
    case C::FormatCmd: return number(Command::Format);
    case C::FlashCheck: return number(Command::FlashCheck);
    case C::Led1: return number(Command::Led1);
    case C::Led2: return number(Command::Led2);
    case C::Led3: return number(Command::Led3);
    case C::TestModeOff: return number(Command::TestModeOff);
    case C::Transmitter: return number(Command::Transmitter);
    case C::DownloadCmd: return number(Command::Download);
    case C::OpenFileCmd: return number(Command::OpenFile);
    case C::Convert: return number(Command::Convert);
    case C::Filter: return number(Command::Filter);
    case C::FormatButton: return number(Control::Format);
    case C::FilePrefix: return number(Control::Prefix);
    case C::ApplyProfile: return number(Control::ApplyProfile);
    case C::ProfileDropDown: return number(Control::ProfileChoice);
    case C::DownloadButton: return number(Control::Download);
    case C::RecordStart: return number(Control::RecordStart);
    case C::RecordStop: return number(Control::RecordStop);
    case C::OpenFileButton: return number(Control::OpenFile);
    case C::RecordingList: return number(Control::RecordingList);
    case C::LevelView: return number(Control::Waveform);
    case C::Play: return number(Control::Play);
    case C::Pause: return number(Control::Pause);
    case C::StopPlayback: return number(Control::Stop);
    case C::TransmitterMenu: return number(Menu::Transmitter);
    case C::DiagnosticsMenu: return number(Menu::Diagnostics);
    case C::Count: break;
  }
  return 0;
}

EnabledSet windowEnabling(const app::EnabledSet& set) {
  EnabledSet out;
  for (std::size_t i = 0; i < app::kControlCount; ++i) {
    const auto c = static_cast<app::Control>(i);
    if (const int n = windowNumber(c)) out[n] = set[c];
  }
  return out;
}

}  // namespace recdesk::gui
