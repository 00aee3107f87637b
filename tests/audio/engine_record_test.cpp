// The engine's recording of its mix on a real-time output: the tap sees every period the null
// output's thread makes, without a gap or a repeat, and lets go of the ring when stopped.
#include <gtest/gtest.h>

#include <QTemporaryDir>
#include <chrono>
#include <cstdlib>
#include <thread>

#include "audio/EngineTestSupport.h"
#include "support/FlacDecode.h"

namespace kelvra::test {
namespace {

using audio::engine::Engine;
using namespace std::chrono_literals;

TEST(EngineRecord, ARecordingOnALiveOutputHoldsTheMixWithoutAGapAndEndsCleanly) {
    setenv("KELVRA_AUDIO", "null", 1);
    TestFiles files;
    files.add("tone.mp3", sineFile(44100, 2, 10.0, 441.0, 0.5, 0.5));
    Engine engine(files.openers());
    QTemporaryDir dir;
    const std::string path = dir.filePath("live.flac").toStdString();

    EXPECT_FALSE(engine.recordStart(path));  // nothing is mixed before the output opens
    EXPECT_EQ(engine.errorCode(), audio::kErrorInit);
    ASSERT_TRUE(engine.init(-1, 44100, 0));
    const audio::Handle h = engine.streamCreateFile("tone.mp3", 0);
    ASSERT_TRUE(engine.streamPlay(h, false, 0));
    std::this_thread::sleep_for(100ms);

    ASSERT_TRUE(engine.recordStart(path)) << engine.recordStatus().message;
    EXPECT_FALSE(engine.recordStart(path));
    EXPECT_EQ(engine.errorCode(), audio::kErrorAlready);
    std::this_thread::sleep_for(600ms);
    const audio::RecordingStatus running = engine.recordStatus();
    EXPECT_TRUE(running.active);
    EXPECT_GT(running.frames, 44100u / 4);
    const audio::RecordingStatus final = engine.recordStop();
    EXPECT_FALSE(final.active);
    EXPECT_FALSE(final.failed) << final.message;
    EXPECT_EQ(final.lostFrames, 0u);
    EXPECT_GE(final.frames, running.frames);
    // The mix plays on after the recording, and the engine closes without waiting for it.
    std::this_thread::sleep_for(50ms);
    EXPECT_EQ(engine.recordStatus().frames, final.frames);

    const FlacData file = decodeFlac(path);
    ASSERT_TRUE(file.ok) << file.error;
    EXPECT_TRUE(file.md5Matched);
    ASSERT_EQ(file.samples.size(), 2 * final.frames);
    // A 441 Hz tone from end to end: a missing or repeated period would be a step or a hole.
    const std::size_t frames = std::size_t(final.frames);
    EXPECT_LE(maxStep(file.samples, 0, 0, frames), sineStep(0.5, 441.0, 44100) + 2);
    EXPECT_LT(longestQuiet(file.samples, 0, 0, frames, 2000), 20u);
    EXPECT_NEAR(measuredFrequency(file.samples, 0, 0, frames, 44100), 441.0, 0.5);
    // Left and right as mixed: the right at half the left's level.
    EXPECT_NEAR(double(peak(file.samples, 0, 0, frames)) / peak(file.samples, 1, 0, frames), 2.0,
                0.05);
    engine.release();
}

// An output that plays at a sound server's rate until the test says the server went away; it
// never calls the mixer itself.
class ServerOutput final : public audio::engine::Output {
  public:
    explicit ServerOutput(bool& gone) : gone_(gone) {}
    bool start() override { return true; }
    void stop() override {}
    int rate() const override { return 48000; }
    bool lost() const override { return gone_; }

  private:
    bool& gone_;
};

TEST(EngineRecord, WhenTheOutputComesBackAtAnotherRateTheRecordingEndsWithAValidFile) {
    setenv("KELVRA_AUDIO", "null", 1);  // the fallback is the null output, at the rate asked for
    bool gone = false;
    Engine engine({}, [&gone](audio::engine::MixBus&, int, int, int&) {
        return std::make_unique<ServerOutput>(gone);
    });
    QTemporaryDir dir;
    const std::string path = dir.filePath("moved.flac").toStdString();
    ASSERT_TRUE(engine.init(-1, 44100, 0));
    ASSERT_TRUE(engine.recordStart(path));
    EXPECT_EQ(engine.recordStatus().rate, 48000);
    gone = true;
    engine.service();
    EXPECT_NE(engine.takeOutputNotice(), "");
    const audio::RecordingStatus status = engine.recordStatus();
    EXPECT_FALSE(status.active);
    EXPECT_TRUE(status.failed);
    EXPECT_EQ(status.message, "the sound output changed from 48000 to 44100 Hz");
    EXPECT_TRUE(engine.recordStop().failed);
    const FlacData file = decodeFlac(path);
    EXPECT_TRUE(file.ok) << file.error;
    EXPECT_EQ(file.rate, 48000);
    EXPECT_EQ(file.totalFrames, status.frames);
    engine.release();
}

}  // namespace
}  // namespace kelvra::test
