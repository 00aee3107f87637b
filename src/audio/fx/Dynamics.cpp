// The dynamics effects for the main mix: a compressor and a look-ahead limiter.
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <vector>

#include "audio/fx/DynamicsSupport.h"

namespace kelvra::audio::fx::dynamics {

namespace {

using Kind = ParamInfo::Kind;

constexpr double kGlideSeconds = 0.02;

double keepFor(double seconds, int rate) {
    return std::exp(-1.0 / (std::max(seconds, 1e-5) * rate));
}

// ---- compressor

const EffectInfo& compressorInfo() {
    static const EffectInfo info{
        "compressor",
        "Compressor",
        {
            {"threshold", "Threshold", "dB", -60, 0, -18, Kind::Continuous, false},
            {"ratio", "Ratio", "", 1, 20, 4, Kind::Continuous, true},
            {"attack", "Attack", "ms", 0.1f, 100, 10, Kind::Continuous, true},
            {"release", "Release", "ms", 10, 2000, 200, Kind::Continuous, true},
            {"makeup", "Makeup", "dB", 0, 24, 6, Kind::Continuous, false},
            {"knee", "Knee", "dB", 0, 12, 6, Kind::Continuous, false},
        },
        0,
        false,
        true,
        {}};
    return info;
}

// Both channels share one gain (the louder one decides), so the stereo picture does not lean.
// The gain reduction the peak asks for, in dB, is held and let go at the release time, then
// smoothed at the attack time: a steady tone gets a steady gain, with no ripple at its own
// frequency, and the static curve is the textbook one (soft knee around the threshold).
class Compressor final : public Effect {
  public:
    Compressor() { makeup_.set(compressorInfo().params[4].value, true); }
    const EffectInfo& info() const override { return compressorInfo(); }

    void prepare(int rate, int) override {
        rate_ = std::max(rate, 1);
        makeup_.prepare(kGlideSeconds, rate_);
        derive();
        reset();
    }

    void setParam(int index, float value) override {
        switch (index) {
            case 0:
                thresholdDb_ = value;
                break;
            case 1:
                ratio_ = std::max(value, 1.0f);
                break;
            case 2:
                attackMs_ = value;
                break;
            case 3:
                releaseMs_ = value;
                break;
            case 4:
                makeup_.set(value, fresh_);
                break;
            case 5:
                kneeDb_ = std::max(value, 0.0f);
                break;
            default:
                return;
        }
        derive();
    }

    void process(float* stereo, int frames, const ProcessContext&) override {
        fresh_ = false;
        for (int i = 0; i < frames; ++i) {
            float* frame = stereo + 2 * i;
            const float want = reduction(std::max(std::fabs(frame[0]), std::fabs(frame[1])));
            held_ = std::max(want, want + releaseKeep_ * (held_ - want));
            smooth_ = held_ + attackKeep_ * (smooth_ - held_);
            if (held_ < 1e-7f) held_ = 0;
            if (smooth_ < 1e-7f) smooth_ = 0;
            const float gain = fromDb(makeup_.next() - smooth_);
            frame[0] *= gain;
            frame[1] *= gain;
        }
    }

    void reset() override {
        held_ = smooth_ = 0;
        fresh_ = true;
        makeup_.set(makeup_.target(), true);
    }

  private:
    void derive() {
        attackKeep_ = float(keepFor(attackMs_ / 1000.0, rate_));
        releaseKeep_ = float(keepFor(releaseMs_ / 1000.0, rate_));
        slope_ = 1.0f - 1.0f / ratio_;
        kneeStart_ = fromDb(thresholdDb_ - kneeDb_ / 2);
    }

    // The gain reduction in dB a peak of `level` asks for.
    float reduction(float level) const {
        if (level <= kneeStart_) return 0;  // below the knee: no logarithm needed
        const float over = 20.0f * std::log10(level) - thresholdDb_;
        if (kneeDb_ > 0 && over < kneeDb_ / 2) {
            const float into = over + kneeDb_ / 2;
            return slope_ * into * into / (2 * kneeDb_);
        }
        return std::max(0.0f, slope_ * over);
    }

    int rate_ = 44100;
    float thresholdDb_ = -18, ratio_ = 4, attackMs_ = 10, releaseMs_ = 200, kneeDb_ = 6;
    Glide makeup_;
    float attackKeep_ = 0, releaseKeep_ = 0, slope_ = 0.75f, kneeStart_ = 0;
    float held_ = 0, smooth_ = 0;
    bool fresh_ = true;
};

// ---- limiter

constexpr double kLookAheadSeconds = 0.0015;

const EffectInfo& limiterInfo() {
    static const EffectInfo info{
        "limiter",
        "Limiter",
        {
            {"ceiling", "Ceiling", "dB", -12, 0, -0.3f, Kind::Continuous, false},
            {"release", "Release", "ms", 10, 1000, 100, Kind::Continuous, true},
            {"gain", "Gain", "dB", 0, 18, 0, Kind::Continuous, false},
        },
        2,
        false,
        true,
        {}};
    return info;
}

// The output is the input (times `gain`) delayed by the look-ahead, so the gain can be lowered
// smoothly before a peak arrives rather than at it. For each frame the gain it may have is
// ceiling / peak (or 1); the gain applied is the average, over the look-ahead plus one frames, of
// the lowest of those allowances in the look-ahead window, let back up at the release time. Every
// term of that average is at most the allowance of the frame leaving the delay, so no output
// sample exceeds the ceiling, and a signal below it passes untouched.
//
// The delay is also heard by the unit: with its mix below full the dry signal and this delayed one
// comb-filter. A limiter belongs at full mix, where that does not arise.
class Limiter final : public Effect {
  public:
    Limiter() {
        ceiling_.set(fromDb(limiterInfo().params[0].value), true);
        gain_.set(fromDb(limiterInfo().params[2].value), true);
    }
    const EffectInfo& info() const override { return limiterInfo(); }

    void prepare(int rate, int) override {
        rate_ = std::max(rate, 1);
        ahead_ = std::max(1, int(std::lrint(kLookAheadSeconds * rate_)));
        window_ = ahead_ + 1;
        delay_.assign(std::size_t(2 * ahead_), 0.0f);
        lowest_.assign(std::size_t(window_ + 1), Allowance{});
        recent_.assign(std::size_t(window_), 1.0f);
        ceiling_.prepare(kGlideSeconds, rate_);
        gain_.prepare(kGlideSeconds, rate_);
        releaseKeep_ = float(keepFor(releaseMs_ / 1000.0, rate_));
        reset();
    }

    void setParam(int index, float value) override {
        switch (index) {
            case 0:
                ceiling_.set(fromDb(value), fresh_);
                break;
            case 1:
                releaseMs_ = value;
                releaseKeep_ = float(keepFor(releaseMs_ / 1000.0, rate_));
                break;
            case 2:
                gain_.set(fromDb(value), fresh_);
                break;
            default:
                break;
        }
    }

    void process(float* stereo, int frames, const ProcessContext&) override {
        fresh_ = false;
        const std::size_t slots = lowest_.size();
        for (int i = 0; i < frames; ++i, ++frame_) {
            float* frame = stereo + 2 * i;
            const float gain = gain_.next(), ceiling = ceiling_.next();
            const float left = gain * frame[0], right = gain * frame[1];
            const float peak = std::max(std::fabs(left), std::fabs(right));
            const float allowed = peak > ceiling ? ceiling / peak : 1.0f;

            // The lowest allowance of the last `window_` frames, kept as a rising run.
            while (count_ > 0 && lowest_[(first_ + count_ - 1) % slots].gain >= allowed)
                --count_;
            lowest_[(first_ + count_) % slots] = {frame_, allowed};
            ++count_;
            while (lowest_[first_].frame <= frame_ - window_) {
                first_ = (first_ + 1) % slots;
                --count_;
            }
            float rise = 1.0f - releaseKeep_ * (1.0f - released_);
            if (1.0f - rise < 1e-7f) rise = 1.0f;
            released_ = std::min(lowest_[first_].gain, rise);

            sum_ += double(released_) - double(recent_[at_]);
            recent_[at_] = released_;
            at_ = (at_ + 1) % std::size_t(window_);
            const float applied = float(std::min(1.0, sum_ / window_));

            float* old = delay_.data() + 2 * delayAt_;
            frame[0] = applied * old[0];
            frame[1] = applied * old[1];
            old[0] = left;
            old[1] = right;
            delayAt_ = (delayAt_ + 1) % std::size_t(ahead_);
        }
    }

    void reset() override {
        std::fill(delay_.begin(), delay_.end(), 0.0f);
        std::fill(recent_.begin(), recent_.end(), 1.0f);
        sum_ = window_;
        first_ = 0;
        count_ = 0;
        frame_ = 0;
        at_ = delayAt_ = 0;
        released_ = 1;
        fresh_ = true;
        ceiling_.set(ceiling_.target(), true);
        gain_.set(gain_.target(), true);
    }

  private:
    struct Allowance {
        std::int64_t frame = 0;
        float gain = 1;
    };

    int rate_ = 44100, ahead_ = 1, window_ = 2;
    float releaseMs_ = 100, releaseKeep_ = 0;
    Glide ceiling_, gain_;
    std::vector<float> delay_;       // the look-ahead, interleaved
    std::vector<Allowance> lowest_;  // ring of the rising run of allowances
    std::size_t first_ = 0, count_ = 0;
    std::vector<float> recent_;  // the released allowances being averaged
    double sum_ = 2;
    std::size_t at_ = 0, delayAt_ = 0;
    std::int64_t frame_ = 0;
    float released_ = 1;
    bool fresh_ = true;
};

}  // namespace

BuiltinEntry compressorEntry() {
    return {compressorInfo(), [] { return std::make_unique<Compressor>(); }};
}

BuiltinEntry limiterEntry() {
    return {limiterInfo(), [] { return std::make_unique<Limiter>(); }};
}

}  // namespace kelvra::audio::fx::dynamics
