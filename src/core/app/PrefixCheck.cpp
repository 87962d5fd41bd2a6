#include "app/PrefixCheck.h"

#include <cstring>

namespace recdesk::app {

namespace {

bool refused(char c) {
  const auto byte = static_cast<unsigned char>(c);
  return byte < 32 || byte == 127 || std::strchr(kRefusedPrefixCharacters, c) != nullptr;
}

bool continuationByte(char c) { return (static_cast<unsigned char>(c) & 0xC0) == 0x80; }

}  // namespace

PrefixCheck checkPrefix(std::string_view typed) {
  PrefixCheck check;
  check.text.reserve(typed.size());
  for (const char c : typed) {
    if (c == '\0' || refused(c))
      check.changed = true;
    else
      check.text.push_back(c);
  }
  if (check.text.size() > kMaxPrefixLength) {
    std::size_t cut = kMaxPrefixLength;
    while (cut > 0 && continuationByte(check.text[cut])) --cut;  // not inside a UTF-8 sequence
    check.text.resize(cut);
    check.changed = true;
  }
  return check;
}

}  // namespace recdesk::app
