// Recording folders: file names, the IM2 file on disk and its pages, the prefix filter and the list
// refresh on a prefix change.
#include <gtest/gtest.h>

#include <filesystem>

#include "FakeSession.h"
#include "operations/RecordingFolders.h"
#include "operations/RecordingList.h"

using namespace recdesk;
using namespace recdesk::operations;
namespace fs = std::filesystem;

TEST(RecordingFiles, NamesWithAndWithoutPrefixStayInTheirFolders) {
  const auto f = recordingFiles("/rec/dl/", "/rec/wav", "TRIP", "R5-00042", 7);
  EXPECT_EQ(f.im2, fs::path("/rec/dl/TRIP.R5-00042.7.im2"));
  EXPECT_EQ(f.wav, fs::path("/rec/wav/TRIP.R5-00042.7.wav"));
  EXPECT_EQ(f.info, fs::path("/rec/dl/TRIP.R5-00042.7.txt"));
  EXPECT_EQ(recordingFiles("/rec/dl", "/rec/wav", "", "R5-00042", 7).im2, fs::path("/rec/dl/R5-00042.7.im2"));

  // A hostile device name or prefix never leaves the folder.
  for (const std::string& name : std::vector<std::string>{"../../etc/x", "..", "a/b\\c", "R5-\x01\n\x7f", std::string(500, 'A')}) {
    const auto g = recordingFiles("/rec/dl", "/rec/wav", "../up", name, 1);
    EXPECT_EQ(g.im2.parent_path(), fs::path("/rec/dl")) << name;
    EXPECT_EQ(g.wav.parent_path(), fs::path("/rec/wav")) << name;
    EXPECT_EQ(g.im2.filename().string().find('/'), std::string::npos);
    EXPECT_LE(g.im2.filename().string().size(), 255u);
  }
  EXPECT_EQ(safeNameComponent("R5-00042"), "R5-00042");
  EXPECT_EQ(safeNameComponent("../x"), ".._x");
  EXPECT_EQ(safeNameComponent(".."), "__");
}

TEST(PagesOnDisk, ExactNameAnyPrefixAndPageCounts) {
  test::TempDir dir;
  const std::string d = dir.path().string();
  EXPECT_EQ(pagesOnDisk(d, "TRIP", "R5-00042", 7, true), 0u);
  test::writeFile(dir / "R5-00042.7.im2", std::string(528, 'x'));
  EXPECT_EQ(pagesOnDisk(d, "", "R5-00042", 7, false), 0u);  // header page only
  test::writeFile(dir / "R5-00042.7.im2", std::string(5 * 528 + 100, 'x'));
  EXPECT_EQ(pagesOnDisk(d, "", "R5-00042", 7, false), 4u);

  test::writeFile(dir / "OLD.R5-00042.8.im2", std::string(3 * 528, 'x'));
  test::writeFile(dir / "XR5-00042.8.im2", std::string(9 * 528, 'x'));  // not "<prefix>." + name
  EXPECT_EQ(pagesOnDisk(d, "NEW", "R5-00042", 8, false), 0u);
  EXPECT_EQ(pagesOnDisk(d, "NEW", "R5-00042", 8, true), 2u);
  EXPECT_EQ(findIm2(d, "NEW", "R5-00042", 8, true), dir / "OLD.R5-00042.8.im2");

  // Files larger than 4 GiB count all their pages (a sparse file).
  const fs::path big = dir / "R5-00042.9.im2";
  test::writeFile(big, "");
  fs::resize_file(big, 5ull * 1024 * 1024 * 1024);
  EXPECT_EQ(pagesOnDisk(d, "", "R5-00042", 9, false), 5ull * 1024 * 1024 * 1024 / 528 - 1);
}

TEST(Prefix, FilterRemovesOneRefusedCharacterPerPass) {
  std::string p = "a:b";
  EXPECT_TRUE(filterPrefixOnce(p));
  EXPECT_EQ(p, "ab");
  EXPECT_FALSE(filterPrefixOnce(p));
  EXPECT_EQ(cleanPrefix("/t\\r*i:p|?\"><"), "trip");
}

TEST(Prefix, ChangeRefreshesPagesAndSelection) {
  test::loadEnglish();
  test::TempDir dir;
  const std::string d = dir.path().string();
  RecordingList list;
  list.setDeviceName("R5-00042");
  RecordingEntry e;
  e.sampleRate = 8000;
  e.encodedBits = 4;
  e.channels = 1;
  e.pages = 4;
  e.fileNumber = 7;
  list.append(e, 0);
  e.fileNumber = 8;
  list.append(e, 0);
  test::writeFile(dir / "TRIP.R5-00042.7.im2", std::string(5 * 528, 'x'));  // complete
  test::writeFile(dir / "TRIP.R5-00042.8.im2", std::string(3 * 528, 'x'));  // partial

  auto player = refreshForPrefix(list, d, "TRIP");
  EXPECT_FALSE(list.isSelected(0));
  EXPECT_TRUE(list.isSelected(1));
  EXPECT_EQ(list.row(1).columns[RecordingList::kPercent], "50");
  EXPECT_EQ(player, dir / "TRIP.R5-00042.8.im2");

  // No file matches the new prefix: every row is selected.
  player = refreshForPrefix(list, d, "NEW");
  EXPECT_TRUE(list.isSelected(0));
  EXPECT_TRUE(list.isSelected(1));
  EXPECT_FALSE(player.has_value());

  // LoadDownloaded falls back to any prefix.
  std::optional<fs::path> loaded;
  loadDownloaded(list, 0, d, "NEW", [&](const std::optional<fs::path>& p) { loaded = p; });
  EXPECT_EQ(loaded, dir / "TRIP.R5-00042.7.im2");
}
