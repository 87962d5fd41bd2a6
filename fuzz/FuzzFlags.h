#pragma once
// A target's own defaults for libFuzzer's flags, for its LLVMFuzzerInitialize: they go before the
// command line's flags, so a flag given there still wins.
#include <cstddef>
#include <initializer_list>
#include <utility>
#include <vector>

namespace recdesk::fuzz {

inline void defaultFlags(int* argc, char*** argv, std::initializer_list<const char*> flags) {
  static std::vector<char*> args;  // what *argv points at after a first call
  std::vector<char*> next(*argv, *argv + *argc);
  next.insert(next.begin() + 1, flags.size(), nullptr);
  std::size_t at = 1;
  for (const char* flag : flags) next[at++] = const_cast<char*>(flag);
  next.push_back(nullptr);
  args = std::move(next);
  *argc = static_cast<int>(args.size() - 1);
  *argv = args.data();
}

}  // namespace recdesk::fuzz
