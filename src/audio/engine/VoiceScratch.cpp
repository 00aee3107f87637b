// A voice's scratch: the needle put down where the deck is, its sound mixed after the deck's own,
// and handed back when the wheel is let go and the deck's sound returns.
#include "audio/engine/Voice.h"

#include <algorithm>

#include "audio/engine/Ramp.h"
#include "audio/engine/VoiceInternal.h"

namespace kelvra::audio::engine {

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

}  // namespace kelvra::audio::engine
