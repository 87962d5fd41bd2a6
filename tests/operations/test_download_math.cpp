// The download's pure decisions.
#include <gtest/gtest.h>

#include "FakeSession.h"
#include "lang/Strings.h"
#include "operations/DownloadMath.h"

using namespace recdesk;
using namespace recdesk::operations;

TEST(PageCheck, EveryCoveredByteCountsAndTheTrailerNamesThePlace) {
  std::uint8_t page[528];
  test::makePage(7, 41, 3, page);
  EXPECT_EQ(pageFaults(page, 7, 41), kPageSound);
  for (const int i : {0, 300, 511, 525, 526}) {
    std::uint8_t copy[528];
    std::copy(page, page + 528, copy);
    copy[i] ^= 0x10;
    EXPECT_EQ(pageFaults(copy, 7, 41), kPageCheck) << i;
  }
  EXPECT_EQ(pageFaults(page, 7, 42), kPageMisplaced);
  EXPECT_EQ(pageFaults(page, 8, 41), kPageMisplaced);
  EXPECT_EQ(readTrailer(page).pageNumber, 41u);
}

TEST(BlockSize, AccelerationIsAPowerOfTwoFrom1To256) {
  EXPECT_EQ(normaliseAcceleration(0), 1);
  EXPECT_EQ(normaliseAcceleration(-5), 1);
  EXPECT_EQ(normaliseAcceleration(8), 8);
  EXPECT_EQ(normaliseAcceleration(100), 64);
  EXPECT_EQ(normaliseAcceleration(255), 128);
  EXPECT_EQ(normaliseAcceleration(256), 256);
  EXPECT_EQ(normaliseAcceleration(65535), 256);
}

TEST(BlockTimeout, FiveTimesTheWireTimePlusTwoAndAHalfSeconds) {
  EXPECT_EQ(blockTimeout(8, 2000000).count(), 2605);
  EXPECT_EQ(blockTimeout(1, 115200).count(), 45 * 5 + 2500);
  EXPECT_EQ(blockTimeout(0, 2000000).count(), 2500);
  EXPECT_EQ(blockTimeout(1, 0).count(), 45 * 5 + 2500);  // no division by zero
  EXPECT_EQ(repeatLimitFor(1000), 100);
  EXPECT_EQ(repeatLimitFor(3), 10);
  EXPECT_EQ(repeatLimitFor(1001), 100);  // a second adapter, or the second interface of a dual chip
  EXPECT_EQ(repeatLimitFor(2000), 10);
}

TEST(QuietGap, TwoPiecesAtTheLinkSpeedPlusTheAdapterLatency) {
  EXPECT_EQ(quietGap(1000000).count(), 11 + 20);  // 10.24 ms rounded up
  EXPECT_EQ(quietGap(3000000).count(), 4 + 20);
  EXPECT_EQ(quietGap(115200).count(), 89 + 20);
  EXPECT_EQ(quietGap(0).count(), 89 + 20);  // no division by zero
  // Always shorter than the block time-out it stands in for.
  for (const std::uint32_t baud : {115200u, 1000000u, 2000000u, 3000000u})
    EXPECT_LT(quietGap(baud), blockTimeout(1, baud)) << baud;
}

TEST(DiskSpace, OneDriveOrTwoDrivesAndTheShortOne) {
  const std::uint64_t M = 1048576;
  DiskSpaceInput in;
  in.im2Need = 10 * M;
  in.wavNeed = 40 * M;
  in.freeDownload = in.freeDecode = 51 * M;  // one drive: IM2 + WAV + 1 MiB
  EXPECT_TRUE(decideDiskSpace(in).ok);
  in.freeDownload = in.freeDecode = 51 * M - 1;
  auto v = decideDiskSpace(in);
  EXPECT_FALSE(v.ok);
  EXPECT_EQ(v.needed, 51 * M);
  in.autoDecode = false;  // without decoding only the IM2 files count
  EXPECT_TRUE(decideDiskSpace(in).ok);

  in.autoDecode = true;  // two drives: each folder for its own files
  in.freeDownload = 11 * M;
  in.freeDecode = 41 * M;
  EXPECT_TRUE(decideDiskSpace(in).ok);
  in.freeDecode = 40 * M;
  v = decideDiskSpace(in);
  EXPECT_FALSE(v.ok);
  EXPECT_TRUE(v.decodeFolderShort);
  EXPECT_EQ(v.available, 40 * M);
  in.freeDownload = 10 * M;
  v = decideDiskSpace(in);
  EXPECT_FALSE(v.decodeFolderShort);

  in.freeDownload.reset();  // a failed query counts as unlimited
  in.freeDecode.reset();
  in.im2Need = ~0ull;
  EXPECT_TRUE(decideDiskSpace(in).ok);
}

TEST(Progress, SmoothedRateTitleAndRemainingTime) {
  test::loadEnglish();
  TransferRate rate;
  using namespace std::chrono;
  const steady_clock::time_point t0{};
  rate.onBlock(8, 8, 8, t0);  // the first block only notes the time
  EXPECT_EQ(rate.pagesPerMs(), 0);
  EXPECT_EQ(remainingTimeText(8, 1000, rate.pagesPerMs()), lang::text(57809));
  std::uint64_t transferred = 8;
  for (int i = 1; i <= 38; ++i) {  // 304 pages in 304 ms: more than 300 pages counted
    transferred += 8;
    rate.onBlock(8, transferred, 8, t0 + milliseconds(8 * i));
  }
  EXPECT_DOUBLE_EQ(rate.pagesPerMs(), 1.0);
  EXPECT_EQ(progressTitle(500, 1000, 1.0), "    (50.0% @ 30.2 MB/min)");
  EXPECT_EQ(remainingTimeText(0, 120000, 1.0), "  2:00");
}

TEST(SizeText, SmallSizesInKilobytesFromOneMegabyteInMegabytes) {
  EXPECT_EQ(sizeText(1056), "1.0 kB");             // a recording of one data page
  EXPECT_EQ(sizeText(245 * 1024 + 512), "245.5 kB");
  EXPECT_EQ(sizeText(1048524), "1023.9 kB");
  EXPECT_EQ(sizeText(1048570), "1.0 MB");          // would round to 1024.0 kB
  EXPECT_EQ(sizeText(1048576), "1.0 MB");
  EXPECT_EQ(sizeText(5 * 1048576 + 600000), "5.6 MB");
  EXPECT_EQ(megabytesText(1048576 * 3), "3.0");    // the existing-file question keeps MB
}
