#include "decks/DeckAnalysis.h"

#include <algorithm>
#include <array>
#include <cmath>

#include "audio/analysis/KeyNames.h"
#include "audio/analysis/LoudnessTarget.h"
#include "core/Rounding.h"
#include "decks/DeckPlaces.h"

namespace kelvra::decks {
namespace {

constexpr int kOverviewColumns = 480;
constexpr int kNoChange = 1000;  // the pitch slider's centre
constexpr int kPitchMaximum = 2000;

QString bpmText(double bpm) {
    return QString::number(bpm, 'f', 1);
}

}  // namespace

std::shared_ptr<const OverviewWaveform> overviewOf(const audio::analysis::WaveformSummary& wave,
                                                   int columns) {
    auto overview = std::make_shared<OverviewWaveform>();
    const std::size_t blocks = wave.blocks.size();
    if (blocks == 0 || columns <= 0) return overview;
    overview->columns.resize(std::size_t(columns));
    for (std::size_t column = 0; column < std::size_t(columns); ++column) {
        const std::size_t from = column * blocks / std::size_t(columns);
        const std::size_t to = std::max(from + 1, (column + 1) * blocks / std::size_t(columns));
        std::array<std::uint8_t, 3>& peaks = overview->columns[column];
        for (std::size_t b = from; b < to && b < blocks; ++b)
            for (int band = 0; band < 3; ++band)
                peaks[std::size_t(band)] =
                    std::max(peaks[std::size_t(band)], wave.blocks[b].peak[std::size_t(band)]);
    }
    return overview;
}

DeckAnalysis::DeckAnalysis(Deck& deck, audio::EngineDoor& door,
                           const settings::ProgramSettings& values)
    : deck_(deck), door_(door), values_(values) {
    deck_.events().loaded.connect([this] { songLoaded(); });
}

void DeckAnalysis::songLoaded() {
    analysis_.reset();
    notice_.clear();
    DeckDisplayModel& display = deck_.controls().display;
    display.setOverview(nullptr);
    display.setTempoText(QString());
    display.setNoticeText(QString());
    display.setCueMarks(-1, -1);
    display.setKey(QString(), false);
}

void DeckAnalysis::analysed(const QString& path, audio::analysis::AnalysisSnapshot analysis) {
    if (path != deck_.songFile() || !analysis) return;
    analysis_ = std::move(analysis);
    deck_.controls().display.setOverview(overviewOf(analysis_->waveform, kOverviewColumns));
    applyLoudness();
    refresh();
}

void DeckAnalysis::applyLoudness() {
    if (!deck_.streamId()) return;
    const double correction =
        values_.matchLoudness && analysis_
            ? audio::analysis::loudnessCorrectionDb(analysis_->lufs, analysis_->truePeakDbfs)
            : 0.0;
    door_.setGain(deck_.streamId(), float(correction));
}

double DeckAnalysis::playSpeed() const {
    if (!analysis_ || analysis_->waveform.rate <= 0 ||
        door_.state(deck_.streamId()) != audio::StreamState::Playing)
        return 0;
    return playbackRate();
}

double DeckAnalysis::playbackRate() const {
    if (!analysis_ || analysis_->waveform.rate <= 0) return 0;
    return double(playingRate()) / analysis_->waveform.rate;
}

double DeckAnalysis::cueSeconds() const {
    return secondsAt(door_, deck_.streamId(), deck_.cuePoint());
}

int DeckAnalysis::playingRate() const {
    if (!deck_.streamId()) return 0;
    const auto rate = door_.rate(deck_.streamId());
    return rate ? rate->value : 0;
}

double DeckAnalysis::effectiveBpm() const {
    if (!analysis_ || analysis_->bpm <= 0 || analysis_->waveform.rate <= 0) return 0;
    return analysis_->bpm * playingRate() / analysis_->waveform.rate;
}

void DeckAnalysis::refresh() {
    DeckDisplayModel& display = deck_.controls().display;
    const int rate = playingRate();
    if (!notice_.isEmpty() && rate != noticeRate_) notice_.clear();
    display.setNoticeText(notice_);
    if (songBpm() > 0) {
        const double playing = effectiveBpm();
        // The grid holds for the song's longest stretch only; the DJ should know before mixing.
        display.setTempoText(
            bpmText(songBpm()) + QStringLiteral(" \u2192 ") + bpmText(playing) +
            QStringLiteral(" BPM") +
            (analysis_->tempoChanges ? QStringLiteral(" (tempo changes)") : QString()));
    } else if (analysis_) {
        display.setTempoText(QStringLiteral("no steady beat"));
    } else {
        display.setTempoText(QString());
    }
    const double length = deck_.songLength();
    if (analysis_ && length > 0) {
        display.setCueMarks(
            std::clamp(deck_.cuePoint() / length, 0.0, 1.0),
            deck_.prevCue() > 1 ? std::clamp(deck_.prevCue() / length, 0.0, 1.0) : -1.0);
    }
}

void DeckAnalysis::showKeyAgainst(const DeckAnalysis& other) {
    const int key = songKey();
    const QString text = key < 0 ? QString()
                                 : QString::fromStdString(audio::analysis::keyWheel(key) + "  " +
                                                          audio::analysis::keyName(key));
    deck_.controls().display.setKey(text, audio::analysis::keysCompatible(key, other.songKey()));
}

void DeckAnalysis::showTempoMatch(const DeckAnalysis& other) {
    const double mine = effectiveBpm(), theirs = other.effectiveBpm();
    bool matched = false;
    if (songBpm() > 0 && other.songBpm() > 0 && mine > 0 && theirs > 0)
        for (double factor : {0.5, 1.0, 2.0})
            matched = matched || std::abs(mine * factor - theirs) < 0.05;
    deck_.controls().sync.setLit(matched);
}

double DeckAnalysis::positionSeconds() const {
    return secondsAt(door_, deck_.streamId(), bytePosition(door_, deck_.streamId()));
}

double DeckAnalysis::beatPhase(double multiple) const {
    const double period = 60.0 / (analysis_->bpm * multiple);
    const double beats = (positionSeconds() - analysis_->firstBeatSeconds) / period;
    return beats - std::floor(beats);
}

bool DeckAnalysis::syncTo(const DeckAnalysis& other) {
    const double target = other.effectiveBpm();
    // An analysed song without a steady beat has no grid to match: said apart from a song whose
    // analysis has not come yet, which will have one in a moment.
    const bool beatless =
        (analysis_ && analysis_->bpm <= 0) || (other.analysis_ && other.analysis_->bpm <= 0);
    if (deck_.stream() != 0 && beatless) {
        notice_ = QStringLiteral("Sync: no steady beat");
        noticeRate_ = playingRate();
        refresh();
        return false;
    }
    if (deck_.stream() == 0 || songBpm() <= 0 || target <= 0) {
        notice_ = QStringLiteral("Sync: no tempo to match");
        noticeRate_ = playingRate();
        refresh();
        return false;
    }
    // A 70 BPM song against a 140 BPM one plays two of its half-beats to each of theirs.
    double multiple = 1;
    for (double m : {0.5, 2.0})
        if (std::abs(std::log(target / (songBpm() * m))) <
            std::abs(std::log(target / (songBpm() * multiple))))
            multiple = m;
    const double wantedRate = analysis_->waveform.rate * target / (songBpm() * multiple);
    // The slider value that gives that rate from the deck's base frequency, by the pitch formula.
    const double range = values_.pitchRangeFactor;
    const double exact = kNoChange + (wantedRate / deck_.sampleRate() - 1) * 100 * 100 / range;
    const long value = std::lrint(exact);
    if (value < 0 || value > kPitchMaximum) {
        notice_ = QStringLiteral("Sync: beyond the pitch range");
        noticeRate_ = playingRate();
        refresh();
        return false;
    }
    notice_.clear();
    deck_.controls().pitch.setValue(int(value));

    // Onto the other deck's beat with one short seek, never more than half a beat either way.
    const auto playing = [this](const Deck& deck) {
        return deck.streamId() && door_.state(deck.streamId()) == audio::StreamState::Playing;
    };
    if (playing(deck_) && playing(other.deck_)) {
        double shift = other.beatPhase(1) - beatPhase(multiple);
        shift -= std::nearbyint(shift);  // to the nearest beat
        const double period = 60.0 / (songBpm() * multiple);
        // A jump cross-fades from the place heard now, so it lands where it is aimed.
        const double seconds = positionSeconds() + shift * period;
        const double perSecond = bytesPerSecond(door_, deck_.streamId());
        if (perSecond > 0 && seconds > 0)
            seekTo(door_, deck_.streamId(), std::uint32_t(roundEven(seconds * perSecond)));
    }
    refresh();
    return true;
}

}  // namespace kelvra::decks
