// The real program under a virtual X server, playing into a dummy JACK server of the test's own
// (KELVRA_AUDIO=jack), its four ports recorded by jack_rec: the song given on the command line is
// heard on master_1/2, and the monitored deck alone on phones_1/2 once the DJ cues it, still
// there with the crossfader shut on it. Skipped where a tool is not installed.
#include <gtest/gtest.h>

#include <cmath>

#include "support/AudioFixtures.h"
#include "support/LiveRig.h"

namespace kelvra::app {
namespace {

constexpr int kRate = 44100;

class LiveProgramJack : public test::LiveRig {
  protected:
    void SetUp() override {
        requireTools({"Xvfb", "xdotool", "jackd", "jack_rec", "jack_lsp"});
        if (IsSkipped()) return;
        ASSERT_NO_FATAL_FAILURE(startX());
        ASSERT_NO_FATAL_FAILURE(startJack(server, QStringLiteral("kelvra-live"), kRate, 4));
    }

    QProcess server, recorder;
};

TEST_F(LiveProgramJack, TheSongIsHeardOnTheMasterPortsAndTheCuedDeckAloneOnThePhonesPorts) {
    const QString song = dir.filePath("sine.wav");
    ASSERT_TRUE(test::writeWav(song.toStdString(), test::sine(kRate, 2, 60, 1000, 0.5), kRate, 2));
    ASSERT_NO_FATAL_FAILURE(startProgram(song));

    const QString wavPath = dir.filePath("ports.wav");
    recorder.setProcessChannelMode(QProcess::MergedChannels);
    start(recorder, "jack_rec",
          {"-f", wavPath, "-d", "8", "-b", "16", "kelvra:master_1", "kelvra:master_2",
           "kelvra:phones_1", "kelvra:phones_2"});
    ASSERT_TRUE(recorder.waitForStarted());
    clock.start();
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

}  // namespace
}  // namespace kelvra::app
