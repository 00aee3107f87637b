// One deck's cue point: the Cue button with its short history (cue, previous, older), the
// cue-edit mode entered by a right-button press on Play, the << and >> search buttons whose
// timer loops the sound at the cue point, play-previous-cue and reset. Both decks are this
// class, made with their deck. Thread: UI thread only.
#pragma once

#include "decks/Deck.h"
#include "playback/StreamControl.h"

namespace kelvra::decks {

class DeckCue {
  public:
    DeckCue(Deck& deck, playback::StreamControl& engine, audio::EngineDoor& door, DeckHost& host);

    // Records a cue point (run_cue_mousedown, for this deck).
    void recordCue();
    void cueMouseDown();
    void cueClick();
    // A press on the play button: the right button enters cue-edit mode.
    void playMouseDown(Qt::MouseButton button);
    enum class Search { Back, Forward };
    void searchMouseDown(Search way);
    void searchMouseUp(Search way);
    void searchTick();
    void playCueClick();
    void resetCueClick();

  private:
    bool playing();
    // Starts the stream and follows with the mixer, or says the song cannot play.
    void startOrComplain();

    Deck& deck_;
    playback::StreamControl& engine_;
    audio::EngineDoor& door_;
    DeckHost& host_;
    bool searchBack_ = false;
    bool searchForward_ = false;
};

}  // namespace kelvra::decks
