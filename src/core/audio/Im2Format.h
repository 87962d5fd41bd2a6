#pragma once
// The IM2 recording format: 528-byte flash pages (512 scrambled payload bytes and a 16-byte trailer),
// the trailer's fields, the page check, the packed start time and the format/encoding bytes.
//
// An IM2 file is (N + 1) pages: first a copy of the recording's last page (the header page, only its
// trailer is read), then data pages 0 .. N - 1. N = header page number + 1.
#include <array>
#include <compare>
#include <cstddef>
#include <cstdint>
#include <ctime>
#include <optional>
#include <string>

#include "FlashPage.h"

namespace recdesk::audio {

inline constexpr std::size_t kPayloadSize = 512;
// The largest output of one page: 1021 16-bit samples (4-bit mono), or 1023 8-bit samples.
inline constexpr std::size_t kMaxPageOutput = 2042;
// Output buffers handed to the decoder must hold at least this many bytes.
inline constexpr std::size_t kPageOutputBuffer = 2048;

// Trailer offsets within a page.
inline constexpr std::size_t kOffFileNumber = 512;  // u16 LE
inline constexpr std::size_t kOffSerial = 514;      // u16 LE
inline constexpr std::size_t kOffStartTime = 516;   // u32 LE, packed
inline constexpr std::size_t kOffPageNumber = 520;  // s32 LE
inline constexpr std::size_t kOffFormat = 524;      // rate index bits 0-1, bits index 2-4, channel index bit 5
inline constexpr std::size_t kOffEncoding = 525;    // encoding bits 0-4, device family bits 5-7
inline constexpr std::size_t kOffReserved = 526;
inline constexpr std::size_t kOffCheck = 527;

// Result flags of a decoded page; 0 means sound. Bit 31 accompanies every other bit.
inline constexpr std::uint32_t kFlagSerial = 0x80000001u;
inline constexpr std::uint32_t kFlagFileNumber = 0x80000002u;
inline constexpr std::uint32_t kFlagPageNumber = 0x80000004u;
inline constexpr std::uint32_t kFlagCheck = 0x80000008u;
inline constexpr std::uint32_t kFlagStartTime = 0x80000010u;

// Encodings (encoding byte bits 0-4).
inline constexpr int kEncodingDifference = 3;  // difference table
inline constexpr int kEncodingAdaptive = 4;    // adaptive step
inline constexpr int kEncodingPrediction8 = 5; // 8-bit output: prediction at 4 bits, plain PCM at 8 bits
inline constexpr int kEncodingPrediction = 6;  // adaptive prediction with step sizes
inline constexpr int kEncodingContainer = 31;  // payload is a stream of inner pages

// Device families (encoding byte bits 5-7) with a name.
inline constexpr int kFamilyR5 = 0;
inline constexpr int kFamilyR6 = 1;
inline constexpr int kFamilyT7 = 2;

// Sample rates, encoded bits and channels by index of the format byte.
inline constexpr std::array<std::uint32_t, 4> kRateByIndex{8000, 11025, 16000, 22050};
inline constexpr std::array<int, 4> kBitsByIndex{4, 8, 16, 16};  // indices 4-7 are not defined
inline constexpr std::array<int, 2> kChannelsByIndex{1, 2};

// The check byte a page should carry: 8-bit sum of bytes 0..526 plus the XOR of bytes 512..524.
std::uint8_t pageCheckByte(const std::uint8_t* page);
inline bool pageCheckOk(const std::uint8_t* page) { return pageCheckByte(page) == page[kOffCheck]; }
// The scrambling key of a page: XOR of trailer bytes 512..524.
std::uint8_t pageKey(const std::uint8_t* page);

inline std::uint16_t readU16(const std::uint8_t* p) {
  return static_cast<std::uint16_t>(p[0] | (p[1] << 8));
}
inline std::uint32_t readU32(const std::uint8_t* p) {
  return static_cast<std::uint32_t>(p[0]) | (static_cast<std::uint32_t>(p[1]) << 8) |
         (static_cast<std::uint32_t>(p[2]) << 16) | (static_cast<std::uint32_t>(p[3]) << 24);
}
inline std::int32_t readS32(const std::uint8_t* p) { return static_cast<std::int32_t>(readU32(p)); }
inline void writeU16(std::uint8_t* p, std::uint16_t v) {
  p[0] = static_cast<std::uint8_t>(v);
  p[1] = static_cast<std::uint8_t>(v >> 8);
}
inline void writeU32(std::uint8_t* p, std::uint32_t v) {
  for (int i = 0; i < 4; ++i) p[i] = static_cast<std::uint8_t>(v >> (8 * i));
}

// A local wall-clock date and time with one-second resolution: the recordings' start times, the
// recorder's clock and the recording list's dates. All zero is the null date. Values order by
// date, then time.
struct DateTime {
  int year = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0;
  bool isNull() const { return year == 0 && month == 0 && day == 0 && hour == 0 && minute == 0 && second == 0; }
  // A real calendar date (years 1 to 9999) with a time of day.
  bool isCalendarDate() const;
  // A real calendar date (year 1900 or later) with a time of day.
  bool valid() const;
  // Seconds since the epoch when this local time is read with the computer's time zone.
  std::optional<std::time_t> toTime() const;
  // strftime-style text ("%a, %d %b %Y, %H:%M:%S "); empty when this is not a calendar date.
  std::string format(const char* pattern) const;
  auto operator<=>(const DateTime&) const = default;
};

// Unpacks a start time (bits 26-31 year - 2000, 22-25 month, 17-21 day, 12-16 hour, 6-11 minute,
// 0-5 second). A month outside 1..12 or a day of 0 gives the null date.
DateTime unpackStartTime(std::uint32_t packed);
// Packs a date and time (fields are masked to their widths; the year is taken modulo 64 from 2000).
std::uint32_t packStartTime(const DateTime& t);
// The date and time `seconds` later (or earlier); the null date stays null.
DateTime addSeconds(const DateTime& t, std::int64_t seconds);
// "%Y/%m/%d %H:%M:%S" ("0000/00/00 00:00:00" for the null date).
std::string formatDateTime(const DateTime& t);

// The device name of a family and serial number: "R5-%05u", "R6-%05u", "T7-%05u"; empty for
// families 3 to 7 (no name is formed).
std::string deviceNameFor(int family, std::uint32_t serial);

// `samples per page` for encoded bits and channels: 256 / ch at 16 bits, otherwise
// ((256 - ch) * 16 / bits / ch) + 1. Used for every time computation.
std::uint32_t samplesPerPage(int encodedBits, int channels);

}  // namespace recdesk::audio
