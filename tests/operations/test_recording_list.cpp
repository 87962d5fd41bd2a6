// The recording list: record-line grammar, size arithmetic, selection and summary, and the reply
// handlers that feed it.
#include <gtest/gtest.h>

#include "FakeSession.h"
#include "audio/Im2Format.h"
#include "lang/Strings.h"
#include "operations/ListReplies.h"
#include "operations/RecordingList.h"

using namespace recdesk;
using namespace recdesk::operations;

namespace {

RecordingEntry entryOf(const std::string& line) {
  const ParsedRecord p = parseRecordLine(line);
  EXPECT_EQ(p.kind, RecordLineKind::Record) << line;
  return p.entry;
}

}  // namespace

TEST(RecordLine, ReadsEveryFieldAndRefusesWhatDoesNotFit) {
  test::loadEnglish();
  const RecordingEntry e = entryOf("$R5,MSG,LST,7,8000,4,1,0,20240517,093005,1000");
  EXPECT_EQ(e.fileNumber, 7);
  EXPECT_EQ(e.sampleRate, 8000);
  EXPECT_EQ(e.encodedBits, 4);
  EXPECT_EQ(e.channels, 1);
  EXPECT_EQ(e.pages, 1000u);
  EXPECT_EQ(e.start.format("%Y-%m-%d %H:%M:%S"), "2024-05-17 09:30:05");

  // Field count, trailing letters, sign, overflow of the 16-bit and 32-bit fields.
  for (const char* bad : {"$R5,MSG,LST,7,8000,4,1,0,20240517,093005,1000,9", "$R5,MSG,LST,7a,8000,4,1,0,20240517,093005,1000",
                          "$R5,MSG,LST,7,8000,4,1,0,20240517,093005,", "$R5,MSG,LST,7,8000,4,1,0,20240517,093005,-1",
                          "$R5,MSG,LST,70000,8000,4,1,0,20240517,093005,1", "$R5,MSG,LST,7,8000,4,1,0,20240517,093005,4294967296",
                          "$R5,MSG,LST,7,8000,4,300,0,20240517,093005,1"}) {
    EXPECT_EQ(parseRecordLine(bad).kind, RecordLineKind::Refused) << bad;
  }
  // One of the two date/time lengths being right is enough.
  EXPECT_EQ(parseRecordLine("$R5,MSG,LST,7,8000,4,1,0,2024051,093005,1").kind, RecordLineKind::Record);
  EXPECT_EQ(parseRecordLine("$R5,MSG,LST,7,8000,4,1,0,2024051,09300,1").kind, RecordLineKind::Refused);
  // Month and day 00 read as January the 1st; an impossible date leaves day zero; a start before
  // day zero is refused.
  EXPECT_EQ(entryOf("$R5,MSG,LST,7,8000,4,1,0,20240000,000000,1").start.format("%Y-%m-%d"), "2024-01-01");
  EXPECT_EQ(entryOf("$R5,MSG,LST,7,8000,4,1,0,20241340,000000,1").start.format("%Y-%m-%d %H:%M:%S"), "1899-12-30 00:00:00");
  EXPECT_EQ(parseRecordLine("$R5,MSG,LST,7,8000,4,1,0,18000101,000000,1").kind, RecordLineKind::Refused);
  // The largest page count the recorder can name is sized without overflow.
  EXPECT_EQ(entryOf("$R5,MSG,LST,7,8000,4,1,0,20240517,093005,4294967295").im2Size, 4294967296ull * 528);

  EXPECT_EQ(parseRecordLine("$R5,MSG,LST,END").kind, RecordLineKind::End);
  EXPECT_EQ(parseRecordLine("$R5,MSG,LST,7,BLENDED").kind, RecordLineKind::Ignored);
}

TEST(RecordingSizes, FollowTheRecordingFormat) {
  RecordingEntry e;
  e.sampleRate = 8000;
  e.encodedBits = 4;
  e.channels = 1;
  e.pages = 1000;
  EXPECT_EQ(samplesPerPagePerChannel(4, 1), 1021u);
  EXPECT_EQ(samplesPerPagePerChannel(8, 2), 255u);
  EXPECT_EQ(samplesPerPagePerChannel(16, 2), 128u);
  EXPECT_EQ(durationSeconds(e), 127);
  EXPECT_EQ(formatSpan(127), "0:02:07");
  EXPECT_EQ(im2Size(1000), 528528u);
  EXPECT_EQ(wavSize(e, 16), 2042032u);
  e.channels = 0;  // nothing divides by zero
  EXPECT_EQ(durationSeconds(e), 0);
  EXPECT_EQ(wavSize(e, 16), 0u);
  EXPECT_EQ(samplesPerPagePerChannel(0, 1), 0u);
  EXPECT_EQ(percentDownloaded(5, 0), 0);
  EXPECT_EQ(percentDownloaded(999, 1000), 99);
  EXPECT_EQ(percentDownloaded(~0ull, ~0ull), 100);
}

TEST(RecordingList, SelectionSummaryAndDiskFigures) {
  test::loadEnglish();
  RecordingList list;
  list.setDeviceName("R5-00042");
  EXPECT_EQ(list.outputBits(), 16u);
  EXPECT_EQ(list.summary().selection, "0 " + lang::text(57785));

  const std::size_t a = list.append(entryOf(test::recordLine(1, 1000)), 0);    // new: selected
  const std::size_t b = list.append(entryOf(test::recordLine(2, 1000)), 1000); // complete: deselected
  const std::size_t c = list.append(entryOf(test::recordLine(3, 1000)), 250);  // partial: selected, 25 %
  EXPECT_TRUE(list.isSelected(a));
  EXPECT_FALSE(list.isSelected(b));
  EXPECT_TRUE(list.isSelected(c));
  EXPECT_EQ(list.row(c).columns[RecordingList::kPercent], "25");
  EXPECT_EQ(list.row(a).columns[RecordingList::kNumber], "    1");
  EXPECT_EQ(list.row(a).columns[RecordingList::kDuration], "0:02:07");
  EXPECT_EQ(list.selectedPagesToTransfer(), 1750u);

  // Two selected rows: the count, and the sizes summed in MB with one decimal.
  EXPECT_EQ(list.summary().selection, "2 " + lang::text(57785) + " " + lang::text(57782));
  EXPECT_EQ(list.summary().im2, "IM2: 1.0 MB");
  EXPECT_EQ(list.summary().wav, "WAV: 3.9 MB");

  list.setSelected(c, false);
  EXPECT_NE(list.summary().selection.find(lang::text(57878)), std::string::npos);
  EXPECT_NE(list.summary().selection.find("8000Hz"), std::string::npos);

  list.setSelected(a, false);
  list.finishListing();
  EXPECT_EQ(list.summary().selection, "3 " + lang::text(57785));

  // An R6 recorder decodes to 8-bit samples: half the WAV estimate.
  list.setDeviceName("R6-00001");
  EXPECT_EQ(list.row(a).entry.wavSize, 1021u * 1000 + 32);
}

TEST(ListReplies, FillTheListAndReportRefusedLines) {
  test::loadEnglish();
  test::TempDir dir;
  test::FakeSession session;
  session.settings_.downloadFolder = dir.path().string();
  session.settings_.filePrefix = "";
  RecordingList list;
  ListReplies replies(session, list);
  std::string model;
  replies.onDeviceModel = [&](const std::string& m) { model = m; };

  replies.onAcknowledgement("$R5,ACK,LST,1234,7");
  EXPECT_EQ(list.deviceName(), "R5-1234");
  EXPECT_EQ(model, "R5");

  // A recording partly on disk arrives with its percentage: header page (of the recorder with
  // serial number 1234) and 5 data pages.
  const auto ofThisRecorder = [](std::string im2) {
    auto* header = reinterpret_cast<std::uint8_t*>(im2.data());
    audio::writeU16(header + audio::kOffSerial, 1234);
    header[audio::kOffCheck] = audio::pageCheckByte(header);
    return im2;
  };
  test::writeFile(dir / "R5-1234.2.im2", ofThisRecorder(test::im2Of(test::makePages(2, 10)).substr(0, 6 * 528)));
  // The whole of another recording 4 (6 pages, not 10): none of this recording 4 is on disk.
  {
    std::string other = ofThisRecorder(test::im2Of(test::makePages(4, 6)));
    other.resize(11 * 528, 'x');
    test::writeFile(dir / "R5-1234.4.im2", other);
  }
  EXPECT_EQ(replies.onRecordLine(test::recordLine(1, 100)), RecordLineKind::Record);
  EXPECT_EQ(replies.onRecordLine(test::recordLine(2, 10)), RecordLineKind::Record);
  EXPECT_EQ(list.row(1).entry.pagesOnDisk, 5u);
  EXPECT_EQ(list.row(1).columns[RecordingList::kPercent], "50");
  EXPECT_EQ(replies.onRecordLine(test::recordLine(4, 10)), RecordLineKind::Record);
  EXPECT_EQ(list.row(2).entry.pagesOnDisk, 0u);
  EXPECT_FALSE(list.completeOnDisk(2));
  EXPECT_TRUE(list.isSelected(2));

  EXPECT_EQ(replies.onRecordLine("$R5,MSG,LST,3,8000,4,1,0,20240517,093000,10,11"), RecordLineKind::Refused);
  ASSERT_EQ(session.ui_.messages.size(), 1u);
  EXPECT_NE(session.ui_.messages[0].text.find("Invalid Parameter(s)"), std::string::npos);
  ASSERT_EQ(session.fallbacks.size(), 1u);
  EXPECT_EQ(list.size(), 3u);

  EXPECT_EQ(replies.onRecordLine("$R5,MSG,LST,END"), RecordLineKind::End);
  EXPECT_EQ(list.focused(), std::optional<std::size_t>(0));

  // A new acknowledgement empties the list; one that does not parse keeps the old name.
  replies.onAcknowledgement("$R5,ACK,LST,");
  EXPECT_TRUE(list.empty());
  EXPECT_EQ(list.deviceName(), "R5-1234");
}

TEST(RecordingListChanges, EveryChangeReachesTheListenerWithItsRowAndTheSumsFollowTheSelection) {
  test::loadEnglish();
  struct Listener : RecordingListListener {
    void onListReset() override { events.push_back("reset"); }
    void onRowChanged(std::size_t index) override { events.push_back("row " + std::to_string(index)); }
    void onSelectionSums(const SelectionSums& s) override { sums.push_back(s); }
    std::vector<std::string> events;
    std::vector<SelectionSums> sums;
  } listener;
  RecordingList list;
  list.setDeviceName("R5-12345");
  list.setListener(&listener);
  list.append(entryOf("$R5,MSG,LST,1,8000,4,1,0,20240517,093005,100"), 0);
  list.append(entryOf("$R5,MSG,LST,2,8000,4,1,0,20240517,093005,50"), 50);  // complete on disk: not selected
  EXPECT_EQ(listener.events, (std::vector<std::string>{"row 0", "row 1"}));
  ASSERT_EQ(listener.sums.size(), 1u);
  EXPECT_EQ(listener.sums.back().count, 1u);
  EXPECT_EQ(listener.sums.back().pagesToTransfer, 100u);

  listener.events.clear();
  EXPECT_FALSE(list.setSelected(0, true));  // no change, no event
  EXPECT_TRUE(listener.events.empty());
  list.setPagesOnDisk(0, 40);
  EXPECT_EQ(listener.events.back(), "row 0");
  EXPECT_EQ(listener.sums.back().pagesToTransfer, 60u);
  list.setBadPages(1, 3);
  EXPECT_EQ(listener.events.back(), "row 1");
  list.setSelected(1, true);
  EXPECT_EQ(listener.sums.back(), list.selectionSums());
  EXPECT_EQ(listener.sums.back().count, 2u);
  EXPECT_EQ(listener.sums.back().im2Bytes, list.selectedIm2Bytes());

  // Only the rows whose selection changes are told.
  listener.events.clear();
  list.selectIncomplete();
  EXPECT_EQ(listener.events, (std::vector<std::string>{"row 1"}));
  EXPECT_EQ(listener.sums.back().count, 1u);

  list.clear();
  EXPECT_EQ(listener.events.back(), "reset");
  EXPECT_EQ(listener.sums.back(), SelectionSums{});
}
