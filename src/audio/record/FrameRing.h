// The recording's way out of the audio thread: a ring of interleaved stereo 16-bit frames that
// the mix fills and the recording's writer empties. Storage is allocated once, here; a push
// never waits, and frames that find no room are counted as lost instead.
// Threads: push() from the one thread making the mix; pop() from the one writer thread;
// pushedFrames(), lostFrames() and freeFrames() from any thread (a snapshot); reset() only while
// neither pushes nor pops.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>

#include "core/SpscRing.h"

namespace kelvra::audio::record {

class FrameRing {
  public:
    static constexpr std::size_t kChannels = 2;

    // Room for at least `frames` frames.
    explicit FrameRing(std::size_t frames) : ring_(frames) {}

    std::size_t capacity() const { return ring_.capacity(); }

    // Producer: as many of `frames` as fit are copied in, oldest first; the rest are lost.
    void push(const std::int16_t* stereo, std::size_t frames) {
        const std::size_t fit = ring_.pushSome(reinterpret_cast<const Frame*>(stereo), frames);
        if (fit < frames) lost_.fetch_add(frames - fit, std::memory_order_relaxed);
    }

    // Consumer: up to `maxFrames` of the oldest frames into `out`. How many there were.
    std::size_t pop(std::int16_t* out, std::size_t maxFrames) {
        return ring_.popSome(reinterpret_cast<Frame*>(out), maxFrames);
    }

    // Every frame that went in since the last reset, and every one that found no room.
    std::uint64_t pushedFrames() const { return ring_.pushedCount(); }
    std::uint64_t lostFrames() const { return lost_.load(std::memory_order_relaxed); }
    std::size_t freeFrames() const { return ring_.capacity() - ring_.size(); }

    // Empty, with the counts at zero, for the next recording.
    void reset() {
        ring_.reset();
        lost_.store(0, std::memory_order_relaxed);
    }

  private:
    // One interleaved frame: the ring copies whole frames, so the two sides never tear.
    struct Frame {
        std::int16_t sample[kChannels];
    };
    static_assert(sizeof(Frame) == kChannels * sizeof(std::int16_t), "frames are packed");

    SpscRing<Frame> ring_;
    alignas(64) std::atomic<std::uint64_t> lost_{0};
};

}  // namespace kelvra::audio::record
