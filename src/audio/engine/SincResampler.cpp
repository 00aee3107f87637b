#include "audio/engine/SincResampler.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>

namespace kelvra::audio::engine {
namespace {

// 48 taps with a Kaiser window of beta 7.3 (about 75 dB down in the stop band) and the cutoff
// at 0.9 of the input's Nyquist frequency: flat to about 17.6 kHz at 44.1 kHz, silent above
// Nyquist, so slowing a song down leaves no images.
constexpr int kHalf = 24;
constexpr int kTaps = 2 * kHalf;
constexpr double kCutoff = 0.90;
constexpr double kBeta = 7.3;
// Phases of the polyphase table; between two phases the coefficients are blended, which keeps
// the timing error far below the stop band.
constexpr int kPhases = 256;
// Up to this step the unwidened kernel serves: what it lets fold back lies above 20 kHz of the
// source and is already 6 to 75 dB down in the kernel's transition band. A deck's pitch range and
// bends stay inside it; faster than that (a 96 kHz file, a far pitch) the kernel widens.
constexpr double kNarrowStep = 1.10;
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
    // phase[p][j]: the weight of input frame floor(t) - kHalf + 1 + j when t has fraction
    // p/kPhases.
    std::array<std::array<float, kTaps>, kPhases + 1> phase;
    // The kernel's one side sampled every 1/kPhases frame, for the widened kernel.
    std::array<float, kHalf * kPhases + 2> side;

    Tables() {
        for (int p = 0; p <= kPhases; ++p)
            for (int j = 0; j < kTaps; ++j)
                phase[p][j] = float(kernel(j - kHalf + 1 - double(p) / kPhases));
        for (std::size_t i = 0; i < side.size(); ++i)
            side[i] = float(kernel(double(i) / kPhases));
    }
};

const Tables& tables() {
    static const Tables instance;
    return instance;
}

}  // namespace

SincResampler::SincResampler(int channels, int inputCapacity)
    : channels_(channels),
      capacity_(inputCapacity + 2 * kHistory + lookAhead(kMaxStep)),
      filled_(0) {
    buffer_.assign(std::size_t(capacity_) * channels_, 0.0f);  // one run of frames per channel
    tables();
    reset();
}

int SincResampler::lookAhead(double step) {
    return step <= kNarrowStep ? kHalf : int(std::ceil(kHalf * std::min(step, kMaxStep))) + 1;
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

// Eight running sums, so the compiler can keep them in one vector register.
constexpr int kLanes = 8;
static_assert(kTaps % kLanes == 0);

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

}  // namespace

template <int Channels>
SincResampler::Result SincResampler::run(float* out, int frames, double step) {
    const Tables& t = tables();
    const double first = lastStep_ < 0 ? step : lastStep_;
    Result result;
    double now = first;
    // Coefficients of one output frame, padded to whole lanes for the widened kernel.
    float c[2 * kHistory + kLanes];
    for (int i = 0; i < frames; ++i) {
        now = first + (step - first) * (i + 0.5) / frames;
        const int base = whole_;
        if (realEnd_ >= 0 && base >= realEnd_) break;
        const int reach = lookAhead(now);
        if (base + reach >= filled_) break;
        int from = 0;
        int taps = 0;
        if (now <= kNarrowStep) {
            const double position = fraction_ * kPhases;
            const int p = std::min(int(position), kPhases - 1);
            const float blend = float(position - p);
            const float* a = t.phase[std::size_t(p)].data();
            const float* b = t.phase[std::size_t(p) + 1].data();
            for (int j = 0; j < kTaps; ++j)
                c[j] = a[j] + (b[j] - a[j]) * blend;
            from = base - kHalf + 1;
            taps = kTaps;
        } else {
            // Widened by the step, scaled down by it: the cutoff lands on the output's Nyquist.
            const double scale = 1.0 / now;
            const int half = reach - 1;
            from = base - half + 1;
            taps = (2 * half + kLanes - 1) / kLanes * kLanes;
            // Table positions step evenly from one tap to the next; the kernel is symmetric.
            const float start = float((from - base - fraction_) * scale * kPhases);
            const float stride = float(scale * kPhases);
            constexpr float kEnd = float(kHalf * kPhases);
            for (int j = 0; j < taps; ++j) {
                const float at = std::abs(start + float(j) * stride);
                const int k = std::min(int(at), kHalf * kPhases);
                const float f = at >= kEnd ? 0.0f : at - float(k);
                const float* side = t.side.data() + k;
                c[j] = float(scale) * (side[0] + (side[1] - side[0]) * f);
            }
        }
        for (int ch = 0; ch < Channels; ++ch)
            out[std::size_t(i) * Channels + ch] = dot(c, channel(ch) + from, taps);
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
