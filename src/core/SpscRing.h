// The one lock-free ring between two threads: bounded, single producer and single consumer,
// for plain values one at a time (commands, decoded blocks, MIDI messages) or in runs (audio
// frames). Storage is allocated once, in the constructor, as a power of two so positions wrap by
// a mask; the positions themselves only ever grow, so they also count what went through.
// Threads: push()/pushSome() from exactly one thread, front()/pop()/popSome() from exactly one
// other; capacity(), size() and pushedCount() from any (a snapshot); reset() only while neither
// side runs.
#pragma once

#include <algorithm>
#include <atomic>
#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>
#include <type_traits>

namespace kelvra {

template <typename T>
class SpscRing {
    static_assert(std::is_trivially_copyable_v<T>, "values cross threads as plain data");

  public:
    // Room for at least `capacity` values.
    explicit SpscRing(std::size_t capacity)
        : capacity_(std::bit_ceil(std::max<std::size_t>(capacity, 1))),
          slots_(std::make_unique<T[]>(capacity_)) {}

    std::size_t capacity() const { return capacity_; }
    std::size_t size() const {
        const std::uint64_t head = head_.load(std::memory_order_acquire);
        return std::size_t(tail_.load(std::memory_order_acquire) - head);
    }
    // Every value pushed since the last reset.
    std::uint64_t pushedCount() const { return tail_.load(std::memory_order_acquire); }

    // Producer. False when the ring is full.
    bool push(const T& value) { return pushSome(&value, 1) == 1; }
    // Producer: as many of `count` values as fit, oldest first; how many that was.
    std::size_t pushSome(const T* values, std::size_t count) {
        const std::uint64_t tail = tail_.load(std::memory_order_relaxed);
        const std::uint64_t head = head_.load(std::memory_order_acquire);
        const std::size_t fit = std::min(count, capacity_ - std::size_t(tail - head));
        const std::size_t start = std::size_t(tail) & (capacity_ - 1);
        const std::size_t first = std::min(fit, capacity_ - start);
        std::memcpy(&slots_[start], values, first * sizeof(T));
        std::memcpy(&slots_[0], values + first, (fit - first) * sizeof(T));
        tail_.store(tail + fit, std::memory_order_release);
        return fit;
    }

    // Consumer. The oldest value, or null when empty; valid until pop().
    const T* front() const {
        const std::uint64_t head = head_.load(std::memory_order_relaxed);
        if (head == tail_.load(std::memory_order_acquire)) return nullptr;
        return &slots_[std::size_t(head) & (capacity_ - 1)];
    }
    void pop() {
        head_.store(head_.load(std::memory_order_relaxed) + 1, std::memory_order_release);
    }
    bool pop(T& value) { return popSome(&value, 1) == 1; }
    // Consumer: up to `count` of the oldest values into `out`; how many there were.
    std::size_t popSome(T* out, std::size_t count) {
        const std::uint64_t head = head_.load(std::memory_order_relaxed);
        const std::uint64_t tail = tail_.load(std::memory_order_acquire);
        const std::size_t taken = std::min(count, std::size_t(tail - head));
        const std::size_t start = std::size_t(head) & (capacity_ - 1);
        const std::size_t first = std::min(taken, capacity_ - start);
        std::memcpy(out, &slots_[start], first * sizeof(T));
        std::memcpy(out + first, &slots_[0], (taken - first) * sizeof(T));
        head_.store(head + taken, std::memory_order_release);
        return taken;
    }

    // Empty, with the count at zero.
    void reset() {
        head_.store(0, std::memory_order_relaxed);
        tail_.store(0, std::memory_order_relaxed);
    }

  private:
    const std::size_t capacity_;
    std::unique_ptr<T[]> slots_;
    alignas(64) std::atomic<std::uint64_t> head_{0};  // the consumer's
    alignas(64) std::atomic<std::uint64_t> tail_{0};  // the producer's
};

}  // namespace kelvra
