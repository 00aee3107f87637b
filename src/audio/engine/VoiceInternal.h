// What the voice's own files share: the resampler's input size, how long offline rendering
// waits for a block, the fades' shape, and the jump's state changes with the checks on them.
// Private to the voice. Thread: the voice's consumer.
#pragma once

#include <cassert>
#include <chrono>

#include "audio/engine/Voice.h"

namespace kelvra::audio::engine {

inline constexpr int kInputFrames = 8192;  // resampler input, enough for the lowest ratio
// Offline rendering waits this long for a block before giving up and playing silence.
inline constexpr auto kOfflineWait = std::chrono::seconds(5);

// A smooth envelope shape: zero slope at both ends, so a fade adds no corner of its own.
inline float shape(float e) {
    return e * e * (3.0f - 2.0f * e);
}

// The one place a jump changes state. A jump only moves forwards (none, waiting, cross-fading,
// none), except that a waiting one may end at once by becoming a plain seek.
inline void Voice::setJump(JumpState next) {
    [[maybe_unused]] const JumpState from = jump_;
    assert((from == JumpState::None && next == JumpState::Waiting) ||
           (from == JumpState::Waiting && next != JumpState::Waiting) ||
           (from == JumpState::CrossFading && next == JumpState::None));
    jump_ = next;
}

// What the jump's state rules out, checked in debug builds wherever a change of it completes
// and around each mix (so a command that broke it is caught at the next mix). Like the other
// audio-thread checks it only reads members: nothing allocates, locks or prints unless it fails.
inline void Voice::checkJump() const {
    assert(heldNext_ >= 0 && heldNext_ <= heldCount_ && heldCount_ <= kHeldBlocks);
    // A seek waits behind a jump only while that one cross-fades; one still waiting is retargeted.
    assert(!queued_.waiting || jump_ == JumpState::CrossFading);
    // The worker is told of a target before the new place can arrive.
    assert(!jumpTellsWorker_ || jump_ == JumpState::Waiting);
    // A loop change in waiting rides on a jump as a jump of its own, so none waits beside one.
    assert(!splice_.pending || jump_ == JumpState::None);
    if (jump_ == JumpState::None) {
        // With no jump the old place's blocks are all back with the worker, and nothing is
        // read for a new place.
        assert(heldCount_ == 0 && heldNext_ == 0 && !heldClosed_);
        assert(!incoming_.block && incoming_.warmSlot < 0);
    }
}

}  // namespace kelvra::audio::engine
