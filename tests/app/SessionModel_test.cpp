// The session model with no window around it: a deck driven through its controls, and what the
// model tells its listeners as the deck loads, plays, is analysed and plays out.
#include "app/SessionModel.h"

#include <gtest/gtest.h>

#include <QTemporaryDir>

#include "core/VirtualClock.h"
#include "support/AnalysisFixtures.h"
#include "support/FakeEngine.h"
#include "support/FakePlaylist.h"
#include "support/FileBytes.h"
#include "support/ScriptedDialogs.h"

namespace kelvra::app {
namespace {

constexpr audio::BytePosition kSecond = 44100 * 4;
constexpr int kAMinor = 21, kEMinor = 16;

struct SessionRig {
    SessionRig() {
        session.setStartValues();
        EXPECT_TRUE(session.openOutput());
        session.start();
        SessionEvents& e = session.events();
        e.loaded.connect([this](Side side) { told << QStringLiteral("loaded %1").arg(int(side)); });
        e.playing.connect([this](Side side, bool on) {
            told << QStringLiteral("%1 %2").arg(on ? "playing" : "stopped").arg(int(side));
        });
        e.analysed.connect(
            [this](Side side) { told << QStringLiteral("analysed %1").arg(int(side)); });
        e.mix.connect(
            [this](int key, double bpm) { told << QStringLiteral("mix %1 %2").arg(key).arg(bpm); });
        e.heard.connect([this](const QString& path) { told << "heard " + path.section('/', -1); });
    }
    QString addSong(const QString& name, int seconds) {
        const QString path = folder.filePath(name);
        test::writeFile(path, {});
        library.addSong(path.toStdString(), test::FakeEngine::mainSong(seconds * kSecond));
        return path;
    }
    // What was told since the last look.
    QStringList take() { return std::exchange(told, {}); }

    QTemporaryDir folder;
    test::FakeEngine library;
    test::ScriptedDialogs dialogs;
    VirtualClock clock;
    test::FakePlaylist playlist;
    MainControls controls;
    settings::ProgramSettings values;
    SessionModel session{{library, dialogs, clock, playlist, controls, values,
                          [](const QString& path) { return path.section('/', -1); },
                          [] { return QString(); }}};
    QStringList told;
};

TEST(SessionModel, TellsWhatADeckDoesFromItsLoadToItsEndWithoutAWindow) {
    SessionRig rig;
    SessionModel& s = rig.session;
    decks::Deck& left = s.deck(Side::Left);
    left.loadChosenFile(rig.addSong("a.mp3", 10));
    EXPECT_EQ(rig.take(), QStringList{"loaded 0"});
    EXPECT_EQ(rig.controls.left.display.timeText(), "00:00:10");

    // The key shows as soon as the analysis comes, not at the next tick.
    s.analysisReady(Side::Left, left.songFile(),
                    test::analysisOf({.bpm = 124, .key = kAMinor, .seconds = 10}));
    EXPECT_EQ(rig.take(), QStringList{"analysed 0"});
    EXPECT_EQ(rig.controls.left.display.keyText(), "8A  A minor");

    rig.controls.mixer.crossFader.setValue(0);
    rig.controls.left.play.click();
    EXPECT_TRUE(rig.take().isEmpty());  // the display tick is where it is told
    rig.clock.advance(80);
    EXPECT_EQ(rig.take(), (QStringList{"playing 0", "heard a.mp3", "mix 21 124"}));
    EXPECT_TRUE(s.playing(Side::Left));
    rig.clock.advance(800);
    EXPECT_TRUE(rig.take().isEmpty());  // nothing changed: nothing is told again

    // The song plays out: the deck stops and the mix has no key any more.
    rig.library.advance(left.stream(), 10 * kSecond);
    rig.clock.advance(80);
    EXPECT_EQ(rig.take(), (QStringList{"stopped 0", "mix -1 0"}));
    EXPECT_FALSE(s.playing(Side::Left));
}

TEST(SessionModel, TheLouderOfTwoHeardDecksCarriesTheMixAndKeysLightAgainstEachOther) {
    SessionRig rig;
    SessionModel& s = rig.session;
    for (Side side : {Side::Left, Side::Right})
        s.deck(side).loadChosenFile(rig.addSong(side == Side::Left ? "a.mp3" : "b.mp3", 60));
    s.analysisReady(Side::Left, s.deck(Side::Left).songFile(),
                    test::analysisOf({.bpm = 124, .key = kAMinor, .seconds = 10}));
    EXPECT_FALSE(rig.controls.left.display.keyCompatible());  // the right key is not known yet
    s.analysisReady(Side::Right, s.deck(Side::Right).songFile(),
                    test::analysisOf({.bpm = 124, .key = kEMinor, .seconds = 10}));
    EXPECT_TRUE(rig.controls.left.display.keyCompatible());  // a fifth away: both light at once
    EXPECT_TRUE(rig.controls.right.display.keyCompatible());
    rig.take();

    rig.controls.mixer.crossFader.setValue(0);
    rig.controls.left.play.click();
    rig.controls.right.play.click();
    rig.clock.advance(80);
    EXPECT_EQ(rig.take(), (QStringList{"playing 0", "playing 1", "heard a.mp3", "mix 21 124"}));
    EXPECT_EQ(s.mixSongs(), QStringList{s.deck(Side::Left).songFile()});
    rig.controls.mixer.crossFader.setValue(100);
    rig.clock.advance(80);
    EXPECT_EQ(rig.take(), (QStringList{"heard b.mp3", "mix 16 124"}));
    EXPECT_EQ(s.mixKey(), kEMinor);
    EXPECT_EQ(s.mixSongs(), QStringList{s.deck(Side::Right).songFile()});

    // A new song on the heard deck is a new song heard, once it sounds.
    s.deck(Side::Right).loadChosenFile(rig.addSong("c.mp3", 60));
    rig.clock.advance(80);
    EXPECT_EQ(rig.take(), (QStringList{"loaded 1", "stopped 1", "mix -1 0"}));
    rig.controls.right.play.click();
    rig.clock.advance(80);
    EXPECT_EQ(rig.take(), (QStringList{"playing 1", "heard c.mp3"}));
}

}  // namespace
}  // namespace kelvra::app
