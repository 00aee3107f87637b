// A deck's tone controls: turns the EQ, kill, filter and gain knobs into the stream's effects,
// whenever one moves and whenever a song goes onto the deck, so a new song plays with the EQ the
// DJ left there. Thread: UI thread only.
#pragma once

#include "audio/EngineDoor.h"
#include "decks/Deck.h"

namespace kelvra::decks {

// A lit kill button: red, the colour a DJ looks for when a band is missing.
inline constexpr int kKillColour = kColourLitRed;

// A band knob (0..100, 50 = unity): 0 kills the band; below unity the cut is even in decibels,
// 0.8 dB a step down to -39.2 dB at 1, where a DJ hears the band as gone; above unity +6 dB at
// 100, again even in decibels.
float eqBandGain(int knob);
// The filter knob (0..100, 50 = off) as the engine's -1..1.
float filterAmount(int knob);
// The gain knob (0..100, 50 = unity) in dB, -12..+12.
float trimDecibels(int knob);

class DeckTone {
  public:
    DeckTone(Deck& deck, audio::EngineDoor& door);

    // What the knobs and kill buttons ask for now.
    audio::ChannelEffects effects() const;

  private:
    void apply();

    Deck& deck_;
    audio::EngineDoor& door_;
    bool killed_[3] = {};  // low, mid, high
};

}  // namespace kelvra::decks
