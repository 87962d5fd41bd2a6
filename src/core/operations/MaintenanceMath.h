#pragma once
// The maintenance operations' pure decisions: the flash check's progress from its position lines (two
// shapes), the device information read from the version text, and the LED mode of its reply.
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace recdesk::operations {

// The flash check as a progress window shows it: "<pass> of <passes>", a bar from 0 to `total` at
// `position`, and the time left.
struct CheckProgress {
  int pass = 0;             // 0 until the first position line
  int passes = 0;
  std::uint32_t position = 0;
  std::uint32_t total = 0;  // 0 while unknown
  // The recorder's estimate as the check window shows it: elapsed ms / done * left / 36000. Unknown
  // before anything is done.
  std::optional<double> estimate;
  // The same estimate in seconds, for front ends that show a time.
  std::optional<double> secondsLeft;
  bool operator==(const CheckProgress&) const = default;
};

// Follows the position lines of one flash check. The recorder reports either
// "$R5,MSG,CHK,POS,<pass>,<passes>,<position>,<total>" (more than six fields) or
// "$R5,MSG,CHK,POS,<amount left>" (six fields or fewer).
class CheckTracker {
 public:
  // A "START" reply: the pass and the total are forgotten; `nowMs` starts the clock.
  void start(std::int64_t nowMs);
  // A "POS" reply at `nowMs`; returns the progress to show.
  const CheckProgress& position(std::string_view line, std::int64_t nowMs);
  const CheckProgress& progress() const { return progress_; }

 private:
  void estimate(std::int64_t nowMs, std::uint32_t done, std::uint32_t left);
  CheckProgress progress_;
  std::int64_t startMs_ = 0;
  bool totalKnown_ = false;
};

// The smallest power of two not below `amount` (1 for 0), saturating at 2^31.
std::uint32_t powerOfTwoAtLeast(std::uint32_t amount);

// The device information box: firmware (first comma field of the version text), hardware (second)
// and its date (third), and the box's text "    Firmware: <f> \r\n\r\nHardware: <h>, <d>".
struct DeviceInformation {
  std::string firmware;
  std::string hardware;
  std::string date;
  std::string text;
};
DeviceInformation deviceInformation(std::string_view versionText);

// The recorder's answer to a bad-block scan ("$R5,MSG,BAD,END,<bad blocks>").
struct BadBlockScanResult {
  long badBlocks = 0;
  std::uint32_t totalBlocks = 0;  // of the flash, from its identification; 0 when unknown
  std::optional<double> percent;  // bad blocks * 100 / total blocks, when the total is known
  std::string text;               // what the user is shown ("Bad blocks found: 41 ... 0.50%")
};
BadBlockScanResult readBadBlockScanEnd(const std::string& line, std::uint32_t totalBlocks);

// The line that sets the recording type: for the reduced recorder variant "$R5,TYP,<NAME>" (the
// profile's name in capitals, each blank "_"), otherwise "$R5,TYP,<rate>,<bits>,<channels>,OFF,<gain>".
struct RecordingTypeChoice {
  std::string profileName;
  long sampleRate = 0;
  int bits = 0;
  int channels = 0;
  int gain = 0;
};
std::string recordingTypeLine(bool reducedVariant, const RecordingTypeChoice& choice);

// The LED mode of "$R5,ACK,LED,<n>": 1, 2 or 3, nothing for any other value.
std::optional<int> ledModeOfReply(std::string_view line);

}  // namespace recdesk::operations
