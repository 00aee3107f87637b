// A deck's tone controls on the audio thread: a three-band EQ and a one-knob filter. The bands
// are split by fourth-order Linkwitz-Riley crossovers near 250 Hz and 2.5 kHz, the low band
// passed through the upper crossover's all-pass, so the three bands at unity sum to an all-pass
// of the input: flat in level, no dip or bump at either crossover. The filter is a low-pass and a
// high-pass in series, each two state-variable sections (stable while their cutoff moves); left of
// centre the low-pass sweeps down, right of centre the high-pass sweeps up, and the other one
// rests fully open, so crossing the centre is seamless. Every setting glides over ~10 ms. At rest
// (unity bands, filter off) the unit is bypassed and gives back its input sample for sample,
// cross-fading into and out of the processed path. Threads: prepare() and process() on the
// mixer's consumer only; never allocates.
#pragma once

namespace kelvra::audio::engine {

// What the controlling thread asks for: band gains as linear factors (0 = kill) and the filter
// from -1 (low-pass fully closed) through 0 (off) to 1 (high-pass fully closed).
struct DeckFxSettings {
    float low = 1, mid = 1, high = 1;
    float filter = 0;
    bool atRest() const { return low == 1 && mid == 1 && high == 1 && filter == 0; }
};

// The cutoff the filter knob gives: 20 kHz down to 60 Hz on the low-pass side, 20 Hz up to 10 kHz
// on the high-pass side, evenly in octaves. 0 reads as the low-pass side fully open.
double filterCutoff(float filter, bool highPass);

// The coefficients of one state-variable filter section.
struct SvfSection {
    double a1 = 0, a2 = 0, a3 = 0, k = 0;
};

class DeckFx {
  public:
    static constexpr double kLowCrossover = 250;
    static constexpr double kHighCrossover = 2500;

    void prepare(int rate);
    // Processes `frames` interleaved stereo frames in place.
    void process(float* stereo, int frames, const DeckFxSettings& settings);

  private:
    struct Biquad {
        double b0 = 1, b1 = 0, b2 = 0, a1 = 0, a2 = 0;
        double run(double x, double state[2]) const {
            const double y = b0 * x + state[0];
            state[0] = b1 * x - a1 * y + state[1];
            state[1] = b2 * x - a2 * y;
            return y;
        }
    };
    // One channel's state of every section.
    struct Channel {
        struct Eq {
            double lowLp[2][2] = {}, lowHp[2][2] = {}, highLp[2][2] = {}, highHp[2][2] = {};
            double allPass[2] = {};
        } eq;
        double svf[4][2] = {};  // low-pass sections 0, 1; high-pass sections 2, 3
    };
    // Glided values; the wet shares blend each stage in and out of its bypass.
    struct Glide {
        double low = 1, mid = 1, high = 1;
        double lowPassOctaves = 0, highPassOctaves = 0;  // below 20 kHz, above 20 Hz
        double eqWet = 0, lowPassWet = 0, highPassWet = 0;
    };

    double processSample(double x, Channel& channel);
    void resetState();

    int rate_ = 44100;
    double glide_ = 0.002;  // one-pole coefficient for a ~10 ms glide
    Biquad lowLp_, lowHp_, highLp_, highHp_, allPass_;
    Channel channels_[2];
    Glide ahead_, now_;  // the glide's first stage, and the values in use
    SvfSection sections_[4];
    double cutoffOctaves_[2] = {};
    bool cutoffsValid_ = false;
};

}  // namespace kelvra::audio::engine
