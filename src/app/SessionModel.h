// The mixing session without a window: both decks and their units, the mixer, the Auto-DJ and the
// set recorder, with the 80 ms display tick that keeps them shown. What changed is told to
// listeners (SessionEvents); the desktop window, the headless program and the tests only show it
// and forward input to the controls. Thread: UI thread only.
#pragma once

#include <QString>
#include <QStringList>
#include <array>
#include <functional>
#include <memory>
#include <optional>

#include "app/MainControls.h"
#include "app/PlaylistWindowPort.h"
#include "app/SetRecorder.h"
#include "audio/LibraryOverDoor.h"
#include "autodj/AutoDJ.h"
#include "core/Clock.h"
#include "core/Dialogs.h"
#include "core/Signal.h"
#include "decks/Deck.h"
#include "decks/DeckAnalysis.h"
#include "decks/DeckCue.h"
#include "decks/DeckJog.h"
#include "decks/DeckJumps.h"
#include "decks/DeckKey.h"
#include "decks/DeckLoops.h"
#include "decks/DeckPitch.h"
#include "decks/DeckTone.h"
#include "decks/Mixer.h"
#include "playback/StreamControl.h"
#include "settings/ProgramSettings.h"

namespace kelvra::app {

// What the session tells its listeners. Each is told when it happens, never from a widget's paint.
struct SessionEvents {
    Signal<Side> loaded;                  // a song went onto the deck (its units have taken it up)
    Signal<Side, bool> playing;           // the deck started or stopped sounding
    Signal<Side> analysed;                // the deck's song's tempo, key and waveform arrived
    Signal<int, double> mix;              // the key (-1: none) and tempo (0: none) of the main mix
    Signal<const QString&> heard;         // a song became audible on the main mix (once a load)
    Signal<const QString&> outputNotice;  // a word for the DJ about the output
    Signal<> ticked;                      // a display tick is over
};

class SessionModel final : public decks::DeckHost {
  public:
    struct Parts {
        audio::LibraryOverDoor& library;
        Dialogs& dialogs;
        Clock& clock;
        PlaylistWindowPort& playlist;
        MainControls& controls;
        settings::ProgramSettings& values;
        std::function<QString(const QString& path)> deckTitle;
        std::function<QString()> recordingPath;  // where the next recording goes
        autodj::SilenceScanner* silenceScanner = nullptr;
        // Asks for a loaded song's analysis; the answer comes back through analysisReady().
        std::function<void(Side, const QString& path)> requestAnalysis = {};
        library::SongStore* songs = nullptr;
        // What the window around does while a deck loads; none headless.
        std::function<void(bool)> busyPointer = {};
        std::function<void()> processEvents = {};
    };

    explicit SessionModel(Parts parts);
    ~SessionModel() override;

    SessionEvents& events() { return events_; }
    playback::StreamControl& engine() { return engine_; }
    decks::Mixer& mixer() { return *mixer_; }
    decks::Deck& deck(Side side) { return *decks_[sideIndex(side)]; }
    const decks::Deck& deck(Side side) const { return *decks_[sideIndex(side)]; }
    decks::DeckPitch& pitch(Side side) { return *pitch_[sideIndex(side)]; }
    decks::DeckCue& cue(Side side) { return *cue_[sideIndex(side)]; }
    decks::DeckAnalysis& analysis(Side side) { return *analysis_[sideIndex(side)]; }
    decks::DeckJumps& jumps(Side side) { return *jumps_[sideIndex(side)]; }
    decks::DeckLoops& loops(Side side) { return *loops_[sideIndex(side)]; }
    decks::DeckKey& key(Side side) { return *key_[sideIndex(side)]; }
    decks::DeckJog& jog(Side side) { return *jog_[sideIndex(side)]; }
    autodj::AutoDJ& autoDJ() { return *autoDJ_; }
    SetRecorder& recorder() { return *recorder_; }
    Timer& displayTimer() { return *displayTimer_; }
    Timer& autoFadeTimer() { return *autoFadeTimer_; }

    // Start-up, in the order the program's load gives: the mixer's and decks' start values, then
    // the output, then the timers that follow it.
    void setStartValues();
    bool openOutput();
    void start();
    // Every session timer off, as at start-up and shutdown.
    void disableTimers();

    // The display tick (80 ms): meters first, then the held bends, the decks' displays, then what
    // follows them (analysis, waveforms, recording, the mix), and the Auto-DJ's trigger last.
    void tick();

    // Whether the deck was sounding at the last display tick.
    bool playing(Side side) const { return playing_[sideIndex(side)]; }
    // The key of the song the main mix carries: of the playing decks heard there with a known
    // key, the louder one's; -1 when there is none. As of the last display tick.
    int mixKey() const { return mixKey_; }
    // The tempo the main mix plays at, by the same rule; 0 when no heard deck has one.
    double mixBpm() const { return mixBpm_; }
    // The songs that key and tempo are taken from (one, or one each), as of the same tick.
    QStringList mixSongs() const;
    // The song a deck plays on the main mix now, if it is heard there (asked of the engine).
    std::optional<AudibleSong> audibleSong(Side side) const;
    // Whether either deck plays now (asked of the engine: shutdown is refused while one does).
    bool anyDeckPlaying() const;

    void analysisReady(Side side, const QString& path, audio::analysis::AnalysisSnapshot result);
    // Follows both pitch sliders and the bend buttons.
    void run_pitchTimer_timer();
    // The Sync button of a deck: its tempo and beat to the other deck's.
    void sync(Side side);
    void applyLoudness();

    // DeckHost
    Side activeDeck() const override { return activeDeck_; }
    void setActiveDeck(Side side) override { activeDeck_ = side; }
    bool autoDJOn() const override { return autoDJ_->autoDJOn(); }
    int mixScale() const override { return mixer_->mixScale(); }
    int deckPan() const override { return deckPan_; }
    void run_cue_mousedown() override { cue_[sideIndex(activeDeck_)]->recordCue(); }
    void focusMixer() override { parts_.controls.focus.request(FocusTarget::Mixer); }
    void focusPlay(Side side) override {
        parts_.controls.focus.request(side == Side::Left ? FocusTarget::LeftPlay
                                                         : FocusTarget::RightPlay);
    }
    QString deckTitle(const QString& path) override { return parts_.deckTitle(path); }
    void setBusyPointer(bool busy) override;
    void processEvents() override;
    QString applicationTitle() const override { return QStringLiteral("Kelvra"); }

  private:
    void songLoaded(Side side);
    // The waveform strip follows the deck: its song, cue point, play head and speed.
    void followWaveform(Side side);
    void showKeys();
    void notePlayStates();
    void noteHeardSongs();
    void publishMix();
    bool heardOnMainMix(Side side) const;

    Parts parts_;
    SessionEvents events_;
    playback::StreamControl engine_;
    // Made before the decks: timers due at the same moment fire in the order they were made.
    std::unique_ptr<Timer> displayTimer_;
    std::unique_ptr<Timer> autoFadeTimer_;
    std::unique_ptr<decks::Mixer> mixer_;
    std::array<std::unique_ptr<decks::Deck>, 2> decks_;
    std::unique_ptr<decks::DeckPitch> pitch_[2];
    std::unique_ptr<decks::DeckCue> cue_[2];
    std::unique_ptr<decks::DeckAnalysis> analysis_[2];
    std::unique_ptr<decks::DeckTone> tone_[2];
    std::unique_ptr<decks::DeckJumps> jumps_[2];
    std::unique_ptr<decks::DeckLoops> loops_[2];
    std::unique_ptr<decks::DeckKey> key_[2];
    std::unique_ptr<decks::DeckJog> jog_[2];
    std::unique_ptr<autodj::DeckAdapter> autoDJDecks_[2];
    std::unique_ptr<autodj::AutoDJ> autoDJ_;
    std::unique_ptr<SetRecorder> recorder_;

    Side activeDeck_ = Side::Left;
    int deckPan_ = 0;
    std::array<bool, 2> playing_{};
    std::array<bool, 2> heardNoted_{};  // the song on each deck was told as heard
    int mixKey_ = -1;
    double mixBpm_ = 0;
    std::optional<Side> mixKeySide_, mixBpmSide_;
};

}  // namespace kelvra::app
