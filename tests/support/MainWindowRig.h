// The main window's logic over a fake library, fake playlist and scripted dialogs, loaded as at
// start-up, with songs written as empty files the fake library knows.
#pragma once

#include <QFile>
#include <QTemporaryDir>
#include <memory>

#include "app/ProgramBuilder.h"
#include "core/VirtualClock.h"
#include "settings/MemorySettingsStore.h"
#include "support/FakeEngine.h"
#include "support/FakePlaylist.h"
#include "support/ScriptedDialogs.h"

namespace kelvra::test {

inline constexpr audio::BytePosition kStereoSecond = 44100 * 4;

struct MainWindowRig {
    // `songs` remembers hot cues across loads; none: the window runs without a song store.
    // `scanner` answers the Auto-DJ's skip-silence scans; none: skipping silence is off.
    explicit MainWindowRig(library::SongStore* songs = nullptr,
                           std::unique_ptr<autodj::SilenceScanner> scanner = {}) {
        program = app::ProgramBuilder(library, dialogs, store, clock, playlist)
                      .folders(folder.path(), folder.path())
                      .deckTitles([](const QString& path) { return path.section('/', -1); })
                      .songStore(songs)
                      .skipSilence(std::move(scanner))
                      .build();
        window = &program->window();
        loaded = window->load("");
    }

    // A song of `seconds` the fake library can open.
    QString addSong(const QString& name, int seconds = 90) {
        const QString path = folder.filePath(name);
        QFile file(path);
        if (file.open(QIODevice::WriteOnly)) file.close();
        library.addSong(path.toStdString(), FakeEngine::mainSong(seconds * kStereoSecond));
        return path;
    }

    QTemporaryDir folder;
    FakeEngine library;
    ScriptedDialogs dialogs;
    settings::MemorySettingsStore store;
    VirtualClock clock;
    FakePlaylist playlist;
    std::unique_ptr<app::Program> program;
    app::MainWindow* window = nullptr;
    bool loaded = false;
};

}  // namespace kelvra::test
