#pragma once
// What the download does with a block copy that has come in whole: store it, ask for it again,
// request it afresh, accept its bad pages, or restart the transfer where the recorder should be.
// No I/O here: the verdict looks at the bytes and the counts the download keeps for the block, and
// BlockCopies remembers what earlier copies of the same block brought.
#include <cstddef>
#include <cstdint>
#include <vector>

namespace recdesk::operations {

// The block the host asked for: its file number, the page number of its first page, its page count.
struct ExpectedBlock {
  std::uint16_t fileNumber = 0;
  std::uint64_t firstPage = 0;
  std::uint16_t pages = 0;
  std::uint64_t pageNumber(std::size_t index) const { return firstPage + index; }
};

// Pages of a copy that failed, by index in the block.
struct BlockPages {
  std::vector<std::size_t> bad;         // failed the check byte (or, in `classify`, any fault)
  std::vector<std::size_t> misplaced;   // sound, but carrying another file or page number
};
// Every page of a copy against the expected block: `bad` holds pages with a wrong check byte in
// their right place, `misplaced` those naming another place (whatever their check byte).
BlockPages classifyPages(const std::uint8_t* block, const ExpectedBlock& expected);

// How often the block under way was fetched: repeats ("r") since it was first asked for, identical
// bad copies in a row, and the fresh requests of its place.
struct RepeatCounts {
  std::uint16_t repeats = 0;
  std::uint16_t identical = 0;
  int freshRequests = 0;
  bool operator==(const RepeatCounts&) const = default;
};

// Identical bad copies in a row after which the pages are taken as the flash holds them.
inline constexpr std::uint16_t kIdenticalCopiesLimit = 10;
// Fresh requests of a block that keeps failing before its bad pages are accepted.
inline constexpr int kFreshRequestsBeforeAccepting = 2;

struct BlockVerdict {
  enum class Action {
    Accept,         // every page sound: store the block
    Repeat,         // bad pages: ask for the same block again ("r")
    RequestAfresh,  // repeats used up: cancel and request the block from its first page again
    AcceptBad,      // fresh requests used up too: store it, the bad pages listed
    Resync,         // a sound page of another place: the recorder is elsewhere, restart from here
  };
  Action action = Action::Accept;
  std::vector<std::size_t> badPages;   // indices of the pages that failed (Repeat, AcceptBad…)
  std::uint64_t carriedPage = 0;       // Resync: the page number the first misplaced page carried
  RepeatCounts next;                   // the counts after this copy
  bool keepCopy = false;               // Repeat: this copy is the one the next is compared with
  bool identicalCopies = false;        // AcceptBad: the limit of identical copies was reached
};

// The verdict on a copy of `expected.pages` pages at `block`. `sameAsLastCopy`: the copy equals
// the bad copy kept before it (meaningless while counts.repeats is 0).
BlockVerdict judgeBlock(const std::uint8_t* block, const ExpectedBlock& expected, const RepeatCounts& counts,
                        std::uint16_t repeatLimit, bool sameAsLastCopy);

// What the copies of one block brought, page by page: a copy of each page that passed its checks,
// and for a page that failed in its right place the content most copies brought (a majority vote),
// which is what the flash holds when transmission faults are the rarer ones.
class BlockCopies {
 public:
  // Starts over for another block of `pages` pages.
  void reset(std::uint16_t pages);
  // Notes a copy: its sound pages, and votes for those in `badPages` that are in their right place.
  void note(const std::uint8_t* block, const ExpectedBlock& expected, const std::vector<std::size_t>& badPages);
  // Mends a copy about to be accepted: a page that passed in some copy replaces the failed one, a
  // page bad in every copy takes the content most copies brought. Returns the pages still bad.
  std::vector<std::size_t> mend(std::uint8_t* block, const std::vector<std::size_t>& badPages) const;

 private:
  std::vector<std::uint8_t> sound_;
  std::vector<bool> seen_;
  std::vector<std::uint8_t> candidates_;
  std::vector<int> votes_;
};

}  // namespace recdesk::operations
