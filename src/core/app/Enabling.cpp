#include "app/Enabling.h"

#include <array>

namespace recdesk::app {

EnabledSet enabledControls(const EnablingSession& s, const PlayerState& player, const Restrictions& r,
                           const EnabledSet& previous) {
  using C = Control;
  namespace rb = restriction;
  EnabledSet e = previous;
  const auto allowed = [&](std::uint32_t bit) { return r.allowed(bit); };
  const bool busy = s.downloading || s.maintenance || s.recording || s.sampling;

  // Menus. The recorder commands follow one value, some also a restriction bit.
  bool recorderCommands = false;
  if (!s.running) {
    e.set(C::Options, allowed(rb::kOptions));
    e.set(C::DownloadCmd, false);
    e.set(C::Transmitter, false);
  } else if (busy) {
    for (C c : {C::OpenFileCmd, C::Convert, C::Filter, C::Options, C::DownloadCmd, C::Transmitter})
      e.set(c, false);
  } else {
    for (C c : {C::OpenFileCmd, C::Convert, C::Filter}) e.set(c, true);
    e.set(C::Options, allowed(rb::kOptions));
    e.set(C::DownloadCmd, allowed(rb::kDownload) && !s.querying);
    e.set(C::Transmitter, s.transmitterMenu && allowed(rb::kTransmitter) && !s.querying);
    recorderCommands = !s.querying;
  }
  for (C c : {C::ReadList, C::DeviceInfo, C::FlashInfo, C::BadBlockScan, C::Clock})
    e.set(c, recorderCommands);
  e.set(C::TimerProgramme, recorderCommands && allowed(rb::kTimer));
  e.set(C::PasswordReset, recorderCommands && allowed(rb::kPasswordReset));
  e.set(C::FormatCmd, recorderCommands && allowed(rb::kFormat));
  e.set(C::FlashCheck, recorderCommands && allowed(rb::kFormat));
  for (C c : {C::Led1, C::Led2, C::Led3}) e.set(c, recorderCommands && allowed(rb::kLedTests));
  e.set(C::TransmitterMenu, s.transmitterMenu);

  // Buttons.
  if (!s.running) {
    for (C c :
         {C::FormatButton, C::FilePrefix, C::ApplyProfile, C::DownloadButton, C::RecordStart, C::RecordStop})
      e.set(c, false);
    e.set(C::ProfileDropDown, allowed(rb::kProfiles));
    e.set(C::LevelView, player.fileOpen && allowed(rb::kDownload));
  } else if (!s.connected || busy || s.timerArmed) {
    for (C c : {C::FormatButton, C::ApplyProfile, C::FilePrefix, C::OpenFileButton, C::RecordingList,
                C::DownloadButton, C::RecordStart, C::RecordStop, C::LevelView})
      e.set(c, false);
    if (s.downloading)
      e.set(C::DownloadButton, true);  // so that it can be cancelled
    else if (s.recording)
      e.set(C::RecordStop, true);
    e.set(C::ProfileDropDown, !busy && allowed(rb::kProfiles));
  } else if (s.querying) {
    // The recorder still answers the queries that follow its list: what would talk to it waits;
    // the list itself can be worked with.
    for (C c : {C::FormatButton, C::ApplyProfile, C::DownloadButton, C::RecordStart, C::RecordStop, C::LevelView})
      e.set(c, false);
    for (C c : {C::FilePrefix, C::OpenFileButton, C::RecordingList}) e.set(c, true);
    e.set(C::ProfileDropDown, allowed(rb::kProfiles));
  } else {
    e.set(C::TestModeOff, s.testMode);
    e.set(C::FormatButton, allowed(rb::kFormat));
    for (C c : {C::FilePrefix, C::OpenFileButton, C::RecordingList, C::RecordStart}) e.set(c, true);
    e.set(C::RecordStop, false);
    e.set(C::ApplyProfile, allowed(rb::kProfiles));
    e.set(C::ProfileDropDown, allowed(rb::kProfiles));
    e.set(C::DownloadButton, s.recordingsSelected && allowed(rb::kDownload));
    e.set(C::LevelView, s.recordingsSelected && allowed(rb::kDownload));
  }

  // In every state.
  e.set(C::ProfileEditor, allowed(rb::kProfileEditor));
  e.set(C::RestrictionsCmd, true);

  // The reduced recorder has no profile editor, restrictions, timer programme, password reset or
  // diagnostics.
  if (s.reducedVariant) {
    for (C c :
         {C::ProfileEditor, C::RestrictionsCmd, C::TimerProgramme, C::PasswordReset, C::DiagnosticsMenu})
      e.set(c, false);
  } else {
    e.set(C::DiagnosticsMenu, true);
  }

  // The player: the bar serves an open file while no level preview runs; the open-file button rests
  // while a file plays.
  if (player.fileOpen && !s.sampling && allowed(rb::kDownload)) e.set(C::LevelView, true);
  if (player.playing)
    e.set(C::OpenFileButton, false);
  else if (!s.running)
    e.set(C::OpenFileButton, true);  // back once the file stops, with no session to say otherwise
  e.set(C::Play, player.fileOpen && !player.playing);
  e.set(C::Pause, player.playing);
  e.set(C::StopPlayback, player.playing || player.paused);
  return e;
}

bool recorderWindowsEnabled(const EnablingSession& s) {
  return s.running && s.connected && !s.speedChanging;
}

const char* controlName(Control c) {
  static const std::array<const char*, kControlCount> names{"options",
                                                            "profile-editor",
                                                            "restrictions",
                                                            "list",
                                                            "device-info",
                                                            "flash-info",
                                                            "bad-block-scan",
                                                            "clock",
                                                            "timer",
                                                            "password-reset",
                                                            "format",
                                                            "flash-check",
                                                            "led-1",
                                                            "led-2",
                                                            "led-3",
                                                            "test-mode-off",
                                                            "transmitter",
                                                            "transmitter-menu",
                                                            "diagnostics-menu",
                                                            "download",
                                                            "open-file",
                                                            "convert",
                                                            "filter",
                                                            "format-button",
                                                            "file-prefix",
                                                            "apply-profile",
                                                            "profile-choice",
                                                            "download-button",
                                                            "record-start",
                                                            "record-stop",
                                                            "open-file-button",
                                                            "recording-list",
                                                            "level-view",
                                                            "play",
                                                            "pause",
                                                            "stop"};
  const auto i = static_cast<std::size_t>(c);
  return i < names.size() ? names[i] : "";
}

}  // namespace recdesk::app
