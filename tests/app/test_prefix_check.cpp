#include <gtest/gtest.h>

#include "app/PrefixCheck.h"

namespace recdesk::app {
namespace {

TEST(PrefixCheck, AnOrdinaryPrefixIsKeptAsTyped) {
  for (const char* ok : {"", "TRIP", "Trip 2024", "a.b-c_d", "Gru\xC3\x9F", " lead", "."}) {
    const PrefixCheck c = checkPrefix(ok);
    EXPECT_FALSE(c.changed) << ok;
    EXPECT_EQ(c.text, ok);
  }
}

TEST(PrefixCheck, EveryCharacterAFileNameRefusesGoesAtOnce) {
  EXPECT_EQ(checkPrefix("a:b").text, "ab");
  EXPECT_TRUE(checkPrefix("a:b").changed);
  // A paste with several of them: all go in one edit, not one per edit.
  EXPECT_EQ(checkPrefix("/t\\r*i:p|?\"><").text, "trip");
  EXPECT_EQ(checkPrefix("..\\..\\etc/x").text, "....etcx");
  // Control characters a paste can bring: tab, line breaks, DEL, NUL.
  EXPECT_EQ(checkPrefix(std::string_view("TR\tIP\r\n\x7F\0X", 10)).text, "TRIPX");
}

TEST(PrefixCheck, ALongPrefixIsCutBetweenCharacters) {
  const std::string longAscii(80, 'a');
  EXPECT_EQ(checkPrefix(longAscii).text, std::string(kMaxPrefixLength, 'a'));
  EXPECT_TRUE(checkPrefix(longAscii).changed);
  EXPECT_FALSE(checkPrefix(std::string(kMaxPrefixLength, 'a')).changed);
  // Two-byte characters from byte 63 on: the one that would be split goes whole.
  std::string umlauts(kMaxPrefixLength - 1, 'a');
  for (int i = 0; i < 4; ++i) umlauts += "\xC3\xBC";
  const PrefixCheck c = checkPrefix(umlauts);
  EXPECT_EQ(c.text, std::string(kMaxPrefixLength - 1, 'a'));
  // Refused characters are taken out before the length counts.
  EXPECT_EQ(checkPrefix(std::string(kMaxPrefixLength, 'b') + "::::").text, std::string(kMaxPrefixLength, 'b'));
}

}  // namespace
}  // namespace recdesk::app
