// The engine on a real-time output: the null output's pace, the starvation count, and what init
// answers with and without a device.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <thread>

#include "audio/EngineTestSupport.h"

namespace kelvra::test {
namespace {

using audio::engine::Engine;
using namespace std::chrono_literals;

class EngineOutput : public ::testing::Test {
  protected:
    void SetUp() override {
        setenv("KELVRA_AUDIO", "null", 1);
        files.add("long.mp3", sineFile(44100, 2, 10.0, 441.0));
        TestFile slow = sineFile(44100, 2, 10.0, 441.0);
        slow.readDelay = 30ms;  // ~34 ms of audio per 30 ms: barely faster than real time
        files.add("slow.mp3", slow);
        engine = std::make_unique<Engine>(files.openers());
    }
    TestFiles files;
    std::unique_ptr<Engine> engine;
};

TEST_F(EngineOutput, NullOutputPlaysInRealTime) {
    EXPECT_EQ(engine->deviceDescription(1), "Null output (no sound)");
    EXPECT_FALSE(engine->deviceDescription(2));
    EXPECT_FALSE(engine->deviceDescription(0));
    ASSERT_TRUE(engine->init(-1, 44100, audio::kInitKeepDeviceVolume));
    EXPECT_FALSE(engine->init(-1, 44100, 0));
    EXPECT_EQ(engine->errorCode(), audio::kErrorAlready);
    ASSERT_TRUE(engine->start());

    const audio::Handle h = engine->streamCreateFile("long.mp3", 0);
    ASSERT_TRUE(engine->streamPreBuf(h));
    ASSERT_TRUE(engine->streamPlay(h, false, 0));
    const auto started = std::chrono::steady_clock::now();
    std::this_thread::sleep_for(400ms);
    const double played = engine->channelBytes2Seconds(h, engine->channelPosition(h));
    const double elapsed =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
    EXPECT_GT(played, elapsed * 0.5);
    EXPECT_LT(played, elapsed * 1.5 + 0.05);
    EXPECT_GT(engine->channelLevel(h) & 0xFFFF, 10000u);
    EXPECT_EQ(engine->stats().starvedFrames, 0u);

    // Stopping the output holds every stream; playing then needs a start.
    ASSERT_TRUE(engine->stop());
    const auto held = engine->channelPosition(h);
    std::this_thread::sleep_for(50ms);
    EXPECT_EQ(engine->channelPosition(h), held);
    ASSERT_TRUE(engine->channelPause(h));
    EXPECT_FALSE(engine->channelResume(h));
    EXPECT_EQ(engine->errorCode(), audio::kErrorStart);
    ASSERT_TRUE(engine->start());
    ASSERT_TRUE(engine->channelResume(h));

    // Release frees every stream; the engine can be opened again.
    engine->release();
    EXPECT_EQ(engine->channelIsActive(h), audio::kStopped);
    EXPECT_EQ(engine->errorCode(), audio::kErrorHandle);
    EXPECT_FALSE(engine->start());
    EXPECT_EQ(engine->errorCode(), audio::kErrorInit);
    EXPECT_TRUE(engine->init(0, 22050, 0));
}

TEST_F(EngineOutput, UndecodedAudioPlaysAsSilenceAndIsCounted) {
    ASSERT_TRUE(engine->init(-1, 44100, 0));
    engine->setBufferLength(0.2f);
    const audio::Handle h = engine->streamCreateFile("slow.mp3", 0);
    // Played at twice the speed, the slow decoder cannot keep up.
    ASSERT_TRUE(engine->channelSetAttributes(h, 88200, -1, -101));
    ASSERT_TRUE(engine->streamPlay(h, false, 0));
    std::this_thread::sleep_for(500ms);
    EXPECT_GT(engine->stats().starvedFrames, 1000u);
    EXPECT_GT(engine->stats().renderedFrames, 10000u);
    EXPECT_EQ(engine->channelIsActive(h), audio::kPlaying);
    EXPECT_TRUE(engine->streamFree(h));
}

// The options window moves a playing mix to another output: the stream plays on from where it
// was, the headphones come and go with the routing, and a device that cannot open leaves the
// current output playing with a word for the DJ.
TEST_F(EngineOutput, AnOutputChangeAppliesAtOnceWithoutStoppingTheMix) {
    audio::OutputSetup setup;
    setup.period = 128;
    ASSERT_TRUE(engine->configureOutput(setup));  // before init: only remembered
    ASSERT_TRUE(engine->init(-1, 44100, 0));
    EXPECT_EQ(engine->outputStatus().period, 128);
    EXPECT_FALSE(engine->phonesOutput());
    const audio::Handle h = engine->streamCreateFile("long.mp3", 0);
    ASSERT_TRUE(engine->streamPlay(h, false, 0));
    std::this_thread::sleep_for(300ms);

    setup.phones = audio::PhonesRoute::Channels34;
    setup.period = 512;
    const auto before = engine->channelPosition(h);
    ASSERT_TRUE(engine->configureOutput(setup));
    EXPECT_TRUE(engine->phonesOutput());
    EXPECT_TRUE(engine->outputStatus().phones);
    EXPECT_EQ(engine->outputStatus().period, 512);
    EXPECT_NEAR(engine->outputStatus().latency, 512.0 / 44100, 1e-6);
    std::this_thread::sleep_for(300ms);
    EXPECT_GT(engine->channelPosition(h), before + 44100 * 4 / 10) << "the mix went on";
    EXPECT_EQ(engine->channelIsActive(h), audio::kPlaying);
    EXPECT_EQ(engine->takeOutputNotice(), "");

    setup.phones = audio::PhonesRoute::Shared;
    ASSERT_TRUE(engine->configureOutput(setup));
    EXPECT_FALSE(engine->phonesOutput());
    // Another sample rate, at once, the song going on at its own speed; and back to the first.
    setup.rate = 48000;
    const auto atRate = engine->channelPosition(h);
    ASSERT_TRUE(engine->configureOutput(setup));
    EXPECT_EQ(engine->outputStatus().rate, 48000);
    std::this_thread::sleep_for(300ms);
    const double played = engine->channelBytes2Seconds(h, engine->channelPosition(h) - atRate);
    EXPECT_NEAR(played, 0.3, 0.12) << "the song did not keep its speed at 48 kHz";
    setup.rate = 0;
    ASSERT_TRUE(engine->configureOutput(setup));
    EXPECT_EQ(engine->outputStatus().rate, 44100);
    EXPECT_EQ(engine->stats().starvedFrames, 0u);
}

TEST_F(EngineOutput, InitWithoutNullOutputAnswersPromptly) {
    unsetenv("KELVRA_AUDIO");
    const auto started = std::chrono::steady_clock::now();
    const bool opened = engine->init(-1, 44100, audio::kInitKeepDeviceVolume);
    EXPECT_LT(std::chrono::steady_clock::now() - started, 10s);
    EXPECT_TRUE(opened) << "a machine without a sound device plays on the null output";
    setenv("KELVRA_AUDIO", "null", 1);
}

// A device, rate or period that cannot open never ends the start: the same device with its
// default settings, then the default device, and last the null output, so that the decks keep
// time; the DJ is told what plays instead.
TEST_F(EngineOutput, AnOutputThatCannotOpenFallsBackAndNeverFailsTheStart) {
    struct Case {
        const char* what;
        int device, rate;                // asked for
        bool deviceOpens, defaultOpens;  // at 44.1 kHz only
        int playsDevice;                 // what opened; -2: the null output
        const char* told;
    };
    const Case cases[] = {
        {"a rate the device refuses", 0, 96000, true, true, 0, "same device"},
        {"a device that is not there", 5, 0, false, true, -1, "default output"},
        {"nothing opens", 0, 48000, false, false, -2, "silent"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        int opened = -2;
        Engine rig(files.openers(),
                   [&](audio::engine::MixBus& mixer, int device, int rate,
                       int& error) -> std::unique_ptr<audio::engine::Output> {
                       const bool takes =
                           device < 0 ? c.defaultOpens : device == 0 && c.deviceOpens;
                       if (rate != 44100 || !takes) {
                           error = rate != 44100 ? audio::kErrorFrequency : audio::kErrorDevice;
                           return nullptr;
                       }
                       opened = device;
                       return audio::engine::makeNullOutput(mixer, rate);
                   });
        audio::OutputSetup setup;
        setup.device = c.device;
        setup.rate = c.rate;
        ASSERT_TRUE(rig.configureOutput(setup));
        ASSERT_TRUE(rig.init(c.device, 44100, 0)) << rig.errorCode();
        EXPECT_EQ(opened, c.playsDevice);
        EXPECT_NE(rig.takeOutputNotice().find(c.told), std::string::npos);
        const std::uint64_t before = rig.stats().renderedFrames;
        std::this_thread::sleep_for(100ms);
        EXPECT_GT(rig.stats().renderedFrames, before) << "the mix does not run";
    }
    // Without a test rig: the only device of the null output is its first.
    ASSERT_TRUE(engine->init(5, 44100, 0));
    EXPECT_NE(engine->takeOutputNotice().find("default output"), std::string::npos);
    EXPECT_EQ(engine->outputStatus().backend, "Null output");
}

}  // namespace
}  // namespace kelvra::test
