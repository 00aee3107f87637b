// The waveform summary: a mono mix split into lows, mids and highs by two crossovers, and the
// peak and RMS of each band per ~10 ms block.
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
    static Biquad lowPass(double frequency, int rate);
    void closeBlock();

    WaveformSummary summary_;
    Biquad lowCrossover_, highCrossover_;
    std::array<float, kBandCount> peak_{};
    std::array<double, kBandCount> energy_{};
    int fill_ = 0;
};

}  // namespace kelvra::audio::analysis
