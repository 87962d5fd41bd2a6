#pragma once
// A simulated device with a few generated recordings: what --demo and recdesk-sim serve.
#include <cstdint>
#include <memory>

#include "SimRecorder.h"

namespace recdesk::sim {

// Adds `count` recordings (file numbers continuing after the last one) of a few seconds each, in the
// formats the model records, made by the recording writer (valid IM2 pages). `seed` varies lengths,
// formats and sound.
void addDemoRecordings(SimRecorder& device, int count, std::uint64_t seed);

// A device of `config` with `recordings` demo recordings.
std::shared_ptr<SimRecorder> makeDemoRecorder(const DeviceConfig& config, int recordings);

}  // namespace recdesk::sim
