// A deck's key lock and key shift: with the lock on, the pitch slider and the bends change the
// tempo only; the shift moves the key a semitone at a time (up to an octave either way). The
// base frequency keeps its meaning (22 kHz is an octave down), and the turntable stop is a tape
// stop whatever the lock says. Thread: UI thread only.
#pragma once

#include "decks/Deck.h"

namespace kelvra::decks {

class DeckKey {
  public:
    DeckKey(Deck& deck, audio::EngineDoor& door);

    bool locked() const { return locked_; }
    int shift() const { return shift_; }

  private:
    void apply();
    void show();

    Deck& deck_;
    audio::EngineDoor& door_;
    bool locked_ = false;
    int shift_ = 0;
};

}  // namespace kelvra::decks
