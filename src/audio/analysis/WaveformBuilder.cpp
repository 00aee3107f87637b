#include "audio/analysis/WaveformBuilder.h"

#include <algorithm>
#include <cmath>
#include <numbers>

#include "core/Rounding.h"

namespace kelvra::audio::analysis {
namespace {

// Kick and bass below 200 Hz, voices and most instruments up to 2 kHz, hats and air above.
constexpr double kLowCrossoverHz = 200;
constexpr double kHighCrossoverHz = 2000;

std::uint8_t level(double value) {
    return static_cast<std::uint8_t>(roundEven(std::clamp(value, 0.0, 1.0) * 255));
}

}  // namespace

WaveformBuilder::WaveformBuilder(int rate)
    : lows_(butterworth(kLowCrossoverHz, rate, Pass::Low)),
      midsHigh_(butterworth(kLowCrossoverHz, rate, Pass::High)),
      midsLow_(butterworth(kHighCrossoverHz, rate, Pass::Low)),
      highs_(butterworth(kHighCrossoverHz, rate, Pass::High)) {
    summary_.rate = rate;
    // 10 ms at the song's own rate; 441 frames at 44.1 kHz.
    summary_.blockFrames = std::max(1, int(roundEven(rate / 100.0)));
}

// Second-order Butterworth low- or high-pass (bilinear transform, Q = 1/sqrt 2).
WaveformBuilder::Biquad WaveformBuilder::butterworth(double frequency, int rate, Pass pass) {
    const double w = 2 * std::numbers::pi * std::min(frequency, 0.45 * rate) / rate;
    const double alpha = std::sin(w) / std::sqrt(2.0);
    const double cosw = std::cos(w);
    const double a0 = 1 + alpha;
    Biquad q;
    const bool highPass = pass == Pass::High;
    const double edge = highPass ? 1 + cosw : 1 - cosw;
    q.b0 = float(edge / 2 / a0);
    q.b1 = float((highPass ? -edge : edge) / a0);
    q.b2 = q.b0;
    q.a1 = float(-2 * cosw / a0);
    q.a2 = float((1 - alpha) / a0);
    return q;
}

void WaveformBuilder::push(const float* mono, int count) {
    for (int i = 0; i < count; ++i) {
        const float x = mono[i];
        const float bands[kBandCount] = {lows_.process(x), midsLow_.process(midsHigh_.process(x)),
                                         highs_.process(x)};
        for (int b = 0; b < kBandCount; ++b) {
            peak_[b] = std::max(peak_[b], std::abs(bands[b]));
            energy_[b] += double(bands[b]) * bands[b];
        }
        if (++fill_ == summary_.blockFrames) closeBlock();
    }
}

void WaveformBuilder::closeBlock() {
    WaveformBlock block;
    for (int b = 0; b < kBandCount; ++b) {
        block.peak[b] = level(peak_[b]);
        block.rms[b] = level(std::sqrt(energy_[b] / fill_));
    }
    summary_.blocks.push_back(block);
    peak_ = {};
    energy_ = {};
    fill_ = 0;
}

WaveformSummary WaveformBuilder::finish() {
    if (fill_ > 0) closeBlock();
    return std::move(summary_);
}

}  // namespace kelvra::audio::analysis
