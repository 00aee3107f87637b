// A bounded single-producer single-consumer queue of plain values, the way commands, decoded
// blocks and retired objects cross between threads without locks.
// Threads: push() from exactly one thread, pop()/front() from exactly one other thread.
#pragma once

#include <atomic>
#include <cstddef>
#include <memory>
#include <type_traits>

namespace kelvra::audio::engine {

template <typename T>
class SpscQueue {
    static_assert(std::is_trivially_copyable_v<T>, "values cross threads as plain data");

  public:
    // Storage is allocated here, once; push and pop never allocate.
    explicit SpscQueue(std::size_t capacity)
        : size_(capacity + 1), slots_(std::make_unique<T[]>(capacity + 1)) {}

    // Producer side. False when the queue is full.
    bool push(const T& value) {
        const std::size_t tail = tail_.load(std::memory_order_relaxed);
        const std::size_t next = tail + 1 == size_ ? 0 : tail + 1;
        if (next == head_.load(std::memory_order_acquire)) return false;
        slots_[tail] = value;
        tail_.store(next, std::memory_order_release);
        return true;
    }

    // Consumer side. The oldest value, or null when empty; valid until pop().
    const T* front() const {
        const std::size_t head = head_.load(std::memory_order_relaxed);
        if (head == tail_.load(std::memory_order_acquire)) return nullptr;
        return &slots_[head];
    }
    void pop() {
        const std::size_t head = head_.load(std::memory_order_relaxed);
        head_.store(head + 1 == size_ ? 0 : head + 1, std::memory_order_release);
    }
    bool pop(T& value) {
        const T* head = front();
        if (!head) return false;
        value = *head;
        pop();
        return true;
    }

  private:
    const std::size_t size_;
    std::unique_ptr<T[]> slots_;
    alignas(64) std::atomic<std::size_t> head_{0};
    alignas(64) std::atomic<std::size_t> tail_{0};
};

}  // namespace kelvra::audio::engine
