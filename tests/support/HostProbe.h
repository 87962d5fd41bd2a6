#pragma once
// The session owner's insides, for tests and fuzz targets only: what a scenario sets up or looks at
// that no front end may touch.
#include <cstddef>
#include <string>

#include "session/Host.h"

namespace recdesk::session {

struct HostProbe {
  static SessionInfo& info(Host& host) { return host.info_; }
  static SessionFlags& flags(Host& host) { return host.flags_; }
  static link::LinkTransport& link(Host& host) { return host.link_; }
  static const std::string& pendingInput(const Host& host) { return host.assembler_.pending(); }
  static std::uint64_t garbageBytesDropped(const Host& host) { return host.assembler_.droppedBytes(); }
  static std::uint32_t pingRetryCount(const Host& host) { return host.pingRetryCount_; }
  static int speedCycleIndex(const Host& host) { return host.speedCycleIndex_; }
  static bool lineNotification(Host& host, std::size_t bytesWaiting) { return host.lineNotification(bytesWaiting); }
  static bool dataNotification(Host& host, std::size_t bytesWaiting) { return host.dataNotification(bytesWaiting); }
  static bool dispatch(Host& host, const std::string& line) { return host.dispatch(line); }
};

}  // namespace recdesk::session
