#pragma once
// The line accumulator: bytes received in line mode become reply lines. A line ends at "\r" (which is
// not part of it); after each line the leading white space of the rest is dropped, which removes the
// "\n" of "\r\n" and leading blanks of the next line, also when the "\n" comes in the next chunk.
// A partial line waits for its "\r".
//
// The accumulator is bounded: a run of more than kMaxLine bytes without "\r" is garbage (noise at a
// wrong link speed, a babbling device) and is dropped instead of growing without limit.
#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

namespace recdesk::session {

class LineAssembler {
 public:
  static constexpr std::size_t kMaxLine = 4096;

  // Appends received bytes (zero bytes are dropped) and calls `onLine` for every complete line, in
  // order. `onDropped` is told the size of each garbage run that is dropped.
  void append(std::string_view bytes, const std::function<void(const std::string&)>& onLine,
              const std::function<void(std::size_t)>& onDropped = {});

  const std::string& pending() const { return accumulator_; }
  std::uint64_t droppedBytes() const { return dropped_; }
  void clear() {
    accumulator_.clear();
    trimNext_ = false;
  }

 private:
  std::string accumulator_;
  bool trimNext_ = false;  // the last line ended with its chunk: the next chunk's leading blanks go
  std::uint64_t dropped_ = 0;
};

}  // namespace recdesk::session
