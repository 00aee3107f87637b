// The musical key on the real program logic: each deck shows its song's key in both notations,
// and the playlist is told the key on the main mix so it can mark the songs that would mix next.
#include <gtest/gtest.h>

#include "support/AnalysisFixtures.h"
#include "support/MainWindowRig.h"

namespace kelvra::app {
namespace {

constexpr int kAMinor = 21, kFSharpMajor = 6;

TEST(MusicalKey, DecksShowTheKeyAndThePlaylistHearsTheKeyOnTheMainMix) {
    test::MainWindowRig rig;
    MainWindow& w = *rig.window;
    for (Side side : {Side::Left, Side::Right})
        w.deck(side).loadChosenFile(rig.addSong(side == Side::Left ? "a.mp3" : "b.mp3"));
    w.analysisReady(Side::Left, w.deck(Side::Left).songFile(),
                    test::analysisOf({.bpm = 124, .key = kAMinor}));
    w.analysisReady(Side::Right, w.deck(Side::Right).songFile(),
                    test::analysisOf({.bpm = 124, .key = kFSharpMajor}));
    w.tmrTrackLength_Timer();
    EXPECT_EQ(w.controls().left.display.keyText(), "8A  A minor");
    EXPECT_FALSE(w.controls().left.display.keyCompatible());  // a tritone apart
    EXPECT_EQ(rig.playlist.mixKey, -1);                       // nothing plays yet

    // The left deck plays with the crossfader towards it: its key is the one on the main mix,
    // until the fader takes it out. (Which of two heard decks carries the mix, and which keys
    // light against each other, the session model's tests check.)
    w.controls().mixer.crossFader.setValue(0);
    w.controls().left.play.click();
    w.tmrTrackLength_Timer();
    EXPECT_EQ(rig.playlist.mixKey, kAMinor);
    w.controls().mixer.crossFader.setValue(100);
    w.tmrTrackLength_Timer();
    EXPECT_EQ(rig.playlist.mixKey, -1);  // the left deck is playing but faded out
}

}  // namespace
}  // namespace kelvra::app
