// The waveform summary: a mono mix split into lows, mids and highs by two crossovers, and the
// peak and RMS of each band per ~10 ms block. Second-order filters: the bands are for the eye.
#pragma once

#include "audio/analysis/SongAnalysis.h"

namespace kelvra::audio::analysis {

class WaveformBuilder {
  public:
    explicit WaveformBuilder(int rate);
    void push(const float* mono, int count);
    WaveformSummary finish();

  private:
    struct Biquad {
        float b0 = 0, b1 = 0, b2 = 0, a1 = 0, a2 = 0;
        float z1 = 0, z2 = 0;
        float process(float x) {
            const float y = b0 * x + z1;
            z1 = b1 * x - a1 * y + z2;
            z2 = b2 * x - a2 * y;
            return y;
        }
    };
    enum class Pass { Low, High };
    static Biquad butterworth(double frequency, int rate, Pass pass);
    void closeBlock();

    WaveformSummary summary_;
    // Lows: low-pass at the low crossover; mids: high-pass there, then low-pass at the high
    // crossover; highs: high-pass at the high crossover.
    Biquad lows_, midsHigh_, midsLow_, highs_;
    std::array<float, kBandCount> peak_{};
    std::array<double, kBandCount> energy_{};
    int fill_ = 0;
};

}  // namespace kelvra::audio::analysis
