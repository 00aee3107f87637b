// The audio-thread side of one stream: takes decoded blocks in order, resamples them from the
// playback rate to the output rate (bypassed at ratio 1), applies ramped volume and pan and the
// start/stop fades, runs the deck's EQ and filter, adds the result to the mix, and meters the
// stream before its volume and pan. A seek while sounding is a jump: the old place keeps playing
// until the new place's first block is decoded, then the two cross-fade, so a jump never leaves a
// hole. Threads: the constructor and destructor run on the controlling thread while the mixer does
// not hold the voice; prepare(), the command methods and mixInto() run on whoever is the mixer's
// consumer at the time (audio thread, offline renderer, or the controlling thread while no output
// runs); `shared` is the only part the controlling thread touches while a consumer runs.
#pragma once

#include <atomic>
#include <cstdint>
#include <vector>

#include "audio/engine/DeckFx.h"
#include "audio/engine/DecodeWorker.h"
#include "audio/engine/KeyLock.h"
#include "audio/engine/Scratch.h"
#include "audio/engine/SincResampler.h"

namespace kelvra::audio::engine {

// Values crossing between the controlling thread and the consumer, one atomic each.
struct VoiceShared {
    // Written by the controlling thread.
    std::atomic<int> rate{44100};
    std::atomic<int> volume{100};
    std::atomic<int> pan{0};
    std::atomic<float> gain{1.0f};  // linear correction before volume and pan
    // Level on the headphone bus, 0..100: the stream's own signal, before its volume and pan
    // (what a DJ hears when cueing a deck whose fader is down).
    std::atomic<int> cue{0};
    // The deck's tone controls: band gains (0 = kill), the filter (-1..1, 0 = off) and the trim,
    // a linear gain applied with the correction.
    std::atomic<float> eqLow{1}, eqMid{1}, eqHigh{1}, filter{0}, trim{1};
    // Whose effect units the stream's main-mix send goes through: 0 left deck, 1 right, -1 none.
    std::atomic<int> effectBus{-1};
    // Key lock: the pitch stays at `keyBase`'s (the deck's base rate; 0: the song's own) while the
    // rate sets the tempo; `keyShift` moves the key by semitones, with or without the lock.
    std::atomic<bool> keyLock{false};
    std::atomic<int> keyBase{0}, keyShift{0};
    // Scratching: `scratchHeld` while the jog wheel is touched, `scratchOffset` how far it has
    // turned since (song frames), `scratchWindow` the song decoded around the touch, handed over
    // whole; the controlling thread reuses a window only while `scratchInUse` names another.
    std::atomic<bool> scratchHeld{false};
    std::atomic<double> scratchOffset{0};
    std::atomic<const ScratchWindow*> scratchWindow{nullptr};
    std::atomic<const ScratchWindow*> scratchInUse{nullptr};
    // Written by the consumer. `position` packs the seek generation it belongs to (upper 20 bits)
    // with the frame (lower 44 bits), so a reader can tell a position from before a seek.
    std::atomic<std::uint64_t> position{0};
    // Packed the same way: the next source frame the voice reads, ahead of `position` by what
    // the resampler and the key lock's stretcher hold.
    std::atomic<std::uint64_t> reading{0};
    std::atomic<std::uint32_t> level{0};
    std::atomic<std::uint32_t> endedSerial{0};  // play serial that ran to the end of the stream
};

inline constexpr int kPositionBits = 44;
inline std::uint64_t packPosition(std::uint32_t generation, std::int64_t frame) {
    return (std::uint64_t(generation & 0xFFFFF) << kPositionBits) | std::uint64_t(frame);
}

class Voice {
  public:
    Voice(DecodeWorker& worker, std::atomic<std::uint64_t>& starvedFrames);
    ~Voice();
    Voice(const Voice&) = delete;
    Voice& operator=(const Voice&) = delete;

    VoiceShared shared;

    // Sizes the ramps, fades and meter for this output rate. Never allocates.
    void prepare(int outputRate);

    // Consumer: commands.
    void play(std::uint32_t serial);
    void halt();  // pause and stop alike: fade out, keep the position
    // With `tellWorker` the voice itself moves the worker to the new place once it holds enough
    // of the old one for the cross-fade (offline rendering, where the consumer may wait);
    // otherwise the controlling thread has already done so.
    // `warmSlot` names the worker's warm slot that holds the new place, pinned for this voice
    // (-1: none); the worker then decodes on from the end of it.
    void seek(std::uint32_t generation, std::int64_t frame, std::uint32_t serial, bool tellWorker,
              int warmSlot = -1, LoopSpan loop = {});
    // A change of loop while playing: the current place plays on up to source frame `at`, then
    // generation `generation` goes on from `to` with no cross-fade (the worker has blended its
    // first frames into what follows `at`). With the new place not decoded by then, a looping
    // place waits for its next pass; a straight one makes it a jump. With `replaces` it takes
    // the place of the change before it, at that one's frame.
    void splice(std::uint32_t generation, std::int64_t at, std::int64_t to, bool tellWorker,
                LoopSpan loop, std::int64_t seamFrom, bool replaces = false);
    // Fades out for good; silent() then says when the mixer may let go of it.
    void retire();
    bool retiring() const { return retiring_; }
    bool silent() const { return envelope_ <= 0; }

    // Consumer: adds `frames` stereo frames into `mix`, and into `cue` (the headphone bus, null
    // when no headphone output is open) at the cue level. With `waitForData` (offline rendering)
    // a block not decoded yet is waited for; otherwise it plays as silence and is counted.
    void mixInto(float* mix, float* cue, int frames, bool waitForData);

    static constexpr int kMaxChunk = 256;

  private:
    // One read place in the stream's decoded blocks.
    struct Cursor {
        Block* block = nullptr;
        int offset = 0;
        std::int64_t frame = 0;  // next source frame to read
        bool ended = false;      // no more blocks will come for this place
        int warmSlot = -1;       // read this pinned warm slot's blocks first
        int warmNext = 0;
    };
    // Where a cursor takes its next block from: the worker's queue (blocks of one generation),
    // or the old place's blocks held back from the queue while a jump waits.
    enum class Feed { Queue, Held };
    // A jump's course (see jump_ below).
    enum class JumpState { None, Waiting, CrossFading };

    bool bypass() const { return !stretching_ && currentRate_ == outputRate_; }
    int pullStretched(float* out, int frames, bool waitForData);
    int crossFadeStretched(float* out, int frames, bool waitForData);
    bool sourceEnded() const { return !jumping() && current_.ended; }
    int renderSource(float* out, int frames, bool waitForData);
    int readSource(float* out, int frames, bool waitForData);
    int readCursor(Cursor& cursor, Feed feed, std::uint32_t generation, float* out, int frames,
                   bool waitForData);
    bool fetchBlock(Cursor& cursor, Feed feed, std::uint32_t generation, bool waitForData);
    int crossFade(float* out, int frames, bool waitForData);
    void blendFade(float* out, int got, int old);
    int resample(float* out, int frames, bool waitForData);
    void applySeek(std::uint32_t generation, std::int64_t frame, int warmSlot);
    void letGo(Cursor& cursor);
    bool jumping() const { return jump_ != JumpState::None; }
    void setJump(JumpState next);
    void checkJump() const;
    void startJump(std::uint32_t generation, std::int64_t frame, bool tellWorker, int warmSlot,
                   LoopSpan loop);
    bool spliceNow(bool waitForData);
    void pollJump(bool waitForData);
    void holdOldBlocks(bool waitForData);
    void finishJump();
    void abandonJump();
    void releaseHeld();
    std::int64_t oldFramesLeft() const;
    bool dataReady() const;
    void switchPath(int rate, bool stretch);
    void publishPosition();
    void meter(const float* stereo, int frames, float correction);
    // The scratch's state for this period, and its sound added after the deck's own.
    void followScratch();
    struct Gains {
        float left, right, cue, correction;
    };
    void mixScratch(float* mix, float* cue, int frames, const Gains& gains,
                    const DeckFxSettings& fx, double nominalStep);
    void clearMeter();

    DecodeWorker& worker_;
    std::atomic<std::uint64_t>& starvedFrames_;
    const int channels_;
    const std::int64_t length_;
    int outputRate_ = 44100;

    // Transport, as the consumer sees it.
    bool wantPlaying_ = false;
    bool ended_ = false;
    bool retiring_ = false;
    bool primed_ = false;  // the current place has had its first block: a gap now is a dropout
    std::uint32_t generation_ = 0;
    std::uint32_t serial_ = 0;

    Cursor current_;
    double position_ = 0;  // source frame now audible

    // A jump on its way. Waiting: the old place plays from current_ and held_ until the new
    // place's first block is in the queue. CrossFading: then incoming_ fades in over fadeFrames_
    // source frames, and a seek meanwhile waits in queued_ until it ends. A jump still waiting
    // when the voice falls silent becomes a plain seek. Only setJump() changes the state, and
    // checkJump() says which of the members below each state rules out.
    static constexpr int kHeldBlocks = 8;  // ~190 ms at 44.1 kHz of the old place, at most
    JumpState jump_ = JumpState::None;
    bool jumpTellsWorker_ = false;  // the worker has yet to hear of the waiting jump's target
    std::uint32_t jumpGeneration_ = 0;
    std::int64_t jumpFrame_ = 0;
    Cursor incoming_;
    struct Queued {  // a seek that came during a cross-fade, started when it ends
        bool waiting = false, tellWorker = false;
        std::uint32_t generation = 0;
        std::int64_t frame = 0;
        int warmSlot = -1;
        LoopSpan loop;
    } queued_;
    LoopSpan loop_;      // the loop the current place plays in
    LoopSpan jumpLoop_;  // and the one a jump's new place will
    struct Splice {
        bool pending = false, tellWorker = false, told = false;
        std::uint32_t generation = 0;
        std::int64_t at = 0, to = 0, seamFrom = -1;
        LoopSpan loop;
    } splice_;
    bool spliceMissed_ = false;
    int fadeDone_ = 0;
    int fadeFrames_ = 1;
    Block* held_[kHeldBlocks] = {};
    int heldCount_ = 0, heldNext_ = 0;
    bool heldClosed_ = false;  // a block of the old place was dropped: later ones do not follow
    std::vector<float> fadeScratch_;  // the old place's frames during a cross-fade
    std::vector<float> oldTail_;      // old frames read ahead when the new place arrived
    int tailFrames_ = 0, tailOffset_ = 0;

    // Resampling.
    int currentRate_ = 44100;
    std::vector<float> input_;  // source frames waiting for the resampler
    int inputOffset_ = 0;       // first frame of input_ not given to the resampler yet
    int inputFrames_ = 0;

    // Gains and fades, per output sample.
    float gainLeft_ = 1, gainRight_ = 1, gainCue_ = 0;
    float gainStep_ = 0;
    int chunkFrames_ = kMaxChunk;
    float envelope_ = 0, envelopeStep_ = 0;
    std::vector<float> scratch_;  // stereo source frames of one chunk
    SincResampler resampler_;
    DeckFx fx_;
    // The key lock's stretcher sits before the resampler. Once engaged it stays until a seek
    // while silent, so letting go of the lock never skips what it holds.
    KeyLockStage keyLock_;
    // A jump while key-locked starts this one at the new place; the two stretchers' sounds
    // cross-fade, and then it takes the other's place.
    KeyLockStage incomingLock_;
    bool stretching_ = false;
    bool wantStretch_ = false;
    std::vector<float> stretchFeed_;  // source frames on their way into the stretcher

    // Scratching: the wheel holds the deck's own sound silent (its place kept) while the
    // scratch plays; let go, the deck's sound comes back where the controlling thread's seek
    // puts it, and the two cross-fade.
    enum class Scratching { Off, Held, Released };
    Scratching scratching_ = Scratching::Off;
    bool scratchSought_ = false;  // a seek came since the wheel was touched
    const ScratchWindow* scratchWindow_ = nullptr;
    double scratchAnchor_ = 0;  // the needle's place at no turn of the wheel
    float scratchBlend_ = 0;
    float scratchLeft_ = 0, scratchRight_ = 0, scratchCue_ = 0;
    ScratchPlayer scratchPlayer_;
    DeckFx scratchFx_;
    std::vector<float> scratchOut_;

    // Meter: peaks of the last few slices of ~5 ms.
    static constexpr int kSlices = 4;
    float slicePeaks_[kSlices][2] = {};
    int slice_ = 0, sliceFill_ = 0, sliceFrames_ = 220;
};

}  // namespace kelvra::audio::engine
