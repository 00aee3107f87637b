#include "decks/Mixer.h"

#include <gtest/gtest.h>

#include "support/FakeEngine.h"

namespace kelvra::decks {
namespace {

using test::FakeEngine;

TEST(SetChannelLevels, TurnsALevelPairIntoVolumeAndPan) {
    struct Case {
        int a, b, volume, pan;
    } cases[] = {
        {0, 0, 0, 0},       // no division when both are silent
        {50, 50, 50, 0},    // centred
        {60, 30, 60, -50},  // headphone 60 on the left, deck 30 on the right
        {0, 40, 40, 100},   // right only
        {40, 0, 40, -100},  // left only
        {30, 60, 60, 50},  {80, 20, 80, -75}, {3, 2, 3, -33},  // -33.33 rounds to -33
        {8, 3, 8, -62},  // 37.5 - 100 = -62.5: halves go to the even neighbour
    };
    for (const Case& c : cases) {
        const VolumePan vp = levelsToVolumePan(c.a, c.b);
        EXPECT_EQ(vp.volume, c.volume) << c.a << "," << c.b;
        EXPECT_EQ(vp.pan, c.pan) << c.a << "," << c.b;
    }
}

class MixerTest : public ::testing::Test {
  protected:
    MixerTest()
        : mixer(library, controls, left, right, [this](Side s) { return streams[sideIndex(s)]; }) {
        library.addSong("/a.mp3", FakeEngine::mainSong(44100 * 4 * 60));
        library.addSong("/b.mp3", FakeEngine::mainSong(44100 * 4 * 60));
        streams[0] = library.streamCreateFile("/a.mp3", 0);
        streams[1] = library.streamCreateFile("/b.mp3", 0);
        mixer.setMixScale(controls.crossFader.maximum());
    }

    audio::Attributes attributes(Side side) {
        return *library.channelAttributes(streams[sideIndex(side)]);
    }

    FakeEngine library;
    MixerControls controls;
    DeckControls left{Side::Left};
    DeckControls right{Side::Right};
    audio::Handle streams[2] = {0, 0};
    Mixer mixer;
};

TEST_F(MixerTest, CrossfaderFadesOnlyTheFarDeck) {
    controls.mainVolume.setValue(50);
    left.volume.setValue(50);
    right.volume.setValue(50);
    controls.crossFader.setValue(25);  // each change runs the mixer
    EXPECT_EQ(mixer.deckVolume(Side::Left), 25);
    EXPECT_EQ(mixer.deckVolume(Side::Right), 12);  // 12.5 goes to the even neighbour

    controls.crossFader.setValue(50);  // the centre belongs to the right-hand branch
    EXPECT_EQ(mixer.deckVolume(Side::Left), 25);
    EXPECT_EQ(mixer.deckVolume(Side::Right), 25);

    controls.crossFader.setValue(0);
    EXPECT_EQ(mixer.deckVolume(Side::Left), 25);
    EXPECT_EQ(mixer.deckVolume(Side::Right), 0);
    controls.crossFader.setValue(100);
    EXPECT_EQ(mixer.deckVolume(Side::Left), 0);
    EXPECT_EQ(mixer.deckVolume(Side::Right), 25);
    controls.crossFader.setValue(75);
    EXPECT_EQ(mixer.deckVolume(Side::Left), 12);

    // Deck sliders read inverted: 0 is full level, 100 silence.
    controls.mainVolume.setValue(100);
    left.volume.setValue(0);
    right.volume.setValue(100);
    controls.crossFader.setValue(50);
    EXPECT_EQ(mixer.deckVolume(Side::Left), 100);
    EXPECT_EQ(mixer.deckVolume(Side::Right), 0);
}

TEST_F(MixerTest, RoutingPutsTheMonitoredDeckOnTheLeftChannelAtHeadphoneLevel) {
    controls.mainVolume.setValue(60);
    left.volume.setValue(50);             // L = 30
    right.volume.setValue(50);            // R = 30
    controls.monitorVolume.setValue(40);  // headphone level 60

    mixer.monitorCMB_Click(1);  // monitor right
    EXPECT_EQ(mixer.monitorMode(), kMonitorRight);
    EXPECT_EQ(attributes(Side::Right).volume, 60);
    EXPECT_EQ(attributes(Side::Right).pan, -50);
    EXPECT_EQ(attributes(Side::Left).volume, 30);
    EXPECT_EQ(attributes(Side::Left).pan, 100);  // main mix on the right channel only
    // The engine hears the monitored deck's cue on the left at the headphone level.
    EXPECT_EQ(library.routing, (audio::OutputRouting{true, 60}));
    EXPECT_EQ(controls.monitor[1].backColour(), kColourOn);
    EXPECT_EQ(controls.monitor[0].backColour(), kColourOff);
    EXPECT_EQ(controls.monitor[2].backColour(), kColourOff);

    controls.monitor[0].click();  // monitor left, through the button
    EXPECT_EQ(attributes(Side::Left).volume, 60);
    EXPECT_EQ(attributes(Side::Left).pan, -50);
    EXPECT_EQ(attributes(Side::Right).pan, 100);

    controls.monitorVolume.setValue(100);  // headphone level 0: same as the first routing step
    EXPECT_EQ(attributes(Side::Left).volume, 30);
    EXPECT_EQ(attributes(Side::Left).pan, 100);
    EXPECT_EQ(library.routing, (audio::OutputRouting{true, 0}));

    mixer.monitorCMB_Click(2);  // stereo: both centred
    EXPECT_EQ(mixer.monitorMode(), kMonitorStereo);
    EXPECT_EQ(attributes(Side::Left).volume, 30);
    EXPECT_EQ(attributes(Side::Left).pan, 0);
    EXPECT_EQ(attributes(Side::Right).pan, 0);
    EXPECT_FALSE(library.routing.cueOnLeft);
    EXPECT_EQ(library.rateChanges, 0);
}

TEST_F(MixerTest, MetersShowDeckLevelsAfterDeckVolumeAndMainLevelsAfterCrossfader) {
    for (audio::Handle h : streams)
        library.streamPlay(h, false, 0);
    library.stream(streams[0])->peaks = {10000, 20000};
    library.stream(streams[1])->peaks = {8000, 8000};
    left.volume.setValue(50);
    right.volume.setValue(0);
    controls.mainVolume.setValue(50);
    controls.crossFader.setValue(75);

    mixer.run_VUmeterTimer();
    EXPECT_EQ(left.meter.firstLevel(), 10000);  // right bar: 0.5 * 20000
    EXPECT_EQ(left.meter.secondLevel(), 5000);  // left bar: 0.5 * 10000
    EXPECT_EQ(right.meter.firstLevel(), 8000);
    // Left deck: e = 0.5 * 15000 = 7500, g = 2 * 25 / 100 = 0.5 -> 3750 on the main meter's left
    // bar.
    EXPECT_EQ(controls.mainMeter.secondLevel(), 3750);
    // Right deck: e = 0.5 * 8000 = 4000, g = min(1, 1.5) -> 4000 on the right bar.
    EXPECT_EQ(controls.mainMeter.firstLevel(), 4000);

    // A deck that stops keeps its bars where they were.
    library.channelPause(streams[0]);
    library.stream(streams[1])->peaks = {1000, 1000};
    mixer.run_VUmeterTimer();
    EXPECT_EQ(left.meter.firstLevel(), 10000);
    EXPECT_EQ(controls.mainMeter.secondLevel(), 3750);
    EXPECT_EQ(right.meter.firstLevel(), 1000);
}

}  // namespace
}  // namespace kelvra::decks
