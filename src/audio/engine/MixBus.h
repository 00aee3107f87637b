// The one mixing path every output drives: applies the commands the controlling thread sent,
// mixes every voice into a stereo period in floating point and hands it over as 16-bit (files,
// 16-bit devices) or as float within full scale (devices that take float). The same code runs in
// the device callback, in the null output's thread and in the offline renderer.
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
#include "audio/fx/Rack.h"

namespace kelvra::audio::record {
class FrameRing;
}

namespace kelvra::audio::engine {

struct Command {
    enum Type : std::uint8_t { Add, Remove, Play, Halt, Seek, Splice } type = Add;
    Voice* voice = nullptr;
    std::uint32_t generation = 0;
    std::uint32_t serial = 0;
    std::int64_t frame = 0;
    bool tellWorker = false;  // Seek: the voice moves the decode worker itself (offline)
    int warmSlot = -1;        // Seek: the worker's pinned warm slot holding the new place
    LoopSpan loop{};          // Seek, Splice: the loop the new place plays in
    // Splice: the old place plays up to `spliceAt`, then the new generation goes on from
    // `frame`, its first frames blended over the audio after `seamFrom` by the worker.
    std::int64_t spliceAt = -1;
    std::int64_t seamFrom = -1;
    bool replaces = false;  // Splice: takes the place of the one before, not yet taken
};
// Remove's `frame`: leave at once, without the fade (nobody would hear it).
inline constexpr std::int64_t kRemoveNow = 1;

struct EngineStats {
    std::uint64_t underruns = 0;      // periods the output could not deliver in time
    std::uint64_t starvedFrames = 0;  // frames played as silence because decoding lagged
    std::uint64_t renderedFrames = 0;
    std::uint64_t lateCallbacks = 0;  // device periods that came after their deadline
};

// How long the output's callbacks took, as shares of their period: what is left of the period is
// the margin before the server counts an xrun.
struct CallbackTimes {
    std::uint64_t count = 0;
    double mean = 0, p99 = 0, max = 0;  // shares of the period (1 = all of it)
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
    // Consumer: one callback took `share` of its period.
    void noteCallback(double share);
    // Any thread.
    CallbackTimes callbackTimes() const;

    // The headphone output, from the controlling thread: `level` 0..100 for the whole of it,
    // `mix` 0..100 from only the cued streams to only the main mix; `split` puts the cued
    // streams in mono on the left and the main mix in mono on the right instead.
    void setPhones(int level, int mix, bool split);

    // Consumer: renders `frames` (at most kMaxPeriod) interleaved stereo frames of the main mix,
    // and of the headphone output when `phones` is not null, as 16-bit samples or as floats in
    // -1..1. The recording tap hears the same 16-bit samples either way.
    void process(std::int16_t* out, std::int16_t* phones, int frames, bool waitForData);
    void process(float* out, float* phones, int frames, bool waitForData);
    void process(std::int16_t* out, int frames, bool waitForData) {
        process(out, nullptr, frames, waitForData);
    }
    void processCommands();
    // Controlling thread, while no consumer runs: streams still fading out leave at once.
    void dropRetiring();
    // Controlling thread: with `cueOnLeft` the output's left channel glides from the main mix
    // to the cued streams at `cueLevel` (0..100) and the recording hears the right one twice.
    void setRouting(bool cueOnLeft, int cueLevel);
    // Controlling thread: every period process() makes goes into `ring` too, once converted;
    // null stops that. A period begun before the change may still push into the old ring.
    void setRecordTap(record::FrameRing* ring) {
        recordTap_.store(ring, std::memory_order_release);
    }
    // The effect units: their controls belong to the controlling thread (see Rack.h).
    fx::Rack& rack() { return rack_; }

  private:
    void drop(Voice* voice);
    // Mixes one period into mix_ (and cue_ with `phones`); the frames it made.
    int mixPeriod(int frames, bool phones, bool waitForData);
    void mixPhones(int frames);
    // A deck whose effect units run mixes its streams into a bus of its own, through them and
    // into the main mix.
    void mixDeckSends(int frames, bool cue, bool waitForData);
    void routeLeft(int frames);
    // The cue bus is wanted this period: for the headphones, or the output's left channel.
    bool cueWanted(bool phones) const;
    void tapRecording(const std::int16_t* out, int frames);

    int outputRate_ = 44100;
    SpscQueue<Command> commands_;
    SpscQueue<Voice*> retired_;
    std::array<Voice*, kMaxVoices> voices_{};
    int voiceCount_ = 0;
    std::vector<float> mix_;
    std::vector<float> cue_;
    fx::Rack rack_{kMaxPeriod};
    std::array<std::vector<float>, 2> deckSends_;
    std::atomic<int> phonesLevel_{100}, phonesMix_{0};
    std::atomic<bool> phonesSplit_{false};
    float cueGain_ = 1, mainGain_ = 0, phonesStep_ = 1;  // the consumer's ramped gains
    std::atomic<std::uint64_t> starved_{0};
    std::atomic<std::uint64_t> underruns_{0};
    std::atomic<std::uint64_t> late_{0};
    std::atomic<std::uint64_t> rendered_{0};
    // Callback times in steps of 1 % of the period; the last bucket holds 2 periods and more.
    static constexpr int kTimeBuckets = 201;
    std::array<std::atomic<std::uint32_t>, kTimeBuckets> timeBuckets_{};
    std::atomic<std::uint64_t> timeCount_{0};
    std::atomic<double> timeSum_{0}, timeMax_{0};
    std::atomic<record::FrameRing*> recordTap_{nullptr};
    std::atomic<bool> cueOnLeft_{false};
    std::atomic<int> cueOnLeftLevel_{100};
    float leftMainGain_ = 1, leftCueGain_ = 0;  // the consumer's ramped left-channel gains
    std::vector<std::int16_t> recordScratch_;
    std::vector<std::int16_t> pcm_;  // a float period in 16 bits, for the recording
};

}  // namespace kelvra::audio::engine
