// The meters over the real engine: the engine reports each stream's own signal, and the mixer
// applies the deck, main and crossfader gains exactly once.
#include <gtest/gtest.h>

#include "audio/EngineTestSupport.h"
#include "decks/Mixer.h"

namespace kelvra::decks {
namespace {

using audio::engine::Engine;
constexpr int kRate = 44100;
constexpr double kFull = 32768;

class MixerMeters : public ::testing::Test {
  protected:
    void SetUp() override {
        files.add("a.wav", test::sineFile(kRate, 2, 4.0, 441.0, 0.9));
        files.add("b.wav", test::sineFile(kRate, 2, 4.0, 661.5, 0.9, 0.5));
        engine = std::make_unique<Engine>(files.openers());
        ASSERT_TRUE(engine->initOffline(kRate));
        streams[0] = engine->streamCreateFile("a.wav", 0);
        streams[1] = engine->streamCreateFile("b.wav", 0);
        mixer = std::make_unique<Mixer>(*engine, controls, left, right,
                                        [this](Side s) { return streams[sideIndex(s)]; });
        mixer->setMixScale(controls.crossFader.maximum());
        // The start-up and load values: main 50, both decks at half, crossfader centred, stereo.
        controls.mainVolume.setValue(50);
        left.volume.setValue(50);
        right.volume.setValue(50);
        controls.crossFader.setValue(50);
        mixer->monitorCMB_Click(2);
        ASSERT_TRUE(engine->streamPlay(streams[0], false, 0));
        ASSERT_TRUE(engine->streamPlay(streams[1], false, 0));
    }

    void tick() {
        test::render(*engine, kRate / 10);
        mixer->run_VUmeterTimer();
    }

    test::TestFiles files;
    std::unique_ptr<Engine> engine;
    MixerControls controls;
    DeckControls left{Side::Left};
    DeckControls right{Side::Right};
    audio::Handle streams[2] = {0, 0};
    std::unique_ptr<Mixer> mixer;
};

TEST_F(MixerMeters, DeckAndMainMetersApplyEachGainOnce) {
    tick();
    // Deck meter: the deck slider's 0.5 on the stream's 0.9 peak, not the stream's volume again.
    EXPECT_NEAR(left.meter.firstLevel(), 0.5 * 0.9 * kFull, 60);
    EXPECT_NEAR(left.meter.secondLevel(), 0.5 * 0.9 * kFull, 60);
    EXPECT_NEAR(right.meter.secondLevel(), 0.5 * 0.9 * kFull, 60);
    EXPECT_NEAR(right.meter.firstLevel(), 0.5 * 0.45 * kFull, 60);
    // Main meter: main volume 0.5 on the deck's mono level, crossfader gain 1 at the centre.
    EXPECT_NEAR(controls.mainMeter.secondLevel(), 0.5 * 0.9 * kFull, 60);
    EXPECT_NEAR(controls.mainMeter.firstLevel(), 0.5 * (0.9 + 0.45) / 2 * kFull, 60);

    // A deck faded out by the crossfader still shows on its own meter; only the main bar drops.
    controls.crossFader.setValue(100);
    tick();
    EXPECT_EQ(mixer->deckVolume(Side::Left), 0);
    EXPECT_NEAR(left.meter.firstLevel(), 0.5 * 0.9 * kFull, 60);
    EXPECT_EQ(controls.mainMeter.secondLevel(), 0);
    EXPECT_NEAR(controls.mainMeter.firstLevel(), 0.5 * (0.9 + 0.45) / 2 * kFull, 60);

    // The deck slider scales the deck meter; the main meter ignores it.
    right.volume.setValue(75);
    tick();
    EXPECT_NEAR(right.meter.secondLevel(), 0.25 * 0.9 * kFull, 60);
    EXPECT_NEAR(controls.mainMeter.firstLevel(), 0.5 * (0.9 + 0.45) / 2 * kFull, 60);

    // Paused: the engine reports 0 and the meters keep what they showed.
    ASSERT_TRUE(engine->channelPause(streams[1]));
    const int shown = right.meter.secondLevel();
    tick();
    EXPECT_EQ(right.meter.secondLevel(), shown);
}

}  // namespace
}  // namespace kelvra::decks
