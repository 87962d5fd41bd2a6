// Recording folders: file names, the IM2 file on disk and its pages, the prefix filter and the list
// refresh on a prefix change.
#include <gtest/gtest.h>

#include <filesystem>
#include <functional>

#include "FakeSession.h"
#include "audio/Im2Format.h"
#include "operations/RecordingFolders.h"
#include "operations/RecordingList.h"
#include "operations/SelectionPlayer.h"

using namespace recdesk;
using namespace recdesk::operations;
namespace fs = std::filesystem;

namespace {

// The IM2 file of recording n of the recorder with serial number 42.
std::string im2Of42(std::uint16_t n, std::uint64_t pages) {
  std::string im2 = test::im2Of(test::makePages(n, pages));
  auto* header = reinterpret_cast<std::uint8_t*>(im2.data());
  audio::writeU16(header + audio::kOffSerial, 42);
  header[audio::kOffCheck] = audio::pageCheckByte(header);
  return im2;
}

// Recordings 7, 8 and 9 of R5-00042, 4 pages each, all selected.
RecordingList listOf42() {
  RecordingList list;
  list.setDeviceName("R5-00042");
  for (const std::uint16_t n : {7, 8, 9}) list.append(parseRecordLine(test::recordLine(n, 4)).entry, 0);
  return list;
}

}  // namespace

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
  RecordingList list = listOf42();
  test::writeFile(dir / "TRIP.R5-00042.7.im2", im2Of42(7, 4));                     // complete
  test::writeFile(dir / "TRIP.R5-00042.8.im2", im2Of42(8, 4).substr(0, 3 * 528));  // partial
  test::writeFile(dir / "TRIP.R5-00042.9.im2", im2Of42(9, 2) + std::string(2 * 528, 'x'));  // another recording 9

  auto player = refreshForPrefix(list, d, "TRIP");
  EXPECT_FALSE(list.isSelected(0));
  EXPECT_TRUE(list.isSelected(1));
  EXPECT_EQ(list.row(1).columns[RecordingList::kPercent], "50");
  EXPECT_TRUE(list.isSelected(2));  // as long as complete, but not this recording
  EXPECT_EQ(list.row(2).entry.pagesOnDisk, 0u);
  EXPECT_EQ(player, dir / "TRIP.R5-00042.8.im2");

  // No file matches the new prefix: every row is selected.
  player = refreshForPrefix(list, d, "NEW");
  EXPECT_TRUE(list.isSelected(0));
  EXPECT_TRUE(list.isSelected(1));
  EXPECT_TRUE(list.isSelected(2));
  EXPECT_FALSE(player.has_value());

  // LoadDownloaded falls back to any prefix.
  std::optional<fs::path> loaded;
  loadDownloaded(list, 0, d, "NEW", [&](const std::optional<fs::path>& p) { loaded = p; });
  EXPECT_EQ(loaded, dir / "TRIP.R5-00042.7.im2");
}

TEST(SelectionPlayer, TheFocusedRecordingsFileIsLoadedWhenItHoldsPagesOfIt) {
  test::loadEnglish();
  test::TempDir dir;
  RecordingList list = listOf42();
  const FileNaming naming{dir.path().string(), (dir / "wav").string(), "TRIP"};
  test::writeFile(dir / "TRIP.R5-00042.7.im2", im2Of42(7, 4));                     // complete
  test::writeFile(dir / "TRIP.R5-00042.8.im2", im2Of42(8, 4).substr(0, 2 * 528));  // one data page
  test::writeFile(dir / "TRIP.R5-00042.9.im2", im2Of42(9, 2) + std::string(2 * 528, 'x'));  // another recording 9
  using Action = SelectionPlayerView::Action;
  SelectionPlayerFacts facts;

  facts.focused = 0;
  SelectionPlayerView v = playerForSelection(list, naming, facts);
  EXPECT_EQ(v.action, Action::Load);
  EXPECT_EQ(v.im2, dir / "TRIP.R5-00042.7.im2");
  facts.shownPath = v.im2.string();  // already shown: kept
  EXPECT_EQ(playerForSelection(list, naming, facts).action, Action::Keep);
  facts.shownPath.clear();

  facts.focused = 1;  // a partial download plays what it holds
  EXPECT_EQ(playerForSelection(list, naming, facts).action, Action::Load);

  // The file of another recording 9: nothing loaded, the ruler spans the recording as listed.
  facts.focused = 2;
  v = playerForSelection(list, naming, facts);
  EXPECT_EQ(v.action, Action::Empty);
  EXPECT_EQ(v.im2, dir / "TRIP.R5-00042.9.im2");
  ASSERT_TRUE(v.spanStart.has_value());
  EXPECT_EQ(v.spanEnd - *v.spanStart, list.row(2).entry.durationSeconds);

  // No change of the player while a download runs, while downloads are not allowed, or when the
  // focused row is not selected.
  facts.focused = 0;
  facts.downloading = true;
  EXPECT_EQ(playerForSelection(list, naming, facts).action, Action::Keep);
  facts.downloading = false;
  facts.downloadsAllowed = false;
  EXPECT_EQ(playerForSelection(list, naming, facts).action, Action::Keep);
  facts.downloadsAllowed = true;
  list.setSelected(0, false);
  EXPECT_EQ(playerForSelection(list, naming, facts).action, Action::Keep);

  // Nothing selected: the player is cleared, whatever else holds.
  list.setSelected(1, false);
  list.setSelected(2, false);
  facts.downloadsAllowed = false;
  EXPECT_EQ(playerForSelection(list, naming, facts).action, Action::Clear);
}

TEST(Im2Header, OnlyTheHeaderOfThisVeryRecordingCountsAsTheSame) {
  test::TempDir dir;
  const fs::path file = dir / "R5-12345.7.im2";
  // The entry as the list reads "$R5,MSG,LST,7,8000,4,1,0,20240517,093000,20".
  const ParsedRecord parsed = parseRecordLine(test::recordLine(7, 20));
  ASSERT_EQ(parsed.kind, RecordLineKind::Record);
  const RecordingEntry& entry = parsed.entry;
  std::vector<std::uint8_t> header(528);
  const auto headerWith = [&](const std::function<void(std::uint8_t*)>& change) {
    test::makePage(7, 19, 1, header.data());
    change(header.data());
    header[527] = audio::pageCheckByte(header.data());
    test::writeFile(file, std::string(header.begin(), header.end()) + std::string(3 * 528, 'd'));
    return im2HeaderMismatch(file, entry, "R5-12345");
  };
  EXPECT_EQ(headerWith([](std::uint8_t*) {}), "");
  EXPECT_EQ(im2HeaderMismatch(file, entry, "R5-012345x"), "");  // a name without a serial: not compared
  EXPECT_NE(im2HeaderMismatch(file, entry, "R5-12346"), "");
  EXPECT_NE(headerWith([](std::uint8_t* p) { audio::writeU16(p + audio::kOffFileNumber, 8); }), "");
  EXPECT_NE(headerWith([](std::uint8_t* p) { audio::writeU16(p + audio::kOffSerial, 12346); }), "");
  EXPECT_NE(headerWith([](std::uint8_t* p) {
              audio::writeU32(p + audio::kOffStartTime, audio::packStartTime({2024, 5, 17, 9, 30, 1}));
            }),
            "");
  EXPECT_NE(headerWith([](std::uint8_t* p) { audio::writeU32(p + audio::kOffStartTime, 0); }), "");  // null date
  EXPECT_NE(headerWith([](std::uint8_t* p) { audio::writeU32(p + audio::kOffPageNumber, 40); }), "");
  EXPECT_NE(headerWith([](std::uint8_t* p) { audio::writeU32(p + audio::kOffPageNumber, 0xFFFFFFFFu); }), "");

  test::writeFile(file, std::string(527, 'x'));
  EXPECT_NE(im2HeaderMismatch(file, entry, "R5-12345"), "");
  test::writeFile(file, "");
  EXPECT_NE(im2HeaderMismatch(file, entry, "R5-12345"), "");
  EXPECT_NE(im2HeaderMismatch(dir / "missing.im2", entry, "R5-12345"), "");
}

TEST(MoveAside, FindsAFreeNameForBothFilesAndDeletesNothing) {
  test::TempDir dir;
  const auto files = recordingFiles(dir.path().string(), dir.path().string(), "", "R5-12345", 3);
  test::writeFile(files.im2, "im2");
  test::writeFile(files.info, "txt");
  test::writeFile(dir / "R5-12345.3.old-1.im2", "taken");
  std::string error;
  const auto moved = moveAside(files, error);
  ASSERT_TRUE(moved) << error;
  EXPECT_EQ(*moved, (std::vector<fs::path>{dir / "R5-12345.3.old-2.im2", dir / "R5-12345.3.old-2.txt"}));
  EXPECT_EQ(test::readFile(dir / "R5-12345.3.old-2.im2"), "im2");
  EXPECT_EQ(test::readFile(dir / "R5-12345.3.old-2.txt"), "txt");
  EXPECT_EQ(test::readFile(dir / "R5-12345.3.old-1.im2"), "taken");
  EXPECT_FALSE(fs::exists(files.im2));
  EXPECT_FALSE(fs::exists(files.info));
}
