// The PIN table file (the user names it; its text is not trusted) and the response made with it
// from a recorder's name and challenge. The input: a byte n, then n bytes of name and challenge
// ("name,challenge"), then the table text.
#include <cstddef>
#include <cstdint>
#include <string>

#include "operations/PinTable.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace recdesk::operations;
  if (size == 0 || size > PinTable::kMaxFileBytes) return 0;
  const std::size_t head = data[0] < size - 1 ? data[0] : size - 1;
  const std::string prompt(reinterpret_cast<const char*>(data + 1), head);
  const std::string text(reinterpret_cast<const char*>(data + 1 + head), size - 1 - head);
  std::string error;
  const auto table = PinTable::parse(text, "fuzz", error);
  const std::size_t comma = prompt.find(',');
  const std::string name = prompt.substr(0, comma);
  const std::string challenge = comma == std::string::npos ? std::string() : prompt.substr(comma + 1);
  const PinResponse r = pinResponse(table ? &*table : nullptr, "fuzz", name, challenge, "1234");
  if (!r.ok() && !r.digits.empty()) __builtin_trap();  // never part of a response
  for (char c : r.digits)
    if (c < '0' || c > '9') __builtin_trap();
  return 0;
}
