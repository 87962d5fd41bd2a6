// Line assembly, reply dispatch and block-mode receiving of the session host, fed with arbitrary
// device bytes, with no time passing: what a burst of replies does to the session. The records of
// an input are those of SessionRig.h; operation 3 (time passing) is fuzz_session's and is skipped
// here. Inputs beyond kMaxInput bytes are not run (a session's worth of lines fits well below).
#include <cstddef>
#include <cstdint>

#include "SessionRig.h"

namespace {
constexpr std::size_t kMaxInput = 2048;
}  // namespace

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv) {
  recdesk::fuzz::noPerInputLeakCheck(argc, argv);
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size > kMaxInput) return 0;
  static auto& rig = *new recdesk::fuzz::SessionRig;
  rig.reconnect(data, size);
  recdesk::fuzz::applyRecords(rig, data, size, [](int) {});
  return 0;
}
