// The dynamics and turntable built-ins measured from what they output: the gate's period, duty
// and edges, the brake's falling pitch and final silence, the spinback's reversed audio, the
// compressor's static curve and timing, the limiter's ceiling and transparency, and the
// bitcrusher at its two extremes.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <random>
#include <string>
#include <vector>

#include "audio/fx/Builtins.h"

namespace kelvra::audio::fx {
namespace {

constexpr int kRate = 48000;
constexpr int kMaxPeriod = 512;

std::unique_ptr<Effect> make(const std::string& id,
                             std::initializer_list<std::pair<const char*, float>> values = {}) {
    std::unique_ptr<Effect> effect = makeBuiltin(id);
    if (!effect) return nullptr;
    effect->prepare(kRate, kMaxPeriod);
    const auto& params = effect->info().params;
    for (const auto& [symbol, value] : values) {
        const auto at = std::find_if(params.begin(), params.end(),
                                     [&](const ParamInfo& p) { return p.symbol == symbol; });
        if (at == params.end()) {
            ADD_FAILURE() << id << " has no parameter " << symbol;
            continue;
        }
        effect->setParam(int(at - params.begin()), value);
    }
    return effect;
}

int paramIndex(const Effect& effect, const std::string& symbol) {
    const auto& params = effect.info().params;
    for (std::size_t i = 0; i < params.size(); ++i)
        if (params[i].symbol == symbol) return int(i);
    return -1;
}

// Runs a stereo signal through in periods of uneven sizes (a state carried wrongly from one
// period to the next shows up at their edges). `at` is called before each period with its first
// frame.
template <typename At>
std::vector<float> runStereo(Effect& effect, std::vector<float> stereo, double beatSeconds, At at) {
    static constexpr int kSizes[] = {256, 17, 512, 1, 100, 333};
    const ProcessContext context{kRate, beatSeconds};
    const std::size_t frames = stereo.size() / 2;
    std::size_t start = 0;
    for (int k = 0; start < frames; ++k) {
        const int n = int(std::min<std::size_t>(std::size_t(kSizes[k % 6]), frames - start));
        at(start);
        effect.process(stereo.data() + 2 * start, n, context);
        start += std::size_t(n);
    }
    return stereo;
}

std::vector<float> stereoOf(const std::vector<float>& mono) {
    std::vector<float> s(2 * mono.size());
    for (std::size_t i = 0; i < mono.size(); ++i)
        s[2 * i] = s[2 * i + 1] = mono[i];
    return s;
}

std::vector<float> channel(const std::vector<float>& stereo, int c) {
    std::vector<float> m(stereo.size() / 2);
    for (std::size_t i = 0; i < m.size(); ++i)
        m[i] = stereo[2 * i + std::size_t(c)];
    return m;
}

// Both channels alike; the left of the output.
std::vector<float> run(Effect& effect, const std::vector<float>& mono, double beatSeconds = 0.5) {
    return channel(runStereo(effect, stereoOf(mono), beatSeconds, [](std::size_t) {}), 0);
}

std::vector<float> sine(std::size_t frames, double hz, float level) {
    std::vector<float> s(frames);
    for (std::size_t i = 0; i < frames; ++i)
        s[i] = level * float(std::sin(2 * M_PI * hz * double(i) / kRate));
    return s;
}

float peakOf(const std::vector<float>& s, std::size_t from, std::size_t to) {
    float high = 0;
    for (std::size_t i = from; i < std::min(to, s.size()); ++i)
        high = std::max(high, std::fabs(s[i]));
    return high;
}

float fromDb(float db) {
    return std::pow(10.0f, db / 20);
}

float dB(float linear) {
    return 20.0f * std::log10(std::max(linear, 1e-30f));
}

float largestStep(const std::vector<float>& s, std::size_t from, std::size_t to) {
    float step = 0;
    for (std::size_t i = std::max<std::size_t>(from, 1); i < std::min(to, s.size()); ++i)
        step = std::max(step, std::fabs(s[i] - s[i - 1]));
    return step;
}

// Upward zero crossings per second over [from, to).
double crossingRate(const std::vector<float>& s, std::size_t from, std::size_t to) {
    int count = 0;
    for (std::size_t i = from + 1; i < to; ++i)
        if (s[i - 1] < 0 && s[i] >= 0) ++count;
    return count * double(kRate) / double(to - from);
}

// Seeded noise through a one-pole low-pass, so reading it at a fraction of a frame is close to
// what lies between its samples.
std::vector<float> smoothNoise(std::size_t frames, unsigned seed, float level) {
    std::printf("smooth noise seed %u\n", seed);
    std::mt19937 random(seed);
    std::uniform_real_distribution<float> uniform(-1, 1);
    std::vector<float> s(frames);
    float state = 0;
    for (auto& x : s) {
        state += 0.01f * (uniform(random) - state);
        x = state;
    }
    const float high = peakOf(s, 0, s.size());
    for (auto& x : s)
        x *= level / high;
    return s;
}

// ---- the list

TEST(EffectsDynamicsList, TheGroupIsListedInOrderAndEachEffectDescribesItselfAsListed) {
    const std::vector<std::string> expected{"bitcrusher", "gate",       "brake",
                                            "spinback",   "compressor", "limiter"};
    const auto& all = builtins();
    auto first = std::find_if(all.begin(), all.end(),
                              [](const BuiltinEntry& e) { return e.info.id == "bitcrusher"; });
    ASSERT_NE(first, all.end());
    ASSERT_GE(std::size_t(all.end() - first), expected.size());
    for (std::size_t i = 0; i < expected.size(); ++i, ++first) {
        const BuiltinEntry& entry = *first;
        EXPECT_EQ(entry.info.id, expected[i]);
        const std::unique_ptr<Effect> made = entry.make();
        ASSERT_TRUE(made);
        // Every copy describes itself from one description, the one the list was given.
        EXPECT_EQ(&made->info(), &entry.make()->info());
        EXPECT_EQ(made->info().id, entry.info.id);
        EXPECT_EQ(made->info().superParam, entry.info.superParam);
        ASSERT_EQ(made->info().params.size(), entry.info.params.size());
        for (std::size_t p = 0; p < entry.info.params.size(); ++p)
            EXPECT_EQ(made->info().params[p].symbol, entry.info.params[p].symbol);
        EXPECT_FALSE(entry.info.tail) << entry.info.id;
        EXPECT_TRUE(entry.info.usable);
        EXPECT_GE(entry.info.superParam, 0);
        EXPECT_LT(entry.info.superParam, int(entry.info.params.size()));
        for (const ParamInfo& p : entry.info.params) {
            EXPECT_LE(p.min, p.value) << entry.info.id << " " << p.symbol;
            EXPECT_LE(p.value, p.max) << entry.info.id << " " << p.symbol;
        }
    }
    const std::unique_ptr<Effect> trans = makeBuiltin("trans");
    ASSERT_TRUE(trans);
    EXPECT_EQ(trans->info().id, "gate");
}

// ---- gate

struct Edges {
    std::vector<std::size_t> rises, falls;  // where the gain passes its half-way point
};

Edges edgesOf(const std::vector<float>& gain, float low) {
    Edges edges;
    const float middle = 0.5f * (1.0f + low);
    for (std::size_t i = 1; i < gain.size(); ++i) {
        if (gain[i - 1] < middle && gain[i] >= middle) edges.rises.push_back(i);
        if (gain[i - 1] >= middle && gain[i] < middle) edges.falls.push_back(i);
    }
    return edges;
}

TEST(EffectsDynamicsGate, ItsCycleIsTheRateInBeatsAndItsOpenShareTheDuty) {
    struct Case {
        float rate, duty;
        double beatSeconds;
    };
    for (const Case& c : {Case{0.25f, 0.5f, 0.5}, Case{0.125f, 0.25f, 0.4}, Case{1.0f, 0.75f, 0.45},
                          Case{1.0f / 32, 0.5f, 0.5}}) {
        SCOPED_TRACE(testing::Message() << "rate " << c.rate << " duty " << c.duty);
        auto gate = make("gate", {{"rate", c.rate}, {"duty", c.duty}, {"smooth", 0.5f}});
        // A constant input: the output is the gate's gain.
        const std::vector<float> out =
            run(*gate, std::vector<float>(4 * kRate, 1.0f), c.beatSeconds);
        const Edges edges = edgesOf(out, 0.0f);
        const double period = c.rate * c.beatSeconds * kRate;
        ASSERT_GE(edges.rises.size(), 3u);
        for (std::size_t i = 1; i < edges.rises.size(); ++i)
            EXPECT_NEAR(double(edges.rises[i] - edges.rises[i - 1]), period, 1.5);
        // The first cycle opens at once, so each fall follows a rise by the open share.
        for (std::size_t i = 0; i + 1 < edges.falls.size() && i < edges.rises.size(); ++i)
            EXPECT_NEAR(double(edges.falls[i + 1] - edges.rises[i]), c.duty * period, 1.5);
        // Each edge is half way through its 0.5 ms ramp 12 frames after it began.
        EXPECT_NEAR(double(edges.falls[0]), c.duty * period + 12, 1.5);
        EXPECT_FLOAT_EQ(*std::min_element(out.begin(), out.end()), 0.0f);
        EXPECT_FLOAT_EQ(*std::max_element(out.begin(), out.end()), 1.0f);
    }
}

TEST(EffectsDynamicsGate, EdgesRampOverTheSmoothTimeAndDepthSetsHowFarItCloses) {
    for (float smoothMs : {0.5f, 3.0f, 20.0f}) {
        SCOPED_TRACE(smoothMs);
        auto gate = make("gate", {{"rate", 0.5f}, {"smooth", smoothMs}});
        const std::vector<float> out = run(*gate, std::vector<float>(2 * kRate, 1.0f));
        const float allowed = 1000.0f / (smoothMs * kRate);
        EXPECT_LE(largestStep(out, 0, out.size()), allowed * 1.0001f);
        // Not slower than that either: a full edge takes the smooth time.
        EXPECT_GE(largestStep(out, 0, out.size()), allowed * 0.999f);
    }
    auto half = make("gate", {{"depth", 0.5f}});
    const std::vector<float> out = run(*half, std::vector<float>(kRate, 0.8f));
    EXPECT_NEAR(*std::min_element(out.begin(), out.end()), 0.4f, 1e-6f);
    EXPECT_NEAR(*std::max_element(out.begin(), out.end()), 0.8f, 1e-6f);

    // A depth moved while the gate is closed glides at the same slope.
    auto moved = make("gate", {{"rate", 2.0f}, {"duty", 0.1f}});
    const int depth = paramIndex(*moved, "depth");
    std::vector<float> in = stereoOf(std::vector<float>(kRate, 1.0f));
    const std::vector<float> gain = channel(
        runStereo(*moved, in, 0.5,
                  [&](std::size_t frame) {
                      if (frame >= std::size_t(kRate / 2) && frame < std::size_t(kRate / 2) + 300)
                          moved->setParam(depth, 0.2f);
                  }),
        0);
    EXPECT_LE(largestStep(gain, 1, gain.size()), 1000.0f / (3.0f * kRate) * 1.0001f);
    EXPECT_NEAR(gain.back(), 0.8f, 1e-6f);
}

// ---- brake

TEST(EffectsDynamicsBrake, PitchFallsToAStopOverItsTimeThenSilence) {
    const double beat = 0.5;
    const std::size_t stop = std::size_t(2 * beat * kRate);  // time 2 beats
    const std::vector<float> in = sine(3 * stop, 1000, 0.5f);
    auto even = make("brake", {{"time", 2.0f}, {"curve", 0.0f}});
    const std::vector<float> out = run(*even, in, beat);

    // An even slowdown: the speed at the middle of a window is 1 - t / stop.
    const std::size_t window = stop / 10;
    double last = 1e9;
    for (std::size_t w = 0; w < 8; ++w) {
        const double rate = crossingRate(out, w * window, (w + 1) * window);
        const double expected = 1000.0 * (1.0 - (w + 0.5) / 10.0);
        EXPECT_NEAR(rate, expected, 0.04 * 1000.0 + 10.0) << "window " << w;
        EXPECT_LT(rate, last) << "window " << w;
        last = rate;
    }
    // Silent after the stop, and no click on the way there.
    for (std::size_t i = stop + 1; i < out.size(); ++i)
        ASSERT_EQ(out[i], 0.0f) << i;
    EXPECT_LE(largestStep(out, 0, out.size()), largestStep(in, 0, in.size()) * 1.02f);

    // Towards an exponential curve the speed drops sooner: lower pitch at the same moment, and
    // still silent after the same time.
    auto heavy = make("brake", {{"time", 2.0f}, {"curve", 1.0f}});
    const std::vector<float> coasting = run(*heavy, in, beat);
    EXPECT_LT(crossingRate(coasting, 2 * window, 3 * window),
              0.8 * crossingRate(out, 2 * window, 3 * window));
    for (std::size_t i = stop + 1; i < coasting.size(); ++i)
        ASSERT_EQ(coasting[i], 0.0f) << i;
}

TEST(EffectsDynamicsBrake, ResetStartsANewBrakeAndTheLongestStopFitsItsHistory) {
    auto brake = make("brake", {{"time", 0.25f}});
    const std::vector<float> in = sine(kRate, 500, 0.5f);
    const std::vector<float> first = run(*brake, in);
    brake->reset();
    const std::vector<float> second = run(*brake, in);
    EXPECT_EQ(first, second);
    EXPECT_GT(peakOf(second, 0, 1000), 0.45f);

    // 16 beats at a slow tempo: a long stop that must neither read past what it kept nor go on
    // past its limit.
    auto longest = make("brake", {{"time", 16.0f}, {"curve", 0.0f}});
    const std::vector<float> slow = run(*longest, sine(24 * std::size_t(kRate), 200, 0.5f), 2.0);
    for (float x : slow)
        ASSERT_TRUE(std::isfinite(x));
    EXPECT_GT(crossingRate(slow, 0, kRate), 150.0);
    EXPECT_EQ(peakOf(slow, 21 * std::size_t(kRate), slow.size()), 0.0f);
}

// ---- spinback

// The first frame where the output leaves the input.
std::size_t firstDifference(const std::vector<float>& a, const std::vector<float>& b) {
    std::size_t i = 0;
    while (i < a.size() && a[i] == b[i])
        ++i;
    return i;
}

// The best normalised correlation of `out[from .. from + length)` with the input read from some
// frame backwards (or forwards) at one of a few speeds near the throw's.
double bestMatch(const std::vector<float>& out, std::size_t from, std::size_t length,
                 const std::vector<float>& in, std::size_t searchFrom, std::size_t searchTo,
                 bool backwards, double speedStep, std::size_t startStep) {
    double best = -1;
    for (double speed = 2.5; speed <= 3.0 + 1e-9; speed += speedStep)
        for (std::size_t start = searchFrom; start < searchTo; start += startStep) {
            double sab = 0, saa = 0, sbb = 0;
            for (std::size_t k = 0; k < length; ++k) {
                const double offset = speed * double(k);
                const double at = backwards ? double(start) - offset : double(start) + offset;
                if (at < 0 || at >= double(in.size() - 1)) break;
                const double a = out[from + k], b = in[std::size_t(std::lrint(at))];
                sab += a * b;
                saa += a * a;
                sbb += b * b;
            }
            if (saa > 0 && sbb > 0) best = std::max(best, sab / std::sqrt(saa * sbb));
        }
    return best;
}

TEST(EffectsDynamicsSpinback, ThrowsTheMusicJustPlayedBackwardsThenFallsSilent) {
    const double beat = 0.5;
    const std::size_t spin = std::size_t(beat * kRate);  // time 1 beat
    const std::vector<float> in = smoothNoise(4 * std::size_t(kRate), 7, 0.5f);
    auto spinback = make("spinback", {{"time", 1.0f}});
    const std::vector<float> out = run(*spinback, in, beat);

    // It plays on unchanged until it holds what the throw goes back over (1.5 spin times), then
    // throws.
    const std::size_t thrown = firstDifference(out, in);
    EXPECT_NEAR(double(thrown), 1.5 * double(spin), 2.0);

    // Just after the throw the output is the input played backwards at about three times speed
    // from where it was thrown, and nothing like it played forwards.
    const std::size_t from = thrown + std::size_t(0.02 * kRate);
    const std::size_t length = std::size_t(0.01 * kRate);
    const double reversed = bestMatch(out, from, length, in, thrown - 4000, thrown, true, 0.01, 1);
    const double forwards =
        bestMatch(out, from, length, in, 0, thrown - length * 3, false, 0.02, 2);
    std::printf("spinback match: reversed %.3f forwards %.3f\n", reversed, forwards);
    EXPECT_GT(reversed, 0.97);
    EXPECT_LT(forwards, 0.9 * reversed);

    // The head comes to rest about where the effect was engaged; then silence.
    const float loud = peakOf(in, 0, in.size());
    EXPECT_LE(peakOf(out, thrown, out.size()), loud * 1.05f);
    for (std::size_t i = thrown + spin + 1; i < out.size(); ++i)
        ASSERT_EQ(out[i], 0.0f) << i;
    // The turn and the slowdown are continuous: no step beyond three times the input's steepest
    // (the throw's speed) and a little for the turn.
    EXPECT_LE(largestStep(out, thrown - 10, out.size()), 3.5f * largestStep(in, 0, in.size()));
}

TEST(EffectsDynamicsSpinback, AThrowLongerThanItsHistoryStartsWhenTheHistoryIsFull) {
    // Eight beats at one second: the throw would go back 12 s, more than is kept.
    const std::vector<float> in = smoothNoise(20 * std::size_t(kRate), 11, 0.5f);
    auto spinback = make("spinback", {{"time", 8.0f}});
    const std::vector<float> out = run(*spinback, in, 1.0);
    const std::size_t thrown = firstDifference(out, in);
    EXPECT_LT(thrown, 8 * std::size_t(kRate));
    EXPECT_GT(thrown, 7 * std::size_t(kRate));
    for (float x : out)
        ASSERT_TRUE(std::isfinite(x));
    for (std::size_t i = thrown + 8 * std::size_t(kRate) + 1; i < out.size(); ++i)
        ASSERT_EQ(out[i], 0.0f) << i;
    // Running back past the start of what it heard fades out rather than clicking off.
    EXPECT_LE(largestStep(out, thrown, out.size()), 3.5f * largestStep(in, 0, in.size()));
}

// ---- compressor

// The output level (peak, dBFS) of a steady 1 kHz sine at `inDb` once settled.
float steadyOut(float inDb, std::initializer_list<std::pair<const char*, float>> values) {
    auto compressor = make("compressor", values);
    const std::vector<float> out =
        run(*compressor, sine(std::size_t(kRate), 1000, std::pow(10.0f, inDb / 20)));
    return dB(peakOf(out, out.size() - std::size_t(kRate / 5), out.size()));
}

TEST(EffectsDynamicsCompressor, TheStaticCurveFollowsThresholdRatioKneeAndMakeup) {
    // 12 dB over at 4:1 comes out 3 dB over.
    EXPECT_NEAR(steadyOut(-6, {{"threshold", -18}, {"ratio", 4}, {"knee", 0}, {"makeup", 0}}),
                -15.0f, 0.5f);
    EXPECT_NEAR(steadyOut(-6, {{"threshold", -18}, {"ratio", 2}, {"knee", 0}, {"makeup", 0}}),
                -12.0f, 0.5f);
    EXPECT_NEAR(steadyOut(-6, {{"threshold", -30}, {"ratio", 20}, {"knee", 0}, {"makeup", 0}}),
                -28.8f, 0.5f);
    EXPECT_NEAR(steadyOut(-6, {{"threshold", -18}, {"ratio", 4}, {"knee", 0}, {"makeup", 6}}),
                -9.0f, 0.5f);
    // Below the threshold (and its knee) nothing but the makeup.
    EXPECT_NEAR(steadyOut(-30, {{"threshold", -18}, {"knee", 12}, {"makeup", 0}}), -30.0f, 0.05f);
    EXPECT_NEAR(steadyOut(-30, {{"threshold", -18}, {"knee", 12}, {"makeup", 6}}), -24.0f, 0.05f);
    // Ratio 1 leaves any level alone.
    EXPECT_NEAR(steadyOut(-3, {{"ratio", 1}, {"makeup", 0}}), -3.0f, 0.05f);

    // The soft knee bends the curve around the threshold: the same as the hard curve outside
    // it, never louder inside, and rising with the input throughout.
    float previous = -1e9f;
    for (float level = -36; level <= -3; level += 1.5f) {
        SCOPED_TRACE(level);
        const float soft = steadyOut(level, {{"threshold", -20}, {"knee", 12}, {"makeup", 0}});
        const float hard = steadyOut(level, {{"threshold", -20}, {"knee", 0}, {"makeup", 0}});
        if (level < -26 || level > -14) {
            EXPECT_NEAR(soft, hard, 0.3f);
        }
        EXPECT_LE(soft, hard + 0.05f);
        EXPECT_GT(soft, previous);
        previous = soft;
    }
}

TEST(EffectsDynamicsCompressor, AttackAndReleaseTakeTheirTimes) {
    // Quiet, then 24 dB louder, then quiet again.
    const std::size_t step = std::size_t(kRate), back = 2 * std::size_t(kRate);
    std::vector<float> in = sine(3 * std::size_t(kRate), 1000, 1.0f);
    for (std::size_t i = 0; i < in.size(); ++i)
        in[i] *= (i >= step && i < back) ? 0.5f : 0.5f / 16;
    auto compressor =
        make("compressor",
             {{"threshold", -18}, {"knee", 0}, {"makeup", 0}, {"attack", 10}, {"release", 200}});
    const std::vector<float> out = run(*compressor, in);
    const std::size_t ms = kRate / 1000;
    // The first peaks pass nearly whole; five attack times on it is at the static level.
    EXPECT_GT(dB(peakOf(out, step, step + 2 * ms)), -8.0f);
    EXPECT_NEAR(dB(peakOf(out, step + 60 * ms, step + 80 * ms)), -15.0f, 0.5f);
    // Back down, the quiet part is still held down a release time later and has recovered after
    // several.
    const float quiet = dB(0.5f / 16);
    EXPECT_LT(dB(peakOf(out, back + 50 * ms, back + 60 * ms)), quiet - 3.0f);
    EXPECT_NEAR(dB(peakOf(out, back + 900 * ms, back + 1000 * ms)), quiet, 0.5f);
    // A makeup change glides: no step beyond the sine's own.
    auto moved = make("compressor", {{"makeup", 0}});
    const int makeup = paramIndex(*moved, "makeup");
    const std::vector<float> quietSine = sine(std::size_t(kRate), 100, 0.05f);
    const std::vector<float> glided = channel(runStereo(*moved, stereoOf(quietSine), 0.5,
                                                        [&](std::size_t frame) {
                                                            if (frame > std::size_t(kRate / 2))
                                                                moved->setParam(makeup, 24.0f);
                                                        }),
                                              0);
    EXPECT_LE(largestStep(glided, 1, glided.size()),
              fromDb(24) * largestStep(quietSine, 1, quietSine.size()) * 1.05f);
}

// ---- limiter

TEST(EffectsDynamicsLimiter, NeverExceedsItsCeilingOnLoudNoise) {
    struct Case {
        float ceilingDb, releaseMs;
        unsigned seed;
    };
    for (const Case& c : {Case{-0.3f, 100, 1234u}, Case{-12, 10, 99u}, Case{0, 1000, 5u}}) {
        std::printf("limiter noise seed %u\n", c.seed);
        SCOPED_TRACE(testing::Message() << "ceiling " << c.ceilingDb << " seed " << c.seed);
        auto limiter =
            make("limiter", {{"ceiling", c.ceilingDb}, {"release", c.releaseMs}, {"gain", 18}});
        // Bursts of every loudness with silences between, so the gain falls and recovers.
        std::mt19937 random(c.seed);
        std::uniform_real_distribution<float> uniform(-1, 1);
        std::uniform_real_distribution<float> loudness(0, 1);
        std::vector<float> in(20 * std::size_t(kRate));
        float level = 1;
        for (std::size_t i = 0; i < in.size(); ++i) {
            if (i % 2400 == 0) level = loudness(random) < 0.2f ? 0 : loudness(random);
            in[i] = level * uniform(random);
        }
        std::vector<float> stereo(2 * in.size());
        for (std::size_t i = 0; i < in.size(); ++i) {
            stereo[2 * i] = in[i];
            stereo[2 * i + 1] = uniform(random);  // the channels differ
        }
        const std::vector<float> out = runStereo(*limiter, stereo, 0.5, [](std::size_t) {});
        const float ceiling = std::pow(10.0f, c.ceilingDb / 20);
        float high = 0;
        double energy = 0;
        for (float x : out) {
            high = std::max(high, std::fabs(x));
            energy += double(x) * x;
        }
        EXPECT_LE(high, ceiling + 1e-6f);
        // And it limits rather than mutes: loud noise stays loud.
        EXPECT_GT(std::sqrt(energy / double(out.size())), 0.25 * ceiling);
    }
}

TEST(EffectsDynamicsLimiter, PassesASignalBelowItsCeilingUnchangedAfterTheLookAhead) {
    auto limiter = make("limiter");
    const std::vector<float> in = sine(std::size_t(kRate), 440, 0.9f);  // below -0.3 dBFS
    const std::vector<float> out = run(*limiter, in);
    // The delay is the look-ahead: find it by where the output starts, then sample for sample.
    std::size_t delay = 0;
    while (delay < out.size() && out[delay] == 0)
        ++delay;
    --delay;  // the sine's first sample is 0
    EXPECT_GT(delay, 0u);
    EXPECT_LE(delay, std::size_t(0.002 * kRate));
    for (std::size_t i = delay; i < out.size(); ++i)
        ASSERT_NEAR(out[i], in[i - delay], 1e-4f) << i;
    // Its gain lifts the same signal into the ceiling, which then holds it.
    auto pushed = make("limiter", {{"gain", 12}});
    const std::vector<float> loud = run(*pushed, in);
    EXPECT_LE(peakOf(loud, 0, loud.size()), std::pow(10.0f, -0.3f / 20) + 1e-6f);
    EXPECT_GT(peakOf(loud, loud.size() / 2, loud.size()), 0.9f);
}

// ---- bitcrusher

TEST(EffectsDynamicsBitcrusher, SixteenBitsAtFullRateIsTransparentAndOneBitIsTwoLevels) {
    std::vector<float> in = sine(std::size_t(kRate), 440, 0.8f);
    for (std::size_t i = 0; i < in.size(); ++i)
        in[i] *= 0.2f + 0.8f * float(i) / float(in.size());  // a rising level
    auto clean = make("bitcrusher", {{"bits", 16}, {"downsample", 1}});
    const std::vector<float> out = run(*clean, in);
    for (std::size_t i = 0; i < out.size(); ++i)
        ASSERT_NEAR(out[i], in[i], 1e-4f) << i;

    auto oneBit = make("bitcrusher", {{"bits", 1}, {"downsample", 1}});
    const std::vector<float> steady = sine(std::size_t(kRate), 440, 0.6f);
    const std::vector<float> two = run(*oneBit, steady);
    float low = 1e9f, high = 0;
    for (std::size_t i = kRate / 10; i < two.size(); ++i) {
        if (steady[i] != 0) {
            ASSERT_EQ(two[i] > 0, steady[i] > 0) << i;
        }
        low = std::min(low, std::fabs(two[i]));
        high = std::max(high, std::fabs(two[i]));
    }
    // One magnitude, either sign (it follows the music's peak, which holds still here).
    EXPECT_GT(low, 0.25f);
    EXPECT_LT(high / low, 1.01f);
}

TEST(EffectsDynamicsBitcrusher, DownsamplingHoldsAndFewerBitsNeverOutgrowTheSignal) {
    auto held = make("bitcrusher", {{"bits", 16}, {"downsample", 4}});
    const std::vector<float> in = smoothNoise(std::size_t(kRate / 10), 3, 0.7f);
    const std::vector<float> out = run(*held, in);
    for (std::size_t i = 0; i < out.size(); ++i)
        ASSERT_NEAR(out[i], in[i - i % 4], 1e-4f) << i;

    // A fractional factor holds for 2 and 3 frames in turn: 2.5 on average.
    auto fractional = make("bitcrusher", {{"bits", 16}, {"downsample", 2.5f}});
    const std::vector<float> f = run(*fractional, in);
    int changes = 0;
    for (std::size_t i = 1; i < f.size(); ++i)
        if (f[i] != f[i - 1]) ++changes;
    EXPECT_NEAR(double(f.size()) / changes, 2.5, 0.05);

    // A quiet signal at few bits, the bits moved while it plays, and then silence: the output is
    // never louder than the input's peak and silence comes out silent.
    auto crusher = make("bitcrusher", {{"bits", 16}, {"downsample", 1}});
    const int bits = paramIndex(*crusher, "bits");
    std::vector<float> quiet = sine(std::size_t(kRate), 220, 0.01f);
    quiet.resize(2 * std::size_t(kRate), 0.0f);
    const std::vector<float> crushed = channel(
        runStereo(
            *crusher, stereoOf(quiet), 0.5,
            [&](std::size_t frame) { crusher->setParam(bits, float(1 + (frame / 4800) % 16)); }),
        0);
    EXPECT_LE(peakOf(crushed, 0, crushed.size()), 0.01f * 1.001f);
    EXPECT_EQ(peakOf(crushed, std::size_t(kRate), crushed.size()), 0.0f);
}

}  // namespace
}  // namespace kelvra::audio::fx
