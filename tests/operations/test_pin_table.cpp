// The PIN response: the maker's table read from its file (untrusted text), the key sequence of a
// recorder's name, and the response digits, including key characters the table does not hold.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "TestSupport.h"
#include "operations/PinTable.h"

using namespace recdesk;
using namespace recdesk::operations;
using namespace recdesk::test;

namespace {

// A row whose response digit for PIN digit p is (p + shift) mod 10.
std::string row(char key, int shift) {
  std::string line(1, key);
  line += '=';
  for (int p = 0; p < 10; ++p) line += static_cast<char>('0' + (p + shift) % 10);
  return line + "\n";
}

PinTable parsed(const std::string& text) {
  std::string error;
  auto table = PinTable::parse(text, "pin.txt", error);
  EXPECT_TRUE(table) << error;
  return table.value_or(PinTable{});
}

std::string parseError(const std::string& text) {
  std::string error;
  EXPECT_FALSE(PinTable::parse(text, "pin.txt", error));
  return error;
}

}  // namespace

TEST(PinTable, ReadsEntriesCommentsAndEitherLineEnd) {
  loadEnglish();
  const PinTable t = parsed("# maker's table\r\n\r\n" + row('R', 1) + "5=9876543210\r\n" + row('-', 3) + "  \n");
  EXPECT_EQ(t.keys(), 3u);
  EXPECT_EQ(t.digit('R', 0), 1);
  EXPECT_EQ(t.digit('R', 9), 0);
  EXPECT_EQ(t.digit('5', 0), 9);
  EXPECT_EQ(t.digit('-', 2), 5);
  EXPECT_FALSE(t.digit('X', 0));
  EXPECT_FALSE(t.digit('R', 10));
  EXPECT_FALSE(t.digit('R', -1));
  // Any byte but a blank, a control character or "#" can be a key, also one of 0x80 and up.
  const PinTable high = parsed(std::string("\xC3=0123456789\n==1111111111\n"));
  EXPECT_EQ(high.digit(0xC3, 4), 4);
  EXPECT_EQ(high.digit('=', 4), 1);
}

TEST(PinTable, RefusesAWrongLineNamingTheFileAndTheLine) {
  loadEnglish();
  for (const std::string bad : {"R=012345678\n", "R=01234567890\n", "R:0123456789\n", "R=01234x6789\n",
                                " =0123456789\n", "RR=0123456789\n", "\x01=0123456789\n"}) {
    const std::string error = parseError("# ok\n" + row('1', 0) + bad);
    EXPECT_NE(error.find("pin.txt"), std::string::npos) << error;
    EXPECT_NE(error.find("line 3"), std::string::npos) << bad << ": " << error;
  }
  const std::string twice = parseError(row('R', 0) + row('S', 0) + row('R', 1));
  EXPECT_NE(twice.find("line 3"), std::string::npos) << twice;
  EXPECT_NE(twice.find("\"R\""), std::string::npos) << twice;
}

TEST(PinTable, LoadsBoundedFilesAndSaysWhyOthersCannotBeUsed) {
  loadEnglish();
  TempDir dir;
  writeFile(dir / "t.txt", row('A', 2));
  std::string error;
  auto t = PinTable::load(dir / "t.txt", error);
  ASSERT_TRUE(t) << error;
  EXPECT_EQ(t->digit('A', 0), 2);

  EXPECT_FALSE(PinTable::load(dir / "missing.txt", error));
  EXPECT_NE(error.find((dir / "missing.txt").string()), std::string::npos) << error;
  EXPECT_FALSE(PinTable::load(dir.path(), error));  // a folder
  EXPECT_NE(error.find("not a plain file"), std::string::npos) << error;

  // A file larger than any table is not read into memory whole.
  std::string big;
  while (big.size() <= PinTable::kMaxFileBytes) big += "# padding padding padding padding padding\n";
  writeFile(dir / "big.txt", big);
  EXPECT_FALSE(PinTable::load(dir / "big.txt", error));
  EXPECT_NE(error.find("larger than"), std::string::npos) << error;
}

TEST(PinKeySequence, KeepsFirstOccurrencesOfTheFirstFiveAndAppendsTheMissingDigits) {
  EXPECT_EQ(pinKeySequence("R5-12345"), "R5-120346789");
  // Two equal characters among the first five: only the first stays; digits of the name are not
  // appended again.
  EXPECT_EQ(pinKeySequence("R6-66"), "R6-012345789");
  EXPECT_EQ(pinKeySequence("AB"), "AB0123456789");
  EXPECT_EQ(pinKeySequence(""), "0123456789");
  EXPECT_EQ(pinKeySequence("ABCDEFGH").size(), 15u);
}

TEST(PinValidation, FourDigitsWithTheCapabilitysRange) {
  EXPECT_TRUE(validPin("1234", false));
  EXPECT_TRUE(validPin("1230", true));
  EXPECT_FALSE(validPin("1230", false));
  EXPECT_FALSE(validPin("12 4", true));
  EXPECT_FALSE(validPin("123", true));
  EXPECT_FALSE(validPin("12345", true));
  EXPECT_FALSE(validPin("12a4", true));  // a letter would address no column of the table
  EXPECT_EQ(trimBlanks("  1234 \t"), "1234");
}

TEST(PinResponse, ReadsTheTableByTheKeyCharacterTheChallengeSelects) {
  loadEnglish();
  // Key sequence of "R5-12345": R 5 - 1 2 0 3 4 6 7 8 9 (indexes 0..11).
  std::string text;
  int shift = 0;
  for (char k : std::string("R5-120346789")) text += row(k, shift++);
  const PinTable t = parsed(text);
  // Challenge 0,2,5,9 selects R (shift 0), - (2), 0 (5), 7 (9); PIN 1,1,1,1.
  const PinResponse r = pinResponse(&t, "pin.txt", "R5-12345", "0259", "1111");
  ASSERT_TRUE(r.ok()) << r.error;
  EXPECT_EQ(r.digits, "1360");
}

TEST(PinResponse, RefusesWithASentenceWhenTheTableCannotAnswer) {
  loadEnglish();
  // Digits only: the letter and the hyphen of the name are not in the table.
  std::string digits;
  for (char d = '0'; d <= '9'; ++d) digits += row(d, 0);
  const PinTable t = parsed(digits);
  PinResponse r = pinResponse(&t, "/keys/pin.txt", "R5-12345", "0000", "1234");
  EXPECT_FALSE(r.ok());
  EXPECT_TRUE(r.digits.empty());
  EXPECT_NE(r.error.find("/keys/pin.txt"), std::string::npos) << r.error;
  EXPECT_NE(r.error.find("\"R\""), std::string::npos) << r.error;
  // A challenge digit that selects a digit key works with the same table.
  EXPECT_TRUE(pinResponse(&t, "/keys/pin.txt", "R5-12345", "3333", "1234").ok());

  r = pinResponse(nullptr, "", "R5-12345", "0000", "1234");
  EXPECT_NE(r.error.find("PinTable"), std::string::npos) << r.error;
  // A challenge that is not four digits never indexes the key sequence.
  for (const char* challenge : {"12a4", "123", "", "\xff\xff\xff\xff"}) {
    r = pinResponse(&t, "pin.txt", "R5-12345", challenge, "1234");
    EXPECT_FALSE(r.ok()) << challenge;
    EXPECT_TRUE(r.digits.empty());
  }
}
