// The bitcrusher (fewer bits, a lower sample rate) and the gate that chops the sound in time
// with the beat.
#include <algorithm>
#include <cmath>

#include "audio/engine/Ramp.h"
#include "audio/fx/DynamicsSupport.h"

namespace kelvra::audio::fx::dynamics {

namespace {

using Kind = ParamInfo::Kind;

// ---- bitcrusher

const EffectInfo& bitcrusherInfo() {
    static const EffectInfo info{
        "bitcrusher",
        "Bitcrusher",
        {
            {"bits", "Bits", "", 1, 16, 8, Kind::Integer, false},
            {"downsample", "Downsample", "", 1, 32, 4, Kind::Continuous, true},
        },
        1,
        false,
        true,
        {}};
    return info;
}

// The steps are measured against the sound's own recent peak rather than full scale, so a quiet
// passage is crushed as hard as a loud one and silence stays silent: with few bits a full-scale
// grid would either drop a quiet signal or turn it into a buzz far louder than itself. The grid
// has no zero step (at one bit the output is two levels, the sign and the peak), and a change of
// bits moves the output by less than the signal's own size, never by a jump of its own.
class Bitcrusher final : public Effect {
  public:
    const EffectInfo& info() const override { return bitcrusherInfo(); }

    void prepare(int rate, int) override {
        // The peak falls back slowly enough not to pump with the music.
        fall_ = float(std::exp(-1.0 / (0.3 * std::max(rate, 1))));
        reset();
    }

    void setParam(int index, float value) override {
        if (index == 0) levels_ = float(1 << (std::clamp(int(std::lrint(value)), 1, 16) - 1));
        if (index == 1) step_ = 1.0 / std::clamp(double(value), 1.0, 32.0);
    }

    void process(float* stereo, int frames, const ProcessContext&) override {
        for (int i = 0; i < frames; ++i) {
            float* frame = stereo + 2 * i;
            // Sample and hold: a new sample each time the phase passes a whole number, crushed
            // as it is taken so that it holds still until the next.
            if (phase_ >= 1.0) {
                phase_ -= std::floor(phase_);
                peak_ = std::max({std::fabs(frame[0]), std::fabs(frame[1]), peak_});
                held_[0] = crush(frame[0]);
                held_[1] = crush(frame[1]);
            }
            phase_ += step_;
            frame[0] = held_[0];
            frame[1] = held_[1];
            peak_ *= fall_;
            if (peak_ < 1e-20f) peak_ = 0;
        }
    }

    void reset() override {
        phase_ = 1.0;  // the first frame is taken at once
        held_[0] = held_[1] = 0;
        peak_ = 0;
    }

  private:
    float crush(float x) const {
        if (x == 0 || peak_ == 0) return 0;
        const float scaled = x / peak_ * levels_;
        const float step = std::clamp(std::floor(scaled), -levels_, levels_ - 1);
        return (step + 0.5f) / levels_ * peak_;
    }

    float levels_ = 128;  // steps on each side of zero: 2^(bits-1)
    double step_ = 0.25;  // 1 / downsample
    float fall_ = 0;
    double phase_ = 1.0;
    float held_[2] = {0, 0};
    float peak_ = 0;
};

// ---- gate

const EffectInfo& gateInfo() {
    static const EffectInfo info{
        "gate",
        "Gate",
        {
            {"rate", "Rate", "beats", 1.0f / 32, 2, 0.25f, Kind::Beats, false},
            {"duty", "Duty", "%", 0, 1, 0.5f, Kind::Continuous, false},
            {"depth", "Depth", "%", 0, 1, 1, Kind::Continuous, false},
            {"smooth", "Smooth", "ms", 0.5f, 20, 3, Kind::Continuous, true},
        },
        2,
        false,
        true,
        {}};
    return info;
}

// Opens for the first `duty` of every `rate` beats and closes by `depth` for the rest. The gain
// moves between the two at a fixed slope, full travel in `smooth` milliseconds, so no edge clicks
// and a change of depth or duty is ramped the same way. The cycle starts open when the gate is
// engaged and counts beats from there at the bus's tempo.
class Gate final : public Effect {
  public:
    const EffectInfo& info() const override { return gateInfo(); }

    void prepare(int rate, int) override {
        rate_ = std::max(rate, 1);
        reset();
    }

    void setParam(int index, float value) override {
        switch (index) {
            case 0:
                beats_ = std::max(value, 1.0f / 64);
                break;
            case 1:
                duty_ = std::clamp(value, 0.0f, 1.0f);
                break;
            case 2:
                depth_ = std::clamp(value, 0.0f, 1.0f);
                break;
            case 3:
                smoothMs_ = std::max(value, 0.1f);
                break;
            default:
                break;
        }
    }

    void process(float* stereo, int frames, const ProcessContext& context) override {
        const double period = beats_ * std::max(context.beatSeconds, 1e-3);
        const double advance = 1.0 / (period * rate_);
        const float slope = float(1000.0 / (smoothMs_ * rate_));
        if (fresh_) {
            gain_ = phase_ < duty_ ? 1.0f : 1.0f - depth_;
            fresh_ = false;
        }
        for (int i = 0; i < frames; ++i) {
            const float target = phase_ < duty_ ? 1.0f : 1.0f - depth_;
            gain_ = engine::approach(gain_, target, slope);
            stereo[2 * i] *= gain_;
            stereo[2 * i + 1] *= gain_;
            phase_ += advance;
            if (phase_ >= 1.0) phase_ -= std::floor(phase_);
        }
    }

    void reset() override {
        phase_ = 0;
        gain_ = 1;
        fresh_ = true;
    }

  private:
    int rate_ = 44100;
    float beats_ = 0.25f, duty_ = 0.5f, depth_ = 1, smoothMs_ = 3;
    double phase_ = 0;  // in cycles, 0..1
    float gain_ = 1;
    bool fresh_ = true;
};

}  // namespace

BuiltinEntry bitcrusherEntry() {
    return {bitcrusherInfo(), [] { return std::make_unique<Bitcrusher>(); }};
}

BuiltinEntry gateEntry() {
    return {gateInfo(), [] { return std::make_unique<Gate>(); }};
}

}  // namespace kelvra::audio::fx::dynamics
