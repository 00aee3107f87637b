// The scrolling waveforms of both decks, one lane a deck, the left deck's above: each lane shows
// its song around the play head, which stands in the middle of the strip for both, so a DJ sees
// two beat grids drift apart or lock. Both lanes are drawn on the mix's time, not the songs': a
// pixel is the same share of a second of what is heard on either, so two decks at one tempo show
// their beats equally far apart whatever their songs' own tempos. The model is fed on the display
// tick and moves the play heads on between ticks from the speed it was told, so a view can draw
// smooth frames at its own rate from a snapshot; rendering goes into an image, pixel by pixel, and
// never waits on the engine. Thread: UI thread only.
#pragma once

#include <QImage>
#include <QObject>
#include <array>
#include <cstdint>

#include "audio/analysis/SongAnalysis.h"
#include "core/Side.h"

namespace kelvra::app {

struct WaveformLane {
    audio::analysis::AnalysisSnapshot analysis;  // null: nothing to draw
    double anchorSeconds = 0;                    // song position at anchorMs
    std::int64_t anchorMs = 0;
    double speed = 0;  // song seconds per second of the clock; 0 while not playing
    // Song seconds per second of the mix at the deck's rate (pitch, bend, base frequency), also
    // while it rests: it sets how much of the song a pixel shows.
    double rate = 1;
    double cue = -1;  // the cue point in song seconds; -1: none
    // The loop in song seconds (-1: not set) and whether it plays.
    double loopIn = -1, loopOut = -1;
    bool loopActive = false;
    std::array<double, 8> hotCues{-1, -1, -1, -1, -1, -1, -1, -1};  // song seconds; -1: unset

    // Where the play head is at `nowMs`.
    double positionAt(std::int64_t nowMs) const;
};

class WaveformStripModel : public QObject {
    Q_OBJECT
  public:
    static constexpr double kDefaultHalfSpan = 4.0;  // seconds each side of the play head
    static constexpr double kMinHalfSpan = 1.0;
    static constexpr double kMaxHalfSpan = 16.0;

    bool isVisible() const { return visible_; }
    void setVisible(bool visible);
    double halfSpanSeconds() const { return halfSpan_; }
    // Mouse-wheel steps: each step in (positive) shows a fifth less, each step out a fifth more.
    void zoom(int steps);

    const WaveformLane& lane(Side side) const { return lanes_[sideIndex(side)]; }
    void setAnalysis(Side side, audio::analysis::AnalysisSnapshot analysis);
    void setCue(Side side, double seconds);
    // Song seconds per second of the mix; anything not above zero counts as 1 (no song yet).
    void setRate(Side side, double rate);
    void setLoop(Side side, double in, double out, bool active);
    void setHotCues(Side side, const std::array<double, 8>& seconds);
    // The deck's position and speed as read at `nowMs`. Small differences from where the model
    // already puts the play head (the output's period, the display tick's jitter) are absorbed
    // so the picture does not shudder; a seek, a pitch move or a start re-anchors at once.
    void follow(Side side, std::int64_t nowMs, double positionSeconds, double speed);

  signals:
    // Something other than the passing of time changed (a song, a zoom, a seek, visibility).
    void changed();

  private:
    WaveformLane lanes_[2];
    double halfSpan_ = kDefaultHalfSpan;
    bool visible_ = true;
};

// Draws both lanes into `image` (its size is the strip's) as they are at `nowMs`.
void renderWaveformStrip(QImage& image, const WaveformStripModel& model, std::int64_t nowMs);

}  // namespace kelvra::app
