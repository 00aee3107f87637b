// The built-in effects. Every one of them, whichever file adds it, is run for minutes of noise
// with its knobs thrown about and at their ends, and must stay finite and bounded, fall silent
// when its input does (or ring out, for the echo and the reverb) and forget all on reset. Then
// the space and modulation effects are measured on what they are for: where an echo's repeats
// land and how loud, a reverb's decay and width, and that every sweep takes its rate in beats.
#include <gtest/gtest.h>

#include <algorithm>
#include <cfenv>
#include <cmath>
#include <cstdio>
#include <functional>
#include <numbers>
#include <random>
#include <set>
#include <string>
#include <vector>

#include "audio/fx/Builtins.h"

namespace kelvra::audio::fx {
namespace {

constexpr int kRate = 48000;
constexpr int kPeriod = 256;
constexpr double kPi = std::numbers::pi;

int paramIndex(const EffectInfo& info, const std::string& symbol) {
    for (std::size_t i = 0; i < info.params.size(); ++i)
        if (info.params[i].symbol == symbol) return int(i);
    ADD_FAILURE() << info.id << " has no parameter " << symbol;
    return -1;
}

std::unique_ptr<Effect> made(const std::string& id, int rate = kRate) {
    auto effect = makeBuiltin(id);
    if (effect) effect->prepare(rate, kPeriod);
    return effect;
}

void set(Effect& effect, const std::string& symbol, float value) {
    const int index = paramIndex(effect.info(), symbol);
    if (index >= 0) effect.setParam(index, value);
}

// Runs interleaved stereo `signal` through `effect` period by period; `before` is called with
// the first frame of each period and may change the context or the parameters.
std::vector<float> run(Effect& effect, std::vector<float> signal, double beatSeconds = 0.5,
                       int rate = kRate,
                       const std::function<void(std::size_t, ProcessContext&)>& before = {}) {
    ProcessContext context{rate, beatSeconds};
    const std::size_t frames = signal.size() / 2;
    for (std::size_t at = 0; at < frames; at += kPeriod) {
        if (before) before(at, context);
        const auto count = int(std::min<std::size_t>(kPeriod, frames - at));
        effect.process(signal.data() + 2 * at, count, context);
    }
    return signal;
}

// Both channels alike.
std::vector<float> stereo(const std::vector<float>& mono) {
    std::vector<float> out(2 * mono.size());
    for (std::size_t i = 0; i < mono.size(); ++i)
        out[2 * i] = out[2 * i + 1] = mono[i];
    return out;
}

std::vector<float> channel(const std::vector<float>& interleaved, int c) {
    std::vector<float> out(interleaved.size() / 2);
    for (std::size_t i = 0; i < out.size(); ++i)
        out[i] = interleaved[2 * i + std::size_t(c)];
    return out;
}

std::vector<float> tone(double hz, double seconds, double level = 0.5, int rate = kRate) {
    std::vector<float> out(std::size_t(seconds * rate));
    for (std::size_t i = 0; i < out.size(); ++i)
        out[i] = float(level * std::sin(2 * kPi * hz * double(i) / rate));
    return out;
}

std::vector<float> noise(unsigned seed, double seconds) {
    std::mt19937 random(seed);
    std::uniform_real_distribution<float> uniform(-0.5f, 0.5f);
    std::vector<float> out(std::size_t(seconds * kRate));
    for (float& x : out)
        x = uniform(random);
    return out;
}

float peak(const std::vector<float>& x, std::size_t from, std::size_t to) {
    float high = 0;
    for (std::size_t i = from; i < std::min(to, x.size()); ++i)
        high = std::max(high, std::fabs(x[i]));
    return high;
}

double rms(const std::vector<float>& x, std::size_t from, std::size_t to) {
    double sum = 0;
    to = std::min(to, x.size());
    for (std::size_t i = from; i < to; ++i)
        sum += double(x[i]) * x[i];
    return to > from ? std::sqrt(sum / double(to - from)) : 0.0;
}

// ---- every built-in

TEST(EffectsBuiltin, EveryEffectDescribesItselfAsItIsListed) {
    std::set<std::string> ids;
    for (const BuiltinEntry& entry : builtins()) {
        SCOPED_TRACE(entry.info.id);
        EXPECT_TRUE(ids.insert(entry.info.id).second) << "listed twice";
        const auto effect = entry.make();
        ASSERT_TRUE(effect);
        const EffectInfo& own = effect->info();
        EXPECT_EQ(own.id, entry.info.id);
        EXPECT_EQ(own.tail, entry.info.tail);
        EXPECT_EQ(own.superParam, entry.info.superParam);
        ASSERT_EQ(own.params.size(), entry.info.params.size());
        EXPECT_GE(own.superParam, -1);
        EXPECT_LT(own.superParam, int(own.params.size()));
        std::set<std::string> symbols;
        for (const ParamInfo& param : own.params) {
            EXPECT_TRUE(symbols.insert(param.symbol).second) << param.symbol << " twice";
            EXPECT_LT(param.min, param.max) << param.symbol;
            EXPECT_GE(param.value, param.min) << param.symbol;
            EXPECT_LE(param.value, param.max) << param.symbol;
            if (param.logarithmic) {
                EXPECT_GT(param.min, 0) << param.symbol;
            }
        }
        EXPECT_EQ(makeBuiltin(entry.info.id)->info().id, entry.info.id);
    }
}

// Feeds `seconds` of seeded noise (±1, both sides independent) in periods of 128 or 256
// frames; `move` may change parameters and tempo before each period. Fails on a sample that is
// not finite or beyond ±16.
void soak(Effect& effect, unsigned seed, double seconds,
          const std::function<void(std::mt19937&, ProcessContext&)>& move) {
    std::mt19937 random(seed);
    std::uniform_real_distribution<float> uniform(-1.0f, 1.0f);
    ProcessContext context{kRate, 0.5};
    std::vector<float> period(2 * kPeriod);
    const auto total = std::int64_t(seconds * kRate);
    float high = 0;
    for (std::int64_t done = 0; done < total;) {
        const int frames = (random() & 1) ? kPeriod : kPeriod / 2;
        if (move) move(random, context);
        for (int i = 0; i < 2 * frames; ++i)
            period[std::size_t(i)] = uniform(random);
        effect.process(period.data(), frames, context);
        for (int i = 0; i < 2 * frames; ++i) {
            const float x = period[std::size_t(i)];
            if (!std::isfinite(x) || std::fabs(x) >= 16) {
                FAIL() << "sample " << x << " at " << double(done + i / 2) / kRate << " s";
            }
            high = std::max(high, std::fabs(x));
        }
        done += frames;
    }
    std::printf("    %-12s peak %.2f\n", effect.info().id.c_str(), high);
}

float randomValue(const ParamInfo& param, std::mt19937& random) {
    std::uniform_real_distribution<float> unit(0.0f, 1.0f);
    const float u = unit(random);
    switch (param.kind) {
        case ParamInfo::Kind::Toggle:
            return u < 0.5f ? 0.0f : 1.0f;
        case ParamInfo::Kind::Integer:
            return std::nearbyint(param.min + u * (param.max - param.min));
        default:
            if (param.logarithmic) return param.min * std::pow(param.max / param.min, u);
            return param.min + u * (param.max - param.min);
    }
}

TEST(EffectsBuiltin, EveryEffectStaysFiniteAndBoundedWithItsKnobsThrownAbout) {
    const unsigned seed = 90210417;
    std::printf("    seed %u\n", seed);
    for (const BuiltinEntry& entry : builtins()) {
        SCOPED_TRACE(entry.info.id + " seed " + std::to_string(seed));
        auto effect = entry.make();
        effect->prepare(kRate, kPeriod);
        int periods = 0;
        // Ten minutes; every knob moves to anywhere in its range each period, and the tempo
        // jumps every second or so.
        soak(*effect, seed, 600, [&](std::mt19937& random, ProcessContext& context) {
            const auto& params = entry.info.params;
            for (std::size_t i = 0; i < params.size(); ++i)
                effect->setParam(int(i), randomValue(params[i], random));
            if (++periods % 256 == 0)
                context.beatSeconds = std::uniform_real_distribution<double>(0.25, 1.0)(random);
        });
    }
}

TEST(EffectsBuiltin, EveryEffectStaysFiniteAndBoundedWithEachKnobAtItsEnds) {
    const unsigned seed = 5550123;
    std::printf("    seed %u\n", seed);
    for (const BuiltinEntry& entry : builtins()) {
        const auto& params = entry.info.params;
        auto trial = [&](const std::string& what, const std::function<void(Effect&)>& setUp) {
            SCOPED_TRACE(entry.info.id + " " + what + " seed " + std::to_string(seed));
            auto effect = entry.make();
            effect->prepare(kRate, kPeriod);
            setUp(*effect);
            soak(*effect, seed, 8, {});
        };
        for (std::size_t i = 0; i < params.size(); ++i)
            for (const bool top : {false, true})
                trial(params[i].symbol + (top ? " at max" : " at min"),
                      [&](Effect& e) { e.setParam(int(i), top ? params[i].max : params[i].min); });
        for (const bool top : {false, true})
            trial(top ? "all at max" : "all at min", [&](Effect& e) {
                for (std::size_t i = 0; i < params.size(); ++i)
                    e.setParam(int(i), top ? params[i].max : params[i].min);
            });
    }
}

TEST(EffectsBuiltin, EveryEffectFallsSilentOrRingsOutWhenItsInputStopsAndForgetsOnReset) {
    const unsigned seed = 31337;
    std::printf("    seed %u\n", seed);
    for (const BuiltinEntry& entry : builtins()) {
        SCOPED_TRACE(entry.info.id + " seed " + std::to_string(seed));
        auto effect = made(entry.info.id);
        std::vector<float> signal = stereo(noise(seed, 3));
        signal.resize(signal.size() + 2 * std::size_t(12 * kRate), 0.0f);
        const std::vector<float> out = run(*effect, signal);
        const auto second = [](double s) { return 2 * std::size_t(s * kRate); };
        const float justAfter = peak(out, second(3), second(4));
        const float late = peak(out, second(14), second(15));
        if (entry.info.tail) {
            EXPECT_LT(late, 1e-3f * justAfter) << "a tail must die away";
        } else {
            EXPECT_LT(peak(out, second(6), second(15)), 1e-6f) << "sounds on with no input";
        }
        // Reset in the middle of sounding: nothing of it may come back.
        run(*effect, stereo(noise(seed + 1, 1)));
        effect->reset();
        const std::vector<float> after = run(*effect, std::vector<float>(second(3), 0.0f));
        EXPECT_LT(peak(after, second(1), second(3)), 1e-6f) << "remembers past a reset";
    }
}

// The audio thread flushes denormals, but an effect that decays into them costs many times its
// share wherever flushing is not to be had, and a silent tail must cost no more than a loud one.
// No clock is read: the processor's underflow flag says whether a subnormal was ever produced.
TEST(EffectsBuiltin, NoEffectDecaysIntoSubnormalsInALongSilence) {
    const unsigned seed = 4242;
    std::printf("    seed %u\n", seed);
    for (const BuiltinEntry& entry : builtins()) {
        SCOPED_TRACE(entry.info.id + " seed " + std::to_string(seed));
        auto effect = made(entry.info.id);
        // The longest tails: the largest room, the most feedback.
        for (const ParamInfo& param : entry.info.params)
            if (param.symbol == "size" || param.symbol == "feedback")
                set(*effect, param.symbol, param.max);
        run(*effect, stereo(noise(seed, 2)));
        run(*effect, std::vector<float>(2 * std::size_t(60 * kRate), 0.0f));
        std::feclearexcept(FE_UNDERFLOW);
        run(*effect, std::vector<float>(2 * std::size_t(20 * kRate), 0.0f));
        EXPECT_FALSE(std::fetestexcept(FE_UNDERFLOW)) << "its silence is made of subnormals";
    }
}

// ---- echo

std::vector<float> impulse(double seconds, std::size_t at = 100) {
    std::vector<float> x(std::size_t(seconds * kRate), 0.0f);
    x[at] = 1;
    return stereo(x);
}

TEST(EffectsEcho, AnImpulseRepeatsOnTheFrameAtEachPowerOfTheFeedback) {
    struct Case {
        int rate;
        double beat;
        float time, feedback;
    };
    // 100 BPM at three quarters of a beat (a whole number of frames), and a tempo whose delay
    // falls between frames: the repeat lands on the nearest one, unsmeared.
    for (const Case c : {Case{44100, 0.6, 0.75f, 0.5f}, Case{48000, 0.5123, 0.75f, 0.3f},
                         Case{48000, 0.47, 1.0f / 8, 0.8f}}) {
        SCOPED_TRACE(std::to_string(c.rate) + " Hz, beat " + std::to_string(c.beat));
        auto echo = made("echo", c.rate);
        set(*echo, "time", c.time);
        set(*echo, "feedback", c.feedback);
        const auto delay = std::size_t(std::lrint(c.time * c.beat * c.rate));
        const std::size_t at = 100;
        std::vector<float> x(5 * delay + 1000, 0.0f);
        x[at] = 1;
        const std::vector<float> out = run(*echo, stereo(x), c.beat, c.rate);
        const std::vector<float> left = channel(out, 0);
        for (std::size_t i = 0; i < left.size(); ++i) {
            const bool repeat = i >= at && (i - at) % delay == 0;
            const std::size_t n = repeat ? (i - at) / delay : 0;
            const float expected = repeat ? std::pow(c.feedback, float(n)) : 0.0f;
            if (std::fabs(left[i] - expected) > 1e-6f * std::max(1.0f, expected)) {
                ADD_FAILURE() << "frame " << i << " (repeat " << n << "): " << left[i]
                              << ", expected " << expected;
                break;
            }
        }
        EXPECT_EQ(left, channel(out, 1)) << "both sides alike when not ping-pong";
    }
}

TEST(EffectsEcho, FollowsTheTempoAndChangesTimeWithoutAClick) {
    auto echo = made("echo");
    set(*echo, "time", 0.5f);
    // A steady tone going in; halfway the tempo jumps from 120 to 150 BPM, then creeps.
    const std::vector<float> in = stereo(tone(440, 6));
    const std::vector<float> out = run(*echo, in, 0.5, kRate, [](std::size_t at, auto& context) {
        if (at >= 3 * std::size_t(kRate)) context.beatSeconds = 0.4 + 1e-6 * double(at % 4096);
    });
    const std::vector<float> left = channel(out, 0);
    float step = 0;
    for (std::size_t i = 1; i < left.size(); ++i)
        step = std::max(step, std::fabs(left[i] - left[i - 1]));
    // The tone and its repeats add to at most 1 (0.5 × 1/(1 − 0.5)), whose steepest step at
    // 440 Hz is 2π·440/48000 ≈ 0.058; a jump in read position would step by up to 2.
    EXPECT_LT(step, 0.1f);

    // After the change an impulse repeats at the new tempo's time, on the frame.
    auto fresh = made("echo");
    set(*fresh, "time", 0.5f);
    std::vector<float> x(3 * kRate, 0.0f);
    const std::size_t at = std::size_t(kRate) + 37;  // well after the change settled
    x[at] = 1;
    const std::vector<float> heard = channel(run(*fresh, stereo(x), 0.5, kRate,
                                                 [](std::size_t frame, auto& context) {
                                                     if (frame >= 12 * kPeriod)
                                                         context.beatSeconds = 0.4;
                                                 }),
                                             0);
    const auto delay = std::size_t(std::lrint(0.5 * 0.4 * kRate));
    EXPECT_FLOAT_EQ(heard[at + delay], 0.5f);
    EXPECT_FLOAT_EQ(heard[at + 2 * delay], 0.25f);
    EXPECT_LT(peak(heard, at + 1, at + delay), 1e-7f);
}

TEST(EffectsEcho, PingPongSendsTheRepeatsToEachSideInTurn) {
    auto echo = made("echo");
    set(*echo, "pingpong", 1);
    set(*echo, "time", 0.25f);
    const auto delay = std::size_t(0.25 * 0.5 * kRate);
    const std::vector<float> out = run(*echo, impulse(1));
    const std::vector<float> left = channel(out, 0), right = channel(out, 1);
    EXPECT_FLOAT_EQ(left[100], 1.0f) << "the dry sound stays where it was";
    EXPECT_FLOAT_EQ(right[100], 1.0f);
    float level = 1;
    for (int n = 1; n <= 4; ++n) {
        const std::size_t at = 100 + std::size_t(n) * delay;
        const std::vector<float>& loud = n % 2 ? left : right;
        const std::vector<float>& quiet = n % 2 ? right : left;
        level *= 0.5f;
        SCOPED_TRACE("repeat " + std::to_string(n));
        // Both sides enter the first line at half each, so the repeats are of their mix.
        EXPECT_NEAR(loud[at], level, 1e-6f);
        EXPECT_LT(peak(quiet, at - 10, at + 10), 1e-7f);
    }
}

TEST(EffectsEcho, TheLowCutThinsOutEachRepeat) {
    auto repeatLevel = [](double hz, float cut) {
        auto echo = made("echo");
        set(*echo, "time", 1);
        set(*echo, "lowcut", cut);
        std::vector<float> burst = tone(hz, 0.2);
        burst.resize(std::size_t(kRate), 0.0f);
        const std::vector<float> left = channel(run(*echo, stereo(burst)), 0);
        const std::size_t delay = kRate / 2;
        // The middle of the first repeat against the middle of the burst.
        return rms(left, delay + kRate / 20, delay + kRate / 10) /
               rms(left, kRate / 20, kRate / 10);
    };
    EXPECT_NEAR(repeatLevel(60, 20), 0.5, 0.01) << "at its lowest the cut leaves the lows";
    EXPECT_LT(repeatLevel(60, 1000), 0.05) << "lows under the cut are thinned";
    EXPECT_NEAR(repeatLevel(8000, 1000), 0.5, 0.02) << "highs pass the cut";
}

// ---- reverb

// The time the tail of an impulse takes to fall 60 dB, from the slope of its backward-summed
// energy between −5 and −25 dB.
double decaySeconds(float size, float damping = 0.3f) {
    auto reverb = made("reverb");
    set(*reverb, "size", size);
    set(*reverb, "damping", damping);
    set(*reverb, "predelay", 0);
    std::vector<float> out = run(*reverb, impulse(20, 0));
    out[0] = out[1] = 0;  // the dry impulse
    std::vector<double> energy(out.size() / 2 + 1, 0.0);
    for (std::size_t i = out.size() / 2; i-- > 0;)
        energy[i] = energy[i + 1] + double(out[2 * i]) * out[2 * i] +
                    double(out[2 * i + 1]) * out[2 * i + 1];
    auto crossing = [&](double dB) {
        const double level = energy[0] * std::pow(10.0, dB / 10);
        for (std::size_t i = 0; i < energy.size(); ++i)
            if (energy[i] < level) return double(i) / kRate;
        return 1e9;
    };
    return 3 * (crossing(-25) - crossing(-5));
}

TEST(EffectsReverb, ALargerRoomRingsLonger) {
    const double small = decaySeconds(0.1f), middle = decaySeconds(0.5f),
                 large = decaySeconds(0.9f);
    std::printf("    decay %.2f s, %.2f s, %.2f s\n", small, middle, large);
    EXPECT_GT(small, 0.1);
    EXPECT_LT(small, 1.0);
    EXPECT_GT(middle, 1.3 * small);
    EXPECT_GT(large, 2.0 * middle);
    EXPECT_GT(large, 3.0);
    EXPECT_LT(large, 15.0) << "the largest room must still die away";
}

TEST(EffectsReverb, AMonoSourceComesBackWideUnlessNarrowed) {
    auto correlation = [](float width) {
        auto reverb = made("reverb");
        set(*reverb, "width", width);
        const std::vector<float> in = stereo(noise(4711, 4));
        const std::vector<float> out = run(*reverb, in);
        double lr = 0, ll = 0, rr = 0;
        for (std::size_t i = std::size_t(kRate); i < in.size() / 2; ++i) {
            const double l = out[2 * i] - in[2 * i], r = out[2 * i + 1] - in[2 * i + 1];
            lr += l * r;
            ll += l * l;
            rr += r * r;
        }
        EXPECT_GT(ll, 1.0) << "no tail heard";
        return lr / std::sqrt(ll * rr);
    };
    EXPECT_LT(std::fabs(correlation(1)), 0.2) << "seed 4711";
    EXPECT_GT(correlation(0), 0.999) << "seed 4711";
}

TEST(EffectsReverb, WaitsThePreDelayAndDampingDullsTheTail) {
    auto reverb = made("reverb");
    set(*reverb, "predelay", 100);
    std::vector<float> out = run(*reverb, impulse(0.5, 0));
    out[0] = out[1] = 0;
    EXPECT_EQ(peak(out, 0, 2 * std::size_t(0.1 * kRate)), 0.0f) << "the room answers early";
    EXPECT_GT(peak(out, 2 * std::size_t(0.1 * kRate), out.size()), 1e-3f);

    // How much of the tail's energy is in its steps from sample to sample: its brightness.
    auto brightness = [](float damping) {
        auto room = made("reverb");
        set(*room, "damping", damping);
        const std::vector<float> left = channel(run(*room, impulse(1, 0)), 0);
        double steps = 0, all = 0;
        for (std::size_t i = std::size_t(0.4 * kRate); i < left.size(); ++i) {
            steps += double(left[i] - left[i - 1]) * (left[i] - left[i - 1]);
            all += double(left[i]) * left[i];
        }
        return steps / all;
    };
    EXPECT_LT(brightness(1), 0.25 * brightness(0));
}

// ---- the sweeps

// The level of `x` every millisecond, over windows of four (whole cycles of 1 and 1.25 kHz).
std::vector<double> envelope(const std::vector<float>& x, std::size_t from) {
    const std::size_t hop = kRate / 1000, window = 4 * hop;
    std::vector<double> out;
    for (std::size_t at = from; at + window <= x.size(); at += hop)
        out.push_back(rms(x, at, at + window));
    return out;
}

// The period of an envelope, in seconds: past the first dip of its autocorrelation, the first
// lag where the envelope comes back close to itself.
double period(const std::vector<double>& e) {
    double mean = 0;
    for (double v : e)
        mean += v;
    mean /= double(e.size());
    auto similarity = [&](std::size_t lag) {
        double ab = 0, aa = 0, bb = 0;
        for (std::size_t i = 0; i + lag < e.size(); ++i) {
            const double a = e[i] - mean, b = e[i + lag] - mean;
            ab += a * b;
            aa += a * a;
            bb += b * b;
        }
        return aa > 0 && bb > 0 ? ab / std::sqrt(aa * bb) : 0.0;
    };
    std::size_t lag = 1;
    while (lag < e.size() / 2 && similarity(lag) > 0.5)
        ++lag;
    for (; lag + 1 < e.size() / 2; ++lag) {
        const double here = similarity(lag);
        if (here > 0.9 && here >= similarity(lag - 1) && here >= similarity(lag + 1))
            return double(lag) / 1000.0;
    }
    return 0;
}

struct Sweep {
    std::string id;
    float beats;
    double beatSeconds;
    std::vector<std::pair<std::string, float>> settings;
    double hz = 1000;  // the tone swept
};

TEST(EffectsSweeps, EverySweepRepeatsOnceInItsRateOfBeats) {
    const std::vector<Sweep> sweeps = {
        {"tremolo", 1.0f / 4, 0.5, {}},
        {"tremolo", 1, 0.4, {{"shape", 1}}},
        {"autopan", 2, 0.5, {}},
        {"autopan", 1.0f / 4, 0.45, {}},
        {"flanger", 4, 0.45, {}},
        // A flanger's notches on its way up and down mirror each other; at 1 kHz they would
        // fall alike and the tone would seem to swing twice as fast.
        {"flanger", 1, 0.5, {{"feedback", 0}, {"depth", 1}}, 1250},
        {"phaser", 2, 0.5, {}},
        {"phaser", 1.0f / 2, 0.6, {{"stages", 12}}},
        {"filter", 1, 0.5, {}},
        {"filter", 3, 0.35, {{"mode", 2}, {"center", 400}}},
    };
    for (const Sweep& sweep : sweeps) {
        const double expected = sweep.beats * sweep.beatSeconds;
        SCOPED_TRACE(sweep.id + " over " + std::to_string(expected) + " s");
        auto effect = made(sweep.id);
        set(*effect, "rate", sweep.beats);
        for (const auto& [symbol, value] : sweep.settings)
            set(*effect, symbol, value);
        const double seconds = 1 + 4.5 * expected;
        const std::vector<float> out =
            run(*effect, stereo(tone(sweep.hz, seconds)), sweep.beatSeconds);
        for (int c = 0; c < 2; ++c) {
            const double measured = period(envelope(channel(out, c), std::size_t(kRate)));
            EXPECT_NEAR(measured, expected, 0.01 * expected + 0.002) << "channel " << c;
        }
    }
}

TEST(EffectsSweeps, ASweepKeepsToTheTempoAsItChanges) {
    auto tremolo = made("tremolo");
    set(*tremolo, "rate", 1);
    // 120 BPM for two seconds, then 96 BPM.
    const std::vector<float> out =
        run(*tremolo, stereo(tone(1000, 6)), 0.5, kRate, [](std::size_t at, auto& context) {
            if (at >= 2 * std::size_t(kRate)) context.beatSeconds = 0.625;
        });
    const std::vector<float> left = channel(out, 0);
    EXPECT_NEAR(period(envelope(std::vector<float>(left.begin(), left.begin() + 2 * kRate), 0)),
                0.5, 0.006);
    EXPECT_NEAR(period(envelope(left, 2 * std::size_t(kRate))), 0.625, 0.008);
}

TEST(EffectsSweeps, TremoloDipsByItsDepthAndAutoPanKeepsThePower) {
    auto tremolo = made("tremolo");
    set(*tremolo, "depth", 0.6f);
    std::vector<float> steady(std::size_t(kRate), 0.5f);
    const std::vector<float> level = channel(run(*tremolo, stereo(steady)), 0);
    EXPECT_NEAR(peak(level, 0, level.size()), 0.5f, 1e-3f);
    EXPECT_NEAR(*std::min_element(level.begin(), level.end()), 0.5f * 0.4f, 2e-3f);

    auto pan = made("autopan");
    set(*pan, "depth", 1);
    const std::vector<float> out = run(*pan, stereo(steady));
    float quietest = 1;
    for (std::size_t i = 0; i < steady.size(); ++i) {
        const float l = out[2 * i], r = out[2 * i + 1];
        EXPECT_NEAR(l * l + r * r, 2 * 0.25f, 1e-4f) << "frame " << i;
        quietest = std::min(quietest, std::fabs(l));
    }
    EXPECT_LT(quietest, 1e-3f) << "at full depth the sound reaches the far side";
    EXPECT_NEAR(out[0], 0.5f, 1e-4f) << "starts in the middle at the input's level";
}

TEST(EffectsSweeps, TheFilterPassesItsBandAndStopsTheRest) {
    auto through = [](int mode, double hz) {
        auto filter = made("filter");
        set(*filter, "depth", 0);
        set(*filter, "center", 500);
        set(*filter, "resonance", 0);
        set(*filter, "mode", float(mode));
        const std::vector<float> in = tone(hz, 1);
        const std::vector<float> out = channel(run(*filter, stereo(in)), 0);
        return 20 * std::log10(rms(out, kRate / 2, out.size()) / rms(in, kRate / 2, in.size()));
    };
    EXPECT_LT(through(0, 8000), -40) << "low-pass lets a high tone through";
    EXPECT_GT(through(0, 60), -1) << "low-pass loses the lows";
    EXPECT_LT(through(2, 60), -30) << "high-pass lets a low tone through";
    EXPECT_GT(through(2, 8000), -1) << "high-pass loses the highs";
    EXPECT_NEAR(through(1, 500), 0, 0.5) << "band-pass is not whole at its centre";
    EXPECT_LT(through(1, 8000), -20);
    EXPECT_LT(through(1, 30), -20);
}

}  // namespace
}  // namespace kelvra::audio::fx
