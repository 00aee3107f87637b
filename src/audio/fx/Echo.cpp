// The echo: the input plus repeats a beat-synced time apart, each `feedback` times the one
// before. The repeats can bounce between the sides and lose their lows as they go round.
//
// The delay follows the tempo. Steady, it is a whole number of frames, so a repeat lands on the
// frame and is the exact copy the feedback says. When the time or the tempo moves a little the
// read position glides (a slight bend, no step); when it jumps, the old and the new read
// positions are cross-faded, so no change ever clicks.
#include <algorithm>
#include <cmath>
#include <vector>

#include "audio/fx/BuiltinDsp.h"
#include "audio/fx/BuiltinsInternal.h"

namespace kelvra::audio::fx {
namespace {

constexpr double kMaxSeconds = 20;     // the longest delay held, whatever the tempo
constexpr double kFadeSeconds = 0.05;  // a jump in delay time cross-fades over this
constexpr double kGlideSeconds = 0.05;
constexpr double kMaxBend = 0.02;    // the fastest the read position glides, frames per frame
constexpr float kLowCutOff = 20.5f;  // at its lowest the low cut is out of the loop altogether

enum Param { Time, Feedback, PingPong, LowCut };

const EffectInfo& echoInfo() {
    static const EffectInfo info{
        "echo",
        "Echo",
        {
            {"time", "Time", "beats", 1.0f / 32, 16, 1, ParamInfo::Kind::Beats, true},
            {"feedback", "Feedback", "%", 0, 1, 0.5f, ParamInfo::Kind::Continuous, false},
            {"pingpong", "Ping-pong", "", 0, 1, 0, ParamInfo::Kind::Toggle, false},
            {"lowcut", "Low cut", "Hz", 20, 1000, 20, ParamInfo::Kind::Continuous, true},
        },
        Feedback,
        true,
        true,
        {}};
    return info;
}

class Echo final : public Effect {
  public:
    Echo() { dsp::setDefaults(*this); }
    const EffectInfo& info() const override { return echoInfo(); }

    void prepare(int rate, int) override {
        rate_ = rate;
        const auto wanted = std::size_t(std::ceil(kMaxSeconds * rate)) + 4;
        std::size_t size = 1;
        while (size < wanted)
            size <<= 1;
        mask_ = size - 1;
        maxDelay_ = kMaxSeconds * rate;
        left_.assign(size, 0.0f);
        right_.assign(size, 0.0f);
        feedback_.prepare(rate, 0.02);
        pingPong_.prepare(rate, 0.03);
        lowCut_.prepare(rate, 0.05);
        fadeFrames_ = std::max(1, int(std::lrint(kFadeSeconds * rate)));
        glideCoef_ = 1.0 / (kGlideSeconds * rate);
        reset();
    }

    void setParam(int index, float value) override {
        switch (index) {
            case Time:
                beats_ = value;
                break;
            case Feedback:
                feedback_.setTarget(value);
                break;
            case PingPong:
                pingPong_.setTarget(value >= 0.5f ? 1.0f : 0.0f);
                break;
            case LowCut:
                lowCut_.setTarget(value);
                break;
            default:
                break;
        }
    }

    void reset() override {
        std::fill(left_.begin(), left_.end(), 0.0f);
        std::fill(right_.begin(), right_.end(), 0.0f);
        write_ = 0;
        fresh_ = true;
        fading_ = false;
        cutLeft_.clear();
        cutRight_.clear();
    }

    void process(float* stereo, int frames, const ProcessContext& context) override {
        if (left_.empty()) return;
        const double target = targetDelay(context);
        if (fresh_) {
            // Nothing is held yet: start at the settings, with no glide from stale ones.
            delay_ = target;
            feedback_.snap();
            pingPong_.snap();
            lowCut_.snap();
            fresh_ = false;
        }
        const float cut = lowCut_.advance(frames);
        const bool cutting = cut > kLowCutOff;
        cutLeft_.setCutoff(cut, rate_);
        cutRight_.setCutoff(cut, rate_);
        for (int i = 0; i < frames; ++i) {
            steer(target);
            float backL = tap(left_), backR = tap(right_);
            // The filters run even when out of the loop, so bringing them in starts from
            // their settled state.
            const float highL = cutLeft_.highPass(backL), highR = cutRight_.highPass(backR);
            if (cutting) {
                backL = highL;
                backR = highR;
            }
            const float fb = feedback_.next();
            const float bounce = pingPong_.next();
            const float inL = stereo[2 * i], inR = stereo[2 * i + 1];
            stereo[2 * i] = inL + fb * backL;
            stereo[2 * i + 1] = inR + fb * backR;
            // Ping-pong: both sides enter on the left, and each side's repeats feed the other.
            const float straight = 1.0f - bounce;
            const float mono = 0.5f * (inL + inR);
            float intoL = straight * inL + bounce * mono + fb * (straight * backL + bounce * backR);
            float intoR = straight * inR + fb * (straight * backR + bounce * backL);
            intoL = dsp::softCeiling(intoL);
            intoR = dsp::softCeiling(intoR);
            dsp::flush(intoL);
            dsp::flush(intoR);
            left_[write_] = intoL;
            right_[write_] = intoR;
            write_ = (write_ + 1) & mask_;
        }
        cutLeft_.flushState();
        cutRight_.flushState();
    }

  private:
    // The delay for the set time at this tempo, in whole frames.
    double targetDelay(const ProcessContext& context) const {
        const double beat = context.beatSeconds > 0 ? context.beatSeconds : 0.5;
        const double frames = std::nearbyint(double(beats_) * beat * rate_);
        return std::clamp(frames, 1.0, maxDelay_);
    }

    // Moves the read position one frame towards `target`: a glide for small moves, a
    // cross-fade to the new position for jumps.
    void steer(double target) {
        if (fading_) {
            if (++fadeAt_ < fadeFrames_) return;
            delay_ = next_;
            fading_ = false;
        }
        const double gap = target - delay_;
        if (gap == 0) return;
        if (std::fabs(gap) > std::max(2.0, 0.02 * delay_)) {
            next_ = target;
            fading_ = true;
            fadeAt_ = 0;
        } else if (std::fabs(gap) < 1e-3) {
            delay_ = target;
        } else {
            delay_ += std::clamp(gap * glideCoef_, -kMaxBend, kMaxBend);
        }
    }

    float read(const std::vector<float>& line, double delay) const {
        return dsp::readBack(line, write_, mask_, delay);
    }

    float tap(const std::vector<float>& line) const {
        if (!fading_) return read(line, delay_);
        const float to = float(fadeAt_) / float(fadeFrames_);
        return read(line, delay_) * (1.0f - to) + read(line, next_) * to;
    }

    int rate_ = 48000;
    std::vector<float> left_, right_;
    std::size_t mask_ = 0, write_ = 0;
    double maxDelay_ = 1;
    float beats_ = 1;
    dsp::Glide feedback_, pingPong_, lowCut_;
    dsp::OnePole cutLeft_, cutRight_;
    double delay_ = 1, next_ = 1, glideCoef_ = 0;
    bool fresh_ = true, fading_ = false;
    int fadeAt_ = 0, fadeFrames_ = 1;
};

}  // namespace

void addEchoEffect(std::vector<BuiltinEntry>& list) {
    list.push_back({echoInfo(), [] { return std::make_unique<Echo>(); }});
}

}  // namespace kelvra::audio::fx
