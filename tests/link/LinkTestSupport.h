#pragma once
// Helpers for the link tests: a real event loop whose sleep only counts (so paced writes cost no
// time), and a listener that records notifications and reads during them, as the session does.
#include <chrono>
#include <cstdint>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "link/LinkTransport.h"
#include "ports/ThreadEventLoop.h"

namespace recdesk::test {

class CountingLoop : public ports::ThreadEventLoop {
 public:
  void sleep(ports::Millis duration) override { slept += duration; }
  ports::Millis slept{0};
};

// Generous upper bound for waiting on another thread; tests never assert on time.
inline constexpr ports::Millis kPatience{5000};

// Bytes the link reports waiting to be read.
inline std::uint32_t bytesWaiting(link::LinkTransport& transport) {
  std::uint32_t errorWord = 0;
  link::QueueStatusRecord status;
  transport.QueueStatus(errorWord, status);
  return status.bytesToRead;
}

struct RecordingListener : link::LinkListener {
  link::LinkTransport* link = nullptr;
  bool readDuringNotification = true;
  std::size_t readAtMost = static_cast<std::size_t>(-1);
  std::vector<std::pair<int, std::size_t>> notifications;
  std::string received;
  std::thread::id lastThread;

  void onLinkNotification(int notification, std::size_t bytesWaiting) override {
    notifications.emplace_back(notification, bytesWaiting);
    lastThread = std::this_thread::get_id();
    if (!link || !readDuringNotification) return;
    std::vector<std::uint8_t> buffer(std::min(bytesWaiting, readAtMost));
    const std::size_t got = link->Read(buffer.data(), buffer.size());
    received.append(reinterpret_cast<const char*>(buffer.data()), got);
  }

  int count(int notification) const {
    int n = 0;
    for (const auto& entry : notifications) n += entry.first == notification;
    return n;
  }
};

}  // namespace recdesk::test
