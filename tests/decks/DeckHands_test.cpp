// The DJ's hands on a deck, driven through the main window's logic over a fake library: cue
// points and their history, cue-edit search, pitch and bend, base frequency, turntable stop.
// Every behaviour runs for both decks.
#include <gtest/gtest.h>

#include <cmath>

#include "support/MainWindowRig.h"

namespace kelvra::decks {
namespace {

using test::FakeEngine;

constexpr audio::BytePosition kSecond = test::kStereoSecond;

class DeckHands : public ::testing::TestWithParam<Side> {
  protected:
    DeckHands() {
        EXPECT_TRUE(rig.loaded);
        song = rig.addSong("song.mp3");
        deck().loadChosenFile(song);
    }

    Side side() const { return GetParam(); }
    Deck& deck() { return window->deck(side()); }
    DeckControls& c() { return window->controls().deck(side()); }
    FakeEngine::Stream& stream() { return *library.stream(deck().stream()); }
    int rate() { return library.channelAttributes(deck().stream())->rate; }
    void play() { c().play.click(); }

    test::MainWindowRig rig;
    QString song;
    FakeEngine& library = rig.library;
    test::ScriptedDialogs& dialogs = rig.dialogs;
    VirtualClock& clock = rig.clock;
    app::MainWindow* window = rig.window;
};

INSTANTIATE_TEST_SUITE_P(BothDecks, DeckHands, ::testing::Values(Side::Left, Side::Right),
                         [](const auto& info) {
                             return info.param == Side::Left ? "Left" : "Right";
                         });

TEST_P(DeckHands, CueHistoryFollowsTheFirstCueRuleAndPausedCuesLeaveIt) {
    play();
    stream().setBytes(1000);
    c().cue.pressMouse(Qt::LeftButton);
    c().cue.click();
    // First real cue into an empty history: previous = old cue (1), button lit.
    EXPECT_EQ(deck().cuePoint(), 1000u);
    EXPECT_EQ(deck().prevCue(), 1u);
    EXPECT_EQ(c().playCue.backColour(), kColourOn);
    EXPECT_FALSE(c().display.lamp(DeckDisplayModel::Cue));
    stream().setBytes(5000);
    window->setActiveDeck(side());
    window->run_cue_mousedown();
    EXPECT_EQ(deck().cuePoint(), 5000u);
    EXPECT_EQ(deck().prevCue(), 1000u);
    EXPECT_EQ(deck().olderCue(), 1u);

    // At the very end the cue goes back to 1.
    stream().setBytes(deck().songLength());
    window->run_cue_mousedown();
    EXPECT_EQ(deck().cuePoint(), 1u);
    EXPECT_EQ(deck().prevCue(), 5000u);

    // Paused: only the cue point changes.
    stream().setBytes(7000);
    c().pause.click();
    window->run_cue_mousedown();
    EXPECT_EQ(deck().cuePoint(), 7000u);
    EXPECT_EQ(deck().prevCue(), 5000u);
    EXPECT_EQ(deck().olderCue(), 1000u);

    // A load through the deck's own button or a drop clears the history and dims the button.
    deck().loadChosenFile(song);
    EXPECT_EQ(deck().prevCue(), 0u);
    EXPECT_EQ(c().playCue.backColour(), kColourOff);
}

TEST_P(DeckHands, CueEditSearchClampsWrapsAndLoopsEveryTick) {
    // Outside cue-edit mode the search buttons do nothing but reset the arrows on release.
    c().cueForward.pressMouse(Qt::LeftButton);
    EXPECT_FALSE(deck().cueTimer().enabled());
    c().cueForward.releaseMouse(Qt::LeftButton);
    EXPECT_EQ(c().display.searchArrow(), 2);

    play();
    deck().setCuePoint(700);
    c().play.pressMouse(Qt::RightButton);
    EXPECT_TRUE(deck().cueMode());
    EXPECT_EQ(stream().state, audio::StreamState::Stopped);
    EXPECT_EQ(stream().bytes(), 700u);
    EXPECT_TRUE(c().display.lamp(DeckDisplayModel::Cue));
    EXPECT_FALSE(c().display.lamp(DeckDisplayModel::Play));

    c().cueBack.pressMouse(Qt::LeftButton);
    EXPECT_EQ(stream().state, audio::StreamState::Playing);  // the loop is heard
    EXPECT_EQ(c().display.searchArrow(), 1);
    clock.advance(80);
    EXPECT_EQ(deck().cuePoint(), 200u);
    clock.advance(80);
    EXPECT_EQ(deck().cuePoint(), 1u);  // never below 1
    c().cueBack.releaseMouse(Qt::LeftButton);
    EXPECT_EQ(c().display.searchArrow(), 2);

    // Each tick jumps back to the cue point: the loop's period is the timer's.
    library.advance(deck().stream(), 3000);
    clock.advance(80);
    EXPECT_EQ(stream().bytes(), 0u) << "cue point 1 is in the first frame";

    deck().setCuePoint(std::uint32_t(deck().songLength() - 100));
    c().cueForward.pressMouse(Qt::LeftButton);
    clock.advance(80);
    EXPECT_EQ(deck().cuePoint(), 1u);  // past the end wraps to the start

    play();  // play leaves cue-edit mode and stops the loop
    EXPECT_FALSE(deck().cueMode());
    EXPECT_FALSE(deck().cueTimer().enabled());
}

TEST_P(DeckHands, PlayPreviousCueAndReset) {
    // No history: plays from 0.
    c().playCue.click();
    EXPECT_EQ(stream().bytes(), 0u);
    EXPECT_EQ(stream().state, audio::StreamState::Playing);

    // Paused: resumes where it was, not at the previous cue.
    deck().setCueHistory(4000, 0);
    stream().setBytes(9000);
    c().pause.click();
    c().playCue.click();
    EXPECT_EQ(stream().state, audio::StreamState::Playing);
    EXPECT_EQ(stream().bytes(), 9000u);
    EXPECT_FALSE(deck().paused());

    // Playing: jumps to the previous cue.
    c().playCue.click();
    EXPECT_EQ(stream().bytes(), 4000u);

    deck().setCuePoint(2500);
    c().resetCue.click();
    EXPECT_EQ(deck().prevCue(), 2500u);
    EXPECT_EQ(deck().cuePoint(), 0u);
    EXPECT_EQ(stream().bytes(), 0u);
}

TEST(PitchArithmetic, FrequenciesAndTextsRoundHalvesToEven) {
    EXPECT_EQ(DeckPitch::frequencyFor(1000, 44100, 1.0), 44100);
    EXPECT_EQ(DeckPitch::pitchTextFor(1000, 1.0), " 0.00% ");
    EXPECT_EQ(DeckPitch::frequencyFor(1150, 44100, 1.0), 44762);  // 44761.5 to the even side
    EXPECT_EQ(DeckPitch::pitchTextFor(1150, 1.0), " + 1.50%");
    EXPECT_EQ(DeckPitch::frequencyFor(900, 44100, 1.0), 43659);
    EXPECT_EQ(DeckPitch::pitchTextFor(900, 1.0), " - 1.00%");
    EXPECT_EQ(DeckPitch::frequencyFor(0, 44100, 1.5), 37485);  // 0.85 F
    EXPECT_EQ(DeckPitch::pitchTextFor(0, 1.5), " - 15.00%");
    EXPECT_EQ(DeckPitch::frequencyFor(2000, 44100, 2.0), 52920);
    EXPECT_EQ(DeckPitch::pitchTextFor(2000, 2.0), " + 20.00%");
    EXPECT_EQ(DeckPitch::frequencyFor(0, 44100, 1.0), 39690);
}

TEST_P(DeckHands, SliderZeroButtonAndBaseFrequency) {
    c().pitch.setValue(1150);
    EXPECT_EQ(rate(), 44762);
    EXPECT_EQ(c().display.pitchText(), " + 1.50%");
    EXPECT_EQ(c().pitchZero.backColour(), kColourOff);
    c().pitchZero.click();
    EXPECT_EQ(c().pitch.value(), 1000);
    EXPECT_EQ(rate(), 44100);
    EXPECT_EQ(c().pitchZero.backColour(), kColourOn);

    c().speed22.click();
    EXPECT_EQ(rate(), 22050);  // a 44.1 kHz song at half speed
    EXPECT_EQ(c().speed22.backColour(), kColourOn);
    EXPECT_EQ(c().speed44.backColour(), kColourOff);
    EXPECT_EQ(window->activeDeck(), side());
    // The other deck's lamps stay as they were.
    EXPECT_NE(window->controls().deck(otherSide(side())).speed22.backColour(), kColourOn);
    c().speed44.click();
    EXPECT_EQ(rate(), 44100);
}

TEST_P(DeckHands, BendRisesTwentyStepsOnTheDisplayTickAndSnapsBack) {
    c().pitch.setValue(2000);
    c().bendPlus.pressMouse(Qt::LeftButton);
    EXPECT_EQ(window->pitch(side()).pitch(), 2010);  // first step at once
    clock.advance(80 * 30);
    EXPECT_EQ(window->pitch(side()).pitch(), 2200);  // +22 % at the top of the slider
    c().bendPlus.releaseMouse(Qt::LeftButton);
    EXPECT_EQ(window->pitch(side()).pitch(), 2000);
    EXPECT_EQ(window->controls().focus.last(), app::FocusTarget::Mixer);

    // Both held: up wins.
    c().pitch.setValue(1000);
    c().bendMinus.pressMouse(Qt::LeftButton);
    c().bendPlus.pressMouse(Qt::LeftButton);
    clock.advance(80 * 5);
    EXPECT_GT(window->pitch(side()).pitch(), 1000);
    c().bendPlus.releaseMouse(Qt::LeftButton);
    c().bendMinus.releaseMouse(Qt::LeftButton);
    EXPECT_EQ(window->pitch(side()).pitch(), 1000);
}

TEST_P(DeckHands, TurntableStopLowersTheFrequencyThenStopsAndPlayCancelsIt) {
    play();
    c().stop.pressMouse(Qt::LeftButton);
    EXPECT_TRUE(c().display.lamp(DeckDisplayModel::Stop));
    clock.advance(30 * 11);
    EXPECT_EQ(rate(), 44100 - 11 * 4000);
    EXPECT_EQ(stream().state, audio::StreamState::Playing);
    clock.advance(30);  // the 12th tick stops
    EXPECT_EQ(stream().state, audio::StreamState::Stopped);
    EXPECT_EQ(rate(), 44100);  // the pitch is applied again for the next play
    EXPECT_FALSE(deck().turntableStopTimer().enabled());

    // A step larger than the frequency stops at the first tick.
    window->values().turntableStopStep = 50000;
    play();
    c().stop.pressMouse(Qt::LeftButton);
    clock.advance(30);
    EXPECT_EQ(stream().state, audio::StreamState::Stopped);

    // Play cancels a stop in progress.
    window->values().turntableStopStep = 4000;
    play();
    c().stop.pressMouse(Qt::LeftButton);
    clock.advance(60);
    play();
    clock.advance(600);
    EXPECT_EQ(stream().state, audio::StreamState::Playing);
    EXPECT_EQ(rate(), 44100);
}

TEST_P(DeckHands, ToneKnobsAndKillsReachTheStreamAndStayForTheNextSong) {
    // At rest, feeding its own deck's effect units.
    audio::ChannelEffects rest;
    rest.effectBus = int(side());
    EXPECT_EQ(stream().effects, rest) << "a fresh deck is not at rest";
    c().eqLow.setValue(0);
    c().eqMid.setValue(25);
    c().eqHigh.setValue(100);
    c().filter.setValue(25);
    c().gain.setValue(75);
    EXPECT_EQ(stream().effects.low, 0.0f);
    EXPECT_NEAR(20 * std::log10(stream().effects.mid), -20.0, 1e-4);
    EXPECT_NEAR(20 * std::log10(stream().effects.high), 6.0, 1e-4);
    EXPECT_EQ(stream().effects.filter, -0.5f);
    EXPECT_EQ(stream().effects.trimDb, 6.0f);
    // A kill silences its band whatever the knob says, and gives it back when released.
    c().killHigh.click();
    EXPECT_EQ(stream().effects.high, 0.0f);
    EXPECT_NE(c().killHigh.backColour(), kColourOff);
    c().eqHigh.setValue(60);
    EXPECT_EQ(stream().effects.high, 0.0f);
    c().killHigh.click();
    EXPECT_NEAR(20 * std::log10(stream().effects.high), 1.2, 1e-4);
    EXPECT_EQ(c().killHigh.backColour(), kColourOff);

    // The next song plays with the EQ the DJ left on the deck.
    const audio::ChannelEffects before = stream().effects;
    deck().loadChosenFile(rig.addSong("next.mp3"));
    EXPECT_EQ(stream().effects, before);
}

TEST_P(DeckHands, KeyLockAndShiftReachTheStreamAndTheStopIsATapeStopWhateverTheLock) {
    play();
    c().keyLock.click();
    EXPECT_TRUE(stream().keyLock.on);
    EXPECT_EQ(stream().keyLock.base.value, 44100);
    EXPECT_EQ(c().keyLock.backColour(), kColourOn);
    c().keyUp.click();
    c().keyUp.click();
    c().keyDown.click();
    EXPECT_EQ(stream().keyLock.semitones, 1);
    EXPECT_EQ(c().keyReset.caption(), "+1");
    for (int i = 0; i < 20; ++i)
        c().keyDown.click();
    EXPECT_EQ(stream().keyLock.semitones, -12) << "an octave is the most";
    c().keyReset.click();
    EXPECT_EQ(stream().keyLock.semitones, 0);
    // The 22 kHz base keeps its octave down under the lock.
    c().speed22.click();
    EXPECT_EQ(stream().keyLock.base.value, 22050);
    c().speed44.click();
    // The turntable stop lets go of the lock while it slows the deck; a play takes it back.
    c().stop.pressMouse(Qt::LeftButton);
    EXPECT_FALSE(stream().keyLock.on);
    play();
    EXPECT_TRUE(stream().keyLock.on);
    // A new song keeps the deck's lock and shift.
    c().keyUp.click();
    deck().loadChosenFile(rig.addSong("next.mp3"));
    EXPECT_TRUE(stream().keyLock.on);
    EXPECT_EQ(stream().keyLock.semitones, 1);
}

}  // namespace
}  // namespace kelvra::decks
