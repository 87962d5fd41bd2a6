// IM2 -> WAV conversion: parts and their names, cutting and page splitting, part summaries and
// faulty-page counts, cancel and file-error endings, partial and damaged sources, container streams.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>

#include <filesystem>
#include <string>
#include <vector>

#include "MemoryFileSystem.h"
#include "TestSupport.h"
#include "audio/AudioDecoder.h"
#include "audio/Im2Converter.h"
#include "audio/WaveFile.h"
#include "lang/Strings.h"
#include "recording/DemoRecordings.h"
#include "recording/RecordingWriter.h"

namespace recdesk::audio {
namespace {

namespace fs = std::filesystem;
using sim::Recording;
using sim::RecordingFormat;

struct Wav {
  WaveHeader header;
  std::string data;
  bool valid = false;
};

Wav readWav(const fs::path& file) {
  const std::string bytes = test::readFile(file);
  Wav w;
  w.valid = WaveHeader::fromBytes(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size(), w.header);
  if (bytes.size() > 44) w.data = bytes.substr(44);
  // The lengths in the header match the file.
  if (w.valid) w.valid = w.header.dataLength == bytes.size() - 44 && w.header.riffLength == bytes.size() - 8;
  return w;
}

// Everything the pages decode to, in order (what a single-part conversion must write).
std::string decodeAll(const Recording& r) {
  AudioDecoder d;
  d.setPage(r.page(r.pageCount() - 1));
  d.ParseHeader(false);
  std::string out;
  std::vector<std::uint8_t> buf(kPageOutputBuffer);
  for (std::size_t i = 0; i < r.pageCount(); ++i) {
    d.setPage(r.page(i));
    const auto res = d.DecodePage(buf.data());
    out.append(reinterpret_cast<const char*>(buf.data()), res.bytes);
  }
  return out;
}

int countOf(const std::string& haystack, const std::string& needle) {
  int n = 0;
  for (std::size_t at = haystack.find(needle); at != std::string::npos; at = haystack.find(needle, at + 1)) ++n;
  return n;
}

class Convert : public ::testing::Test {
 protected:
  void SetUp() override { test::loadEnglish(); }

  ConvertResult run(const Recording& r, ConvertRequest request = {}) {
    r.writeIm2(dir / "rec.im2");
    return runFile(std::move(request));
  }
  ConvertResult runFile(ConvertRequest request = {}) {
    if (request.sourcePath.empty()) request.sourcePath = (dir / "rec.im2").string();
    if (request.wavPath.empty()) request.wavPath = (dir / "out.wav").string();
    return Im2Converter(ui, [this](const std::string& s) { log += s; }).convert(request);
  }
  std::string info(unsigned part) { return test::readFile(infoPartPath((dir / "out").string(), part)); }
  Wav wav(unsigned part) { return readWav(wavPartPath((dir / "out").string(), part)); }
  std::string line(int id, const std::string& value) { return lang::text(id) + ": " + value + "\r\n"; }

  test::TempDir dir;
  test::FakeUi ui;
  std::string log;
};

Recording toneRecording(std::size_t pages, RecordingFormat f = {}) {
  auto tone = sim::makeTone(700, 0.3, f.sampleRate);
  return sim::makeRecording(f, *tone, pages);
}

TEST(CutLimit, TimeSizeAndTheCap) {
  EXPECT_EQ(cutLimitBytes(1, 0, 2, 16, 22050), 5292000u);
  EXPECT_EQ(cutLimitBytes(0, 1, 1, 16, 8000), 1048576u);
  EXPECT_EQ(cutLimitBytes(0, 4096, 1, 16, 8000), 0x7FF00000u);
  EXPECT_EQ(cutLimitBytes(0, 0, 1, 8, 8000), 0x7FF00000u);
  // 6000 minutes of 16-bit stereo 22050 Hz would be 31.8 GB: capped, not wrapped.
  EXPECT_EQ(cutLimitBytes(6000, 0, 2, 16, 22050), 0x7FF00000u);
  EXPECT_EQ(cutLimitBytes(65535, 0, 2, 16, 22050), 0x7FF00000u);
  EXPECT_EQ(cutLimitBytes(0, 65535, 2, 16, 22050), 0x7FF00000u);
  // The time setting wins when both are given.
  EXPECT_EQ(cutLimitBytes(1, 1, 1, 8, 8000), 480000u);
  EXPECT_EQ(wavBase("/a/b.WAV"), "/a/b");
  EXPECT_EQ(wavBase("/a/b"), "/a/b");
  EXPECT_EQ(wavPartPath("/a/b", 3), "/a/b.03.wav");
  EXPECT_EQ(infoPartPath("/a/b", 123), "/a/b.123.txt");
}

TEST_F(Convert, SinglePartHoldsEveryPageWithASummary) {
  RecordingFormat f;
  f.serial = 4711;
  f.fileNumber = 3;
  const Recording r = toneRecording(50, f);
  const ConvertResult res = run(r);
  ASSERT_EQ(res.status, ConvertStatus::Completed) << res.message;
  EXPECT_EQ(res.firstWavPath, (dir / "out.00.wav").string());
  ASSERT_EQ(res.parts.size(), 1u);
  EXPECT_FALSE(fs::exists(dir / "out.01.wav"));
  EXPECT_FALSE(fs::exists(dir / "out decode.im2"));
  const Wav w = wav(0);
  ASSERT_TRUE(w.valid);
  EXPECT_EQ(w.header.sampleRate, 8000u);
  EXPECT_EQ(w.header.bitsPerSample, 16);
  EXPECT_EQ(w.header.channels, 1);
  EXPECT_EQ(w.data, decodeAll(r));
  EXPECT_EQ(w.data.size(), 50u * 2042);

  const std::string text = info(0);
  // Text-mode line ends: CR LF, never CR CR LF.
  EXPECT_EQ(text.find("\r\r"), std::string::npos);
  EXPECT_EQ(countOf(text, "\n"), countOf(text, "\r\n"));
  EXPECT_NE(text.find(line(57844, "R5-04711")), std::string::npos);
  EXPECT_NE(text.find(line(57845, "3")), std::string::npos);
  EXPECT_NE(text.find(line(57846, "2024/05/17 09:30:00")), std::string::npos);
  EXPECT_NE(text.find(line(57850, "8,000 Hz")), std::string::npos);
  EXPECT_NE(text.find(line(57851, "4")), std::string::npos);
  // 50 pages x 1021 samples = 51050 samples = 6 s: "0:00:06", 48000 samples counted.
  EXPECT_NE(text.find(line(57847, "0:00:06")), std::string::npos);
  EXPECT_NE(text.find(line(57853, "48000")), std::string::npos);
  EXPECT_NE(text.find(line(57859, "0")), std::string::npos);
  EXPECT_NE(text.find(lang::text(57861)), std::string::npos);
  // The log has the start, the part heading and the summary.
  EXPECT_NE(log.find(lang::text(57828)), std::string::npos);
  EXPECT_NE(log.find(lang::text(57834) + " out.00.wav\r\n"), std::string::npos);
  EXPECT_NE(log.find(lang::text(57844) + ": R5-04711\r\n"), std::string::npos);
  EXPECT_EQ(ui.progressDoneCount, 1);
}

TEST_F(Convert, CutBySizeSplitsThePageThatCrossesTheLimit) {
  // 16-bit mono 8000 Hz output; 1100 pages x 2042 bytes = 2,246,200 bytes.
  const Recording r = toneRecording(1100);
  ConvertRequest request;
  request.cutMiB = 1;
  const ConvertResult res = run(r, request);
  ASSERT_EQ(res.status, ConvertStatus::Completed);
  ASSERT_EQ(res.parts.size(), 3u);
  std::string all;
  for (unsigned k = 0; k < 3; ++k) {
    const Wav w = wav(k);
    ASSERT_TRUE(w.valid) << k;
    EXPECT_EQ(w.data.size(), k < 2 ? 1048576u : 2246200u - 2 * 1048576u) << k;
    EXPECT_EQ(res.parts[k].dataBytes, w.data.size());
    all += w.data;
    EXPECT_NE(info(k).find(lang::text(57861)), std::string::npos) << "summary of part " << k;
  }
  EXPECT_EQ(all, decodeAll(r));
  // Each part starts where the one before ended: part 1 starts 65 s after the start (1048576 / 16000).
  EXPECT_NE(info(1).find(line(57848, "2024/05/17 09:31:05")), std::string::npos);
  EXPECT_NE(info(1).find(line(57849, "0:01:05")), std::string::npos);
  EXPECT_NE(log.find(lang::text(57834) + " out.02.wav\r\n"), std::string::npos);
}

TEST_F(Convert, FaultyPagesAreCountedInTheirOwnPart) {
  Recording r = toneRecording(20);
  for (std::size_t bad : {2u, 5u}) r.page(bad)[527] ^= 0x55;  // check failures
  r.page(7)[kOffFileNumber] ^= 0x01;                           // file number (and so the check)
  sim::sealPage(r.page(7));
  ConvertRequest request;
  request.cutLimitOverride = 10 * 2042;  // 10 pages per part
  const ConvertResult res = run(r, request);
  ASSERT_EQ(res.status, ConvertStatus::Completed);
  ASSERT_EQ(res.parts.size(), 2u);
  EXPECT_EQ(res.parts[0].faultyPages, 3u);
  EXPECT_EQ(res.parts[1].faultyPages, 0u);
  EXPECT_EQ(res.faultyPages, 3u);
  const std::string part0 = info(0);
  EXPECT_NE(part0.find(line(57859, "3")), std::string::npos);
  EXPECT_NE(part0.find(line(57858, "2")), std::string::npos);
  EXPECT_NE(part0.find(line(57855, "1")), std::string::npos);
  // Each faulty page is listed with its own page number.
  EXPECT_NE(part0.find(lang::text(57837) + ":7\r\n"), std::string::npos);
  EXPECT_NE(info(1).find(line(57859, "0")), std::string::npos);
  EXPECT_EQ(countOf(log, " " + lang::text(57835) + ":R5-12345 "), 3);
  // Faulty pages are decoded and written like the others.
  EXPECT_EQ(wav(0).data + wav(1).data, decodeAll(r));
}

TEST_F(Convert, CancelDuringPartTwoKeepsCompletePartsAndCorrectLengths) {
  const Recording r = toneRecording(60);
  ConvertRequest request;
  request.cutLimitOverride = 20 * 2042;
  ui.cancelAfterProgressCalls = 50;  // progress(0) and one per page: cancel at page 49
  const ConvertResult res = run(r, request);
  EXPECT_EQ(res.status, ConvertStatus::Cancelled);
  ASSERT_EQ(res.parts.size(), 3u);
  for (unsigned k = 0; k < 3; ++k) ASSERT_TRUE(wav(k).valid) << k;
  EXPECT_EQ(wav(0).data.size(), 20u * 2042);
  EXPECT_EQ(wav(2).data.size(), 9u * 2042);
  EXPECT_NE(info(1).find(lang::text(57861)), std::string::npos);
  EXPECT_EQ(info(2).find(lang::text(57861)), std::string::npos);  // no summary
  EXPECT_NE(info(2).find(lang::text(57839)), std::string::npos);
  EXPECT_NE(log.find(" " + lang::text(57839) + "\r\n"), std::string::npos);
}

TEST_F(Convert, FileErrorsEndLikeACancelWithCorrectLengths) {
  // The next part cannot be created (its name leads to a full device).
  const Recording r = toneRecording(30);
  fs::create_symlink("/dev/full", dir / "out.01.wav");
  ConvertRequest request;
  request.cutLimitOverride = 20 * 2042;
  ConvertResult res = run(r, request);
  EXPECT_EQ(res.status, ConvertStatus::WriteFailed);
  EXPECT_FALSE(res.message.empty());
  ASSERT_TRUE(wav(0).valid);
  EXPECT_EQ(wav(0).data.size(), 20u * 2042);
  EXPECT_NE(info(0).find(lang::text(57861)), std::string::npos);
  EXPECT_NE(log.find(" " + lang::text(57839) + "\r\n"), std::string::npos);
  fs::remove(dir / "out.01.wav");

  // The disk fills up in the middle of part 0 (after the first 256 KiB written).
  const Recording longer = toneRecording(300);
  longer.writeIm2(dir / "rec.im2");
  struct rlimit old {};
  ::getrlimit(RLIMIT_FSIZE, &old);
  const auto oldHandler = ::signal(SIGXFSZ, SIG_IGN);
  struct rlimit small = old;
  small.rlim_cur = 400000;
  ::setrlimit(RLIMIT_FSIZE, &small);
  res = runFile();
  ::setrlimit(RLIMIT_FSIZE, &old);
  ::signal(SIGXFSZ, oldHandler);
  EXPECT_EQ(res.status, ConvertStatus::WriteFailed);
  const Wav w = wav(0);
  EXPECT_TRUE(w.valid);
  EXPECT_GT(w.data.size(), 0u);
  EXPECT_LT(w.data.size(), 400000u);
  EXPECT_EQ(w.data, decodeAll(longer).substr(0, w.data.size()));
}

TEST_F(Convert, FilesInMemoryGetTheSamePartsAsOnTheDiskAndTheDiskIsNotTouched) {
  Recording r = toneRecording(45);
  r.page(12)[527] ^= 0x55;  // a faulty page in part 0
  ConvertRequest request;
  request.cutLimitOverride = 20 * 2042;
  const ConvertResult onDisk = run(r, request);
  ASSERT_EQ(onDisk.status, ConvertStatus::Completed);
  ASSERT_EQ(onDisk.parts.size(), 3u);

  test::MemoryFileSystem files;
  const std::string folder = (dir / "memory").string();
  files.put(folder + "/rec.im2", test::readFile(dir / "rec.im2"));
  request.sourcePath = folder + "/rec.im2";
  request.wavPath = folder + "/out.wav";
  request.files = &files;
  const ConvertResult inMemory = Im2Converter(ui).convert(request);
  ASSERT_EQ(inMemory.status, ConvertStatus::Completed) << inMemory.message;
  ASSERT_EQ(inMemory.parts.size(), 3u);
  for (unsigned k = 0; k < 3; ++k) {
    EXPECT_EQ(files.content(wavPartPath(folder + "/out", k)), test::readFile(wavPartPath((dir / "out").string(), k)))
        << "part " << k;
    EXPECT_EQ(files.content(infoPartPath(folder + "/out", k)), info(k)) << "part " << k;
    EXPECT_EQ(inMemory.parts[k].dataBytes, onDisk.parts[k].dataBytes);
    EXPECT_EQ(inMemory.parts[k].faultyPages, onDisk.parts[k].faultyPages);
  }
  EXPECT_EQ(files.paths().size(), 7u);  // the source and three parts with their information files
  EXPECT_EQ(files.openFiles(), 0u);
  EXPECT_FALSE(fs::exists(folder));

  // The question before replacing part 00 looks where the files are.
  EXPECT_TRUE(overwriteQuestion(request.wavPath, files).has_value());
  EXPECT_FALSE(overwriteQuestion(request.wavPath).has_value());
  request.askBeforeOverwrite = true;
  ui.answers.push_back(ports::Answer::No);
  EXPECT_EQ(Im2Converter(ui).convert(request).status, ConvertStatus::Declined);

  // A full disk in memory ends the conversion as on the disk: the part keeps what was written,
  // with lengths that match.
  test::MemoryFileSystem small(50000);
  small.put(request.sourcePath, test::readFile(dir / "rec.im2"));
  request.askBeforeOverwrite = false;
  request.cutLimitOverride = 0;
  request.files = &small;
  const ConvertResult full = Im2Converter(ui).convert(request);
  EXPECT_EQ(full.status, ConvertStatus::WriteFailed);
  ASSERT_EQ(full.parts.size(), 1u);
  const auto bytes = small.content(full.parts[0].wavPath);
  ASSERT_TRUE(bytes.has_value());
  EXPECT_EQ(bytes->size(), 50000u);
  EXPECT_EQ(full.parts[0].dataBytes + 44, bytes->size());
  EXPECT_EQ(bytes->substr(44, 20 * 2042), wav(0).data);
  WaveHeader header;
  ASSERT_TRUE(WaveHeader::fromBytes(reinterpret_cast<const std::uint8_t*>(bytes->data()), 44, header));
  EXPECT_EQ(header.dataLength, 50000u - 44);
  EXPECT_EQ(small.openFiles(), 0u);
}

TEST_F(Convert, ExistingOutputIsReplacedOnlyWhenTheUserAgrees) {
  const Recording r = toneRecording(3);
  test::writeFile(dir / "out.00.wav", "keep me");
  ui.answers.push_back(ports::Answer::No);
  ConvertResult res = run(r);
  EXPECT_EQ(res.status, ConvertStatus::Declined);
  EXPECT_EQ(test::readFile(dir / "out.00.wav"), "keep me");
  ASSERT_EQ(ui.messages.size(), 1u);
  EXPECT_NE(ui.messages[0].text.find((dir / "out.00.wav").string()), std::string::npos);
  EXPECT_EQ(ui.messages[0].buttons, ports::Buttons::YesNo);
  ui.answers.push_back(ports::Answer::Yes);
  res = runFile();
  EXPECT_EQ(res.status, ConvertStatus::Completed);
  EXPECT_TRUE(wav(0).valid);
}

TEST_F(Convert, PartialDownloadsAndDamagedHeadersConvertWhatTheFileHolds) {
  const Recording r = toneRecording(10);
  auto im2 = r.im2();
  // Pages 0..5 and half of page 6 on disk.
  test::writeFile(dir / "rec.im2", std::string(im2.begin(), im2.begin() + 7 * kPageSize + 300));
  ConvertResult res = runFile();
  EXPECT_EQ(res.status, ConvertStatus::Completed);
  EXPECT_EQ(res.pagesProcessed, 6u);
  EXPECT_EQ(wav(0).data, decodeAll(r).substr(0, 6 * 2042));
  // The summary gives the whole recording's length (10 pages) all the same.
  EXPECT_NE(info(0).find(line(57847, "0:00:01")), std::string::npos);

  // Only the header page: a part with a header and no audio, zero counts.
  test::writeFile(dir / "rec.im2", std::string(im2.begin(), im2.begin() + kPageSize));
  ConvertRequest request;
  request.askBeforeOverwrite = false;
  res = runFile(request);
  EXPECT_EQ(res.status, ConvertStatus::Completed);
  EXPECT_TRUE(wav(0).valid);
  EXPECT_TRUE(wav(0).data.empty());
  EXPECT_NE(info(0).find(line(57859, "0")), std::string::npos);

  // A header whose page number is negative: the data pages in the file are converted.
  auto damaged = im2;
  writeU32(damaged.data() + kOffPageNumber, 0x80000000u);
  test::writeFile(dir / "rec.im2", std::string(damaged.begin(), damaged.end()));
  res = runFile(request);
  EXPECT_EQ(res.status, ConvertStatus::Completed);
  EXPECT_EQ(res.pagesProcessed, 10u);
  // A huge one: the end of the file ends the conversion.
  writeU32(damaged.data() + kOffPageNumber, 0x7FFFFFFFu);
  test::writeFile(dir / "rec.im2", std::string(damaged.begin(), damaged.end()));
  res = runFile(request);
  EXPECT_EQ(res.status, ConvertStatus::Completed);
  EXPECT_EQ(res.pagesProcessed, 10u);
}

TEST_F(Convert, RefusalsLeaveNoOutput) {
  ConvertRequest request;
  request.sourcePath = (dir / "missing.im2").string();
  ConvertResult res = runFile(request);
  EXPECT_EQ(res.status, ConvertStatus::SourceOpenFailed);
  EXPECT_NE(res.message.find("missing.im2"), std::string::npos);
  EXPECT_EQ(ui.messages.size(), 1u);  // told in a message box

  test::writeFile(dir / "rec.im2", std::string(100, 'x'));
  res = runFile();
  EXPECT_EQ(res.status, ConvertStatus::NotARecording);

  // 4 bits with encoding 9: refused, not decoded into noise.
  Recording r = toneRecording(3);
  r.page(2)[kOffEncoding] = 9;
  sim::sealPage(r.page(2));
  res = run(r);
  EXPECT_EQ(res.status, ConvertStatus::Unsupported);
  EXPECT_NE(res.message.find("encoding 9"), std::string::npos);
  EXPECT_FALSE(fs::exists(dir / "out.00.wav"));

  // The output folder does not exist.
  request = {};
  request.wavPath = (dir / "no" / "such" / "out.wav").string();
  res = run(toneRecording(3), request);
  EXPECT_EQ(res.status, ConvertStatus::OutputCreateFailed);
}

TEST_F(Convert, ContainerStreamConvertsEveryInnerPageWithoutFalseMismatches) {
  RecordingFormat outer;
  outer.family = kFamilyR6;
  RecordingFormat inner;
  inner.family = kFamilyT7;
  inner.encoding = kEncodingPrediction8;
  inner.serial = 55;
  auto tone = sim::makeTone(300, 0.4, 8000);
  // 70 inner pages: more than 33 outer pages, so passes without a whole inner page occur.
  const Recording r = sim::makeContainerRecording(outer, inner, *tone, 70);
  auto again = sim::makeTone(300, 0.4, 8000);
  const Recording direct = sim::makeRecording(inner, *again, 70, 70);

  const ConvertResult res = run(r);
  ASSERT_EQ(res.status, ConvertStatus::Completed) << res.message;
  EXPECT_EQ(res.pagesProcessed, 70u);
  EXPECT_EQ(res.faultyPages, 0u);
  EXPECT_EQ(res.deviceName, "T7-00055");
  const Wav w = wav(0);
  ASSERT_TRUE(w.valid);
  EXPECT_EQ(w.header.bitsPerSample, 8);
  EXPECT_EQ(w.data.size(), 70u * 1023);
  EXPECT_EQ(w.data, decodeAll(direct));
  EXPECT_NE(info(0).find(line(57856, "0")), std::string::npos);

  // A damaged outer page spoils the inner pages it carries; they are counted, the rest converts.
  Recording spoiled = r;
  for (std::size_t i = 100; i < 300; ++i) spoiled.page(20)[i] ^= 0xA5;
  const ConvertResult res2 = run(spoiled, {.askBeforeOverwrite = false});
  EXPECT_EQ(res2.status, ConvertStatus::Completed);
  EXPECT_EQ(res2.pagesProcessed, 70u);
  EXPECT_GE(res2.faultyPages, 1u);
  EXPECT_LE(res2.faultyPages, 2u);
}

TEST_F(Convert, EveryDemoRecordingConvertsWholeAndSound) {
  const auto demos = sim::makeDemoRecordings(321, 10);
  const auto paths = sim::writeDemoRecordings(dir.path() / "demo", demos);
  ASSERT_EQ(paths.size(), demos.size());
  for (std::size_t i = 0; i < paths.size(); ++i) {
    EXPECT_EQ(paths[i].filename().string(), demos[i].recording.format.deviceName() + "." +
                                               std::to_string(10 + i) + ".im2");
    ConvertRequest request;
    request.sourcePath = paths[i].string();
    request.wavPath = (dir / ("demo" + std::to_string(i) + ".wav")).string();
    const ConvertResult res = Im2Converter(ui).convert(request);
    ASSERT_EQ(res.status, ConvertStatus::Completed) << demos[i].title << ": " << res.message;
    EXPECT_EQ(res.faultyPages, 0u) << demos[i].title;
    ASSERT_EQ(res.parts.size(), 1u);
    const Wav w = readWav(res.parts[0].wavPath);
    EXPECT_TRUE(w.valid) << demos[i].title;
    EXPECT_GE(res.parts[0].seconds, 3u) << demos[i].title;
  }
}

}  // namespace
}  // namespace recdesk::audio
