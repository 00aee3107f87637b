// The deck's EQ and filter measured on tones and noise: untouched it gives back its input exactly,
// the bands sum flat across both crossovers, kills and boosts land where the knobs say, the filter
// closes from both sides, and no knob move clicks.
#include "audio/engine/DeckFx.h"

#include <gtest/gtest.h>

#include <cmath>
#include <numbers>
#include <random>
#include <vector>

namespace kelvra::audio::engine {
namespace {

constexpr int kRate = 44100;

std::vector<float> tone(double hz, int frames, float amplitude = 0.5f) {
    std::vector<float> stereo(2 * std::size_t(frames));
    for (int i = 0; i < frames; ++i)
        stereo[2 * std::size_t(i)] = stereo[2 * std::size_t(i) + 1] =
            amplitude * float(std::sin(2 * std::numbers::pi * hz * i / kRate));
    return stereo;
}

// Runs `frames` of a tone through settled settings and gives its level change in dB, measured on
// the left channel over the last half.
double gainDb(double hz, const DeckFxSettings& settings) {
    DeckFx fx;
    fx.prepare(kRate);
    const int frames = kRate;  // a second: the glides and the lowest band settle well inside it
    std::vector<float> signal = tone(hz, frames);
    const std::vector<float> dry = signal;
    for (int at = 0; at < frames; at += 256)
        fx.process(signal.data() + 2 * at, std::min(256, frames - at), settings);
    double wet = 0, in = 0;
    for (int i = frames / 2; i < frames; ++i) {
        wet += double(signal[2 * std::size_t(i)]) * signal[2 * std::size_t(i)];
        in += double(dry[2 * std::size_t(i)]) * dry[2 * std::size_t(i)];
    }
    return 10 * std::log10(wet / in);
}

TEST(DeckFx, UntouchedItIsExactAndTheBandsSumFlatAcrossBothCrossovers) {
    DeckFx fx;
    fx.prepare(kRate);
    std::mt19937 random(7);
    std::uniform_real_distribution<float> noise(-1, 1);
    std::vector<float> signal(4096);
    for (float& sample : signal)
        sample = noise(random);
    const std::vector<float> dry = signal;
    fx.process(signal.data(), 2048, {});
    EXPECT_EQ(signal, dry) << "the resting unit changed its input";

    // A band a hair off unity engages the crossovers: the sum must stay flat, with no bump or dip
    // at 250 Hz or 2.5 kHz (a crossover of the wrong kind, or a low band without the upper
    // crossover's all-pass, shows up there by a decibel or more).
    for (double hz : {40.0, 180.0, 250.0, 350.0, 1000.0, 2000.0, 2500.0, 3200.0, 12000.0})
        EXPECT_NEAR(gainDb(hz, {1, 0.9999f, 1, 0}), 0.0, 0.02) << hz << " Hz";
}

TEST(DeckFx, KillsCutTheirBandAndLeaveTheOthersAndBoostsAddSixDecibels) {
    EXPECT_LT(gainDb(50, {0, 1, 1, 0}), -40) << "low kill";
    EXPECT_NEAR(gainDb(6000, {0, 1, 1, 0}), 0, 0.1) << "low kill touched the highs";
    EXPECT_LT(gainDb(900, {1, 0, 1, 0}), -20) << "mid kill";
    EXPECT_NEAR(gainDb(40, {1, 0, 1, 0}), 0, 0.3) << "mid kill touched the lows";
    EXPECT_LT(gainDb(10000, {1, 1, 0, 0}), -40) << "high kill";
    EXPECT_NEAR(gainDb(60, {1, 1, 0, 0}), 0, 0.1) << "high kill touched the lows";
    EXPECT_NEAR(gainDb(50, {2, 1, 1, 0}), 6.02, 0.15) << "low boost";
    EXPECT_NEAR(gainDb(10000, {1, 1, 2, 0}), 6.02, 0.15) << "high boost";
    EXPECT_LT(gainDb(1000, {0, 0, 0, 0}), -20) << "all three killed";
}

TEST(DeckFx, TheFilterClosesFromBothSidesAndItsCutoffFollowsTheKnob) {
    EXPECT_NEAR(filterCutoff(-1, false), 60, 0.01);
    EXPECT_NEAR(filterCutoff(0, false), 20000, 0.01);
    EXPECT_NEAR(filterCutoff(1, true), 10000, 0.01);
    EXPECT_NEAR(filterCutoff(0, true), 20, 0.01);
    EXPECT_LT(gainDb(1000, {1, 1, 1, -1}), -40) << "closed low-pass lets the mids through";
    EXPECT_GT(gainDb(30, {1, 1, 1, -1}), -3) << "closed low-pass lost the bass";
    EXPECT_LT(gainDb(1000, {1, 1, 1, 1}), -40) << "closed high-pass lets the mids through";
    EXPECT_GT(gainDb(16000, {1, 1, 1, 1}), -3) << "closed high-pass lost the air";
    // Half way: around 1.1 kHz on the low-pass side, 450 Hz on the high-pass side.
    EXPECT_LT(gainDb(4400, {1, 1, 1, -0.5f}), -18);
    EXPECT_GT(gainDb(280, {1, 1, 1, -0.5f}), -1.5);
    EXPECT_LT(gainDb(110, {1, 1, 1, 0.5f}), -18);
    EXPECT_GT(gainDb(1800, {1, 1, 1, 0.5f}), -1.5);
}

// The largest second difference of the left channel: a low tone's own is tiny (its amplitude
// times (2 pi f / rate) squared), while a click, a step or a corner stands out by orders of
// magnitude whatever the level.
float largestBend(const std::vector<float>& stereo) {
    float bend = 0;
    for (std::size_t i = 4; i < stereo.size(); i += 2)
        bend = std::max(bend, std::fabs(stereo[i] - 2 * stereo[i - 2] + stereo[i - 4]));
    return bend;
}

TEST(DeckFx, AbruptKnobMovesGlideWithoutClicksAndTheFilterStaysStableWhileItSweeps) {
    DeckFx fx;
    fx.prepare(kRate);
    const int frames = 4 * kRate;
    std::vector<float> signal = tone(150, frames, 0.8f);
    const float own = largestBend(signal);
    // Every 100 ms a jump to a far setting: kills on and off, boosts, the filter across the
    // centre and back to rest, which fades the unit back into its bypass.
    const DeckFxSettings moves[] = {{0, 1, 1, 0},     {2, 2, 2, 0},    {1, 1, 1, 0},
                                    {1, 1, 1, -0.9f}, {1, 1, 1, 0.9f}, {0, 0, 0, 0.3f},
                                    {1, 1, 1, 0},     {2, 0, 1, -0.2f}};
    int move = 0;
    for (int at = 0; at < frames; at += 256) {
        if (at % 4410 < 256) ++move;
        fx.process(signal.data() + 2 * at, std::min(256, frames - at), moves[move % 8]);
    }
    // The loudest setting doubles the tone and the filter's peak rings a little as it sweeps
    // past it, so the tone's own bend may grow some times over; a step of even 1 % of full
    // scale is a bend of 0.01, some thirty times the tone's own.
    EXPECT_LT(largestBend(signal), 8 * own) << "a knob move clicked";

    // Noise through a filter swept end to end every 50 ms stays bounded.
    std::mt19937 random(11);
    std::uniform_real_distribution<float> noise(-1, 1);
    std::vector<float> loud(2 * 256);
    float peak = 0;
    for (int block = 0; block < 2000; ++block) {
        for (float& sample : loud)
            sample = noise(random);
        const float sweep = float(std::sin(block * 0.3));
        fx.process(loud.data(), 256, {2, 2, 2, sweep});
        for (float sample : loud)
            peak = std::max(peak, std::fabs(sample));
    }
    EXPECT_TRUE(std::isfinite(peak));
    EXPECT_LT(peak, 16.0f) << "the swept filter ran away";
}

}  // namespace
}  // namespace kelvra::audio::engine
