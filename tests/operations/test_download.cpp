// The download engine against a fake session and a fake recorder in virtual time.
#include <gtest/gtest.h>

#include <filesystem>

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
    download.convert = [this](const RecordingFiles& f) {
      converted.push_back(f.im2);
      return ConversionOutcome{true, {f.wav}, {}};
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
  EXPECT_EQ(session.ui_.messages.size(), 1u);  // the existing-file question
}

TEST_F(DownloadTest, ExistingFileCanBeStartedAgainOrSkipped) {
  addRecording(1, 5);
  addRecording(2, 5);
  listRecordings({{1, 5}, {2, 5}});
  test::writeFile(im2(1), std::string(3 * 528, 'q'));
  test::writeFile(info(1), "old");
  test::writeFile(im2(2), std::string(2 * 528, 'q'));
  list.setSelected(0, true);
  list.setSelected(1, true);
  session.ui_.answers = {ports::Answer::No, ports::Answer::Cancel};  // start 1 again, skip 2
  ASSERT_TRUE(download.start(options()));
  session.run();
  EXPECT_EQ(test::readFile(im2(1)), test::im2Of(flash[1]));
  EXPECT_EQ(test::readFile(info(1)).find("old"), std::string::npos);
  EXPECT_EQ(test::readFile(im2(2)), std::string(2 * 528, 'q'));  // untouched
  ASSERT_EQ(download.outcomes().size(), 2u);
  EXPECT_TRUE(download.outcomes()[0].completed);
  EXPECT_TRUE(download.outcomes()[1].skipped);
  EXPECT_FALSE(list.isSelected(1));
  EXPECT_EQ(recorder.requests.size(), 2u);  // header and data of recording 1 only
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
  EXPECT_EQ(download.outcomes().size(), 1u);   // the queue ends
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

TEST_F(DownloadTest, ARecorderThatKeepsSendingTheWrongPlaceEndsTheRecordingIncomplete) {
  addRecording(4, 16);
  listRecordings({{4, 16}});
  recorder.mutate = [](std::vector<std::uint8_t>& copy, std::uint64_t first, int) {
    if (first == 8) {  // page 8 always carries number 99 (and a right check byte)
      copy[520] = 99;
      copy[521] = copy[522] = copy[523] = 0;
      copy[527] = recdesk::audio::pageCheckByte(copy.data());
    }
  };
  ASSERT_TRUE(download.start(options()));
  session.run();
  const RecordingOutcome& out = download.outcomes()[0];
  EXPECT_FALSE(out.completed);
  EXPECT_EQ(out.pagesOnDisk, 8u);
  EXPECT_EQ(fs::file_size(im2(4)), 9u * 528);  // nothing after page 7
  EXPECT_NE(out.problem.find("99"), std::string::npos);
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

TEST_F(DownloadTest, ALostLinkEndsTheDownloadKeepingThePartialFile) {
  addRecording(1, 40);
  listRecordings({{1, 40}});
  recorder.mutate = [this](std::vector<std::uint8_t>&, std::uint64_t first, int) {
    if (first == 16) session.failWrites = true;
  };
  ASSERT_TRUE(download.start(options()));
  session.run();
  EXPECT_EQ(finished, 1);
  EXPECT_FALSE(download.running());
  EXPECT_EQ(download.outcomes()[0].pagesOnDisk, 24u);
  EXPECT_EQ(fs::file_size(im2(1)), 25u * 528);
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
