// The one mixing path every output drives: applies the commands the controlling thread sent,
// mixes every voice into a stereo period and converts it to 16-bit. The same code runs in the
// device callback, in the null output's thread and in the offline renderer.
// Threads: send(), takeRetired() and stats() belong to the controlling thread; process() and
// processCommands() to the single consumer. When no consumer runs, the controlling thread may
// call processCommands() itself. prepare() only while no consumer runs.
#pragma once

#include <array>
#include <atomic>
#include <cstdint>
#include <vector>

#include "audio/engine/SpscQueue.h"
#include "audio/engine/Voice.h"

namespace kelvra::audio::record {
class FrameRing;
}

namespace kelvra::audio::engine {

struct Command {
    enum Type : std::uint8_t { Add, Remove, Play, Halt, Seek } type = Add;
    Voice* voice = nullptr;
    std::uint32_t generation = 0;
    std::uint32_t serial = 0;
    std::int64_t frame = 0;
    bool tellWorker = false;  // Seek: the voice moves the decode worker itself (offline)
    int warmSlot = -1;        // Seek: the worker's pinned warm slot holding the new place
};
// Remove's `frame`: leave at once, without the fade (nobody would hear it).
inline constexpr std::int64_t kRemoveNow = 1;

struct EngineStats {
    std::uint64_t underruns = 0;      // periods the output could not deliver in time
    std::uint64_t starvedFrames = 0;  // frames played as silence because decoding lagged
    std::uint64_t renderedFrames = 0;
    std::uint64_t lateCallbacks = 0;  // device periods that came after their deadline
};

class MixBus {
  public:
    static constexpr int kMaxVoices = 64;
    static constexpr int kMaxPeriod = 4096;

    MixBus();

    void prepare(int outputRate);
    int outputRate() const { return outputRate_; }

    // Controlling thread. False when the queue is full (the consumer is behind).
    bool send(const Command& command) { return commands_.push(command); }
    // Controlling thread: a voice the consumer no longer uses, or null.
    Voice* takeRetired();
    EngineStats stats() const;
    std::atomic<std::uint64_t>& starvedCounter() { return starved_; }
    void countUnderrun() { underruns_.fetch_add(1, std::memory_order_relaxed); }
    void countLateCallback() { late_.fetch_add(1, std::memory_order_relaxed); }

    // Consumer: renders `frames` (at most kMaxPeriod) interleaved stereo frames.
    void process(std::int16_t* out, int frames, bool waitForData);
    void processCommands();
    // Controlling thread, while no consumer runs: streams still fading out leave at once.
    void dropRetiring();
    // Controlling thread: every period process() makes goes into `ring` too, once converted;
    // null stops that. A period begun before the change may still push into the old ring.
    void setRecordTap(record::FrameRing* ring) {
        recordTap_.store(ring, std::memory_order_release);
    }

  private:
    void drop(Voice* voice);

    int outputRate_ = 44100;
    SpscQueue<Command> commands_;
    SpscQueue<Voice*> retired_;
    std::array<Voice*, kMaxVoices> voices_{};
    int voiceCount_ = 0;
    std::vector<float> mix_;
    std::atomic<std::uint64_t> starved_{0};
    std::atomic<std::uint64_t> underruns_{0};
    std::atomic<std::uint64_t> late_{0};
    std::atomic<std::uint64_t> rendered_{0};
    std::atomic<record::FrameRing*> recordTap_{nullptr};
};

}  // namespace kelvra::audio::engine
