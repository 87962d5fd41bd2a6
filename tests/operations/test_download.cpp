// The download engine against a fake session and a fake recorder in virtual time.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "FakeSession.h"
#include "audio/Im2Format.h"
#include "lang/Strings.h"
#include "operations/Download.h"
#include "operations/ListReplies.h"

using namespace recdesk;
using namespace recdesk::operations;
namespace fs = std::filesystem;

namespace {

class DownloadTest : public ::testing::Test {
 protected:
  DownloadTest() : recorder(session), download(session, list), replies(session, list) {
    test::loadEnglish();
    session.attach(&download);
    session.settings_.downloadFolder = (dir / "im2").string();
    session.settings_.decryptFolder = (dir / "wav").string();
    session.settings_.filePrefix = "";
    download.freeSpace = [](const fs::path&) { return std::optional<std::uint64_t>(1ull << 40); };
    download.convert = [this](const RecordingFiles& f, ConversionDone done) {
      converted.push_back(f.im2);
      done(ConversionOutcome{true, {f.wav}, {}});
    };
    download.onFinished = [this] { ++finished; };
    fs::create_directories(dir / "im2");
    fs::create_directories(dir / "wav");
  }

  // Lists recordings: the acknowledgement, one record line each, the end line.
  void listRecordings(const std::vector<std::pair<std::uint16_t, std::uint64_t>>& recs,
                      const std::string& name = "R5-12345") {
    replies.onAcknowledgement("$R5,ACK,LST," + name + "," + std::to_string(recs.size()));
    for (const auto& [n, pages] : recs) replies.onRecordLine(test::recordLine(n, pages));
    replies.onRecordLine("$R5,MSG,LST,END");
  }
  void addRecording(std::uint16_t n, std::uint64_t pages) {
    flash[n] = test::makePages(n, pages, n);
    recorder.add(n, flash[n]);
  }
  DownloadOptions options(std::uint16_t acceleration = 8, bool decode = false) {
    DownloadOptions o = DownloadOptions::fromSettings(session.settings_);
    o.acceleration = acceleration;
    o.autoDecrypt = decode;
    return o;
  }
  fs::path im2(std::uint16_t n) const { return dir / "im2" / ("R5-12345." + std::to_string(n) + ".im2"); }
  fs::path info(std::uint16_t n) const { return dir / "im2" / ("R5-12345." + std::to_string(n) + ".txt"); }
  int count(const std::string& text, char c) const { return static_cast<int>(std::count(text.begin(), text.end(), c)); }

  test::TempDir dir;
  test::FakeSession session;
  test::FakeRecorder recorder;
  RecordingList list;
  Download download;
  ListReplies replies;
  std::map<std::uint16_t, std::vector<std::uint8_t>> flash;
  std::vector<fs::path> converted;
  int finished = 0;
};

}  // namespace

TEST_F(DownloadTest, FreshDownloadFetchesTheHeaderThenEveryPageInBlocks) {
  addRecording(7, 20);
  listRecordings({{7, 20}});
  ASSERT_TRUE(download.start(options(8, true)));
  EXPECT_TRUE(session.flags_.download);
  session.run();

  ASSERT_EQ(recorder.requests.size(), 2u);
  EXPECT_EQ(recorder.requests[0], "$R5,DNL,7,19,19,1\r\n");
  EXPECT_EQ(recorder.requests[1], "$R5,DNL,7,0,19,8\r\n");
  EXPECT_EQ(test::readFile(im2(7)), test::im2Of(flash[7]));
  EXPECT_EQ(fs::file_size(im2(7)), 21u * 528);
  // Header: "n" then "n" for the end; data: 3 blocks (8, 8, 4) then "n" for the end.
  EXPECT_EQ(session.controlBytes, "nnnnnn");
  EXPECT_EQ(session.timerStarts[session::kTimerBlockData][2].count(), 2605);

  ASSERT_EQ(download.outcomes().size(), 1u);
  const RecordingOutcome& out = download.outcomes()[0];
  EXPECT_TRUE(out.completed);
  EXPECT_EQ(out.pagesTransferred, 20u);
  EXPECT_EQ(converted, std::vector<fs::path>{im2(7)});
  EXPECT_FALSE(list.isSelected(0));
  EXPECT_EQ(list.row(0).columns[RecordingList::kPercent], "100");
  EXPECT_FALSE(session.flags_.download);
  EXPECT_EQ(session.keepAliveStarts, 1);
  EXPECT_EQ(finished, 1);
  EXPECT_EQ(download.phase(), 0);

  const std::string text = test::readFile(info(7));
  EXPECT_NE(text.find(lang::text(57889) + ": R5-12345.7.im2\r\n"), std::string::npos);
  EXPECT_NE(text.find(lang::formatText("%s: 0 %s 20", {lang::text(57893), lang::text(57895)})), std::string::npos);
  EXPECT_NE(text.find(lang::text(57894) + ".\r\n"), std::string::npos);
}

TEST_F(DownloadTest, ContinuesAPartialFileCuttingBackAPartialPage) {
  addRecording(3, 30);
  listRecordings({{3, 30}});
  // Header and data pages 0..8, plus 100 bytes of an interrupted write.
  std::string partial = test::im2Of(flash[3]).substr(0, 10 * 528);
  test::writeFile(im2(3), partial + std::string(100, 'z'));
  list.setPagesOnDisk(0, 9);
  ASSERT_TRUE(download.start(options()));  // the question is answered "continue"
  session.run();
  ASSERT_EQ(recorder.requests.size(), 1u);
  EXPECT_EQ(recorder.requests[0], "$R5,DNL,3,9,29,8\r\n");
  EXPECT_EQ(test::readFile(im2(3)), test::im2Of(flash[3]));
  EXPECT_EQ(download.outcomes()[0].pagesTransferred, 21u);
  EXPECT_EQ(session.ui_.questions.size(), 1u);  // the existing-file question, dismissed: continue
}

TEST_F(DownloadTest, TheExistingFileQuestionOffersItsAnswersByNameAndADismissedOneContinues) {
  addRecording(1, 5);
  addRecording(2, 5);
  addRecording(3, 12);
  listRecordings({{1, 5}, {2, 5}, {3, 12}});
  // Partial files of these very recordings: header page and some data pages.
  const std::string partial1 = test::im2Of(flash[1]).substr(0, 3 * 528);
  const std::string partial2 = test::im2Of(flash[2]).substr(0, 2 * 528);
  test::writeFile(im2(1), partial1);
  test::writeFile(info(1), "old");
  test::writeFile(im2(2), partial2);
  test::writeFile(im2(3), test::im2Of(flash[3]).substr(0, 4 * 528));
  for (std::size_t row = 0; row < 3; ++row) list.setSelected(row, true);
  session.ui_.choices = {1, 2, std::nullopt};  // start 1 again, skip 2, dismiss the question for 3
  ASSERT_TRUE(download.start(options()));
  session.run();

  ASSERT_EQ(session.ui_.questions.size(), 3u);
  EXPECT_EQ(session.ui_.questions[0].answers,
            (std::vector<std::string>{lang::text(58610), lang::text(58611), lang::text(58612)}));
  EXPECT_NE(session.ui_.questions[0].text.find(im2(1).string()), std::string::npos);
  EXPECT_TRUE(session.ui_.messages.empty());  // no Yes/No box stands in for the question

  EXPECT_EQ(test::readFile(im2(1)), test::im2Of(flash[1]));
  EXPECT_EQ(test::readFile(info(1)).find("old"), std::string::npos);
  EXPECT_EQ(test::readFile(im2(2)), partial2);  // untouched
  EXPECT_EQ(test::readFile(im2(3)), test::im2Of(flash[3]));
  ASSERT_EQ(download.outcomes().size(), 3u);
  EXPECT_TRUE(download.outcomes()[0].completed);
  EXPECT_TRUE(download.outcomes()[1].skipped);
  EXPECT_TRUE(download.outcomes()[2].completed);
  EXPECT_EQ(download.outcomes()[2].pagesTransferred, 9u);  // continued after its 3 data pages
  EXPECT_FALSE(list.isSelected(1));
  EXPECT_EQ(recorder.requests,
            (std::vector<std::string>{"$R5,DNL,1,4,4,1\r\n", "$R5,DNL,1,0,4,8\r\n", "$R5,DNL,3,3,11,8\r\n"}));
}

TEST_F(DownloadTest, AFileOfAnotherRecordingOfTheSameNumberIsMovedAsideNeverAppendedTo) {
  // The recorder was formatted: its recording 7 is new; the old recording 7 (12 pages, 5 on disk)
  // is still in the download folder with its report.
  addRecording(7, 20);
  listRecordings({{7, 20}});
  const std::string old = test::im2Of(test::makePages(7, 12, 99)).substr(0, 6 * 528);
  test::writeFile(im2(7), old);
  test::writeFile(info(7), "old report");
  // A name already taken by an earlier move.
  test::writeFile(dir / "im2" / "R5-12345.7.old-1.txt", "older still");
  ASSERT_EQ(list.row(0).entry.pagesOnDisk, 0u);
  list.setPagesOnDisk(0, 5);
  ASSERT_TRUE(download.start(options()));
  session.run();

  EXPECT_TRUE(session.ui_.questions.empty());  // nothing to decide: nothing is lost
  EXPECT_EQ(test::readFile(im2(7)), test::im2Of(flash[7]));
  EXPECT_EQ(test::readFile(dir / "im2" / "R5-12345.7.old-2.im2"), old);
  EXPECT_EQ(test::readFile(dir / "im2" / "R5-12345.7.old-2.txt"), "old report");
  EXPECT_EQ(test::readFile(dir / "im2" / "R5-12345.7.old-1.txt"), "older still");
  EXPECT_FALSE(fs::exists(dir / "im2" / "R5-12345.7.old-1.im2"));
  const RecordingOutcome& out = download.outcomes().at(0);
  EXPECT_TRUE(out.completed);
  EXPECT_EQ(out.pagesTransferred, 20u);
  EXPECT_EQ(out.movedAside, (std::vector<fs::path>{dir / "im2" / "R5-12345.7.old-2.im2",
                                                   dir / "im2" / "R5-12345.7.old-2.txt"}));
  EXPECT_EQ(recorder.requests.at(0), "$R5,DNL,7,19,19,1\r\n");  // a fresh download, header first
  EXPECT_NE(session.logText.find(lang::text(58615) + " " + (dir / "im2" / "R5-12345.7.old-2.im2").string()),
            std::string::npos);
  EXPECT_EQ(download.pagesTotal(), 20u);
}

TEST_F(DownloadTest, AFileTooShortForItsHeaderIsNotContinued) {
  addRecording(2, 6);
  listRecordings({{2, 6}});
  test::writeFile(im2(2), std::string(100, 'x'));
  ASSERT_TRUE(download.start(options()));
  session.run();
  EXPECT_EQ(test::readFile(im2(2)), test::im2Of(flash[2]));
  EXPECT_EQ(test::readFile(dir / "im2" / "R5-12345.2.old-1.im2"), std::string(100, 'x'));
  EXPECT_EQ(download.outcomes().at(0).movedAside.size(), 1u);  // there was no information file
}

TEST_F(DownloadTest, PagesOnDiskAreNotCarriedOverToARecordingThatFailsBeforeItsFileIsMeasured) {
  addRecording(1, 41);
  addRecording(2, 44);
  listRecordings({{1, 41}, {2, 44}});
  fs::create_directories(info(2));  // recording 2's information file cannot be opened
  ASSERT_TRUE(download.start(options()));
  session.run();
  ASSERT_EQ(download.outcomes().size(), 2u);
  EXPECT_TRUE(download.outcomes()[0].completed);
  const RecordingOutcome& failed = download.outcomes()[1];
  EXPECT_FALSE(failed.completed);
  EXPECT_EQ(failed.pagesOnDisk, 0u);
  EXPECT_EQ(list.row(1).entry.pagesOnDisk, 0u);
  EXPECT_EQ(list.row(1).columns[RecordingList::kPercent], "0");
  EXPECT_FALSE(list.completeOnDisk(1));
}

TEST_F(DownloadTest, WrongPagesAreFetchedAgainUntilGood) {
  addRecording(4, 24);
  listRecordings({{4, 24}});
  recorder.mutate = [](std::vector<std::uint8_t>& copy, std::uint64_t first, int index) {
    if (first == 8 && index < 5) copy[528 + 17] ^= 0xFF;  // page 9 flipped on the first copies
  };
  ASSERT_TRUE(download.start(options()));
  session.run();
  EXPECT_EQ(test::readFile(im2(4)), test::im2Of(flash[4]));
  EXPECT_GE(download.outcomes()[0].repeats, 1u);
  EXPECT_EQ(download.outcomes()[0].badPagesAccepted, 0u);
  EXPECT_NE(session.controlBytes.find('r'), std::string::npos);
}

TEST_F(DownloadTest, APageBadDifferentlyEachTimeIsAcceptedAfterThreeRequestsOf102FetchesOnTheAdapter) {
  session.port = 1000;
  addRecording(5, 16);
  listRecordings({{5, 16}});
  int fetches = 0;
  recorder.mutate = [&](std::vector<std::uint8_t>& copy, std::uint64_t first, int index) {
    if (first == 8) {
      ++fetches;
      copy[2 * 528 + 5] ^= static_cast<std::uint8_t>(1 + index % 200);  // page 10, different each time
    }
  };
  ASSERT_TRUE(download.start(options()));
  session.run();
  EXPECT_EQ(fetches, 3 * 102);  // the first request and two fresh ones, 102 copies each
  const RecordingOutcome& out = download.outcomes()[0];
  EXPECT_TRUE(out.completed);
  EXPECT_EQ(out.badPagesAccepted, 1u);
  EXPECT_EQ(list.row(0).entry.badPages, 1u);
  const std::string text = test::readFile(info(5));
  EXPECT_NE(text.find(lang::text(57890)), std::string::npos);
  EXPECT_NE(text.find(": 10\r\n"), std::string::npos);
  // The accepted copy is stored in place: every other page is right.
  const std::string file = test::readFile(im2(5));
  const std::string want = test::im2Of(flash[5]);
  ASSERT_EQ(file.size(), want.size());
  EXPECT_EQ(file.substr(0, 11 * 528), want.substr(0, 11 * 528));
  EXPECT_EQ(file.substr(12 * 528), want.substr(12 * 528));
  EXPECT_TRUE(std::none_of(session.lines.begin(), session.lines.end(),
                           [](const std::string& l) { return l == "$R5,BAD\r\n"; }));
}

TEST_F(DownloadTest, ABlockBadTheSameWayIsAcceptedAfterTwoFreshRequestsAndABadBlockScanFollows) {
  session.port = 1000;
  addRecording(6, 8);
  listRecordings({{6, 8}});
  int fetches = 0;
  recorder.mutate = [&](std::vector<std::uint8_t>& copy, std::uint64_t first, int) {
    if (copy.size() == 8 * 528 && first == 0) {
      ++fetches;
      copy[3 * 528 + 100] ^= 0x01;
    }
  };
  ASSERT_TRUE(download.start(options()));
  session.run();
  EXPECT_EQ(fetches, 3 * 12);  // the first request and two fresh ones, 12 copies each
  EXPECT_EQ(download.outcomes()[0].badPagesAccepted, 1u);
  EXPECT_EQ(download.outcomes()[0].freshRequests, 2u);
  // Each fresh request: cancel, confirmation, the same request again.
  EXPECT_EQ(std::count(session.controlBytes.begin(), session.controlBytes.end(), 'c'), 2);
  EXPECT_EQ(std::count(session.lines.begin(), session.lines.end(), "$R5,DNL,6,0,7,8\r\n"), 3);
  EXPECT_NE(test::readFile(info(6)).find(lang::text(57990)), std::string::npos);
  ASSERT_FALSE(session.lines.empty());
  EXPECT_EQ(session.lines.back(), "$R5,BAD\r\n");
}

TEST_F(DownloadTest, PagesThatPassedInSomeCopyAreNeverAcceptedAsBad) {
  // Every copy of the first block has one page wrong, page 1 and page 2 by turns and differently
  // each time: no copy is whole, but each page came right in some copy.
  addRecording(7, 8);
  listRecordings({{7, 8}});
  recorder.mutate = [](std::vector<std::uint8_t>& copy, std::uint64_t first, int index) {
    if (copy.size() == 8 * 528 && first == 0) copy[(1 + index % 2) * 528 + 40] ^= static_cast<std::uint8_t>(1 + index);
  };
  ASSERT_TRUE(download.start(options()));
  session.run();
  const RecordingOutcome& out = download.outcomes()[0];
  EXPECT_TRUE(out.completed);
  EXPECT_EQ(out.freshRequests, 2u);
  EXPECT_EQ(out.badPagesAccepted, 0u);
  EXPECT_EQ(list.row(0).entry.badPages, 0u);
  EXPECT_EQ(test::readFile(im2(7)), test::im2Of(flash[7]));
  EXPECT_EQ(test::readFile(info(7)).find(lang::text(57890)), std::string::npos);
}

TEST_F(DownloadTest, ARepeatThatWasNotHeardIsAskedForAgainNotSkipped) {
  addRecording(4, 24);
  listRecordings({{4, 24}});
  recorder.mutate = [this](std::vector<std::uint8_t>& copy, std::uint64_t first, int) {
    if (first == 8 && recorder.blocksSent == 3) {  // the first copy of pages 8-15 is bad…
      copy[100] ^= 0x01;
      recorder.ignoreControls = 1;  // …and the "r" for it goes unheard
    }
  };
  ASSERT_TRUE(download.start(options()));
  session.run();
  EXPECT_EQ(test::readFile(im2(4)), test::im2Of(flash[4]));
  const RecordingOutcome& out = download.outcomes()[0];
  EXPECT_EQ(out.resyncs, 0u);  // an "n" would have moved the recorder on to pages 16-23
  EXPECT_EQ(count(session.logText, '|'), 1);
  EXPECT_NE(session.controlBytes.find("nnnrrn"), std::string::npos) << session.controlBytes;
}

TEST_F(DownloadTest, APageBadInFlashIsStoredAsMostCopiesBringItNotAsTheLastOne) {
  addRecording(6, 8);
  listRecordings({{6, 8}});
  recorder.mutate = [](std::vector<std::uint8_t>& copy, std::uint64_t first, int index) {
    if (copy.size() != 8 * 528 || first != 0) return;
    copy[3 * 528 + 100] ^= 0x01;                                           // the flash's wrong byte
    if (index % 3 == 0) copy[3 * 528 + 7] ^= static_cast<std::uint8_t>(index);  // and now and then a fault on the way
  };
  ASSERT_TRUE(download.start(options()));
  session.run();
  const RecordingOutcome& out = download.outcomes()[0];
  EXPECT_TRUE(out.completed);
  EXPECT_EQ(out.badPagesAccepted, 1u);
  std::string want = test::im2Of(flash[6]);
  want[(3 + 1) * 528 + 100] ^= 0x01;
  EXPECT_TRUE(test::readFile(im2(6)) == want);  // (no byte dump of two pages on failure)
}

TEST_F(DownloadTest, SilenceIsAskedAgainAndEndsTheDownloadAfterTheLimit) {
  addRecording(2, 16);
  listRecordings({{2, 16}});
  recorder.silentBlocks = 3;  // three "n" not heard
  ASSERT_TRUE(download.start(options()));
  session.run();
  EXPECT_EQ(test::readFile(im2(2)), test::im2Of(flash[2]));
  EXPECT_EQ(count(session.logText, '|'), 3);

  // A recorder that stops sending altogether: 20 empty time-outs are retried, the 21st stops.
  fs::remove(im2(2));
  fs::remove(info(2));
  list.setPagesOnDisk(0, 0);
  list.setSelected(0, true);
  recorder.silentBlocks = 1000;
  session.logText.clear();
  ASSERT_TRUE(download.start(options()));
  session.run();
  EXPECT_EQ(count(session.logText, '|'), 11);  // the header allows 10 retries
  const RecordingOutcome& out = download.outcomes()[0];
  EXPECT_FALSE(out.completed);
  EXPECT_FALSE(out.problem.empty());
  EXPECT_EQ(session.controlBytes.back(), 'c');
  EXPECT_FALSE(session.flags_.download);
}

TEST_F(DownloadTest, OverrunAndShortBlocksAreFetchedAgain) {
  addRecording(3, 16);
  listRecordings({{3, 16}});
  recorder.extraBytes = 7;
  recorder.mutate = [this](std::vector<std::uint8_t>&, std::uint64_t first, int) {
    if (first == 8 && recorder.blocksSent == 4) recorder.dropBytes = 100;  // one short copy
  };
  ASSERT_TRUE(download.start(options()));
  session.run();
  EXPECT_EQ(test::readFile(im2(3)), test::im2Of(flash[3]));
  EXPECT_NE(session.logText.find('v'), std::string::npos);  // overrun
  EXPECT_NE(session.logText.find(':'), std::string::npos);  // time-out with some bytes
}

TEST_F(DownloadTest, StoppingLetsTheBlockFinishThenCancels) {
  addRecording(8, 40);
  addRecording(9, 10);
  listRecordings({{8, 40}, {9, 10}});
  recorder.mutate = [this](std::vector<std::uint8_t>&, std::uint64_t first, int) {
    if (first == 8) download.requestStop();  // the user releases the button during block 2
  };
  ASSERT_TRUE(download.start(options()));
  session.run();
  EXPECT_EQ(session.controlBytes.back(), 'c');
  EXPECT_EQ(fs::file_size(im2(8)), 17u * 528);  // header + 16 pages: the block under way was kept
  ASSERT_EQ(download.outcomes().size(), 2u);   // the queue ends: recording 9 is not reached
  EXPECT_FALSE(download.outcomes()[1].reached);
  EXPECT_EQ(download.outcomes()[1].fileNumber, 9u);
  EXPECT_NE(test::readFile(info(8)).find(lang::text(57900) + ": 16"), std::string::npos);
  EXPECT_FALSE(fs::exists(im2(9)));
  EXPECT_EQ(session.keepAliveStarts, 1);
}

TEST_F(DownloadTest, ABlockFromTheWrongPlaceIsNeverStored) {
  addRecording(4, 40);
  listRecordings({{4, 40}});
  // The block of pages 8..15 is sent but lost on the way; the host asks again with "n" after the
  // time-out and the recorder moves on to pages 16..23.
  recorder.mutate = nullptr;
  bool lost = false;
  recorder.mutate = [&](std::vector<std::uint8_t>&, std::uint64_t first, int) {
    if (first == 0 && !lost) {
      lost = true;
      recorder.lostBlocks = 1;
    }
  };
  ASSERT_TRUE(download.start(options()));
  session.run();
  EXPECT_EQ(test::readFile(im2(4)), test::im2Of(flash[4]));
  EXPECT_EQ(download.outcomes()[0].resyncs, 1u);
  ASSERT_EQ(recorder.requests.size(), 3u);
  EXPECT_EQ(recorder.requests[2], "$R5,DNL,4,8,39,8\r\n");
  EXPECT_EQ(download.outcomes()[0].badPagesAccepted, 0u);
}

TEST_F(DownloadTest, APageThatKeepsComingWithTheWrongNumberIsStoredAsSentAfterThreeRestarts) {
  addRecording(4, 20);
  listRecordings({{4, 20}});
  const auto renumber = [](std::uint8_t* page) {  // page 8 always carries number 99 (and a right check byte)
    page[520] = 99;
    page[521] = page[522] = page[523] = 0;
    page[527] = recdesk::audio::pageCheckByte(page);
  };
  recorder.mutate = [&](std::vector<std::uint8_t>& copy, std::uint64_t first, int) {
    if (first == 8) renumber(copy.data());
  };
  ASSERT_TRUE(download.start(options()));
  session.run();

  const RecordingOutcome& out = download.outcomes()[0];
  EXPECT_TRUE(out.completed) << out.problem;
  EXPECT_EQ(out.resyncs, 3u);
  EXPECT_EQ(out.wrongPlacePages, std::vector<std::uint64_t>{8});
  EXPECT_EQ(out.badPagesAccepted, 0u);
  // Header, first data request, three fresh requests from page 8; the rest of the recording follows.
  EXPECT_EQ(recorder.requests.size(), 5u);
  EXPECT_EQ(recorder.requests.back(), "$R5,DNL,4,8,19,8\r\n");
  std::string want = test::im2Of(flash[4]);
  renumber(reinterpret_cast<std::uint8_t*>(want.data()) + 9 * 528);  // page 8 as the recorder sent it
  EXPECT_EQ(test::readFile(im2(4)), want);
  const std::string text = test::readFile(info(4));
  EXPECT_NE(text.find(lang::text(58613) + ": " + lang::text(57891) + ": R5-12345 " + lang::text(57836) + ": 00004 " +
                      lang::text(57837) + ": 8 ("),
            std::string::npos)
      << text;
  EXPECT_NE(text.find(lang::text(57894)), std::string::npos);
  // A wrong place is no flash fault: no bad-block scan.
  EXPECT_TRUE(std::none_of(session.lines.begin(), session.lines.end(),
                           [](const std::string& l) { return l == "$R5,BAD\r\n"; }));
}

TEST_F(DownloadTest, DiskSpaceShortRefusesTheStart) {
  addRecording(1, 100);
  listRecordings({{1, 100}});
  download.freeSpace = [](const fs::path&) { return std::optional<std::uint64_t>(1000); };
  EXPECT_FALSE(download.start(options()));
  ASSERT_EQ(session.ui_.messages.size(), 1u);
  EXPECT_EQ(session.ui_.messages[0].caption, lang::text(57951));
  EXPECT_TRUE(recorder.requests.empty());
  EXPECT_EQ(session.keepAliveStarts, 1);
  EXPECT_FALSE(session.flags_.download);
}

TEST_F(DownloadTest, MissingFolderIsOfferedForCreation) {
  addRecording(1, 3);
  listRecordings({{1, 3}});
  session.settings_.downloadFolder = (dir / "new" / "deeper").string();
  session.ui_.answers = {ports::Answer::No};
  EXPECT_FALSE(download.start(options()));
  EXPECT_FALSE(fs::exists(dir / "new"));
  session.ui_.answers = {ports::Answer::Yes};
  ASSERT_TRUE(download.start(options()));
  session.run();
  EXPECT_TRUE(download.outcomes()[0].completed);
  EXPECT_TRUE(fs::exists(dir / "new" / "deeper" / "R5-12345.1.im2"));
}

TEST_F(DownloadTest, AHostileDeviceNameStaysInTheDownloadFolder) {
  addRecording(1, 3);
  listRecordings({{1, 3}}, "../../../tmp/evil\x01name");
  ASSERT_TRUE(download.start(options()));
  session.run();
  ASSERT_TRUE(download.outcomes()[0].completed);
  const fs::path written = download.outcomes()[0].files.im2;
  EXPECT_EQ(written.parent_path(), dir / "im2");
  EXPECT_TRUE(fs::exists(written));
  std::size_t files = 0;
  for (const auto& e : fs::recursive_directory_iterator(dir.path())) files += e.is_regular_file() ? 1 : 0;
  EXPECT_EQ(files, 2u);  // the IM2 and the information file, both in im2/
}

TEST_F(DownloadTest, AFileThatCannotBeOpenedEndsThatRecordingAndTheQueueGoesOn) {
  addRecording(1, 3);
  addRecording(2, 3);
  listRecordings({{1, 3}, {2, 3}});
  fs::create_directories(info(1));  // the information file's name is taken by a folder
  ASSERT_TRUE(download.start(options()));
  session.run();
  ASSERT_EQ(download.outcomes().size(), 2u);
  EXPECT_FALSE(download.outcomes()[0].completed);
  EXPECT_FALSE(download.outcomes()[0].problem.empty());
  EXPECT_TRUE(download.outcomes()[1].completed);
  EXPECT_EQ(test::readFile(im2(2)), test::im2Of(flash[2]));
  EXPECT_FALSE(session.ui_.messages.empty());
}

TEST_F(DownloadTest, RefusedRequestEndsThatRecordingOnly) {
  addRecording(2, 3);
  listRecordings({{1, 3}, {2, 3}});  // recording 1 is not in the recorder: refused
  ASSERT_TRUE(download.start(options()));
  session.run();
  ASSERT_EQ(download.outcomes().size(), 2u);
  EXPECT_FALSE(download.outcomes()[0].completed);
  EXPECT_NE(test::readFile(info(1)).find(lang::text(57947)), std::string::npos);
  EXPECT_TRUE(download.outcomes()[1].completed);
}

TEST_F(DownloadTest, AccelerationIsNormalised) {
  addRecording(1, 5);
  listRecordings({{1, 5}});
  ASSERT_TRUE(download.start(options(0)));
  session.run();
  EXPECT_EQ(recorder.requests[1], "$R5,DNL,1,0,4,1\r\n");
  EXPECT_EQ(test::readFile(im2(1)), test::im2Of(flash[1]));
  EXPECT_EQ(DownloadOptions::fromSettings([] {
              app::Settings s;
              s.acceleration = 100;
              return s;
            }()).acceleration,
            64);
}

TEST_F(DownloadTest, ALostLinkEndsTheDownloadKeepingThePartialFileAndSayingSoInItsReport) {
  addRecording(1, 40);
  addRecording(2, 10);
  addRecording(3, 5);
  listRecordings({{1, 40}, {2, 10}, {3, 5}});
  test::writeFile(im2(3), test::im2Of(flash[3]).substr(0, 3 * 528));
  list.setPagesOnDisk(2, 2);
  recorder.mutate = [this](std::vector<std::uint8_t>&, std::uint64_t first, int) {
    if (first == 16) session.failWrites = true;
  };
  ASSERT_TRUE(download.start(options()));
  session.run();
  EXPECT_EQ(finished, 1);
  EXPECT_FALSE(download.running());
  EXPECT_EQ(fs::file_size(im2(1)), 25u * 528);

  // Every recording asked for is accounted for, those never reached too.
  const auto& outcomes = download.outcomes();
  ASSERT_EQ(outcomes.size(), 3u);
  EXPECT_TRUE(outcomes[0].reached);
  EXPECT_EQ(outcomes[0].pagesOnDisk, 24u);
  EXPECT_FALSE(outcomes[0].completed);
  for (std::size_t i = 1; i < 3; ++i) {
    EXPECT_FALSE(outcomes[i].reached);
    EXPECT_FALSE(outcomes[i].completed);
    EXPECT_EQ(outcomes[i].fileNumber, i + 1);
    EXPECT_NE(outcomes[i].problem.find("link"), std::string::npos);
  }
  EXPECT_EQ(outcomes[2].pagesOnDisk, 2u);
  EXPECT_FALSE(fs::exists(im2(2)));

  // The report of the recording under way ends by saying what happened.
  const std::string text = test::readFile(info(1));
  EXPECT_GE(text.size(), lang::text(58614).size() + 3);
  EXPECT_EQ(text.substr(text.size() - lang::text(58614).size() - 3), " " + lang::text(58614) + "\r\n");
}

TEST_F(DownloadTest, FilesBeyondFourGibibytesContinue) {
  // A recording of 8,200,000 pages (4.3 GB) with all but its last 5 pages on disk (a sparse file).
  const std::uint64_t pages = 8200000;
  recorder.addGenerated(1, pages, 9);
  listRecordings({{1, pages}});
  std::vector<std::uint8_t> page(528);
  test::makePage(1, pages - 1, 9, page.data());
  test::writeFile(im2(1), std::string(page.begin(), page.end()));
  fs::resize_file(im2(1), (pages - 5 + 1) * 528);
  list.setPagesOnDisk(0, pages - 5);
  ASSERT_TRUE(download.start(options()));
  session.run();
  ASSERT_EQ(recorder.requests.size(), 1u);
  EXPECT_EQ(recorder.requests[0], "$R5,DNL,1,8199995,8199999,8\r\n");
  EXPECT_TRUE(download.outcomes()[0].completed);
  EXPECT_EQ(fs::file_size(im2(1)), (pages + 1) * 528);
  std::ifstream in(im2(1), std::ios::binary);
  in.seekg(static_cast<std::streamoff>(pages * 528));
  std::vector<char> last(528);
  in.read(last.data(), 528);
  EXPECT_TRUE(std::equal(last.begin(), last.end(), page.begin(), [](char a, std::uint8_t b) {
    return static_cast<std::uint8_t>(a) == b;
  }));
}

TEST_F(DownloadTest, AnEndLineInPlaceOfTheLastBlockLeadsToANewRequest) {
  addRecording(4, 16);
  listRecordings({{4, 16}});
  // The last block is lost on the way; the recorder, past its last page, answers the next "n" with
  // its end line while the host waits for block data.
  recorder.mutate = [this](std::vector<std::uint8_t>&, std::uint64_t first, int) {
    if (first == 0) recorder.lostBlocks = 1;
  };
  ASSERT_TRUE(download.start(options()));
  session.run();
  ASSERT_EQ(recorder.requests.size(), 3u);
  EXPECT_EQ(recorder.requests[2], "$R5,DNL,4,8,15,8\r\n");
  EXPECT_TRUE(download.outcomes()[0].completed);
  EXPECT_EQ(test::readFile(im2(4)), test::im2Of(flash[4]));
}

// ---- questions whose answers come later ------------------------------------------------------------

TEST_F(DownloadTest, TheExistingFileQuestionHoldsItsPlaceUntilTheAnswerComes) {
  addRecording(1, 5);
  addRecording(2, 3);
  listRecordings({{1, 5}, {2, 3}});
  test::writeFile(im2(1), test::im2Of(flash[1]).substr(0, 3 * 528));
  list.setSelected(0, true);
  list.setSelected(1, true);
  session.ui_.holdQuestions = true;
  ASSERT_TRUE(download.start(options()));
  ASSERT_EQ(session.ui_.held.size(), 1u);
  EXPECT_EQ(session.ui_.held[0].question.topic, ports::Topic::ExistingFile);
  EXPECT_TRUE(download.asking());
  EXPECT_TRUE(download.running());
  EXPECT_EQ(session.keepAliveStarts, 1);  // the session is kept alive while the user thinks

  // Whatever the link brings meanwhile moves nothing: stray replies, bytes, time-outs.
  download.onRequestAccepted();
  download.onEndOfTransfer();
  download.onCancelConfirmed();
  download.onRefused();
  session.deliverBytes(std::vector<std::uint8_t>(100, 0x55));
  download.onBlockTimeout();
  download.onRequestTimeout();
  download.onConfirmationTimeout();
  session.run(std::chrono::seconds(30));
  EXPECT_TRUE(recorder.requests.empty());
  EXPECT_TRUE(session.controlBytes.empty());
  EXPECT_TRUE(download.asking());
  ASSERT_EQ(download.outcomes().size(), 1u);
  EXPECT_TRUE(download.outcomes()[0].problem.empty());

  // Pressing the button again while it waits asks nothing more.
  ASSERT_TRUE(download.start(options()));
  EXPECT_EQ(session.ui_.held.size(), 1u);

  const int keepAliveStops = session.keepAliveStops;
  session.ui_.answerHeld(0, ports::Reply{ports::Answer::Ok, static_cast<std::size_t>(ports::ExistingFileChoice::StartAgain)});
  EXPECT_FALSE(download.asking());
  EXPECT_EQ(session.keepAliveStops, keepAliveStops + 1);
  session.run();
  EXPECT_EQ(test::readFile(im2(1)), test::im2Of(flash[1]));
  EXPECT_EQ(test::readFile(im2(2)), test::im2Of(flash[2]));
  ASSERT_EQ(download.outcomes().size(), 2u);
  EXPECT_TRUE(download.outcomes()[0].completed);
  EXPECT_EQ(download.outcomes()[0].pagesTransferred, 5u);  // started again from the first page
  EXPECT_EQ(finished, 1);
}

TEST_F(DownloadTest, AnAnswerThatComesAfterTheDownloadEndedIsDropped) {
  addRecording(1, 5);
  test::writeFile(im2(1), test::im2Of(flash[1]).substr(0, 3 * 528));
  listRecordings({{1, 5}});
  list.setSelected(0, true);
  session.ui_.holdQuestions = true;
  ASSERT_TRUE(download.start(options()));
  ASSERT_EQ(session.ui_.held.size(), 1u);

  download.onLinkLost();  // the recorder was unplugged while the question waited
  EXPECT_FALSE(download.running());
  EXPECT_FALSE(download.asking());
  EXPECT_EQ(finished, 1);
  ASSERT_EQ(download.outcomes().size(), 1u);
  EXPECT_EQ(download.outcomes()[0].problem, "the link to the recorder was lost");
  EXPECT_EQ(download.outcomes()[0].pagesOnDisk, 2u);

  session.ui_.answerHeld(0, ports::Reply{ports::Answer::Ok, static_cast<std::size_t>(ports::ExistingFileChoice::StartAgain)});
  session.run();
  EXPECT_TRUE(recorder.requests.empty());
  EXPECT_EQ(test::readFile(im2(1)).size(), 3u * 528);  // not deleted by the late answer
  EXPECT_EQ(finished, 1);
}

TEST_F(DownloadTest, TheFolderQuestionDelaysTheStartAndALateRefusalEndsIt) {
  addRecording(1, 3);
  listRecordings({{1, 3}});
  list.setSelected(0, true);
  session.settings_.downloadFolder = (dir / "later").string();
  session.ui_.holdQuestions = true;

  // No: the start ends when the answer comes, and says so.
  ASSERT_TRUE(download.start(options()));
  ASSERT_EQ(session.ui_.held.size(), 1u);
  EXPECT_EQ(session.ui_.held[0].question.topic, ports::Topic::CreateFolder);
  EXPECT_EQ(session.ui_.held[0].question.defaultAnswer, ports::Answer::No);
  EXPECT_FALSE(download.running());
  EXPECT_TRUE(session.flags_.download);
  EXPECT_EQ(finished, 0);
  session.ui_.answerHeld(0, ports::Answer::No);
  EXPECT_EQ(finished, 1);
  EXPECT_FALSE(session.flags_.download);
  EXPECT_FALSE(fs::exists(dir / "later"));

  // The button released while the question waits: a Yes then creates nothing and starts nothing.
  ASSERT_TRUE(download.start(options()));
  download.requestStop();
  ASSERT_EQ(session.ui_.held.size(), 1u);
  session.ui_.answerHeld(0, ports::Answer::Yes);
  EXPECT_EQ(finished, 2);
  EXPECT_FALSE(download.running());

  // Yes: the folder is made and the download runs.
  ASSERT_TRUE(download.start(options()));
  ASSERT_EQ(session.ui_.held.size(), 1u);
  session.ui_.answerHeld(0, ports::Answer::Yes);
  session.run();
  EXPECT_EQ(finished, 3);
  ASSERT_EQ(download.outcomes().size(), 1u);
  EXPECT_TRUE(download.outcomes()[0].completed);
  EXPECT_TRUE(fs::exists(dir / "later" / "R5-12345.1.im2"));
}
