// The builder as the desktop program uses it, over a fake engine: one song database behind the
// hot cues and the library's set history.
#include "app/ProgramBuilder.h"

#include <gtest/gtest.h>

#include <QTemporaryDir>

#include "core/VirtualClock.h"
#include "settings/MemorySettingsStore.h"
#include "support/FakeEngine.h"
#include "support/FakePlaylist.h"
#include "support/FileBytes.h"
#include "support/ScriptedDialogs.h"

namespace kelvra::app {
namespace {

TEST(ProgramBuilder, TheDesktopWiringKeepsHotCuesAndTheSetHistoryInOneDatabase) {
    QTemporaryDir folder;
    test::FakeEngine engine;
    test::ScriptedDialogs dialogs;
    settings::MemorySettingsStore store;
    VirtualClock clock;
    test::FakePlaylist playlist;
    const QString database = folder.filePath("library.sqlite");
    const QString song = folder.filePath("a.mp3");
    test::writeFile(song, {});
    engine.addSong(song.toStdString(), test::FakeEngine::mainSong(60 * 44100 * 4));
    {
        std::unique_ptr<Program> program = ProgramBuilder(engine, dialogs, store, clock, playlist)
                                               .folders(folder.path(), folder.path())
                                               .songDatabase(database, true)
                                               .build();
        ASSERT_NE(program->songLibrary(), nullptr);
        ASSERT_TRUE(program->songLibrary()->isOpen());
        ASSERT_NE(program->songs(), nullptr);
        ASSERT_TRUE(program->songs()->isOpen());
        MainWindow& w = program->window();
        ASSERT_TRUE(w.load(""));
        w.deck(Side::Left).loadChosenFile(song);
        w.controls().mixer.crossFader.setValue(0);
        w.controls().left.play.click();
        engine.stream(w.deck(Side::Left).stream())->setBytes(44100 * 4 * 10);
        w.controls().left.hotCue[2].click();
        clock.advance(80);  // the display tick hears the song on the main mix
        program->songLibrary()->writer().flush();
        const std::vector<library::HeardSong> history = program->songLibrary()->history();
        ASSERT_EQ(history.size(), 1u);
        EXPECT_EQ(history[0].path, song);
        EXPECT_TRUE(dialogs.messages.empty());
    }
    library::SongStore again(database);
    EXPECT_EQ(again.hotCues(song)[2], 44100 * 4 * 10);
}

}  // namespace
}  // namespace kelvra::app
