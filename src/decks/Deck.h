// One deck: loads a song into its own stream, plays it from the cue point, pauses and resumes it,
// and keeps its display (title, position bar, time) current. Both decks are this class, made with
// their side. The loader, play, pause and display procedures are written in the library
// contract's terms and go through StreamControl; what they need beyond it goes through the
// engine's door. Thread: UI thread only.
#pragma once

#include <QString>
#include <cstdint>
#include <memory>

#include "audio/EngineDoor.h"
#include "core/Clock.h"
#include "core/Dialogs.h"
#include "core/Signal.h"
#include "decks/DeckControls.h"
#include "decks/DeckHost.h"
#include "playback/StreamControl.h"

namespace kelvra::decks {

// What a deck tells the units around it. Each unit subscribes to what it reacts to, so the deck
// owns its state and never reaches into a sibling unit through the window.
struct DeckEvents {
    Signal<> loaded;         // a song went onto the deck (its stream open, or failed to open
                             // with the Auto-DJ off)
    Signal<> pitchToApply;   // the deck's pitch must reach its stream again
    Signal<> levelsToApply;  // the mixer's levels must reach the streams again (a start, a stop)
    Signal<> pitchMoved;     // the pitch controls moved: both pitch units follow them
    Signal<> wantsNextSong;  // under the Auto-DJ: finished or failed to load; the following song
};

class Deck {
  public:
    Deck(Side side, DeckControls& controls, playback::StreamControl& engine,
         audio::EngineDoor& door, Dialogs& dialogs, DeckHost& host, PlaylistPort& playlist,
         Clock& clock);

    Side side() const { return side_; }
    DeckControls& controls() { return controls_; }
    void setOther(Deck& other) { other_ = &other; }
    DeckEvents& events() { return events_; }

    // Loads songFile() into the deck (init_LeftPlayer / init_RightPlayer).
    void init_Player();
    // The play button: loads the next playlist entry into an empty deck first.
    void playClick();
    // Starts or resumes this deck (the active deck's part of play_now).
    void playNow();
    void pauseClick();
    // The play/pause button: pauses a playing deck where it is, otherwise as playClick().
    void playPauseClick();
    // The load-from-file button: adds songs to the playlist and loads the one added last.
    void openFileClick();
    // Loads a file chosen for this deck (by its load button, a drop or the command line): the
    // cue history is cleared and the play-previous-cue button dimmed.
    void loadChosenFile(const QString& path);
    // A deck that came to a halt counts as finished for the Auto-DJ: the first time, it marks
    // itself ending and asks for the following song.
    void finishedUnderAutoDJ();

    // The deck's part of the 80 ms display tick: follow playback or seek to a dragged bar.
    void updateDisplay();
    // Remembers the bar's value for the next tick, which tells a drag from playback.
    void rememberShownProgress() { shownProgress_ = controls_.display.positionBar(); }

    // Time text of the stream's length; also stores the length in bytes.
    QString getSongLength(audio::Handle stream);
    QString getTimeRemain(audio::Handle stream, std::uint32_t position, std::uint32_t length);
    // The elapsed time beside it, for a DJ who shows both.
    void showElapsed(std::uint32_t position);

    // Deck state, shared with the cue, pitch and Auto-DJ units.
    audio::Handle stream() const { return stream_; }
    // The same stream as the door names it.
    audio::StreamId streamId() const { return audio::StreamId(stream_); }
    QString songFile() const { return songFile_; }
    void setSongFile(const QString& path) { songFile_ = path; }
    std::uint32_t songLength() const { return songLength_; }
    int sampleRate() const { return sampleRate_; }
    void setSampleRate(int rate) { sampleRate_ = rate; }
    bool paused() const { return paused_; }
    void setPaused(bool paused) { paused_ = paused; }
    std::uint32_t cuePoint() const { return cuePoint_; }
    void setCuePoint(std::uint32_t position) { cuePoint_ = position; }
    std::uint32_t prevCue() const { return prevCue_; }
    std::uint32_t olderCue() const { return olderCue_; }
    void setCueHistory(std::uint32_t previous, std::uint32_t older) {
        prevCue_ = previous;
        olderCue_ = older;
    }
    bool deckEnding() const { return deckEnding_; }
    void setDeckEnding(bool ending) { deckEnding_ = ending; }
    bool cueMode() const { return cueMode_; }
    void setCueMode(bool on) { cueMode_ = on; }

    // The deck's own timers: cue search (80 ms) and turntable stop (30 ms). Their ticks belong to
    // the cue and stop units.
    Timer& cueTimer() { return *cueTimer_; }
    Timer& turntableStopTimer() { return *turntableStopTimer_; }

  private:
    bool probePath(const QString& path) const;
    void loadFailed();

    Side side_;
    DeckControls& controls_;
    playback::StreamControl& engine_;
    audio::EngineDoor& door_;
    Dialogs& dialogs_;
    DeckHost& host_;
    PlaylistPort& playlist_;
    Deck* other_ = nullptr;
    DeckEvents events_;
    std::unique_ptr<Timer> cueTimer_;
    std::unique_ptr<Timer> turntableStopTimer_;

    audio::Handle stream_ = 0;
    QString songFile_;
    std::uint32_t songLength_ = 0;
    int sampleRate_ = 44100;
    bool paused_ = false;
    std::uint32_t cuePoint_ = 0;
    std::uint32_t prevCue_ = 0;
    std::uint32_t olderCue_ = 0;
    int shownProgress_ = 0;
    bool deckEnding_ = false;
    bool cueMode_ = false;
};

// "hh:mm:ss" of a whole number of seconds (hours keep growing past 99).
QString timeText(std::int64_t seconds);

}  // namespace kelvra::decks
