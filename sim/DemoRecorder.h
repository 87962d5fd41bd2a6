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

// A recording of `pages` pages of `format` whose payloads are pseudo-random bytes from `seed`, with
// valid trailers and check bytes (for download tests and benchmarks: every page differs).
Recording noiseRecording(const RecordingFormat& format, std::size_t pages, std::uint32_t seed);

// A device of `config` with `recordings` demo recordings, the factory password and (a T7) the
// transmitter's settings.
std::shared_ptr<SimRecorder> makeDemoRecorder(const DeviceConfig& config, int recordings);

}  // namespace recdesk::sim
