#include "audio/engine/Scratch.h"

#include <algorithm>
#include <cmath>

#include "audio/engine/Denormals.h"

namespace kelvra::audio::engine {
namespace {

// The needle catches up with the wheel within about this long, and its speed glides to a new
// value over about this long: quick enough to feel direct, slow enough that a slow turn arriving
// in steps (a wheel's tick every 20 ms) is heard as one movement, not a warble.
constexpr double kFollowSeconds = 0.03;
constexpr double kGlideSeconds = 0.012;
// The DC blocker's corner: far below anything musical.
constexpr double kBlockerHz = 8.0;

// Catmull-Rom between b and c, at t in 0..1.
float cubic(float a, float b, float c, float d, float t) {
    return b + 0.5f * t * (c - a + t * (2 * a - 5 * b + 4 * c - d + t * (3 * (b - c) + d - a)));
}

}  // namespace

void ScratchPlayer::prepare(int outputRate) {
    const double rate = std::max(1, outputRate);
    followRate_ = 1.0 / (kFollowSeconds * rate);
    glide_ = 1.0 - std::exp(-1.0 / (kGlideSeconds * rate));
    blocker_ = std::exp(-2.0 * M_PI * kBlockerHz / rate);
}

void ScratchPlayer::begin(double frame) {
    position_ = frame;
    speed_ = 0;
    lastIn_[0] = lastIn_[1] = lastOut_[0] = lastOut_[1] = 0;
}

void ScratchPlayer::render(const ScratchWindow& window, double target, double freeStep, float* out,
                           int frames) {
    const double first = double(window.startFrame);
    const double last = double(window.startFrame + window.frames - 1);
    const float* s = window.samples.data();
    const auto at = [&](std::int64_t i, int channel) {
        i = std::clamp<std::int64_t>(i, 0, window.frames - 1);
        return s[2 * i + channel];
    };
    for (int i = 0; i < frames; ++i) {
        const double wanted =
            freeStep >= 0 ? freeStep
                          : std::clamp((target - position_) * followRate_, -kMaxSpeed, kMaxSpeed);
        speed_ += (wanted - speed_) * glide_;
        position_ = std::clamp(position_ + speed_, first, last);
        const double local = position_ - first;
        const auto base = std::int64_t(std::floor(local));
        const float t = float(local - double(base));
        for (int channel = 0; channel < 2; ++channel) {
            const float in = window.frames > 0
                                 ? cubic(at(base - 1, channel), at(base, channel),
                                         at(base + 1, channel), at(base + 2, channel), t)
                                 : 0.0f;
            // y[n] = x[n] - x[n-1] + r * y[n-1]: a held needle fades to silence.
            const float y = in - lastIn_[channel] + float(blocker_) * lastOut_[channel];
            lastIn_[channel] = in;
            lastOut_[channel] = y;
            out[2 * i + channel] = y;
        }
    }
    // A held needle decays the blocker towards zero for as long as it is held.
    for (int channel = 0; channel < 2; ++channel)
        flushTiny(lastOut_[channel]);
}

}  // namespace kelvra::audio::engine
