#include "audio/analysis/KeyFinder.h"

#include <aubio/aubio.h>

#include <algorithm>
#include <cmath>
#include <numeric>
#include <vector>

namespace kelvra::audio::analysis {
namespace {

constexpr int kWindow = 8192;  // at ~11 kHz: 1.35 Hz a bin, a third of A1's semitone
constexpr int kHop = 4096;
constexpr double kLowest = 55.0;  // A1
constexpr int kSemitones = 60;    // up to A6
constexpr double kTargetRate = 11025;
constexpr int kThirdHarmonic = 19;  // semitones above its note: 3 = 2^(19.02/12)
constexpr int kFifthHarmonic = 28;  // 5 = 2^(27.86/12)
// A full-scale sine's bin: the Hann window sums to half its length, and a real sine puts half
// of that in its bin.
constexpr double kFullScale = kWindow / 4.0;

// How strongly each scale degree belongs to a major and a minor key, tonic first: the ratings
// of the listening experiments everyone starts from, as they were measured.
constexpr double kMajor[12] = {6.35, 2.23, 3.48, 2.33, 4.38, 4.09,
                               2.52, 5.19, 2.39, 3.66, 2.29, 2.88};
constexpr double kMinor[12] = {6.33, 2.68, 3.52, 5.38, 2.60, 3.53,
                               2.54, 4.75, 3.98, 2.69, 3.34, 3.17};

double correlation(const std::array<double, 12>& chroma, const double* profile, int tonic) {
    double meanC = 0, meanP = 0;
    for (int i = 0; i < 12; ++i) {
        meanC += chroma[std::size_t(i)];
        meanP += profile[i];
    }
    meanC /= 12, meanP /= 12;
    double cp = 0, cc = 0, pp = 0;
    for (int i = 0; i < 12; ++i) {
        const double c = chroma[std::size_t((i + tonic) % 12)] - meanC, p = profile[i] - meanP;
        cp += c * p, cc += c * c, pp += p * p;
    }
    return cc > 0 && pp > 0 ? cp / std::sqrt(cc * pp) : 0;
}

}  // namespace

struct KeyFinder::Parts {
    int factor = 1;  // song frames per analysed frame
    double rate = kTargetRate;
    // Two second-order low-pass sections against aliasing before the decimation.
    struct Section {
        double b0, b1, b2, a1, a2, z1 = 0, z2 = 0;
        double run(double x) {
            const double y = b0 * x + z1;
            z1 = b1 * x - a1 * y + z2;
            z2 = b2 * x - a2 * y;
            return y;
        }
    } lowPass[2]{};
    int phase = 0;
    std::vector<float> frame;  // the analysis window's samples, oldest first
    int filled = 0;
    aubio_fft_t* fft = nullptr;
    fvec_t* in = nullptr;
    fvec_t* complex = nullptr;  // the transform, before magnitudes are taken
    cvec_t* out = nullptr;
    std::vector<float> window;
    int bins[kSemitones + 1] = {};  // first bin of each semitone's band, and the end
    ~Parts() {
        if (fft) del_aubio_fft(fft);
        if (in) del_fvec(in);
        if (complex) del_fvec(complex);
        if (out) del_cvec(out);
    }
};

KeyFinder::KeyFinder(int rate) : parts_(std::make_unique<Parts>()) {
    Parts& p = *parts_;
    p.factor = std::max(1, int(std::lround(rate / kTargetRate)));
    p.rate = double(rate) / p.factor;
    // Well below the new Nyquist, well above A6 (1760 Hz).
    const double w = 2 * M_PI * 0.4 * p.rate / rate;
    const double alpha = std::sin(w) / std::sqrt(2.0), cosw = std::cos(w), a0 = 1 + alpha;
    for (auto& s : p.lowPass)
        s = {(1 - cosw) / 2 / a0, (1 - cosw) / a0, (1 - cosw) / 2 / a0, -2 * cosw / a0,
             (1 - alpha) / a0};
    p.frame.assign(kWindow, 0.0f);
    p.fft = new_aubio_fft(kWindow);
    p.in = new_fvec(kWindow);
    p.complex = new_fvec(kWindow);
    p.out = new_cvec(kWindow);
    p.window.resize(kWindow);
    for (int i = 0; i < kWindow; ++i)
        p.window[std::size_t(i)] = float(0.5 - 0.5 * std::cos(2 * M_PI * i / kWindow));
    // Semitone k spans from half a semitone below its pitch to half above.
    const double binHz = p.rate / kWindow;
    for (int k = 0; k <= kSemitones; ++k)
        p.bins[k] = int(std::ceil(kLowest * std::exp2((k - 0.5) / 12) / binHz));
}

KeyFinder::~KeyFinder() = default;

void KeyFinder::push(const float* mono, int count) {
    Parts& p = *parts_;
    for (int i = 0; i < count; ++i) {
        double x = mono[i];
        for (auto& s : p.lowPass)
            x = s.run(x);
        if (++p.phase < p.factor) continue;
        p.phase = 0;
        p.frame[std::size_t(p.filled++)] = float(x);
        if (p.filled == kWindow) {
            spectrum();
            std::copy(p.frame.begin() + kHop, p.frame.end(), p.frame.begin());
            p.filled = kWindow - kHop;
        }
    }
}

void KeyFinder::spectrum() {
    Parts& p = *parts_;
    for (int i = 0; i < kWindow; ++i)
        p.in->data[i] = p.frame[std::size_t(i)] * p.window[std::size_t(i)];
    // Magnitudes only: the phases of the full transform would cost an arctangent a bin, unused.
    aubio_fft_do_complex(p.fft, p.in, p.complex);
    aubio_fft_get_norm(p.complex, p.out);
    // Each semitone's strongest bin, so a note counts once however its energy spreads.
    double strongest[kSemitones] = {};
    for (int k = 0; k < kSemitones; ++k)
        for (int b = p.bins[k]; b < p.bins[k + 1] && b < int(p.out->length); ++b)
            strongest[k] = std::max(strongest[k], double(p.out->norm[b]));
    for (int k = 0; k < kSemitones; ++k) {
        // Every instrument's third harmonic sounds an octave and a fifth above its note, and its
        // fifth harmonic two octaves and a major third above. Left in, they lend each key its
        // dominant's leading tone and each minor tonic a major third, and the finder answers a
        // fifth too high or in the parallel major. Take away what a bright tone (harmonics
        // falling as 1/h) of the notes below would put there.
        double level = strongest[k];
        if (k >= kThirdHarmonic) level -= strongest[k - kThirdHarmonic] / 3;
        if (k >= kFifthHarmonic) level -= strongest[k - kFifthHarmonic] / 5;
        const std::size_t pitchClass = std::size_t((k + 9) % 12);  // A is pitch class 9
        // Against full scale, softly compressed so loud bass notes do not drown the chords above
        // them, yet a note still counts for more than the hum around it.
        chroma_[pitchClass] += std::log1p(100 * std::max(0.0, level) / kFullScale);
        // Whether there is any pitch at all is asked of the raw bins compressed so hard that a
        // semitone counts for having anything in it far more than for how loud: a scale's
        // seven classes still stand out of the other five, while a tuned drum's one loud pitch
        // does not make a key.
        heard_[pitchClass] += std::log1p(100 * strongest[k]);
    }
}

int KeyFinder::finish() {
    // Not asked of the overtone-free profile either: the lowest octave and a half keeps all it
    // has (nothing below it to take from), which makes even noise lean on the classes A to D#.
    return pitchStandsOut(heard_) ? keyOfChroma(chroma_) : kNoKey;
}

bool pitchStandsOut(const std::array<double, 12>& heard) {
    const double total = std::accumulate(heard.begin(), heard.end(), 0.0);
    if (!(total > 0)) return false;
    // Noise and drums spread evenly over the twelve classes (a spread of about 1 % of the mean);
    // music, however dense, leans on its scale by 5 % and more.
    const double mean = total / 12;
    double variance = 0;
    for (double c : heard)
        variance += (c - mean) * (c - mean);
    return std::sqrt(variance / 12) >= 0.03 * mean;
}

int keyOfChroma(const std::array<double, 12>& chroma) {
    const double total = std::accumulate(chroma.begin(), chroma.end(), 0.0);
    if (!(total > 0)) return kNoKey;
    int best = kNoKey;
    double bestScore = 0.2;  // below this no key stands out: noise, drums alone, silence
    for (int tonic = 0; tonic < 12; ++tonic) {
        const double major = correlation(chroma, kMajor, tonic);
        const double minor = correlation(chroma, kMinor, tonic);
        if (major > bestScore) bestScore = major, best = tonic;
        if (minor > bestScore) bestScore = minor, best = 12 + tonic;
    }
    return best;
}

}  // namespace kelvra::audio::analysis
