#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>
#include <stdexcept>
#include <vector>

#include "TestSupport.h"
#include "audio/CFile64.h"
#include "audio/WaveFile.h"

using recdesk::audio::CFile64;
using recdesk::audio::FileError;
using recdesk::audio::WaveFile;
using recdesk::audio::WaveHeader;
using recdesk::test::readFile;
using recdesk::test::TempDir;
using recdesk::test::writeFile;

namespace {

std::uint32_t le32(const std::string& b, std::size_t at) {
  return static_cast<std::uint8_t>(b[at]) | (static_cast<std::uint8_t>(b[at + 1]) << 8) |
         (static_cast<std::uint8_t>(b[at + 2]) << 16) | (static_cast<std::uint32_t>(static_cast<std::uint8_t>(b[at + 3])) << 24);
}
std::uint16_t le16(const std::string& b, std::size_t at) {
  return static_cast<std::uint16_t>(static_cast<std::uint8_t>(b[at]) | (static_cast<std::uint8_t>(b[at + 1]) << 8));
}

std::string defaultHeaderBytes() {
  const auto bytes = WaveHeader{}.toBytes();
  return std::string(bytes.begin(), bytes.end());
}

bool openForWriting(WaveFile& w, const std::string& path) {
  FileError error;
  return w.Open(path, CFile64::kWrite, CFile64::kShareRead | CFile64::kShareWrite, CFile64::kCreateAlways, &error);
}

}  // namespace

TEST(CFile64, FailedOpenFillsTheErrorRecordWithoutThrowing) {
  TempDir dir;
  const std::string missing = (dir / "missing.im2").string();
  CFile64 f;
  FileError error;
  EXPECT_FALSE(f.Open(missing, CFile64::kRead, CFile64::kShareRead, CFile64::kOpenExisting, &error));
  EXPECT_FALSE(f.isOpen());
  EXPECT_EQ(error.cause(), FileError::kFileNotFound);
  EXPECT_EQ(error.osError(), ENOENT);
  EXPECT_EQ(error.path(), missing);
  EXPECT_NE(error.describe().find(missing), std::string::npos);

  // Creating a file that must be new, when it exists; opening a folder as a file.
  writeFile(dir / "there", "x");
  EXPECT_FALSE(f.Open((dir / "there").string(), CFile64::kWrite, 0, CFile64::kCreateNew, &error));
  EXPECT_EQ(error.cause(), FileError::kAccessDenied);
  EXPECT_FALSE(f.Open(dir.path().string(), CFile64::kRead, 0, CFile64::kOpenExisting, &error));
  EXPECT_EQ(error.cause(), FileError::kAccessDenied);
  // No error record: still just false.
  EXPECT_FALSE(f.Open(missing, CFile64::kRead, 0, CFile64::kOpenExisting, nullptr));
}

TEST(CFile64, SeeksBothWaysAndRefusesPositionsBeforeTheStart) {
  TempDir dir;
  CFile64 f;
  ASSERT_TRUE(f.Open((dir / "a.bin").string(), CFile64::kReadWrite, 0, CFile64::kCreateAlways, nullptr));
  const std::string data = "0123456789";
  f.Write(data.data(), data.size());
  EXPECT_EQ(f.GetLength(), 10u);
  EXPECT_EQ(f.GetPosition(), 10u);
  EXPECT_EQ(f.Seek(4, CFile64::kCurrent, false), 6u);  // origin 1, direction 0: backwards
  char c = 0;
  EXPECT_EQ(f.Read(&c, 1), 1u);
  EXPECT_EQ(c, '6');
  EXPECT_EQ(f.Seek(2, CFile64::kCurrent, true), 9u);
  EXPECT_EQ(f.Seek(3, CFile64::kEnd, false), 7u);
  EXPECT_EQ(f.Seek(5, CFile64::kEnd, true), 15u);  // past the end is allowed, as for any file
  // A 64-bit position past 4 GiB (a sparse file), then back.
  const std::uint64_t far = (std::uint64_t{1} << 32) + 5;
  EXPECT_EQ(f.Seek(far, CFile64::kBegin), far);
  f.Write("z", 1);
  EXPECT_EQ(f.GetLength(), far + 1);
  EXPECT_EQ(f.Seek(far, CFile64::kCurrent, false), 1u);

  try {
    f.Seek(2, CFile64::kCurrent, false);
    FAIL() << "seeking before the start must raise";
  } catch (const FileError& e) {
    EXPECT_EQ(e.cause(), FileError::kBadSeek);
  }
  EXPECT_EQ(f.GetPosition(), 1u);  // unchanged
  f.SeekToBegin();
  f.SetEndOfFile();
  EXPECT_EQ(f.GetLength(), 0u);
  std::vector<char> buf(8);
  EXPECT_EQ(f.Read(buf.data(), buf.size()), 0u);  // end of file
  f.Close();
  EXPECT_FALSE(f.isOpen());
  EXPECT_TRUE(f.path().empty());
  EXPECT_THROW(f.GetLength(), FileError);  // a closed file raises instead of touching descriptor -1
}

TEST(CFile64, ShortWriteRaisesDiskFullNamingThePath) {
  CFile64 f;
  FileError error;
  ASSERT_TRUE(f.Open("/dev/full", CFile64::kWrite, 0, CFile64::kOpenExisting, &error)) << error.describe();
  const std::vector<char> data(4096, 'a');
  try {
    f.Write(data.data(), data.size());
    FAIL() << "writing to a full device must raise";
  } catch (const FileError& e) {
    EXPECT_EQ(e.cause(), FileError::kDiskFull);
    EXPECT_EQ(e.cause(), 13);
    EXPECT_EQ(e.path(), "/dev/full");
  }
  // A WAV file that cannot even take its header is not opened, and nothing is thrown.
  WaveFile w;
  EXPECT_FALSE(w.Open("/dev/full", CFile64::kWrite, 0, CFile64::kOpenExisting, &error));
  EXPECT_EQ(error.cause(), FileError::kDiskFull);
  EXPECT_FALSE(w.file().isOpen());
  // Positional writes report the failure instead of throwing.
  WaveFile w2;
  TempDir dir;
  ASSERT_TRUE(openForWriting(w2, (dir / "x.wav").string()));
  w2.file().Abort();
  EXPECT_FALSE(w2.WriteAtPosition(data.data(), 10));
  EXPECT_FALSE(w2.WaitWrite(true));
}

TEST(WaveFile, NewFileHoldsTheDefaultHeaderRightAfterOpen) {
  TempDir dir;
  const auto path = dir / "new.wav";
  WaveFile w;
  ASSERT_TRUE(openForWriting(w, path.string()));
  EXPECT_EQ(w.file().GetPosition(), 44u);
  const std::string bytes = readFile(path);
  ASSERT_EQ(bytes.size(), 44u);
  EXPECT_EQ(bytes.substr(0, 4), "RIFF");
  EXPECT_EQ(le32(bytes, 4), 36u);
  EXPECT_EQ(le16(bytes, 22), 1u);
  EXPECT_EQ(le32(bytes, 24), 11025u);
  EXPECT_EQ(le32(bytes, 28), 22050u);
  EXPECT_EQ(le16(bytes, 32), 2u);
  EXPECT_EQ(le16(bytes, 34), 16u);
  EXPECT_EQ(le32(bytes, 40), 0u);
}

TEST(WaveFile, SetFormatKeepsThePositionAndCloseCorrectsTheLengths) {
  TempDir dir;
  const auto path = dir / "part.00.wav";
  {
    WaveFile w;
    ASSERT_TRUE(openForWriting(w, path.string()));
    const std::vector<char> data(1000, 7);
    w.WriteAndExtend(data.data(), data.size());
    w.SetFormat(8000, 16, 1);
    EXPECT_EQ(w.file().GetPosition(), 1044u);
    const std::string mid = readFile(path);
    EXPECT_EQ(le32(mid, 28), 16000u);
    EXPECT_EQ(le16(mid, 32), 2u);
    EXPECT_EQ(le32(mid, 24), 8000u);
    w.Close();
  }
  const std::string bytes = readFile(path);
  ASSERT_EQ(bytes.size(), 1044u);
  EXPECT_EQ(le32(bytes, 4), 1036u);
  EXPECT_EQ(le32(bytes, 40), 1000u);

  // Reading it back: the header is taken from the file, position 44, seconds from the length.
  WaveFile r;
  FileError error;
  ASSERT_TRUE(r.Open(path.string(), CFile64::kRead, CFile64::kShareRead, CFile64::kOpenExisting, &error));
  EXPECT_TRUE(r.headerValid());
  std::uint32_t rate = 0;
  std::uint16_t bits = 0, channels = 0;
  r.GetFormat(rate, bits, channels);
  EXPECT_EQ(rate, 8000u);
  EXPECT_EQ(bits, 16u);
  EXPECT_EQ(channels, 1u);
  EXPECT_EQ(r.file().GetPosition(), 44u);
  r.Close();
  EXPECT_EQ(readFile(path), bytes);  // closing a file opened for reading changes nothing
}

TEST(WaveFile, PositionalAndPlainWritesGiveTheSameFile) {
  TempDir dir;
  std::vector<char> block(3000);
  for (std::size_t i = 0; i < block.size(); ++i) block[i] = static_cast<char>(i * 7);
  {
    WaveFile a;
    ASSERT_TRUE(openForWriting(a, (dir / "a.wav").string()));
    a.SetFormat(8000, 16, 1);
    for (int i = 0; i < 3; ++i) {
      ASSERT_TRUE(a.WaitWrite(false));
      ASSERT_TRUE(a.WriteAtPosition(block.data(), block.size()));
    }
    EXPECT_TRUE(a.WaitWrite(true));
    WaveFile b;
    ASSERT_TRUE(openForWriting(b, (dir / "b.wav").string()));
    b.SetFormat(8000, 16, 1);
    for (int i = 0; i < 3; ++i) b.WriteAndExtend(block.data(), block.size());
  }
  const std::string a = readFile(dir / "a.wav");
  EXPECT_EQ(a.size(), 44u + 9000u);
  EXPECT_EQ(a, readFile(dir / "b.wav"));
  EXPECT_EQ(le32(a, 40), 9000u);
}

TEST(WaveFile, Existing44ByteFileIsTreatedAsNew) {
  TempDir dir;
  const auto path = dir / "short.wav";
  WaveHeader odd;
  odd.sampleRate = 44100;
  odd.byteRate = 88200;
  const auto b = odd.toBytes();
  writeFile(path, std::string(b.begin(), b.end()));
  WaveFile w;
  FileError error;
  ASSERT_TRUE(w.Open(path.string(), CFile64::kReadWrite, 0, CFile64::kOpenAlways, &error));
  EXPECT_EQ(w.header().sampleRate, 11025u);
  EXPECT_EQ(readFile(path), defaultHeaderBytes());
  EXPECT_EQ(w.file().GetPosition(), 44u);
}

TEST(WaveFile, SecondsFromTheLengthAndTheByteRate) {
  TempDir dir;
  WaveFile w;
  ASSERT_TRUE(openForWriting(w, (dir / "s.wav").string()));
  w.SetFormat(8000, 16, 1);
  const std::vector<char> data(32000, 0);
  w.WriteAndExtend(data.data(), data.size());
  EXPECT_EQ(w.Seconds(), 2u);
  w.WriteAndExtend(data.data(), 15999);
  EXPECT_EQ(w.Seconds(), 2u);  // whole seconds only
  w.SetFormat(8000, 0, 1);     // a zero byte rate never divides by zero
  EXPECT_EQ(w.Seconds(), 0u);
}

TEST(WaveFile, DestructorCorrectsTheLengthsWhenTheOwnerUnwinds) {
  TempDir dir;
  const auto path = dir / "unwind.wav";
  try {
    WaveFile w;
    ASSERT_TRUE(openForWriting(w, path.string()));
    w.SetFormat(22050, 8, 2);
    const std::vector<char> data(500, 1);
    w.WriteAndExtend(data.data(), data.size());
    throw std::runtime_error("conversion failed");
  } catch (const std::runtime_error&) {
  }
  const std::string bytes = readFile(path);
  ASSERT_EQ(bytes.size(), 544u);
  EXPECT_EQ(le32(bytes, 4), 536u);
  EXPECT_EQ(le32(bytes, 40), 500u);
  EXPECT_EQ(le32(bytes, 28), 44100u);
}

TEST(WaveFile, InvalidHeadersAreReportedNotTrusted) {
  TempDir dir;
  const auto path = dir / "bad.wav";
  WaveHeader h;
  h.byteRate = 0;  // inconsistent with the format
  auto b = h.toBytes();
  std::string bytes(b.begin(), b.end());
  bytes += std::string(100, 'x');
  writeFile(path, bytes);
  WaveFile r;
  FileError error;
  ASSERT_TRUE(r.Open(path.string(), CFile64::kRead, CFile64::kShareRead, CFile64::kOpenExisting, &error));
  EXPECT_FALSE(r.headerValid());
  EXPECT_NE(r.header().byteRate, 0u);  // the defaults, never the garbage
  EXPECT_EQ(r.file().GetPosition(), 44u);
  r.Close();

  // Opening a foreign file for writing does not overwrite its first bytes when closing.
  writeFile(path, std::string(200, 'q'));
  {
    WaveFile w;
    ASSERT_TRUE(w.Open(path.string(), CFile64::kReadWrite, 0, CFile64::kOpenExisting, &error));
    EXPECT_FALSE(w.headerValid());
  }
  EXPECT_EQ(readFile(path), std::string(200, 'q'));

  WaveHeader out;
  const auto good = WaveHeader{}.toBytes();
  EXPECT_TRUE(WaveHeader::fromBytes(good.data(), good.size(), out));
  EXPECT_FALSE(WaveHeader::fromBytes(good.data(), 43, out));
  auto bad = good;
  bad[20] = 3;  // not PCM
  EXPECT_FALSE(WaveHeader::fromBytes(bad.data(), bad.size(), out));
  bad = good;
  std::memcpy(&bad[36], "LIST", 4);
  EXPECT_FALSE(WaveHeader::fromBytes(bad.data(), bad.size(), out));
}
