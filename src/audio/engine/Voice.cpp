#include "audio/engine/Voice.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstring>
#include <thread>

#include "audio/SampleScale.h"
#include "audio/engine/AudioThread.h"
#include "audio/engine/Ramp.h"

namespace kelvra::audio::engine {
namespace {

constexpr double kFadeSeconds = 0.003;      // starts, stops, pauses and seeks
constexpr double kGainRampSeconds = 0.005;  // a full-scale volume or pan move
constexpr int kInputFrames = 8192;          // resampler input, enough for the lowest ratio
// Beyond 256 times slower (rate 100 Hz into 44100 Hz) the stream plays at the slowest rate it
// can; faster, the resampler sets the limit.
constexpr double kMinStep = 1.0 / 256;
// Offline rendering waits this long for a block before giving up and playing silence.
constexpr auto kOfflineWait = std::chrono::seconds(5);

// A smooth envelope shape: zero slope at both ends, so a fade adds no corner of its own.
inline float shape(float e) {
    return e * e * (3.0f - 2.0f * e);
}

}  // namespace

Voice::Voice(DecodeWorker& worker, std::atomic<std::uint64_t>& starvedFrames)
    : worker_(worker),
      starvedFrames_(starvedFrames),
      channels_(worker.format().channels),
      length_(worker.lengthFrames()),
      fadeFrames_(std::max(1, int(std::lrint(kFadeSeconds * worker.format().rate)))),
      fadeScratch_(std::size_t(kInputFrames) * worker.format().channels),
      oldTail_(std::size_t(fadeFrames_) * worker.format().channels),
      currentRate_(worker.format().rate),
      input_(std::size_t(kInputFrames) * worker.format().channels),
      scratch_(std::size_t(kMaxChunk) * 2),
      resampler_(channels_, kInputFrames),
      keyLock_(worker.format().rate, channels_),
      incomingLock_(worker.format().rate, channels_),
      stretchFeed_(std::size_t(KeyLockStage::kMaxFeed) * std::size_t(channels_)) {
    scratchOut_.assign(2 * std::size_t(kMaxChunk), 0.0f);
    shared.rate.store(worker.format().rate);
    prepare(44100);
}

Voice::~Voice() = default;

void Voice::prepare(int outputRate) {
    outputRate_ = outputRate;
    gainStep_ = float(1.0 / (kGainRampSeconds * outputRate));
    envelopeStep_ = float(1.0 / (kFadeSeconds * outputRate));
    sliceFrames_ = std::max(1, outputRate / 200);
    // A rate change glides across the first resampler call of a chunk: 5 ms chunks keep every
    // glide well inside 10 ms at any output rate.
    chunkFrames_ = std::clamp(outputRate / 200, 32, kMaxChunk);
    resampler_.reset();
    fx_.prepare(outputRate);
    scratchFx_.prepare(outputRate);
    scratchPlayer_.prepare(outputRate);
}

void Voice::play(std::uint32_t serial) {
    serial_ = serial;
    wantPlaying_ = true;
    if (ended_) shared.endedSerial.store(serial, std::memory_order_release);
}

void Voice::halt() {
    wantPlaying_ = false;
}

void Voice::retire() {
    wantPlaying_ = false;
    retiring_ = true;
}

void Voice::seek(std::uint32_t generation, std::int64_t frame, std::uint32_t serial,
                 bool tellWorker, int warmSlot, LoopSpan loop) {
    serial_ = serial;
    frame = std::clamp<std::int64_t>(frame, 0, length_);
    if (scratching_ != Scratching::Off) scratchSought_ = true;
    splice_.pending = spliceMissed_ = false;  // a jump goes wherever a loop change was going
    if (queued_.waiting) worker_.unpinWarm(queued_.warmSlot);  // replaced by this one
    queued_.waiting = false;
    if (envelope_ <= 0) {
        // Nothing is heard: the new place simply replaces the old one.
        if (jumping_) abandonJump();
        if (tellWorker) worker_.seek(generation, frame, loop);
        applySeek(generation, frame, warmSlot);
        loop_ = loop;
        return;
    }
    // A jump already cross-fading finishes first (cutting it short would click); one still
    // waiting just changes its target.
    if (jumping_ && jumpArrived_) {
        queued_ = {true, tellWorker, generation, frame, warmSlot, loop};
        return;
    }
    startJump(generation, frame, tellWorker, warmSlot, loop);
}

void Voice::splice(std::uint32_t generation, std::int64_t at, std::int64_t to, bool tellWorker,
                   LoopSpan loop, std::int64_t seamFrom, bool replaces) {
    // A jump on its way: the loop change rides on it as a jump of its own. So does one that
    // replaces a change this voice has taken already: the place it was meant for has gone by.
    if (jumping_ || (replaces && !splice_.pending)) {
        seek(generation, to, serial_, tellWorker, -1, loop);
        return;
    }
    splice_ = {true,       tellWorker, false,
               generation, at,         std::clamp<std::int64_t>(to, 0, length_),
               seamFrom,   loop};
    // A change that replaces one still waiting takes over at the same frame, and becomes a jump
    // if that one had to.
    if (replaces) return;
    spliceMissed_ = false;
    // The read may be past the frame the change was meant for already (the resampler and the
    // stretcher read ahead of what is heard). Waiting for the read to come back there would
    // wait for ever: the worker has moved on to the new place and sends no more of the old one.
    // Inside a loop the read comes round to the frame again; straight on it never does.
    const bool comesRound = loop_.on() && at >= loop_.start && at < loop_.end;
    if (current_.ended || current_.frame <= at || comesRound) return;
    const std::int64_t passed = current_.frame - at;
    if (!bypass() && !stretching_ && passed <= inputFrames_ - inputOffset_ &&
        passed <= current_.offset) {
        // What was read past the frame has not been heard yet: it is dropped, and the read stands
        // at the frame exactly, where the change takes over as planned.
        inputFrames_ -= int(passed);
        current_.offset -= int(passed);
        current_.frame = at;
        return;
    }
    // Gone by for good: the change becomes a jump, cross-faded like any other.
    spliceMissed_ = true;
}

bool Voice::spliceNow(bool waitForData) {
    if (splice_.tellWorker && !splice_.told) {
        worker_.seek(splice_.generation, splice_.to, splice_.loop, splice_.seamFrom);
        splice_.told = true;
    }
    if (waitForData) {
        // Offline the new place is waited for, so the old place's blocks will not be wanted: the
        // worker needs them back to decode the new one.
        letGo(current_);
        while (Block* stale = worker_.peekBlock()) {
            if (std::int32_t(stale->generation - splice_.generation) >= 0) break;
            worker_.popBlock();
            worker_.recycle(stale);
        }
    }
    const auto deadline = std::chrono::steady_clock::now() + kOfflineWait;
    while (std::int32_t(worker_.pushedGeneration() - splice_.generation) < 0) {
        if (!waitForData || std::chrono::steady_clock::now() > deadline) {
            // Not decoded in time: a looping place comes round to the same frame again; a
            // straight one cannot wait, and the change becomes a jump.
            if (!loop_.on()) spliceMissed_ = true;
            return false;
        }
        KELVRA_ASSERT_MAY_BLOCK();
        worker_.wake();
        std::this_thread::sleep_for(std::chrono::microseconds(20));
    }
    letGo(current_);
    generation_ = splice_.generation;
    loop_ = splice_.loop;
    current_ = Cursor{nullptr, 0, splice_.to};
    splice_.pending = false;
    return true;
}

void Voice::letGo(Cursor& cursor) {
    if (cursor.block) worker_.recycle(cursor.block);
    cursor.block = nullptr;
    worker_.unpinWarm(cursor.warmSlot);
    cursor.warmSlot = -1;
}

void Voice::startJump(std::uint32_t generation, std::int64_t frame, bool tellWorker, int warmSlot,
                      LoopSpan loop) {
    jumpLoop_ = loop;
    if (!jumping_) {
        jumping_ = true;
        jumpArrived_ = false;
        heldCount_ = heldNext_ = 0;
        heldClosed_ = false;
        jumpTellsWorker_ = false;
    }
    jumpGeneration_ = generation;
    jumpFrame_ = frame;
    letGo(incoming_);  // a target replaced before it arrived
    incoming_ = Cursor{nullptr, 0, frame, false, warmSlot};
    fadeDone_ = 0;
    // A second target before the first was ever told to the worker replaces it there too.
    jumpTellsWorker_ = jumpTellsWorker_ || tellWorker;
}

void Voice::applySeek(std::uint32_t generation, std::int64_t frame, int warmSlot) {
    generation_ = generation;
    splice_.pending = spliceMissed_ = false;
    letGo(current_);
    current_ = Cursor{nullptr, 0, frame, false, warmSlot};
    // Hand the blocks decoded for the old place back now: the worker needs them to decode the
    // new place, even while this stream is not playing.
    while (Block* stale = worker_.peekBlock()) {
        if (std::int32_t(stale->generation - generation_) >= 0) break;
        worker_.popBlock();
        worker_.recycle(stale);
    }
    position_ = double(frame);
    inputOffset_ = inputFrames_ = 0;
    ended_ = false;
    primed_ = false;
    resampler_.reset();
    // Silent, the key lock's stretcher can start afresh here, or go when it is no longer wanted.
    if (stretching_ && wantStretch_) keyLock_.restart();
    stretching_ = stretching_ && wantStretch_;
    publishPosition();
}

// Moves the old place's blocks out of the queue, so the worker has room for the new place and
// the old one can play on meanwhile. Blocks beyond what is held go back to the worker.
void Voice::holdOldBlocks(bool waitForData) {
    const auto deadline = std::chrono::steady_clock::now() + kOfflineWait;
    for (;;) {
        Block* block = worker_.peekBlock();
        if (!block) {
            // Offline, the worker still decodes the old place until the voice moves it: wait
            // for enough of it to cross-fade from, so every render sounds the same.
            if (!jumpTellsWorker_ || !waitForData || current_.ended || heldClosed_ ||
                oldFramesLeft() >= fadeFrames_ || std::chrono::steady_clock::now() > deadline)
                return;
            KELVRA_ASSERT_MAY_BLOCK();
            worker_.wake();
            std::this_thread::sleep_for(std::chrono::microseconds(20));
            continue;
        }
        if (block->generation != generation_) return;
        worker_.popBlock();
        if (block->frames > 0 && !heldClosed_ && heldCount_ < kHeldBlocks) {
            held_[heldCount_++] = block;
            if (block->endOfStream) heldClosed_ = true;
            continue;
        }
        // The old place's end, or more of it than is held: nothing follows the held blocks.
        heldClosed_ = true;
        worker_.recycle(block);
    }
}

void Voice::pollJump(bool waitForData) {
    if (!jumping_ || jumpArrived_) return;
    holdOldBlocks(waitForData);
    if (jumpTellsWorker_) {
        jumpTellsWorker_ = false;
        worker_.seek(jumpGeneration_, jumpFrame_, jumpLoop_);
    }
    const auto deadline = std::chrono::steady_clock::now() + kOfflineWait;
    // A warm place is there already; the worker decodes on from its end meanwhile.
    while (incoming_.warmSlot < 0) {
        Block* block = worker_.peekBlock();
        if (!block) {
            if (!waitForData || std::chrono::steady_clock::now() > deadline) return;
            KELVRA_ASSERT_MAY_BLOCK();
            worker_.wake();
            std::this_thread::sleep_for(std::chrono::microseconds(20));
            continue;
        }
        const auto age = std::int32_t(block->generation - jumpGeneration_);
        if (age > 0) return;  // a later seek the consumer has not been told of yet
        if (age == 0) break;
        worker_.popBlock();  // the old place's, too late to be held, or a skipped target
        worker_.recycle(block);
    }
    jumpArrived_ = true;
    if (stretching_) {
        // Key-locked, what the stretcher was fed is no longer the old place's own frames, and
        // a cut fed into it comes out as a click and again when its delay has passed. The old
        // stretcher plays on from the old place while a second one starts at the new place, and
        // their sounds cross-fade: heard at once, after what the resampler holds.
        incomingLock_.setRatios(keyLock_.timeRatio(), keyLock_.pitchScale());
        incomingLock_.restart();
        position_ = double(jumpFrame_) - (inputFrames_ - inputOffset_) / keyLock_.timeRatio();
        generation_ = jumpGeneration_;
        return;
    }
    // The new place is there. Old frames read ahead but not yet given to the resampler are
    // not played: the first of them become the old side of the cross-fade, which thereby starts
    // at once instead of after the read-ahead. What the resampler holds still plays first.
    const int unread = inputFrames_ - inputOffset_;
    tailFrames_ = std::min(unread, fadeFrames_);
    tailOffset_ = 0;
    std::copy_n(input_.begin() + std::ptrdiff_t(inputOffset_) * channels_,
                std::size_t(tailFrames_) * channels_, oldTail_.begin());
    inputFrames_ = inputOffset_;
    // When the tail is short the old cursor goes on right after it.
    if (tailFrames_ < unread) {
        letGo(current_);
        releaseHeld();
        current_.ended = true;
    }
    const double buffered = double(current_.frame) - position_ - unread;
    position_ = double(jumpFrame_) - buffered;
    generation_ = jumpGeneration_;
}

void Voice::releaseHeld() {
    for (int i = heldNext_; i < heldCount_; ++i)
        worker_.recycle(held_[i]);
    heldCount_ = heldNext_ = 0;
    heldClosed_ = false;
}

void Voice::finishJump() {
    letGo(current_);
    releaseHeld();
    current_ = incoming_;
    incoming_ = Cursor{};
    if (stretching_ && jumpArrived_) keyLock_.swap(incomingLock_);
    generation_ = jumpGeneration_;
    loop_ = jumpLoop_;
    jumping_ = jumpArrived_ = false;
    ended_ = false;
    primed_ = true;
    if (queued_.waiting) {
        queued_.waiting = false;
        startJump(queued_.generation, queued_.frame, queued_.tellWorker, queued_.warmSlot,
                  queued_.loop);
    }
}

// The old place fell silent before the new one arrived: the jump becomes a plain seek.
void Voice::abandonJump() {
    if (jumpArrived_) {
        finishJump();
        primed_ = current_.block != nullptr;
        if (jumping_) abandonJump();  // a jump queued behind the cross-fade
        return;
    }
    releaseHeld();
    jumping_ = false;
    if (jumpTellsWorker_) {
        jumpTellsWorker_ = false;
        worker_.seek(jumpGeneration_, jumpFrame_, jumpLoop_);
    }
    loop_ = jumpLoop_;
    // The new place's warm blocks, if any, pass to the plain seek.
    const int warmSlot = incoming_.warmSlot;
    incoming_.warmSlot = -1;
    letGo(incoming_);
    applySeek(jumpGeneration_, jumpFrame_, warmSlot);
}

std::int64_t Voice::oldFramesLeft() const {
    std::int64_t frames = inputFrames_ - inputOffset_;
    if (current_.block) frames += current_.block->frames - current_.offset;
    // A place reached through a warm slot plays the rest of the slot before the held blocks:
    // leaving it out made a waiting jump fade the old place out while it had plenty to play.
    if (current_.warmSlot >= 0)
        for (int i = current_.warmNext; const Block* block = worker_.warm(current_.warmSlot, i);
             ++i)
            frames += block->frames;
    for (int i = heldNext_; i < heldCount_; ++i)
        frames += held_[i]->frames;
    return frames;
}

// Whether the current place has something to play (or has ended), so a start fades in on sound.
bool Voice::dataReady() const {
    if (current_.block || current_.ended || current_.warmSlot >= 0 || inputFrames_ > inputOffset_)
        return true;
    const Block* block = worker_.peekBlock();
    return block && block->generation == generation_;
}

bool Voice::fetchBlock(Cursor& cursor, Feed feed, std::uint32_t generation, bool waitForData) {
    if (cursor.warmSlot >= 0) {
        if (Block* block = worker_.warm(cursor.warmSlot, cursor.warmNext++)) {
            cursor.block = block;
            cursor.offset = 0;
            cursor.frame = block->startFrame;
            return true;
        }
        worker_.unpinWarm(cursor.warmSlot);  // read out: the queue goes on from its end
        cursor.warmSlot = -1;
    }
    if (feed == Feed::Held) {
        if (heldNext_ < heldCount_) {
            cursor.block = held_[heldNext_++];
            cursor.offset = 0;
            cursor.frame = cursor.block->startFrame;
            return true;
        }
        if (heldClosed_) cursor.ended = true;
        return false;
    }
    const auto deadline = std::chrono::steady_clock::now() + kOfflineWait;
    for (;;) {
        Block* block = worker_.peekBlock();
        if (!block) {
            if (!waitForData || std::chrono::steady_clock::now() > deadline) return false;
            KELVRA_ASSERT_MAY_BLOCK();
            worker_.wake();
            std::this_thread::sleep_for(std::chrono::microseconds(20));
            continue;
        }
        const auto age = std::int32_t(block->generation - generation);
        if (age > 0) {
            // The old place has run out under a loop change still waiting for its frame: the
            // worker decodes only the new place now, so the change cannot wait any longer.
            if (&cursor == &current_ && feed == Feed::Queue && splice_.pending)
                spliceMissed_ = true;
            return false;  // a seek the consumer has not applied yet
        }
        worker_.popBlock();
        if (age < 0) {  // left over from before a seek
            worker_.recycle(block);
            continue;
        }
        if (block->frames == 0) {
            cursor.ended = block->endOfStream;
            worker_.recycle(block);
            if (cursor.ended) return false;
            continue;
        }
        // A loop starts over inside one generation: the block says which frame it holds.
        cursor.block = block;
        cursor.offset = 0;
        cursor.frame = block->startFrame;
        return true;
    }
}

int Voice::readCursor(Cursor& cursor, Feed feed, std::uint32_t generation, float* out, int frames,
                      bool waitForData) {
    int got = 0;
    // A loop change takes over exactly at its frame: the read stops there, and goes on in the
    // new generation when that is decoded.
    const bool splicing = &cursor == &current_ && feed == Feed::Queue;
    while (got < frames) {
        if (splicing && splice_.pending && cursor.frame == splice_.at && !cursor.ended &&
            spliceNow(waitForData))
            generation = generation_;
        if (!cursor.block && (cursor.ended || !fetchBlock(cursor, feed, generation, waitForData)))
            break;
        Block* block = cursor.block;
        int n = std::min(frames - got, block->frames - cursor.offset);
        if (splicing && splice_.pending && cursor.frame < splice_.at &&
            cursor.frame + n > splice_.at)
            n = int(splice_.at - cursor.frame);
        const std::int16_t* from = block->samples + std::size_t(cursor.offset) * channels_;
        float* to = out + std::size_t(got) * channels_;
        for (int i = 0; i < n * channels_; ++i)
            to[i] = fromPcm16(from[i]);
        got += n;
        cursor.offset += n;
        cursor.frame += n;
        if (cursor.offset == block->frames) {
            if (block->endOfStream) cursor.ended = true;
            worker_.recycle(block);
            cursor.block = nullptr;
            // Offline the worker is woken at once rather than at its next poll; the audio
            // thread never wakes it, as that is a system call.
            if (waitForData) worker_.wake();
        }
    }
    return got;
}

// The old place's frames in fadeScratch_ (the first `old` of `got`; silence after them) fall as
// the new place's in `out` rise, with the shape of the start and stop fades, so the sum stays
// smooth.
void Voice::blendFade(float* out, int got, int old) {
    std::fill(fadeScratch_.begin() + std::size_t(old) * channels_,
              fadeScratch_.begin() + std::size_t(got) * channels_, 0.0f);
    for (int i = 0; i < got; ++i) {
        const float rise = shape(float(fadeDone_ + i + 1) / float(fadeFrames_));
        for (int c = 0; c < channels_; ++c) {
            const std::size_t k = std::size_t(i) * channels_ + c;
            out[k] = fadeScratch_[k] + (out[k] - fadeScratch_[k]) * rise;
        }
    }
    fadeDone_ += got;
}

// The source frames of a jump's cross-fade: the new place rising over the old one falling, with
// the shape of the start and stop fades, so the sum stays smooth.
int Voice::crossFade(float* out, int frames, bool waitForData) {
    frames = std::min({frames, fadeFrames_ - fadeDone_, kInputFrames});
    const int got = readCursor(incoming_, Feed::Queue, jumpGeneration_, out, frames, waitForData);
    // The old side: the read-ahead kept at arrival, then the old place's own blocks.
    const int fromTail = std::min(got, tailFrames_ - tailOffset_);
    std::copy_n(oldTail_.begin() + std::ptrdiff_t(tailOffset_) * channels_,
                std::size_t(fromTail) * channels_, fadeScratch_.begin());
    tailOffset_ += fromTail;
    const int old = fromTail + readCursor(current_, Feed::Held, generation_,
                                          fadeScratch_.data() + std::size_t(fromTail) * channels_,
                                          got - fromTail, false);
    blendFade(out, got, old);
    if (fadeDone_ >= fadeFrames_) finishJump();
    return got;
}

int Voice::readSource(float* out, int frames, bool waitForData) {
    if (!jumping_) return readCursor(current_, Feed::Queue, generation_, out, frames, waitForData);
    if (!jumpArrived_) return readCursor(current_, Feed::Held, generation_, out, frames, false);
    int got = 0;
    while (got < frames && jumping_ && jumpArrived_) {
        const int n = crossFade(out + std::size_t(got) * channels_, frames - got, waitForData);
        got += n;
        if (n == 0) return got;
    }
    // A jump queued behind the cross-fade has begun: the caller polls it before reading on.
    if (jumping_) return got;
    return got + readCursor(current_, Feed::Queue, generation_, out + std::size_t(got) * channels_,
                            frames - got, waitForData);
}

int Voice::resample(float* out, int frames, bool waitForData) {
    const double step =
        std::clamp(double(currentRate_) / outputRate_, kMinStep, SincResampler::kMaxStep);
    const int needed = int(std::ceil(frames * step)) + SincResampler::lookAhead(step) + 1;
    int produced = 0;
    for (int attempt = 0; produced < frames && attempt < 8; ++attempt) {
        int available = inputFrames_ - inputOffset_;
        if (available < needed && !sourceEnded()) {
            std::memmove(input_.data(), input_.data() + std::size_t(inputOffset_) * channels_,
                         sizeof(float) * std::size_t(available) * channels_);
            inputOffset_ = 0;
            inputFrames_ = available;
            pollJump(waitForData);  // an arriving jump takes over the unread input
            float* into = input_.data() + std::size_t(inputFrames_) * channels_;
            inputFrames_ +=
                stretching_
                    ? pullStretched(into,
                                    std::min(kInputFrames - inputFrames_, needed - available + 256),
                                    waitForData)
                    : readSource(into, kInputFrames - inputFrames_, waitForData);
            available = inputFrames_;
        }
        // The step glides from the last call's to this one across the call's output.
        const SincResampler::Result result = resampler_.process(
            input_.data() + std::size_t(inputOffset_) * channels_, available, sourceEnded(),
            out + std::size_t(produced) * channels_, frames - produced, step);
        inputOffset_ += result.inputUsed;
        produced += result.outputMade;
        // Stretched frames stand for fewer or more of the song's own.
        position_ +=
            stretching_ ? result.sourceAdvance / keyLock_.timeRatio() : result.sourceAdvance;
        if (result.outputMade == 0 && (sourceEnded() || result.inputUsed == 0)) break;
    }
    return produced;
}

// Entering or leaving the resampler happens while silent (the caller fades out first), so the
// jump by the resampler's own look-ahead is never heard.
void Voice::switchPath(int rate, bool stretch) {
    const bool toBypass = !stretch && !stretching_ && rate == outputRate_;
    currentRate_ = rate;
    if (stretch && !stretching_) {
        // What the resampler has not read yet goes into the stretcher first: it comes out of it
        // at the place the voice was heard, so the lock changes the sound, not the place.
        position_ = double(current_.frame - (inputFrames_ - inputOffset_));
        keyLock_.restart();
        for (int at = inputOffset_; at < inputFrames_; at += KeyLockStage::kMaxFeed)
            keyLock_.feed(input_.data() + std::size_t(at) * channels_,
                          std::min(KeyLockStage::kMaxFeed, inputFrames_ - at), false);
        inputOffset_ = inputFrames_ = 0;
        resampler_.reset();
        stretching_ = true;
        return;
    }
    if (toBypass) {
        // Unread resampler input plays first, straight.
        position_ = double(current_.frame - (inputFrames_ - inputOffset_));
    } else {
        resampler_.reset();
    }
}

namespace {

// Up to `frames` frames out of a stretcher, fed in steady blocks by `read` (frames into a
// buffer, how many came) as it needs; `ended` says whether a read of none was the last.
template <class Read, class Ended>
int pull(KeyLockStage& stage, float* feed, int channels, float* out, int frames, Read read,
         Ended ended) {
    int got = 0;
    bool fedFinal = false;
    for (int round = 0; got < frames && round < 64; ++round) {
        if (stage.available() > 0) {
            got += stage.retrieve(out + std::size_t(got) * channels, frames - got);
            continue;
        }
        if (fedFinal) break;
        const int n = read(feed, KeyLockStage::kFeedFrames);
        fedFinal = n == 0 && ended();
        if (n == 0 && !fedFinal) break;
        stage.feed(feed, n, fedFinal);
    }
    return got;
}

}  // namespace

// Up to `frames` frames out of the key lock's stretcher, fed from the source as it needs.
int Voice::pullStretched(float* out, int frames, bool waitForData) {
    int got = 0;
    while (got < frames && jumping_ && jumpArrived_) {
        const int n =
            crossFadeStretched(out + std::size_t(got) * channels_, frames - got, waitForData);
        got += n;
        if (n == 0) return got;
    }
    return got + pull(
                     keyLock_, stretchFeed_.data(), channels_, out + std::size_t(got) * channels_,
                     frames - got, [&](float* to, int n) { return readSource(to, n, waitForData); },
                     [&] { return sourceEnded(); });
}

// A key-locked jump's cross-fade after stretching: the new place's stretcher rising over the
// old place's falling, with the shape of the start and stop fades.
int Voice::crossFadeStretched(float* out, int frames, bool waitForData) {
    frames = std::min({frames, fadeFrames_ - fadeDone_, kInputFrames});
    const int got = pull(
        incomingLock_, stretchFeed_.data(), channels_, out, frames,
        [&](float* to, int n) {
            return readCursor(incoming_, Feed::Queue, jumpGeneration_, to, n, waitForData);
        },
        [&] { return incoming_.ended; });
    if (got == 0 && !incoming_.ended) {
        // The new place's stretcher wants more than is decoded yet: the old place plays on.
        return pull(
            keyLock_, stretchFeed_.data(), channels_, out, frames,
            [&](float* to, int n) {
                return readCursor(current_, Feed::Held, generation_, to, n, false);
            },
            [&] { return current_.ended; });
    }
    const int old = pull(
        keyLock_, stretchFeed_.data(), channels_, fadeScratch_.data(), got,
        [&](float* to, int n) {
            return readCursor(current_, Feed::Held, generation_, to, n, false);
        },
        [&] { return current_.ended; });
    blendFade(out, got, old);
    if (fadeDone_ >= fadeFrames_ || got == 0) finishJump();  // done, or the new place ended
    return got;
}

// Fills `out` with up to `frames` stereo frames of the source at the current rate; returns how
// many it could make.
int Voice::renderSource(float* out, int frames, bool waitForData) {
    int got = 0;
    if (bypass()) {
        // Input left over from the resampler comes first.
        const int carried = std::min(frames, inputFrames_ - inputOffset_);
        if (carried > 0) {
            std::memcpy(out, input_.data() + std::size_t(inputOffset_) * channels_,
                        sizeof(float) * std::size_t(carried) * channels_);
            inputOffset_ += carried;
        }
        got = carried;
        position_ += carried;
        while (got < frames) {
            pollJump(waitForData);
            const int n = readSource(out + std::size_t(got) * channels_, frames - got, waitForData);
            got += n;
            position_ += n;
            if (n == 0) break;
        }
    } else {
        got = resample(out, frames, waitForData);
    }
    // The audible position cannot run ahead of what was read.
    const Cursor& reading = jumping_ && jumpArrived_ ? incoming_ : current_;
    if (!(jumping_ && !jumpArrived_)) position_ = std::min(position_, double(reading.frame));
    if (channels_ == 1) {
        for (int i = got - 1; i >= 0; --i)
            out[2 * i] = out[2 * i + 1] = out[i];
    }
    return got;
}

void Voice::mixInto(float* mix, float* cue, int frames, bool waitForData) {
    KELVRA_ASSERT_MIXING();
    const int rate = shared.rate.load(std::memory_order_relaxed);
    const float volume = float(shared.volume.load(std::memory_order_relaxed)) / 100.0f;
    const int pan = shared.pan.load(std::memory_order_relaxed);
    const float correction =
        shared.gain.load(std::memory_order_relaxed) * shared.trim.load(std::memory_order_relaxed);
    const DeckFxSettings fx{shared.eqLow.load(std::memory_order_relaxed),
                            shared.eqMid.load(std::memory_order_relaxed),
                            shared.eqHigh.load(std::memory_order_relaxed),
                            shared.filter.load(std::memory_order_relaxed)};
    // Linear pan law: the near side stays full, the far side loses |pan| percent.
    const float targetLeft = correction * volume * (pan > 0 ? 1.0f - float(pan) / 100.0f : 1.0f);
    const float targetRight = correction * volume * (pan < 0 ? 1.0f + float(pan) / 100.0f : 1.0f);
    const float targetCue =
        cue ? correction * float(shared.cue.load(std::memory_order_relaxed)) / 100.0f : 0.0f;
    // With the key lock the resampler plays at the base rate (the key) and the stretcher makes
    // up the tempo; a key shift alone stretches nothing and shifts the pitch.
    const bool lock = shared.keyLock.load(std::memory_order_relaxed);
    const int shift = shared.keyShift.load(std::memory_order_relaxed);
    const int keyBase = shared.keyBase.load(std::memory_order_relaxed);
    const int base = keyBase > 0 ? keyBase : worker_.format().rate;
    wantStretch_ = lock || shift != 0;
    const int pathRate = lock ? base : rate;
    const bool wantBypass = !wantStretch_ && !stretching_ && rate == outputRate_;
    const double stretchTime = lock ? double(base) / std::max(1, rate) : 1.0;
    const double stretchRatio = std::clamp(stretchTime, 0.25, 4.0);
    keyLock_.setRatios(stretchRatio, std::exp2(shift / 12.0));
    if (jumping_) incomingLock_.setRatios(stretchRatio, std::exp2(shift / 12.0));
    // Below this much of the old place left, a waiting jump fades the old place out rather than
    // let it run dry mid-chunk; the new place then fades in from silence.
    const double step = double(rate) / outputRate_;
    const std::int64_t oldReserve =
        std::int64_t(std::ceil((chunkFrames_ + 1.0 / envelopeStep_) * std::max(step, 1.0))) +
        SincResampler::lookAhead(std::max(step, 1.0)) + 1;

    followScratch();
    int done = 0;
    while (done < frames) {
        if (spliceMissed_) {
            spliceMissed_ = splice_.pending = false;
            // Offline the worker hears of the new place from the voice, and has not yet.
            startJump(splice_.generation, splice_.to, splice_.tellWorker && !splice_.told, -1,
                      splice_.loop);
        }
        pollJump(waitForData);
        if (envelope_ <= 0) {
            if (jumping_) abandonJump();
            if (wantBypass != bypass() || (wantStretch_ && !stretching_))
                switchPath(pathRate, wantStretch_);
            // Nothing is heard yet: a start takes the newest gains at once instead of gliding
            // to them from a volume it never played at.
            gainLeft_ = targetLeft;
            gainRight_ = targetRight;
            gainCue_ = targetCue;
        }
        const bool pathSwitch = wantBypass != bypass() || (wantStretch_ && !stretching_);
        if (!pathSwitch && !bypass()) currentRate_ = pathRate;
        // A start or a seek while silent waits, silent and uncounted, for its first block.
        if (wantPlaying_ && !primed_ && !jumping_) {
            // Taking the block (or dropping stale ones) here also tells a late worker apart
            // from one that has not reached the new place yet.
            if (!dataReady()) fetchBlock(current_, Feed::Queue, generation_, waitForData);
            primed_ = dataReady();
        }
        const bool oldRunningDry = jumping_ && !jumpArrived_ && oldFramesLeft() < oldReserve;
        const bool held = scratching_ == Scratching::Held ||
                          (scratching_ == Scratching::Released && !scratchSought_);
        const bool sounding =
            wantPlaying_ && primed_ && !ended_ && !pathSwitch && !oldRunningDry && !held;
        if (!sounding && envelope_ <= 0) break;

        int chunk = std::min(frames - done, chunkFrames_);
        if (!sounding) chunk = std::min(chunk, int(std::ceil(envelope_ / envelopeStep_)));
        const bool wasJumping = jumping_;
        const int got = renderSource(scratch_.data(), chunk, waitForData);
        std::fill(scratch_.begin() + 2 * got, scratch_.begin() + 2 * chunk, 0.0f);
        fx_.process(scratch_.data(), chunk, fx);
        const bool drained =
            !jumping_ && current_.ended &&
            (got < chunk || (bypass() && !current_.block && inputOffset_ == inputFrames_));
        if (drained) {
            ended_ = true;
        } else if (got < chunk && !wasJumping && !jumping_) {
            starvedFrames_.fetch_add(std::uint64_t(chunk - got), std::memory_order_relaxed);
        }

        const float target = sounding ? 1.0f : 0.0f;
        float* to = mix + 2 * std::size_t(done);
        float* toCue = cue ? cue + 2 * std::size_t(done) : nullptr;
        if (envelope_ == target && target == 1.0f && gainLeft_ == targetLeft &&
            gainRight_ == targetRight && gainCue_ == targetCue) {
            // Steady state, the common case: plain gains.
            for (int i = 0; i < chunk; ++i) {
                to[2 * i] += scratch_[2 * i] * gainLeft_;
                to[2 * i + 1] += scratch_[2 * i + 1] * gainRight_;
            }
            if (toCue && gainCue_ != 0)
                for (int i = 0; i < 2 * chunk; ++i)
                    toCue[i] += scratch_[i] * gainCue_;
        } else {
            for (int i = 0; i < chunk; ++i) {
                envelope_ = approach(envelope_, target, envelopeStep_);
                gainLeft_ = approach(gainLeft_, targetLeft, gainStep_);
                gainRight_ = approach(gainRight_, targetRight, gainStep_);
                gainCue_ = approach(gainCue_, targetCue, gainStep_);
                const float e = shape(envelope_);
                scratch_[2 * i] *= e;
                scratch_[2 * i + 1] *= e;
                to[2 * i] += scratch_[2 * i] * gainLeft_;
                to[2 * i + 1] += scratch_[2 * i + 1] * gainRight_;
                if (toCue) {
                    toCue[2 * i] += scratch_[2 * i] * gainCue_;
                    toCue[2 * i + 1] += scratch_[2 * i + 1] * gainCue_;
                }
            }
        }
        // The meter reads the stream's own signal (with its start and stop fades) before volume
        // and pan: the mixer's meters apply the deck, main and crossfader gains themselves.
        meter(scratch_.data(), chunk, correction);
        done += chunk;
        if (ended_) {
            envelope_ = 0;
            position_ = double(length_);
            shared.endedSerial.store(serial_, std::memory_order_release);
            break;
        }
    }
    if (scratching_ != Scratching::Off || scratchBlend_ > 0)
        mixScratch(mix, cue, frames, {targetLeft, targetRight, targetCue, correction}, fx,
                   wantPlaying_ ? step : 0.0);
    else if (envelope_ <= 0 && !(wantPlaying_ && !ended_))
        clearMeter();
    publishPosition();
}

void Voice::followScratch() {
    const bool held = shared.scratchHeld.load(std::memory_order_acquire);
    if (scratching_ == Scratching::Off) {
        const ScratchWindow* window = shared.scratchWindow.load(std::memory_order_acquire);
        // The needle goes down where the deck is, once the song around it is decoded.
        if (!held || !window || !window->holds(position_)) return;
        scratchWindow_ = window;
        shared.scratchInUse.store(window, std::memory_order_release);
        scratchAnchor_ = position_ - shared.scratchOffset.load(std::memory_order_relaxed);
        scratchPlayer_.begin(position_);
        scratchSought_ = false;
        scratchLeft_ = gainLeft_;
        scratchRight_ = gainRight_;
        scratchCue_ = gainCue_;
        scratching_ = Scratching::Held;
    } else if (scratching_ == Scratching::Held && !held) {
        scratching_ = Scratching::Released;
    }
}

void Voice::mixScratch(float* mix, float* cue, int frames, const Gains& gains,
                       const DeckFxSettings& fx, double nominalStep) {
    const double target = scratchAnchor_ + shared.scratchOffset.load(std::memory_order_relaxed);
    for (int done = 0; done < frames;) {
        const int chunk = std::min(frames - done, kMaxChunk);
        // Let go, the needle runs at the deck's own speed (or comes to rest) until the deck's
        // sound is back, and then fades under it.
        const bool released = scratching_ == Scratching::Released;
        scratchPlayer_.render(*scratchWindow_, target, released ? nominalStep : -1.0,
                              scratchOut_.data(), chunk);
        scratchFx_.process(scratchOut_.data(), chunk, fx);
        const bool handOver = released && scratchSought_ && (nominalStep <= 0 || envelope_ > 0);
        const float goal = handOver || scratching_ == Scratching::Off ? 0.0f : 1.0f;
        float* to = mix + 2 * std::size_t(done);
        float* toCue = cue ? cue + 2 * std::size_t(done) : nullptr;
        for (int i = 0; i < chunk; ++i) {
            scratchBlend_ = approach(scratchBlend_, goal, envelopeStep_);
            scratchLeft_ = approach(scratchLeft_, gains.left, gainStep_);
            scratchRight_ = approach(scratchRight_, gains.right, gainStep_);
            scratchCue_ = approach(scratchCue_, gains.cue, gainStep_);
            const float e = shape(scratchBlend_);
            const float l = scratchOut_[2 * i] * e, r = scratchOut_[2 * i + 1] * e;
            scratchOut_[2 * i] = l;
            scratchOut_[2 * i + 1] = r;
            to[2 * i] += l * scratchLeft_;
            to[2 * i + 1] += r * scratchRight_;
            if (toCue) {
                toCue[2 * i] += l * scratchCue_;
                toCue[2 * i + 1] += r * scratchCue_;
            }
        }
        if (envelope_ <= 0) meter(scratchOut_.data(), chunk, gains.correction);
        done += chunk;
        if (handOver && scratchBlend_ <= 0) {
            scratching_ = Scratching::Off;
            shared.scratchInUse.store(nullptr, std::memory_order_release);
            break;
        }
    }
    // While the needle is down, the deck's place is the needle's.
    if (scratching_ != Scratching::Off && !(scratching_ == Scratching::Released && scratchSought_))
        position_ = scratchPlayer_.position();
}

void Voice::publishPosition() {
    auto frame = std::clamp<std::int64_t>(std::llrint(position_), 0, length_);
    // At a loop's end the next frame heard is its start.
    if (loop_.on() && frame == loop_.end) frame = loop_.start;
    shared.position.store(packPosition(generation_, frame), std::memory_order_release);
    // Where the read stands, for a loop change to take over ahead of it. A jump on its way
    // reads two places; the one heard stands for both.
    const std::int64_t read =
        jumping_ ? frame : std::clamp<std::int64_t>(current_.frame, 0, length_);
    shared.reading.store(packPosition(generation_, read), std::memory_order_release);
}

void Voice::meter(const float* stereo, int frames, float correction) {
    for (int i = 0; i < frames; ++i) {
        float* peaks = slicePeaks_[slice_];
        peaks[0] = std::max(peaks[0], std::fabs(stereo[2 * i]));
        peaks[1] = std::max(peaks[1], std::fabs(stereo[2 * i + 1]));
        if (++sliceFill_ == sliceFrames_) {
            sliceFill_ = 0;
            slice_ = (slice_ + 1) % kSlices;
            slicePeaks_[slice_][0] = slicePeaks_[slice_][1] = 0;
        }
    }
    float left = 0, right = 0;
    for (const auto& peaks : slicePeaks_) {
        left = std::max(left, peaks[0]);
        right = std::max(right, peaks[1]);
    }
    const auto scale = [correction](float peak) {
        return std::uint32_t(
            std::min<long>(std::lrint(peak * correction * kPcm16FullScale), 32768));
    };
    shared.level.store(scale(left) | scale(right) << 16, std::memory_order_relaxed);
}

void Voice::clearMeter() {
    for (auto& peaks : slicePeaks_)
        peaks[0] = peaks[1] = 0;
    sliceFill_ = 0;
    shared.level.store(0, std::memory_order_relaxed);
}

}  // namespace kelvra::audio::engine
