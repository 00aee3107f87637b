// The swept filter: a resonant state-variable filter (low-, band- or high-pass) whose cutoff an
// oscillator swings around a centre, its period a number of beats.
#include <algorithm>
#include <array>
#include <cmath>
#include <numbers>
#include <vector>

#include "audio/fx/BuiltinDsp.h"
#include "audio/fx/BuiltinsInternal.h"

namespace kelvra::audio::fx {
namespace {

using dsp::kTwoPi;

enum FilterParam { FilterRate, FilterDepth, FilterCenter, FilterResonance, FilterMode };
constexpr int kFilterBlock = 16;
constexpr double kFilterOctaves = 3;  // at full depth the cutoff swings this far each way

const EffectInfo& filterInfo() {
    static const EffectInfo info{
        "filter",
        "Filter",
        {
            {"rate", "Rate", "beats", 1.0f / 4, 32, 4, ParamInfo::Kind::Beats, true},
            {"depth", "Depth", "%", 0, 1, 0.6f, ParamInfo::Kind::Continuous, false},
            {"center", "Center", "Hz", 60, 12000, 1000, ParamInfo::Kind::Continuous, true},
            {"resonance", "Resonance", "%", 0, 1, 0.5f, ParamInfo::Kind::Continuous, false},
            {"mode", "Mode", "", 0, 2, 0, ParamInfo::Kind::Integer, false},
        },
        FilterCenter,
        false,
        true,
        {}};
    return info;
}

// The filter's quality at this resonance: 0.6 (no peak) to 9 (a ringing peak).
double filterQ(double resonance) {
    return 0.6 * std::pow(15.0, resonance);
}

class SweptFilter final : public Effect {
  public:
    SweptFilter() { dsp::setDefaults(*this); }
    const EffectInfo& info() const override { return filterInfo(); }

    void prepare(int rate, int) override {
        rate_ = rate;
        depth_.prepare(rate, 0.03);
        octave_.prepare(rate, 0.03);
        resonance_.prepare(rate, 0.03);
        for (dsp::Glide& w : weight_)
            w.prepare(rate, 0.01);  // a change of mode cross-fades the outputs
        reset();
    }

    void setParam(int index, float value) override {
        switch (index) {
            case FilterRate:
                beats_ = value;
                break;
            case FilterDepth:
                depth_.setTarget(value);
                break;
            // The centre glides evenly in pitch, not in hertz.
            case FilterCenter:
                octave_.setTarget(std::log2(value));
                break;
            case FilterResonance:
                resonance_.setTarget(value);
                break;
            case FilterMode: {
                const int mode = std::clamp(int(std::lrint(value)), 0, 2);
                for (int m = 0; m < 3; ++m)
                    weight_[std::size_t(m)].setTarget(m == mode ? 1.0f : 0.0f);
                break;
            }
            default:
                break;
        }
    }

    void reset() override {
        for (auto& side : state_)
            side.fill(0.0f);
        lfo_.reset();
        fresh_ = true;
    }

    void process(float* stereo, int frames, const ProcessContext& context) override {
        if (fresh_) {
            depth_.snap();
            octave_.snap();
            resonance_.snap();
            for (dsp::Glide& w : weight_)
                w.snap();
            fresh_ = false;
        }
        const double step = dsp::BeatLfo::step(beats_, context.beatSeconds, rate_);
        for (int start = 0; start < frames; start += kFilterBlock) {
            const int end = std::min(frames, start + kFilterBlock);
            const int count = end - start;
            const double swing =
                kFilterOctaves * double(depth_.advance(count)) * std::sin(kTwoPi * lfo_.phase());
            const double hz =
                std::clamp(std::exp2(double(octave_.advance(count)) + swing), 20.0, 0.45 * rate_);
            // The trapezoidal state-variable filter: g is the prewarped cutoff, k the damping.
            const double g = std::tan(std::numbers::pi * hz / rate_);
            const double k = 1.0 / filterQ(resonance_.advance(count));
            const auto a1 = float(1.0 / (1.0 + g * (g + k)));
            const auto a2 = float(g) * a1;
            const auto a3 = float(g) * a2;
            const auto kf = float(k);
            for (int i = start; i < end; ++i) {
                const float wLow = weight_[0].next(), wBand = weight_[1].next(),
                            wHigh = weight_[2].next();
                for (std::size_t c = 0; c < 2; ++c) {
                    float& s1 = state_[c][0];
                    float& s2 = state_[c][1];
                    const float x = stereo[2 * i + int(c)];
                    const float v3 = x - s2;
                    const float band = a1 * s1 + a2 * v3;
                    const float low = s2 + a2 * s1 + a3 * v3;
                    s1 = 2 * band - s1;
                    s2 = 2 * low - s2;
                    const float high = x - kf * band - low;
                    // The band-pass is scaled to unity at its peak, whatever the resonance.
                    stereo[2 * i + int(c)] = wLow * low + wBand * kf * band + wHigh * high;
                }
            }
            for (auto& side : state_)
                for (float& s : side)
                    dsp::flush(s);
            lfo_.advance(step * count);
        }
    }

  private:
    int rate_ = 48000;
    float beats_ = 4;
    dsp::Glide depth_, octave_, resonance_;
    std::array<dsp::Glide, 3> weight_;
    std::array<std::array<float, 2>, 2> state_{};
    dsp::BeatLfo lfo_;
    bool fresh_ = true;
};

}  // namespace

void addSweptFilterEffect(std::vector<BuiltinEntry>& list) {
    list.push_back({filterInfo(), [] { return std::make_unique<SweptFilter>(); }});
}

}  // namespace kelvra::audio::fx
