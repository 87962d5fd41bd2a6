#pragma once
// A first-in first-out queue on one vector that keeps its room: a queue that fills and drains all the
// time (the lines going out to the recorder, one after another) allocates nothing once it has grown,
// where std::deque gave back and took again a block every few elements. Adding an element may move
// the others: hold no reference to an element across push_back().
#include <cstddef>
#include <utility>
#include <vector>

namespace recdesk::link {

template <typename T>
class Fifo {
 public:
  bool empty() const { return head_ == items_.size(); }
  std::size_t size() const { return items_.size() - head_; }
  T& front() { return items_[head_]; }
  void push_back(T item) { items_.push_back(std::move(item)); }
  // Takes the first element out; the queue must not be empty.
  T take() {
    T item = std::move(items_[head_]);
    ++head_;
    if (head_ == items_.size()) {
      clear();
    } else if (head_ >= kCompactFrom && head_ * 2 >= items_.size()) {
      // A queue that never quite drains: the elements taken go, so that it does not grow for ever.
      items_.erase(items_.begin(), items_.begin() + static_cast<std::ptrdiff_t>(head_));
      head_ = 0;
    }
    return item;
  }
  void clear() {
    items_.clear();
    head_ = 0;
  }
  auto begin() const { return items_.begin() + static_cast<std::ptrdiff_t>(head_); }
  auto end() const { return items_.end(); }

 private:
  static constexpr std::size_t kCompactFrom = 16;
  std::vector<T> items_;
  std::size_t head_ = 0;
};

}  // namespace recdesk::link
