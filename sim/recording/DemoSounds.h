#pragma once
// Sounds for the demo recordings, all generated: speech-like voiced syllables, a tone sweep, and
// quiet room noise with an event now and then. Each generator is deterministic for its seed.
#include <cstdint>
#include <memory>

#include "recording/RecordingWriter.h"

namespace recdesk::sim {

// Voiced syllables (a gliding fundamental of 90-240 Hz with a few formant-weighted harmonics) in
// words and phrases with pauses between them, over a faint hiss. A second channel hears the voice
// a little softer and later, as a second microphone would.
std::unique_ptr<PcmGenerator> makeSpeechLike(std::uint32_t sampleRate, double amplitude, std::uint32_t seed = 3);

// A sine gliding from `lowHz` to `highHz` and back on a logarithmic scale, once every
// `periodSeconds`. In stereo the second channel runs the other way.
std::unique_ptr<PcmGenerator> makeSweep(std::uint32_t sampleRate, double amplitude, double lowHz, double highHz,
                                        double periodSeconds);

// Quiet noise of `noiseAmplitude` with an event every 2-7 s: a knock, a short beep or a low thump.
std::unique_ptr<PcmGenerator> makeRoomNoise(std::uint32_t sampleRate, double noiseAmplitude, std::uint32_t seed = 5);

}  // namespace recdesk::sim
