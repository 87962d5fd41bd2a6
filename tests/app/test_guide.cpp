// The guide document: which one belongs to the connected device and where it is looked for.
#include <gtest/gtest.h>

#include "TestSupport.h"
#include "app/Guide.h"
#include "app/Profile.h"

using namespace recdesk;

TEST(Guide, TheRecordersHaveTheirOwnGuideAndTheRestTheGeneralOne) {
  test::loadEnglish();
  const std::string recorders = app::guideDocumentName(app::device_type::kR5);
  const std::string general = app::guideDocumentName(app::device_type::kAny);
  EXPECT_NE(recorders, general);
  EXPECT_EQ(app::guideDocumentName(app::device_type::kR6), recorders);
  EXPECT_EQ(app::guideDocumentName(app::device_type::kBuiltIn), recorders);
  EXPECT_EQ(app::guideDocumentName(app::device_type::kT7), general);
}

TEST(Guide, IsLookedForBesideTheProgramThenInTheInstalledAndDataFolders) {
  const auto where = app::guideCandidates("guide.pdf", "/opt/rd/bin", {"/home/u/.local/share", ""});
  ASSERT_EQ(where.size(), 4u);
  EXPECT_EQ(where[0], std::filesystem::path("/opt/rd/bin/guide.pdf"));
  EXPECT_EQ(where[1].lexically_normal(), std::filesystem::path("/opt/rd/share/recdesk/guide.pdf"));
  EXPECT_EQ(where[2].lexically_normal(), std::filesystem::path("/opt/rd/share/doc/recdesk/guide.pdf"));
  EXPECT_EQ(where[3], std::filesystem::path("/home/u/.local/share/recdesk/guide.pdf"));
  // A name from a language file that is a path leads nowhere.
  EXPECT_TRUE(app::guideCandidates("../../etc/passwd", "/opt/rd/bin", {}).empty());
  EXPECT_TRUE(app::guideCandidates("", "/opt/rd/bin", {}).empty());
}
