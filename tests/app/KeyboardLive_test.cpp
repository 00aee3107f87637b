// The real program under a virtual X server, playing into a real sound server's null sink that
// is recorded, driven by real key presses: the keyboard map as a DJ meets it. Skipped where the
// X server, the sound server or the key sender is not installed.
#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <cmath>
#include <cstring>

#include "support/AudioFixtures.h"
#include "support/FileBytes.h"
#include "support/LiveRig.h"

namespace kelvra::app {
namespace {

constexpr int kRate = 44100;

class LiveProgram : public test::LiveRig {
  protected:
    void SetUp() override {
        requireTools({"Xvfb", "xdotool", "pulseaudio", "pactl", "parec"});
        if (IsSkipped()) return;
        ASSERT_NO_FATAL_FAILURE(startX());
        QDir(dir.path()).mkpath("runtime");
        QFile::setPermissions(dir.filePath("runtime"),
                              QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        env.remove("KELVRA_AUDIO");
        env.insert("XDG_RUNTIME_DIR", dir.filePath("runtime"));
        start(sound, "pulseaudio",
              {"-n", "--daemonize=no", "--exit-idle-time=-1",
               "--load=module-null-sink sink_name=kelvra_rec rate=44100",
               "--load=module-native-protocol-unix"});
        ASSERT_TRUE(waitFor("pactl", {"set-default-sink", "kelvra_rec"}))
            << "the sound server did not start";
    }

    QProcess sound;
};

// Frequency by rising zero crossings, and peak, of one channel between two times.
struct Window {
    double frequency = 0;
    int peak = 0;
};
Window measure(const std::vector<std::int16_t>& left, double from, double to) {
    Window w;
    double first = -1, last = -1;
    int crossings = 0;
    for (std::size_t i = std::size_t(std::max(0.0, from) * kRate) + 1;
         i < std::size_t(to * kRate) && i < left.size(); ++i) {
        w.peak = std::max(w.peak, std::abs(int(left[i])));
        if (left[i - 1] < 0 && left[i] >= 0) {
            const double at = double(i - 1) + double(left[i - 1]) / (left[i - 1] - left[i]);
            if (first < 0) first = at;
            last = at;
            ++crossings;
        }
    }
    if (crossings > 1) w.frequency = (crossings - 1) / ((last - first) / kRate);
    return w;
}

TEST_F(LiveProgram, KeysPlayBendFadeAndStopTheLeftDeck) {
    const QString song = dir.filePath("sine.wav");
    ASSERT_TRUE(test::writeWav(song.toStdString(), test::sine(kRate, 2, 60, 1000, 0.5), kRate, 2));
    // A song on the command line goes onto the left deck and plays.
    ASSERT_NO_FATAL_FAILURE(startProgram(song));

    const QString raw = dir.filePath("recording.raw");
    recorder.setStandardOutputFile(raw);
    start(recorder, "parec",
          {"-d", "kelvra_rec.monitor", "--format=s16le", "--rate=44100", "--channels=2",
           "--latency-msec=20"});
    ASSERT_TRUE(recorder.waitForStarted());
    clock.start();
    // Focus to the main window, as a click on it would.
    keysAt(0.2, {"search", "--name", "Kelvra - ", "windowfocus", "--sync"});
    keysAt(1.0, {"key", "2"});  // pause
    keysAt(3.0, {"key", "q"});  // play
    keysAt(5.0, {"keydown", "shift+x"});
    keysAt(8.0, {"keyup", "x"});
    keysAt(8.05, {"keyup", "shift"});
    keysAt(10.0, {"key", "n"});  // crossfader to the (empty) right deck
    keysAt(12.0, {"key", "v"});  // and back
    keysAt(14.0, {"key", "r"});  // turntable stop
    keysAt(16.0, {"key", "Escape"});
    recorder.terminate();
    recorder.waitForFinished(3000);

    const QByteArray bytes = test::contents(raw);
    std::vector<std::int16_t> left(std::size_t(bytes.size() / 4));
    for (std::size_t i = 0; i < left.size(); ++i)
        std::memcpy(&left[i], bytes.constData() + 4 * i, 2);
    ASSERT_GT(left.size(), std::size_t(15 * kRate)) << "recorded too little";

    // The recording starts a little before or after the clock; the pause's silence sets it.
    double offset = -1;
    for (double t = 0.5; t < 2.5 && offset < 0; t += 0.01)
        if (measure(left, t, t + 0.05).peak < 50) offset = t - 1.0;
    ASSERT_GE(offset, -0.5) << "the pause key did not silence the deck";
    auto at = [&](double from, double to) { return measure(left, from + offset, to + offset); };

    EXPECT_GT(at(0.2, 0.9).peak, 3000) << "the command-line song was not playing";
    EXPECT_LT(at(1.5, 2.8).peak, 50) << "2 did not pause";
    EXPECT_NEAR(at(3.5, 4.8).frequency, 1000, 2) << "Q did not play";
    EXPECT_GT(at(7.0, 7.9).frequency, 1012) << "Shift+X did not bend up";
    EXPECT_NEAR(at(8.8, 9.8).frequency, 1000, 2) << "releasing X did not snap back";
    EXPECT_LT(at(10.6, 11.8).peak, 50) << "N did not fade to the right deck";
    EXPECT_NEAR(at(12.6, 13.8).frequency, 1000, 2) << "V did not bring the left deck back";
    const double falling = at(14.1, 14.3).frequency;
    EXPECT_LT(falling, 990) << "R did not slow the deck";
    EXPECT_GT(falling, 0) << "R stopped the deck at once";
    EXPECT_LT(at(14.8, 15.8).peak, 50) << "R did not end in silence";
}

}  // namespace
}  // namespace kelvra::app
