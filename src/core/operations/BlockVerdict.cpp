#include "operations/BlockVerdict.h"

#include <cstring>

#include "FlashPage.h"
#include "operations/DownloadMath.h"

namespace recdesk::operations {

BlockPages classifyPages(const std::uint8_t* block, const ExpectedBlock& expected) {
  BlockPages pages;
  for (std::size_t i = 0; i < expected.pages; ++i) {
    const unsigned faults = pageFaults(block + i * kPageSize, expected.fileNumber, expected.pageNumber(i));
    if (faults & kPageMisplaced) {
      pages.misplaced.push_back(i);
    } else if (faults != kPageSound) {
      pages.bad.push_back(i);
    }
  }
  return pages;
}

BlockVerdict judgeBlock(const std::uint8_t* block, const ExpectedBlock& expected, const RepeatCounts& counts,
                        std::uint16_t repeatLimit, bool sameAsLastCopy) {
  BlockVerdict v;
  v.next = counts;
  bool misplaced = false;
  for (std::size_t i = 0; i < expected.pages; ++i) {
    const std::uint8_t* page = block + i * kPageSize;
    const unsigned faults = pageFaults(page, expected.fileNumber, expected.pageNumber(i));
    if (faults == kPageSound) continue;
    if (faults == kPageMisplaced && !misplaced) {
      misplaced = true;
      v.carriedPage = readTrailer(page).pageNumber;
    }
    v.badPages.push_back(i);
  }
  if (misplaced) {
    // Storing it would put audio at the wrong position, and "r" would only bring the same wrong
    // block again.
    v.action = BlockVerdict::Action::Resync;
    return v;
  }
  if (v.badPages.empty()) {
    v.action = BlockVerdict::Action::Accept;
    return v;
  }
  if (counts.identical < kIdenticalCopiesLimit && counts.repeats <= repeatLimit) {
    v.action = BlockVerdict::Action::Repeat;
    if (counts.repeats == 0) {
      v.keepCopy = true;
    } else if (sameAsLastCopy) {
      ++v.next.identical;
    } else {
      v.keepCopy = true;
      v.next.identical = 0;
    }
    ++v.next.repeats;
    return v;
  }
  // Copies that followed "r" may all have been cut the same wrong way out of the stream: the block
  // is requested afresh before its pages are given up.
  if (counts.freshRequests < kFreshRequestsBeforeAccepting) {
    v.action = BlockVerdict::Action::RequestAfresh;
    ++v.next.freshRequests;
    return v;
  }
  v.action = BlockVerdict::Action::AcceptBad;
  v.identicalCopies = counts.identical >= kIdenticalCopiesLimit;
  return v;
}

void BlockCopies::reset(std::uint16_t pages) {
  sound_.assign(static_cast<std::size_t>(pages) * kPageSize, 0);
  seen_.assign(pages, false);
  candidates_.assign(static_cast<std::size_t>(pages) * kPageSize, 0);
  votes_.assign(pages, 0);
}

void BlockCopies::note(const std::uint8_t* block, const ExpectedBlock& expected,
                       const std::vector<std::size_t>& badPages) {
  for (std::size_t i = 0, b = 0; i < expected.pages && i < seen_.size(); ++i) {
    const std::uint8_t* page = block + i * kPageSize;
    if (b < badPages.size() && badPages[b] == i) {
      ++b;
      // Only a page in its right place takes part: a copy cut out of the stream at the wrong place
      // brings no page at all.
      if (pageFaults(page, expected.fileNumber, expected.pageNumber(i)) != kPageCheck) continue;
      std::uint8_t* candidate = candidates_.data() + i * kPageSize;
      if (votes_[i] > 0 && std::memcmp(candidate, page, kPageSize) == 0) {
        ++votes_[i];
      } else if (votes_[i] > 0) {
        --votes_[i];
      } else {
        std::memcpy(candidate, page, kPageSize);
        votes_[i] = 1;
      }
      continue;
    }
    std::memcpy(sound_.data() + i * kPageSize, page, kPageSize);
    seen_[i] = true;
  }
}

std::vector<std::size_t> BlockCopies::mend(std::uint8_t* block, const std::vector<std::size_t>& badPages) const {
  std::vector<std::size_t> left;
  for (const std::size_t i : badPages) {
    if (i < seen_.size() && seen_[i]) {
      std::memcpy(block + i * kPageSize, sound_.data() + i * kPageSize, kPageSize);
      continue;
    }
    if (i < votes_.size() && votes_[i] > 0) std::memcpy(block + i * kPageSize, candidates_.data() + i * kPageSize, kPageSize);
    left.push_back(i);
  }
  return left;
}

}  // namespace recdesk::operations
