// A voice's jumps: seeks (cross-faded while sounding, with the old place's blocks held until the
// new place arrives), loop changes spliced in at their frame, and the cross-fade itself.
#include "audio/engine/Voice.h"

#include <algorithm>
#include <chrono>
#include <thread>

#include "audio/engine/AudioThread.h"
#include "audio/engine/VoiceInternal.h"

namespace kelvra::audio::engine {

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
        if (jumping()) abandonJump();
        if (tellWorker) worker_.seek(generation, frame, loop);
        applySeek(generation, frame, warmSlot);
        loop_ = loop;
        return;
    }
    // A jump already cross-fading finishes first (cutting it short would click); one still
    // waiting just changes its target.
    if (jump_ == JumpState::CrossFading) {
        queued_ = {true, tellWorker, generation, frame, warmSlot, loop};
        return;
    }
    startJump(generation, frame, tellWorker, warmSlot, loop);
}

void Voice::splice(std::uint32_t generation, std::int64_t at, std::int64_t to, bool tellWorker,
                   LoopSpan loop, std::int64_t seamFrom, bool replaces) {
    // A jump on its way: the loop change rides on it as a jump of its own. So does one that
    // replaces a change this voice has taken already: the place it was meant for has gone by.
    if (jumping() || (replaces && !splice_.pending)) {
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
    // A cross-fade is never cut short: a seek during one waits in queued_.
    assert(jump_ != JumpState::CrossFading);
    jumpLoop_ = loop;
    if (jump_ == JumpState::None) {
        setJump(JumpState::Waiting);
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
    checkJump();
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
    if (jump_ != JumpState::Waiting) return;
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
    setJump(JumpState::CrossFading);
    if (stretching_) {
        // Key-locked, what the stretcher was fed is no longer the old place's own frames, and
        // a cut fed into it comes out as a click and again when its delay has passed. The old
        // stretcher plays on from the old place while a second one starts at the new place, and
        // their sounds cross-fade: heard at once, after what the resampler holds.
        incomingLock_.setRatios(keyLock_.timeRatio(), keyLock_.pitchScale());
        incomingLock_.restart();
        position_ = double(jumpFrame_) - (inputFrames_ - inputOffset_) / keyLock_.timeRatio();
        generation_ = jumpGeneration_;
        checkJump();
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
    checkJump();
}

void Voice::releaseHeld() {
    for (int i = heldNext_; i < heldCount_; ++i)
        worker_.recycle(held_[i]);
    heldCount_ = heldNext_ = 0;
    heldClosed_ = false;
}

void Voice::finishJump() {
    assert(jump_ == JumpState::CrossFading);
    letGo(current_);
    releaseHeld();
    current_ = incoming_;
    incoming_ = Cursor{};
    if (stretching_) keyLock_.swap(incomingLock_);
    generation_ = jumpGeneration_;
    loop_ = jumpLoop_;
    setJump(JumpState::None);
    ended_ = false;
    primed_ = true;
    if (queued_.waiting) {
        queued_.waiting = false;
        startJump(queued_.generation, queued_.frame, queued_.tellWorker, queued_.warmSlot,
                  queued_.loop);
    }
    checkJump();
}

// The old place fell silent before the new one arrived: the jump becomes a plain seek.
void Voice::abandonJump() {
    if (jump_ == JumpState::CrossFading) {
        finishJump();
        primed_ = current_.block != nullptr;
        if (jumping()) abandonJump();  // a jump queued behind the cross-fade
        return;
    }
    assert(jump_ == JumpState::Waiting);
    releaseHeld();
    setJump(JumpState::None);
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
    checkJump();
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

}  // namespace kelvra::audio::engine
