#pragma once
// Which commands and buttons are enabled: one pure function of the session, the player and the access
// restrictions, which every front end draws.
#include <bitset>
#include <cstddef>
#include <cstdint>

#include "app/Restrictions.h"

namespace recdesk::app {

// Every command and button whose enabling follows the session (menu command or control identifier
// beside each).
enum class Control : std::size_t {
  // Menu commands
  Options,          // 32771
  ProfileEditor,    // 32803
  RestrictionsCmd,  // 32820
  ReadList,         // 32811
  DeviceInfo,       // 32781
  FlashInfo,        // 32782
  BadBlockScan,     // 32783
  Clock,            // 32777
  TimerProgramme,   // 32785
  PasswordReset,    // 32779
  FormatCmd,        // 32809
  FlashCheck,       // 32787
  Led1,             // 32816
  Led2,             // 32817
  Led3,             // 32818
  TestModeOff,      // 32815
  Transmitter,      // 32819
  TransmitterMenu,  // the transmitter's top-level menu
  DiagnosticsMenu,  // the diagnostics submenu
  DownloadCmd,      // 32808
  OpenFileCmd,      // 57601
  Convert,          // 32775
  Filter,           // 32778
  // Buttons and controls
  FormatButton,     // 1002
  FilePrefix,       // 1015
  ApplyProfile,     // 1144
  ProfileDropDown,  // 1055
  DownloadButton,   // 1020 (also cancels a running download)
  RecordStart,      // 1004
  RecordStop,       // 1009
  OpenFileButton,   // 1014
  RecordingList,    // 1132
  LevelView,        // 1073 (playback bar and level preview)
  Play,             // 1003
  Pause,            // 1018
  StopPlayback,     // 1005
  Count
};
inline constexpr std::size_t kControlCount = static_cast<std::size_t>(Control::Count);

class EnabledSet {
 public:
  bool operator[](Control c) const { return bits_[static_cast<std::size_t>(c)]; }
  void set(Control c, bool on) { bits_[static_cast<std::size_t>(c)] = on; }
  bool operator==(const EnabledSet&) const = default;
  // Everything enabled: how the menus and buttons start.
  static EnabledSet all() {
    EnabledSet s;
    s.bits_.set();
    return s;
  }

 private:
  std::bitset<kControlCount> bits_;
};

// The session as enabling sees it.
struct EnablingSession {
  bool running = false;    // the session with the recorder is established
  bool connected = false;  // the recorder answers
  bool downloading = false;
  bool maintenance = false;     // a format, flash check or bad-block scan
  bool recording = false;       // the recorder records
  bool sampling = false;        // a level preview fetches pages
  bool timerArmed = false;      // the recorder runs its timer or waits for its PIN
  bool testMode = false;        // the recorder reported its test mode
  bool querying = false;        // the queries after the list await an answer: nothing else is sent
  bool speedChanging = false;   // the link speed is being agreed: what is sent now would be lost
  bool reducedVariant = false;  // the reduced recorder: no profile editor, restrictions, timer, diagnostics
  bool transmitterMenu = true;  // the transmitter menu's flag
  bool recordingsSelected = false;  // at least one row of the recording list is selected
};

// The player as enabling sees it (a plain copy of the playback engine's state).
struct PlayerState {
  bool fileOpen = false;
  bool playing = false;
  bool paused = false;
};

// The enabled set for a state. Items the rules leave as they are in some states (open file, convert,
// filter and test mode) keep their value from `previous`.
EnabledSet enabledControls(const EnablingSession& session, const PlayerState& player,
                           const Restrictions& restrictions, const EnabledSet& previous = EnabledSet::all());

// Whether the windows that talk to the recorder (transmitter, password, PIN, maintenance progress) take
// input: only with the recorder connected and its link speed agreed.
bool recorderWindowsEnabled(const EnablingSession& session);

// The name of a control (command-line use, e.g. "download").
const char* controlName(Control c);

}  // namespace recdesk::app
