#pragma once
// Pure readers of the replies of the connection's query chain (version, list acknowledgement, device
// type, flash identification, free space, clock). Every input is the recorder's and untrusted: the
// readers never fail hard, they report what they could read.
#include <array>
#include <cstdint>
#include <ctime>
#include <optional>
#include <string>
#include <string_view>

#include "audio/Im2Format.h"

namespace recdesk::session {

// The `firmware capability` of a version text: 1 when the firmware knows the extended password digits.
//   "R5 <major>.<minor>.<patch><letter>": major >= 1, or minor >= 5, or patch >= 1, or letter >= 'f'
//     (a missing patch counts as 1, a missing letter as 'z'; the "letter" is any character right
//     after the patch number, so "0.4.0,HW 3" has the letter "," and is not capable);
//   "R6 <real>": the number is at least 0.018;
//   otherwise: the text begins "T7".
bool firmwareCapability(std::string_view versionText);

// "$R5,ACK,LST,<name>,<count>": the device name (a name without "-" gets "R5-" in front) and the
// number of recordings. Nothing when the two fields cannot be read. The name is cut to kMaxDeviceName.
struct ListAck {
  std::string deviceName;
  std::uint16_t count = 0;
};
inline constexpr std::size_t kMaxDeviceName = 64;
std::optional<ListAck> parseListAck(std::string_view line);

// The model code of a device name: the part before the first "-" ("R5-1234" -> "R5").
std::string modelOfDeviceName(std::string_view deviceName);

// "$R5,ACK,TYP,<rate>,<bits>,<channels>,OFF,<gain>" (or a profile name for the reduced recorder).
struct RecordingType {
  std::string text;         // everything after "$R5,ACK,TYP,"
  std::uint32_t sampleRate = 0;
  std::uint32_t bits = 0;
  std::uint32_t channels = 0;
  std::int32_t gain = 0;
  bool numeric = false;     // the four numbers were read
};
RecordingType parseRecordingType(std::string_view line);

// "$R5,ACK,FLASH,BANK 1,<dev>,<maker>,BANK 2,…" (hexadecimal codes, up to four banks).
struct FlashInfo {
  int banksRead = 0;
  std::array<std::uint8_t, 4> device{};
  std::array<std::uint8_t, 4> maker{};
  std::uint8_t deviceCodes = 0;  // the codes of all banks read, OR-ed
  std::uint8_t makerCodes = 0;
  std::uint32_t sizeMb = 0;      // summed over the banks found in the chip table
  std::uint32_t totalBlocks = 0;
};
FlashInfo parseFlashReply(std::string_view line);
// The chip table: size in MB and blocks of a (device, maker) pair; {0, 0} when unknown.
struct ChipSize {
  std::uint32_t sizeMb = 0;
  std::uint32_t blocks = 0;
};
ChipSize flashChip(std::uint8_t device, std::uint8_t maker);

// Seconds of recording that fit in `freePages` 512-byte pages with `bits` bits, `channels` channels
// at `sampleRate` Hz; nothing when the values cannot describe a recording.
std::optional<std::uint64_t> recordingSecondsLeft(std::uint64_t freePages, std::uint32_t bits,
                                                  std::uint32_t channels, std::uint32_t sampleRate);

// A calendar date-time of the recorder (local wall-clock, one-second resolution).
using DateTime = audio::DateTime;
// "YYYY-MM-DD HH:MM:SS".
std::string clockText(const DateTime& t);
// "$R5,ACK,TIME,<YYYYMMDD>,<HHMMSS>": each piece read from its leading digits (none gives 0).
DateTime parseClockReply(std::string_view line);

}  // namespace recdesk::session
