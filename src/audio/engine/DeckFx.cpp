#include "audio/engine/DeckFx.h"

#include <algorithm>
#include <cmath>
#include <numbers>

#include "audio/engine/Denormals.h"

namespace kelvra::audio::engine {
namespace {

constexpr double kLowPassTop = 20000, kLowPassBottom = 60;
constexpr double kHighPassBottom = 20, kHighPassTop = 10000;
// Two sections of unequal damping: a gentle slope with a small peak at the cutoff, the way a
// DJ filter is expected to sing a little as it sweeps, never whistle.
constexpr double kSectionQ[2] = {0.6, 1.5};
constexpr double kGlideSeconds = 0.010;
constexpr double kSettled = 1e-5;

enum class Shape { LowPass, HighPass, AllPass };

// A second-order section of Butterworth damping by the bilinear transform, prewarped at `hz`;
// two in series make one side of a Linkwitz-Riley crossover.
auto butterworth(Shape shape, double hz, int rate) {
    struct {
        double b0, b1, b2, a1, a2;
    } c{};
    const double w = 2 * std::numbers::pi * hz / rate;
    const double alpha = std::sin(w) / (2 * std::numbers::sqrt2 / 2);
    const double cosw = std::cos(w);
    const double a0 = 1 + alpha;
    switch (shape) {
        case Shape::LowPass:
            c = {(1 - cosw) / 2, 1 - cosw, (1 - cosw) / 2, -2 * cosw, 1 - alpha};
            break;
        case Shape::HighPass:
            c = {(1 + cosw) / 2, -(1 + cosw), (1 + cosw) / 2, -2 * cosw, 1 - alpha};
            break;
        case Shape::AllPass:
            c = {1 - alpha, -2 * cosw, 1 + alpha, -2 * cosw, 1 - alpha};
            break;
    }
    c.b0 /= a0, c.b1 /= a0, c.b2 /= a0, c.a1 /= a0, c.a2 /= a0;
    return c;
}

double glideTo(double value, double target, double coefficient) {
    const double next = value + (target - value) * coefficient;
    return std::fabs(target - next) < kSettled ? target : next;
}

// One state-variable section (trapezoidal integrators): low-pass and high-pass outputs from the
// same state, so its cutoff can move every sample without the state blowing up.
SvfSection svf(double hz, double q, int rate) {
    const double g = std::tan(std::numbers::pi * std::min(hz, 0.45 * rate) / rate);
    const double k = 1 / q;
    const double a1 = 1 / (1 + g * (g + k));
    return {a1, g * a1, g * g * a1, k};
}
double runSvf(double x, double state[2], const SvfSection& c, bool highPass) {
    const double v3 = x - state[1];
    const double v1 = c.a1 * state[0] + c.a2 * v3;
    const double v2 = state[1] + c.a2 * state[0] + c.a3 * v3;
    state[0] = 2 * v1 - state[0];
    state[1] = 2 * v2 - state[1];
    return highPass ? x - c.k * v1 - v2 : v2;
}

const double kLowPassOctaves = std::log2(kLowPassTop / kLowPassBottom);
const double kHighPassOctaves = std::log2(kHighPassTop / kHighPassBottom);

}  // namespace

double filterCutoff(float filter, bool highPass) {
    if (highPass)
        return kHighPassBottom * std::exp2(std::clamp(double(filter), 0.0, 1.0) * kHighPassOctaves);
    return kLowPassTop * std::exp2(-std::clamp(-double(filter), 0.0, 1.0) * kLowPassOctaves);
}

void DeckFx::prepare(int rate) {
    rate_ = rate;
    // Each of the two stages takes half the glide's time.
    glide_ = 1 - std::exp(-2 / (kGlideSeconds * rate));
    auto set = [rate](Biquad& b, Shape shape, double hz) {
        const auto c = butterworth(shape, hz, rate);
        b = {c.b0, c.b1, c.b2, c.a1, c.a2};
    };
    set(lowLp_, Shape::LowPass, kLowCrossover);
    set(lowHp_, Shape::HighPass, kLowCrossover);
    set(highLp_, Shape::LowPass, kHighCrossover);
    set(highHp_, Shape::HighPass, kHighCrossover);
    set(allPass_, Shape::AllPass, kHighCrossover);
    now_ = ahead_ = {};
    resetState();
}

void DeckFx::resetState() {
    for (Channel& channel : channels_)
        channel = {};
}

void DeckFx::process(float* stereo, int frames, const DeckFxSettings& settings) {
    const bool eqOn = !(settings.low == 1 && settings.mid == 1 && settings.high == 1);
    const double lowPassTarget = settings.filter < 0 ? -double(settings.filter) : 0;
    const double highPassTarget = settings.filter > 0 ? double(settings.filter) : 0;
    const Glide target{settings.low,
                       settings.mid,
                       settings.high,
                       lowPassTarget * kLowPassOctaves,
                       highPassTarget * kHighPassOctaves,
                       eqOn ? 1.0 : 0.0,
                       settings.filter < 0 ? 1.0 : 0.0,
                       settings.filter > 0 ? 1.0 : 0.0};
    const bool idle = now_.eqWet == 0 && now_.lowPassWet == 0 && now_.highPassWet == 0 &&
                      ahead_.eqWet == 0 && ahead_.lowPassWet == 0 && ahead_.highPassWet == 0;
    if (idle && !eqOn && settings.filter == 0) {
        // At rest the bands keep gliding to their targets, so a later change starts from them.
        now_ = ahead_ = target;
        return;
    }
    if (idle) resetState();

    for (int i = 0; i < frames; ++i) {
        // Two one-pole stages in series: each setting starts and ends its glide with zero slope,
        // so even the gain's own curve has no corner to hear.
        const auto glide = [this](double& first, double& value, double goal) {
            first = glideTo(first, goal, glide_);
            value = glideTo(value, first, glide_);
        };
        glide(ahead_.low, now_.low, target.low);
        glide(ahead_.mid, now_.mid, target.mid);
        glide(ahead_.high, now_.high, target.high);
        glide(ahead_.lowPassOctaves, now_.lowPassOctaves, target.lowPassOctaves);
        glide(ahead_.highPassOctaves, now_.highPassOctaves, target.highPassOctaves);
        glide(ahead_.eqWet, now_.eqWet, target.eqWet);
        glide(ahead_.lowPassWet, now_.lowPassWet, target.lowPassWet);
        glide(ahead_.highPassWet, now_.highPassWet, target.highPassWet);
        if (now_.lowPassOctaves != cutoffOctaves_[0] || now_.highPassOctaves != cutoffOctaves_[1] ||
            !cutoffsValid_) {
            cutoffOctaves_[0] = now_.lowPassOctaves;
            cutoffOctaves_[1] = now_.highPassOctaves;
            cutoffsValid_ = true;
            const double lowPassHz = kLowPassTop * std::exp2(-now_.lowPassOctaves);
            const double highPassHz = kHighPassBottom * std::exp2(now_.highPassOctaves);
            for (int s = 0; s < 2; ++s) {
                sections_[s] = svf(lowPassHz, kSectionQ[s], rate_);
                sections_[2 + s] = svf(highPassHz, kSectionQ[s], rate_);
            }
        }
        for (int c = 0; c < 2; ++c) {
            float& sample = stereo[2 * i + c];
            sample = float(processSample(double(sample), channels_[c]));
            // The sections' doubles fade through the float subnormals long before their own.
            flushTiny(sample);
        }
    }
    // In silence every section's memory decays towards zero: keep it out of subnormals.
    const auto flush = [](auto& sections) {
        for (auto& section : sections)
            for (double& state : section)
                flushTiny(state);
    };
    for (Channel& channel : channels_) {
        flush(channel.eq.lowLp);
        flush(channel.eq.lowHp);
        flush(channel.eq.highLp);
        flush(channel.eq.highHp);
        for (double& state : channel.eq.allPass)
            flushTiny(state);
        flush(channel.svf);
    }
}

double DeckFx::processSample(double x, Channel& ch) {
    double y = x;
    if (now_.eqWet > 0) {
        const double low =
            allPass_.run(lowLp_.run(lowLp_.run(x, ch.eq.lowLp[0]), ch.eq.lowLp[1]), ch.eq.allPass);
        const double rest = lowHp_.run(lowHp_.run(x, ch.eq.lowHp[0]), ch.eq.lowHp[1]);
        const double mid = highLp_.run(highLp_.run(rest, ch.eq.highLp[0]), ch.eq.highLp[1]);
        const double high = highHp_.run(highHp_.run(rest, ch.eq.highHp[0]), ch.eq.highHp[1]);
        const double eq = now_.low * low + now_.mid * mid + now_.high * high;
        y = x + now_.eqWet * (eq - x);
    } else {
        ch.eq = {};
    }
    if (now_.lowPassWet > 0) {
        double f = y;
        for (int s = 0; s < 2; ++s)
            f = runSvf(f, ch.svf[s], sections_[s], false);
        y += now_.lowPassWet * (f - y);
    } else {
        ch.svf[0][0] = ch.svf[0][1] = ch.svf[1][0] = ch.svf[1][1] = 0;
    }
    if (now_.highPassWet > 0) {
        double f = y;
        for (int s = 0; s < 2; ++s)
            f = runSvf(f, ch.svf[2 + s], sections_[2 + s], true);
        y += now_.highPassWet * (f - y);
    } else {
        ch.svf[2][0] = ch.svf[2][1] = ch.svf[3][0] = ch.svf[3][1] = 0;
    }
    return y;
}

}  // namespace kelvra::audio::engine
