// A fixed ring of slots handed from one producer to one consumer without a lock: the mixer's
// commands from the controlling thread to whichever render thread mixes next, and what a render
// thread let go of back to the controlling thread. Several threads may take turns at one end as
// long as something else (the mixer's lock) keeps them from doing so at the same time.
// Nothing is allocated after construction; a full ring refuses the push.
#pragma once

#include <atomic>
#include <cstddef>
#include <memory>
#include <utility>

namespace velmora::audio {

template <typename T>
class SpscRing {
 public:
  explicit SpscRing(size_t capacity) : slots_(std::make_unique<T[]>(capacity)), capacity_(capacity) {}
  SpscRing(const SpscRing&) = delete;
  SpscRing& operator=(const SpscRing&) = delete;

  // Producer. Leaves `item` untouched when the ring is full.
  bool Push(T& item) {
    const size_t tail = tail_.load(std::memory_order_relaxed);
    if (tail - head_.load(std::memory_order_acquire) == capacity_) return false;
    slots_[tail % capacity_] = std::move(item);
    tail_.store(tail + 1, std::memory_order_release);
    return true;
  }
  // Consumer.
  bool Pop(T& out) {
    const size_t head = head_.load(std::memory_order_relaxed);
    if (head == tail_.load(std::memory_order_acquire)) return false;
    out = std::move(slots_[head % capacity_]);
    head_.store(head + 1, std::memory_order_release);
    return true;
  }

 private:
  const std::unique_ptr<T[]> slots_;
  const size_t capacity_;
  std::atomic<size_t> head_{0};
  std::atomic<size_t> tail_{0};
};

}  // namespace velmora::audio
