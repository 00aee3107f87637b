// Tempo and Sync on the real program logic: the tempo text follows the pitch, Sync matches the
// other deck (halving or doubling where nearer) or says why it cannot, and a rendered session of
// two click loops at 120 and 124 BPM stays on the beat for 30 s after one press of Sync.
#include <gtest/gtest.h>

#include <QTemporaryDir>
#include <cmath>

#include "session/HeadlessProgram.h"
#include "session/SessionRunner.h"
#include "support/AnalysisFixtures.h"
#include "support/AudioFixtures.h"
#include "support/MainWindowRig.h"

namespace kelvra::app {
namespace {

constexpr int kRate = 44100;

// A beat of `kind`: a smooth positive pulse (0) or a burst of 6 kHz (1), 3 ms long, every beat.
std::vector<std::int16_t> clickLoop(double bpm, int kind, double seconds) {
    std::vector<std::int16_t> pcm(std::size_t(seconds * kRate) * 2);
    const int burst = kRate * 3 / 1000;
    for (int beat = 0;; ++beat) {
        const std::size_t at = std::size_t(std::llrint(beat * 60.0 / bpm * kRate));
        if (at + std::size_t(burst) >= pcm.size() / 2) break;
        for (int i = 0; i < burst; ++i) {
            const double window = 0.5 - 0.5 * std::cos(2 * M_PI * i / burst);
            const double v = kind == 0 ? window : window * std::sin(2 * M_PI * 6000.0 * i / kRate);
            pcm[2 * (at + std::size_t(i))] = pcm[2 * (at + std::size_t(i)) + 1] =
                std::int16_t(std::lrint(v * 12000));
        }
    }
    return pcm;
}

TEST(SyncLogic, TempoTextFollowsThePitchAndSyncMatchesOrRefuses) {
    test::MainWindowRig rig;
    MainWindow& w = *rig.window;
    for (Side side : {Side::Left, Side::Right})
        w.deck(side).loadChosenFile(rig.addSong(side == Side::Left ? "a.mp3" : "b.mp3"));
    w.analysisReady(Side::Left, w.deck(Side::Left).songFile(), test::analysisOf({.bpm = 120}));
    w.analysisReady(Side::Right, w.deck(Side::Right).songFile(), test::analysisOf({.bpm = 124}));
    // An answer for a song no longer on the deck is dropped.
    w.analysisReady(Side::Left, "/elsewhere/old.mp3", test::analysisOf({.bpm = 99}));
    DeckDisplayModel& left = w.controls().left.display;
    EXPECT_EQ(left.tempoText(), "120.0 \u2192 120.0 BPM");
    ASSERT_TRUE(left.overview());

    // +1.50 % of pitch plays 120 BPM at 121.8.
    w.controls().left.pitch.setValue(1150);
    w.tmrTrackLength_Timer();
    EXPECT_EQ(left.tempoText(), "120.0 \u2192 121.8 BPM");
    EXPECT_EQ(w.controls().left.sync.backColour(), kColourOff);  // not at the other's tempo

    // Sync by the button: 124 / 120 is +3.33 %, slider 1333 at the 10 % range.
    w.controls().left.sync.click();
    EXPECT_EQ(w.controls().left.pitch.value(), 1333);
    EXPECT_NEAR(w.deckAnalysis(Side::Left).effectiveBpm(), 124.0, 0.02);
    w.tmrTrackLength_Timer();
    EXPECT_EQ(w.controls().left.sync.backColour(), kColourOn);  // its light says so
    // The other way by the key: the right deck down to the left's 124.
    w.keyboard().keyDown('L', 0);
    EXPECT_EQ(w.controls().right.pitch.value(), 1000);

    // 150 BPM is beyond +-10 % of 120: nothing moves, and the display says why.
    w.analysisReady(Side::Right, w.deck(Side::Right).songFile(), test::analysisOf({.bpm = 150}));
    w.controls().left.sync.click();
    EXPECT_EQ(w.controls().left.pitch.value(), 1333);
    EXPECT_EQ(left.noticeText(), "Sync: beyond the pitch range");
    // The refusal stands beside the tempo line, which still tells the tempo.
    EXPECT_EQ(left.tempoText(), "120.0 \u2192 124.0 BPM");
    // 70 against 140 is matched at half tempo: no pitch change needed.
    w.analysisReady(Side::Left, w.deck(Side::Left).songFile(), test::analysisOf({.bpm = 70}));
    w.analysisReady(Side::Right, w.deck(Side::Right).songFile(), test::analysisOf({.bpm = 140}));
    w.controls().left.pitch.setValue(1000);
    w.controls().left.sync.click();
    EXPECT_EQ(w.controls().left.pitch.value(), 1000);
    EXPECT_EQ(left.tempoText(), "70.0 \u2192 70.0 BPM");
    EXPECT_EQ(left.noticeText(), "");

    // A song whose tempo changes shows its longest stretch's, and says so.
    auto changing =
        std::make_shared<audio::analysis::SongAnalysis>(*test::analysisOf({.bpm = 140}));
    changing->tempoChanges = true;
    w.analysisReady(Side::Right, w.deck(Side::Right).songFile(), changing);
    w.tmrTrackLength_Timer();
    DeckDisplayModel& right = w.controls().right.display;
    EXPECT_EQ(right.tempoText(), "140.0 \u2192 140.0 BPM (tempo changes)");
    // Without a steady beat on either deck there is nothing to match, and Sync says so.
    w.analysisReady(Side::Right, w.deck(Side::Right).songFile(), test::analysisOf({.bpm = 0}));
    w.tmrTrackLength_Timer();
    EXPECT_EQ(right.tempoText(), "no steady beat");
    w.controls().left.pitch.setValue(1100);
    w.controls().left.sync.click();
    EXPECT_EQ(w.controls().left.pitch.value(), 1100);
    EXPECT_EQ(left.noticeText(), "Sync: no steady beat");
    w.controls().right.sync.click();
    EXPECT_EQ(right.noticeText(), "Sync: no steady beat");
}

// Beat onsets of each loop in the rendered mix: the pulse loop through a 1 ms average (the
// 6 kHz bursts cancel in it), the burst loop through what the average leaves. An onset is where
// the measure first passes half its largest value, at least 0.2 s after the one before.
std::vector<double> onsets(const std::vector<double>& mix, int kind, double from, double to) {
    const std::size_t width = kRate / 1000;
    std::vector<double> level(mix.size(), 0.0);
    double sum = 0;
    for (std::size_t i = 0; i < mix.size(); ++i) {
        sum += mix[i] - (i >= width ? mix[i - width] : 0);
        const double average = sum / double(width);
        if (i >= width) level[i] = kind == 0 ? average : std::abs(mix[i - width / 2] - average);
    }
    const auto first = std::size_t(from * kRate),
               last = std::min(mix.size(), std::size_t(to * kRate));
    double largest = 0;
    for (std::size_t i = first; i < last; ++i)
        largest = std::max(largest, level[i]);
    std::vector<double> times;
    double lastOnset = -1;
    for (std::size_t i = first; i < last; ++i) {
        const double t = double(i) / kRate;
        if (level[i] > largest / 2 && t - lastOnset > 0.2) {
            times.push_back(t);
            lastOnset = t;
        }
    }
    return times;
}

TEST(LoudnessMatching, CorrectsEachDeckOnlyWhileTheOptionIsOn) {
    test::MainWindowRig rig;
    MainWindow& w = *rig.window;
    const auto loudness = [](double lufs, double truePeak) {
        auto analysis =
            std::make_shared<audio::analysis::SongAnalysis>(*test::analysisOf({.bpm = 120}));
        analysis->lufs = lufs;
        analysis->truePeakDbfs = truePeak;
        return audio::analysis::AnalysisSnapshot(analysis);
    };
    const auto gain = [&](Side side) { return rig.library.stream(w.deck(side).stream())->gainDb; };
    w.deck(Side::Left).loadChosenFile(rig.addSong("loud.mp3"));
    w.deck(Side::Right).loadChosenFile(rig.addSong("quiet.mp3"));
    w.analysisReady(Side::Left, w.deck(Side::Left).songFile(), loudness(-8, -0.1));
    w.analysisReady(Side::Right, w.deck(Side::Right).songFile(), loudness(-21, -9));
    // Off by default: the deck levels are left untouched.
    EXPECT_EQ(gain(Side::Left), 0.0f);
    EXPECT_EQ(gain(Side::Right), 0.0f);

    w.optionsControls().matchLoudness.click();
    EXPECT_FLOAT_EQ(gain(Side::Left), -6.0f);
    EXPECT_FLOAT_EQ(gain(Side::Right), 7.0f);

    // A new song starts uncorrected until its own analysis arrives, then takes its own gain.
    w.deck(Side::Right).loadChosenFile(rig.addSong("next.mp3"));
    EXPECT_EQ(gain(Side::Right), 0.0f);
    w.analysisReady(Side::Right, w.deck(Side::Right).songFile(), loudness(-30, -20));
    EXPECT_FLOAT_EQ(gain(Side::Right), 12.0f);

    w.optionsControls().matchLoudness.click();
    EXPECT_EQ(gain(Side::Left), 0.0f);
    EXPECT_EQ(gain(Side::Right), 0.0f);
}

TEST(SyncSession, TwoLoopsStayOnTheBeatForThirtySeconds) {
    QTemporaryDir dir;
    const QString a = dir.filePath("pulse120.wav"), b = dir.filePath("burst124.wav");
    ASSERT_TRUE(test::writeWav(a.toStdString(), clickLoop(120, 0, 45), kRate, 2));
    ASSERT_TRUE(test::writeWav(b.toStdString(), clickLoop(124, 1, 45), kRate, 2));
    const session::SessionParse script =
        session::parseSessionScript(("0.5 load left " + a + "\n0.5 load right " + b +
                                     "\n1 click playCB2\n1.37 click playCB\n"
                                     "2 click RsyncCB\n")
                                        .toUtf8());
    ASSERT_EQ(script.errorLine, 0) << script.error.toStdString();
    // Rendered as the program does it (both songs analysed ahead, side by side) and with each
    // analysed at its load; each run with a cache of its own, empty.
    const auto render = [&](bool ahead) {
        session::HeadlessProgram program({kRate, dir.filePath(ahead ? "ahead" : "at-load"), {}});
        EXPECT_TRUE(program.start());
        if (ahead) program.analyseAhead({a, b});
        std::vector<double> mix;
        const auto result = session::runSession(
            program, script.actions, 34000, [&](const std::int16_t* frames, std::int64_t count) {
                for (std::int64_t i = 0; i < count; ++i)
                    mix.push_back(frames[2 * i] + frames[2 * i + 1]);
            });
        EXPECT_TRUE(result.error.isEmpty()) << result.error.toStdString();
        EXPECT_NEAR(program.window().deckAnalysis(Side::Right).effectiveBpm(), 120.0, 0.01);
        return mix;
    };
    const std::vector<double> mix = render(true);
    EXPECT_TRUE(mix == render(false)) << "analysing ahead changed the mix";

    const std::vector<double> pulses = onsets(mix, 0, 3, 33);
    const std::vector<double> bursts = onsets(mix, 1, 3, 33);
    ASSERT_GE(pulses.size(), 58u);
    ASSERT_GE(bursts.size(), 58u);
    // Each pulse has a burst within 5 ms of it, all the way.
    double worst = 0;
    for (double p : pulses) {
        double nearest = 1;
        for (double q : bursts)
            nearest = std::min(nearest, std::abs(q - p));
        worst = std::max(worst, nearest);
    }
    EXPECT_LT(worst, 0.005);
}

}  // namespace
}  // namespace kelvra::app
