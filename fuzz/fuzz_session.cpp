// The session host in virtual time, fed with arbitrary device bytes between waits: pings, reply
// time-outs, speed cycling and the block and request timers meeting whatever the device sends. The
// records of an input are those of SessionRig.h (operation 3 lets time pass).
//
// An input runs at most kMaxWait of virtual time on its own (further waits are skipped), and only
// the time its records ask for: longer sessions only repeat the same pings and time-outs, and the
// time they took went from new inputs. What the host keeps across inputs (the speed cycle position,
// the ping retry count) lets later inputs go on from there. Inputs are at most 256 bytes: a few waits
// and the replies between them fit well within that; long runs of lines are fuzz_dispatch's, and
// here they took the time from the timers (at 512 bytes the line handling took a third of the run).
#include <algorithm>
#include <cstddef>
#include <cstdint>

#include "SessionRig.h"

namespace {
using recdesk::ports::Millis;
constexpr std::size_t kMaxInput = 256;  // as -max_len below
constexpr Millis kMaxWait{2000};
}  // namespace

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv) {
  recdesk::fuzz::noPerInputLeakCheck(argc, argv);
  recdesk::fuzz::defaultFlags(argc, argv, {"-max_len=256"});
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  // Inputs given on the command line (or to a merge) are not bounded by -max_len; skipped, they leave
  // no coverage, so that a merged corpus keeps only inputs a run can make too.
  if (size > kMaxInput) return 0;
  static auto& rig = *new recdesk::fuzz::SessionRig;
  rig.reconnect(data, size);
  Millis waited{0};
  recdesk::fuzz::applyRecords(rig, data, size, [&](int ms) {
    const Millis wait = std::min(Millis(ms), kMaxWait - waited);
    waited += wait;
    if (wait.count() > 0) rig.loop.runFor(wait);
  });
  return 0;
}
