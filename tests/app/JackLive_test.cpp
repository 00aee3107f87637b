// The real program under a virtual X server, playing into a dummy JACK server of the test's own
// (KELVRA_AUDIO=jack), its four ports recorded by jack_rec: the song given on the command line is
// heard on master_1/2, and the monitored deck alone on phones_1/2 once the DJ cues it, still
// there with the crossfader shut on it. Skipped where a tool is not installed.
#include <gtest/gtest.h>

#include <cmath>
#include <numbers>

#include "audio/AnalysisFixtures.h"
#include "support/AudioFixtures.h"
#include "support/LiveRig.h"

namespace kelvra::app {
namespace {

constexpr int kRate = 44100;

using LiveProgramJack = test::LiveRig;

TEST_F(LiveProgramJack, TheSongIsHeardOnTheMasterPortsAndTheCuedDeckAloneOnThePhonesPorts) {
    ASSERT_NO_FATAL_FAILURE(startJackRig("kelvra-live", kRate, 4));
    if (IsSkipped()) return;
    const QString song = dir.filePath("sine.wav");
    ASSERT_TRUE(test::writeWav(song.toStdString(), test::sine(kRate, 2, 60, 1000, 0.5), kRate, 2));
    ASSERT_NO_FATAL_FAILURE(startProgram(song));

    const QString wavPath = dir.filePath("ports.wav");
    ASSERT_NO_FATAL_FAILURE(
        startRecorder(wavPath, 8, {"master_1", "master_2", "phones_1", "phones_2"}));
    keysAt(0.2, {"search", "--name", "Kelvra - ", "windowfocus", "--sync"});
    keysAt(2.0, {"key", "--repeat", "50", "--delay", "5", "shift+Up"});  // headphones up
    keysAt(2.6, {"key", "alt+Left"});                                    // cue the left deck
    keysAt(4.5, {"key", "n"});  // crossfader to the (empty) right deck
    ASSERT_TRUE(recorder.waitForFinished(15000));

    test::WavData wav;
    ASSERT_TRUE(test::readWav(wavPath.toStdString(), wav));
    ASSERT_EQ(wav.channels, 4);
    ASSERT_GT(wav.samples.size(), std::size_t(7 * kRate * 4)) << "recorded too little";
    // The main mix in stereo; nothing on the headphones until the DJ cues a deck.
    EXPECT_GT(test::peakOf(wav, 0, 0.5, 1.8), 2000) << "the command-line song is not on master_1";
    EXPECT_GT(test::peakOf(wav, 1, 0.5, 1.8), 2000) << "the command-line song is not on master_2";
    EXPECT_LT(test::peakOf(wav, 2, 0.5, 1.8), 50) << "phones_1 carries something before a cue";
    // Cued: the left deck on both headphone ports.
    EXPECT_GT(test::peakOf(wav, 2, 3.3, 4.3), 2000) << "the cued deck is not on phones_1";
    EXPECT_GT(test::peakOf(wav, 3, 3.3, 4.3), 2000) << "the cued deck is not on phones_2";
    // The crossfader shuts the deck out of the main mix, not out of the headphones.
    EXPECT_LT(test::peakOf(wav, 0, 5.3, 7.5), 50) << "the crossfader did not fade master_1";
    EXPECT_GT(test::peakOf(wav, 2, 5.3, 7.5), 2000) << "the cue went with the crossfader";
}

// How often `channel` crosses zero upwards between two times, in Hz.
double crossingRate(const test::WavData& wav, int channel, double from, double to) {
    int crossings = 0;
    const auto at = [&](std::size_t i) { return wav.samples[i * wav.channels + channel]; };
    const std::size_t first = std::size_t(from * wav.rate), last = std::size_t(to * wav.rate);
    for (std::size_t i = first + 1; i < last && i * wav.channels < wav.samples.size(); ++i)
        crossings += at(i - 1) < 0 && at(i) >= 0;
    return crossings / (to - from);
}

// A server at 48 kHz playing a song made at 44.1 kHz, so every deck goes through the resampler,
// which reads ahead of what is heard.
TEST_F(LiveProgramJack, ABeatLoopOfASongAtAnotherRatePlaysOnAndLetsGo) {
    ASSERT_NO_FATAL_FAILURE(startJackRig("kelvra-live48", 48000, 2));
    if (IsSkipped()) return;
    // Drums at 120 BPM on the left, for the beat grid; on the right a tone rising 40 Hz a
    // second, which tells where in the song the deck is.
    constexpr int kSongRate = 44100;
    constexpr double kSeconds = 30;
    const std::vector<std::int16_t> drums = audio::testing::drumLoop({120, 0, kSeconds, kSongRate});
    std::vector<std::int16_t> song(drums.size());
    double phase = 0;
    for (std::size_t i = 0; i < drums.size() / 2; ++i) {
        const double t = double(i) / kSongRate;
        phase += 2 * std::numbers::pi * (300 + 40 * t) / kSongRate;
        song[2 * i] = drums[2 * i];
        song[2 * i + 1] = std::int16_t(std::lrint(12000 * std::sin(phase)));
    }
    const QString path = dir.filePath("drums.wav");
    ASSERT_TRUE(test::writeWav(path.toStdString(), song, kSongRate, 2));
    ASSERT_NO_FATAL_FAILURE(startProgram(path));

    const QString wavPath = dir.filePath("master.wav");
    ASSERT_NO_FATAL_FAILURE(startRecorder(wavPath, 13, {"master_1", "master_2"}));
    keysAt(0.2, {"search", "--name", "Kelvra - ", "windowfocus", "--sync"});
    keysAt(3.0, {"key", "f"});  // a four-beat loop on the left deck: two seconds
    keysAt(8.0, {"key", "f"});  // and out of it again
    ASSERT_TRUE(recorder.waitForFinished(20000));

    test::WavData wav;
    ASSERT_TRUE(test::readWav(wavPath.toStdString(), wav));
    ASSERT_EQ(wav.channels, 2);
    ASSERT_GT(wav.samples.size(), std::size_t(12.5 * wav.rate * 2)) << "recorded too little";
    // The tone never stops: not in the loop, not after it.
    const int heard = test::peakOf(wav, 1, 1.0, 2.5);
    ASSERT_GT(heard, 500) << "the song is not heard";
    for (double t = 0.5; t < 12.5; t += 0.25)
        EXPECT_GT(test::peakOf(wav, 1, t, t + 0.25), heard / 2) << "master silent at " << t << " s";
    // In the loop the tone goes round two seconds of the song; played straight it would have
    // risen another 200 Hz by the loop's last second. Out of the loop it rises again.
    const double inLoop = crossingRate(wav, 1, 6.5, 7.5);
    const double late = crossingRate(wav, 1, 11.5, 12.5);
    const double entered = crossingRate(wav, 1, 3.0, 3.5);
    EXPECT_LT(inLoop, entered + 120) << "the loop did not hold the deck";
    EXPECT_GT(late, inLoop + 40) << "the deck did not play on after the loop";
}

}  // namespace
}  // namespace kelvra::app
