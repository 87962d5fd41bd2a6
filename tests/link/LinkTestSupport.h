#pragma once
// Helpers for the link tests: a paced write run to its end on the real event loop, and a listener that
// records notifications and reads during them, as the session does.
#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "link/LinkTransport.h"
#include "ports/ThreadEventLoop.h"

namespace recdesk::test {

// Generous upper bound for waiting on another thread; tests never assert on time.
inline constexpr ports::Millis kPatience{5000};

// Writes `bytes` paced and runs the loop until the line is out (the loop's ticks of the paced-write
// timer go to the transport, as the session's timer handler does). Returns the bytes written.
inline std::size_t pacedWrite(ports::ThreadEventLoop& loop, link::LinkTransport& transport, std::string bytes) {
  loop.setTimerHandler([&transport](int id) {
    if (id == link::kTimerPacedWrite) transport.OnPacedWriteTimer();
  });
  std::optional<std::size_t> written;
  transport.PacedWrite(std::move(bytes), [&written](std::size_t n) { written = n; });
  loop.runUntil([&written] { return written.has_value(); }, kPatience);
  loop.setTimerHandler({});
  return written.value_or(0);
}

// Bytes the link reports waiting to be read.
inline std::uint32_t bytesWaiting(link::LinkTransport& transport) {
  std::uint32_t errorWord = 0;
  link::QueueStatusRecord status;
  transport.QueueStatus(errorWord, status);
  return status.bytesToRead;
}

// The adapter's description, running the loop until the channel has answered.
inline std::string adapterInformation(ports::ThreadEventLoop& loop, link::LinkTransport& transport) {
  std::optional<std::string> text;
  transport.AdapterInformation([&text](const std::string& answer) { text = answer; });
  loop.runUntil([&text] { return text.has_value(); }, kPatience);
  return text.value_or("<no answer>");
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
