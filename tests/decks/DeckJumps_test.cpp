// Hot cues, beat jumps and quantise on the real deck logic over a fake library, for both decks:
// where a pad sets, jumps and previews, what quantise snaps and keeps, and that a song's hot cues
// come back with it from the song database.
#include <gtest/gtest.h>

#include <QFile>
#include <QTemporaryDir>

#include "library/SongStore.h"
#include "support/AnalysisFixtures.h"
#include "support/FileBytes.h"
#include "support/MainWindowRig.h"

namespace kelvra::decks {
namespace {

using test::FakeEngine;
constexpr audio::BytePosition kSecond = test::kStereoSecond;
constexpr audio::BytePosition kFrame = 4;

class DeckJumpsTest : public ::testing::TestWithParam<Side> {
  protected:
    explicit DeckJumpsTest(library::SongStore* songs = nullptr) : rig(songs) {
        song = rig.addSong("song.mp3");
        deck().loadChosenFile(song);
    }
    Side side() const { return GetParam(); }
    Deck& deck() { return rig.window->deck(side()); }
    DeckControls& c() { return rig.window->controls().deck(side()); }
    FakeEngine::Stream& stream() { return *rig.library.stream(deck().stream()); }
    void grid() { rig.window->analysisReady(side(), song, test::analysisOf({.firstBeat = 0.1})); }
    void press(ButtonModel& pad) {
        pad.pressMouse(Qt::LeftButton);
        pad.releaseMouse(Qt::LeftButton);
        pad.click();
    }

    test::MainWindowRig rig;
    QString song;
};

INSTANTIATE_TEST_SUITE_P(BothDecks, DeckJumpsTest, ::testing::Values(Side::Left, Side::Right),
                         [](const auto& info) {
                             return info.param == Side::Left ? "Left" : "Right";
                         });

TEST_P(DeckJumpsTest, APadSetsWhenEmptyJumpsWhenSetPreviewsWhileHeldAndARightClickClears) {
    c().play.click();
    stream().setBytes(10 * kSecond);
    press(c().hotCue[2]);
    EXPECT_EQ(rig.window->jumps(side()).hotCues()[2], 10 * kSecond);
    EXPECT_EQ(c().hotCue[2].backColour(), kHotCueColours[2]);
    EXPECT_NEAR(c().display.hotCueMarks()[2], 10.0 / 90, 1e-9);
    EXPECT_EQ(c().display.hotCueMarks()[0], -1);

    // Playing: the pad jumps there and the deck plays on; a script's click alone does the same.
    stream().setBytes(30 * kSecond);
    press(c().hotCue[2]);
    EXPECT_EQ(stream().bytes(), 10 * kSecond);
    EXPECT_EQ(stream().state, audio::StreamState::Playing);
    stream().setBytes(31 * kSecond);
    c().hotCue[2].click();
    EXPECT_EQ(stream().bytes(), 10 * kSecond);

    // Stopped: held, it plays from the hot cue; let go, it is back there and stopped, the hot
    // cue now the cue point Play starts from.
    c().pause.click();
    c().hotCue[2].pressMouse(Qt::LeftButton);
    EXPECT_EQ(stream().state, audio::StreamState::Playing);
    EXPECT_EQ(stream().bytes(), 10 * kSecond);
    stream().setBytes(12 * kSecond);
    c().hotCue[2].releaseMouse(Qt::LeftButton);
    c().hotCue[2].click();
    EXPECT_NE(stream().state, audio::StreamState::Playing);
    EXPECT_EQ(stream().bytes(), 10 * kSecond);
    EXPECT_EQ(deck().cuePoint(), 10 * kSecond);

    // Cleared by a right click on the pad, or by its clear button; an empty pad sets again.
    c().hotCue[2].pressMouse(Qt::RightButton);
    EXPECT_FALSE(rig.window->jumps(side()).hotCues()[2]);
    EXPECT_EQ(c().hotCue[2].backColour(), kColourNone);
    EXPECT_EQ(c().display.hotCueMarks()[2], -1);
    c().hotCue[5].click();
    c().hotCueClear[5].click();
    EXPECT_FALSE(rig.window->jumps(side()).hotCues()[5]);

    // A new song has none of the old one's (no song database here).
    c().hotCue[1].click();
    deck().loadChosenFile(rig.addSong("other.mp3"));
    for (const auto& cue : rig.window->jumps(side()).hotCues())
        EXPECT_FALSE(cue);
}

TEST_P(DeckJumpsTest, QuantiseSnapsHotCuesToTheGridAndJumpsKeepTheBeatPhase) {
    grid();
    c().play.click();
    // Without quantise the pad takes the position as it is.
    stream().setBytes(20 * kSecond + 1000 * kFrame);
    c().hotCue[0].click();
    EXPECT_EQ(rig.window->jumps(side()).hotCues()[0], 20 * kSecond + 1000 * kFrame);
    // With it, the nearest beat: beats fall at 0.1 + k/2 s, so 20.1 s for 20.02 s.
    c().quantize.click();
    EXPECT_EQ(c().quantize.backColour(), kColourOn);
    stream().setBytes(20 * kSecond + 882 * kFrame);  // 20.02 s
    c().hotCue[1].click();
    EXPECT_EQ(rig.window->jumps(side()).hotCues()[1], 20 * kSecond + 4410 * kFrame);

    // 40.2 s is 0.1 s into its beat: the jump to the 20.1 s cue lands 0.1 s past it.
    stream().setBytes(40 * kSecond + 8820 * kFrame);
    c().hotCue[1].click();
    EXPECT_EQ(stream().bytes(), 20 * kSecond + 8820 * kFrame);

    // Beat jumps move by whole beats from where the deck is: -4 beats is two seconds.
    stream().setBytes(50 * kSecond + 123 * kFrame);
    c().beatJump[1].click();
    EXPECT_EQ(stream().bytes(), 48 * kSecond + 123 * kFrame);
    c().beatJump[5].click();  // +16: eight seconds
    EXPECT_EQ(stream().bytes(), 56 * kSecond + 123 * kFrame);
    // Off either end of the song, the deck stays where it is.
    stream().setBytes(3 * kSecond);
    c().beatJump[0].click();
    EXPECT_EQ(stream().bytes(), 3 * kSecond);
    // Stopped, a beat jump moves the cue point Play starts from, onto a whole frame (the cue
    // point of a new song is byte 1, the song's start).
    c().pause.click();
    ASSERT_EQ(deck().cuePoint(), 1u);
    c().beatJump[4].click();  // +4
    EXPECT_EQ(deck().cuePoint(), 2 * kSecond);
}

TEST_P(DeckJumpsTest, LoopsLieOnTheGridAndRollsComeBackWhereTheSongWouldBe) {
    grid();
    c().play.click();
    const auto seconds = [](double s) { return audio::BytePosition(std::llround(s * 44100)) * 4; };
    const auto loopIs = [&](double from, double to) {
        EXPECT_EQ(stream().bytes(stream().loop.start), seconds(from));
        EXPECT_EQ(stream().bytes(stream().loop.end), seconds(to));
    };
    // A beat loop starts on the beat at or before the deck: beats at 0.1 + k/2 s.
    stream().setBytes(seconds(20.3));
    c().beatLoop[3].click();  // one beat
    loopIs(20.1, 20.6);
    EXPECT_EQ(c().beatLoop[3].backColour(), kColourOn);
    EXPECT_EQ(c().loopIn.backColour(), kColourOn);
    EXPECT_TRUE(c().display.loopActive());
    EXPECT_NEAR(c().display.loopInMark(), 20.1 / 90, 1e-6);
    c().beatLoop[3].click();  // the same again ends it
    loopIs(0, 0);
    EXPECT_EQ(c().beatLoop[3].backColour(), kColourOff);
    // An eighth-beat loop on the eighth-beat grid (1/16 s).
    c().beatLoop[0].click();
    loopIs(20.2875, 20.35);
    // Halved, doubled, left and taken up again from elsewhere, which goes back to its start.
    c().beatLoop[5].click();  // four beats
    loopIs(20.1, 22.1);
    c().loopHalf.click();
    loopIs(20.1, 21.1);
    c().loopDouble.click();
    c().loopDouble.click();
    loopIs(20.1, 24.1);
    c().loopExit.click();
    loopIs(0, 0);
    EXPECT_NEAR(c().display.loopOutMark(), 24.1 / 90, 1e-6);  // still shown, not playing
    EXPECT_FALSE(c().display.loopActive());
    stream().setBytes(seconds(30));
    c().reloop.click();
    loopIs(20.1, 24.1);
    EXPECT_EQ(stream().bytes(), seconds(20.1));

    // In and out by hand, quantised to the nearest beats; an out before the in makes a beat.
    c().loopExit.click();
    c().quantize.click();
    stream().setBytes(seconds(50.02));
    c().loopIn.click();
    stream().setBytes(seconds(51.3));
    c().loopOut.click();
    loopIs(50.1, 51.1);
    stream().setBytes(seconds(50.0));
    c().loopOut.click();
    loopIs(50.1, 50.6);

    // A roll: held for two seconds, then on at the place two seconds on from where it began.
    c().loopExit.click();
    stream().setBytes(seconds(40.3));
    c().loopRoll[3].pressMouse(Qt::LeftButton);
    loopIs(40.1, 40.6);
    rig.clock.advance(2000);
    c().loopRollAny.releaseMouse(Qt::LeftButton);
    loopIs(0, 0);
    EXPECT_EQ(stream().bytes(), seconds(42.3));
    // The loop set before the roll is the one reloop takes up.
    c().reloop.click();
    loopIs(50.1, 50.6);
}

TEST_P(DeckJumpsTest, ABeatLoopPadIsLitOnlyWhileItsLoopPlays) {
    grid();
    c().play.click();
    stream().setBytes(20 * kSecond);
    const auto litPads = [&] {
        std::vector<int> lit;
        for (int i = 0; i < DeckControls::kBeatLoops; ++i)
            if (c().beatLoop[i].backColour() == kColourOn) lit.push_back(i);
        return lit;
    };
    using Lit = std::vector<int>;
    c().beatLoop[5].click();
    EXPECT_EQ(litPads(), Lit{5});
    c().loopHalf.click();
    EXPECT_EQ(litPads(), Lit{4});
    c().loopExit.click();
    EXPECT_EQ(litPads(), Lit{});
    // A roll on the pad's right button, alone and over a loop that plays.
    c().beatLoop[2].pressMouse(Qt::RightButton);
    EXPECT_EQ(litPads(), Lit{2});
    c().beatLoop[2].releaseMouse(Qt::RightButton);
    EXPECT_EQ(litPads(), Lit{});
    c().beatLoop[6].click();
    c().beatLoop[3].pressMouse(Qt::RightButton);
    EXPECT_EQ(litPads(), Lit{3});
    c().beatLoop[3].releaseMouse(Qt::RightButton);
    EXPECT_EQ(litPads(), Lit{});
    // A script's or a controller's roll, let go by name.
    c().loopRoll[1].pressMouse(Qt::LeftButton);
    EXPECT_EQ(litPads(), Lit{1});
    c().loopRollAny.releaseMouse(Qt::LeftButton);
    EXPECT_EQ(litPads(), Lit{});
    // Exit in the middle of a roll, then the roll let go.
    c().loopRoll[4].pressMouse(Qt::LeftButton);
    c().loopExit.click();
    EXPECT_EQ(litPads(), Lit{});
    c().loopRollAny.releaseMouse(Qt::LeftButton);
    EXPECT_EQ(litPads(), Lit{});
    // Reloop lights the pad of its size again; a new song lights none.
    c().reloop.click();
    EXPECT_EQ(litPads(), Lit{6});
    deck().loadChosenFile(rig.addSong("other.mp3"));
    EXPECT_EQ(litPads(), Lit{});
}

TEST(DeckJumpsSongs, HotCuesAndTheLoopComeBackWithTheirSongFromTheDatabase) {
    QTemporaryDir dir;
    const QString database = dir.filePath("library.sqlite");
    const QString first = dir.filePath("first.mp3"), second = dir.filePath("second.mp3");
    for (const QString& path : {first, second}) {
        QFile file(path);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    }
    const auto known = [&](test::MainWindowRig& rig) {
        for (const QString& path : {first, second})
            rig.library.addSong(path.toStdString(), FakeEngine::mainSong(90 * kSecond));
    };
    {
        library::SongStore songs(database);
        test::MainWindowRig rig(&songs);
        known(rig);
        Deck& deck = rig.window->deck(Side::Left);
        deck.loadChosenFile(first);
        rig.window->controls().deck(Side::Left).play.click();
        rig.library.stream(deck.stream())->setBytes(7 * kSecond);
        DeckControls& c = rig.window->controls().deck(Side::Left);
        c.hotCue[3].click();
        // A loop by hand, left, and then a roll: the hand-made loop is the song's.
        c.loopIn.click();
        rig.library.stream(deck.stream())->setBytes(9 * kSecond);
        c.loopOut.click();
        c.loopExit.click();
        rig.window->analysisReady(Side::Left, first, test::analysisOf({.firstBeat = 0.1}));
        c.loopRoll[2].pressMouse(Qt::LeftButton);
        c.loopRollAny.releaseMouse(Qt::LeftButton);
        deck.loadChosenFile(second);
        EXPECT_FALSE(rig.window->jumps(Side::Left).hotCues()[3]);
        EXPECT_EQ(rig.window->loops(Side::Left).loopIn(), -1);
        deck.loadChosenFile(first);
        EXPECT_EQ(rig.window->jumps(Side::Left).hotCues()[3], 7 * kSecond);
    }
    // After a restart, on the other deck too; the loop is there, ready but not playing.
    library::SongStore songs(database);
    test::MainWindowRig rig(&songs);
    known(rig);
    Deck& right = rig.window->deck(Side::Right);
    right.loadChosenFile(first);
    EXPECT_EQ(rig.window->jumps(Side::Right).hotCues()[3], 7 * kSecond);
    const DeckLoops& loops = rig.window->loops(Side::Right);
    EXPECT_EQ(loops.loopIn(), 7 * kSecond);
    EXPECT_EQ(loops.loopOut(), 9 * kSecond);
    EXPECT_FALSE(loops.active());
    rig.window->controls().deck(Side::Right).reloop.click();
    const auto* looped = rig.library.stream(right.stream());
    EXPECT_EQ(looped->bytes(looped->loop.end), 9 * kSecond);
    EXPECT_TRUE(rig.dialogs.messages.empty());

    // A file at the database's place that is no database is left as it is, and the DJ is told
    // why once the window is up; the program plays on without remembered cues.
    const QString broken = dir.filePath("broken.sqlite");
    test::writeFile(broken, "not a database at all, but the DJ's notes");
    library::SongStore fresh(broken);
    test::MainWindowRig told(&fresh);
    told.clock.advance(5);
    ASSERT_EQ(told.dialogs.messages.size(), 1u);
    EXPECT_TRUE(told.dialogs.messages[0].text.contains("leaves it as it is"))
        << told.dialogs.messages[0].text.toStdString();
    EXPECT_TRUE(told.dialogs.messages[0].text.contains(broken))
        << told.dialogs.messages[0].text.toStdString();
    EXPECT_EQ(test::contents(broken), QByteArray("not a database at all, but the DJ's notes"));
}

}  // namespace
}  // namespace kelvra::decks
