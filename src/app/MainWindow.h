// The main window's logic around the session model: owns the session, the options, the
// controllers, the keyboard map and the window's own timers; runs the start-up load, the drop of
// a song onto a deck, help and the orderly shutdown, and shows what the session tells it. Views and
// other windows are reached through the Shell. Thread: UI thread only.
#pragma once

#include <QString>
#include <functional>
#include <memory>

#include "app/ControllerLink.h"
#include "app/KeyboardMap.h"
#include "app/MainControls.h"
#include "app/PlaylistWindowPort.h"
#include "app/SessionModel.h"
#include "effects/EffectCatalogue.h"
#include "effects/EffectUnits.h"
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
    // The plugins the effect list offers beyond the built-ins. None: built-ins only.
    std::function<effects::EffectCatalogue::Plugins()> effectPlugins = {};
};

class MainWindow final {
  public:
    MainWindow(MainWindowDeps deps, Shell shell);
    ~MainWindow();

    SessionModel& session() { return *session_; }
    const SessionModel& session() const { return *session_; }
    MainControls& controls() { return controls_; }
    settings::OptionsControls& optionsControls() { return optionsControls_; }
    settings::Options& options() { return *options_; }
    // The controller mapping bound to the controls, and the devices that feed it (if any).
    ControllerLink& controllers() { return *controllers_; }
    settings::ProgramSettings& values() { return values_; }

    // The session's parts, as the window's callers have always reached them.
    playback::StreamControl& engine() { return session_->engine(); }
    decks::Mixer& mixer() { return session_->mixer(); }
    decks::Deck& deck(Side side) { return session_->deck(side); }
    const decks::Deck& deck(Side side) const { return session_->deck(side); }
    decks::DeckPitch& pitch(Side side) { return session_->pitch(side); }
    decks::DeckCue& cue(Side side) { return session_->cue(side); }
    decks::DeckAnalysis& deckAnalysis(Side side) { return session_->analysis(side); }
    decks::DeckJumps& jumps(Side side) { return session_->jumps(side); }
    decks::DeckLoops& loops(Side side) { return session_->loops(side); }
    decks::DeckKey& key(Side side) { return session_->key(side); }
    decks::DeckJog& jog(Side side) { return session_->jog(side); }
    autodj::AutoDJ& autoDJ() { return session_->autoDJ(); }
    SetRecorder& recorder() { return session_->recorder(); }
    Timer& trackLengthTimer() { return session_->displayTimer(); }
    Timer& autoFadeTimer() { return session_->autoFadeTimer(); }
    int mixKey() const { return session_->mixKey(); }
    double mixBpm() const { return session_->mixBpm(); }
    QStringList mixSongs() const { return session_->mixSongs(); }
    Side activeDeck() const { return session_->activeDeck(); }
    void setActiveDeck(Side side) { session_->setActiveDeck(side); }
    bool autoDJOn() const { return session_->autoDJOn(); }
    void run_cue_mousedown() { session_->run_cue_mousedown(); }
    void tmrTrackLength_Timer() { session_->tick(); }
    void run_pitchTimer_timer() { session_->run_pitchTimer_timer(); }
    void run_volume_timer() { session_->mixer().run_volume_timer(); }
    void sync(Side side) { session_->sync(side); }
    void analysisReady(Side side, const QString& path, audio::analysis::AnalysisSnapshot result) {
        session_->analysisReady(side, path, std::move(result));
    }
    QString applicationTitle() const { return session_->applicationTitle(); }

    effects::EffectUnits& effects() { return *effects_; }
    effects::EffectCatalogue& effectCatalogue() { return *effectCatalogue_; }

    Timer& asyncTimer() { return *tmrAsync_; }
    KeyboardMap& keyboard() { return *keyboard_; }
    QString helpFile() const { return helpFile_; }
    QString loopsFolder() const { return loopsFolder_; }

    // The window's load, start-up steps in order. False when the program must end (no output).
    bool load(const QString& commandLine);
    // The close request: false when the close is refused (a deck plays, or Cancel).
    bool queryUnload();

    void hide_keyboard_Shortcuts();
    void show_keyboard_Shortcuts();
    // F1: the help file where one is set, otherwise the message that says why there is none.
    void showHelp();
    // The option window's display and loudness choices, applied at once.
    void applyDisplayOptions();
    void applyOutput();
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

  private:
    // The display options as the program's values have them: waveforms, elapsed time, docking.
    void showDisplayOptions();
    void followEffectTempos();
    // The title bar's dropout lamp, from the output's counts since the last clear.
    void showDropouts();
    // A word for the DJ, shown once the display tick is over, so that the box's own event loop
    // never runs inside a tick.
    void tellLater(const QString& text);
    void dropOnDeck(Side side);
    void connectDropTargets(Side side);
    void readHelpVersion();

    MainWindowDeps deps_;
    Shell shell_;
    MainControls controls_;
    settings::OptionsControls optionsControls_;
    settings::ProgramSettings values_;
    std::unique_ptr<SessionModel> session_;
    std::unique_ptr<Timer> tmrAsync_;
    std::unique_ptr<Timer> tmrNotice_;
    QString outputNotice_;
    // Before the options, whose controllers section reaches it until the options go.
    std::unique_ptr<ControllerLink> controllers_;
    std::unique_ptr<settings::Options> options_;
    std::unique_ptr<KeyboardMap> keyboard_;
    std::unique_ptr<effects::EffectCatalogue> effectCatalogue_;
    std::unique_ptr<effects::EffectUnits> effects_;

    bool dragFromNextSong_ = false;
    QStringList libraryDrag_;
    audio::DropoutCounts dropoutsCleared_;
    int ieMajor_ = 0;
    int ieMinor_ = 0;
    QString helpFile_;
    QString loopsFolder_;
};

}  // namespace kelvra::app
