#include "app/ProgramBuilder.h"

#include <QDateTime>

#include "library/SongTags.h"
#include "tags/DisplayText.h"

namespace kelvra::app {

Program::~Program() {
    window_.reset();  // the logic goes before the database and the scanner it uses
}

ProgramBuilder::ProgramBuilder(audio::LibraryOverDoor& engine, Dialogs& dialogs,
                               settings::SettingsStore& store, Clock& clock,
                               PlaylistWindowPort& playlist)
    : engine_(engine), dialogs_(dialogs), store_(store), clock_(clock), playlist_(playlist) {}

ProgramBuilder& ProgramBuilder::folders(QString programFolder, QString windowsFolder) {
    programFolder_ = std::move(programFolder);
    windowsFolder_ = std::move(windowsFolder);
    return *this;
}

ProgramBuilder& ProgramBuilder::shell(Shell shell) {
    shell_ = std::move(shell);
    return *this;
}

ProgramBuilder& ProgramBuilder::deckTitles(std::function<QString(const QString&)> title) {
    deckTitle_ = std::move(title);
    return *this;
}

ProgramBuilder& ProgramBuilder::recordings(std::function<QString()> nextPath) {
    recordingPath_ = std::move(nextPath);
    return *this;
}

ProgramBuilder& ProgramBuilder::skipSilence(std::unique_ptr<autodj::SilenceScanner> scanner) {
    scanner_ = std::move(scanner);
    return *this;
}

ProgramBuilder& ProgramBuilder::songDatabase(QString path, bool withLibrary) {
    databasePath_ = std::move(path);
    withLibrary_ = withLibrary;
    return *this;
}

ProgramBuilder& ProgramBuilder::songStore(library::SongStore* songs) {
    outsideSongs_ = songs;
    return *this;
}

ProgramBuilder& ProgramBuilder::analysis(std::function<void(Side, const QString&)> request) {
    requestAnalysis_ = std::move(request);
    return *this;
}

ProgramBuilder& ProgramBuilder::midi(controllers::MidiDevices* devices) {
    midi_ = devices;
    return *this;
}

ProgramBuilder& ProgramBuilder::afterHeard(std::function<void()> hook) {
    afterHeard_ = std::move(hook);
    return *this;
}

namespace {

// A song heard on the main mix goes into the history; one from outside the library joins it
// first, so the history can name it.
void noteHeard(audio::AudioLibrary& engine, library::Library& songs, const QString& path) {
    if (!songs.isOpen()) return;
    if (!songs.song(path)) {
        library::SongFacts facts;
        facts.path = path;
        library::copyTags(library::readSongTags(engine, path), facts);
        songs.store(std::move(facts));
    }
    songs.addHeard(path, QDateTime::currentSecsSinceEpoch());
}

}  // namespace

std::unique_ptr<Program> ProgramBuilder::build() {
    auto program = std::make_unique<Program>();
    program->scanner_ = std::move(scanner_);
    if (outsideSongs_) {
        program->songs_ = outsideSongs_;
    } else if (!databasePath_.isEmpty()) {
        if (withLibrary_) {
            // The library opens the file once (checked, migrated, set aside if damaged); the song
            // store reads on a connection of its own and writes the DJ's cues and loops through
            // the library's one writer, so a hot cue set during a scan never waits for it.
            program->library_ = std::make_unique<library::Library>(databasePath_);
            program->ownSongs_ = std::make_unique<library::SongStore>(*program->library_);
        } else {
            program->ownSongs_ = std::make_unique<library::SongStore>(databasePath_);
        }
        program->songs_ = program->ownSongs_.get();
    }

    audio::LibraryOverDoor& engine = engine_;
    if (!deckTitle_)
        deckTitle_ = [&engine](const QString& path) { return tags::get_ID3_tag(engine, path); };
    MainWindowDeps deps{engine_,        dialogs_,       store_,
                        clock_,         playlist_,      deckTitle_,
                        programFolder_, windowsFolder_, program->scanner_.get()};
    deps.requestAnalysis = requestAnalysis_;
    deps.recordingPath = recordingPath_;
    deps.songs = program->songs_;
    deps.midi = midi_;
    if (library::Library* songs = program->library_.get())
        deps.songHeard = [&engine, songs, hook = afterHeard_](const QString& path) {
            noteHeard(engine, *songs, path);
            if (hook) hook();
        };
    program->window_ = std::make_unique<MainWindow>(std::move(deps), shell_);
    return program;
}

}  // namespace kelvra::app
