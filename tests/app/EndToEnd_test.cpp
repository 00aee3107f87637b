// The main window's logic on the real engine and its silent output: two generated songs, both
// decks playing, the crossfader moved, the meters read.
#include <gtest/gtest.h>

#include <QTemporaryDir>
#include <QThread>

#include "app/MainWindow.h"
#include "audio/CreateAudioLibrary.h"
#include "core/VirtualClock.h"
#include "settings/MemorySettingsStore.h"
#include "support/AudioFixtures.h"
#include "support/FakePlaylist.h"
#include "support/ScriptedDialogs.h"

namespace kelvra::app {
namespace {

std::uint32_t peak(std::uint32_t level) {
    return std::max(level & 0xFFFF, level >> 16);
}

TEST(EndToEnd, TwoDecksPlayThroughTheMixerAndTheMetersMove) {
    qputenv("KELVRA_AUDIO", "null");
    QTemporaryDir folder;
    const std::string a = folder.filePath("a.wav").toStdString();
    const std::string b = folder.filePath("b.wav").toStdString();
    ASSERT_TRUE(test::writeWav(a, test::sine(44100, 2, 8, 440, 0.5), 44100, 2));
    ASSERT_TRUE(test::writeWav(b, test::sine(44100, 2, 8, 660, 0.5), 44100, 2));

    auto library = audio::createAudioLibrary();
    test::ScriptedDialogs dialogs;
    settings::MemorySettingsStore store;
    VirtualClock clock;
    test::FakePlaylist playlist;
    playlist.paths = {QString::fromStdString(a), QString::fromStdString(b)};
    MainWindow window(
        MainWindowDeps{*library, dialogs, store, clock, playlist,
                       [](const QString& path) { return path; }, folder.path(), folder.path()},
        Shell{});
    ASSERT_TRUE(window.load(""));
    ASSERT_TRUE(dialogs.messages.empty());

    window.deck(Side::Left).loadChosenFile(QString::fromStdString(a));
    window.deck(Side::Right).loadChosenFile(QString::fromStdString(b));
    window.controls().left.play.click();
    window.controls().right.play.click();
    const audio::Handle left = window.deck(Side::Left).stream();
    const audio::Handle right = window.deck(Side::Right).stream();
    ASSERT_EQ(playback::isStreamPlaying(*library, left), 1);
    ASSERT_EQ(playback::isStreamPlaying(*library, right), 1);

    QThread::msleep(300);
    window.mixer().run_VUmeterTimer();
    // Start levels: main 50 %, decks 50 %, stereo. The engine meters each stream before its
    // volume, so a half-scale sine (16384) shows 8192 after the deck slider's 0.5, and the main
    // meter shows it after the main volume's 0.5.
    const int leftMeter = window.controls().left.meter.firstLevel();
    EXPECT_GT(leftMeter, 7800);
    EXPECT_LT(leftMeter, 8600);
    EXPECT_GT(window.controls().right.meter.firstLevel(), 7800);
    EXPECT_GT(window.controls().mixer.mainMeter.secondLevel(), 7800);
    EXPECT_GT(window.controls().mixer.mainMeter.firstLevel(), 7800);

    // Crossfader hard left: the right deck leaves the main meter but keeps its deck meter.
    window.controls().mixer.crossFader.setValue(0);
    QThread::msleep(200);
    window.mixer().run_VUmeterTimer();
    EXPECT_EQ(window.controls().mixer.mainMeter.firstLevel(), 0);
    EXPECT_GT(window.controls().right.meter.firstLevel(), 7800);
    EXPECT_GT(window.controls().mixer.mainMeter.secondLevel(), 7800);
    EXPECT_GT(peak(library->channelLevel(right)), 15000u);
    EXPECT_GT(library->channelPosition(left), audio::BytePosition{44100 * 4 / 4});

    window.controls().left.pause.click();
    EXPECT_EQ(library->channelLevel(left), 0u);
    window.controls().right.pause.click();
    EXPECT_TRUE(window.queryUnload());
}

}  // namespace
}  // namespace kelvra::app
