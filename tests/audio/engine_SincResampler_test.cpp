// The rate converter on generated tones: the right frequency at every step, little distortion,
// nothing folded back from above the output's Nyquist, exact source time through a glide, and the
// same output however the input and output are cut into calls.
#include "audio/engine/SincResampler.h"

#include <gtest/gtest.h>

#include <cmath>
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

// Signal-to-residual ratio of channel 0 against the best-fitting sine of `cycles` per frame.
double cleanness(const std::vector<float>& y, double cycles, std::size_t from, std::size_t n) {
    double s = 0, c = 0, ss = 0, cc = 0, sc = 0;
    for (std::size_t i = from; i < from + n; ++i) {
        const double a = std::sin(2 * M_PI * cycles * double(i)),
                     b = std::cos(2 * M_PI * cycles * double(i));
        s += y[2 * i] * a, c += y[2 * i] * b, ss += a * a, cc += b * b, sc += a * b;
    }
    const double det = ss * cc - sc * sc, A = (s * cc - c * sc) / det, B = (c * ss - s * sc) / det;
    double signal = 0, residual = 0;
    for (std::size_t i = from; i < from + n; ++i) {
        const double m = A * std::sin(2 * M_PI * cycles * double(i)) +
                         B * std::cos(2 * M_PI * cycles * double(i));
        signal += m * m;
        residual += (y[2 * i] - m) * (y[2 * i] - m);
    }
    return 10 * std::log10(signal / residual);
}

double rms(const std::vector<float>& y, std::size_t from, std::size_t n) {
    double sum = 0;
    for (std::size_t i = from; i < from + n; ++i)
        sum += double(y[2 * i]) * y[2 * i];
    return std::sqrt(sum / double(n));
}

TEST(SincResampler, TonesComeOutAtTheirNewFrequencyCleanly) {
    for (double step : {0.25, 0.5, 0.9, 44762.0 / 44100, 1.1, 1.2, 96000.0 / 44100}) {
        for (double hertz : {1000.0, 5000.0}) {
            const std::vector<float> in = tone(hertz, int(kRate * 3));
            const std::vector<float> out = convert(in, step, 220);
            // Every input frame is played: the output is as long as the input at this step.
            EXPECT_NEAR(double(out.size() / 2), in.size() / 2 / step, 2) << step;
            EXPECT_GT(cleanness(out, hertz * step / kRate, 4096, 44100), 80.0)
                << "step " << step << " at " << hertz << " Hz";
        }
    }
}

TEST(SincResampler, NothingFoldsBackFromAboveTheOutputNyquist) {
    // 15 kHz played 2.18 times faster would land at 32.7 kHz, above the output's 22 kHz.
    const std::vector<float> out = convert(tone(15000, int(kRate)), 96000.0 / 44100, 256);
    EXPECT_LT(rms(out, 2000, 10000), 0.5 / std::sqrt(2.0) * 1e-3);  // 60 dB down
    // Slowed to half speed, 20 kHz sits at 10 kHz and its image at 34 kHz must not return.
    const std::vector<float> slow = convert(tone(20000, int(kRate)), 0.5, 256);
    EXPECT_GT(cleanness(slow, 10000.0 / kRate, 4096, 44100), 70.0);
}

TEST(SincResampler, AGlideMovesAcrossExactlyTheSourceItPlays) {
    SincResampler resampler(2, 8192);
    const std::vector<float> in = tone(1000, 20000);
    std::vector<float> out(2 * 4096);
    auto r = resampler.process(in.data(), 20000, false, out.data(), 1000, 1.0);
    EXPECT_EQ(r.outputMade, 1000);
    EXPECT_DOUBLE_EQ(r.sourceAdvance, 1000.0);
    const int used = r.inputUsed;
    // From 1.0 to 1.04 across 2000 frames: on average 1.02 a frame.
    r = resampler.process(in.data() + 2 * used, 20000 - used, false, out.data(), 2000, 1.04);
    EXPECT_EQ(r.outputMade, 2000);
    EXPECT_NEAR(r.sourceAdvance, 2000 * 1.02, 1e-6);
    // A glide stays smooth: no step between samples beyond what a 1040 Hz sine takes.
    double largest = 0;
    for (int i = 1; i < 2000; ++i)
        largest = std::max(largest, double(std::abs(out[2 * i] - out[2 * i - 2])));
    EXPECT_LT(largest, 0.5 * 2 * M_PI * 1040 / kRate * 1.01);
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
