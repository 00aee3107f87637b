// The recording's way out of the audio thread: a ring of interleaved stereo 16-bit frames that
// the mix fills and the recording's writer empties. Storage is allocated once, here; a push
// never waits, and frames that find no room are counted as lost instead.
// Threads: push() from the one thread making the mix; pop() from the one writer thread;
// pushedFrames(), lostFrames() and freeFrames() from any thread (a snapshot); reset() only while
// neither pushes nor pops.
#pragma once

#include <algorithm>
#include <atomic>
#include <bit>
#include <cstdint>
#include <cstring>
#include <memory>

namespace kelvra::audio::record {

class FrameRing {
  public:
    static constexpr std::size_t kChannels = 2;

    // Room for at least `frames` frames: a power of two, so positions wrap by a mask.
    explicit FrameRing(std::size_t frames)
        : capacity_(std::bit_ceil(std::max<std::size_t>(frames, 1))),
          samples_(std::make_unique<std::int16_t[]>(capacity_ * kChannels)) {}

    std::size_t capacity() const { return capacity_; }

    // Producer: as many of `frames` as fit are copied in, oldest first; the rest are lost.
    void push(const std::int16_t* stereo, std::size_t frames) {
        const std::uint64_t tail = tail_.load(std::memory_order_relaxed);
        const std::uint64_t head = head_.load(std::memory_order_acquire);
        const std::size_t fit = std::min(frames, capacity_ - std::size_t(tail - head));
        copyIn(stereo, fit, tail);
        tail_.store(tail + fit, std::memory_order_release);
        if (fit < frames) lost_.fetch_add(frames - fit, std::memory_order_relaxed);
    }

    // Consumer: up to `maxFrames` of the oldest frames into `out`. How many there were.
    std::size_t pop(std::int16_t* out, std::size_t maxFrames) {
        const std::uint64_t head = head_.load(std::memory_order_relaxed);
        const std::uint64_t tail = tail_.load(std::memory_order_acquire);
        const std::size_t taken = std::min(maxFrames, std::size_t(tail - head));
        copyOut(out, taken, head);
        head_.store(head + taken, std::memory_order_release);
        return taken;
    }

    // Every frame that went in since the last reset, and every one that found no room.
    std::uint64_t pushedFrames() const { return tail_.load(std::memory_order_acquire); }
    std::uint64_t lostFrames() const { return lost_.load(std::memory_order_relaxed); }
    std::size_t freeFrames() const {
        const std::uint64_t head = head_.load(std::memory_order_acquire);
        return capacity_ - std::size_t(tail_.load(std::memory_order_acquire) - head);
    }

    // Empty, with the counts at zero, for the next recording.
    void reset() {
        head_.store(0, std::memory_order_relaxed);
        tail_.store(0, std::memory_order_relaxed);
        lost_.store(0, std::memory_order_relaxed);
    }

  private:
    // Where `frames` frames from position `at` lie in the ring: two pieces where it wraps.
    struct Pieces {
        std::size_t start, first, second;
    };
    Pieces piecesAt(std::uint64_t at, std::size_t frames) const {
        const std::size_t start = std::size_t(at) & (capacity_ - 1);
        const std::size_t first = std::min(frames, capacity_ - start);
        return {start, first, frames - first};
    }
    void copyIn(const std::int16_t* from, std::size_t frames, std::uint64_t at) {
        const Pieces p = piecesAt(at, frames);
        std::memcpy(&samples_[p.start * kChannels], from, p.first * kFrameBytes);
        std::memcpy(&samples_[0], from + p.first * kChannels, p.second * kFrameBytes);
    }
    void copyOut(std::int16_t* to, std::size_t frames, std::uint64_t at) const {
        const Pieces p = piecesAt(at, frames);
        std::memcpy(to, &samples_[p.start * kChannels], p.first * kFrameBytes);
        std::memcpy(to + p.first * kChannels, &samples_[0], p.second * kFrameBytes);
    }

    static constexpr std::size_t kFrameBytes = kChannels * sizeof(std::int16_t);
    const std::size_t capacity_;
    std::unique_ptr<std::int16_t[]> samples_;
    alignas(64) std::atomic<std::uint64_t> head_{0};
    alignas(64) std::atomic<std::uint64_t> tail_{0};
    alignas(64) std::atomic<std::uint64_t> lost_{0};
};

}  // namespace kelvra::audio::record
