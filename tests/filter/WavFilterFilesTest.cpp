// The WAV filter and its files: headers that lie or carry extra chunks, files that end mid-sample,
// cancelling, full disks, replacing files.
#include <gtest/gtest.h>
#include <sys/resource.h>

#include <csignal>

#include "FilterTestUtil.h"
#include "TestSupport.h"
#include "audio/WavFilter.h"
#include "lang/Strings.h"

namespace recdesk::audio {
namespace {

using test::FakeUi;
using test::filesIn;
using test::readFile;
using test::readHeader;
using test::readSamples;
using test::sine;
using test::TempDir;
using test::writeFile;
using test::writeWav;

void le16(std::string& s, unsigned v) {
  s += static_cast<char>(v & 0xFF);
  s += static_cast<char>((v >> 8) & 0xFF);
}
void le32(std::string& s, std::uint32_t v) {
  le16(s, v & 0xFFFF);
  le16(s, v >> 16);
}

// A WAV file built by hand: format chunk of `fmtSize` bytes, chunks before and after the audio.
struct HandMadeWav {
  std::uint16_t tag = 1;
  std::uint16_t channels = 1;
  std::uint32_t rate = 8000;
  std::uint16_t bits = 16;
  std::uint32_t fmtSize = 16;
  std::uint16_t subFormat = 1;  // extensible format only
  std::string before;           // whole chunks between the format and the data chunk
  std::string after;            // whole chunks after the data
  std::string audio;
  std::uint32_t declared = 0xFFFFFFF0u;  // data length in the header; 0xFFFFFFF0 = the audio's length

  std::string bytes() const {
    std::string fmt;
    le16(fmt, tag);
    le16(fmt, channels);
    le32(fmt, rate);
    le32(fmt, rate * channels * bits / 8);
    le16(fmt, static_cast<unsigned>(channels * bits / 8));
    le16(fmt, bits);
    if (fmtSize >= 18) le16(fmt, fmtSize - 18);
    if (fmtSize >= 40) {
      le16(fmt, bits);
      le32(fmt, 3);
      le16(fmt, subFormat);
      fmt += std::string("\x00\x00\x00\x00\x10\x00\x80\x00\x00\xaa\x00\x38\x9b\x71", 14);
    }
    fmt.resize(fmtSize, '\0');
    std::string body = "WAVEfmt ";
    le32(body, fmtSize);
    body += fmt;
    body += before;
    body += "data";
    le32(body, declared == 0xFFFFFFF0u ? static_cast<std::uint32_t>(audio.size()) : declared);
    body += audio;
    if (audio.size() % 2) body += '\0';
    body += after;
    std::string file = "RIFF";
    le32(file, static_cast<std::uint32_t>(body.size()));
    return file + body;
  }
};

std::string chunk(const std::string& id, const std::string& content) {
  std::string s = id;
  le32(s, static_cast<std::uint32_t>(content.size()));
  s += content;
  if (content.size() % 2) s += '\0';
  return s;
}

class WavFilterFiles : public ::testing::Test {
 protected:
  void SetUp() override {
    test::loadEnglish();
    // A canonical reference file and its audio bytes.
    writeWav(dir / "ref.wav", 8000, 1, 3000, sine(9000.0, 700.0, 8000));
    refAudio = readFile(dir / "ref.wav").substr(44);
    ASSERT_TRUE(Filter(path("ref.wav"), path("ref-out.wav"), 1, ui));
    refOut = readSamples(dir / "ref-out.wav");
  }
  std::string path(const std::string& name) const { return (dir / name).string(); }
  TempDir dir;
  FakeUi ui;
  std::string refAudio;
  std::vector<std::int16_t> refOut;
};

TEST_F(WavFilterFiles, ExtraChunksAndLongerFormatChunksAreSteppedOver) {
  HandMadeWav w;
  w.fmtSize = 18;
  w.before =
      chunk("LIST", std::string("INFOISFT\x03\x00\x00\x00rd\0", 15)) + chunk("junk", std::string(7, 'j'));
  w.after = chunk("LIST", std::string(40, 'x'));
  w.audio = refAudio;
  writeFile(dir / "chunks.wav", w.bytes());
  ASSERT_TRUE(Filter(path("chunks.wav"), path("out.wav"), 1, ui));
  EXPECT_EQ(readSamples(dir / "out.wav"), refOut);  // neither chunk became audio
  EXPECT_TRUE(ui.statuses.empty());

  // The extensible format with a PCM sub-format is PCM; with any other sub-format it is refused.
  w = HandMadeWav{};
  w.tag = 0xFFFE;
  w.fmtSize = 40;
  w.audio = refAudio;
  writeFile(dir / "ext.wav", w.bytes());
  ASSERT_TRUE(Filter(path("ext.wav"), path("out.wav"), 1, ui));
  EXPECT_EQ(readSamples(dir / "out.wav"), refOut);
  w.subFormat = 3;
  writeFile(dir / "ext.wav", w.bytes());
  EXPECT_EQ(filterWav(path("ext.wav"), path("out2.wav"), 1, ui), FilterResult::Refused);
  EXPECT_FALSE(std::filesystem::exists(dir / "out2.wav"));
}

TEST_F(WavFilterFiles, HeadersThatLieAboutTheLength) {
  // Claims more than the file holds: the audio present is filtered, and the user is told.
  HandMadeWav w;
  w.audio = refAudio;
  w.declared = 1000000;
  writeFile(dir / "long.wav", w.bytes());
  ASSERT_TRUE(Filter(path("long.wav"), path("out.wav"), 1, ui));
  EXPECT_EQ(readSamples(dir / "out.wav"), refOut);
  EXPECT_EQ(ui.statuses.size(), 1u);
  EXPECT_EQ(readHeader(dir / "out.wav").dataLength, refAudio.size());

  // Never filled in (a recording cut short): everything after the header is the audio.
  for (std::uint32_t declared : {0u, 0xFFFFFFFFu}) {
    w.declared = declared;
    writeFile(dir / "open.wav", w.bytes());
    ASSERT_TRUE(Filter(path("open.wav"), path("out.wav"), 1, ui));
    EXPECT_EQ(readSamples(dir / "out.wav"), refOut);
  }

  // Claims less: only the declared audio is used (what follows is not audio).
  w.declared = static_cast<std::uint32_t>(refAudio.size() - 1000);
  writeFile(dir / "short.wav", w.bytes());
  ASSERT_TRUE(Filter(path("short.wav"), path("out.wav"), 1, ui));
  const auto out = readSamples(dir / "out.wav");
  ASSERT_EQ(out.size(), (refAudio.size() - 1000) / 2);
  EXPECT_TRUE(std::equal(out.begin(), out.end(), refOut.begin()));
}

TEST_F(WavFilterFiles, AFileEndingMidSampleLosesOnlyTheBrokenSample) {
  HandMadeWav w;
  w.audio = refAudio + "\x7f";  // half a sample at the end
  writeFile(dir / "odd.wav", w.bytes());
  ASSERT_TRUE(Filter(path("odd.wav"), path("out.wav"), 1, ui));
  EXPECT_EQ(readSamples(dir / "out.wav"), refOut);
  EXPECT_EQ(readHeader(dir / "out.wav").dataLength, refAudio.size());
  EXPECT_EQ(ui.statuses.size(), 1u);

  // The same file cut off by the end of the file rather than by its header.
  std::string cut = readFile(dir / "ref.wav") + "\x01";
  writeFile(dir / "cut.wav", cut);  // header says refAudio.size(); the extra byte is ignored
  ASSERT_TRUE(Filter(path("cut.wav"), path("out.wav"), 1, ui));
  EXPECT_EQ(readSamples(dir / "out.wav"), refOut);

  // Stereo ending after the left sample of a frame: whole frames only.
  writeWav(dir / "st.wav", 8000, 2, 1000, sine(9000.0, 700.0, 8000));
  const std::string st = readFile(dir / "st.wav");
  HandMadeWav s;
  s.channels = 2;
  s.audio = st.substr(44) + "\x10\x20";
  writeFile(dir / "st-odd.wav", s.bytes());
  ASSERT_TRUE(Filter(path("st.wav"), path("st-out.wav"), 0, ui));
  ASSERT_TRUE(Filter(path("st-odd.wav"), path("st-odd-out.wav"), 0, ui));
  EXPECT_EQ(readFile(dir / "st-odd-out.wav"), readFile(dir / "st-out.wav"));
}

TEST_F(WavFilterFiles, AFileWithoutAudioGivesAnEmptyWavFile) {
  HandMadeWav w;
  w.channels = 2;
  w.rate = 22050;
  writeFile(dir / "empty.wav", w.bytes());
  ASSERT_TRUE(Filter(path("empty.wav"), path("out.wav"), 1, ui));
  const WaveHeader h = readHeader(dir / "out.wav");
  EXPECT_EQ(h.dataLength, 0u);
  EXPECT_EQ(h.channels, 2);
  EXPECT_EQ(h.sampleRate, 22050u);
  EXPECT_EQ(readFile(dir / "out.wav").size(), 44u);
}

TEST_F(WavFilterFiles, ProgressRunsFromZeroToOneThousand) {
  struct RecordingUi : FakeUi {
    std::vector<std::uint64_t> seen;
    bool progress(const std::string& caption, std::uint64_t done, std::uint64_t total) override {
      EXPECT_EQ(total, 1000u);
      EXPECT_EQ(caption, lang::text(TextId::Filtering));
      seen.push_back(done);
      return true;
    }
  } rui;
  writeWav(dir / "in.wav", 8000, 1, 100000, sine(9000.0, 700.0, 8000));  // 200000 bytes: 4 blocks
  ASSERT_TRUE(Filter(path("in.wav"), path("out.wav"), 3, rui));
  ASSERT_GE(rui.seen.size(), 4u);
  EXPECT_EQ(rui.seen.front(), 0u);
  EXPECT_EQ(rui.seen.back(), 1000u);
  EXPECT_TRUE(std::is_sorted(rui.seen.begin(), rui.seen.end()));
  EXPECT_EQ(rui.progressDoneCount, 1);
}

TEST_F(WavFilterFiles, CancellingLeavesNoOutputAndKeepsAnEarlierFile) {
  writeWav(dir / "in.wav", 8000, 2, 60000, sine(9000.0, 700.0, 8000));  // 240000 bytes: 4 blocks
  const auto before = filesIn(dir.path());
  for (std::uint64_t at : {1u, 2u, 3u}) {  // at the start, after one block, after two
    FakeUi cancelling;
    cancelling.cancelAfterProgressCalls = at;
    EXPECT_EQ(filterWav(path("in.wav"), path("new.wav"), 0, cancelling), FilterResult::Cancelled) << at;
    EXPECT_EQ(filesIn(dir.path()), before) << "cancelled at progress call " << at;
    EXPECT_TRUE(cancelling.messages.empty());
  }
  // A file the output would have replaced stays as it was.
  writeFile(dir / "old.wav", "the earlier file");
  FakeUi cancelling;
  cancelling.cancelAfterProgressCalls = 2;
  EXPECT_EQ(filterWav(path("in.wav"), path("old.wav"), 0, cancelling), FilterResult::Cancelled);
  EXPECT_EQ(readFile(dir / "old.wav"), "the earlier file");
}

TEST_F(WavFilterFiles, AFullDiskEndsWithAMessageAndNoOutput) {
  writeWav(dir / "in.wav", 8000, 1, 300000, sine(9000.0, 700.0, 8000));  // 600 kB
  const auto before = filesIn(dir.path());
  // A file-size limit makes writes past 200 kB fail the way a full disk does.
  rlimit old{};
  ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &old), 0);
  const auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
  rlimit small = old;
  small.rlim_cur = 200000;
  ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
  const FilterResult result = filterWav(path("in.wav"), path("out.wav"), 1, ui);
  setrlimit(RLIMIT_FSIZE, &old);
  std::signal(SIGXFSZ, oldHandler);

  EXPECT_EQ(result, FilterResult::Failed);
  ASSERT_EQ(ui.messages.size(), 1u);
  EXPECT_NE(ui.messages[0].text.find(path("out.wav")), std::string::npos) << ui.messages[0].text;
  EXPECT_EQ(ui.messages[0].text.find(".filtering"), std::string::npos) << ui.messages[0].text;
  EXPECT_EQ(filesIn(dir.path()), before);
}

TEST_F(WavFilterFiles, OutputThatCannotBeCreatedFailsWithAMessage) {
  for (const std::string& out : {path("no-such-folder/out.wav"), dir.path().string()}) {
    ui.messages.clear();
    EXPECT_EQ(filterWav(path("ref.wav"), out, 0, ui), FilterResult::Failed) << out;
    EXPECT_EQ(ui.messages.size(), 1u) << out;
  }
  EXPECT_EQ(filterWav(path("ref.wav"), path("x.wav"), 7, ui), FilterResult::Refused);
  EXPECT_EQ(filterWav(path("ref.wav"), path("x.wav"), -1, ui), FilterResult::Refused);
  EXPECT_FALSE(std::filesystem::exists(dir / "x.wav"));
}

TEST_F(WavFilterFiles, TheOutputMayReplaceTheInput) {
  std::filesystem::copy_file(dir / "ref.wav", dir / "same.wav");
  ASSERT_TRUE(Filter(path("same.wav"), path("same.wav"), 1, ui));
  EXPECT_EQ(readSamples(dir / "same.wav"), refOut);

  // Through a symbolic link: the file it points to is replaced, the link stays.
  std::filesystem::copy_file(dir / "ref.wav", dir / "target.wav");
  std::filesystem::create_symlink("target.wav", dir / "link.wav");
  ASSERT_TRUE(Filter(path("ref.wav"), path("link.wav"), 1, ui));
  EXPECT_TRUE(std::filesystem::is_symlink(dir / "link.wav"));
  EXPECT_EQ(readSamples(dir / "target.wav"), refOut);
}

TEST_F(WavFilterFiles, AnOutputNameAtTheFileNameLimitWorks) {
  const std::string longName = std::string(251, 'n') + ".wav";  // 255 bytes
  ASSERT_TRUE(Filter(path("ref.wav"), path(longName), 1, ui));
  EXPECT_EQ(readSamples(dir / longName), refOut);
}

TEST_F(WavFilterFiles, ProposedOutputNameCarriesTheModeName) {
  EXPECT_EQ(proposedFilterOutput("/rec/R5-1234_0007.wav", 1),
            "/rec/R5-1234_0007 " + filterModeName(1) + ".wav");
  EXPECT_FALSE(filterModeName(1).empty());
  EXPECT_NE(filterModeName(0), filterModeName(1));
  // A mode name never leads into another folder.
  const std::string saved = lang::text(filterModeText(6));
  lang::strings().set(lang::number(filterModeText(6)), "level/../../up");
  EXPECT_EQ(proposedFilterOutput("/rec/a.wav", 6), "/rec/a level-..-..-up.wav");
  lang::strings().set(lang::number(filterModeText(6)), saved);
}

TEST_F(WavFilterFiles, ModeTextsFollowTheModesInTheLanguageFile) {
  // The language file lists the seven mode names in mode order.
  for (int mode = 0; mode < kFilterModeCount; ++mode)
    EXPECT_EQ(lang::number(filterModeText(mode)), lang::number(TextId::FilterSpeechBand) + mode) << mode;
  EXPECT_EQ(filterModeText(-1), TextId::FilterSpeechBand);
  EXPECT_EQ(filterModeText(kFilterModeCount), TextId::FilterSpeechBand);
}

}  // namespace
}  // namespace recdesk::audio
