// Session scripts: the parser's errors, and scripted sessions rendered through the real engine
// offline and measured on their audio (pitch, turntable stop, cue loop, no clicks).
#include <gtest/gtest.h>

#include <QFile>
#include <QTemporaryDir>
#include <cmath>

#include "session/SessionRunner.h"
#include "support/AudioFixtures.h"
#include "support/CliRun.h"
#include "support/ToneFit.h"

namespace kelvra::session {
namespace {

constexpr int kRate = 44100;

TEST(SessionScript, ParsesActionsInTimeOrderAndNamesTheBadLine) {
    const SessionParse good = parseSessionScript(
        "# comment\n2 click speedCB 1\n1 down playCB2 right\n1 set LpitchScroll 1150\n"
        "0.5 load left /music/a song.mp3\n3 key X shift\n4 end\n");
    ASSERT_EQ(good.errorLine, 0) << good.error.toStdString();
    ASSERT_EQ(good.actions.size(), 6u);
    EXPECT_EQ(good.actions[0].path, "/music/a song.mp3");
    EXPECT_TRUE(good.actions[1].rightButton);  // same time: file order kept
    EXPECT_EQ(good.actions[2].value, 1150);
    EXPECT_EQ(good.actions[3].index, 1);
    EXPECT_EQ(good.actions[4].modifiers, 1);

    for (const char* bad : {"1 click\n", "x click playCB\n", "1 dance\n", "1 set LpitchScroll x\n",
                            "-1 click playCB\n", "1 load middle a.mp3\n", "1 key Q hyper\n"}) {
        const SessionParse parse = parseSessionScript(QByteArray("# first\n") + bad);
        EXPECT_EQ(parse.errorLine, 2) << bad;
        EXPECT_FALSE(parse.error.isEmpty());
        EXPECT_TRUE(parse.actions.empty());
    }
}

TEST(SessionScript, TheScriptsEndSetsTheLengthAndSecondsOverrideIt) {
    const auto actions = [](const char* text) { return parseSessionScript(text).actions; };
    EXPECT_EQ(sessionLengthMs(actions("1 click playCB2\n600 end\n"), std::nullopt), 600'000);
    EXPECT_EQ(sessionLengthMs(actions("9 end\n1 click playCB2\n5 end\n"), std::nullopt), 5000);
    EXPECT_EQ(sessionLengthMs(actions("1 click playCB2\n"), std::nullopt), kDefaultSessionMs);
    EXPECT_EQ(sessionLengthMs(actions("600 end\n"), 2.5), 2500);

    // Through the command line: past the default, and past the end when --seconds says so.
    QTemporaryDir dir;
    QFile script(dir.filePath("long.txt"));
    ASSERT_TRUE(script.open(QIODevice::WriteOnly));
    script.write("1 click playCB2\n90 end\n");
    script.close();
    const QString out = dir.filePath("out.wav");
    for (const auto& [more, seconds] :
         {std::pair{QStringList{}, 90}, {{"--seconds", "3"}, 3}, {{"--seconds", "95"}, 95}}) {
        const test::CliRun run = test::runCli(
            QStringList{"session", script.fileName(), "--out", out, "--rate", "8000"} + more);
        ASSERT_EQ(run.exitCode, 0) << run.err.toStdString();
        EXPECT_EQ(QFile(out).size(), 44 + seconds * 8000 * 4) << seconds;
    }
}

// Every two seconds of the song a tone of its own (300, 400, 500 Hz ...) under a 120 BPM click
// for the beat grid: the tone heard tells where in the song the deck plays.
std::vector<std::int16_t> stairsUnderClicks(int seconds) {
    std::vector<std::int16_t> stairs(std::size_t(seconds * kRate) * 2);
    for (std::size_t i = 0; i < stairs.size() / 2; ++i) {
        const double t = double(i) / kRate;
        const double hz = 300 + 100 * std::floor(t / 2);
        const double click = std::fmod(t, 0.5) < 0.003 ? std::sin(2 * M_PI * 6000 * t) * 0.5 : 0;
        stairs[2 * i] = stairs[2 * i + 1] =
            std::int16_t(std::lrint(9000 * (0.4 * std::sin(2 * M_PI * hz * t) + click)));
    }
    return stairs;
}

// The tone of the staircase heard from `from` for 0.4 s.
double stairHeard(const std::vector<float>& mono, double from) {
    double best = 0, hz = 0;
    for (double tone = 300; tone <= 1700; tone += 100) {
        const double a = test::fitTone(mono.data(), 1, std::size_t(from * kRate),
                                       std::size_t(0.4 * kRate), tone / kRate)
                             .amplitude;
        if (a > best) best = a, hz = tone;
    }
    return hz;
}

class SessionRender : public ::testing::Test {
  protected:
    SessionRender() {
        song = dir.filePath("sine.wav").toStdString();
        EXPECT_TRUE(test::writeWav(song, test::sine(kRate, 2, 30, 1000, 0.5), kRate, 2));
    }

    // Renders `script` for `seconds`; returns the left+right mono mix.
    std::vector<double> render(const QString& script, double seconds, QString* error = nullptr) {
        HeadlessProgram program({kRate, dir.filePath("config"), {}});
        EXPECT_TRUE(program.start());
        const SessionParse parse = parseSessionScript(script.toUtf8());
        EXPECT_EQ(parse.errorLine, 0) << parse.error.toStdString();
        std::vector<double> mono;
        const auto result = runSession(program, parse.actions, std::llrint(seconds * 1000),
                                       [&](const std::int16_t* frames, std::int64_t count) {
                                           for (std::int64_t i = 0; i < count; ++i)
                                               mono.push_back(frames[2 * i] + frames[2 * i + 1]);
                                       });
        if (error) *error = result.error;
        return mono;
    }

    // Frequency from the rising zero crossings between two times.
    static double frequency(const std::vector<double>& x, double from, double to) {
        const std::size_t a = std::size_t(from * kRate), b = std::size_t(to * kRate);
        double first = -1, last = -1;
        int crossings = 0;
        for (std::size_t i = a + 1; i < b && i < x.size(); ++i) {
            if (x[i - 1] < 0 && x[i] >= 0) {
                const double at = double(i - 1) + x[i - 1] / (x[i - 1] - x[i]);
                if (first < 0) first = at;
                last = at;
                ++crossings;
            }
        }
        return crossings > 1 ? (crossings - 1) / ((last - first) / kRate) : 0;
    }
    static double peak(const std::vector<double>& x, double from, double to) {
        double p = 0;
        for (std::size_t i = std::size_t(from * kRate); i < std::size_t(to * kRate) && i < x.size();
             ++i)
            p = std::max(p, std::abs(x[i]));
        return p;
    }
    static double largestStep(const std::vector<double>& x) {
        double step = 0;
        for (std::size_t i = 1; i < x.size(); ++i)
            step = std::max(step, std::abs(x[i] - x[i - 1]));
        return step;
    }

    QTemporaryDir dir;
    std::string song;
};

TEST_F(SessionRender, PitchBaseFrequencyAndTurntableStopAreHeardWithoutClicks) {
    const QString path = QString::fromStdString(song);
    QString error;
    const std::vector<double> mix = render("0.5 load left " + path +
                                               "\n1 click playCB2\n"
                                               "3 set LpitchScroll 1150\n"
                                               "5 click speedCB 1\n"
                                               "6 click speedCB 2\n"
                                               "7 down LpBend_PlusCB\n"
                                               "8.8 up LpBend_PlusCB\n"
                                               "10 down stopCB2\n",
                                           11, &error);
    ASSERT_TRUE(error.isEmpty()) << error.toStdString();
    EXPECT_NEAR(frequency(mix, 1.5, 2.5), 1000.0, 0.5);
    EXPECT_NEAR(frequency(mix, 3.5, 4.5), 1015.0, 0.5);   // 44762 / 44100 of the sine
    EXPECT_NEAR(frequency(mix, 5.2, 5.8), 507.5, 0.5);    // half the base frequency
    EXPECT_NEAR(frequency(mix, 8.5, 8.75), 1035.0, 1.0);  // bent 200 units further: +3.5 %
    EXPECT_NEAR(frequency(mix, 9.2, 9.8), 1015.0, 0.5);   // snapped back
    // The stop's frequency falls, and after its 12 ticks (0.36 s) there is silence.
    EXPECT_LT(frequency(mix, 10.15, 10.30), 800.0);
    EXPECT_GT(peak(mix, 9.5, 9.9), 5000.0);
    EXPECT_LT(peak(mix, 10.45, 11.0), 1.0);

    // No step from one sample to the next beyond 1.5 times the sine's own largest.
    const double sineStep =
        largestStep(std::vector<double>(mix.begin() + kRate + 4410, mix.begin() + 2 * kRate));
    EXPECT_LE(largestStep(mix), 1.5 * sineStep);
}

TEST_F(SessionRender, CueEditModeLoopsEightyMillisecondsAtTheCuePoint) {
    // A rising tone: each place in the song sounds different, so a repeat is a loop.
    const std::string chirp = dir.filePath("chirp.wav").toStdString();
    std::vector<std::int16_t> samples(std::size_t(10 * kRate) * 2);
    for (std::size_t i = 0; i < samples.size() / 2; ++i) {
        const double t = double(i) / kRate;
        samples[2 * i] = samples[2 * i + 1] =
            std::int16_t(std::lrint(16000 * std::sin(2 * M_PI * (300 * t + 40 * t * t))));
    }
    ASSERT_TRUE(test::writeWav(chirp, samples, kRate, 2));
    const QString path = QString::fromStdString(chirp);
    const std::vector<double> mix = render("0.5 load left " + path +
                                               "\n1 click playCB2\n"
                                               "2 down playCB2 right\n"
                                               "2.2 down LcueFowardCB\n"
                                               "3 up LcueFowardCB\n",
                                           4, nullptr);
    // After the button is let go the deck still jumps back to the (now fixed) cue point every
    // 80 ms: the sound repeats with that period, and each jump cross-fades without a hole.
    const auto mismatch = [&](std::size_t lag) {
        double differ = 0, energy = 0;
        for (std::size_t i = std::size_t(3.1 * kRate); i < std::size_t(3.8 * kRate); ++i) {
            differ += std::abs(mix[i] - mix[i + lag]);
            energy += std::abs(mix[i]);
        }
        return differ / energy;
    };
    std::size_t best = 0;
    for (std::size_t lag = 2000; lag < 5000; ++lag)
        if (best == 0 || mismatch(lag) < mismatch(best)) best = lag;
    EXPECT_NEAR(double(best), 0.08 * kRate, 2.0);
    EXPECT_LT(mismatch(best), 0.05);
    EXPECT_GT(mismatch(best + 200), 0.3);  // a plain tone would repeat anywhere
    double quietest = 1e9;
    for (double t = 3.1; t < 3.8; t += 0.001)
        quietest = std::min(quietest, peak(mix, t, t + 0.001));
    EXPECT_GT(quietest, 3000);  // no hole at any jump
    const double toneStep =
        largestStep(std::vector<double>(mix.begin() + kRate + 4410, mix.begin() + 2 * kRate - 100));
    EXPECT_LE(largestStep(mix), 1.5 * toneStep);
}

// The jumps a DJ makes while a deck plays: back to the cue, to the previous cue, and a new song
// dropped onto the playing deck. Each is heard without a hole, a click or a dropout.
TEST_F(SessionRender, JumpsAndALoadOntoAPlayingDeckPlayOnWithoutAHoleOrAClick) {
    const std::string next = dir.filePath("next.wav").toStdString();
    ASSERT_TRUE(test::writeWav(next, test::sine(kRate, 2, 30, 700, 0.5), kRate, 2));
    HeadlessProgram program({kRate, dir.filePath("config"), {}});
    ASSERT_TRUE(program.start());
    const QString a = QString::fromStdString(song), b = QString::fromStdString(next);
    const SessionParse parse = parseSessionScript(("0.5 load left " + a +
                                                   "\n1 click playCB2\n"
                                                   "2 click cueCB2\n"     // a cue at 1 s in
                                                   "2.5 click playCB2\n"  // back to it
                                                   "3 click Lplay_cue\n"  // to the one before
                                                   "3.3 click Lplay_cue\n"
                                                   "3.6 load left " +
                                                   b + "\n3.6 click playCB2\n")
                                                      .toUtf8());
    ASSERT_EQ(parse.errorLine, 0) << parse.error.toStdString();
    std::vector<double> mix;
    const auto result = runSession(program, parse.actions, 4500,
                                   [&](const std::int16_t* frames, std::int64_t count) {
                                       for (std::int64_t i = 0; i < count; ++i)
                                           mix.push_back(frames[2 * i] + frames[2 * i + 1]);
                                   });
    ASSERT_TRUE(result.error.isEmpty()) << result.error.toStdString();
    double quietest = 1e9;
    for (double t = 1.05; t < 4.4; t += 0.001)
        quietest = std::min(quietest, peak(mix, t, t + 0.001));
    EXPECT_GT(quietest, 3000);
    const double toneStep =
        largestStep(std::vector<double>(mix.begin() + kRate + 4410, mix.begin() + 2 * kRate - 100));
    EXPECT_LE(largestStep(std::vector<double>(mix.begin() + kRate, mix.end())), 1.5 * toneStep);
    EXPECT_EQ(program.engine().stats().starvedFrames, 0u);
    // The new song plays from its start: 700 Hz after the load.
    EXPECT_NEAR(frequency(mix, 3.8, 4.4), 700.0, 2.0);
}

TEST_F(SessionRender, KeysPlayBendFadeAndStopADeck) {
    const QString path = QString::fromStdString(song);
    QString error;
    const std::vector<double> mix = render("0.5 load left " + path +
                                               "\n1 key Q\n1.1 keyup Q\n"
                                               "2 key X shift\n3.8 keyup X\n"
                                               "5 key N\n5.1 keyup N\n"
                                               "6 key V\n6.1 keyup V\n"
                                               "7 key R\n"
                                               "7.6 key Up ctrl alt\n7.7 keyup Up ctrl alt\n",
                                           8, &error);
    ASSERT_TRUE(error.isEmpty()) << error.toStdString();
    EXPECT_NEAR(frequency(mix, 1.5, 1.9), 1000.0, 0.5);
    EXPECT_NEAR(frequency(mix, 3.3, 3.75), 1020.0, 1.0);  // bent 200 units: +2 % at this range
    EXPECT_NEAR(frequency(mix, 4.3, 4.9), 1000.0, 0.5);   // snapped back on the key-up
    EXPECT_LT(peak(mix, 5.5, 5.9), 1.0);                  // N: all right deck, which is empty
    EXPECT_GT(peak(mix, 6.5, 6.9), 5000.0);               // V: back to the left deck
    EXPECT_LT(frequency(mix, 7.15, 7.30), 800.0);         // R: the turntable stop falls
    EXPECT_LT(peak(mix, 7.45, 8.0), 1.0);

    render("1 key Hyper\n", 2, &error);
    EXPECT_EQ(error, "no key named 'Hyper'");
}

TEST_F(SessionRender, AnIndexOutsideAControlGroupIsNamedWithTheGroupsRange) {
    QString error;
    render("1 click speedCB 2147483647\n", 2, &error);
    EXPECT_EQ(error, "speedCB takes an index from 1 to 4, not 2147483647");
    render("1 click monitorCMB 3\n", 2, &error);
    EXPECT_EQ(error, "monitorCMB takes an index from 0 to 2, not 3");
    render("1 down speedCB\n", 2, &error);
    EXPECT_EQ(error, "speedCB needs an index from 1 to 4");
    render("1 click speedCX 1\n", 2, &error);
    EXPECT_EQ(error, "no button named 'speedCX'");
    render("1 click speedCB 4\n", 2, &error);
    EXPECT_TRUE(error.isEmpty()) << error.toStdString();

    // A name that is a group and a lone control too: without an index it is the lone one, with
    // one outside the group it is refused on its line, not taken for the lone one.
    render("1 down LloopRoll 8\n1.5 up LloopRoll\n", 2, &error);
    EXPECT_TRUE(error.isEmpty()) << error.toStdString();
    HeadlessProgram program({kRate, dir.filePath("config"), {}});
    ASSERT_TRUE(program.start());
    const SessionParse parse =
        parseSessionScript("1 down LloopRoll 3\n1.2 up LloopRoll\n1.5 down LloopRoll 9\n");
    const SessionRunResult result = runSession(program, parse.actions, 2000, {});
    EXPECT_EQ(result.errorLine, 3);
    EXPECT_EQ(result.error, "LloopRoll takes an index from 0 to 8, not 9");
}

TEST_F(SessionRender, HotCuesAndBeatJumpsAreHeardWhereTheyLandWithoutAHole) {
    const QString path = dir.filePath("stairs.wav");
    const std::vector<std::int16_t> stairs = stairsUnderClicks(30);
    ASSERT_TRUE(test::writeWav(path.toStdString(), stairs, kRate, 2));
    QString error;
    const std::vector<double> mix = render("0.5 load left " + path +
                                               "\n1 click playCB2\n"
                                               "4 click LhotCue 0\n"      // at 3 s
                                               "8 click LhotCue 0\n"      // back to 3 s
                                               "10 click LbeatJump 1\n"   // -4 beats
                                               "12 click LbeatJump 5\n",  // +16 beats
                                           13, &error);
    ASSERT_TRUE(error.isEmpty()) << error.toStdString();
    const std::vector<float> mono(mix.begin(), mix.end());
    const auto heard = [&](double from) { return stairHeard(mono, from); };
    EXPECT_EQ(heard(2.2), 300) << "the song did not start at its beginning";
    EXPECT_EQ(heard(8.2), 400) << "the hot cue did not take the deck back to 3 s";
    EXPECT_EQ(heard(10.2), 400) << "-4 beats did not go back two seconds";
    EXPECT_EQ(heard(12.2), 900) << "+16 beats did not go eight seconds on";
    // No hole at any jump: the tone never drops out for 10 ms.
    for (double t = 1.2; t < 12.9; t += 0.01)
        EXPECT_GT(peak(mix, t, t + 0.01), 900) << "a hole at " << t << " s";
}

TEST_F(SessionRender, ABeatLoopRepeatsExactlyForHundredsOfPassesAndARollComesBackOnTime) {
    const QString path = dir.filePath("stairs.wav");
    ASSERT_TRUE(test::writeWav(path.toStdString(), stairsUnderClicks(200), kRate, 2));
    HeadlessProgram program({kRate, dir.filePath("config"), {}});
    ASSERT_TRUE(program.start());
    const SessionParse parse = parseSessionScript(("0.5 load left " + path +
                                                   "\n1 click playCB2\n"
                                                   "3.3 click LbeatLoop 2\n"  // half a beat
                                                   "125 click LloopExit\n"
                                                   "130 down LloopRoll 3\n"
                                                   "132 up LloopRoll\n")
                                                      .toUtf8());
    ASSERT_EQ(parse.errorLine, 0) << parse.error.toStdString();
    std::vector<float> mono;
    std::int64_t loopFrames = 0;
    const auto result = runSession(
        program, parse.actions, 134'000, [&](const std::int16_t* frames, std::int64_t count) {
            for (std::int64_t i = 0; i < count; ++i)
                mono.push_back(float(frames[2 * i] + frames[2 * i + 1]));
            if (loopFrames == 0 && program.window().loops(Side::Left).active())
                loopFrames = (program.window().loops(Side::Left).loopOut() -
                              program.window().loops(Side::Left).loopIn()) /
                             4;
        });
    ASSERT_TRUE(result.error.isEmpty()) << result.error.toStdString();
    ASSERT_GT(loopFrames, kRate / 5);
    // From the second pass on, every pass is the one before it, sample for sample: over 400
    // passes the loop neither drifts nor changes.
    const std::size_t from = std::size_t(4 * kRate), to = std::size_t(124 * kRate);
    std::size_t differ = 0;
    for (std::size_t t = from; t + std::size_t(loopFrames) < to; ++t)
        if (mono[t] != mono[t + std::size_t(loopFrames)]) ++differ;
    EXPECT_EQ(differ, 0u) << "the loop is not " << loopFrames << " frames every pass";
    // The half beat at or before 2.3 s: 2.25 s, in the second step of the staircase.
    EXPECT_EQ(stairHeard(mono, 60), 400) << "the loop is not where it was set";
    // Out of the loop the song goes on from it (4.5 s or so two seconds later, 6.8 to 7.1 s at
    // 129.5 s); rolled from there for two seconds, it comes back two seconds further on.
    EXPECT_EQ(stairHeard(mono, 127.2), 500) << "leaving the loop did not go straight on";
    EXPECT_EQ(stairHeard(mono, 129.5), 600);
    EXPECT_EQ(stairHeard(mono, 133.2), 800) << "the roll did not come back where the song would be";
    // No hole anywhere, loop seams and roll included.
    double quiet = 1e9;
    for (std::size_t t = std::size_t(1.5 * kRate); t + 441 < mono.size(); t += 441) {
        float p = 0;
        for (std::size_t i = t; i < t + 441; ++i)
            p = std::max(p, std::fabs(mono[i]));
        quiet = std::min(quiet, double(p));
    }
    EXPECT_GT(quiet, 900) << "a hole";
}

TEST_F(SessionRender, KeyLockHoldsThePitchWhileThePitchSliderMovesTheTempo) {
    const QString path = QString::fromStdString(song);  // 1 kHz for 30 s
    QString error;
    const std::vector<double> mix = render("0.5 load left " + path +
                                               "\n1 click playCB2\n"
                                               "2 set LpitchScroll 1150\n"
                                               "4 click LkeyLockCB\n"
                                               "6 click LkeyUp\n"
                                               "8 click LkeyReset\n"
                                               "9 click LkeyLockCB\n",
                                           11, &error);
    ASSERT_TRUE(error.isEmpty()) << error.toStdString();
    const double faster = frequency(mix, 3.0, 3.9);
    EXPECT_GT(faster, 1010.0) << "the pitch slider did nothing";
    EXPECT_NEAR(frequency(mix, 4.5, 5.9), 1000.0, 2.0) << "the lock did not hold the pitch";
    EXPECT_NEAR(frequency(mix, 6.5, 7.9), 1000.0 * std::exp2(1 / 12.0), 3.0);
    EXPECT_NEAR(frequency(mix, 8.5, 8.95), 1000.0, 2.0);
    EXPECT_NEAR(frequency(mix, 9.5, 10.9), faster, 2.0) << "unlocked, the pitch came back";
    // No hole where the lock came in or went.
    for (double t = 1.2; t < 10.9; t += 0.01)
        EXPECT_GT(peak(mix, t, t + 0.01), 1000.0) << "a hole at " << t << " s";
}

// Two decks of their own tones (left 1000 Hz, right 600 Hz) rendered by the command-line tool,
// with a headphone output of its own or sharing the one stereo output.
class SessionPhones : public ::testing::Test {
  protected:
    SessionPhones() {
        EXPECT_TRUE(test::writeWav(a.toStdString(), test::sine(kRate, 2, 20, 1000, 0.5), kRate, 2));
        EXPECT_TRUE(test::writeWav(b.toStdString(), test::sine(kRate, 2, 20, 600, 0.5), kRate, 2));
    }
    // Runs the two decks' start and then `rest`; the main output, and the headphones' with
    // `phones`, as floats.
    void run(const QString& rest, bool phones) {
        QFile script(dir.filePath("phones.txt"));
        ASSERT_TRUE(script.open(QIODevice::WriteOnly));
        script.write(("0.2 load left " + a + "\n0.2 load right " + b +
                      "\n0.5 click playCB2\n0.5 click playCB\n" + rest)
                         .toUtf8());
        script.close();
        const QString main = dir.filePath("main.wav"), cue = dir.filePath("phones.wav");
        QStringList args{"session", script.fileName(), "--out", main};
        if (phones) args << "--phones" << cue;
        const test::CliRun run = test::runCli(args);
        ASSERT_EQ(run.exitCode, 0) << run.err.toStdString();
        test::WavData m, p;
        ASSERT_TRUE(test::readWav(main.toStdString(), m));
        mf.assign(m.samples.begin(), m.samples.end());
        if (!phones) return;
        ASSERT_TRUE(test::readWav(cue.toStdString(), p));
        ASSERT_EQ(m.samples.size(), p.samples.size());
        pf.assign(p.samples.begin(), p.samples.end());
    }
    // Amplitude of `hz` in channel `channel` over a second from `from`.
    static double tone(const std::vector<float>& x, int channel, double from, double hz) {
        return test::fitTone(x.data() + channel, 2, std::size_t(from * kRate), kRate, hz / kRate)
            .amplitude;
    }
    static double largestStep(const std::vector<float>& x, double from) {
        double step = 0;
        for (std::size_t i = std::size_t(from * kRate) * 2; i + 2 < x.size(); ++i)
            step = std::max(step, double(std::abs(x[i + 2] - x[i])));
        return step;
    }

    QTemporaryDir dir;
    const QString a = dir.filePath("a.wav"), b = dir.filePath("b.wav");
    std::vector<float> mf, pf;
};

TEST_F(SessionPhones, TheHeadphoneOutputCarriesTheCueAndTheMixAsTheControlsSay) {
    ASSERT_NO_FATAL_FAILURE(
        run("0.5 set crossFaderScroll 0\n0.5 click monitorCMB 1\n"
            "0.5 set monitorVolScroll 50\n"
            "3 set phonesMix 50\n5 set phonesMix 100\n"
            "7 click phonesSplitCB\n9 end\n",
            true));

    // The main mix: the left deck alone (the crossfader is at the left), the same on both sides.
    const double mainTone = tone(mf, 0, 1.5, 1000);
    EXPECT_GT(mainTone, 1000.0);
    EXPECT_NEAR(tone(mf, 1, 1.5, 1000), mainTone, 1.0);
    EXPECT_LT(tone(mf, 0, 1.5, 600), 2.0);
    // Cue only: the right deck, whose crossfader side is shut, at the headphone level.
    const double cue = tone(pf, 0, 1.5, 600);
    EXPECT_GT(cue, 1000.0);
    EXPECT_NEAR(tone(pf, 1, 1.5, 600), cue, 1.0);
    EXPECT_LT(tone(pf, 0, 1.5, 1000), 2.0);
    // Half and half, then the main mix alone, both at the headphone level of one half.
    EXPECT_NEAR(tone(pf, 0, 3.5, 600), cue / 2, cue * 0.01);
    EXPECT_NEAR(tone(pf, 0, 3.5, 1000), mainTone / 4, mainTone * 0.01);
    EXPECT_LT(tone(pf, 0, 5.5, 600), 2.0);
    EXPECT_NEAR(tone(pf, 1, 5.5, 1000), mainTone / 2, mainTone * 0.01);
    // Split: the cue on the left earpiece, the main mix on the right, the mix knob aside.
    EXPECT_NEAR(tone(pf, 0, 7.5, 600), cue, cue * 0.01);
    EXPECT_LT(tone(pf, 0, 7.5, 1000), 2.0);
    EXPECT_NEAR(tone(pf, 1, 7.5, 1000), mainTone / 2, mainTone * 0.01);
    EXPECT_LT(tone(pf, 1, 7.5, 600), 2.0);
    // The main output never changed, and no change clicked.
    EXPECT_NEAR(tone(mf, 0, 7.5, 1000), mainTone, 1.0);
    EXPECT_LT(largestStep(pf, 1.0), 2 * M_PI * 1000 / kRate * mainTone * 1.5);
}

// One stereo output shared: the right channel carries the main mix, the left only the monitored
// deck at the headphone level, exactly, whatever the deck's own level; each change glides.
TEST_F(SessionPhones, OneSharedOutputCarriesTheMainMixOnTheRightAndTheCueOnTheLeft) {
    // Both decks at 30 (main 60, deck sliders at half); headphone level 20, below the deck's.
    ASSERT_NO_FATAL_FAILURE(
        run("0.5 set MainVolScroll 60\n0.5 set monitorVolScroll 80\n"
            "1 click monitorCMB 1\n3 click monitorCMB 2\n"
            "5 click monitorCMB 0\n7 end\n",
            false));
    // Stereo: both decks on both sides at the deck level.
    const double deck = tone(mf, 0, 3.5, 1000);
    EXPECT_GT(deck, 1000.0);
    EXPECT_NEAR(tone(mf, 1, 3.5, 600), deck, 1.0);
    // Monitoring the right deck: the main mix stays on the right, only the cue on the left.
    EXPECT_NEAR(tone(mf, 1, 1.5, 1000), deck, 1.0);
    EXPECT_NEAR(tone(mf, 1, 1.5, 600), deck, deck * 0.001);
    EXPECT_NEAR(tone(mf, 0, 1.5, 600), deck * 20 / 30, deck * 0.001);
    EXPECT_LT(tone(mf, 0, 1.5, 1000), 2.0);
    // And the left deck.
    EXPECT_NEAR(tone(mf, 0, 5.5, 1000), deck * 20 / 30, deck * 0.001);
    EXPECT_LT(tone(mf, 0, 5.5, 600), 2.0);
    EXPECT_NEAR(tone(mf, 1, 5.5, 600), deck, 1.0);
    EXPECT_NEAR(tone(mf, 1, 5.5, 1000), deck, deck * 0.001);
    // Two tones at the deck level move at most this much a frame; a switch that jumped would.
    EXPECT_LT(largestStep(mf, 0.7), 2 * M_PI * 1600 / kRate * deck * 1.1);
}

TEST_F(SessionRender, TheDecksEqKillsFilterAndGainAreHeardOnTheMix) {
    // Bass and treble together: 60 Hz and 10 kHz, a tenth of full scale each.
    const QString path = dir.filePath("two.wav");
    std::vector<std::int16_t> two(std::size_t(12 * kRate) * 2);
    for (std::size_t i = 0; i < two.size() / 2; ++i)
        two[2 * i] = two[2 * i + 1] =
            std::int16_t(std::lrint(3277 * (std::sin(2 * M_PI * 60 * double(i) / kRate) +
                                            std::sin(2 * M_PI * 10000 * double(i) / kRate))));
    ASSERT_TRUE(test::writeWav(path.toStdString(), two, kRate, 2));
    QString error;
    const std::vector<double> mix = render("0.5 load left " + path +
                                               "\n1 click playCB2\n"
                                               "2 set LeqLow 0\n3.5 set LeqLow 50\n"
                                               "4 click LkillHigh\n4.7 click LkillHigh\n"
                                               "5.5 set Lfilter 0\n6.5 set Lfilter 100\n"
                                               "7.5 set Lfilter 50\n8 set Lgain 100\n",
                                           9, &error);
    ASSERT_TRUE(error.isEmpty()) << error.toStdString();
    const std::vector<float> mono(mix.begin(), mix.end());
    // Level of `hz` over half a second from `from`, in dB against the untouched deck.
    const auto level = [&](double from, double hz) {
        return test::fitTone(mono.data(), 1, std::size_t(from * kRate), kRate / 2, hz / kRate)
            .amplitude;
    };
    const double bass = level(1.4, 60), treble = level(1.4, 10000);
    ASSERT_GT(bass, 1000);
    const auto db = [](double amplitude, double reference) {
        return 20 * std::log10(amplitude / reference);
    };
    EXPECT_LT(db(level(2.6, 60), bass), -40) << "LeqLow 0 left the bass";
    EXPECT_NEAR(db(level(2.6, 10000), treble), 0, 0.2) << "LeqLow 0 touched the treble";
    EXPECT_NEAR(db(level(4.1, 60), bass), 0, 0.2) << "LkillHigh touched the bass";
    EXPECT_LT(db(level(4.1, 10000), treble), -40) << "LkillHigh left the treble";
    EXPECT_NEAR(db(level(4.9, 10000), treble), 0, 0.2) << "a second LkillHigh did not restore it";
    EXPECT_LT(db(level(5.9, 10000), treble), -40) << "the closed low-pass left the treble";
    EXPECT_GT(db(level(5.9, 60), bass), -3) << "the closed low-pass lost the bass";
    EXPECT_LT(db(level(6.9, 60), bass), -40) << "the closed high-pass left the bass";
    EXPECT_NEAR(db(level(8.4, 60), bass), 12, 0.2) << "Lgain 100 is not +12 dB";
    EXPECT_NEAR(db(level(8.4, 10000), treble), 12, 0.2);
    // Every change glided: no step beyond the loudest stretch's own.
    std::vector<double> loud(mix.begin() + std::ptrdiff_t(8.4 * kRate), mix.end());
    EXPECT_LE(largestStep(mix), 1.05 * largestStep(loud));
}

}  // namespace
}  // namespace kelvra::session
