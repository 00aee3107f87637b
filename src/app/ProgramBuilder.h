// Wires the program's logic the same way wherever it runs: the desktop program, a headless
// session and the tests. What differs between them (the engine, the clock, the dialogs, the
// settings, the playlist, how songs are analysed) is handed in; the song database (opened once),
// the set history, the Auto-DJ's silence scanner and the window's logic over the session model
// are made here. Thread: UI thread only.
#pragma once

#include <QString>
#include <functional>
#include <memory>

#include "app/MainWindow.h"
#include "autodj/SilenceScan.h"
#include "library/Library.h"
#include "library/SongStore.h"

namespace kelvra::app {

// What the builder made, owned together and let go in the right order (the logic before the
// database and the scanner it uses).
class Program {
  public:
    ~Program();
    MainWindow& window() { return *window_; }
    // The song database: hot cues and loops; none when the program runs without one.
    library::SongStore* songs() { return songs_; }
    // The music library over the same database; none unless it was asked for.
    library::Library* songLibrary() { return library_.get(); }

  private:
    friend class ProgramBuilder;
    std::unique_ptr<autodj::SilenceScanner> scanner_;
    std::unique_ptr<library::Library> library_;
    std::unique_ptr<library::SongStore> ownSongs_;
    library::SongStore* songs_ = nullptr;
    std::unique_ptr<MainWindow> window_;
};

class ProgramBuilder {
  public:
    ProgramBuilder(audio::LibraryOverDoor& engine, Dialogs& dialogs, settings::SettingsStore& store,
                   Clock& clock, PlaylistWindowPort& playlist);

    // Where the program's companion files are, and where its loops folder goes.
    ProgramBuilder& folders(QString programFolder, QString windowsFolder);
    ProgramBuilder& shell(Shell shell);
    // The deck display's title of a song. Default: its tags as the display shows them.
    ProgramBuilder& deckTitles(std::function<QString(const QString& path)> title);
    // Where the record button's next recording goes. Default: the program folder's DJMixes.
    ProgramBuilder& recordings(std::function<QString()> nextPath);
    ProgramBuilder& skipSilence(std::unique_ptr<autodj::SilenceScanner> scanner);
    // The song database at `path`, for hot cues and loops; with `withLibrary` the music library
    // and its set history over the same file too. Opened (and checked) once either way.
    ProgramBuilder& songDatabase(QString path, bool withLibrary);
    // A song store someone else owns, instead of a database of the program's own.
    ProgramBuilder& songStore(library::SongStore* songs);
    // Asks for a loaded song's analysis; the answer goes to the window's analysisReady().
    ProgramBuilder& analysis(std::function<void(Side, const QString& path)> request);
    ProgramBuilder& midi(controllers::MidiDevices* devices);
    // After a heard song went into the library's history (the library window shows it anew).
    ProgramBuilder& afterHeard(std::function<void()> hook);

    std::unique_ptr<Program> build();

  private:
    audio::LibraryOverDoor& engine_;
    Dialogs& dialogs_;
    settings::SettingsStore& store_;
    Clock& clock_;
    PlaylistWindowPort& playlist_;
    QString programFolder_;
    QString windowsFolder_;
    Shell shell_;
    std::function<QString(const QString&)> deckTitle_;
    std::function<QString()> recordingPath_;
    std::unique_ptr<autodj::SilenceScanner> scanner_;
    QString databasePath_;
    bool withLibrary_ = false;
    library::SongStore* outsideSongs_ = nullptr;
    std::function<void(Side, const QString&)> requestAnalysis_;
    controllers::MidiDevices* midi_ = nullptr;
    std::function<void()> afterHeard_;
};

}  // namespace kelvra::app
