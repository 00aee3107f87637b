// A deck's loops: loop in and out, beat loops of 1/8 to 32 beats from the beat grid, halve and
// double, exit and reloop, and loop rolls (a beat loop held, the song going on underneath, and
// on again where it would have been when let go). The loop itself plays in the engine, exact to
// the frame on every pass; this unit decides where it lies. Quantise puts loop points on the
// grid. The last loop set on a song (a roll aside) is remembered with it and is there, ready
// for reloop, when the song is loaded again. Thread: UI thread only.
#pragma once

#include "core/Clock.h"
#include "decks/DeckGrid.h"
#include "decks/DeckJumps.h"

namespace kelvra::decks {

class DeckLoops {
  public:
    // `songs` may be null: loops are then forgotten with the song.
    DeckLoops(Deck& deck, audio::EngineDoor& door, const DeckAnalysis& analysis,
              const DeckJumps& jumps, Clock& clock, library::SongStore* songs);

    // Beat loop sizes in beats, by the beat loop buttons' index.
    static constexpr double kSizes[DeckControls::kBeatLoops] = {0.125, 0.25, 0.5, 1, 2,
                                                                4,     8,    16,  32};

    bool active() const { return active_; }
    // The loop's points as the deck's byte positions; both -1 while none is set.
    std::int64_t loopIn() const { return in_; }
    std::int64_t loopOut() const { return out_; }

    void setIn();
    void setOut();
    void beatLoop(int index);
    void halve();
    void twice();
    void exit();
    void reloop();
    void rollDown(int index);
    void rollUp();

  private:
    void songLoaded();
    // Hands the loop to the engine (or ends it there) and shows it.
    void apply();
    void show();
    void remember();
    std::int64_t here() const;
    std::int64_t minimumLength() const;

    Deck& deck_;
    audio::EngineDoor& door_;
    const DeckAnalysis& analysis_;
    const DeckJumps& jumps_;
    Clock& clock_;
    library::SongStore* songs_;
    DeckGrid grid_;
    std::int64_t in_ = -1, out_ = -1;
    bool active_ = false;
    // A roll held: where the song was when it began, and when.
    int rolling_ = -1;
    double rollFrom_ = 0;
    std::int64_t rollSince_ = 0;
    std::array<std::int64_t, 2> rollAside_{-1, -1};  // the loop points before the roll
};

}  // namespace kelvra::decks
