#include "app/MainWindow.h"

#include <gtest/gtest.h>

#include <QFile>
#include <QTemporaryDir>

#include "core/VirtualClock.h"
#include "settings/MemorySettingsStore.h"
#include "support/FakeEngine.h"
#include "support/FakePlaylist.h"
#include "support/FileBytes.h"
#include "support/ScriptedDialogs.h"

namespace kelvra::app {
namespace {

using test::FakeEngine;
using test::FakePlaylist;

constexpr audio::BytePosition kSecond = 44100 * 4;

class MainWindowTest : public ::testing::Test {
  protected:
    MainWindowTest() {
        song = folder.filePath("song.mp3");
        test::writeFile(song, {});
        library.addSong(song.toStdString(), FakeEngine::mainSong(90 * kSecond));
        library.addSong("/music/b.mp3", FakeEngine::mainSong(60 * kSecond));
    }

    MainWindow& window() {
        if (!window_) {
            Shell shell;
            shell.showWindow = [this] { shown = true; };
            shell.closeSplash = [this] { splashClosed = true; };
            MainWindowDeps deps{
                library,       dialogs,
                store,         clock,
                playlist,      [](const QString& path) { return path.section('/', -1); },
                folder.path(), folder.path()};
            deps.songHeard = [this](const QString& path) { heard << path; };
            window_ = std::make_unique<MainWindow>(std::move(deps), shell);
        }
        return *window_;
    }

    QTemporaryDir folder;
    QString song;
    FakeEngine library;
    test::ScriptedDialogs dialogs;
    settings::MemorySettingsStore store;
    VirtualClock clock;
    FakePlaylist playlist;
    bool shown = false, splashClosed = false;
    QStringList heard;  // the songs the set history was told of
    std::unique_ptr<MainWindow> window_;
};

TEST_F(MainWindowTest, StartUpSetsTheMixerAndDecksAndLoadsThePlaylistWindowAfterwards) {
    ASSERT_TRUE(window().load(""));
    MainControls& c = window().controls();
    EXPECT_EQ(c.mixer.crossFader.value(), 50);
    EXPECT_EQ(c.mixer.mainVolume.value(), 50);  // the design value 70 is overridden
    EXPECT_EQ(window().mixer().monitorMode(), decks::kMonitorStereo);
    EXPECT_EQ(c.mixer.monitor[2].backColour(), kColourOn);
    EXPECT_EQ(c.mixer.monitor[0].backColour(), kColourOff);
    EXPECT_EQ(c.left.display.displayText(), "Kelvra - The Ultimate DJ Mix");
    EXPECT_EQ(c.right.display.displayText(), "Kelvra - The Ultimate DJ Mix");
    for (const ButtonModel& hint : c.keyboardHints)
        EXPECT_FALSE(hint.isVisible());
    EXPECT_TRUE(window().trackLengthTimer().enabled());
    EXPECT_EQ(window().values().engine.outputRate, 22050);  // first start: FM quality
    EXPECT_TRUE(QFileInfo(folder.path() + "/Kelvra Loops").isDir());
    EXPECT_TRUE(window().helpFile().isEmpty());
    EXPECT_TRUE(shown);
    EXPECT_TRUE(splashClosed);

    EXPECT_EQ(playlist.loads, 0);
    clock.advance(1);
    EXPECT_EQ(playlist.loads, 1);
    clock.advance(100);
    EXPECT_EQ(playlist.loads, 1);  // once only
}

TEST_F(MainWindowTest, TheDropoutLampLightsAtTheFirstGapCountsAndClearsOnAClick) {
    MainWindow& w = window();
    ASSERT_TRUE(w.load(""));
    ButtonModel& lamp = w.controls().dropouts;
    w.tmrTrackLength_Timer();
    EXPECT_FALSE(lamp.isVisible());

    library.dropoutCounts = {2, 1, 0};  // two underruns, one late period
    w.tmrTrackLength_Timer();
    EXPECT_TRUE(lamp.isVisible());
    EXPECT_EQ(lamp.caption(), "\u26a0 3");
    EXPECT_TRUE(lamp.toolTip().contains("3 periods")) << lamp.toolTip().toStdString();

    lamp.click();  // the DJ has seen it
    EXPECT_FALSE(lamp.isVisible());
    w.tmrTrackLength_Timer();
    EXPECT_FALSE(lamp.isVisible());

    // Only a slow read this time: shown as silent milliseconds at the output's rate.
    library.dropoutCounts.starvedFrames = std::uint64_t(w.values().engine.outputRate) / 4;
    w.tmrTrackLength_Timer();
    EXPECT_TRUE(lamp.isVisible());
    EXPECT_EQ(lamp.caption(), "\u26a0 250 ms");
}

TEST_F(MainWindowTest, AnOutputThatFellBackIsToldOnceAfterTheTick) {
    MainWindow& w = window();
    ASSERT_TRUE(w.load(""));
    library.outputNotice = "The sound server stopped: Kelvra plays on through the default output.";
    w.tmrTrackLength_Timer();
    // Not inside the tick: the box's own event loop would run the next tick within this one.
    EXPECT_TRUE(dialogs.messages.empty());
    clock.advance(5);
    ASSERT_EQ(dialogs.messages.size(), 1u);
    EXPECT_EQ(dialogs.messages[0].text,
              QString::fromStdString("The sound server stopped: Kelvra plays on through "
                                     "the default output."));
    EXPECT_EQ(dialogs.messages[0].icon, MessageIcon::Exclamation);
    w.tmrTrackLength_Timer();
    clock.advance(200);
    EXPECT_EQ(dialogs.messages.size(), 1u);
}

TEST_F(MainWindowTest, NoOutputEndsTheStartUp) {
    library.initResult = false;
    EXPECT_FALSE(window().load(""));
    ASSERT_EQ(dialogs.messages.size(), 1u);
    EXPECT_TRUE(dialogs.messages[0].text.startsWith("Can't initialize digital sound system. "));
    EXPECT_FALSE(shown);
    EXPECT_FALSE(window().trackLengthTimer().enabled());
}

TEST_F(MainWindowTest, ASongOnTheCommandLineIsAddedAndPlaysOnTheLeftDeck) {
    const QString upper = song.left(song.size() - 4) + ".mp3";  // a lower-case extension is fine
    ASSERT_TRUE(window().load(upper));
    EXPECT_EQ(playlist.paths, QStringList{song});
    EXPECT_EQ(playlist.selected, 0);
    const audio::Handle stream = window().deck(Side::Left).stream();
    ASSERT_NE(stream, 0u);
    EXPECT_EQ(library.stream(stream)->state, audio::StreamState::Playing);
    EXPECT_EQ(window().controls().left.volume.value(), 50);
    // Stereo at the start levels: main 50, deck 50 -> volume 25, centred.
    EXPECT_EQ(library.stream(stream)->levels.volume, 25);
    EXPECT_EQ(library.stream(stream)->levels.pan, 0);
}

TEST_F(MainWindowTest, AQuotedCommandLineIsNotASong) {
    ASSERT_TRUE(window().load("\"" + song + "\""));
    EXPECT_TRUE(playlist.paths.isEmpty());
    EXPECT_EQ(window().deck(Side::Left).stream(), 0u);
}

TEST_F(MainWindowTest, ClosingIsRefusedWhileADeckPlaysAndOffersToSaveThePlaylist) {
    ASSERT_TRUE(window().load(song));
    EXPECT_FALSE(window().queryUnload());
    ASSERT_EQ(dialogs.messages.size(), 1u);
    EXPECT_EQ(dialogs.messages[0].text,
              "Can't Exit when song is playing. Pause or Stop all music before closing...");

    window().controls().left.pause.click();  // a paused deck does not block closing
    playlist.current = "/lists/friday.m3u";
    dialogs.answerNext(MessageResult::Cancel);
    EXPECT_FALSE(window().queryUnload());
    EXPECT_EQ(dialogs.messages[1].title, "Save Playlist...");
    EXPECT_EQ(dialogs.messages[1].text, "Save Playlist to /lists/friday.m3u ?");
    EXPECT_EQ(dialogs.messages[1].buttons, MessageButtons::YesNoCancel);
    EXPECT_TRUE(window().trackLengthTimer().enabled());  // Cancel keeps everything running

    playlist.current.clear();
    dialogs.answerNext(MessageResult::Yes);
    EXPECT_TRUE(window().queryUnload());
    EXPECT_EQ(dialogs.messages[2].text, "Save Playlist? ");
    EXPECT_EQ(playlist.saves, 1);
    EXPECT_FALSE(window().trackLengthTimer().enabled());
}

TEST_F(MainWindowTest, TheNextSongDroppedOnADeckLoadsIt) {
    ASSERT_TRUE(window().load(""));
    playlist.paths = {"/music/b.mp3", song};
    playlist.position = 1;
    decks::DeckControls& right = window().controls().right;

    right.pitch.drop();  // no drag started from the next-song box: ignored
    EXPECT_EQ(window().deck(Side::Right).stream(), 0u);

    window().startNextSongDrag();
    right.cueBack.drop();
    EXPECT_NE(window().deck(Side::Right).stream(), 0u);
    EXPECT_EQ(window().deck(Side::Right).songFile(), song);
    EXPECT_FALSE(window().dragFromNextSong());

    // A missing file: the message, the deck keeps its stream, the drag stays armed.
    playlist.position = 0;
    window().startNextSongDrag();
    const audio::Handle before = window().deck(Side::Right).stream();
    right.display.drop();
    ASSERT_EQ(dialogs.messages.size(), 1u);
    EXPECT_EQ(dialogs.messages[0].text, "Please make sure the file exists on the disk...");
    EXPECT_EQ(window().deck(Side::Right).stream(), before);
    EXPECT_TRUE(window().dragFromNextSong());
}

TEST_F(MainWindowTest, ALibraryDragLoadsItsFirstSongAndEachSongHeardOnTheMainMixIsToldOnce) {
    ASSERT_TRUE(window().load(""));
    decks::DeckControls& right = window().controls().right;
    window().setLibraryDrag({song, "/music/b.mp3"});
    right.display.drop();
    EXPECT_EQ(window().deck(Side::Right).songFile(), song);
    right.display.drop();  // the drag was used up: nothing more loads
    EXPECT_TRUE(dialogs.messages.empty());

    // Playing with the crossfader closed against it, the deck is cued, not heard.
    window().controls().mixer.crossFader.setValue(0);
    right.play.click();
    clock.advance(80);
    EXPECT_TRUE(heard.isEmpty());
    window().controls().mixer.crossFader.setValue(50);
    clock.advance(80);
    clock.advance(80);
    EXPECT_EQ(heard, QStringList{song});

    // A library drag of a file gone from the disk says so and leaves the deck as it was.
    window().setLibraryDrag({folder.filePath("gone.mp3")});
    window().controls().left.display.drop();
    ASSERT_EQ(dialogs.messages.size(), 1u);
    EXPECT_EQ(window().deck(Side::Left).stream(), 0u);
}

TEST_F(MainWindowTest, TheDisplayTickMovesMetersAndBars) {
    ASSERT_TRUE(window().load(song));
    const audio::Handle stream = window().deck(Side::Left).stream();
    library.stream(stream)->peaks = {16000, 16000};
    library.advance(stream, 45 * kSecond);
    clock.advance(80);
    EXPECT_EQ(window().controls().left.display.positionBar(), 50);
    EXPECT_EQ(window().controls().left.display.timeText(), "00:00:45");
    EXPECT_EQ(window().controls().left.meter.firstLevel(), 8000);
}

TEST_F(MainWindowTest, ABrowserOfVersionFourOrMoreOffersTheHelpFile) {
    store.writeSetting(settings::Hive::LocalMachine, "Software\\Microsoft\\Internet Explorer",
                       "Version", " 6.0.2900.2180 ");
    ASSERT_TRUE(window().load(""));
    EXPECT_EQ(window().helpFile(), folder.path() + "/Kelvra_help.chm");
}

}  // namespace
}  // namespace kelvra::app
