// The main window's logic: owns both decks, the mixer, the options and the window timers; runs
// the start-up load, the 80 ms display tick, the drop of the next song onto a deck and the
// orderly shutdown. Views and other windows are reached through the Shell.
// Thread: UI thread only.
#pragma once

#include <QString>
#include <functional>
#include <memory>

#include "app/ControllerLink.h"
#include "app/KeyboardMap.h"
#include "app/MainControls.h"
#include "app/PlaylistWindowPort.h"
#include "app/SetRecorder.h"
#include "audio/LibraryOverDoor.h"
#include "autodj/AutoDJ.h"
#include "core/Clock.h"
#include "core/Dialogs.h"
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
#include "settings/Options.h"
#include "settings/SettingsStore.h"

namespace kelvra::app {

// What the logic asks of the windows around it.
struct Shell {
    std::function<void()> placeWindow;              // size and centre the main window
    std::function<void()> showWindow;               // show the main window
    std::function<void()> closeSplash;              // unload the splash
    std::function<void()> showAssociationIfWanted;  // the association window's start-up offer
    std::function<void()> unloadOtherWindows;       // every window but the main one, last first
    std::function<void(bool)> busyPointer;
    std::function<void()> processEvents;
    std::function<void()> displayTicked;  // after every 80 ms display tick (session traces)
    std::function<void(const QString&)> openHelp;  // the platform's viewer for the help file
    std::function<void()> showLibrary;             // the library window; none: no library
};

struct MainWindowDeps {
    // The engine: its door for the deck units, and over it the contract the start-up, loader,
    // play, cue and mixer procedures are written in.
    audio::LibraryOverDoor& library;
    Dialogs& dialogs;
    settings::SettingsStore& store;
    Clock& clock;
    PlaylistWindowPort& playlist;
    std::function<QString(const QString& path)> deckTitle;  // the deck display's tag text
    QString programFolder;
    QString windowsFolder;                             // where the loops folder goes
    autodj::SilenceScanner* silenceScanner = nullptr;  // the Auto-DJ's skip silence; none: off
    // Asks for a loaded song's analysis; the answer comes back through analysisReady(). None:
    // no tempo, waveform or Sync.
    std::function<void(Side, const QString& path)> requestAnalysis = {};
    // Where the record button's next recording goes. None: a file named by the date and time in
    // the program folder's DJMixes.
    std::function<QString()> recordingPath = {};
    // Remembers each song's hot cues. None: they last while the song stays on its deck.
    library::SongStore* songs = nullptr;
    // The MIDI devices the controllers play through. None: the mapping is fed by scripts only.
    controllers::MidiDevices* midi = nullptr;
    // A song became audible on the main mix (once per load): the library's set history.
    std::function<void(const QString& path)> songHeard = {};
};

class MainWindow final : public decks::DeckHost {
  public:
    MainWindow(MainWindowDeps deps, Shell shell);
    ~MainWindow() override;

    MainControls& controls() { return controls_; }
    settings::OptionsControls& optionsControls() { return optionsControls_; }
    settings::Options& options() { return *options_; }
    // The controller mapping bound to the controls, and the devices that feed it (if any).
    ControllerLink& controllers() { return *controllers_; }
    settings::ProgramSettings& values() { return values_; }
    playback::StreamControl& engine() { return engine_; }
    decks::Mixer& mixer() { return *mixer_; }
    decks::Deck& deck(Side side) { return side == Side::Left ? *left_ : *right_; }
    const decks::Deck& deck(Side side) const { return side == Side::Left ? *left_ : *right_; }
    decks::DeckPitch& pitch(Side side) { return *pitch_[sideIndex(side)]; }
    decks::DeckCue& cue(Side side) { return *cue_[sideIndex(side)]; }
    decks::DeckAnalysis& deckAnalysis(Side side) { return *analysis_[sideIndex(side)]; }
    // The key of the song the main mix carries: of the playing decks heard there with a known
    // key, the louder one's; -1 when there is none. The playlist marks the songs that mix with it.
    int mixKey() const;
    // The tempo the main mix plays at, by the same rule; 0 when no heard deck has one.
    double mixBpm() const;
    // The song a deck plays on the main mix now, if it is heard there.
    std::optional<AudibleSong> audibleSong(Side side) const;
    decks::DeckJumps& jumps(Side side) { return *jumps_[sideIndex(side)]; }
    decks::DeckLoops& loops(Side side) { return *loops_[sideIndex(side)]; }
    decks::DeckKey& key(Side side) { return *key_[sideIndex(side)]; }
    decks::DeckJog& jog(Side side) { return *jog_[sideIndex(side)]; }
    Timer& trackLengthTimer() { return *tmrTrackLength_; }
    Timer& asyncTimer() { return *tmrAsync_; }
    Timer& autoFadeTimer() { return *tmrAutoFade_; }
    autodj::AutoDJ& autoDJ() { return *autoDJ_; }
    KeyboardMap& keyboard() { return *keyboard_; }
    SetRecorder& recorder() { return *recorder_; }
    QString helpFile() const { return helpFile_; }
    QString loopsFolder() const { return loopsFolder_; }

    // The window's load, start-up steps in order. False when the program must end (no output).
    bool load(const QString& commandLine);
    // The close request: false when the close is refused (a deck plays, or Cancel).
    bool queryUnload();

    void tmrTrackLength_Timer();
    void hide_keyboard_Shortcuts();
    void show_keyboard_Shortcuts();
    // F1: the help file where one is set, otherwise the message that says why there is none.
    void showHelp();
    // The Sync button of a deck: its tempo and beat to the other deck's.
    void sync(Side side);
    // The option window's display and loudness choices, applied at once.
    void applyDisplayOptions();
    void applyOutput();
    void analysisReady(Side side, const QString& path, audio::analysis::AnalysisSnapshot result);
    // Mouse-down on the next-song box: the drag that may end on a deck.
    void startNextSongDrag() {
        dragFromNextSong_ = true;
        libraryDrag_.clear();
    }
    // Songs dragged from the library, from the drag's start to its end; a deck they are dropped
    // on loads the first.
    void setLibraryDrag(const QStringList& paths) { libraryDrag_ = paths; }
    bool dragFromNextSong() const { return dragFromNextSong_; }
    void do_dragDrop() { dropOnDeck(Side::Left); }
    void do_dragdrop_RIGHT() { dropOnDeck(Side::Right); }

    // Follows both pitch sliders and the bend buttons.
    void run_pitchTimer_timer();
    void run_volume_timer() { mixer_->run_volume_timer(); }

    // DeckHost
    Side activeDeck() const override { return activeDeck_; }
    void setActiveDeck(Side side) override { activeDeck_ = side; }
    bool autoDJOn() const override { return autoDJ_->autoDJOn(); }
    int mixScale() const override { return mixer_->mixScale(); }
    int deckPan() const override { return deckPan_; }
    void run_cue_mousedown() override { cue_[sideIndex(activeDeck_)]->recordCue(); }
    void focusMixer() override { controls_.focus.request(FocusTarget::Mixer); }
    void focusPlay(Side side) override {
        controls_.focus.request(side == Side::Left ? FocusTarget::LeftPlay
                                                   : FocusTarget::RightPlay);
    }
    QString deckTitle(const QString& path) override { return deps_.deckTitle(path); }
    void setBusyPointer(bool busy) override;
    void processEvents() override;
    QString applicationTitle() const override { return QStringLiteral("Kelvra"); }

  private:
    // The display options as the program's values have them: waveforms, elapsed time, docking.
    void showDisplayOptions();
    // Each song newly heard on the main mix goes into the set history.
    void noteHeardSongs();
    // A song went onto a deck: the waveform follows it and its analysis is asked for.
    void songLoaded(Side side);
    // The waveform strip follows the deck: its song, cue point, play head and speed.
    void followWaveform(Side side);
    // The title bar's dropout lamp, from the output's counts since the last clear.
    void showDropouts();
    void dropOnDeck(Side side);
    void connectDropTargets(Side side);
    void readHelpVersion();
    void makeRecorder();
    void disable_Timers();

    MainWindowDeps deps_;
    Shell shell_;
    MainControls controls_;
    settings::OptionsControls optionsControls_;
    settings::ProgramSettings values_;
    playback::StreamControl engine_;
    // Before the options, whose controllers section reaches it until the options go.
    std::unique_ptr<ControllerLink> controllers_;
    std::unique_ptr<settings::Options> options_;
    std::unique_ptr<decks::Mixer> mixer_;
    std::unique_ptr<decks::Deck> left_;
    std::unique_ptr<decks::Deck> right_;
    std::unique_ptr<decks::DeckPitch> pitch_[2];
    std::unique_ptr<decks::DeckCue> cue_[2];
    std::unique_ptr<decks::DeckAnalysis> analysis_[2];
    std::unique_ptr<decks::DeckTone> tone_[2];
    std::unique_ptr<decks::DeckJumps> jumps_[2];
    std::unique_ptr<decks::DeckLoops> loops_[2];
    std::unique_ptr<decks::DeckKey> key_[2];
    std::unique_ptr<decks::DeckJog> jog_[2];
    std::unique_ptr<Timer> tmrTrackLength_;
    std::unique_ptr<Timer> tmrAsync_;
    std::unique_ptr<Timer> tmrAutoFade_;
    // Shows a word about the output once the display tick is over, so that the box's own event
    // loop never runs inside a tick.
    std::unique_ptr<Timer> tmrNotice_;
    QString outputNotice_;
    std::unique_ptr<autodj::DeckAdapter> autoDJDecks_[2];
    std::unique_ptr<autodj::AutoDJ> autoDJ_;
    std::unique_ptr<KeyboardMap> keyboard_;
    std::unique_ptr<SetRecorder> recorder_;

    Side activeDeck_ = Side::Left;
    int deckPan_ = 0;
    bool dragFromNextSong_ = false;
    QStringList libraryDrag_;
    std::array<bool, 2> heardNoted_{};  // the song on each deck went into the history
    audio::DropoutCounts dropoutsCleared_;
    int ieMajor_ = 0;
    int ieMinor_ = 0;
    QString helpFile_;
    QString loopsFolder_;
};

}  // namespace kelvra::app
