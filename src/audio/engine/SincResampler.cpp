#include "audio/engine/SincResampler.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <cstring>

namespace kelvra::audio::engine {
namespace {

// 64 taps under a Kaiser window of beta 9 with the cutoff at 0.91 of the input's Nyquist
// frequency: within 0.001 dB to 18 kHz at 44.1 kHz, and 90 dB down from the Nyquist frequency on,
// so slowing a song down leaves no images. Faster than the output rate the same kernel is
// stretched by the step, which lowers the cutoff with the output's Nyquist: even a step just above
// one folds nothing back.
constexpr int kHalf = 32;
constexpr int kTaps = 2 * kHalf;
constexpr double kCutoff = 0.91;
constexpr double kBeta = 9.0;
// Phases of the polyphase table; between two phases the coefficients are blended. The blending's
// own images lie about (f / kPhases)^2 down, over 110 dB for anything in the audio band.
constexpr int kPhases = 256;
constexpr int kHistory = int(kHalf * SincResampler::kMaxStep) + 1;

double besselI0(double x) {
    double sum = 1, term = 1;
    for (int k = 1; k < 40; ++k) {
        term *= (x / (2 * k)) * (x / (2 * k));
        sum += term;
    }
    return sum;
}

// The continuous kernel at distance x (input frames) from the output's time.
double kernel(double x) {
    const double r = x / kHalf;
    if (std::abs(r) >= 1) return 0;
    const double window = besselI0(kBeta * std::sqrt(1 - r * r)) / besselI0(kBeta);
    const double u = kCutoff * x;
    const double sinc = u == 0 ? 1 : std::sin(M_PI * u) / (M_PI * u);
    return kCutoff * sinc * window;
}

struct Tables {
    // phase[p * kTaps + j]: the weight of input frame floor(t) - kHalf + 1 + j when t has
    // fraction p/kPhases.
    std::array<float, (kPhases + 1) * kTaps> phase;
    // The whole kernel sampled every 1/kPhases frame, for the widened kernel: entry i is at
    // distance i / kPhases - kHalf. Both ends are zero.
    std::array<float, 2 * kHalf * kPhases + 1> whole;

    Tables() {
        for (int p = 0; p <= kPhases; ++p)
            for (int j = 0; j < kTaps; ++j)
                phase[std::size_t(p * kTaps + j)] =
                    float(kernel(j - kHalf + 1 - double(p) / kPhases));
        for (std::size_t i = 0; i < whole.size(); ++i)
            whole[i] = float(kernel(double(i) / kPhases - kHalf));
    }
};

const Tables& tables() {
    static const Tables instance;
    return instance;
}

// Eight running sums, so the compiler can keep them in one vector register.
constexpr int kLanes = 8;
static_assert(kTaps % kLanes == 0);

// Up to this step a steady rate plays from a polyphase table of the stretched kernel, made when
// the step changes; it covers a deck's pitch range with bends and a 96 kHz file into 44.1 kHz.
// Beyond it, and while the step glides, each output frame reckons its own coefficients.
constexpr double kTableStep = 2.25;

int tapsFor(int half) {
    return (2 * half + kLanes - 1) / kLanes * kLanes;
}

// Fills taps [0, n) with the kernel stretched by 1 / scale at table positions `start` +
// j * `stride` (in 1 / kPhases frames of the unstretched kernel from its centre), scaled down by
// `scale`. Positions step in 32.32 fixed point: exact enough that their rounding stays far below
// the stop band, and cheap, since this runs for every tap of every frame while the step glides.
void stretchedTaps(const Tables& t, double start, double stride, float scale, int n, float* c) {
    constexpr double kOne = 4294967296.0;
    constexpr double kLast = 2.0 * kHalf * kPhases - 1;  // the last table step before the end
    const double first = start + kHalf * kPhases;        // entry of tap 0 in t.whole
    // Only taps that land inside the table weigh anything; the kernel is zero at its ends, and
    // the first and last table steps (a few millionths of the peak) are taken as zero too, which
    // keeps every entry read inside the table whatever the rounding.
    int lo = std::clamp(int(std::ceil((1 - first) / stride)), 0, n);
    while (lo < n && first + lo * stride < 1)
        ++lo;
    int hi = std::clamp(int(std::ceil((kLast - first) / stride)), lo, n);
    while (hi > lo && first + (hi - 1) * stride >= kLast)
        --hi;
    std::fill(c, c + lo, 0.0f);
    std::fill(c + hi, c + n, 0.0f);
    std::int64_t position = std::int64_t((first + lo * stride) * kOne);
    const std::int64_t advance = std::int64_t(stride * kOne);
    const float* w = t.whole.data();
    for (int j = lo; j < hi; ++j, position += advance) {
        const auto k = std::size_t(position >> 32);
        const float f = float(std::uint32_t(position)) * float(1 / kOne);
        c[j] = scale * (w[k] + (w[k + 1] - w[k]) * f);
    }
}

}  // namespace

SincResampler::SincResampler(int channels, int inputCapacity)
    : channels_(channels),
      capacity_(inputCapacity + 2 * kHistory + lookAhead(kMaxStep)),
      filled_(0) {
    buffer_.assign(std::size_t(capacity_) * channels_, 0.0f);  // one run of frames per channel
    stretched_.assign(std::size_t(kPhases + 1) * tapsFor(lookAhead(kTableStep) - 1), 0.0f);
    tables();
    reset();
}

int SincResampler::lookAhead(double step) {
    return step <= 1 ? kHalf : int(std::ceil(kHalf * std::min(step, kMaxStep))) + 1;
}

void SincResampler::reset() {
    // Silence before the first frame, as much as the widest kernel reaches back.
    for (int ch = 0; ch < channels_; ++ch)
        std::fill_n(channel(ch), kHistory, 0.0f);
    filled_ = kHistory;
    realEnd_ = -1;
    whole_ = kHistory;
    fraction_ = 0;
    lastStep_ = -1;
}

void SincResampler::compact() {
    const int keepFrom = std::max(0, whole_ - kHistory);
    if (keepFrom == 0) return;
    for (int ch = 0; ch < channels_; ++ch)
        std::memmove(channel(ch), channel(ch) + keepFrom,
                     sizeof(float) * std::size_t(filled_ - keepFrom));
    filled_ -= keepFrom;
    if (realEnd_ >= 0) realEnd_ -= keepFrom;
    whole_ -= keepFrom;
}

SincResampler::Result SincResampler::process(const float* input, int available, bool endOfInput,
                                             float* out, int frames, double step) {
    step = std::clamp(step, 1.0 / 256, kMaxStep);
    Result result;
    if (realEnd_ < 0) {
        // Only what this call's output reaches: input left with the caller can still be played
        // straight when the stream comes back to its own rate.
        const double widest = std::max(step, lastStep_);
        const int reach =
            whole_ + int(std::ceil(fraction_ + frames * widest)) + lookAhead(widest) + 1;
        const int room = capacity_ - filled_ - lookAhead(kMaxStep);
        const int take = std::clamp(std::min(available, reach - filled_), 0, std::max(0, room));
        for (int ch = 0; ch < channels_; ++ch) {
            float* to = channel(ch) + filled_;
            for (int i = 0; i < take; ++i)
                to[i] = input[std::size_t(i) * channels_ + ch];
        }
        filled_ += take;
        result.inputUsed = take;
        if (endOfInput && take == available) {
            // After the last frame the signal is silent, for as far as the kernel looks ahead.
            realEnd_ = filled_;
            const int pad = lookAhead(kMaxStep);
            for (int ch = 0; ch < channels_; ++ch)
                std::fill_n(channel(ch) + filled_, pad, 0.0f);
            filled_ += pad;
        }
    }
    const Result made = channels_ == 1 ? run<1>(out, frames, step) : run<2>(out, frames, step);
    result.outputMade = made.outputMade;
    result.sourceAdvance = made.sourceAdvance;
    compact();
    return result;
}

namespace {

inline float dot(const float* c, const float* x, int n) {
    float acc[kLanes] = {};
    for (int j = 0; j < n; j += kLanes)
        for (int k = 0; k < kLanes; ++k)
            acc[k] += c[j + k] * x[j + k];
    float sum = 0;
    for (float a : acc)
        sum += a;
    return sum;
}

// The coefficients `blend` of the way from table row `a` to row `b`, applied to every channel's
// frames in the same pass. The sums are exactly those of blending the row first and taking each
// channel's dot() after, lane for lane; the row just never goes through memory, and the blend is
// done in whole lanes, which the compiler vectorises as it does the sums.
template <int Channels>
inline void blendedDots(const float* a, const float* b, float blend,
                        const std::array<const float*, Channels>& x, int n, float* out) {
    static_assert(Channels == 1 || Channels == 2);
    // One run of sums per channel, each its own array so that all of them stay in registers.
    float first[kLanes] = {}, second[kLanes] = {};
    for (int j = 0; j < n; j += kLanes) {
        float c[kLanes];
        for (int k = 0; k < kLanes; ++k)
            c[k] = a[j + k] + (b[j + k] - a[j + k]) * blend;
        for (int k = 0; k < kLanes; ++k)
            first[k] += c[k] * x[0][j + k];
        if constexpr (Channels == 2)
            for (int k = 0; k < kLanes; ++k)
                second[k] += c[k] * x[1][j + k];
    }
    const auto total = [](const float* lanes) {
        float sum = 0;
        for (int k = 0; k < kLanes; ++k)
            sum += lanes[k];
        return sum;
    };
    out[0] = total(first);
    if constexpr (Channels == 2) out[1] = total(second);
}

}  // namespace

void SincResampler::stretch(double step) {
    const double scale = 1.0 / step;
    const int half = lookAhead(step) - 1;
    stretchedTaps_ = tapsFor(half);
    stretchedStep_ = step;
    for (int p = 0; p <= kPhases; ++p) {
        const double start = (1 - half - double(p) / kPhases) * scale * kPhases;
        stretchedTaps(tables(), start, scale * kPhases, float(scale), stretchedTaps_,
                      stretched_.data() + std::size_t(p) * stretchedTaps_);
    }
}

template <int Channels>
SincResampler::Result SincResampler::run(float* out, int frames, double step) {
    const Tables& t = tables();
    const double first = lastStep_ < 0 ? step : lastStep_;
    // A steady step above one plays from its own table, made once for the step.
    const bool steady = first == step && step > 1 && step <= kTableStep;
    if (steady && stretchedStep_ != step) stretch(step);
    Result result;
    double now = first;
    // Coefficients of one output frame, padded to whole lanes for the widened kernel.
    alignas(32) float c[2 * kHistory + kLanes];
    for (int i = 0; i < frames; ++i) {
        now = first + (step - first) * (i + 0.5) / frames;
        const int base = whole_;
        if (realEnd_ >= 0 && base >= realEnd_) break;
        const int reach = lookAhead(now);
        if (base + reach >= filled_) break;
        // Stretched by the step and scaled down by it, the kernel's cutoff lands on the output's
        // Nyquist. At a step just above one that is the unstretched kernel with a zero tap added
        // on each side, so a glide through one changes nothing audible.
        const int half = now <= 1 ? kHalf : reach - 1;
        const int from = base - half + 1;
        float* frame = out + std::size_t(i) * Channels;
        if (now <= 1 || steady) {
            const float* table = now <= 1 ? t.phase.data() : stretched_.data();
            const int taps = now <= 1 ? kTaps : stretchedTaps_;
            const double position = fraction_ * kPhases;
            const int p = std::min(int(position), kPhases - 1);
            const float blend = float(position - p);
            const float* a = table + std::size_t(p) * taps;
            std::array<const float*, Channels> x;
            for (int ch = 0; ch < Channels; ++ch)
                x[std::size_t(ch)] = channel(ch) + from;
            blendedDots<Channels>(a, a + taps, blend, x, taps, frame);
        } else {
            const double scale = 1.0 / now;
            const int taps = tapsFor(half);
            stretchedTaps(t, (from - base - fraction_) * scale * kPhases, scale * kPhases,
                          float(scale), taps, c);
            for (int ch = 0; ch < Channels; ++ch)
                frame[ch] = dot(c, channel(ch) + from, taps);
        }
        // The whole frames and the fraction are kept apart, so the rounding of the fraction does
        // not depend on where the buffer happens to start.
        fraction_ += now;
        const double carry = std::floor(fraction_);
        whole_ += int(carry);
        fraction_ -= carry;
        result.sourceAdvance += now;
        ++result.outputMade;
    }
    // A glide cut short by missing input goes on from where it got to.
    lastStep_ = result.outputMade == frames ? step : now;
    return result;
}

}  // namespace kelvra::audio::engine
