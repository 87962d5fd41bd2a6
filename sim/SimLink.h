#pragma once
// The simulated link: a LinkChannel that connects LinkTransport to a SimRecorder in the same process,
// on the owner thread, through the event loop (answers arrive as posted notifications, so they come
// after the write that caused them, exactly as they would from a reader thread).
//
// It models the parts of a real link the session depends on: both ends have a speed and hear nothing
// at a wrong one; port codes 1000..1999 present the FTDI adapter's link mode (speed cycling and the
// COM agreement), 2000.. the QuickUSB module's, 1..999 a serial port (which notifies only when a
// "\n" arrives). Faults: answers split into small pieces, writes that fail after N bytes (a lost link),
// an unplugged device (open fails).
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "SimRecorder.h"
#include "link/LinkTransport.h"

namespace recdesk::sim {

struct LinkFaults {
  std::size_t splitEvery = 0;          // deliver answers in pieces of this many bytes (0 = whole)
  long long failWritesAfterBytes = -1;  // writes fail once this many more bytes went out (-1 = never)
  bool unplugged = false;              // open fails, writes fail
};

// What happened on the simulated wire, in order (for tests).
struct WireEvent {
  enum Kind { Open, Close, HostSpeed, HostWrite, DeviceSent, DeviceLost, HostLost, Purge } kind;
  std::string text;      // bytes written / sent
  std::uint32_t speed = 0;
};

class SimLink : public std::enable_shared_from_this<SimLink> {
 public:
  explicit SimLink(std::shared_ptr<SimRecorder> device);

  SimRecorder& device() { return *device_; }
  std::shared_ptr<SimRecorder> devicePtr() { return device_; }
  LinkFaults& faults() { return faults_; }
  // Whether the host's speed must equal the recorder's for bytes to pass.
  bool speedMatters = true;

  // The channel factory for LinkTransport: every port code opens this simulated link.
  link::LinkTransport::ChannelFactory channelFactory();

  // The wire trace and the lines the host wrote (each line as written, with its "\r\n").
  const std::vector<WireEvent>& trace() const { return trace_; }
  std::vector<std::string> hostLines() const;
  void clearTrace() { trace_.clear(); }
  bool isOpen() const { return open_; }
  // Pulls the cable: from now on opens and writes fail, and an open link's reader reports the
  // device lost (as a real reader does when the device goes away).
  void unplug();
  std::uint32_t hostSpeed() const { return hostSpeed_; }

 private:
  class Channel;
  friend class Channel;
  void record(WireEvent::Kind kind, std::string text = {}, std::uint32_t speed = 0);

  std::shared_ptr<SimRecorder> device_;
  LinkFaults faults_;
  std::vector<WireEvent> trace_;
  bool open_ = false;
  std::function<void()> readerSeesLoss_;  // set while a channel is open
  std::uint32_t hostSpeed_ = 0;
};

}  // namespace recdesk::sim
