#pragma once
// The audio-sink port: where the player's buffers are heard. The real one plays them on the sound
// device (SDL audio); tests use a fake that records the bytes and lets the test decide when a buffer
// has been played; the silent sink consumes them at the real-time pace without a device.
//
// A buffer handed to write() stays the caller's memory: the sink reads it in place and reports it
// played through the buffer-done callback, on the sink's own thread, in the order written. After
// reset() and close() the sink holds no buffer any more and reports none of them.
#include <cstddef>
#include <cstdint>
#include <functional>

namespace recdesk::ports {

class AudioSink {
 public:
  using BufferDone = std::function<void()>;
  virtual ~AudioSink() = default;

  // Called once per written buffer when it has been played (from the sink's thread). Set before open.
  virtual void setBufferDone(BufferDone done) = 0;
  // Opens the output for PCM of `rate` Hz, `bits` (8 unsigned, 16 signed little-endian) and
  // `channels`. An output already open is closed first. False when there is no device or it
  // refuses the format. The output starts running (not paused).
  virtual bool open(std::uint32_t rate, int bits, int channels) = 0;
  virtual void close() = 0;
  // Queues one buffer; returns at once.
  virtual void write(const std::uint8_t* data, std::size_t bytes) = 0;
  // Bytes written and not yet played.
  virtual std::size_t queuedBytes() const = 0;
  virtual void pause() = 0;
  virtual void resume() = 0;
  // Drops every queued buffer unplayed (none of them is reported done) and keeps the output open.
  virtual void reset() = 0;
  // Waits until every written buffer has been played and the device has played it out. Returns at
  // once when the output is paused or closed.
  virtual void drain() = 0;
};

}  // namespace recdesk::ports
