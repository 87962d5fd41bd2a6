#include "session/LineAssembler.h"

#include <cctype>

namespace recdesk::session {

namespace {
std::size_t leadingSpace(std::string_view text) {
  std::size_t i = 0;
  while (i < text.size() && std::isspace(static_cast<unsigned char>(text[i]))) ++i;
  return i;
}
}  // namespace

void LineAssembler::append(std::string_view bytes, const std::function<void(const std::string&)>& onLine,
                           const std::function<void(std::size_t)>& onDropped) {
  // Zero bytes are noise (a break at a wrong speed); they are dropped and the rest of the chunk is
  // kept, so that a good line behind them is not lost.
  std::string cleaned;
  if (bytes.find('\0') != std::string_view::npos) {
    cleaned.reserve(bytes.size());
    for (char c : bytes)
      if (c != '\0') cleaned.push_back(c);
    bytes = cleaned;
  }
  if (trimNext_) {
    bytes.remove_prefix(leadingSpace(bytes));
    if (bytes.empty()) return;
    trimNext_ = false;
  }

  // Take the chunk piece by piece, so that a long run never lands in the accumulator whole.
  while (!bytes.empty()) {
    const std::size_t cr = bytes.find('\r');
    const std::string_view piece = bytes.substr(0, cr == std::string_view::npos ? bytes.size() : cr);
    if (accumulator_.size() + piece.size() > kMaxLine) {
      // A line longer than any the recorder sends: drop the run up to its "\r" (or all of it).
      const std::size_t run = accumulator_.size() + piece.size();
      dropped_ += run;
      accumulator_.clear();
      if (onDropped) onDropped(run);
      if (cr == std::string_view::npos) return;
      bytes.remove_prefix(cr + 1);
      bytes.remove_prefix(leadingSpace(bytes));
      if (bytes.empty()) trimNext_ = true;
      continue;
    }
    accumulator_.append(piece);
    if (cr == std::string_view::npos) return;
    bytes.remove_prefix(cr + 1);
    const std::string line = std::move(accumulator_);
    accumulator_.clear();
    // The rest of the chunk loses its leading white space; when the chunk ends right here, the
    // white space of the next chunk is dropped the same way below.
    bytes.remove_prefix(leadingSpace(bytes));
    if (bytes.empty()) trimNext_ = true;
    onLine(line);
  }
}

}  // namespace recdesk::session
