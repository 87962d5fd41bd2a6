// The verdict on a block copy and what the copies of one block are mended from.
#include <gtest/gtest.h>

#include <cstring>

#include "FakeSession.h"
#include "operations/BlockVerdict.h"

using namespace recdesk;
using namespace recdesk::operations;

namespace {

constexpr std::size_t kPage = 528;
using Action = BlockVerdict::Action;

// Pages 100.. of file 7, as the recorder holds them.
struct Block {
  explicit Block(std::uint16_t pages, std::uint32_t seed = 1) : expected{7, 100, pages}, bytes(pages * kPage) {
    for (std::uint16_t i = 0; i < pages; ++i) test::makePage(7, 100 + i, seed, page(i));
  }
  std::uint8_t* page(std::size_t i) { return bytes.data() + i * kPage; }
  void corrupt(std::size_t i, std::uint8_t how = 0x10) { page(i)[200] ^= how; }  // fails the check byte
  ExpectedBlock expected;
  std::vector<std::uint8_t> bytes;
};

BlockVerdict judge(Block& b, RepeatCounts counts, bool same = false, std::uint16_t limit = 10) {
  return judgeBlock(b.bytes.data(), b.expected, counts, limit, same);
}

}  // namespace

TEST(BlockVerdict, ASoundBlockIsAcceptedAndABadOneRepeatedKeepingTheFirstOrChangedCopy) {
  Block b(4);
  const BlockVerdict sound = judge(b, {3, 2, 1});
  EXPECT_EQ(sound.action, Action::Accept);
  EXPECT_TRUE(sound.badPages.empty());

  b.corrupt(1);
  b.corrupt(3);
  const BlockVerdict first = judge(b, {});
  EXPECT_EQ(first.action, Action::Repeat);
  EXPECT_EQ(first.badPages, (std::vector<std::size_t>{1, 3}));
  EXPECT_TRUE(first.keepCopy);
  EXPECT_EQ(first.next, (RepeatCounts{1, 0, 0}));

  // The same bad copy again counts as identical; another one starts the count again and is kept.
  const BlockVerdict same = judge(b, first.next, true);
  EXPECT_FALSE(same.keepCopy);
  EXPECT_EQ(same.next, (RepeatCounts{2, 1, 0}));
  const BlockVerdict changed = judge(b, same.next, false);
  EXPECT_TRUE(changed.keepCopy);
  EXPECT_EQ(changed.next, (RepeatCounts{3, 0, 0}));
}

TEST(BlockVerdict, AfterTheRepeatsTwoFreshRequestsComeBeforeBadPagesAreAccepted) {
  Block b(2);
  b.corrupt(0);
  // The repeat limit is reached once the repeats go beyond it.
  EXPECT_EQ(judge(b, {10, 0, 0}).action, Action::Repeat);
  const BlockVerdict afresh = judge(b, {11, 0, 0});
  EXPECT_EQ(afresh.action, Action::RequestAfresh);
  EXPECT_EQ(afresh.next.freshRequests, 1);
  EXPECT_EQ(judge(b, {11, 0, 1}).action, Action::RequestAfresh);
  const BlockVerdict accepted = judge(b, {11, 0, 2});
  EXPECT_EQ(accepted.action, Action::AcceptBad);
  EXPECT_EQ(accepted.badPages, (std::vector<std::size_t>{0}));
  EXPECT_FALSE(accepted.identicalCopies);

  // Ten identical copies end the repeats however high the limit (an FTDI adapter's 100).
  EXPECT_EQ(judge(b, {5, 9, 0}, true, 100).action, Action::Repeat);
  EXPECT_EQ(judge(b, {5, 10, 0}, true, 100).action, Action::RequestAfresh);
  const BlockVerdict identical = judge(b, {5, 10, 2}, true, 100);
  EXPECT_EQ(identical.action, Action::AcceptBad);
  EXPECT_TRUE(identical.identicalCopies);
}

TEST(BlockVerdict, ASoundPageOfAnotherPlaceRestartsTheTransferWhateverElseIsWrong) {
  Block b(4);
  b.corrupt(0);
  test::makePage(7, 250, 1, b.page(2));  // the recorder is elsewhere
  const BlockVerdict v = judge(b, {20, 10, 2});
  EXPECT_EQ(v.action, Action::Resync);
  EXPECT_EQ(v.carriedPage, 250u);

  // Another file's page in the right slot is the wrong place too.
  Block other(1);
  test::makePage(8, 100, 1, other.page(0));
  EXPECT_EQ(judge(other, {}).action, Action::Resync);

  // A page that fails its check byte and names another place proves nothing about the place: it is
  // a bad page, fetched again.
  Block garbled(2);
  test::makePage(7, 300, 1, garbled.page(1));
  garbled.corrupt(1);
  const BlockVerdict bad = judge(garbled, {});
  EXPECT_EQ(bad.action, Action::Repeat);
  EXPECT_EQ(bad.badPages, (std::vector<std::size_t>{1}));

  const BlockPages pages = classifyPages(garbled.bytes.data(), garbled.expected);
  EXPECT_EQ(pages.misplaced, (std::vector<std::size_t>{1}));
  EXPECT_TRUE(pages.bad.empty());
  garbled.corrupt(0);
  EXPECT_EQ(classifyPages(garbled.bytes.data(), garbled.expected).bad, (std::vector<std::size_t>{0}));
}

TEST(BlockCopies, APageThatPassedOnceIsNeverBadAndOneBadInEveryCopyTakesTheMajority) {
  BlockCopies copies;
  copies.reset(3);

  // Copy 1: page 0 sound, pages 1 and 2 bad (page 2 the way most copies bring it).
  Block c1(3);
  c1.corrupt(1, 0x01);
  c1.corrupt(2, 0x04);
  copies.note(c1.bytes.data(), c1.expected, {1, 2});
  // Copy 2: page 1 sound now, page 0 and page 2 bad (page 2 another way).
  Block c2(3);
  c2.corrupt(0);
  c2.corrupt(2, 0x08);
  copies.note(c2.bytes.data(), c2.expected, {0, 2});
  // Copy 3: like copy 1 for page 2; page 0 cut out of the stream at another place does not vote.
  Block c3(3);
  c3.corrupt(1);
  c3.corrupt(2, 0x04);
  test::makePage(7, 400, 1, c3.page(0));
  c3.corrupt(0);
  copies.note(c3.bytes.data(), c3.expected, {0, 1, 2});

  const std::vector<std::size_t> left = copies.mend(c3.bytes.data(), {0, 1, 2});
  EXPECT_EQ(left, (std::vector<std::size_t>{2}));
  Block truthCopy(3);
  EXPECT_EQ(std::memcmp(c3.page(0), truthCopy.page(0), kPage), 0);
  EXPECT_EQ(std::memcmp(c3.page(1), truthCopy.page(1), kPage), 0);
  Block majority(3);
  majority.corrupt(2, 0x04);
  EXPECT_EQ(std::memcmp(c3.page(2), majority.page(2), kPage), 0);

  // Another block starts over: nothing of the last one mends it.
  copies.reset(3);
  Block c4(3);
  c4.corrupt(1);
  EXPECT_EQ(copies.mend(c4.bytes.data(), {1}), (std::vector<std::size_t>{1}));
}
