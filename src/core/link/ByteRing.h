#pragma once
// A bounded first-in first-out byte queue: the receive queue a reader fills and the owner drains.
// It never grows beyond its capacity; push() takes only what fits. Not thread-safe by itself (the
// channel guards it with its lock).
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

namespace recdesk::link {

class ByteRing {
 public:
  explicit ByteRing(std::size_t capacity) : data_(capacity == 0 ? 1 : capacity) {}

  std::size_t size() const { return size_; }
  std::size_t capacity() const { return data_.size(); }
  std::size_t space() const { return data_.size() - size_; }
  bool empty() const { return size_ == 0; }
  void clear() {
    head_ = 0;
    size_ = 0;
  }

  // Appends as many bytes as fit; returns how many were taken.
  std::size_t push(const std::uint8_t* bytes, std::size_t count) {
    count = std::min(count, space());
    std::size_t tail = (head_ + size_) % data_.size();
    std::size_t done = 0;
    while (done < count) {
      const std::size_t chunk = std::min(count - done, data_.size() - tail);
      std::memcpy(data_.data() + tail, bytes + done, chunk);
      done += chunk;
      tail = (tail + chunk) % data_.size();
    }
    size_ += count;
    return count;
  }

  // Takes up to `count` bytes from the front; returns how many were delivered.
  std::size_t pop(std::uint8_t* out, std::size_t count) {
    count = std::min(count, size_);
    std::size_t done = 0;
    while (done < count) {
      const std::size_t chunk = std::min(count - done, data_.size() - head_);
      std::memcpy(out + done, data_.data() + head_, chunk);
      done += chunk;
      head_ = (head_ + chunk) % data_.size();
    }
    size_ -= count;
    if (size_ == 0) head_ = 0;
    return count;
  }

 private:
  std::vector<std::uint8_t> data_;
  std::size_t head_ = 0;
  std::size_t size_ = 0;
};

}  // namespace recdesk::link
