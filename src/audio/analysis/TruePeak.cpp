#include "audio/analysis/TruePeak.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <numbers>

#include "audio/SampleScale.h"

namespace kelvra::audio::analysis {
namespace {

// 12 taps per phase: samples n-5 .. n+6 give the values at n + 1/4, 2/4, 3/4 (a Hann-windowed
// sinc, like the 48-tap interpolator the standard suggests).
constexpr int kTaps = 12;
constexpr int kBefore = 5;
constexpr int kHistory = kTaps;

struct Coefficients {
    std::array<std::array<float, kTaps>, 3> phase{};
    Coefficients() {
        for (int p = 0; p < 3; ++p) {
            for (int j = 0; j < kTaps; ++j) {
                const double d = (p + 1) / 4.0 - (j - kBefore);
                const double sinc = std::sin(std::numbers::pi * d) / (std::numbers::pi * d);
                const double window = 0.5 * (1 + std::cos(std::numbers::pi * d / 6.5));
                phase[std::size_t(p)][std::size_t(j)] = float(sinc * window);
            }
        }
    }
};

const Coefficients& coefficients() {
    static const Coefficients c;
    return c;
}

// Between two samples that are both below half the peak so far, the band-limited signal does
// not rise above that peak except for content next to half the sampling rate.
constexpr float kCandidateShare = 0.5f;

constexpr std::size_t kBlock = 64;  // positions filtered together
constexpr std::size_t kLanes = 8;   // running maxima kept side by side

}  // namespace

TruePeak::TruePeak(int channels)
    : channels_(channels), lines_(std::size_t(channels), std::vector<float>(kHistory, 0.0f)) {}

void TruePeak::push(const std::int16_t* interleaved, std::int64_t frames) {
    const Coefficients& c = coefficients();
    for (int ch = 0; ch < channels_; ++ch) {
        std::vector<float>& line = lines_[std::size_t(ch)];
        line.resize(kHistory + std::size_t(frames));
        float peak = float(peak_);
        for (std::int64_t i = 0; i < frames; ++i) {
            const float x = fromPcm16(interleaved[i * channels_ + ch]);
            line[kHistory + std::size_t(i)] = x;
            peak = std::max(peak, std::abs(x));
        }
        // Interpolate between n and n + 1 wherever either is a candidate; n - 5 .. n + 6 exist.
        // Whole blocks holding a candidate are filtered tap by tap, in fixed-length loops the
        // compiler turns into vector code (their other positions are true values too, so taking
        // them in is harmless); the last positions one at a time.
        const std::size_t last = line.size() - (kTaps - kBefore);
        const float threshold = kCandidateShare * peak;
        std::array<float, kLanes> lanes{};
        std::size_t n = kBefore;
        for (; n + kBlock <= last; n += kBlock) {
            bool any = false;
            for (std::size_t k = n; k <= n + kBlock && !any; ++k)
                any = std::abs(line[k]) >= threshold;
            if (!any) continue;
            for (const auto& taps : c.phase) {
                std::array<float, kBlock> sums{};
                for (int j = 0; j < kTaps; ++j) {
                    const float tap = taps[std::size_t(j)];
                    const float* x = &line[n - kBefore + std::size_t(j)];
                    for (std::size_t k = 0; k < kBlock; ++k)
                        sums[k] += tap * x[k];
                }
                for (std::size_t k = 0; k < kBlock; k += kLanes)
                    for (std::size_t l = 0; l < kLanes; ++l)
                        lanes[l] = std::max(lanes[l], std::abs(sums[k + l]));
            }
        }
        for (const float lane : lanes)
            peak = std::max(peak, lane);
        for (; n < last; ++n) {
            if (std::abs(line[n]) < threshold && std::abs(line[n + 1]) < threshold) continue;
            const float* x = &line[n - kBefore];
            for (const auto& taps : c.phase) {
                float y = 0;
                for (int j = 0; j < kTaps; ++j)
                    y += taps[std::size_t(j)] * x[j];
                peak = std::max(peak, std::abs(y));
            }
        }
        peak_ = std::max(peak_, double(peak));
        std::copy(line.end() - kHistory, line.end(), line.begin());
        line.resize(kHistory);
    }
}

}  // namespace kelvra::audio::analysis
