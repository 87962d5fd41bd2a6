#pragma once
// A target's own defaults for libFuzzer's flags, for its LLVMFuzzerInitialize: they go before the
// command line's flags, so a flag given there still wins.
#include <cstddef>
#include <initializer_list>
#include <vector>

namespace recdesk::fuzz {

inline void defaultFlags(int* argc, char*** argv, std::initializer_list<const char*> flags) {
  static std::vector<char*> args;
  args.assign(*argv, *argv + *argc);
  args.insert(args.begin() + 1, flags.size(), nullptr);
  std::size_t at = 1;
  for (const char* flag : flags) args[at++] = const_cast<char*>(flag);
  args.push_back(nullptr);
  *argc = static_cast<int>(args.size() - 1);
  *argv = args.data();
}

}  // namespace recdesk::fuzz
