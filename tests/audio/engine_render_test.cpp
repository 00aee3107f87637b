// The engine's mixing path rendered offline: exact samples, the volume, pan and rate laws, and
// the absence of clicks.
#include <gtest/gtest.h>

#include "audio/EngineTestSupport.h"

namespace kelvra::test {
namespace {

using audio::engine::Engine;

constexpr int kRate = 44100;
constexpr std::size_t kFade = 140;    // start fades last 3 ms (133 frames at 44100 Hz)
constexpr std::size_t kSettle = 600;  // fades and gain ramps are over by then

class EngineRender : public ::testing::Test {
  protected:
    void SetUp() override {
        files.add("sine.wav", sineFile(kRate, 2, 2.0, 441.0, 0.5, 0.5));
        files.add("mono22.mp3", sineFile(22050, 1, 2.0, 500.0, 0.5));
        engine = std::make_unique<Engine>(files.openers());
        ASSERT_TRUE(engine->initOffline(kRate));
    }
    audio::Handle play(const std::string& name, std::int64_t fromFrame = 0) {
        const audio::Handle h = engine->streamCreateFile(name, 0);
        EXPECT_NE(h, 0u);
        EXPECT_TRUE(engine->channelSetPosition(h, audio::BytePosition(fromFrame) * 4));
        EXPECT_TRUE(engine->streamPlay(h, false, 0));
        return h;
    }
    TestFiles files;
    std::unique_ptr<Engine> engine;
};

TEST_F(EngineRender, RenderFromAPositionIsTheTailOfTheFullRender) {
    const TestFile file = sineFile(kRate, 2, 2.0, 441.0, 0.5, 0.5);
    const auto& source = *file.samples;
    const std::int64_t length = std::int64_t(source.size() / 2);
    const audio::Handle full = play("sine.wav");
    const auto all = render(*engine, length);
    EXPECT_EQ(engine->channelIsActive(full), audio::kStopped);
    EXPECT_EQ(engine->channelPosition(full), audio::BytePosition(length) * 4);
    engine->streamFree(full);

    const std::int64_t from = 12345;
    const audio::Handle part = play("sine.wav", from);
    const auto tail = render(*engine, length - from);
    // At ratio 1 the path is bit-exact: the source itself, after the start fade.
    for (std::size_t i = kFade; i < std::size_t(length); ++i) {
        ASSERT_EQ(all[2 * i], source[2 * i]) << "frame " << i;
        ASSERT_EQ(all[2 * i + 1], source[2 * i + 1]) << "frame " << i;
    }
    for (std::size_t i = 0; i < std::size_t(length - from); ++i) {
        const std::size_t j = i + std::size_t(from);
        if (i < kFade) {
            ASSERT_LE(std::abs(tail[2 * i]), std::abs(all[2 * j]) + 1) << "frame " << i;
        } else {
            ASSERT_EQ(tail[2 * i], all[2 * j]) << "frame " << i;
            ASSERT_EQ(tail[2 * i + 1], all[2 * j + 1]) << "frame " << i;
        }
    }
    EXPECT_EQ(engine->channelIsActive(part), audio::kStopped);
}

TEST_F(EngineRender, VolumeAndPanFollowLinearLaws) {
    const audio::Handle h = play("sine.wav");
    render(*engine, kSettle);
    const int full = peak(render(*engine, 4410), 0, 0, 4410);
    EXPECT_NEAR(full, 0.5 * 32767, 40);

    struct Case {
        int volume, pan;
        double left, right;  // expected gain against volume 100, pan 0
    } cases[] = {{50, 0, 0.5, 0.5},   {100, 50, 0.5, 1.0}, {100, -50, 1.0, 0.5},
                 {80, 100, 0.0, 0.8}, {100, -100, 1.0, 0}, {0, 0, 0, 0},
                 {25, -20, 0.25, 0.2}};
    for (const Case& c : cases) {
        ASSERT_TRUE(engine->channelSetAttributes(h, audio::kKeepRate, c.volume, c.pan));
        render(*engine, kSettle);
        const auto out = render(*engine, 4410);
        // The right channel of the source is at half the left's amplitude.
        EXPECT_NEAR(peak(out, 0, 0, 4410), c.left * full, 40) << c.volume << "/" << c.pan;
        EXPECT_NEAR(peak(out, 1, 0, 4410), c.right * full / 2, 40) << c.volume << "/" << c.pan;
    }
}

TEST_F(EngineRender, GainCorrectionComesBeforeVolumeGlidesAndIsMetered) {
    const audio::Handle h = play("sine.wav");
    ASSERT_TRUE(engine->channelSetAttributes(h, audio::kKeepRate, 50, 0));
    std::vector<std::int16_t> heard = render(*engine, kSettle);
    const double full = 0.5 * 32767;  // the source's left channel
    for (const float db : {-6.0f, 3.0f, 0.0f, -60.0f, 0.0f}) {
        ASSERT_TRUE(engine->setGain(audio::StreamId(h), db)) << db;
        auto out = render(*engine, kSettle + 4410);
        const double gain = std::pow(10.0, db / 20.0);
        EXPECT_NEAR(peak(out, 0, kSettle, kSettle + 4410), 0.5 * gain * full, 40) << db;
        // The meter sees the corrected signal but not the volume of 50.
        const std::uint32_t level = engine->channelLevel(h);
        EXPECT_NEAR(double(level & 0xffff), gain * 0.5 * 32768, 60) << db;
        EXPECT_NEAR(double(level >> 16), gain * 0.25 * 32768, 60) << db;
        heard.insert(heard.end(), out.begin(), out.end());
    }
    // A correction glides in like the volume: no step beyond the sine's own.
    EXPECT_LE(maxStep(heard, 0, 1, heard.size() / 2), sineStep(0.5 * 1.42, 441.0, kRate) * 1.25);

    EXPECT_FALSE(engine->setGain(audio::StreamId(h), 24.5f));
    EXPECT_EQ(engine->errorCode(), audio::kErrorIllegalParam);
    EXPECT_FALSE(engine->setGain(audio::StreamId(h), std::nanf("")));
    EXPECT_FALSE(engine->setGain(audio::StreamId(h + 1000), 0));
    EXPECT_EQ(engine->errorCode(), audio::kErrorHandle);
}

TEST_F(EngineRender, PlaybackRateScalesFrequencyAndPositionSpeed) {
    const audio::Handle h = play("sine.wav");
    render(*engine, kSettle);
    for (const int rate : {kRate, int(kRate * 1.06), int(kRate * 0.97), 22050, 88200}) {
        ASSERT_TRUE(engine->channelSetAttributes(h, rate, audio::kKeepVolume, audio::kKeepPan));
        render(*engine, kSettle);
        const auto before = engine->channelPosition(h) / 4;
        const auto out = render(*engine, 8820);
        const auto advanced = double(engine->channelPosition(h) / 4 - before);
        EXPECT_NEAR(measuredFrequency(out, 0, 0, 8820, kRate), 441.0 * rate / kRate,
                    441.0 * rate / kRate * 0.002)
            << rate;
        EXPECT_NEAR(advanced, 8820.0 * rate / kRate, 2.0) << rate;
        engine->channelSetPosition(h, 0);
    }
    EXPECT_EQ(engine->channelAttributes(h)->rate, 88200);

    // A mono 22050 Hz stream is resampled to the output rate and heard on both sides.
    const audio::Handle mono = play("mono22.mp3");
    engine->channelSetAttributes(h, audio::kKeepRate, 0, audio::kKeepPan);
    render(*engine, kSettle);
    const auto out = render(*engine, 8820);
    EXPECT_NEAR(measuredFrequency(out, 0, 0, 8820, kRate), 500.0, 1.0);
    EXPECT_NEAR(measuredFrequency(out, 1, 0, 8820, kRate), 500.0, 1.0);
    EXPECT_NEAR(peak(out, 0, 0, 8820), 0.5 * 32767, 200);
    EXPECT_NEAR(peak(out, 1, 0, 8820), 0.5 * 32767, 200);
    EXPECT_EQ(engine->channelAttributes(mono)->rate, 22050);
}

// Every change while playing, one after another; no step may exceed what the fastest sine in
// play makes on its own by more than the fade's own slope.
TEST_F(EngineRender, ChangesWhilePlayingDoNotClick) {
    const audio::Handle h = play("sine.wav");
    std::vector<std::int16_t> heard = render(*engine, kSettle);
    const auto step = [&](auto change) {
        change();
        const auto out = render(*engine, 2048);
        heard.insert(heard.end(), out.begin(), out.end());
    };
    step([&] { engine->channelSetAttributes(h, -1, 10, -101); });
    step([&] { engine->channelSetAttributes(h, -1, 100, -101); });
    step([&] { engine->channelSetAttributes(h, -1, -1, 100); });
    step([&] { engine->channelSetAttributes(h, -1, -1, -100); });
    step([&] { engine->channelSetAttributes(h, -1, -1, 0); });
    step([&] { engine->channelSetAttributes(h, 46000, -1, -101); });  // into the resampler
    step([&] { engine->channelSetAttributes(h, 43000, -1, -101); });
    step([&] { engine->channelSetAttributes(h, 47000, -1, -101); });
    step([&] { engine->channelSetAttributes(h, kRate, -1, -101); });  // back to bypass
    step([&] { engine->channelPause(h); });
    step([&] { engine->channelResume(h); });
    step([&] { engine->channelSetPosition(h, 30001 * 4); });
    step([&] { engine->channelStop(h); });
    step([&] { engine->streamPlay(h, false, 0); });
    const double limit = sineStep(0.5, 441.0 * 47000 / kRate, kRate) * 1.25;
    EXPECT_LE(maxStep(heard, 0, 1, heard.size() / 2), limit);
    EXPECT_LE(maxStep(heard, 1, 1, heard.size() / 2), limit);
}

}  // namespace
}  // namespace kelvra::test
