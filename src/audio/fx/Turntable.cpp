// The turntable effects: the brake (the platter loses power and the sound slows to a stop) and
// the spinback (the record is thrown backwards and slows to rest). Both play the audio they have
// heard since they were engaged from a history of their own, read at a changing speed.
#include <algorithm>
#include <cmath>
#include <vector>

#include "audio/fx/DynamicsSupport.h"

namespace kelvra::audio::fx::dynamics {

namespace {

using Kind = ParamInfo::Kind;

// The sample of stereo `history` at the fractional frame `at`, reading nothing at or past
// `written` frames and nothing before the first. A four-point cubic where its neighbours are
// there, a straight line next to the newest frame (where the read head runs close behind the
// write head).
float readAt(const std::vector<float>& history, long written, double at, int channel) {
    if (!(at >= 0) || written <= 0) return 0;
    const long i = long(at);
    if (i >= written) return 0;
    const float t = float(at - double(i));
    auto x = [&](long frame) {
        frame = std::clamp(frame, 0L, written - 1);
        return history[std::size_t(2 * frame + channel)];
    };
    const float x0 = x(i), x1 = x(i + 1);
    if (i + 2 >= written) return x0 + t * (x1 - x0);
    const float xm = x(i - 1), x2 = x(i + 2);
    // Catmull-Rom: passes through x0 and x1 with slopes taken from their neighbours.
    const float a = 0.5f * (x2 - xm) + 1.5f * (x0 - x1);
    const float b = xm - 2.5f * x0 + 2.0f * x1 - 0.5f * x2;
    const float c = 0.5f * (x1 - xm);
    return ((a * t + b) * t + c) * t + x0;
}

// A cartridge's output falls with the stylus's speed; the last stretch before rest fades out with
// it, so stopping on a held sample is no jump to silence.
float speedGain(double speed) {
    return float(std::min(1.0, std::fabs(speed) * 8.0));
}

// ---- brake

// The longest stop the history is kept for; a longer setting (many beats at a very slow tempo)
// stops in this time.
constexpr double kLongestStop = 20.0;

const EffectInfo& brakeInfo() {
    static const EffectInfo info{"brake",
                                 "Brake",
                                 {
                                     {"time", "Time", "beats", 0.25f, 16, 2, Kind::Beats, false},
                                     {"curve", "Curve", "%", 0, 1, 0.5f, Kind::Continuous, false},
                                 },
                                 0,
                                 false,
                                 true,
                                 {}};
    return info;
}

// From the moment it is engaged the read head falls behind the live input, its speed going from
// 1 to 0 over `time` beats, then the output is silent. `curve` 0 slows evenly (constant friction);
// towards 1 the speed drops fast at first and lingers low, as a heavy platter coasting down.
// Every such slowdown covers at most half the stop time's worth of audio, which bounds the
// history: it starts at the engage point and never needs to wrap.
class Brake final : public Effect {
  public:
    Brake() { curve_.set(brakeInfo().params[1].value, true); }
    const EffectInfo& info() const override { return brakeInfo(); }

    void prepare(int rate, int) override {
        rate_ = std::max(rate, 1);
        capacity_ = long(std::ceil(kLongestStop / 2 * rate_)) + 8;
        history_.assign(std::size_t(2 * capacity_), 0.0f);
        curve_.prepare(0.05, rate_);
        reset();
    }

    void setParam(int index, float value) override {
        if (index == 0) beats_ = std::max(value, 1.0f / 64);
        if (index == 1) curve_.set(std::clamp(value, 0.0f, 1.0f), fresh_);
    }

    void process(float* stereo, int frames, const ProcessContext& context) override {
        fresh_ = false;
        const double stop = std::clamp(beats_ * context.beatSeconds, 1e-3, kLongestStop);
        const double advance = 1.0 / (stop * rate_);
        for (int i = 0; i < frames; ++i) {
            float* frame = stereo + 2 * i;
            if (stopped_) {
                frame[0] = frame[1] = 0;
                continue;
            }
            if (written_ < capacity_) {
                history_[std::size_t(2 * written_)] = frame[0];
                history_[std::size_t(2 * written_ + 1)] = frame[1];
                ++written_;
            }
            const double speed = speedAt(progress_, curve_.next());
            const float gain = speedGain(speed);
            frame[0] = gain * readAt(history_, written_, head_, 0);
            frame[1] = gain * readAt(history_, written_, head_, 1);
            head_ += speed;
            progress_ += advance;
            stopped_ = progress_ >= 1.0;
        }
    }

    void reset() override {
        written_ = 0;
        head_ = progress_ = 0;
        stopped_ = false;
        fresh_ = true;
        curve_.set(curve_.target(), true);
    }

  private:
    // The speed `progress` (0..1) of the way into the stop: the straight line 1 - x, or an
    // exponential fall scaled to reach 0 at the same moment. Both never rise above the line.
    static double speedAt(double progress, float curve) {
        const double x = std::clamp(progress, 0.0, 1.0);
        const double a = 6.0 * curve;
        if (a < 1e-3) return 1.0 - x;
        const double end = std::exp(-a);
        return (std::exp(-a * x) - end) / (1.0 - end);
    }

    int rate_ = 44100;
    long capacity_ = 0;
    std::vector<float> history_;
    float beats_ = 2;
    Glide curve_;
    long written_ = 0;
    double head_ = 0, progress_ = 0;
    bool stopped_ = false, fresh_ = true;
};

// ---- spinback

// The most audio the spinback keeps to throw back over.
constexpr double kSpinHistorySeconds = 8.0;
// The throw starts this many times normal speed, backwards.
constexpr double kThrowSpeed = 3.0;
// How fast the hand turns the record from playing to the throw.
constexpr double kTurnSeconds = 0.005;
// The history's first frames rise from silence, so running back past them is no click.
constexpr double kFadeInSeconds = 0.005;

const EffectInfo& spinbackInfo() {
    static const EffectInfo info{
        "spinback", "Spinback", {{"time", "Time", "beats", 0.25f, 8, 1, Kind::Beats, false}},
        0,          false,      true,
        {}};
    return info;
}

// The record is thrown backwards at three times its speed and slows evenly to rest over `time`
// beats, then the output is silent. A throw goes back over audio already played, and the effect
// hears nothing before it is engaged (a slot is fed only while it is on), so it first lets the
// music play on unchanged while it keeps it, for as long as the throw will take to go back over;
// then the throw runs back to rest about where the effect was engaged. A throw longer than the
// history kept runs past its start into silence.
class Spinback final : public Effect {
  public:
    const EffectInfo& info() const override { return spinbackInfo(); }

    void prepare(int rate, int) override {
        rate_ = std::max(rate, 1);
        capacity_ = long(std::ceil(kSpinHistorySeconds * rate_));
        history_.assign(std::size_t(2 * capacity_), 0.0f);
        turn_ = std::exp(-1.0 / (kTurnSeconds * rate_));
        fadeFrames_ = std::max(1L, long(kFadeInSeconds * rate_));
        margin_ = long(0.05 * rate_) + 8;  // room for the turn's forward moment
        reset();
    }

    void setParam(int index, float value) override {
        if (index == 0) beats_ = std::max(value, 1.0f / 64);
    }

    void process(float* stereo, int frames, const ProcessContext& context) override {
        const double spinFrames = std::max(beats_ * context.beatSeconds, 1e-3) * rate_;
        // An even slowdown from the throw speed covers half that speed times the time.
        const double reach = std::min(0.5 * kThrowSpeed * spinFrames, double(capacity_ - margin_));
        for (int i = 0; i < frames; ++i) {
            float* frame = stereo + 2 * i;
            // Kept through the turn too, which still moves forward for a moment.
            if (state_ != State::Stopped && written_ < capacity_) {
                const float rise = std::min(1.0f, float(written_) / float(fadeFrames_));
                history_[std::size_t(2 * written_)] = rise * frame[0];
                history_[std::size_t(2 * written_ + 1)] = rise * frame[1];
                ++written_;
            }
            switch (state_) {
                case State::Listening:
                    if (double(written_) >= reach) {
                        state_ = State::Throwing;
                        head_ = double(written_ - 1);
                        speed_ = 1.0;
                    }
                    break;  // the music plays on as it is
                case State::Throwing: {
                    const double aim = -kThrowSpeed * (1.0 - progress_);
                    speed_ = aim + turn_ * (speed_ - aim);
                    head_ = std::min(head_ + speed_, double(written_ - 1));
                    const float gain = speedGain(aim);
                    frame[0] = gain * readAt(history_, written_, head_, 0);
                    frame[1] = gain * readAt(history_, written_, head_, 1);
                    progress_ += 1.0 / spinFrames;
                    if (progress_ >= 1.0) state_ = State::Stopped;
                    break;
                }
                case State::Stopped:
                    frame[0] = frame[1] = 0;
                    break;
            }
        }
    }

    void reset() override {
        state_ = State::Listening;
        written_ = 0;
        head_ = progress_ = 0;
        speed_ = 1;
    }

  private:
    enum class State { Listening, Throwing, Stopped };

    int rate_ = 44100;
    long capacity_ = 0, fadeFrames_ = 1, margin_ = 8;
    std::vector<float> history_;
    float beats_ = 1;
    double turn_ = 0;
    State state_ = State::Listening;
    long written_ = 0;
    double head_ = 0, progress_ = 0, speed_ = 1;
};

}  // namespace

BuiltinEntry brakeEntry() {
    return {brakeInfo(), [] { return std::make_unique<Brake>(); }};
}

BuiltinEntry spinbackEntry() {
    return {spinbackInfo(), [] { return std::make_unique<Spinback>(); }};
}

}  // namespace kelvra::audio::fx::dynamics
