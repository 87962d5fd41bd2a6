#include "InterimEnabling.h"

#include "session/SessionInfo.h"

namespace recdesk::gui {

EnabledSet interimEnabling(const session::SessionState& s, const WindowFacts& facts) {
  EnabledSet e;
  const bool busy = s.downloading || s.formatting || s.scanning || s.checking || s.recording || s.previewing;
  const bool idle = s.running && s.connected && !busy && !s.timerArmed && !s.locked;
  const bool recorderOn = s.running && !busy;
  for (Command c : {Command::ReadList, Command::DeviceInfo, Command::FlashInfo, Command::BadBlockScan,
                    Command::Clock, Command::TimerProgramme, Command::ResetPassword, Command::Format,
                    Command::FlashCheck, Command::Led1, Command::Led2, Command::Led3})
    e[number(c)] = recorderOn;
  e[number(Command::TestModeOff)] = idle && s.testMode;
  e[number(Command::Transmitter)] = recorderOn && s.transmitterPresent;
  e[number(Command::Download)] = idle && facts.anySelected;
  for (Command c : {Command::OpenFile, Command::Convert, Command::Filter, Command::Options})
    e[number(c)] = !(s.running && busy);
  e[number(Command::Profiles)] = true;
  e[number(Command::Restrictions)] = true;

  for (Control c : {Control::Format, Control::ApplyProfile, Control::Prefix, Control::OpenFile, Control::RecordingList,
                    Control::RecordStart})
    e[number(c)] = idle;
  e[number(Control::OpenFile)] = !busy;
  e[number(Control::RecordingList)] = s.connected && !busy;
  e[number(Control::Download)] = (idle && facts.anySelected) || s.downloading;
  e[number(Control::RecordStop)] = s.connected && s.recording;
  e[number(Control::ProfileChoice)] = !busy;
  e[number(Control::Waveform)] = idle ? facts.anySelected : facts.playbackOpen;
  return e;
}

}  // namespace recdesk::gui
