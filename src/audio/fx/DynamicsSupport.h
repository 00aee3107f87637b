// What the dynamics and turntable effects share: the entries each file makes for the list, a
// glide for parameters whose jumps would be heard, and decibel arithmetic.
// Threads: plain arithmetic, for whichever thread owns the effect.
#pragma once

#include <cmath>

#include "audio/fx/Builtins.h"

namespace kelvra::audio::fx::dynamics {

BuiltinEntry bitcrusherEntry();
BuiltinEntry gateEntry();
BuiltinEntry brakeEntry();
BuiltinEntry spinbackEntry();
BuiltinEntry compressorEntry();
BuiltinEntry limiterEntry();

inline float fromDb(float db) {
    return std::pow(10.0f, db / 20.0f);
}

// A value that follows its target by a one-pole step, landing on it once the rest is too small to
// hear (so it never creeps through the subnormal range). Until the effect has processed anything
// a new value is taken at once: nothing of the old one was heard.
class Glide {
  public:
    // `seconds` is the time constant at `rate`.
    void prepare(double seconds, int rate) { keep_ = float(std::exp(-1.0 / (seconds * rate))); }
    void set(float target, bool snap) {
        target_ = target;
        if (snap) now_ = target;
    }
    float next() {
        if (now_ != target_) {
            now_ = target_ + keep_ * (now_ - target_);
            if (std::fabs(now_ - target_) < 1e-6f * (1.0f + std::fabs(target_))) now_ = target_;
        }
        return now_;
    }
    float now() const { return now_; }
    float target() const { return target_; }
    bool moving() const { return now_ != target_; }

  private:
    float now_ = 0, target_ = 0, keep_ = 0;
};

}  // namespace kelvra::audio::fx::dynamics
