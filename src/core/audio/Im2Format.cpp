#include "audio/Im2Format.h"

#include <chrono>
#include <cstdio>

namespace recdesk::audio {

std::uint8_t pageKey(const std::uint8_t* page) {
  std::uint8_t key = 0;
  for (std::size_t i = kOffFileNumber; i <= kOffFormat; ++i) key ^= page[i];
  return key;
}

std::uint8_t pageCheckByte(const std::uint8_t* page) {
  unsigned sum = 0;
  for (std::size_t i = 0; i < kOffCheck; ++i) sum += page[i];
  return static_cast<std::uint8_t>(sum + pageKey(page));
}

DateTime unpackStartTime(std::uint32_t packed) {
  DateTime t;
  t.year = 2000 + static_cast<int>(packed >> 26);
  t.month = static_cast<int>((packed >> 22) & 0x0F);
  t.day = static_cast<int>((packed >> 17) & 0x1F);
  t.hour = static_cast<int>((packed >> 12) & 0x1F);
  t.minute = static_cast<int>((packed >> 6) & 0x3F);
  t.second = static_cast<int>(packed & 0x3F);
  if (t.month < 1 || t.month > 12 || t.day == 0) return DateTime{};
  return t;
}

std::uint32_t packStartTime(const DateTime& t) {
  const auto field = [](int v, unsigned bits) { return static_cast<std::uint32_t>(v) & ((1u << bits) - 1u); };
  return (field(t.year - 2000, 6) << 26) | (field(t.month, 4) << 22) | (field(t.day, 5) << 17) |
         (field(t.hour, 5) << 12) | (field(t.minute, 6) << 6) | field(t.second, 6);
}

namespace {

// Days since 1970-01-01 of a proleptic Gregorian date, and back.
std::int64_t daysFromCivil(std::int64_t y, unsigned m, unsigned d) {
  y -= m <= 2;
  const std::int64_t era = (y >= 0 ? y : y - 399) / 400;
  const auto yoe = static_cast<unsigned>(y - era * 400);
  const unsigned doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
  const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + static_cast<std::int64_t>(doe) - 719468;
}

void civilFromDays(std::int64_t z, std::int64_t& y, unsigned& m, unsigned& d) {
  z += 719468;
  const std::int64_t era = (z >= 0 ? z : z - 146096) / 146097;
  const auto doe = static_cast<unsigned>(z - era * 146097);
  const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const unsigned mp = (5 * doy + 2) / 153;
  d = doy - (153 * mp + 2) / 5 + 1;
  m = mp < 10 ? mp + 3 : mp - 9;
  y = static_cast<std::int64_t>(yoe) + era * 400 + (m <= 2);
}

// The calendar fields of a C time record; the rest stays zero.
std::tm calendarFields(const DateTime& t) {
  std::tm tm{};
  tm.tm_year = t.year - 1900;
  tm.tm_mon = t.month - 1;
  tm.tm_mday = t.day;
  tm.tm_hour = t.hour;
  tm.tm_min = t.minute;
  tm.tm_sec = t.second;
  return tm;
}

}  // namespace

DateTime addSeconds(const DateTime& t, std::int64_t seconds) {
  if (t.isNull()) return t;
  // Day and time fields outside their ranges (a day 31 in a short month, hour 24..31) roll over.
  std::int64_t total = daysFromCivil(t.year, static_cast<unsigned>(t.month), 1) + (t.day - 1);
  total = total * 86400 + t.hour * 3600 + t.minute * 60 + t.second + seconds;
  std::int64_t days = total / 86400;
  std::int64_t rest = total % 86400;
  if (rest < 0) {
    rest += 86400;
    --days;
  }
  std::int64_t y = 0;
  unsigned m = 0, d = 0;
  civilFromDays(days, y, m, d);
  DateTime out;
  out.year = static_cast<int>(y);
  out.month = static_cast<int>(m);
  out.day = static_cast<int>(d);
  out.hour = static_cast<int>(rest / 3600);
  out.minute = static_cast<int>(rest / 60 % 60);
  out.second = static_cast<int>(rest % 60);
  return out;
}

std::string formatDateTime(const DateTime& t) {
  char buf[64];
  std::snprintf(buf, sizeof buf, "%04d/%02d/%02d %02d:%02d:%02d", t.year, t.month, t.day, t.hour, t.minute,
                t.second);
  return buf;
}

std::string deviceNameFor(int family, std::uint32_t serial) {
  const char* prefix = nullptr;
  switch (family) {
    case kFamilyR5: prefix = "R5-"; break;
    case kFamilyR6: prefix = "R6-"; break;
    case kFamilyT7: prefix = "T7-"; break;
    default: return {};
  }
  char buf[32];
  std::snprintf(buf, sizeof buf, "%s%05u", prefix, static_cast<unsigned>(serial));
  return buf;
}

std::uint32_t samplesPerPage(int encodedBits, int channels) {
  if (channels < 1) channels = 1;
  if (encodedBits == 16) return static_cast<std::uint32_t>(256 / channels);
  if (encodedBits <= 0) encodedBits = 8;
  return static_cast<std::uint32_t>((256 - channels) * 16 / encodedBits / channels + 1);
}

bool DateTime::isCalendarDate() const {
  if (year < 1 || year > 9999 || month < 1 || month > 12 || day < 1 || hour < 0 || hour > 23 || minute < 0 ||
      minute > 59 || second < 0 || second > 59)
    return false;
  const std::chrono::year_month_day ymd{std::chrono::year{year}, std::chrono::month{static_cast<unsigned>(month)},
                                        std::chrono::day{static_cast<unsigned>(day)}};
  return ymd.ok();
}

std::string DateTime::format(const char* pattern) const {
  using namespace std::chrono;
  if (!isCalendarDate()) return {};
  const year_month_day ymd{std::chrono::year{year}, std::chrono::month{static_cast<unsigned>(month)},
                           std::chrono::day{static_cast<unsigned>(day)}};
  const sys_days date{ymd};
  std::tm tm = calendarFields(*this);
  tm.tm_wday = static_cast<int>(weekday{date}.c_encoding());
  tm.tm_yday = static_cast<int>((date - sys_days{ymd.year() / January / 1}).count());
  char buffer[128];
  const std::size_t n = std::strftime(buffer, sizeof buffer, pattern, &tm);
  return std::string(buffer, n);
}

bool DateTime::valid() const {
  if (year < 1900 || month < 1 || month > 12 || day < 1 || hour < 0 || hour > 23 || minute < 0 || minute > 59 ||
      second < 0 || second > 59)
    return false;
  static constexpr int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  const bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
  const int days = kDays[month - 1] + (month == 2 && leap ? 1 : 0);
  return day <= days;
}

std::optional<std::time_t> DateTime::toTime() const {
  if (!valid()) return std::nullopt;
  std::tm tm = calendarFields(*this);
  tm.tm_isdst = -1;
  const std::time_t t = std::mktime(&tm);
  if (t == static_cast<std::time_t>(-1)) return std::nullopt;
  return t;
}

}  // namespace recdesk::audio
