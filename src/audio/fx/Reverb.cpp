// The reverb: a pre-delay, a chain of all-pass diffusers per side that smears each attack into a
// dense burst, and eight delay lines that feed one another through an orthogonal (Hadamard)
// mix. The mix keeps the energy, so how long the room rings is set by the gain of each line
// alone, and a one-pole low-pass in every line makes the highs die first, as in a real room. The
// left side feeds and is heard from the even lines, the right side the odd ones, so the two
// sides of the tail are unlike each other and sound wide even from a mono source.
#include <algorithm>
#include <array>
#include <cmath>
#include <vector>

#include "audio/fx/BuiltinDsp.h"
#include "audio/fx/BuiltinsInternal.h"

namespace kelvra::audio::fx {
namespace {

constexpr int kLines = 8;
constexpr int kDiffusers = 4;
constexpr double kMaxPreDelayMs = 200;
// Lengths in frames at 48 kHz, scaled to the rate: mutually prime, spread over 32..68 ms so
// their echoes never line up into a flutter.
constexpr std::array<int, kLines> kLineFrames = {1559, 1733, 1979, 2203, 2459, 2687, 2953, 3251};
constexpr std::array<int, kDiffusers> kDiffuseLeft = {113, 167, 251, 353};
constexpr std::array<int, kDiffusers> kDiffuseRight = {127, 179, 239, 367};
constexpr float kDiffusion = 0.62f;
// Signs the sides enter their lines with: the even lines are the left's, the odd the right's.
constexpr std::array<float, kLines> kInSign = {1, 1, -1, 1, 1, -1, -1, -1};
constexpr float kInGain = 0.5f;
constexpr float kWetGain = 0.6f;

enum Param { Size, Damping, PreDelay, Width };

const EffectInfo& reverbInfo() {
    static const EffectInfo info{
        "reverb",
        "Reverb",
        {
            {"size", "Size", "%", 0, 1, 0.5f, ParamInfo::Kind::Continuous, false},
            {"damping", "Damping", "%", 0, 1, 0.5f, ParamInfo::Kind::Continuous, false},
            {"predelay", "Pre-delay", "ms", 0, float(kMaxPreDelayMs), 10,
             ParamInfo::Kind::Continuous, false},
            {"width", "Width", "%", 0, 1, 1, ParamInfo::Kind::Continuous, false},
        },
        Size,
        true,
        true,
        {}};
    return info;
}

// How long the room takes to fall 60 dB at this size, in seconds: 0.3 s to 9 s, evenly in ratio.
double decaySeconds(double size) {
    return 0.3 * std::pow(30.0, size);
}
// Where the loop's low-pass sits at this damping: 18 kHz (bright) down to 1.5 kHz (dull).
double dampingHz(double damping) {
    return 18000.0 * std::pow(1500.0 / 18000.0, damping);
}

// A delay line read exactly `length` frames back.
struct Line {
    std::vector<float> frames;
    std::size_t at = 0;
    float read() const { return frames[at]; }
    void write(float x) {
        frames[at] = x;
        if (++at == frames.size()) at = 0;
    }
    void clear() {
        std::fill(frames.begin(), frames.end(), 0.0f);
        at = 0;
    }
};

// An all-pass over a delay: flat in level, it only spreads the signal in time.
struct Diffuser {
    Line line;
    float process(float x) {
        const float back = line.read();
        float v = x - kDiffusion * back;
        dsp::flush(v);
        line.write(v);
        return back + kDiffusion * v;
    }
};

class Reverb final : public Effect {
  public:
    Reverb() { dsp::setDefaults(*this); }
    const EffectInfo& info() const override { return reverbInfo(); }

    void prepare(int rate, int) override {
        rate_ = rate;
        const double scale = rate / 48000.0;
        auto frames = [scale](int at48k) {
            return std::max<std::size_t>(1, std::size_t(std::lrint(at48k * scale)));
        };
        for (int i = 0; i < kLines; ++i) {
            lines_[std::size_t(i)].frames.assign(frames(kLineFrames[std::size_t(i)]), 0.0f);
            lineLength_[std::size_t(i)] = double(lines_[std::size_t(i)].frames.size());
        }
        for (int i = 0; i < kDiffusers; ++i) {
            diffuseL_[std::size_t(i)].line.frames.assign(frames(kDiffuseLeft[std::size_t(i)]), 0);
            diffuseR_[std::size_t(i)].line.frames.assign(frames(kDiffuseRight[std::size_t(i)]), 0);
        }
        const auto wanted = std::size_t(std::ceil(kMaxPreDelayMs * 1e-3 * rate)) + 4;
        std::size_t size = 1;
        while (size < wanted)
            size <<= 1;
        preMask_ = size - 1;
        preL_.assign(size, 0.0f);
        preR_.assign(size, 0.0f);
        size_.prepare(rate, 0.1);
        damping_.prepare(rate, 0.05);
        preDelay_.prepare(rate, 0.1);
        width_.prepare(rate, 0.03);
        reset();
    }

    void setParam(int index, float value) override {
        switch (index) {
            case Size:
                size_.setTarget(value);
                break;
            case Damping:
                damping_.setTarget(value);
                break;
            case PreDelay:
                preDelay_.setTarget(value);
                break;
            case Width:
                width_.setTarget(value);
                break;
            default:
                break;
        }
    }

    void reset() override {
        for (Line& line : lines_)
            line.clear();
        for (auto* chain : {&diffuseL_, &diffuseR_})
            for (Diffuser& d : *chain)
                d.line.clear();
        for (dsp::OnePole& pole : damp_)
            pole.clear();
        std::fill(preL_.begin(), preL_.end(), 0.0f);
        std::fill(preR_.begin(), preR_.end(), 0.0f);
        preAt_ = 0;
        fresh_ = true;
    }

    void process(float* stereo, int frames, const ProcessContext&) override {
        if (preL_.empty()) return;
        if (fresh_) {
            size_.snap();
            damping_.snap();
            preDelay_.snap();
            width_.snap();
            fresh_ = false;
            tune();
        }
        // The room's loop is retuned once a period, and only while its knobs move.
        const bool moving = size_.moving() || damping_.moving();
        size_.advance(frames);
        damping_.advance(frames);
        if (moving) tune();
        const double msToFrames = 1e-3 * rate_;
        for (int i = 0; i < frames; ++i) {
            const float inL = stereo[2 * i], inR = stereo[2 * i + 1];
            preL_[preAt_] = inL;
            preR_[preAt_] = inR;
            const double pre = double(preDelay_.next()) * msToFrames;
            float l = readPre(preL_, pre), r = readPre(preR_, pre);
            preAt_ = (preAt_ + 1) & preMask_;
            for (int d = 0; d < kDiffusers; ++d) {
                l = diffuseL_[std::size_t(d)].process(l);
                r = diffuseR_[std::size_t(d)].process(r);
            }
            std::array<float, kLines> out, back;
            for (std::size_t n = 0; n < kLines; ++n) {
                out[n] = lines_[n].read();
                back[n] = damp_[n].lowPass(out[n]) * gain_[n];
            }
            hadamard(back);
            for (std::size_t n = 0; n < kLines; ++n) {
                float into = back[n] + kInGain * kInSign[n] * ((n & 1) ? r : l);
                dsp::flush(into);
                lines_[n].write(into);
            }
            const float wetL = out[0] - out[2] + out[4] - out[6];
            const float wetR = out[1] - out[3] + out[5] - out[7];
            const float mid = 0.5f * (wetL + wetR), side = 0.5f * (wetL - wetR) * width_.next();
            stereo[2 * i] = inL + kWetGain * (mid + side);
            stereo[2 * i + 1] = inR + kWetGain * (mid - side);
        }
        for (dsp::OnePole& pole : damp_)
            pole.flushState();
    }

  private:
    // The gain and low-pass of each line for the size and damping now.
    void tune() {
        const double seconds = decaySeconds(size_.value());
        const double cutoff = dampingHz(damping_.value());
        for (std::size_t n = 0; n < kLines; ++n) {
            // Each pass through a line of L frames falls by 60 dB × L / (decay × rate).
            gain_[n] = float(std::pow(10.0, -3.0 * lineLength_[n] / (seconds * rate_)));
            damp_[n].setCutoff(cutoff, rate_);
        }
    }

    // An orthogonal mix of the eight lines, in place: a fast Walsh-Hadamard transform scaled to
    // keep the energy.
    static void hadamard(std::array<float, kLines>& x) {
        for (std::size_t span = 1; span < kLines; span <<= 1)
            for (std::size_t start = 0; start < kLines; start += 2 * span)
                for (std::size_t k = start; k < start + span; ++k) {
                    const float a = x[k], b = x[k + span];
                    x[k] = a + b;
                    x[k + span] = a - b;
                }
        const float norm = 1.0f / std::sqrt(float(kLines));
        for (float& v : x)
            v *= norm;
    }

    float readPre(const std::vector<float>& line, double delay) const {
        return dsp::readBack(line, preAt_, preMask_, delay);
    }

    int rate_ = 48000;
    std::array<Line, kLines> lines_;
    std::array<double, kLines> lineLength_{};
    std::array<float, kLines> gain_{};
    std::array<dsp::OnePole, kLines> damp_;
    std::array<Diffuser, kDiffusers> diffuseL_, diffuseR_;
    std::vector<float> preL_, preR_;
    std::size_t preMask_ = 0, preAt_ = 0;
    dsp::Glide size_, damping_, preDelay_, width_;
    bool fresh_ = true;
};

}  // namespace

void addReverbEffect(std::vector<BuiltinEntry>& list) {
    list.push_back({reverbInfo(), [] { return std::make_unique<Reverb>(); }});
}

}  // namespace kelvra::audio::fx
