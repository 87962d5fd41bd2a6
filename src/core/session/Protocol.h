#pragma once
// The recorder's line protocol: the field accessor, the reply table in its order of testing, and
// the fixed command lines.
//
// A line is "$", a talker ("R5" recorder, "T7" transmitter, "KDC" adapter) and comma-separated
// fields. Lines sent end with "\r\n"; lines received end at "\r".
#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace recdesk::session {

// Field n of a line, counted from 0 at the talker. For n >= 0 the text after the n-th comma up to the
// next comma (or the end); empty when the line has fewer than n commas. For a negative n the whole
// rest of the line after the |n|-th comma, commas included.
std::string field(std::string_view line, int n);

// The leading decimal number of a text (optional blanks and sign, then digits); 0 when there are no
// digits. Saturates instead of overflowing. This is how the recorder's numeric fields are read.
long long leadingNumber(std::string_view text);
// A text that is one whole unsigned decimal number and nothing else (no sign, no blanks).
std::optional<std::uint64_t> wholeNumber(std::string_view text);

inline bool contains(std::string_view text, std::string_view part) {
  return text.find(part) != std::string_view::npos;
}

// The replies the dispatcher recognises, in the order they are tested. A prefix matches when it
// occurs anywhere in the line; the first match wins, so a longer prefix comes before a shorter one
// that it contains.
enum class ReplyId : std::uint8_t {
  Pong,               //  1 "$R5,PONG"                device presence
  MsgLst,             //  2 "$R5,MSG,LST"             list record and list end
  AckLst,             //  3 "$R5,ACK,LST"             list acknowledgement
  MsgRecOff,          //  4 "$R5,MSG,REC,OFF"         recording ended on the recorder
  AckChk,             //  5 "$R5,ACK,CHK"             flash check
  MsgChk,             //  6 "$R5,MSG,CHK"             flash check (same handler)
  AckTyp,             //  7 "$R5,ACK,TYP"             device type
  AckFree,            //  8 "$R5,ACK,FREE"            free space
  AckRec,             //  9 "$R5,ACK,REC"             recording on/off
  NakRecOn,           // 10 "$R5,NAK,REC,ON"          as 9
  AckFmt,             // 11 "$R5,ACK,FMT"             format
  MsgFmt,             // 12 "$R5,MSG,FMT"             format progress and end
  MsgDnlEnd,          // 13 "$R5,MSG,DNL,END,"        end of a download transfer
  MsgDnlCancel,       // 14 "$R5,MSG,DNL,CANCEL,"     download cancel confirmed
  AckDnl,             // 15 "$R5,ACK,DNL,"            download request accepted
  NakDnl,             // 16 "$R5,NAK,DNL,"            download request refused
  MsgSmpEnd,          // 17 "$R5,MSG,SMP,END,"        end of a sample transfer
  MsgSmpCancel,       // 18 "$R5,MSG,SMP,CANCEL,"     sample cancel confirmed
  AckSmp,             // 19 "$R5,ACK,SMP"             sample request accepted
  AckPwd,             // 20 "$R5,ACK,PWD"             password accepted
  NakPwd,             // 21 "$R5,NAK,PWD"             password refused
  AckLed,             // 22 "$R5,ACK,LED"             LED command
  AckCom,             // 23 "$R5,ACK,COM"             link speed confirmed
  AckPin,             // 24 "$R5,ACK,PIN"             PIN accepted: session established
  Timer,              // 25 "$R5,TIMER"               timer armed
  AckTmrOn,           // 26 "$R5,ACK,TMR,ON"          timer armed (same handler)
  AckTmrOff,          // 27 "$R5,ACK,TMR,OFF"         timer disarmed, then session established
  AckTmrPgmStart,     // 28 "$R5,ACK,TMR,PGM,START"   timer programme, argument 0
  MsgTmrPgmEnd,       // 29 "$R5,MSG,TMR,PGM,END"     timer programme, argument 2
  MsgTmrPgm,          // 30 "$R5,MSG,TMR,PGM"         timer programme, argument 1
  AckTmrPgm,          // 31 "$R5,ACK,TMR,PGM"         timer programme, argument 3
  T7AckTx,            // 32 "$T7,ACK,TX,"             transmitter, argument 0
  T7AckScr,           // 33 "$T7,ACK,SCR,"            transmitter, argument 1
  T7NakScr,           // 34 "$T7,NAK,SCR"             transmitter, argument 1
  T7AckFrq,           // 35 "$T7,ACK,FRQ,"            transmitter, argument 2
  T7AckRange,         // 36 "$T7,ACK,RANGE,"          transmitter, argument 3
  AckTime,            // 37 "$R5,ACK,TIME"            clock
  Password,           // 38 "$R5,PASSWORD"            the recorder asks for its password
  AckVer,             // 39 "$R5,ACK,VER"             version
  AckBad,             // 40 "$R5,ACK,BAD"             bad-block scan, argument 0
  MsgBadEnd,          // 41 "$R5,MSG,BAD,END"         bad-block scan, argument 2
  MsgBad,             // 42 "$R5,MSG,BAD"             bad-block scan, argument 1
  AckFlash,           // 43 "$R5,ACK,FLASH"           flash identification
  AckTst0,            // 44 "$R5,ACK,TST,0"           test, argument 1
  AckTstOff,          // 45 "$R5,ACK,TST,OFF"         test, argument 1
  NakTst,             // 46 "$R5,NAK,TST,"            test, argument 0
  T7NakFrq,           // 47 "$T7,NAK,FRQ,"            transmitter, argument 2
  Ready,              // 48 "$R5,READY,"              device presence
  T7Ready,            // 49 "$T7,READY,"              ",1,T7" appended, then device presence
};

inline constexpr std::size_t kReplyCount = 49;

struct ReplyEntry {
  ReplyId id;
  std::string_view prefix;
  std::string_view name;  // a short name for logs and diagnostics
};

// The reply table in its order of testing.
const std::array<ReplyEntry, kReplyCount>& replyTable();
// The first entry whose prefix occurs in `line`, or nothing.
std::optional<ReplyId> matchReply(std::string_view line);
inline std::size_t replyIndex(ReplyId id) { return static_cast<std::size_t>(id); }

// Lines that the log does not echo. Sent lines: "PING", "RB5RB5", "PWD". Received lines: "$R5,PONG",
// "$R5,TIMER", "$R5,PASSWORD", "PWD".
bool sentLineIsLogged(std::string_view line);
bool receivedLineIsLogged(std::string_view line);

// Device text made safe to show: the protocol is printable ASCII, so every other byte (control
// characters such as backspace and escape, line breaks inside a line, bytes of 0x80 and up) is shown
// as "\xNN". Used for everything the device says that reaches the log, the status line or a terminal.
std::string visibleText(std::string_view deviceText);
// The program's own log text, which may carry device text that slipped through: every control
// character except tab, "\r" and "\n" is shown as "\xNN". Other bytes (translated texts in UTF-8) pass.
std::string visibleLogText(std::string_view logText);
// Whether visibleLogText() would leave the text as it is (nothing to escape).
bool logTextVisible(std::string_view logText);

// Command lines (each ends "\r\n").
namespace cmd {
inline constexpr std::string_view kPing = "$R5,PING\r\n";
inline constexpr std::string_view kHighSpeedOn = "\r\n$R5,HSP,ON\r\n";
inline constexpr std::string_view kVersion = "$R5,VER\r\n";
inline constexpr std::string_view kType = "$R5,TYP\r\n";
inline constexpr std::string_view kFree = "$R5,FREE\r\n";
inline constexpr std::string_view kTime = "$R5,TIME\r\n";
inline constexpr std::string_view kList = "$R5,LST\r\n";
inline constexpr std::string_view kFormat = "$R5,FMT\r\n";
inline constexpr std::string_view kRecordOn = "$R5,REC,ON\r\n";
inline constexpr std::string_view kRecordOff = "$R5,REC,OFF\r\n";
inline constexpr std::string_view kFlash = "$R5,FLASH\r\n";
inline constexpr std::string_view kReset = "$R5,RB5RB5,RST\r\n";
// "$R5,COM,%ld\r\n"
std::string linkSpeed(long speed);
inline constexpr std::string_view kLinkSpeedPrefix = "$R5,COM,";
}  // namespace cmd

// The link speeds the reply time-out walks through on the FTDI adapter, by speed-cycle index.
inline constexpr std::array<std::uint32_t, 6> kCycleSpeeds = {115200, 1000000, 1500000, 115200, 2000000, 3000000};

}  // namespace recdesk::session
