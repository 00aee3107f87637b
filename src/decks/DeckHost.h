// What a deck needs from the window around it: shared mixer and Auto-DJ state, the playlist, the
// song titles, focus and the busy pointer. What a deck tells its sibling units goes through its
// events (Deck.h) instead.
// Thread: UI thread only.
#pragma once

#include <QString>

#include "core/Side.h"

namespace kelvra::decks {

// The playlist as the decks see it.
class PlaylistPort {
  public:
    virtual ~PlaylistPort() = default;
    virtual int playlistPosition() const = 0;
    virtual int count() const = 0;
    // The path of entry `index`, or empty when there is no such entry.
    virtual QString pathAt(int index) const = 0;
    // Presses the playlist's add button: asks for files, appends them, makes the added entry the
    // next song and sets addedSongPath() (empty when the dialog was cancelled).
    virtual void pressAdd() = 0;
    virtual QString addedSongPath() const = 0;
    // Selects entry `index` in the playlist window.
    virtual void selectEntry(int index) = 0;
    // Moves the next-song pointer on by one, as the next-song button does.
    virtual void advance() = 0;
};

class DeckHost {
  public:
    virtual ~DeckHost() = default;

    virtual Side activeDeck() const = 0;
    virtual void setActiveDeck(Side side) = 0;
    virtual bool autoDJOn() const = 0;
    virtual int mixScale() const = 0;
    virtual int deckPan() const = 0;  // pan of a freshly loaded stream

    // Input focus to the mixer panel, so a slider or button never keeps the keyboard; and to a
    // deck's play button after a base-frequency choice.
    virtual void focusMixer() {}
    // Records a cue point for the active deck (cue unit).
    virtual void run_cue_mousedown() {}
    virtual void focusPlay(Side) {}

    // The title line of a song for the deck display.
    virtual QString deckTitle(const QString& path) = 0;
    // The busy pointer while a deck loads.
    virtual void setBusyPointer(bool busy) = 0;
    // Lets pending window events run (the Auto-DJ path of a failed load).
    virtual void processEvents() = 0;
    virtual QString applicationTitle() const = 0;
};

}  // namespace kelvra::decks
