// The rate converter on generated tones: every input frame played, images, aliases and distortion
// far below the tone at every step a deck plays, a flat passband, exact source time through a
// glide, and the same output however the input and output are cut into calls.
#include "audio/engine/SincResampler.h"
#include "support/ToneFit.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <ostream>
#include <vector>

namespace kelvra::audio::engine {
namespace {

constexpr double kRate = 44100;

std::vector<float> tone(double hertz, int frames, int channels = 2) {
    std::vector<float> x(std::size_t(frames) * channels);
    for (int i = 0; i < frames; ++i)
        for (int ch = 0; ch < channels; ++ch)
            x[std::size_t(i) * channels + ch] = float(0.5 * std::sin(2 * M_PI * hertz * i / kRate));
    return x;
}

// Runs all of `input` through at a constant step, `chunk` output frames a call.
std::vector<float> convert(const std::vector<float>& input, double step, int chunk,
                           int inputChunk = 4096, int channels = 2) {
    SincResampler resampler(channels, 8192);
    const int frames = int(input.size()) / channels;
    std::vector<float> out;
    std::vector<float> block(std::size_t(chunk) * channels);
    int used = 0;
    for (int guard = 0; guard < 1000000; ++guard) {
        const int available = std::min(inputChunk, frames - used);
        const auto r = resampler.process(input.data() + std::size_t(used) * channels, available,
                                         used + available == frames, block.data(), chunk, step);
        used += r.inputUsed;
        out.insert(out.end(), block.begin(),
                   block.begin() + std::ptrdiff_t(r.outputMade) * channels);
        if (r.outputMade == 0 && r.inputUsed == 0) break;
    }
    return out;
}

// Output frames until the kernel no longer reaches back to the tone's sudden start.
std::size_t settled(double step) {
    return 4096 + std::size_t(2 * SincResampler::lookAhead(step) / step);
}

// What a converted tone is made of, over a second of channel 0 once the kernel has settled.
test::ToneFit measure(const std::vector<float>& y, double step, double outputHertz) {
    return test::fitTone(y.data(), 2, settled(step), 44100, outputHertz / kRate);
}

TEST(SincResampler, EveryInputFrameIsPlayedAtEveryStep) {
    for (double step : {0.25, 0.5, 0.9, 44762.0 / 44100, 1.1, 1.2, 96000.0 / 44100}) {
        const std::vector<float> in = tone(1000, int(kRate * 3));
        const std::vector<float> out = convert(in, step, 220);
        EXPECT_NEAR(double(out.size() / 2), in.size() / 2 / step, 2) << step;
    }
}

// One measurement of a tone at one step, and the bound it must meet.
enum class Check {
    Spurious,  // images, aliases, distortion and noise beside the tone, in dB below it
    Alias,     // a tone above the new Nyquist: all that comes out, in dB below the input
    Passband,  // the tone's gain, within 0.01 dB of unity
};

struct ToneCase {
    Check check;
    double hertz;
    double step;
};

std::ostream& operator<<(std::ostream& os, const ToneCase& c) {
    static const char* const names[] = {"spurious", "alias", "passband"};
    return os << names[int(c.check)] << " of " << c.hertz << " Hz at step " << c.step;
}

class SincResamplerTone : public ::testing::TestWithParam<ToneCase> {};

// The deck plays at steps from a turntable stop's crawl (the engine's slowest, 1/256) through the
// 22 kHz base (0.5) and the pitch range with bends (0.76 to 1.24), up to hi-res files; each must
// keep everything that is not the tone 80 dB down and leave the band to 18 kHz untouched.
TEST_P(SincResamplerTone, MeetsItsBound) {
    const ToneCase c = GetParam();
    // Enough input for the settling frames and a second of output.
    const int frames = int((4096 + 44100 + 2048) * std::max(c.step, 0.02)) + 2048;
    const std::vector<float> in = tone(c.hertz, frames);
    const std::vector<float> out = convert(in, c.step, 220);
    ASSERT_GT(out.size() / 2, settled(c.step) + 44100 + 1024) << c;
    const test::ToneFit fit = measure(out, c.step, c.hertz * c.step);
    constexpr double kInputPower = 0.5 * 0.5 / 2;
    switch (c.check) {
        case Check::Spurious:
            EXPECT_LT(fit.spuriousDb(), -80.0) << c;
            break;
        case Check::Alias:
            EXPECT_LT(test::powerDb(fit.totalPower, kInputPower), -80.0) << c;
            break;
        case Check::Passband:
            EXPECT_NEAR(20 * std::log10(fit.amplitude / 0.5), 0.0, 0.01) << c;
            EXPECT_LT(fit.spuriousDb(), -80.0) << c;
            break;
    }
}

INSTANTIATE_TEST_SUITE_P(
    Steps, SincResamplerTone,
    ::testing::Values(
        // Sped up past the output's Nyquist: 21 kHz lands at 22.7, 25.2, 26.0, 45.7 and 84 kHz
        // (the last a 176.4 kHz file, beyond the steps that get their own table).
        ToneCase{Check::Alias, 21000, 1.08}, ToneCase{Check::Alias, 21000, 1.2},
        ToneCase{Check::Alias, 21000, 1.24}, ToneCase{Check::Alias, 21000, 96000.0 / 44100},
        ToneCase{Check::Alias, 21000, 4.0},
        // A bright tone slowed down or barely moved: its images above the input's Nyquist stay
        // out, and the phase steps between table entries leave none of their own.
        ToneCase{Check::Spurious, 15000, 1.0 / 256}, ToneCase{Check::Spurious, 15000, 0.25},
        ToneCase{Check::Spurious, 15000, 0.5}, ToneCase{Check::Spurious, 15000, 0.9},
        ToneCase{Check::Spurious, 15000, 1.0}, ToneCase{Check::Spurious, 15000, 1.015},
        ToneCase{Check::Spurious, 20000, 0.5}, ToneCase{Check::Spurious, 20000, 0.98},
        // A low tone: distortion and noise of the arithmetic, with and without widening.
        ToneCase{Check::Spurious, 1000, 0.5}, ToneCase{Check::Spurious, 1000, 0.9},
        ToneCase{Check::Spurious, 1000, 1.0}, ToneCase{Check::Spurious, 1000, 1.08},
        ToneCase{Check::Spurious, 1000, 1.2}, ToneCase{Check::Spurious, 1000, 96000.0 / 44100},
        // 18 kHz of output is kept whole, whichever way the kernel is scaled.
        ToneCase{Check::Passband, 18000, 1.0}, ToneCase{Check::Passband, 18000, 0.9},
        ToneCase{Check::Passband, 18000, 0.5}, ToneCase{Check::Passband, 18000 / 1.08, 1.08},
        ToneCase{Check::Passband, 18000 / 1.2, 1.2}, ToneCase{Check::Passband, 18000 / 4.0, 4.0}));

TEST(SincResampler, AGlideMovesAcrossExactlyTheSourceItPlaysAndStaysSmooth) {
    SincResampler resampler(2, 8192);
    const std::vector<float> in = tone(1000, 20000);
    std::vector<float> out(2 * 4000);
    int used = 0;
    auto play = [&](int frames, double step, int at) {
        const auto r = resampler.process(in.data() + 2 * used, 20000 - used, false,
                                         out.data() + 2 * at, frames, step);
        used += r.inputUsed;
        EXPECT_EQ(r.outputMade, frames) << step;
        return r.sourceAdvance;
    };
    EXPECT_NEAR(play(1000, 0.97, 0), 970.0, 1e-9);
    // From 0.97 to 1.04 across 2000 frames, through one where the kernel starts to widen: on
    // average 1.005 a frame.
    EXPECT_NEAR(play(2000, 1.04, 1000), 2000 * 1.005, 1e-6);
    // Held at 1.04, the output comes from the table made for that step.
    EXPECT_NEAR(play(1000, 1.04, 3000), 1040.0, 1e-9);
    // No corner anywhere, neither in the glide nor where one way of reckoning the coefficients
    // hands over to the next: no second difference beyond what a 1040 Hz sine has.
    const double w = 2 * M_PI * 1040 / kRate;
    double largest = 0;
    for (int i = 1; i + 1 < 4000; ++i)
        largest =
            std::max(largest, double(std::abs(out[2 * i + 2] - 2 * out[2 * i] + out[2 * i - 2])));
    EXPECT_LT(largest, 0.5 * w * w * 1.02);
}

TEST(SincResampler, AliasesStayOutWhileTheStepGlides) {
    // A bend pushing 21 kHz past the output's Nyquist and back, a new step at every call, so
    // every frame is made by a glide.
    const std::vector<float> in = tone(21000, 60000);
    SincResampler resampler(2, 8192);
    std::vector<float> out(2 * 220);
    double power = 0;
    long counted = 0;
    int used = 0;
    for (int call = 0; used < 50000; ++call) {
        const double step = 1.08 + 0.16 * std::abs(std::sin(call * 0.05));
        const auto r = resampler.process(in.data() + 2 * used, 4096, false, out.data(), 220, step);
        used += r.inputUsed;
        if (call < 20) continue;  // the kernel still reaches back to the tone's start
        for (int i = 0; i < r.outputMade; ++i)
            power += double(out[2 * i]) * out[2 * i];
        counted += r.outputMade;
    }
    ASSERT_GT(counted, 30000);
    EXPECT_LT(test::powerDb(power / double(counted), 0.5 * 0.5 / 2), -80.0);
}

TEST(SincResampler, OutputDoesNotDependOnHowCallsAreCut) {
    const std::vector<float> in = tone(3000, 30000);
    for (double step : {0.7, 1.0, 1.3}) {
        const std::vector<float> whole = convert(in, step, 256, 4096);
        const std::vector<float> ragged = convert(in, step, 37, 101);
        ASSERT_EQ(whole.size(), ragged.size()) << step;
        EXPECT_EQ(whole, ragged) << step;
    }
    // Mono takes the same path.
    const std::vector<float> mono = convert(tone(3000, 30000, 1), 1.015, 100, 4096, 1);
    EXPECT_NEAR(double(mono.size()), 30000 / 1.015, 2);
}

}  // namespace
}  // namespace kelvra::audio::engine
