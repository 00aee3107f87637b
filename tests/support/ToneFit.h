// Measures a rendered tone: the least-squares sine of a known frequency in a stretch of one
// channel, and what is left once it is taken away (distortion, noise, images and aliases).
// Header-only, so the rate converter's benchmark measures the same way its tests do.
#pragma once

#include <cmath>
#include <cstddef>

namespace kelvra::test {

struct ToneFit {
    double amplitude = 0;      // peak amplitude of the fitted sine
    double signalPower = 0;    // mean power of the fitted sine
    double residualPower = 0;  // mean power of everything else
    double totalPower = 0;     // mean power of the stretch as it is

    // Everything that is not the tone, relative to the tone: THD+N, images and aliases.
    double spuriousDb() const { return 10 * std::log10(residualPower / signalPower); }
};

// Fits a sine of `cycles` per frame to `count` frames of `samples`, reading every `stride`th
// value (the channel of interleaved frames) from frame `from` on. Sine and cosine are fitted
// together, so the phase need not be known.
inline ToneFit fitTone(const float* samples, int stride, std::size_t from, std::size_t count,
                       double cycles) {
    auto at = [&](std::size_t i) { return double(samples[i * std::size_t(stride)]); };
    double ys = 0, yc = 0, ss = 0, cc = 0, sc = 0;
    for (std::size_t i = from; i < from + count; ++i) {
        const double s = std::sin(2 * M_PI * cycles * double(i));
        const double c = std::cos(2 * M_PI * cycles * double(i));
        ys += at(i) * s, yc += at(i) * c, ss += s * s, cc += c * c, sc += s * c;
    }
    const double det = ss * cc - sc * sc;
    const double a = (ys * cc - yc * sc) / det, b = (yc * ss - ys * sc) / det;
    ToneFit fit;
    fit.amplitude = std::hypot(a, b);
    for (std::size_t i = from; i < from + count; ++i) {
        const double model = a * std::sin(2 * M_PI * cycles * double(i)) +
                             b * std::cos(2 * M_PI * cycles * double(i));
        fit.signalPower += model * model;
        fit.residualPower += (at(i) - model) * (at(i) - model);
        fit.totalPower += at(i) * at(i);
    }
    fit.signalPower /= double(count);
    fit.residualPower /= double(count);
    fit.totalPower /= double(count);
    return fit;
}

inline double powerDb(double power, double reference) {
    return 10 * std::log10(power / reference);
}

}  // namespace kelvra::test
