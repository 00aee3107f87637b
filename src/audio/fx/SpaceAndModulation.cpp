// The built-in space and modulation effects. The echo, the reverb and the swept filter have files
// of their own; the other moving ones live here: flanger, phaser, tremolo and auto-pan. Each has an
// oscillator whose period is a number of beats, so it stays in time as the tempo moves.
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
constexpr float kSqrt2 = 1.41421356f;
constexpr float kPi = 3.14159265f;

// The coefficient of a first-order all-pass whose phase passes -90 degrees at `hz`.
float allPassCoef(double hz, int rate) {
    const double t = std::tan(std::numbers::pi * std::clamp(hz, 10.0, 0.45 * rate) / rate);
    return float((t - 1.0) / (t + 1.0));
}

// A feedback comb or notch stage feeds its output back: with `feedback` f the lows come out
// 1 + 1/(1 - f) times louder. This brings them back to the input's level, so turning the
// feedback up colours the sound without making it louder.
float combLevel(float feedback) {
    return (1.0f - feedback) / (2.0f - feedback);
}

// ---- flanger: a short delay swept by the oscillator, mixed with the input, fed back

enum FlangerParam { FlangerRate, FlangerDepth, FlangerFeedback, FlangerDelay };
constexpr double kFlangerSweep = 3;  // at full depth the delay sweeps up to 4× its setting

const EffectInfo& flangerInfo() {
    static const EffectInfo info{
        "flanger",
        "Flanger",
        {
            {"rate", "Rate", "beats", 1.0f / 4, 32, 4, ParamInfo::Kind::Beats, true},
            {"depth", "Depth", "%", 0, 1, 0.7f, ParamInfo::Kind::Continuous, false},
            {"feedback", "Feedback", "%", 0, 0.95f, 0.5f, ParamInfo::Kind::Continuous, false},
            {"delay", "Delay", "ms", 0.5f, 10, 2, ParamInfo::Kind::Continuous, true},
        },
        FlangerDepth,
        false,
        true,
        {}};
    return info;
}

class Flanger final : public Effect {
  public:
    Flanger() { dsp::setDefaults(*this); }
    const EffectInfo& info() const override { return flangerInfo(); }

    void prepare(int rate, int) override {
        rate_ = rate;
        const double longest = 10e-3 * (1 + kFlangerSweep) * rate + 4;
        std::size_t size = 1;
        while (double(size) < longest)
            size <<= 1;
        mask_ = size - 1;
        left_.assign(size, 0.0f);
        right_.assign(size, 0.0f);
        depth_.prepare(rate, 0.03);
        feedback_.prepare(rate, 0.03);
        delayMs_.prepare(rate, 0.05);
        reset();
    }

    void setParam(int index, float value) override {
        switch (index) {
            case FlangerRate:
                beats_ = value;
                break;
            case FlangerDepth:
                depth_.setTarget(value);
                break;
            case FlangerFeedback:
                feedback_.setTarget(value);
                break;
            case FlangerDelay:
                delayMs_.setTarget(value);
                break;
            default:
                break;
        }
    }

    void reset() override {
        std::fill(left_.begin(), left_.end(), 0.0f);
        std::fill(right_.begin(), right_.end(), 0.0f);
        write_ = 0;
        lfo_.reset();
        fresh_ = true;
    }

    void process(float* stereo, int frames, const ProcessContext& context) override {
        if (left_.empty()) return;
        if (fresh_) {
            depth_.snap();
            feedback_.snap();
            delayMs_.snap();
            fresh_ = false;
        }
        const double step = dsp::BeatLfo::step(beats_, context.beatSeconds, rate_);
        const double msToFrames = 1e-3 * rate_;
        for (int i = 0; i < frames; ++i) {
            const double phase = lfo_.phase();
            // The right side's sweep runs a quarter cycle ahead, for width.
            const double upL = 0.5 * (1.0 - std::cos(kTwoPi * phase));
            const double upR = 0.5 * (1.0 + std::sin(kTwoPi * phase));
            const double base = double(delayMs_.next()) * msToFrames;
            const double sweep = kFlangerSweep * double(depth_.next());
            const float fb = feedback_.next();
            const float backL = read(left_, base * (1.0 + sweep * upL));
            const float backR = read(right_, base * (1.0 + sweep * upR));
            const float inL = stereo[2 * i], inR = stereo[2 * i + 1];
            float intoL = dsp::softCeiling(inL + fb * backL);
            float intoR = dsp::softCeiling(inR + fb * backR);
            dsp::flush(intoL);
            dsp::flush(intoR);
            left_[write_] = intoL;
            right_[write_] = intoR;
            write_ = (write_ + 1) & mask_;
            const float level = combLevel(fb);
            stereo[2 * i] = (inL + backL) * level;
            stereo[2 * i + 1] = (inR + backR) * level;
            lfo_.advance(step);
        }
    }

  private:
    float read(const std::vector<float>& line, double delay) const {
        return dsp::readBack(line, write_, mask_, delay);
    }

    int rate_ = 48000;
    std::vector<float> left_, right_;
    std::size_t mask_ = 0, write_ = 0;
    float beats_ = 4;
    dsp::Glide depth_, feedback_, delayMs_;
    dsp::BeatLfo lfo_;
    bool fresh_ = true;
};

// ---- phaser: a chain of all-passes whose turning point the oscillator sweeps; mixed with the
// input, each pair of stages cuts one notch

enum PhaserParam { PhaserRate, PhaserDepth, PhaserFeedback, PhaserStages };
constexpr int kMaxStages = 12;
constexpr int kPhaserBlock = 16;        // the all-passes are retuned every this many frames
constexpr double kPhaserLowHz = 200;    // where the sweep starts
constexpr double kPhaserOctaves = 6.0;  // how far it reaches at full depth

const EffectInfo& phaserInfo() {
    static const EffectInfo info{
        "phaser",
        "Phaser",
        {
            {"rate", "Rate", "beats", 1.0f / 4, 32, 8, ParamInfo::Kind::Beats, true},
            {"depth", "Depth", "%", 0, 1, 0.8f, ParamInfo::Kind::Continuous, false},
            {"feedback", "Feedback", "%", 0, 0.9f, 0.4f, ParamInfo::Kind::Continuous, false},
            {"stages", "Stages", "", 2, float(kMaxStages), 6, ParamInfo::Kind::Integer, false},
        },
        PhaserDepth,
        false,
        true,
        {}};
    return info;
}

class Phaser final : public Effect {
  public:
    Phaser() { dsp::setDefaults(*this); }
    const EffectInfo& info() const override { return phaserInfo(); }

    void prepare(int rate, int) override {
        rate_ = rate;
        depth_.prepare(rate, 0.03);
        feedback_.prepare(rate, 0.03);
        // A change in the number of stages slides through the counts between.
        stages_.prepare(rate, 0.03);
        reset();
    }

    void setParam(int index, float value) override {
        switch (index) {
            case PhaserRate:
                beats_ = value;
                break;
            case PhaserDepth:
                depth_.setTarget(value);
                break;
            case PhaserFeedback:
                feedback_.setTarget(value);
                break;
            case PhaserStages:
                stages_.setTarget(std::nearbyint(value));
                break;
            default:
                break;
        }
    }

    void reset() override {
        for (auto& side : state_)
            side.fill(0.0f);
        last_.fill(0.0f);
        lfo_.reset();
        fresh_ = true;
    }

    void process(float* stereo, int frames, const ProcessContext& context) override {
        if (fresh_) {
            depth_.snap();
            feedback_.snap();
            stages_.snap();
            fresh_ = false;
        }
        const double step = dsp::BeatLfo::step(beats_, context.beatSeconds, rate_);
        for (int start = 0; start < frames; start += kPhaserBlock) {
            const int end = std::min(frames, start + kPhaserBlock);
            const double phase = lfo_.phase();
            const double reach = kPhaserOctaves * double(depth_.advance(end - start));
            // The right side's sweep runs a quarter cycle ahead, for width.
            const std::array<double, 2> up = {0.5 * (1.0 - std::cos(kTwoPi * phase)),
                                              0.5 * (1.0 + std::sin(kTwoPi * phase))};
            std::array<float, 2> coef;
            for (std::size_t c = 0; c < 2; ++c)
                coef[c] = allPassCoef(kPhaserLowHz * std::exp2(reach * up[c]), rate_);
            for (int i = start; i < end; ++i) {
                const float fb = feedback_.next();
                const float count = stages_.next();
                const int below = std::clamp(int(count), 1, kMaxStages - 1);
                const float between = std::clamp(count - float(below), 0.0f, 1.0f);
                for (std::size_t c = 0; c < 2; ++c) {
                    const float in = stereo[2 * i + int(c)];
                    float x = dsp::softCeiling(in + fb * last_[c]);
                    std::array<float, kMaxStages> taps;
                    for (std::size_t s = 0; s < kMaxStages; ++s) {
                        const float y = coef[c] * x + state_[c][s];
                        state_[c][s] = x - coef[c] * y;
                        taps[s] = x = y;
                    }
                    const float lo = taps[std::size_t(below - 1)], hi = taps[std::size_t(below)];
                    const float out = lo + (hi - lo) * between;
                    last_[c] = out;
                    stereo[2 * i + int(c)] = (in + out) * combLevel(fb);
                }
            }
            for (auto& side : state_)
                for (float& s : side)
                    dsp::flush(s);
            for (float& s : last_)
                dsp::flush(s);
            lfo_.advance(step * (end - start));
        }
    }

  private:
    int rate_ = 48000;
    float beats_ = 8;
    dsp::Glide depth_, feedback_, stages_;
    std::array<std::array<float, kMaxStages>, 2> state_{};
    std::array<float, 2> last_{};
    dsp::BeatLfo lfo_;
    bool fresh_ = true;
};

// ---- tremolo: the level rises and falls with the oscillator

enum TremoloParam { TremoloRate, TremoloDepth, TremoloShape };
constexpr double kEdgeSeconds = 0.001;  // even a square wave's edges take this long: no clicks

const EffectInfo& tremoloInfo() {
    static const EffectInfo info{
        "tremolo",
        "Tremolo",
        {
            {"rate", "Rate", "beats", 1.0f / 16, 4, 1.0f / 4, ParamInfo::Kind::Beats, true},
            {"depth", "Depth", "%", 0, 1, 0.6f, ParamInfo::Kind::Continuous, false},
            {"shape", "Shape", "%", 0, 1, 0, ParamInfo::Kind::Continuous, false},
        },
        TremoloDepth,
        false,
        true,
        {}};
    return info;
}

class Tremolo final : public Effect {
  public:
    Tremolo() { dsp::setDefaults(*this); }
    const EffectInfo& info() const override { return tremoloInfo(); }

    void prepare(int rate, int) override {
        rate_ = rate;
        depth_.prepare(rate, 0.03);
        shape_.prepare(rate, 0.03);
        edge_ = float(1.0 - std::exp(-1.0 / (kEdgeSeconds * rate)));
        reset();
    }

    void setParam(int index, float value) override {
        switch (index) {
            case TremoloRate:
                beats_ = value;
                break;
            case TremoloDepth:
                depth_.setTarget(value);
                break;
            case TremoloShape:
                shape_.setTarget(value);
                break;
            default:
                break;
        }
    }

    void reset() override {
        lfo_.reset();
        fresh_ = true;
    }

    void process(float* stereo, int frames, const ProcessContext& context) override {
        if (fresh_) {
            depth_.snap();
            shape_.snap();
            gain_ = 1;  // the cycle starts at its loudest
            fresh_ = false;
        }
        const double step = dsp::BeatLfo::step(beats_, context.beatSeconds, rate_);
        for (int i = 0; i < frames; ++i) {
            auto wave = float(std::cos(kTwoPi * lfo_.phase()));
            // From a sine to nearly a square as the shape goes up: the wave is squeezed
            // through tanh, scaled back so the swing stays full.
            const float squeeze = 10.0f * shape_.next();
            if (squeeze > 1e-3f) wave = std::tanh(squeeze * wave) / std::tanh(squeeze);
            const float target = 1.0f - depth_.next() * 0.5f * (1.0f - wave);
            gain_ += (target - gain_) * edge_;
            dsp::flush(gain_);  // a square wave at full depth rests on exactly 0
            stereo[2 * i] *= gain_;
            stereo[2 * i + 1] *= gain_;
            lfo_.advance(step);
        }
    }

  private:
    int rate_ = 48000;
    float beats_ = 0.25f, gain_ = 1, edge_ = 1;
    dsp::Glide depth_, shape_;
    dsp::BeatLfo lfo_;
    bool fresh_ = true;
};

// ---- auto-pan: the sound moves between the sides with the oscillator, at constant power

enum AutoPanParam { AutoPanRate, AutoPanDepth };

const EffectInfo& autoPanInfo() {
    static const EffectInfo info{
        "autopan",
        "Auto-pan",
        {
            {"rate", "Rate", "beats", 1.0f / 4, 16, 2, ParamInfo::Kind::Beats, true},
            {"depth", "Depth", "%", 0, 1, 0.8f, ParamInfo::Kind::Continuous, false},
        },
        AutoPanDepth,
        false,
        true,
        {}};
    return info;
}

class AutoPan final : public Effect {
  public:
    AutoPan() { dsp::setDefaults(*this); }
    const EffectInfo& info() const override { return autoPanInfo(); }

    void prepare(int rate, int) override {
        rate_ = rate;
        depth_.prepare(rate, 0.03);
        reset();
    }

    void setParam(int index, float value) override {
        switch (index) {
            case AutoPanRate:
                beats_ = value;
                break;
            case AutoPanDepth:
                depth_.setTarget(value);
                break;
            default:
                break;
        }
    }

    void reset() override {
        lfo_.reset();
        fresh_ = true;
    }

    void process(float* stereo, int frames, const ProcessContext& context) override {
        if (fresh_) {
            depth_.snap();
            fresh_ = false;
        }
        const double step = dsp::BeatLfo::step(beats_, context.beatSeconds, rate_);
        for (int i = 0; i < frames; ++i) {
            // -1 is hard left, +1 hard right; the cycle starts in the middle.
            const float pan = depth_.next() * float(std::sin(kTwoPi * lfo_.phase()));
            const float angle = (pan + 1.0f) * (kPi / 4);
            // Scaled so the middle is the input's own level on each side.
            stereo[2 * i] *= kSqrt2 * std::cos(angle);
            stereo[2 * i + 1] *= kSqrt2 * std::sin(angle);
            lfo_.advance(step);
        }
    }

  private:
    int rate_ = 48000;
    float beats_ = 2;
    dsp::Glide depth_;
    dsp::BeatLfo lfo_;
    bool fresh_ = true;
};

template <typename E>
BuiltinEntry entry(const EffectInfo& info) {
    return {info, [] { return std::make_unique<E>(); }};
}

}  // namespace

void addSpaceAndModulationEffects(std::vector<BuiltinEntry>& list) {
    addEchoEffect(list);
    addReverbEffect(list);
    list.push_back(entry<Flanger>(flangerInfo()));
    list.push_back(entry<Phaser>(phaserInfo()));
    addSweptFilterEffect(list);
    list.push_back(entry<Tremolo>(tremoloInfo()));
    list.push_back(entry<AutoPan>(autoPanInfo()));
}

}  // namespace kelvra::audio::fx
