// A deck's song position against its beat grid: byte positions on whole frames to and from song
// seconds, the beat's length, the nearest beat and the grid line at or before a place. The grid
// comes from the song's analysis; without one, only the conversions work. Thread: UI thread.
#pragma once

#include <cstdint>
#include <optional>

#include "decks/Deck.h"
#include "decks/DeckAnalysis.h"

namespace kelvra::decks {

class DeckGrid {
  public:
    DeckGrid(Deck& deck, audio::EngineDoor& door, const DeckAnalysis& analysis)
        : deck_(deck), door_(door), analysis_(analysis) {}

    // The beat's length in song seconds; nullopt without a grid.
    std::optional<double> beatSeconds() const;
    // Bytes of one frame of the deck's stream (0 without one).
    std::int64_t frameBytes() const;
    std::int64_t toBytes(double seconds) const;
    double toSeconds(std::int64_t bytes) const;
    // The grid line nearest `seconds`, or at or before it, on a grid of `beats` beats (1/8 for
    // eighth-beat loops); `seconds` itself without a grid.
    double nearestBeat(double seconds, double beats = 1) const;
    double beatAtOrBefore(double seconds, double beats = 1) const;
    // Where the deck is heard now, in song seconds.
    double positionSeconds() const { return analysis_.positionSeconds(); }

  private:
    double firstBeat() const;

    Deck& deck_;
    audio::EngineDoor& door_;
    const DeckAnalysis& analysis_;
};

}  // namespace kelvra::decks
