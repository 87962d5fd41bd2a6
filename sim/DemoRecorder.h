#pragma once
// A simulated device with a few generated recordings: what --demo and recdesk-sim serve.
#include <cstdint>
#include <filesystem>
#include <memory>

#include "SimRecorder.h"

namespace recdesk::sim {

// How long the demo recordings are. Short: 2 to 6 seconds of a tune each, quick to make and to
// fetch (what the test rigs use). Full: about `seconds` each (a minute unless asked otherwise) of
// varied sounds (a tune, speech-like syllables, a tone sweep, quiet room noise with events) in varied
// formats (rates, mono and stereo, 4- and 8-bit encodings): what people see with --demo.
struct DemoLength {
  bool full = false;
  double seconds = 60;
  static DemoLength shortOnes() { return {}; }
  static DemoLength fullOnes(double seconds = 60) { return {true, seconds}; }
};

// The length the demo front ends (recdesk --demo, recdesk-cli --demo, recdesk-sim) use: full ones of
// a minute, or as the environment's RECDESK_DEMO_SECONDS says (a number of seconds from 1 to 600;
// "0" or "short" asks for the short ones, which the test suites do to stay quick).
DemoLength demoLengthForPeople();

// Adds `count` recordings (file numbers continuing after the last one), in the formats the decoder
// reads, made by the recording writer (valid IM2 pages). `seed` varies lengths, formats and sound.
void addDemoRecordings(SimRecorder& device, int count, std::uint64_t seed, DemoLength length = DemoLength::shortOnes());

// A recording of `pages` pages of `format` whose payloads are pseudo-random bytes from `seed`, with
// valid trailers and check bytes (for download tests and benchmarks: every page differs).
Recording noiseRecording(const RecordingFormat& format, std::size_t pages, std::uint32_t seed);

// A device of `config` with `recordings` demo recordings, the factory password and (a T7) the
// transmitter's settings.
// The demo's own folders below the user's cache: "$XDG_CACHE_HOME/recdesk/demo/<what>" (the cache
// folder falls back to "~/.cache", then to the temporary folder), so that the demo's recordings never
// land in the user's own folders.
std::filesystem::path demoFolder(const std::string& what);

std::shared_ptr<SimRecorder> makeDemoRecorder(const DeviceConfig& config, int recordings,
                                              DemoLength length = DemoLength::shortOnes());

}  // namespace recdesk::sim
