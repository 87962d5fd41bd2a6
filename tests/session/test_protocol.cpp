// The protocol's pure parts: field accessor, reply table order, log filters, line assembly and the
// readers of the query chain's replies.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "session/LineAssembler.h"
#include "session/Protocol.h"
#include "session/Replies.h"

using namespace recdesk::session;

TEST(FieldAccessor, CountsFromTheTalkerAndTakesTheRestForNegativeNumbers) {
  const std::string com = "$R5,ACK,COM,2000000";
  EXPECT_EQ(field(com, 0), "$R5");
  EXPECT_EQ(field(com, 2), "COM");
  EXPECT_EQ(field(com, 3), "2000000");
  EXPECT_EQ(field(com, 4), "");
  EXPECT_EQ(field(com, 5), "");
  EXPECT_EQ(field(com, -2), "COM,2000000");
  EXPECT_EQ(field(com, -3), "2000000");
  EXPECT_EQ(field(com, -4), "");
  EXPECT_EQ(field(com, -100), "");
  EXPECT_EQ(field("$R5,PONG,0,1,", 4), "");
  EXPECT_EQ(field("", 0), "");
  EXPECT_EQ(field("a,,b", 1), "");
  EXPECT_EQ(field("a,,b", 2), "b");
  EXPECT_EQ(field("$T7,READY,0,1,T7", 4), "T7");
}

TEST(FieldAccessor, NumbersAreReadFromTheirLeadingDigitsWithoutOverflow) {
  EXPECT_EQ(leadingNumber("2000000"), 2000000);
  EXPECT_EQ(leadingNumber(" 12abc"), 12);
  EXPECT_EQ(leadingNumber("-5"), -5);
  EXPECT_EQ(leadingNumber("abc"), 0);
  EXPECT_EQ(leadingNumber(""), 0);
  EXPECT_GT(leadingNumber("99999999999999999999999999"), 0);  // saturates
  EXPECT_EQ(wholeNumber("123"), 123u);
  EXPECT_FALSE(wholeNumber("12a"));
  EXPECT_FALSE(wholeNumber(""));
  EXPECT_FALSE(wholeNumber("99999999999999999999999"));
}

TEST(ReplyTable, HasAllEntriesInTheirOrderAndLongerPrefixesWin) {
  const auto& table = replyTable();
  ASSERT_EQ(table.size(), 49u);
  for (std::size_t i = 0; i < table.size(); ++i) EXPECT_EQ(replyIndex(table[i].id), i) << table[i].prefix;

  EXPECT_EQ(matchReply("$R5,ACK,REC,OFF"), ReplyId::AckRec);  // not "recording ended"
  EXPECT_EQ(matchReply("$R5,ACK,REC,ON"), ReplyId::AckRec);
  EXPECT_EQ(matchReply("$R5,MSG,REC,OFF"), ReplyId::MsgRecOff);
  EXPECT_EQ(matchReply("$R5,MSG,TMR,PGM,END,3"), ReplyId::MsgTmrPgmEnd);
  EXPECT_EQ(matchReply("$R5,MSG,TMR,PGM,1,x"), ReplyId::MsgTmrPgm);
  EXPECT_EQ(matchReply("$R5,ACK,TMR,PGM,START"), ReplyId::AckTmrPgmStart);
  EXPECT_EQ(matchReply("$R5,ACK,TMR,PGM,4"), ReplyId::AckTmrPgm);
  EXPECT_EQ(matchReply("$R5,MSG,BAD,END,41"), ReplyId::MsgBadEnd);
  EXPECT_EQ(matchReply("$R5,MSG,BAD,12"), ReplyId::MsgBad);
  EXPECT_EQ(matchReply("$R5,MSG,DNL,END,3"), ReplyId::MsgDnlEnd);
  EXPECT_EQ(matchReply("$R5,ACK,DNL,3,0,9,8"), ReplyId::AckDnl);
  EXPECT_EQ(matchReply("$T7,READY,0"), ReplyId::T7Ready);
  EXPECT_EQ(matchReply("noise$R5,PONG,0,1"), ReplyId::Pong);  // anywhere in the line
  EXPECT_FALSE(matchReply(""));
  EXPECT_FALSE(matchReply("$R5,ACK,HSP"));
}

TEST(LogFilters, KeepSecretsAndPingsOutOfTheLog) {
  EXPECT_FALSE(sentLineIsLogged("$R5,PING\r\n"));
  EXPECT_FALSE(sentLineIsLogged("$R5,PWD,1234,5678\r\n"));
  EXPECT_FALSE(sentLineIsLogged("$R5,RB5RB5,RST\r\n"));
  EXPECT_TRUE(sentLineIsLogged("$R5,LST\r\n"));
  EXPECT_FALSE(receivedLineIsLogged("$R5,PONG,0,1"));
  EXPECT_FALSE(receivedLineIsLogged("$R5,TIMER,1"));
  EXPECT_FALSE(receivedLineIsLogged("$R5,PASSWORD,R5-1,1234"));
  EXPECT_FALSE(receivedLineIsLogged("$R5,ACK,PWD"));
  EXPECT_TRUE(receivedLineIsLogged("$R5,MSG,LST,1,8000,4,1,0,20240101,120000,10"));
}

namespace {
std::vector<std::string> assemble(LineAssembler& a, const std::vector<std::string>& chunks) {
  std::vector<std::string> lines;
  for (const auto& c : chunks) a.append(c, [&](const std::string& l) { lines.push_back(l); });
  return lines;
}
}  // namespace

TEST(LineAssembly, ALineSplitInsideItsWordIsDispatchedOnceWithoutItsEnd) {
  LineAssembler a;
  const auto lines = assemble(a, {"$R5,ACK,C", "OM,2000000\r\n"});
  ASSERT_EQ(lines.size(), 1u);
  EXPECT_EQ(lines[0], "$R5,ACK,COM,2000000");
  EXPECT_EQ(a.pending(), "");
}

TEST(LineAssembly, EmptyLinesBlanksAndSplitLineEnds) {
  LineAssembler a;
  EXPECT_EQ(assemble(a, {"\r\n"}), std::vector<std::string>{""});
  // Several lines in one chunk; the blanks after a line end go.
  EXPECT_EQ(assemble(a, {"A\r\n  B\r\nC"}), (std::vector<std::string>{"A", "B"}));
  EXPECT_EQ(a.pending(), "C");
  // The "\n" of a "\r\n" that comes in the next chunk does not start the next line.
  EXPECT_EQ(assemble(a, {"\r", "\n", "D\r"}), (std::vector<std::string>{"C", "D"}));
  // Zero bytes are noise: dropped, and the line behind them is kept.
  EXPECT_EQ(assemble(a, {std::string("E\r\0F\0G\r", 7)}), (std::vector<std::string>{"E", "FG"}));
}

TEST(LineAssembly, AGarbageRunIsDroppedInsteadOfGrowingWithoutLimit) {
  LineAssembler a;
  std::size_t dropped = 0;
  std::vector<std::string> lines;
  const std::string noise(LineAssembler::kMaxLine + 10, 'x');
  for (int i = 0; i < 3; ++i)
    a.append(noise, [&](const std::string& l) { lines.push_back(l); }, [&](std::size_t n) { dropped += n; });
  EXPECT_LE(a.pending().size(), LineAssembler::kMaxLine);
  EXPECT_GT(dropped, 0u);
  a.append("yy\r\n$R5,PONG,0,1\r\n", [&](const std::string& l) { lines.push_back(l); });
  ASSERT_FALSE(lines.empty());
  EXPECT_EQ(lines.back(), "$R5,PONG,0,1");  // the next good line still comes through
}

TEST(FirmwareCapability, VersionTextsOfEachModel) {
  EXPECT_FALSE(firmwareCapability("R5 0.4.0a"));
  EXPECT_TRUE(firmwareCapability("R5 0.5.0a"));
  EXPECT_TRUE(firmwareCapability("R5 0.4.0"));   // no letter counts as 'z'
  EXPECT_TRUE(firmwareCapability("R5 0.4"));     // no patch counts as 1
  EXPECT_TRUE(firmwareCapability("R5 0.4.0f"));
  EXPECT_FALSE(firmwareCapability("R5 0.4.0e,HW 3"));
  // The character right after the patch number is the letter, whatever it is.
  EXPECT_FALSE(firmwareCapability("R5 0.4.0,HW 3"));
  EXPECT_FALSE(firmwareCapability("R5 0.4.0 beta"));
  EXPECT_FALSE(firmwareCapability("R5 0.4.0F"));  // capitals come before "f"
  EXPECT_TRUE(firmwareCapability("R5 0.4.0~"));
  EXPECT_FALSE(firmwareCapability("R5 0.4.0\xe9"));  // no letter at all
  EXPECT_TRUE(firmwareCapability("R5 0.4.x"));      // no patch number: 1 and "z"
  EXPECT_TRUE(firmwareCapability("R5 0.4,HW 3"));
  // Numbers are read as "%lu" reads them: blanks and a sign before the digits.
  EXPECT_TRUE(firmwareCapability("R5  0. 5.0a"));
  EXPECT_FALSE(firmwareCapability("R5 0 .5.0a"));   // the dot must follow the number at once
  EXPECT_TRUE(firmwareCapability("R5 -1.0.0a"));    // wraps to a huge major number
  EXPECT_TRUE(firmwareCapability("R5 0.4.99999999999999999999999a"));  // saturates
  EXPECT_TRUE(firmwareCapability("R5 1.0.0a"));
  EXPECT_TRUE(firmwareCapability("R5 0.4.1a"));
  EXPECT_FALSE(firmwareCapability("R5 beta"));   // nothing readable: not capable
  EXPECT_FALSE(firmwareCapability("R5"));
  EXPECT_TRUE(firmwareCapability("R6 0.018"));
  EXPECT_TRUE(firmwareCapability("R6 0.021,HW 6"));
  EXPECT_FALSE(firmwareCapability("R6 0.017"));
  EXPECT_FALSE(firmwareCapability("R6 x"));
  EXPECT_TRUE(firmwareCapability("T7 1.04"));
  EXPECT_FALSE(firmwareCapability("X9 9.9.9z"));
  EXPECT_FALSE(firmwareCapability(""));
}

TEST(DeviceText, ControlCharactersAreShownEscaped) {
  EXPECT_EQ(visibleText("$R5,ACK,VER,R5 1.0"), "$R5,ACK,VER,R5 1.0");
  EXPECT_EQ(visibleText(std::string("a\bb\x1b[2J\r\n\t\x7f\x9b\0z", 14)),
            "a\\x08b\\x1b[2J\\x0d\\x0a\\x09\\x7f\\x9b\\x00z");
  // The program's own log text keeps its line ends, tabs and translated (UTF-8) texts.
  EXPECT_EQ(visibleLogText(" Verbindung hergestellt \xc3\xa4\t\r\n"), " Verbindung hergestellt \xc3\xa4\t\r\n");
  EXPECT_EQ(visibleLogText(" x\b\x1b[1A\x7f\r\n"), " x\\x08\\x1b[1A\\x7f\r\n");
}

TEST(QueryReplies, ListAcknowledgementNamesTheDevice) {
  auto ack = parseListAck("$R5,ACK,LST,1234,7");
  ASSERT_TRUE(ack);
  EXPECT_EQ(ack->deviceName, "R5-1234");
  EXPECT_EQ(ack->count, 7);
  EXPECT_EQ(parseListAck("$R5,ACK,LST,R6-00042,0")->deviceName, "R6-00042");
  EXPECT_FALSE(parseListAck("$R5,ACK,LST,1234"));
  EXPECT_FALSE(parseListAck("$R5,ACK,LST,,3"));
  EXPECT_LE(parseListAck("$R5,ACK,LST," + std::string(1000, 'n') + ",1")->deviceName.size(), kMaxDeviceName + 3);
  EXPECT_EQ(modelOfDeviceName("R6-00042"), "R6");
}

TEST(QueryReplies, FlashBanksAndChipTable) {
  const auto flash = parseFlashReply("$R5,ACK,FLASH,BANK 1,dc,ec,BANK 2,DC,EC,BANK 3,00,00,BANK 4,00,00");
  EXPECT_EQ(flash.banksRead, 4);
  EXPECT_EQ(flash.sizeMb, 1024u);
  EXPECT_EQ(flash.totalBlocks, 8192u);
  EXPECT_EQ(flash.deviceCodes, 0xDC);
  EXPECT_EQ(flash.makerCodes, 0xEC);
  const auto unknown = parseFlashReply("$R5,ACK,FLASH,BANK 1,12,34");
  EXPECT_EQ(unknown.sizeMb, 0u);
  EXPECT_EQ(unknown.totalBlocks, 0u);
  EXPECT_EQ(parseFlashReply("$R5,ACK,FLASH,garbage").banksRead, 0);
}

TEST(QueryReplies, RecordingTimeAndTypeAndClock) {
  EXPECT_EQ(recordingSecondsLeft(10000, 4, 1, 8000), 1276u);
  EXPECT_FALSE(recordingSecondsLeft(10000, 0, 1, 8000));
  EXPECT_FALSE(recordingSecondsLeft(10000, 4, 1, 0));

  const auto type = parseRecordingType("$R5,ACK,TYP,8000,4,1,OFF,3");
  EXPECT_TRUE(type.numeric);
  EXPECT_EQ(type.sampleRate, 8000u);
  EXPECT_EQ(type.gain, 3);
  EXPECT_FALSE(parseRecordingType("$R5,ACK,TYP,SPEECH").numeric);
  EXPECT_EQ(parseRecordingType("$R5,ACK,TYP,SPEECH").text, "SPEECH");

  const auto t = parseClockReply("$R5,ACK,TIME,20060301,140509");
  EXPECT_EQ(t.year, 2006);
  EXPECT_EQ(t.month, 3);
  EXPECT_EQ(t.day, 1);
  EXPECT_EQ(t.hour, 14);
  EXPECT_EQ(t.minute, 5);
  EXPECT_EQ(t.second, 9);
  EXPECT_TRUE(t.valid());
  EXPECT_FALSE(parseClockReply("$R5,ACK,TIME,x,y").valid());
  EXPECT_FALSE(parseClockReply("$R5,ACK,TIME,20060231,000000").valid());
}
