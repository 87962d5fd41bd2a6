#include "session/Protocol.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <limits>

namespace recdesk::session {

std::string field(std::string_view line, int n) {
  // Position just after the k-th comma (k = |n|); npos when the line has fewer commas.
  const long long wanted = n < 0 ? -static_cast<long long>(n) : n;
  std::size_t start = 0;
  for (long long k = 0; k < wanted; ++k) {
    const std::size_t comma = line.find(',', start);
    if (comma == std::string_view::npos) return {};
    start = comma + 1;
  }
  if (n < 0) return std::string(line.substr(start));
  const std::size_t end = line.find(',', start);
  return std::string(line.substr(start, end == std::string_view::npos ? std::string_view::npos : end - start));
}

long long leadingNumber(std::string_view text) {
  std::size_t i = 0;
  while (i < text.size() && std::isspace(static_cast<unsigned char>(text[i]))) ++i;
  bool negative = false;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) {
    negative = text[i] == '-';
    ++i;
  }
  constexpr long long kMax = std::numeric_limits<long long>::max();
  long long value = 0;
  for (; i < text.size() && std::isdigit(static_cast<unsigned char>(text[i])); ++i) {
    const int digit = text[i] - '0';
    if (value > (kMax - digit) / 10) {
      value = kMax;
      // Skip the remaining digits.
      continue;
    }
    value = value * 10 + digit;
  }
  return negative ? -value : value;
}

std::optional<std::uint64_t> wholeNumber(std::string_view text) {
  if (text.empty()) return std::nullopt;
  std::uint64_t value = 0;
  for (char c : text) {
    if (c < '0' || c > '9') return std::nullopt;
    const unsigned digit = static_cast<unsigned>(c - '0');
    if (value > (std::numeric_limits<std::uint64_t>::max() - digit) / 10) return std::nullopt;
    value = value * 10 + digit;
  }
  return value;
}

const std::array<ReplyEntry, kReplyCount>& replyTable() {
  static const std::array<ReplyEntry, kReplyCount> table = {{
      {ReplyId::Pong, "$R5,PONG", "presence"},
      {ReplyId::MsgLst, "$R5,MSG,LST", "list record"},
      {ReplyId::AckLst, "$R5,ACK,LST", "list acknowledgement"},
      {ReplyId::MsgRecOff, "$R5,MSG,REC,OFF", "recording ended"},
      {ReplyId::AckChk, "$R5,ACK,CHK", "flash check"},
      {ReplyId::MsgChk, "$R5,MSG,CHK", "flash check"},
      {ReplyId::AckTyp, "$R5,ACK,TYP", "device type"},
      {ReplyId::AckFree, "$R5,ACK,FREE", "free space"},
      {ReplyId::AckRec, "$R5,ACK,REC", "recording"},
      {ReplyId::NakRecOn, "$R5,NAK,REC,ON", "recording"},
      {ReplyId::AckFmt, "$R5,ACK,FMT", "format"},
      {ReplyId::MsgFmt, "$R5,MSG,FMT", "format"},
      {ReplyId::MsgDnlEnd, "$R5,MSG,DNL,END,", "download end"},
      {ReplyId::MsgDnlCancel, "$R5,MSG,DNL,CANCEL,", "download cancel"},
      {ReplyId::AckDnl, "$R5,ACK,DNL,", "download accepted"},
      {ReplyId::NakDnl, "$R5,NAK,DNL,", "download refused"},
      {ReplyId::MsgSmpEnd, "$R5,MSG,SMP,END,", "sample end"},
      {ReplyId::MsgSmpCancel, "$R5,MSG,SMP,CANCEL,", "sample cancel"},
      {ReplyId::AckSmp, "$R5,ACK,SMP", "sample accepted"},
      {ReplyId::AckPwd, "$R5,ACK,PWD", "password accepted"},
      {ReplyId::NakPwd, "$R5,NAK,PWD", "password refused"},
      {ReplyId::AckLed, "$R5,ACK,LED", "LED"},
      {ReplyId::AckCom, "$R5,ACK,COM", "speed confirmed"},
      {ReplyId::AckPin, "$R5,ACK,PIN", "PIN accepted"},
      {ReplyId::Timer, "$R5,TIMER", "timer armed"},
      {ReplyId::AckTmrOn, "$R5,ACK,TMR,ON", "timer armed"},
      {ReplyId::AckTmrOff, "$R5,ACK,TMR,OFF", "timer disarmed"},
      {ReplyId::AckTmrPgmStart, "$R5,ACK,TMR,PGM,START", "timer programme"},
      {ReplyId::MsgTmrPgmEnd, "$R5,MSG,TMR,PGM,END", "timer programme"},
      {ReplyId::MsgTmrPgm, "$R5,MSG,TMR,PGM", "timer programme"},
      {ReplyId::AckTmrPgm, "$R5,ACK,TMR,PGM", "timer programme"},
      {ReplyId::T7AckTx, "$T7,ACK,TX,", "transmitter"},
      {ReplyId::T7AckScr, "$T7,ACK,SCR,", "transmitter"},
      {ReplyId::T7NakScr, "$T7,NAK,SCR", "transmitter"},
      {ReplyId::T7AckFrq, "$T7,ACK,FRQ,", "transmitter"},
      {ReplyId::T7AckRange, "$T7,ACK,RANGE,", "transmitter"},
      {ReplyId::AckTime, "$R5,ACK,TIME", "clock"},
      {ReplyId::Password, "$R5,PASSWORD", "password prompt"},
      {ReplyId::AckVer, "$R5,ACK,VER", "version"},
      {ReplyId::AckBad, "$R5,ACK,BAD", "bad-block scan"},
      {ReplyId::MsgBadEnd, "$R5,MSG,BAD,END", "bad-block scan"},
      {ReplyId::MsgBad, "$R5,MSG,BAD", "bad-block scan"},
      {ReplyId::AckFlash, "$R5,ACK,FLASH", "flash identification"},
      {ReplyId::AckTst0, "$R5,ACK,TST,0", "test"},
      {ReplyId::AckTstOff, "$R5,ACK,TST,OFF", "test"},
      {ReplyId::NakTst, "$R5,NAK,TST,", "test"},
      {ReplyId::T7NakFrq, "$T7,NAK,FRQ,", "transmitter"},
      {ReplyId::Ready, "$R5,READY,", "presence"},
      {ReplyId::T7Ready, "$T7,READY,", "transmitter presence"},
  }};
  return table;
}

std::optional<ReplyId> matchReply(std::string_view line) {
  for (const auto& entry : replyTable())
    if (contains(line, entry.prefix)) return entry.id;
  return std::nullopt;
}

bool sentLineIsLogged(std::string_view line) {
  return !contains(line, "PING") && !contains(line, "RB5RB5") && !contains(line, "PWD");
}

bool receivedLineIsLogged(std::string_view line) {
  return !contains(line, "$R5,PONG") && !contains(line, "$R5,TIMER") && !contains(line, "$R5,PASSWORD") &&
         !contains(line, "PWD");
}

namespace {

void appendEscaped(std::string& out, unsigned char c) {
  static constexpr char kHex[] = "0123456789abcdef";
  out += "\\x";
  out.push_back(kHex[c >> 4]);
  out.push_back(kHex[c & 0x0F]);
}

bool keptInLog(unsigned char c) { return (c >= 0x20 && c != 0x7F) || c == '\t' || c == '\r' || c == '\n'; }

template <typename KeepRaw>
std::string escapeUnless(std::string_view text, KeepRaw keepRaw) {
  std::string out;
  out.reserve(text.size());
  for (const char ch : text) {
    const auto c = static_cast<unsigned char>(ch);
    if (keepRaw(c))
      out.push_back(ch);
    else
      appendEscaped(out, c);
  }
  return out;
}

}  // namespace

std::string visibleText(std::string_view deviceText) {
  return escapeUnless(deviceText, [](unsigned char c) { return c >= 0x20 && c < 0x7F; });
}

std::string visibleLogText(std::string_view logText) { return escapeUnless(logText, keptInLog); }

bool logTextVisible(std::string_view logText) {
  return std::all_of(logText.begin(), logText.end(), [](char c) { return keptInLog(static_cast<unsigned char>(c)); });
}

namespace cmd {
std::string linkSpeed(long speed) {
  char buffer[48];
  std::snprintf(buffer, sizeof buffer, "$R5,COM,%ld\r\n", speed);
  return buffer;
}
}  // namespace cmd

}  // namespace recdesk::session
