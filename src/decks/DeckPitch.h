// One deck's speed: the pitch slider and its zero button, the two bend buttons, the 22/44 kHz
// base-frequency buttons and the turntable stop that slows the deck to a halt. Both decks are
// this class, made with their deck. Thread: UI thread only.
#pragma once

#include <QString>
#include <cstdint>

#include "audio/EngineDoor.h"
#include "decks/Deck.h"
#include "settings/ProgramSettings.h"

namespace kelvra::decks {

class DeckPitch {
  public:
    DeckPitch(Deck& deck, audio::EngineDoor& door, DeckHost& host,
              const settings::ProgramSettings& values);

    // changeLpitch / changeRpitch: the pitch position to the stream's frequency, the zero lamp
    // and the pitch text.
    void changePitch();
    // This deck's share of run_pitchTimer_timer: follow the slider or the held bend button.
    void followSliderAndBend();
    bool bendHeld() const { return bendUp_ || bendDown_; }

    // Bend buttons: held down and let go.
    enum class Bend { Down, Up };
    void bendPressed(Bend way);
    void bendReleased(Bend way);
    // The base-frequency buttons: 22050 or 44100 Hz.
    void speedClick(int hertz);
    // Mouse-down on the stop button starts the slow-down; each 30 ms tick lowers the frequency.
    void stopMouseDown();
    void turntableStopTick();

    int pitch() const { return pitch_; }
    // A nudge from the jog wheel: a share of the speed on top of the pitch (+0.05 plays 5 %
    // faster) until it is set back to 0. Ignored while the turntable stop runs.
    void setNudge(double share);
    double nudge() const { return nudge_; }

    // The frequency of `pitch` over base `base` at range factor `range`, and its text.
    static int frequencyFor(int pitch, int base, double range);
    static QString pitchTextFor(int pitch, double range);

  private:
    Deck& deck_;
    audio::EngineDoor& door_;
    DeckHost& host_;
    const settings::ProgramSettings& values_;
    int pitch_ = 0;
    int pitchSeen_ = 0;
    bool bendUp_ = false;
    bool bendDown_ = false;
    double nudge_ = 0;
};

}  // namespace kelvra::decks
