#pragma once
// The main window's commands (menu items) and controls by their fixed numbers, and the set of them
// that is enabled. The enabling decision is the core's; the window only applies an EnabledSet.
#include <map>

namespace recdesk::gui {

enum class Command : int {
  ReadList = 32811,
  Format = 32809,
  Download = 32808,
  OpenFile = 57601,
  Convert = 32775,
  Filter = 32778,
  Guide = 57666,
  About = 57664,
  Options = 32771,
  CommsLog = 32774,
  Profiles = 32803,
  Clock = 32777,
  TimerProgramme = 32785,
  ResetPassword = 32779,
  DeviceInfo = 32781,
  FlashInfo = 32782,
  BadBlockScan = 32783,
  AdapterInfo = 32786,
  FlashCheck = 32787,
  TestModeOff = 32815,
  Led1 = 32816,
  Led2 = 32817,
  Led3 = 32818,
  Transmitter = 32819,
  Restrictions = 32820,
};

enum class Control : int {
  RecordingList = 1132,
  Summary = 1151,
  Ruler = 1152,
  Waveform = 1073,
  ProfileChoice = 1055,
  ProfileName = 1147,
  ApplyProfile = 1144,
  Download = 1020,
  Format = 1002,
  RecordStart = 1004,
  RecordStop = 1009,
  Play = 1003,
  Pause = 1018,
  Stop = 1005,
  OpenFile = 1014,
  Prefix = 1015,
  RecorderName = 1145,
  FilePath = 1146,
  Status = 1037,
  SecondStatus = 1049,
  RecordingTime = 1061,
};

// The submenus that are switched as a whole (their items keep their own state), by numbers below
// every command's.
enum class Menu : int {
  Diagnostics = -1,
  Transmitter = -2,
};

// Command or control number -> enabled. Numbers not in the set keep their state.
using EnabledSet = std::map<int, bool>;

inline int number(Command c) { return static_cast<int>(c); }
inline int number(Control c) { return static_cast<int>(c); }
inline int number(Menu m) { return static_cast<int>(m); }

}  // namespace recdesk::gui
