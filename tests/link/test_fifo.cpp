// The queue of lines waiting to go out: order kept through interleaved adding and taking, elements
// that own memory moved out whole, and no growth when it never quite drains.
#include <gtest/gtest.h>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "link/Fifo.h"

namespace recdesk {
namespace {

using link::Fifo;

TEST(Fifo, KeepsOrderWhileAddingAndTakingInTurn) {
  Fifo<std::string> queue;
  std::vector<std::string> taken;
  int next = 0;
  for (int round = 0; round < 100; ++round) {
    queue.push_back("line " + std::to_string(next++));
    queue.push_back("line " + std::to_string(next++));
    taken.push_back(queue.take());
  }
  while (!queue.empty()) taken.push_back(queue.take());
  ASSERT_EQ(taken.size(), 200u);
  for (int i = 0; i < 200; ++i) EXPECT_EQ(taken[static_cast<std::size_t>(i)], "line " + std::to_string(i));
}

TEST(Fifo, FrontSizeAndClear) {
  Fifo<std::unique_ptr<int>> queue;
  queue.push_back(std::make_unique<int>(1));
  queue.push_back(std::make_unique<int>(2));
  EXPECT_EQ(queue.size(), 2u);
  EXPECT_EQ(*queue.front(), 1);
  EXPECT_EQ(*queue.take(), 1);
  EXPECT_EQ(*queue.front(), 2);
  queue.clear();
  EXPECT_TRUE(queue.empty());
  queue.push_back(std::make_unique<int>(3));
  EXPECT_EQ(*queue.take(), 3);
  EXPECT_TRUE(queue.empty());
}

TEST(Fifo, NeverDrainingQueueDoesNotGrow) {
  // One element always waits behind the one taken (a line going out while the next is queued): the
  // elements taken are given back, so the room stays bounded.
  Fifo<std::string> queue;
  queue.push_back("first");
  std::uintptr_t room = 0;
  for (int i = 0; i < 10000; ++i) {
    queue.push_back(std::to_string(i));
    queue.take();
    if (i == 100) room = reinterpret_cast<std::uintptr_t>(&queue.front());
  }
  EXPECT_EQ(queue.size(), 1u);
  EXPECT_EQ(queue.front(), "9999");
  // The same storage is reused: the front sits within the room it had early on.
  const std::uintptr_t now = reinterpret_cast<std::uintptr_t>(&queue.front());
  EXPECT_LT(now > room ? now - room : room - now, 64 * sizeof(std::string));
}

}  // namespace
}  // namespace recdesk
