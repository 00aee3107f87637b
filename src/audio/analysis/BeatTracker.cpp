#include "audio/analysis/BeatTracker.h"

#include <aubio/aubio.h>

#include <algorithm>
#include <cmath>

namespace kelvra::audio::analysis {
namespace {

// aubio hears the song at about 11 kHz: its tempo needs no more, and its phase vocoder is most of
// the analysis's cost at full rate. 1024/512 frames at 44.1 kHz: a hop of 11.6 ms.
constexpr int kAubioRate = 11025;
constexpr int kHop = 512;
// 64 frames is 1.45 ms at 44.1 kHz: fine enough for a first beat within a few milliseconds.
constexpr int kFineFrames = 64;
// The octave a DJ counts in. Tempos outside are folded in; inside, where both a tempo and its
// double fit (70..90 against 140..180), the beat is the level whose every step carries a drum's
// attack: the slower tempo wins when every second beat is much weaker than the others (hats
// between kick and snare), the faster one when they are comparable (kick, then snare). Strengths
// are compared as amplitudes above the background ripple, and "comparable" means at least this
// share (synthesised hats between beats come out near 0.12, snares near 0.26 and above).
constexpr double kSlowestBpm = 70;
constexpr double kFastestBpm = 180;
constexpr double kBetweenBeatsShare = 0.2;
// A beat split in three needs attacks at both thirds of at least this share.
constexpr double kThirdsShare = 0.6;
// An attack counts towards the grid fit when it has a fifth of a typical beat's strength.
constexpr double kAttackShare = 0.2;

double median(std::vector<double> values) {
    if (values.empty()) return 0;
    std::nth_element(values.begin(), values.begin() + values.size() / 2, values.end());
    return values[values.size() / 2];
}

}  // namespace

struct BeatTracker::Aubio {
    aubio_tempo_t* tempo = nullptr;
    fvec_t* in = nullptr;
    fvec_t* out = nullptr;
    int filled = 0;
    int factor = 1;  // song frames per aubio frame
    int summed = 0;
    float sum = 0;
    ~Aubio() {
        if (tempo) del_aubio_tempo(tempo);
        if (in) del_fvec(in);
        if (out) del_fvec(out);
    }
};

BeatTracker::BeatTracker(int rate) : rate_(rate), aubio_(std::make_unique<Aubio>()) {
    Aubio& a = *aubio_;
    a.factor = std::max(1, rate / kAubioRate);
    const auto hop = static_cast<uint_t>(kHop / a.factor);
    a.tempo = new_aubio_tempo("default", 2 * hop, hop, static_cast<uint_t>(rate / a.factor));
    aubio_->in = new_fvec(hop);
    aubio_->out = new_fvec(1);
}

BeatTracker::~BeatTracker() = default;

void BeatTracker::push(const float* mono, int count) {
    Aubio& a = *aubio_;
    for (int i = 0; i < count; ++i) {
        const float x = mono[i];
        blockEnergy_ += double(x) * x;
        if (++blockFill_ == kFineFrames) {
            onset_.push_back(float(std::max(0.0, blockEnergy_ - previousEnergy_)));
            previousEnergy_ = blockEnergy_;
            blockEnergy_ = 0;
            blockFill_ = 0;
        }
        if (!a.tempo) continue;
        a.sum += x;
        if (++a.summed < a.factor) continue;
        a.in->data[a.filled++] = a.sum / float(a.factor);
        a.sum = 0;
        a.summed = 0;
        if (a.filled == int(a.in->length)) {
            a.filled = 0;
            aubio_tempo_do(a.tempo, a.in, a.out);
            if (a.out->data[0] != 0) aubioBeats_.push_back(aubio_tempo_get_last_s(a.tempo));
        }
    }
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

double BeatTracker::strengthSum(double origin, double period) const {
    const double end = double(onset_.size()) * kFineFrames / rate_;
    double sum = 0;
    for (double t = origin - std::floor(origin / period) * period; t < end; t += period)
        sum += std::max(0.0, std::sqrt(envelopeAt(t, 0.008)) - background_);
    return sum;
}

// Fits the grid to the attacks near each of its beats by least squares: beat time against index.
BeatTracker::Fit BeatTracker::refit(Fit fit) const {
    const double end = double(onset_.size()) * kFineFrames / rate_;
    for (int pass = 0; pass < 3; ++pass) {
        std::vector<double> times, strengths;
        std::vector<double> indexes;
        const auto firstIndex = std::int64_t(std::ceil(-fit.origin / fit.period));
        for (std::int64_t k = firstIndex;; ++k) {
            const double predicted = fit.origin + double(k) * fit.period;
            if (predicted >= end) break;
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
    const double end = double(onset_.size()) * kFineFrames / rate_;
    std::vector<double> strengths;
    const auto firstIndex = std::int64_t(std::ceil((-0.02 - fit.origin) / fit.period));
    for (std::int64_t k = firstIndex; fit.origin + double(k) * fit.period < end; ++k)
        strengths.push_back(envelopeAt(fit.origin + double(k) * fit.period, 0.008));
    const double threshold = 0.25 * median(strengths);
    for (std::size_t i = 0; i < strengths.size(); ++i) {
        if (strengths[i] >= threshold && strengths[i] > 0)
            return std::max(0.0, fit.origin + double(firstIndex + std::int64_t(i)) * fit.period);
    }
    return std::max(0.0, fit.origin);
}

// The period within `spread` (a share) of `period` at which the attacks, folded onto one beat,
// pile up most sharply; the pile's phase gives the grid's origin. aubio's own tempo is only good
// to a hop of its onset function (about 2 %), far too coarse for a grid over a whole song.
BeatTracker::Fit BeatTracker::combSearch(double period, double spread, int steps) const {
    constexpr int kBins = 64;
    const double secondsPerBlock = double(kFineFrames) / rate_;
    double loudest = 0;
    for (const float o : onset_)
        loudest = std::max(loudest, double(o));
    std::vector<std::pair<double, float>> attacks;
    for (std::size_t i = 0; i < onset_.size(); ++i) {
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

// Whether each of the `parts` - 1 points between two grid beats has an attack of a beat's kind.
bool BeatTracker::splits(const Fit& fit, int parts, double share) const {
    const double on = strengthSum(fit.origin, fit.period);
    for (int j = 1; j < parts; ++j) {
        if (strengthSum(fit.origin + j * fit.period / parts, fit.period) < share * on) return false;
    }
    return on > 0;
}

BeatGrid BeatTracker::finish() {
    std::vector<double> intervals;
    for (std::size_t i = 1; i < aubioBeats_.size(); ++i) {
        const double interval = aubioBeats_[i] - aubioBeats_[i - 1];
        if (interval > 60.0 / 400 && interval < 60.0 / 30) intervals.push_back(interval);
    }
    if (intervals.size() < 4) return {};
    // What a grid point gets without an attack: the ripple of steady tones. Sampled at a step
    // no beat follows, so nearly all samples miss the attacks and the median is the ripple.
    std::vector<double> anywhere;
    for (double t = 0; t < double(onset_.size()) * kFineFrames / rate_; t += 0.0371)
        anywhere.push_back(std::sqrt(envelopeAt(t, 0.008)));
    background_ = median(anywhere);

    Fit fit = combSearch(median(intervals), 0.04, 40);
    fit = combSearch(fit.period, 0.001, 20);
    fit = refit(fit);
    if (fit.points == 0) return {};

    // aubio often counts every second or third beat. Split the period while every split point
    // carries an attack of its own, then fold into the DJ's octave. Halving keeps the tempo's
    // octave, so weak attacks between beats may do it. A split in three changes the tempo
    // itself (folded back, 130 becomes 97.5) and busy music has something at every third of a
    // beat, so it is tried only on a tempo too slow to be the beat, with attacks at both thirds
    // nearly as strong as the beats, and only once (twice turns 130 BPM into 146.25).
    bool splitInThree = false;
    for (;;) {
        if (!splitInThree && 60 / fit.period < kSlowestBpm && splits(fit, 3, kThirdsShare)) {
            fit.period /= 3;
            splitInThree = true;
        } else if (60 / fit.period < 400 && splits(fit, 2, kBetweenBeatsShare)) {
            fit.period /= 2;
        } else {
            break;
        }
    }
    while (60 / fit.period < kSlowestBpm)
        fit.period /= 2;
    while (60 / fit.period > kFastestBpm) {
        if (strengthSum(fit.origin + fit.period, 2 * fit.period) >
            strengthSum(fit.origin, 2 * fit.period))
            fit.origin += fit.period;
        fit.period *= 2;
    }
    if (60 / fit.period / 2 >= kSlowestBpm) {
        const double even = strengthSum(fit.origin, 2 * fit.period);
        const double odd = strengthSum(fit.origin + fit.period, 2 * fit.period);
        if (std::min(even, odd) < kBetweenBeatsShare * std::max(even, odd)) {
            if (odd > even) fit.origin += fit.period;
            fit.period *= 2;
        }
    }
    fit = refit(fit);
    if (fit.points == 0) return {};
    return {60 / fit.period, firstBeat(fit)};
}

}  // namespace kelvra::audio::analysis
