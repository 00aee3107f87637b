// What a deck does with its song's analysis when it arrives (beat grid, waveform, loudness): the
// tempo text with the tempo the deck plays at now (or "no steady beat"), the overview waveform
// and cue marks of the position bar, Sync to the other deck, and the loudness correction when
// matching is on. With no analysis, or the options off, nothing here changes what the deck does.
// Thread: UI thread only.
#pragma once

#include <QString>
#include <optional>

#include "audio/analysis/SongAnalysis.h"
#include "decks/Deck.h"
#include "settings/ProgramSettings.h"

namespace kelvra::decks {

class DeckAnalysis {
  public:
    DeckAnalysis(Deck& deck, audio::EngineDoor& door, const settings::ProgramSettings& values);

    // A new song went onto the deck: what was known of the old one goes.
    void songLoaded();
    // The analysis of `path`; ignored unless it is still the deck's song.
    void analysed(const QString& path, audio::analysis::AnalysisSnapshot analysis);
    // On the display tick: the tempo text and the cue marks follow the deck.
    void refresh();
    // Shows the song's key, lit when it mixes with the key of `other`'s song.
    void showKeyAgainst(const DeckAnalysis& other);
    // The song's key (see KeyFinder.h); -1 when unknown.
    int songKey() const { return analysis_ ? analysis_->key : -1; }

    // Sets the stream's gain correction: the song's loudness to the target while matching is on,
    // none otherwise. Runs when the analysis arrives and when the option changes.
    void applyLoudness();

    const audio::analysis::AnalysisSnapshot& analysis() const { return analysis_; }
    double songBpm() const { return analysis_ ? analysis_->bpm : 0; }
    // Where the deck is heard now, in song seconds, and how fast it moves through the song
    // (song seconds per second; 0 unless playing).
    double positionSeconds() const;
    double playSpeed() const;
    // How fast the deck goes through its song when it plays, whether or not it plays now (song
    // seconds per second); 0 while unknown.
    double playbackRate() const;
    // The cue point in song seconds.
    double cueSeconds() const;
    // The tempo at the rate the deck plays now (pitch, bend, base frequency, stop); 0: unknown.
    double effectiveBpm() const;
    // The Sync button lit while this deck plays at the other's tempo (or at half or twice it),
    // as a press of Sync leaves it; a controller's light follows it.
    void showTempoMatch(const DeckAnalysis& other);
    // Sets this deck's pitch so it plays at the other deck's tempo (half or double where that
    // is nearer), then, with both playing, moves it by less than a beat onto the other's beat.
    // False, with the reason on the display, when it cannot (either song without a steady beat,
    // no tempo known yet, or beyond the pitch range).
    bool syncTo(const DeckAnalysis& other);

  private:
    // How far into its beat the audible position is, 0..1, counting `multiple` beats a beat.
    double beatPhase(double multiple) const;
    int playingRate() const;

    Deck& deck_;
    audio::EngineDoor& door_;
    const settings::ProgramSettings& values_;
    audio::analysis::AnalysisSnapshot analysis_;
    QString notice_;  // a Sync refusal, shown until the pitch moves
    int noticeRate_ = 0;
};

// The overview of a waveform summary in `columns` columns: each column the peak of its blocks.
std::shared_ptr<const OverviewWaveform> overviewOf(const audio::analysis::WaveformSummary& wave,
                                                   int columns);

}  // namespace kelvra::decks
