#pragma once
// What the session knows about the connected device: the flags of the conversation and what the query
// chain after connecting has learned. Plain data, readable by every front end.
#include <cstdint>
#include <ctime>
#include <optional>
#include <string>
#include <vector>

#include "session/Replies.h"

namespace recdesk::session {

struct SessionFlags {
  bool sessionRunning = false;     // the recorder has been met and the session-established step ran
  bool recorderConnected = false;  // as above; a presence line while set does not connect again
  bool recording = false;          // the recorder is recording
  bool maintenance = false;        // a format or flash check is under way
  bool download = false;           // a download is under way (the download's own flag)
  bool sample = false;             // a sample fetch is under way (the level preview's own flag)
  bool locked = false;             // timer armed or password awaited
  bool pingOutstanding = false;    // the line being waited for is a ping
  bool testMode = false;           // the presence line reported the test mode
  bool scan = false;               // a bad-block scan asked for by an operation is under way
  bool check = false;              // a flash check asked for by an operation is under way
};

// What an operation tells the session it is busy with.
enum class Activity { Download, Preview, Scan, Check,
                      Maintenance };  // a format or flash check (the maintenance flag)

// Device variant of the presence line.
enum class DeviceVariant : int { Plain = 0, Transmitter = 1, Reduced = 2 };

// The session as a front end shows it: one snapshot, sent to observers whenever it changes.
struct SessionState {
  bool running = false;     // the session with the recorder is established
  bool connected = false;   // a recorder has answered on this link
  bool linkOpen = false;
  // What the session is busy with.
  bool downloading = false;
  bool formatting = false;  // a format or flash check the recorder reports (it does not say which)
  bool scanning = false;
  bool checking = false;
  bool recording = false;
  bool previewing = false;
  bool locked = false;      // timer armed or password awaited
  bool timerArmed = false;
  bool testMode = false;
  // The queries that follow the recording list (type, flash, free space, clock) await an answer:
  // a command sent now would take the place of that answer.
  bool querying = false;
  // The link speed is being changed (the agreement after connecting, or a new speed asked for): a
  // line sent before the recorder confirms the speed would be lost.
  bool speedChanging = false;
  bool transmitterPresent = false;
  DeviceVariant variant{};
  std::uint16_t subModel = 0;
  std::string recorderName;  // the device name of the recording list
  std::string statusText;    // the main status line
  std::string secondStatus;  // remaining time of a download
  std::string titleSuffix;   // transfer progress
  bool operator==(const SessionState&) const = default;
};

struct SessionInfo {
  // Presence.
  DeviceVariant variant = DeviceVariant::Plain;
  std::uint16_t subModel = 0;       // field 5 of an "R5U" presence line
  bool presenceSeen = false;

  // Link.
  std::uint32_t linkSpeed = 0;      // the speed the link runs at now (bit/s)

  // Version.
  bool versionKnown = false;
  std::string versionText;          // what follows "$R5,ACK,VER," (shown escaped)
  bool firmwareCapability = false;

  // Recording list.
  bool listKnown = false;           // the list acknowledgement came
  bool listComplete = false;        // the list's end line came
  std::string deviceName;           // model code, "-", serial (device text, shown escaped)
  std::string model;                // the part of the device name before "-"
  std::uint16_t listCount = 0;      // the number of recordings the acknowledgement announced
  // Record lines received since the acknowledgement. The lines themselves are not kept: observers
  // (the recording list) take what they need from each as it comes.
  std::size_t listRecords = 0;

  // Device type (recording settings).
  bool typeKnown = false;
  RecordingType type;

  // Flash.
  bool flashKnown = false;
  FlashInfo flash;
  std::string flashText;            // the flash description for the information box

  // Free space.
  bool freeKnown = false;
  std::uint64_t freePages = 0;      // 512-byte pages
  std::optional<std::uint64_t> recordingSecondsLeft;  // with the recorder's current recording type
  std::string recordingTimeText;    // the recording-time line of the main window

  // Clock.
  bool clockKnown = false;
  DateTime recorderClock;
  std::time_t computerTimeAtClock = 0;           // this computer's clock when the reply came
  std::optional<long long> clockDifferenceSeconds;  // recorder − computer, when the reply was a valid time

  // The whole query chain (version, list, type, flash, free space, clock) has been answered.
  bool chainComplete = false;
};

}  // namespace recdesk::session
