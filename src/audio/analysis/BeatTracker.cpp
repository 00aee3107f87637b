#include "audio/analysis/BeatTracker.h"

#include <aubio/aubio.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <numbers>

namespace kelvra::audio::analysis {
namespace {

// The tempo is read at about 11 kHz: an MP3's missing top octaves and the ripple of its encoder
// lie above what is looked at, so both encodings of a song give the same envelope. 1024-frame
// spectra every 128 frames: a value every 11.6 ms.
constexpr int kSpectrumRate = 11025;
constexpr int kSpectrumSize = 1024;
constexpr int kSpectrumHop = 128;
// How far soft partials are lifted against loud ones before their rise is summed: enough that a
// hi-hat counts beside a kick, not so much that noise does.
constexpr double kCompression = 1000;
// 64 frames is 1.45 ms at 44.1 kHz: fine enough for a first beat within a few milliseconds.
constexpr int kFineFrames = 64;
// The tempi a beat may have. Between them a beat is the pulse whose harmonics, summed, are
// strongest: the bar's pulse lacks the odd harmonics, an eighth-note pulse lacks the beat itself.
constexpr double kSlowestBpm = 60;
constexpr double kFastestBpm = 200;
constexpr int kHarmonics = 4;
// Local tempo: 16 s windows (eight bars of a slow beat), one every 4 s.
constexpr double kWindowSeconds = 16;
constexpr double kWindowStep = 4;
// The tempo spectrum on a logarithmic scale, 0.5 % a step, far enough up for every harmonic.
constexpr double kGridLowest = 30;
constexpr double kGridStep = 0.005;
constexpr double kGridHighest = kFastestBpm * kHarmonics * 1.1;
// A window's tempo holds when it is within this share of its stretch's.
constexpr double kHold = 0.025;
// A window with less than this share of a typical window's onsets (a break, a fade) says nothing
// about the tempo.
constexpr double kQuietWindow = 0.25;
// Below this onset strength in a typical window nothing in the song starts: a sustained tone's
// analysis ripple, or an encoder's, lines up into a tempo of its own, three to ten times weaker
// than this; the quietest-onset music of the tempo bench is six times stronger.
constexpr double kLeastOnsets = 0.25;
// The beat is steady when this share of the windows that say something agree on it.
constexpr double kSteadyShare = 0.7;
// A stretch counts as one of the song's tempi when it spans this many windows (32 s).
constexpr int kStretchWindows = 5;
// Steps between beats carry hats alone when their attacks, as amplitudes above the background,
// are under this share of the beats' (synthesised hats come out near 0.12, the weaker beats of
// real drums from 0.17 up).
constexpr double kBetweenBeatsShare = 0.15;
// An attack counts towards the grid fit when it has a fifth of a typical beat's strength.
constexpr double kAttackShare = 0.2;

double median(std::vector<double> values) {
    if (values.empty()) return 0;
    std::nth_element(values.begin(), values.begin() + values.size() / 2, values.end());
    return values[values.size() / 2];
}

bool holds(double bpm, double centre) {
    return std::abs(std::log(bpm / centre)) < kHold;
}

}  // namespace

struct BeatTracker::Spectrum {
    aubio_fft_t* fft = nullptr;
    fvec_t* frame = nullptr;
    fvec_t* complex = nullptr;  // the transform, before magnitudes are taken
    cvec_t* bins = nullptr;
    std::vector<float> window;    // Hann
    std::vector<float> recent;    // the last kSpectrumSize samples, a ring from `at`
    std::vector<float> previous;  // compressed magnitudes of the last spectrum
    int at = 0;
    int filled = 0;
    int sinceHop = 0;
    int factor = 1;  // song frames per spectrum frame
    int summed = 0;
    float sum = 0;
    bool started = false;
    ~Spectrum() {
        if (fft) del_aubio_fft(fft);
        if (frame) del_fvec(frame);
        if (complex) del_fvec(complex);
        if (bins) del_cvec(bins);
    }
};

BeatTracker::BeatTracker(int rate) : rate_(rate), spectrum_(std::make_unique<Spectrum>()) {
    Spectrum& s = *spectrum_;
    s.factor = std::max(1, rate / kSpectrumRate);
    fluxRate_ = double(rate) / s.factor / kSpectrumHop;
    s.fft = new_aubio_fft(kSpectrumSize);
    s.frame = new_fvec(kSpectrumSize);
    s.complex = new_fvec(kSpectrumSize);
    s.bins = new_cvec(kSpectrumSize);
    s.window.resize(kSpectrumSize);
    for (int i = 0; i < kSpectrumSize; ++i)
        s.window[std::size_t(i)] =
            float(0.5 - 0.5 * std::cos(2 * std::numbers::pi * i / kSpectrumSize));
    s.recent.assign(kSpectrumSize, 0.0f);
    s.previous.assign(kSpectrumSize / 2 + 1, 0.0f);
}

BeatTracker::~BeatTracker() = default;

void BeatTracker::push(const float* mono, int count) {
    Spectrum& s = *spectrum_;
    for (int i = 0; i < count; ++i) {
        const float x = mono[i];
        blockEnergy_ += double(x) * x;
        if (++blockFill_ == kFineFrames) {
            onset_.push_back(float(std::max(0.0, blockEnergy_ - previousEnergy_)));
            previousEnergy_ = blockEnergy_;
            blockEnergy_ = 0;
            blockFill_ = 0;
        }
        if (!s.fft) continue;
        s.sum += x;
        if (++s.summed < s.factor) continue;
        s.recent[std::size_t(s.at)] = s.sum / float(s.factor);
        s.at = (s.at + 1) % kSpectrumSize;
        s.filled = std::min(s.filled + 1, kSpectrumSize);
        s.sum = 0;
        s.summed = 0;
        if (++s.sinceHop == kSpectrumHop) {
            s.sinceHop = 0;
            if (s.filled == kSpectrumSize) spectrumFrame();
        }
    }
}

void BeatTracker::spectrumFrame() {
    Spectrum& s = *spectrum_;
    for (int i = 0; i < kSpectrumSize; ++i)
        s.frame->data[i] =
            s.recent[std::size_t((s.at + i) % kSpectrumSize)] * s.window[std::size_t(i)];
    // Only the magnitudes are used: the phases the full transform would also work out (an
    // arctangent a bin) cost more than the magnitudes themselves.
    aubio_fft_do_complex(s.fft, s.frame, s.complex);
    aubio_fft_get_norm(s.complex, s.bins);
    // A full-scale sine comes out at a quarter of the size through the Hann window.
    constexpr double kScale = 4.0 / kSpectrumSize;
    double rise = 0;
    for (std::size_t k = 0; k < s.previous.size(); ++k) {
        const auto level = float(std::log1p(kCompression * kScale * s.bins->norm[k]));
        rise += std::max(0.0f, level - s.previous[k]);
        s.previous[k] = level;
    }
    flux_.push_back(s.started ? float(rise) : 0.0f);
    s.started = true;
}

// The strongest attack within `window` seconds of `seconds`; its time goes to `where`.
double BeatTracker::envelopeAt(double seconds, double window, double* where) const {
    const double blocksPerSecond = double(rate_) / kFineFrames;
    const auto first =
        std::max<std::int64_t>(0, std::int64_t((seconds - window) * blocksPerSecond));
    const auto last = std::min<std::int64_t>(std::int64_t(onset_.size()) - 1,
                                             std::int64_t((seconds + window) * blocksPerSecond));
    double best = 0;
    std::int64_t at = -1;
    for (std::int64_t i = first; i <= last; ++i) {
        if (onset_[std::size_t(i)] > best) {
            best = onset_[std::size_t(i)];
            at = i;
        }
    }
    // The rise is seen in the block after the one where the attack begins.
    if (where) *where = at <= 0 ? seconds : double(at - 1) / blocksPerSecond;
    return best;
}

// Fits the grid to the attacks near each of its beats by least squares: beat time against index.
BeatTracker::Fit BeatTracker::refit(Fit fit) const {
    for (int pass = 0; pass < 3; ++pass) {
        std::vector<double> times, strengths;
        std::vector<double> indexes;
        const auto firstIndex = std::int64_t(std::ceil((fitFrom_ - fit.origin) / fit.period));
        for (std::int64_t k = firstIndex;; ++k) {
            const double predicted = fit.origin + double(k) * fit.period;
            if (predicted >= fitTo_) break;
            double at = 0;
            const double strength = envelopeAt(predicted, fit.period / 8, &at);
            if (strength <= 0) continue;
            times.push_back(at);
            strengths.push_back(strength);
            indexes.push_back(double(k));
        }
        const double threshold = kAttackShare * median(strengths);
        double n = 0, sk = 0, st = 0, skk = 0, skt = 0;
        for (std::size_t i = 0; i < times.size(); ++i) {
            if (strengths[i] < threshold) continue;
            // Residuals beyond 20 ms after the first pass are other instruments, not the beat.
            if (pass > 0 && std::abs(times[i] - (fit.origin + indexes[i] * fit.period)) > 0.02)
                continue;
            n += 1;
            sk += indexes[i];
            st += times[i];
            skk += indexes[i] * indexes[i];
            skt += indexes[i] * times[i];
        }
        const double denominator = n * skk - sk * sk;
        if (n < 4 || denominator <= 0) return {};
        fit.period = (n * skt - sk * st) / denominator;
        fit.origin = (st - fit.period * sk) / n;
        fit.points = int(n);
        if (fit.period <= 0) return {};
    }
    return fit;
}

double BeatTracker::firstBeat(const Fit& fit) const {
    std::vector<double> strengths;
    const auto firstIndex = std::int64_t(std::ceil((fitFrom_ - 0.02 - fit.origin) / fit.period));
    for (std::int64_t k = firstIndex; fit.origin + double(k) * fit.period < fitTo_; ++k)
        strengths.push_back(envelopeAt(fit.origin + double(k) * fit.period, 0.008));
    const double threshold = 0.25 * median(strengths);
    for (std::size_t i = 0; i < strengths.size(); ++i) {
        if (strengths[i] >= threshold && strengths[i] > 0)
            return std::max(0.0, fit.origin + double(firstIndex + std::int64_t(i)) * fit.period);
    }
    return std::max(0.0, fit.origin + double(firstIndex) * fit.period);
}

// The period within `spread` (a share) of `period` at which the attacks, folded onto one beat,
// pile up most sharply; the pile's phase gives the grid's origin. The tempo spectrum is only good
// to a fraction of a percent, far too coarse for a grid over a whole song.
BeatTracker::Fit BeatTracker::combSearch(double period, double spread, int steps) const {
    constexpr int kBins = 64;
    const double secondsPerBlock = double(kFineFrames) / rate_;
    const auto from = std::size_t(std::max(0.0, fitFrom_ / secondsPerBlock));
    const auto to = std::min(onset_.size(), std::size_t(std::max(0.0, fitTo_ / secondsPerBlock)));
    double loudest = 0;
    for (std::size_t i = from; i < to; ++i)
        loudest = std::max(loudest, double(onset_[i]));
    std::vector<std::pair<double, float>> attacks;
    for (std::size_t i = from; i < to; ++i) {
        if (onset_[i] > 0.01 * loudest) attacks.push_back({double(i) * secondsPerBlock, onset_[i]});
    }
    Fit best;
    double bestScore = -1;
    for (int s = -steps; s <= steps; ++s) {
        const double candidate = period * (1 + spread * s / steps);
        double histogram[kBins] = {};
        for (const auto& [t, o] : attacks) {
            const double phase = t / candidate;
            histogram[int((phase - std::floor(phase)) * kBins) % kBins] += o;
        }
        for (int b = 0; b < kBins; ++b) {
            const double score =
                histogram[(b + kBins - 1) % kBins] + histogram[b] + histogram[(b + 1) % kBins];
            if (score > bestScore) {
                bestScore = score;
                best = {(b + 0.5) / kBins * candidate, candidate, 1};
            }
        }
    }
    return best;
}

BeatGrid BeatTracker::finish() {
    const auto frames = std::int64_t(flux_.size());
    if (frames < std::int64_t(4 * fluxRate_)) return {};

    // Onsets stand out against their surroundings: a quarter second either way.
    std::vector<double> novelty(std::size_t(frames), 0.0);
    {
        std::vector<double> running(std::size_t(frames) + 1, 0.0);
        for (std::int64_t n = 0; n < frames; ++n)
            running[std::size_t(n + 1)] = running[std::size_t(n)] + flux_[std::size_t(n)];
        const auto half = std::int64_t(0.25 * fluxRate_);
        for (std::int64_t n = 0; n < frames; ++n) {
            const std::int64_t a = std::max<std::int64_t>(0, n - half);
            const std::int64_t b = std::min(frames, n + half + 1);
            const double mean = (running[std::size_t(b)] - running[std::size_t(a)]) / double(b - a);
            novelty[std::size_t(n)] = std::max(0.0, flux_[std::size_t(n)] - mean);
        }
    }

    // The tempo spectrum of each window: the novelty's Fourier magnitude at each grid tempo.
    const auto length = std::min<std::int64_t>(frames, std::lrint(kWindowSeconds * fluxRate_));
    const auto step = std::max<std::int64_t>(1, std::lrint(kWindowStep * fluxRate_));
    std::vector<std::int64_t> starts;
    for (std::int64_t start = 0; start + length <= frames; start += step)
        starts.push_back(start);
    const int gridSize = int(std::log(kGridHighest / kGridLowest) / kGridStep) + 1;
    std::vector<double> hann(static_cast<std::size_t>(length));
    for (std::int64_t n = 0; n < length; ++n)
        hann[std::size_t(n)] =
            0.5 - 0.5 * std::cos(2 * std::numbers::pi * double(n) / double(length - 1));
    // Four grid tempos are summed side by side: each one's rotation is a chain of multiplies that
    // waits on itself, and four chains keep the processor busy where one leaves it waiting. The
    // grid is padded to whole fours with tempos that are never read.
    constexpr int kSideBySide = 4;
    const int paddedGrid = (gridSize + kSideBySide - 1) / kSideBySide * kSideBySide;
    std::vector<double> cosines(static_cast<std::size_t>(paddedGrid), 1.0),
        sines(cosines.size(), 0.0);
    for (int j = 0; j < gridSize; ++j) {
        const double radians =
            2 * std::numbers::pi * kGridLowest * std::exp(j * kGridStep) / 60 / fluxRate_;
        cosines[std::size_t(j)] = std::cos(radians);
        sines[std::size_t(j)] = std::sin(radians);
    }
    std::vector<std::vector<double>> spectra;
    std::vector<double> strengths;
    std::vector<double> x(hann.size());
    for (const std::int64_t start : starts) {
        double mean = 0, weight = 0;
        for (std::int64_t n = 0; n < length; ++n) {
            mean += hann[std::size_t(n)] * novelty[std::size_t(start + n)];
            weight += hann[std::size_t(n)];
        }
        mean /= weight;
        for (std::int64_t n = 0; n < length; ++n)
            x[std::size_t(n)] = hann[std::size_t(n)] * (novelty[std::size_t(start + n)] - mean);
        std::vector<double> magnitudes(static_cast<std::size_t>(gridSize));
        for (int j = 0; j < paddedGrid; j += kSideBySide) {
            // The rotation by one step, applied by multiplying: no sine per sample.
            double c[kSideBySide], s[kSideBySide], re[kSideBySide], im[kSideBySide],
                sumRe[kSideBySide], sumIm[kSideBySide];
            for (int k = 0; k < kSideBySide; ++k) {
                c[k] = cosines[std::size_t(j + k)];
                s[k] = sines[std::size_t(j + k)];
                re[k] = 1;
                im[k] = sumRe[k] = sumIm[k] = 0;
            }
            for (std::int64_t n = 0; n < length; ++n) {
                const double v = x[std::size_t(n)];
                for (int k = 0; k < kSideBySide; ++k) {
                    sumRe[k] += v * re[k];
                    sumIm[k] += v * im[k];
                    const double nextRe = re[k] * c[k] - im[k] * s[k];
                    im[k] = re[k] * s[k] + im[k] * c[k];
                    re[k] = nextRe;
                }
            }
            for (int k = 0; k < kSideBySide && j + k < gridSize; ++k)
                magnitudes[std::size_t(j + k)] = std::hypot(sumRe[k], sumIm[k]);
        }
        spectra.push_back(std::move(magnitudes));
        strengths.push_back(mean);
    }
    if (spectra.empty()) return {};

    auto at = [&](const std::vector<double>& spectrum, double bpm) {
        const double place = std::log(bpm / kGridLowest) / kGridStep;
        const auto i = std::int64_t(std::floor(place));
        if (i < 0 || i + 1 >= gridSize) return 0.0;
        const double f = place - double(i);
        return (1 - f) * spectrum[std::size_t(i)] + f * spectrum[std::size_t(i + 1)];
    };
    auto pulse = [&](const std::vector<double>& spectrum, double bpm) {
        double sum = 0;
        for (int h = 1; h <= kHarmonics; ++h)
            sum += at(spectrum, bpm * h);
        return sum;
    };
    // The tempo, between `low` and `high`, whose pulse is strongest; 0.1 % steps.
    auto strongest = [&](const std::vector<double>& spectrum, double low, double high) {
        double best = 0, bestBpm = 0;
        for (double bpm = low; bpm < high; bpm *= 1.001) {
            const double p = pulse(spectrum, bpm);
            if (p > best) {
                best = p;
                bestBpm = bpm;
            }
        }
        return bestBpm;
    };

    std::vector<double> whole(std::size_t(gridSize), 0.0);
    for (const auto& spectrum : spectra)
        for (int j = 0; j < gridSize; ++j)
            whole[std::size_t(j)] += spectrum[std::size_t(j)];
    const double songTempo = strongest(whole, kSlowestBpm, kFastestBpm);
    if (songTempo <= 0) return {};

    // Each window's own tempo, within half an octave of the song's so it counts the same beat.
    const double typical = median(strengths);
    if (typical < kLeastOnsets) return {};
    std::vector<double> local(spectra.size(), 0.0);  // 0: a window that says nothing
    int speaking = 0;
    for (std::size_t w = 0; w < spectra.size(); ++w) {
        if (strengths[w] < kQuietWindow * typical) continue;
        local[w] =
            strongest(spectra[w], songTempo / std::numbers::sqrt2, songTempo * std::numbers::sqrt2);
        ++speaking;
    }
    // The longest run of windows holding to `centre` (one stray or quiet window may interrupt
    // it), among the windows not `taken`.
    auto longestRun = [&](double centre, const std::vector<bool>& taken) {
        Stretch best, run;
        int misses = 0;
        for (int w = 0; w < int(local.size()); ++w) {
            const bool fits = !taken[std::size_t(w)] && local[std::size_t(w)] > 0 &&
                              holds(local[std::size_t(w)], centre);
            if (fits) {
                if (run.last < run.first) run.first = w;
                run.last = w;
                misses = 0;
                if (run.size() > best.size()) best = run;
            } else if (taken[std::size_t(w)] || ++misses > 1) {
                run = {};
                misses = 0;
            }
        }
        best.bpm = centre;
        return best;
    };
    auto steadiest = [&](const std::vector<bool>& taken, double unlike) {
        Stretch best;
        for (std::size_t w = 0; w < local.size(); ++w) {
            // Another tempo is at least twice the tolerance away, or it would be the same one.
            if (local[w] <= 0 || taken[w]) continue;
            if (unlike > 0 && std::abs(std::log(local[w] / unlike)) < 2 * kHold) continue;
            const Stretch run = longestRun(local[w], taken);
            if (run.size() > best.size()) best = run;
        }
        if (best.size() <= 0) return best;
        // Centred on its windows' median tempo.
        std::vector<double> tempi;
        for (int w = best.first; w <= best.last; ++w)
            if (local[std::size_t(w)] > 0 && holds(local[std::size_t(w)], best.bpm))
                tempi.push_back(local[std::size_t(w)]);
        return longestRun(median(tempi), taken);
    };
    auto agreeing = [&](const Stretch& stretch, bool anywhere) {
        int count = 0;
        for (int w = 0; w < int(local.size()); ++w)
            if (local[std::size_t(w)] > 0 && holds(local[std::size_t(w)], stretch.bpm) &&
                (anywhere || (w >= stretch.first && w <= stretch.last)))
                ++count;
        return count;
    };

    std::vector<bool> taken(local.size(), false);
    const Stretch main = steadiest(taken, 0);
    if (main.size() <= 0) return {};
    BeatGrid grid;
    const double tempo = main.bpm;
    const double windowSeconds = double(length) / fluxRate_;
    const double songSeconds = double(onset_.size()) * kFineFrames / rate_;
    fitFrom_ = 0;
    fitTo_ = songSeconds;
    if (agreeing(main, true) < kSteadyShare * speaking) {
        for (int w = main.first; w <= main.last; ++w)
            taken[std::size_t(w)] = true;
        const Stretch other = steadiest(taken, main.bpm);
        if (main.size() < kStretchWindows || other.size() < kStretchWindows ||
            agreeing(main, false) + agreeing(other, false) < kSteadyShare * speaking)
            return {};
        grid.tempoChanges = true;
        // A window straddling a change takes the tempo that fills most of it: the stretch runs
        // from half a step before its first window's middle to half a step after its last's.
        const double reach = (windowSeconds - kWindowStep) / 2;
        if (main.first > 0) fitFrom_ = double(starts[std::size_t(main.first)]) / fluxRate_ + reach;
        if (main.last + 1 < int(starts.size()))
            fitTo_ = double(starts[std::size_t(main.last)]) / fluxRate_ + windowSeconds - reach;
    }

    Fit fit = combSearch(60 / tempo, 0.03, 60);
    fit = combSearch(fit.period, 0.001, 20);
    fit = refit(fit);
    if (fit.points == 0) return {};
    // The spectrum hears a hi-hat's rise in every bin it covers, so hats on the eighths of a slow
    // beat can outweigh the drums of the beat itself. Where half the tempo is a beat too, the
    // plain energy decides: every second step nearly empty (hats only) means the slower beat.
    if (60 / fit.period / 2 >= kSlowestBpm) {
        std::vector<double> anywhere;
        // Sampled at a step no beat follows, so nearly all samples miss the attacks and the
        // median is the ripple of steady tones.
        for (double t = fitFrom_; t < fitTo_; t += 0.0371)
            anywhere.push_back(std::sqrt(envelopeAt(t, 0.008)));
        const double background = median(anywhere);
        auto strength = [&](double origin, double period) {
            double sum = 0;
            for (double t = origin + std::ceil((fitFrom_ - origin) / period) * period; t < fitTo_;
                 t += period)
                sum += std::max(0.0, std::sqrt(envelopeAt(t, 0.008)) - background);
            return sum;
        };
        const double even = strength(fit.origin, 2 * fit.period);
        const double odd = strength(fit.origin + fit.period, 2 * fit.period);
        if (std::min(even, odd) < kBetweenBeatsShare * std::max(even, odd)) {
            Fit slower = fit;
            if (odd > even) slower.origin += slower.period;
            slower.period *= 2;
            slower = refit(slower);
            // The slower grid stands only where it fits the attacks inside the tempi a beat may
            // have; one that drifts out of them is no beat.
            if (slower.points > 0 && 60 / slower.period >= kSlowestBpm) fit = slower;
        }
    }
    grid.bpm = 60 / fit.period;
    grid.firstBeatSeconds = firstBeat(fit);
    return grid;
}

}  // namespace kelvra::audio::analysis
