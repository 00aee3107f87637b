// The Auto-DJ inside the main window's logic: real decks and mixer over the fake audio library,
// the playlist as a list of paths, time on the virtual clock with playing streams moved along.
#include "autodj/AutoDJ.h"

#include <gtest/gtest.h>

#include "support/MainWindowRig.h"

namespace kelvra::autodj {
namespace {

using test::FakeEngine;
constexpr audio::BytePosition kSecond = 44100 * 4;

// Answers scans only when the test says so.
class ManualScanner final : public SilenceScanner {
  public:
    void setOnResult(OnResult onResult) override { onResult_ = std::move(onResult); }
    void request(const QString& path) override { requests << path; }
    void answer(const QString& path, std::optional<AudibleSpan> span) { onResult_(path, span); }
    QStringList requests;

  private:
    OnResult onResult_;
};

class AutoDJTest : public ::testing::Test {
  protected:
    AutoDJTest() {
        EXPECT_TRUE(rig.loaded);
        for (const char* name : {"/music/a.mp3", "/music/b.mp3", "/music/c.mp3"})
            library.addSong(name, FakeEngine::mainSong(60 * kSecond));
        playlist.paths = {"/music/a.mp3", "/music/b.mp3", "/music/c.mp3"};
    }

    app::MainWindow& window() { return *rig.window; }
    AutoDJ& autoDJ() { return window().autoDJ(); }
    decks::Deck& deck(Side side) { return window().deck(side); }
    int crossFader() { return window().controls().mixer.crossFader.value(); }
    bool playing(Side side) { return playback::isStreamPlaying(library, deck(side).stream()) != 0; }
    QString song(Side side) { return deck(side).songFile(); }
    audio::BytePosition position(Side side) { return library.stream(deck(side).stream())->bytes(); }
    void clickAutoDJ() { window().controls().mixer.autoDJ.click(); }

    // Moves time on in 10 ms steps, the playing streams with it.
    void run(int milliseconds) {
        for (int t = 0; t < milliseconds; t += 10) {
            for (Side side : {Side::Left, Side::Right})
                library.advance(deck(side).stream(), kSecond / 100);
            clock.advance(10);
        }
    }

    ManualScanner* scanner = new ManualScanner;  // the program owns it
    test::MainWindowRig rig{nullptr, std::unique_ptr<SilenceScanner>(scanner)};
    FakeEngine& library = rig.library;
    test::ScriptedDialogs& dialogs = rig.dialogs;
    VirtualClock& clock = rig.clock;
    test::FakePlaylist& playlist = rig.playlist;
};

TEST_F(AutoDJTest, AnEmptyPlaylistGivesTheMessageAndTheButtonStaysDark) {
    playlist.paths.clear();
    clickAutoDJ();
    ASSERT_EQ(dialogs.messages.size(), 1u);
    EXPECT_EQ(dialogs.messages[0].title, "AutoDJ - No playlist loaded...");
    EXPECT_EQ(dialogs.messages[0].text, "Please load or create a playlist first...");
    EXPECT_EQ(dialogs.messages[0].icon, MessageIcon::Information);
    EXPECT_EQ(window().controls().mixer.autoDJ.backColour(), kColourOff);
    EXPECT_FALSE(window().autoDJOn());
    EXPECT_FALSE(window().autoFadeTimer().enabled());
    EXPECT_EQ(deck(Side::Right).stream(), 0u);
}

TEST_F(AutoDJTest, FromTheCentreTheRightDeckStartsAtTheFirstStepAndTheFadeTakes25Steps) {
    window().controls().right.volume.setValue(70);
    std::vector<Side> started;
    autoDJ().setOnDeckStarted([&](Side side) { started.push_back(side); });
    clickAutoDJ();
    EXPECT_EQ(window().controls().mixer.autoDJ.backColour(), kColourOn);
    // The pointer moves on first: entry 1 goes to the right deck at full deck level.
    EXPECT_EQ(song(Side::Right), "/music/b.mp3");
    EXPECT_EQ(playlist.selected, 1);
    EXPECT_EQ(window().controls().right.volume.value(), 0);
    EXPECT_TRUE(autoDJ().fadeToRight());
    EXPECT_FALSE(playing(Side::Right));

    run(100);
    EXPECT_EQ(crossFader(), 52);
    EXPECT_TRUE(playing(Side::Right));
    EXPECT_EQ(started, std::vector<Side>{Side::Right});
    run(24 * 100);
    EXPECT_EQ(crossFader(), 100);
    EXPECT_TRUE(window().autoFadeTimer().enabled());
    run(100);
    EXPECT_FALSE(window().autoFadeTimer().enabled());
    EXPECT_EQ(crossFader(), 100);
}

TEST_F(AutoDJTest, PastTheStartPointTheOtherDeckGetsTheNextEntryAndTheFadeTurnsLeft) {
    clickAutoDJ();
    run(100);
    const audio::BytePosition started = position(Side::Right);
    // 85 % of 60 s is 51 s; the trigger wants more than 85, i.e. 85.5 % (51.3 s) rounded up.
    while (position(Side::Right) - started < 51 * kSecond)
        run(10);
    run(200);
    EXPECT_TRUE(song(Side::Left).isEmpty());
    run(200);
    EXPECT_EQ(song(Side::Left), "/music/c.mp3");
    EXPECT_EQ(playlist.selected, 2);
    EXPECT_TRUE(deck(Side::Right).deckEnding());
    EXPECT_FALSE(deck(Side::Left).deckEnding());
    EXPECT_TRUE(autoDJ().fadeToLeft());
    // From 100 the left deck starts once the crossfader is below 61: after 20 steps.
    run(19 * 100);
    EXPECT_FALSE(playing(Side::Left));
    run(100);
    EXPECT_EQ(crossFader(), 60);
    EXPECT_TRUE(playing(Side::Left));
    EXPECT_TRUE(playing(Side::Right));  // the outgoing deck plays on
    run(30 * 100);
    EXPECT_EQ(crossFader(), 0);
    // The next pass wraps to the first entry.
    while (position(Side::Left) < 52 * kSecond)
        run(80);
    EXPECT_EQ(song(Side::Right), "/music/a.mp3");
    EXPECT_EQ(playlist.selected, 0);
}

TEST_F(AutoDJTest, TheRightDeckIsExaminedFirst) {
    clickAutoDJ();
    run(100);
    deck(Side::Left).loadChosenFile("/music/a.mp3");
    for (Side side : {Side::Left, Side::Right}) {
        library.stream(deck(side).stream())->setBytes(55 * kSecond);
        deck(side).setDeckEnding(false);
    }
    run(80);
    // The right deck triggered and loaded the left one; the fresh left song is not past its start.
    EXPECT_TRUE(deck(Side::Right).deckEnding());
    EXPECT_FALSE(deck(Side::Left).deckEnding());
    EXPECT_EQ(song(Side::Left), "/music/c.mp3");
    EXPECT_EQ(song(Side::Right), "/music/b.mp3");
}

TEST_F(AutoDJTest, AtAStartOf100ADeckTriggersOnlyAtTheEnd) {
    window().values().AutomixStart = 100;
    clickAutoDJ();
    run(100);
    library.stream(deck(Side::Right).stream())->setBytes(59 * kSecond + kSecond / 2);  // 99.2 %
    run(80);
    EXPECT_TRUE(song(Side::Left).isEmpty());
    library.stream(deck(Side::Right).stream())->setBytes(59 * kSecond + 7 * kSecond / 10);
    run(80);  // 99.5 % shows as 100
    EXPECT_EQ(song(Side::Left), "/music/c.mp3");
}

TEST_F(AutoDJTest, AOneEntryPlaylistLoadsTheSameSongIntoTheOtherDeckEachTime) {
    playlist.paths = {"/music/a.mp3"};
    clickAutoDJ();
    EXPECT_EQ(song(Side::Right), "/music/a.mp3");
    run(100);
    library.stream(deck(Side::Right).stream())->setBytes(55 * kSecond);
    run(80);
    EXPECT_EQ(song(Side::Left), "/music/a.mp3");
    EXPECT_EQ(playlist.position, 0);
    run(6000);
    library.stream(deck(Side::Left).stream())->setBytes(55 * kSecond);
    run(80);
    EXPECT_TRUE(deck(Side::Left).deckEnding());
    EXPECT_EQ(library.stream(deck(Side::Right).stream())->bytes(), 0u);  // reloaded, at byte 1
}

TEST_F(AutoDJTest, NextAndPreviousWrapAndAnEmptyListDoesNothing) {
    app::MainControls& c = window().controls();
    playlist.position = 2;
    c.nextSong.click();
    EXPECT_EQ(playlist.position, 0);
    EXPECT_EQ(playlist.selected, 0);
    c.previousSong.click();
    EXPECT_EQ(playlist.position, 2);
    c.previousSong.click();
    EXPECT_EQ(playlist.position, 1);
    EXPECT_EQ(deck(Side::Left).stream(), 0u);  // no deck is loaded

    playlist.paths.clear();
    const int selections = playlist.selections;
    c.nextSong.click();
    c.previousSong.click();
    EXPECT_EQ(playlist.selections, selections);
}

TEST_F(AutoDJTest, GetNextSongLoadsThePointedEntryIntoTheActiveDeck) {
    playlist.position = 2;
    window().setActiveDeck(Side::Right);
    autoDJ().get_next_song();
    EXPECT_EQ(song(Side::Right), "/music/c.mp3");
    EXPECT_TRUE(song(Side::Left).isEmpty());
}

TEST_F(AutoDJTest, SwitchingOffMidFadeFreezesTheCrossfader) {
    clickAutoDJ();
    run(1000);
    EXPECT_EQ(crossFader(), 70);
    clickAutoDJ();
    EXPECT_EQ(window().controls().mixer.autoDJ.backColour(), kColourOff);
    EXPECT_FALSE(window().autoFadeTimer().enabled());
    run(1000);
    EXPECT_EQ(crossFader(), 70);
    EXPECT_TRUE(playing(Side::Right));
    // No trigger while off.
    library.stream(deck(Side::Right).stream())->setBytes(55 * kSecond);
    run(80);
    EXPECT_TRUE(song(Side::Left).isEmpty());
}

TEST_F(AutoDJTest, AFailedEntryIsSkippedAndTheFadeTurnsBack) {
    playlist.paths = {"/music/a.mp3", "/music/missing.mp3", "/music/c.mp3"};
    deck(Side::Left).loadChosenFile("/music/a.mp3");
    window().controls().left.play.click();
    clickAutoDJ();
    // Entry 1 fails on the right deck; entry 2 replaces the left deck's song, the fade goes left.
    EXPECT_TRUE(dialogs.messages.empty());
    EXPECT_EQ(deck(Side::Right).stream(), 0u);
    EXPECT_EQ(song(Side::Left), "/music/c.mp3");
    EXPECT_EQ(playlist.selected, 2);
    EXPECT_TRUE(autoDJ().fadeToLeft());
    EXPECT_TRUE(window().autoDJOn());
    run(100);
    EXPECT_EQ(crossFader(), 48);
    EXPECT_TRUE(playing(Side::Left));
}

TEST_F(AutoDJTest, AnOfflineMixKeepsThePlayingSongAndStopsAfterOnePass) {
    playlist.paths = {"/music/a.mp3", "/music/x.mp3", "/music/y.mp3", "/music/c.mp3",
                      "/music/z.mp3"};
    playlist.position = 4;  // the walk starts at entry 0
    autoDJ().setWalk(Walk::OnePass);
    autoDJ().setAfterFailedLoad(AfterFailedLoad::SameDeck);
    clickAutoDJ();
    EXPECT_EQ(song(Side::Right), "/music/a.mp3");
    run(3000);
    ASSERT_TRUE(playing(Side::Right));

    // Past the start point x and y fail on the left deck; c comes to the left deck too, and a
    // plays on where it was.
    run(50 * 1000);
    EXPECT_EQ(song(Side::Left), "/music/c.mp3");
    EXPECT_EQ(song(Side::Right), "/music/a.mp3");
    EXPECT_GT(position(Side::Right), 50 * kSecond);
    EXPECT_TRUE(autoDJ().fadeToLeft());
    run(6000);
    EXPECT_EQ(crossFader(), 0);
    EXPECT_TRUE(playing(Side::Left));

    // Past c's start point z fails and the walk would wrap to a: nothing more is loaded, and c
    // plays to its end.
    run(50 * 1000);
    EXPECT_TRUE(autoDJ().passComplete());
    EXPECT_EQ(song(Side::Left), "/music/c.mp3");
    EXPECT_TRUE(playing(Side::Left));
    EXPECT_EQ(song(Side::Right), "/music/z.mp3");
    EXPECT_EQ(crossFader(), 0);
    run(10 * 1000);
    EXPECT_FALSE(playing(Side::Left));
    EXPECT_FALSE(playing(Side::Right));
    EXPECT_TRUE(dialogs.messages.empty());
    EXPECT_TRUE(window().autoDJOn());
}

TEST_F(AutoDJTest, WhenEveryEntryFailsTheAutoDJStopsAfterOnePass) {
    playlist.paths = {"/music/x.mp3", "/music/y.mp3", "/music/z.mp3", "/music/w.mp3"};
    clickAutoDJ();
    ASSERT_EQ(dialogs.messages.size(), 1u);
    EXPECT_EQ(dialogs.messages[0].text,
              "AutoDJ stopped: none of the songs in the playlist could be played.");
    EXPECT_FALSE(window().autoDJOn());
    EXPECT_EQ(window().controls().mixer.autoDJ.backColour(), kColourOff);
    EXPECT_FALSE(window().autoFadeTimer().enabled());
    // Each entry tried once: both library sides per open.
    EXPECT_EQ(library.opened.size(), 8u);
}

TEST_F(AutoDJTest, TheFadeLengthSetsTheStep) {
    EXPECT_EQ(autoDJ().fadeStep(), 2.0);  // the default: 5 s
    window().values().autoFadeSeconds = 20;
    clickAutoDJ();
    run(100);
    EXPECT_EQ(crossFader(), 50);  // half a unit is kept, not lost
    run(100);
    EXPECT_EQ(crossFader(), 51);
    run(98 * 100);
    EXPECT_EQ(crossFader(), 100);  // 10 s from the centre
    run(100);
    EXPECT_FALSE(window().autoFadeTimer().enabled());

    // An odd start is clamped at the end stop.
    window().values().autoFadeSeconds = 3;  // 3.33 per step
    window().controls().mixer.crossFader.setValue(97);
    window().autoFadeTimer().setEnabled(true);
    run(100);
    EXPECT_EQ(crossFader(), 100);
}

TEST_F(AutoDJTest, SkipSilenceStartsAtTheFirstSoundAndMeasuresTheAudiblePart) {
    window().values().autoSkipSilence = true;
    clickAutoDJ();
    EXPECT_TRUE(scanner->requests.contains("/music/b.mp3"));
    EXPECT_TRUE(scanner->requests.contains("/music/c.mp3"));  // the one after, ahead of time
    scanner->answer("/music/b.mp3", AudibleSpan{2 * kSecond, 50 * kSecond});
    EXPECT_EQ(deck(Side::Right).cuePoint(), 2 * kSecond);
    run(100);
    EXPECT_TRUE(playing(Side::Right));
    // 85 % of the 48 audible seconds after 2 s: the trigger comes near 43 s, not 51 s.
    library.stream(deck(Side::Right).stream())->setBytes(42 * kSecond + kSecond / 2);
    run(80);
    EXPECT_TRUE(song(Side::Left).isEmpty());
    library.stream(deck(Side::Right).stream())->setBytes(43 * kSecond + kSecond / 10);
    run(80);
    EXPECT_EQ(song(Side::Left), "/music/c.mp3");
}

TEST_F(AutoDJTest, SkipSilenceKeepsThePlainRuleUntilTheScanIsIn) {
    window().values().autoSkipSilence = true;
    clickAutoDJ();
    run(100);  // started before the scan answered
    EXPECT_EQ(deck(Side::Right).cuePoint(), 1u);
    scanner->answer("/music/b.mp3", AudibleSpan{2 * kSecond, 50 * kSecond});
    EXPECT_EQ(deck(Side::Right).cuePoint(), 1u);  // too late to move a playing deck

    window().values().autoSkipSilence = false;  // off: the whole length counts again
    library.stream(deck(Side::Right).stream())->setBytes(45 * kSecond);
    run(80);
    EXPECT_TRUE(song(Side::Left).isEmpty());
}

}  // namespace
}  // namespace kelvra::autodj
