// Small pieces the built-in effects share: a parameter that glides instead of jumping, an LFO
// whose period is counted in beats, a soft ceiling for feedback loops and a few conversions.
// Threads: plain arithmetic on the owner's state, safe on the audio thread.
#pragma once

#include <algorithm>
#include <cmath>
#include <numbers>
#include <vector>

#include "audio/fx/Effect.h"

namespace kelvra::audio::fx::dsp {

inline constexpr double kTwoPi = 2.0 * std::numbers::pi;

// A value that follows its target with a one-pole glide, per sample. Close enough it lands
// exactly, so a steady setting is the value itself (an echo at 0.5 feedback is exactly 0.5).
class Glide {
  public:
    // `seconds` is the time constant of the glide at `rate`.
    void prepare(int rate, double seconds) {
        coef_ = float(1.0 - std::exp(-1.0 / (seconds * double(rate))));
    }
    void setTarget(float target) { target_ = target; }
    // Lands on the target now: the first sound after prepare() or reset() starts where set.
    void snap() { value_ = target_; }
    float next() {
        if (value_ == target_) return value_;
        value_ += (target_ - value_) * coef_;
        if (std::fabs(target_ - value_) < 1e-6f * (1.0f + std::fabs(target_))) value_ = target_;
        return value_;
    }
    // Advances `frames` samples at once, for values read once per block.
    float advance(int frames) {
        if (value_ == target_) return value_;
        const float keep = std::pow(1.0f - coef_, float(frames));
        value_ = target_ + (value_ - target_) * keep;
        if (std::fabs(target_ - value_) < 1e-6f * (1.0f + std::fabs(target_))) value_ = target_;
        return value_;
    }
    bool moving() const { return value_ != target_; }
    float value() const { return value_; }
    float target() const { return target_; }

  private:
    float value_ = 0, target_ = 0, coef_ = 1;
};

// An oscillator phase in cycles (0..1), whose period is a number of beats at the tempo of each
// period: a tempo change bends its speed, never its phase.
class BeatLfo {
  public:
    void reset(double phase = 0) { phase_ = phase; }
    // The phase step per sample for a period of `beats` at this beat length and rate.
    static double step(double beats, double beatSeconds, int rate) {
        if (!(beatSeconds > 0)) beatSeconds = 0.5;
        return 1.0 / (beats * beatSeconds * double(rate));
    }
    double phase() const { return phase_; }
    void advance(double step) {
        phase_ += step;
        if (phase_ >= 1.0) phase_ -= std::floor(phase_);
    }

  private:
    double phase_ = 0;
};

// Linear up to 1, then bends smoothly (matching slope) towards 2: what goes round a feedback
// loop can never grow without bound, and normal levels pass untouched.
inline float softCeiling(float x) {
    const float a = std::fabs(x);
    if (a <= 1.0f) return x;
    const float bent = 1.0f + std::tanh(a - 1.0f);
    return x < 0 ? -bent : bent;
}

// Sets every parameter of `effect` to its default, for a newly made effect.
inline void setDefaults(Effect& effect) {
    const auto& params = effect.info().params;
    for (std::size_t i = 0; i < params.size(); ++i)
        effect.setParam(int(i), params[i].value);
}

// What a power-of-two delay line held `delay` frames (fractional, linearly interpolated) before
// position `at`; a whole number of frames reads the sample exactly.
inline float readBack(const std::vector<float>& line, std::size_t at, std::size_t mask,
                      double delay) {
    const double whole = std::floor(delay);
    const auto frac = float(delay - whole);
    const auto back = std::size_t(whole);
    const float a = line[(at - back) & mask];
    if (frac == 0) return a;
    const float b = line[(at - back - 1) & mask];
    return a + (b - a) * frac;
}

// Zeroes a state that has decayed far below hearing, before it reaches the subnormal range.
inline void flush(float& state) {
    if (std::fabs(state) < 1e-15f) state = 0;
}

// One-pole low-pass in trapezoidal form: stable at any cutoff below Nyquist.
class OnePole {
  public:
    void setCutoff(double hz, int rate) {
        const double g = std::tan(std::numbers::pi * std::min(hz, 0.49 * rate) / rate);
        gain_ = float(g / (1.0 + g));
    }
    float lowPass(float x) {
        const float v = (x - state_) * gain_;
        const float low = v + state_;
        state_ = low + v;
        return low;
    }
    float highPass(float x) { return x - lowPass(x); }
    void clear() { state_ = 0; }
    void flushState() { flush(state_); }

  private:
    float gain_ = 1, state_ = 0;
};

}  // namespace kelvra::audio::fx::dsp
