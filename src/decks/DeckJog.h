// A deck's jog wheel. Turned while the deck plays, it nudges the speed in proportion to how fast
// it turns, the nudge dying away within a tenth of a second once it stops, as a hand on a
// platter's edge does; turned while the deck rests, it moves the deck's place; held by its
// touch-sensitive top, it scratches: the deck's sound follows the wheel forward and back, and
// let go, a playing deck plays on from where the wheel left it.
// Thread: UI thread only.
#pragma once

#include <memory>

#include "audio/EngineDoor.h"
#include "core/Clock.h"
#include "decks/Deck.h"
#include "decks/DeckPitch.h"

namespace kelvra::decks {

class DeckJog {
  public:
    DeckJog(Deck& deck, audio::EngineDoor& door, DeckPitch& pitch, Clock& clock);

    // One turn of the wheel is this many ticks and this much of the song, as a record turning
    // at 33 1/3.
    static constexpr int kTicksPerTurn = 128;
    static constexpr double kSecondsPerTurn = 1.8;
    static constexpr double kSecondsPerTick = kSecondsPerTurn / kTicksPerTurn;
    // A turn at one turn a second nudges the speed by about 10 %; never more than 25 %.
    static constexpr double kNudgePerTick = 0.1 / (kTicksPerTurn * 0.1);
    static constexpr double kMaxNudge = 0.25;
    static constexpr int kDecayMs = 20;

    bool scratching() const { return scratching_; }

  private:
    void turned(int ticks);
    void touched(bool touched);
    void decay();

    Deck& deck_;
    audio::EngineDoor& door_;
    DeckPitch& pitch_;
    std::unique_ptr<Timer> decay_;
    bool scratching_ = false;
    long long scratchTicks_ = 0;
};

}  // namespace kelvra::decks
