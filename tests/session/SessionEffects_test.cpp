// The effect units heard through a whole session: scripted, rendered offline through the real
// engine, and measured on the audio.
#include <gtest/gtest.h>

#include <QTemporaryDir>
#include <cmath>

#include "session/SessionRunner.h"
#include "support/AudioFixtures.h"

namespace kelvra::session {
namespace {

constexpr int kRate = 44100;

class SessionEffects : public ::testing::Test {
  protected:
    // Renders `script` for `seconds`; the left and right channels.
    void render(const QString& script, double seconds) {
        HeadlessProgram program({kRate, dir.filePath("config"), {}});
        ASSERT_TRUE(program.start());
        const SessionParse parse = parseSessionScript(script.toUtf8());
        ASSERT_EQ(parse.errorLine, 0) << parse.error.toStdString();
        left.clear();
        right.clear();
        const auto result = runSession(program, parse.actions, std::llrint(seconds * 1000),
                                       [&](const std::int16_t* frames, std::int64_t count) {
                                           for (std::int64_t i = 0; i < count; ++i) {
                                               left.push_back(frames[2 * i]);
                                               right.push_back(frames[2 * i + 1]);
                                           }
                                       });
        ASSERT_TRUE(result.error.isEmpty()) << result.error.toStdString();
    }
    // 10 ms bursts of 2 kHz at 100 BPM for six seconds, then silence.
    QString clicks() {
        const QString path = dir.filePath("clicks.wav");
        std::vector<std::int16_t> song(std::size_t(10 * kRate) * 2, 0);
        for (int beat = 0; beat <= 10; ++beat)
            for (int i = 0; i < kRate / 100; ++i) {
                const auto at = std::size_t(std::lrint(beat * 0.6 * kRate)) + std::size_t(i);
                song[2 * at] = song[2 * at + 1] =
                    std::int16_t(std::lrint(16000 * std::sin(2 * M_PI * 2000.0 * i / kRate)));
            }
        EXPECT_TRUE(test::writeWav(path.toStdString(), song, kRate, 2));
        return path;
    }
    static double peak(const std::vector<double>& x, double from, double to) {
        double p = 0;
        for (auto i = std::size_t(std::max(0.0, from) * kRate);
             i < std::size_t(to * kRate) && i < x.size(); ++i)
            p = std::max(p, std::abs(x[i]));
        return p;
    }

    QTemporaryDir dir;
    std::vector<double> left, right;
};

TEST_F(SessionEffects, AnEchoOnTheLeftDeckRepeatsAtItsTempoAndFallsByTheFeedback) {
    const QString path = clicks();
    render("0.5 load left " + path +
               "\n0.6 effect 1 1 echo\n0.6 param 1 1 time 0.75\n"
               "1 click playCB2\n1 click fx1On\n",
           10);
    // The last burst is the last place the dry level is reached.
    const double dry = peak(left, 1.0, 2.0);
    ASSERT_GT(dry, 2000);
    double last = 0;
    for (std::size_t i = 0; i < left.size(); ++i)
        if (std::abs(left[i]) > 0.9 * dry) last = double(i) / kRate;
    ASSERT_GT(last, 6.5);
    // Three quarters of a beat at 100 BPM is 0.45 s; each repeat about 6 dB below the last.
    double previous = dry;
    for (int k = 1; k <= 2; ++k) {
        const double repeat = peak(left, last + 0.45 * k - 0.02, last + 0.45 * k + 0.02);
        EXPECT_NEAR(20 * std::log10(repeat / previous), -6.0, 1.0) << "repeat " << k;
        previous = repeat;
    }
    EXPECT_EQ(left, right) << "the echo is not ping-pong: both sides alike";
}

TEST_F(SessionEffects, AnLv2AmplifierOnTheRightDeckTakesBothChannelsDownSixDecibels) {
    const QString path = dir.filePath("tones.wav");
    std::vector<std::int16_t> song(std::size_t(8 * kRate) * 2);
    for (std::size_t i = 0; i < song.size() / 2; ++i) {
        song[2 * i] =
            std::int16_t(std::lrint(8000 * std::sin(2 * M_PI * 500.0 * double(i) / kRate)));
        song[2 * i + 1] =
            std::int16_t(std::lrint(8000 * std::sin(2 * M_PI * 700.0 * double(i) / kRate)));
    }
    ASSERT_TRUE(test::writeWav(path.toStdString(), song, kRate, 2));
    render("0.5 load right " + path +
               "\n0.6 effect 2 1 lv2:http://lv2plug.in/plugins/eg-amp\n0.6 param 2 1 gain -6\n"
               "1 click playCB\n3 click fx2On\n",
           5);
    for (const std::vector<double>* side : {&left, &right}) {
        const double before = peak(*side, 2.0, 2.9), after = peak(*side, 3.5, 4.5);
        ASSERT_GT(before, 1000);
        EXPECT_NEAR(20 * std::log10(after / before), -6.0, 0.1);
    }
}

TEST_F(SessionEffects, SwitchedOffAnEchoRingsOutWhileLaterSoundGetsNoRepeat) {
    // Bursts at 1.0, 1.6 … 3.4 s; repeats 0.45 s later. Off at 3.3 s: the burst of 2.8 s
    // repeats on at 3.7 s (its second repeat), the burst of 3.4 s is heard dry only.
    render("0.5 load left " + clicks() +
               "\n0.6 effect 1 1 echo\n0.6 param 1 1 time 0.75\n"
               "1 click playCB2\n1 click fx1On\n3.3 click fx1On\n",
           5);
    const double dry = peak(left, 3.38, 3.45);
    ASSERT_GT(dry, 2000);
    EXPECT_NEAR(20 * std::log10(peak(left, 3.68, 3.73) / dry), -12.0, 1.5)
        << "the tail did not ring out";
    // What is left there is a fifth repeat of the burst at 1.6 s, 30 dB down.
    EXPECT_LT(peak(left, 3.84, 3.87), 0.05 * dry) << "sound after the switch-off was repeated";
    EXPECT_LT(peak(left, 4.7, 5.0), 0.02 * dry) << "the echo did not fade";  // six repeats: -36 dB
}

TEST_F(SessionEffects, AReverbOnTheMainMixRingsOnAfterTheSongStops) {
    // Two seconds of a tone, then silence; the third unit holds a reverb on the main mix.
    const QString path = dir.filePath("tone.wav");
    std::vector<std::int16_t> song(std::size_t(4 * kRate) * 2, 0);
    for (std::size_t i = 0; i < std::size_t(2 * kRate); ++i)
        song[2 * i] = song[2 * i + 1] =
            std::int16_t(std::lrint(8000 * std::sin(2 * M_PI * 330.0 * double(i) / kRate)));
    ASSERT_TRUE(test::writeWav(path.toStdString(), song, kRate, 2));
    const QString play = "0.5 load left " + path + "\n1 click playCB2\n";
    render(play, 5);
    const double dryTail = peak(left, 3.2, 3.6);
    render(play + "0.8 click fx3On\n", 5);
    const double level = peak(left, 2.0, 2.9);
    ASSERT_GT(level, 1000);
    EXPECT_LT(dryTail, 1.0) << "the song itself is not silent after its end";
    const double tail = peak(left, 3.2, 3.6);
    EXPECT_GT(tail, 0.01 * level) << "no reverb tail on the main mix";
    EXPECT_LT(tail, level);
}

}  // namespace
}  // namespace kelvra::session
