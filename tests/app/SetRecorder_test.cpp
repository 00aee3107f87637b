// The record button over a fake library: the button and its text while a recording runs, what
// the DJ is told when it cannot go on, the names recordings get, and the cue sheet of the songs
// heard on the main mix.
#include "app/SetRecorder.h"

#include <gtest/gtest.h>

#include <sys/resource.h>

#include <QRegularExpression>
#include <csignal>

#include "playback/StreamControl.h"
#include "support/MainWindowRig.h"

namespace kelvra::app {
namespace {

constexpr std::uint64_t kRate = 44100;

class SetRecorderTest : public ::testing::Test {
  protected:
    ButtonModel& button() { return *rig.window->controls().registry.button("recordCB"); }
    std::string text() { return rig.window->controls().mixer.recordText.text().toStdString(); }
    SetRecorder& recorder() { return rig.window->recorder(); }
    void tick() { rig.clock.advance(80); }
    void play(Side side, const QString& name) {
        decks::Deck& deck = rig.window->deck(side);
        deck.loadChosenFile(rig.addSong(name));
        deck.playClick();
    }
    std::string sheet() {
        QFile file(cueSheetPath(recorder().path()));
        return file.open(QIODevice::ReadOnly) ? file.readAll().toStdString() : "";
    }

    test::MainWindowRig rig;
    audio::RecordingStatus& status = rig.library.recording;
};

TEST_F(SetRecorderTest, TheButtonRecordsLitRedWithLengthAndSizeAndAFailureIsToldOnce) {
    ASSERT_TRUE(rig.loaded);
    EXPECT_EQ(button().backColour(), kRecordIdleColour);
    button().click();
    ASSERT_EQ(rig.library.recordStarts.size(), 1u);
    EXPECT_TRUE(QRegularExpression(R"(/DJMixes/Mix \d{4}-\d\d-\d\d \d\d-\d\d\.flac$)")
                    .match(QString::fromStdString(rig.library.recordStarts[0]))
                    .hasMatch());
    EXPECT_TRUE(rig.library.recordStarts[0].starts_with(rig.folder.path().toStdString()));
    EXPECT_EQ(button().backColour(), kRecordingColour);
    EXPECT_EQ(text(), "REC 00:00  0.0 MB");
    status.frames = 754 * kRate + 100;
    status.bytes = 85'249'999;
    tick();
    EXPECT_EQ(text(), "REC 12:34  85.2 MB");
    status.frames = 3723 * kRate;
    status.lostFrames = kRate / 10;
    tick();
    EXPECT_EQ(text(), "REC 1:02:03  85.2 MB");
    EXPECT_TRUE(rig.window->controls().mixer.recordText.toolTip().contains("100 ms"));
    button().click();
    EXPECT_EQ(rig.library.recordStops, 1);
    EXPECT_EQ(button().backColour(), kRecordIdleColour);
    EXPECT_EQ(text(), "");

    // A recording that cannot start, and one the disk ends: each told once; the deck plays on.
    play(Side::Left, "a.mp3");
    rig.library.recordRefusal = "cannot create /m/Mix.flac: Permission denied";
    button().click();
    rig.library.recordRefusal.clear();
    button().click();
    status = {true, true, "cannot write /m/Mix.flac: No space left on device", 44100, 65 * kRate};
    for (int i = 0; i < 5; ++i)
        tick();
    ASSERT_EQ(rig.dialogs.messages.size(), 2u);
    EXPECT_EQ(rig.dialogs.messages[0].text,
              "The mix cannot be recorded: cannot create /m/Mix.flac: Permission denied.");
    EXPECT_EQ(rig.dialogs.messages[1].text,
              "The recording stopped: cannot write /m/Mix.flac: No space left on device.\n\n"
              "The file keeps the first 01:05 of the mix. The decks play on.");
    EXPECT_FALSE(recorder().recording());
    EXPECT_EQ(button().backColour(), kRecordIdleColour);
    EXPECT_TRUE(playback::isStreamPlaying(rig.library, rig.window->deck(Side::Left).stream()));
}

TEST(SetRecorderNames, RecordingsAreNamedByTheirStartAndNeverTakeAnExistingName) {
    const QDateTime when(QDate(2026, 12, 7), QTime(21, 5, 59));
    const auto taken = [](const QString& path) { return !path.contains("(3)"); };
    EXPECT_EQ(mixFilePath("/m", when, {}), "/m/Mix 2026-12-07 21-05.flac");
    EXPECT_EQ(mixFilePath("/m", when, taken), "/m/Mix 2026-12-07 21-05 (3).flac");
    // A cue sheet of that name alone takes it too.
    const auto sheetTaken = [](const QString& path) {
        return path == "/m/Mix 2026-12-07 21-05.cue";
    };
    EXPECT_EQ(mixFilePath("/m", when, sheetTaken), "/m/Mix 2026-12-07 21-05 (2).flac");
    EXPECT_EQ(numberedPath("/out/set.flac", 1), "/out/set.flac");
    EXPECT_EQ(numberedPath("/out/set.flac", 3), "/out/set-3.flac");
    EXPECT_EQ(cueSheetPath("/out/my.set.flac"), "/out/my.set.cue");
}

TEST_F(SetRecorderTest, TheCueSheetListsEachSongFromWhenItIsFirstHeardOnTheMainMix) {
    rig.window->controls().mixer.crossFader.setValue(0);  // all left: the right deck is not heard
    play(Side::Left, "Night Drive - Neon Hours - 03 - Afterglow.mp3");
    button().click();
    const std::string first = "FILE \"" + QFileInfo(recorder().path()).fileName().toStdString() +
                              "\" WAVE\r\n  TRACK 01 AUDIO\r\n    TITLE \"Afterglow\"\r\n    "
                              "PERFORMER \"Night Drive\"\r\n"
                              "    INDEX 01 00:00:00\r\n";
    EXPECT_EQ(sheet(), first);  // already playing: there from the start, and on disk at once

    play(Side::Right, "Blue Coast - Tides - 07 - Second Wind.mp3");
    tick();
    status.frames = 62 * kRate + kRate / 2;
    rig.window->controls().mixer.crossFader.setValue(50);
    tick();
    // A pause and a resume, or a fade out and in, is the same track still.
    rig.window->deck(Side::Left).pauseClick();
    tick();
    rig.window->deck(Side::Left).playClick();
    rig.window->controls().mixer.crossFader.setValue(100);
    tick();
    rig.window->controls().mixer.crossFader.setValue(50);
    tick();
    button().click();
    EXPECT_EQ(sheet(), first +
                           "  TRACK 02 AUDIO\r\n    TITLE \"Second Wind\"\r\n"
                           "    PERFORMER \"Blue Coast\"\r\n    INDEX 01 01:02:38\r\n");

    // The next recording has its own sheet, and the same song loaded again is a new track.
    status = {};
    button().click();
    status.frames = 10 * kRate;
    play(Side::Left, "Night Drive - Neon Hours - 03 - Afterglow.mp3");
    tick();
    button().click();
    const auto& tracks = recorder().tracks();
    ASSERT_EQ(tracks.size(), 3u);
    EXPECT_EQ(tracks[1].title.toStdString(), "Second Wind");
    EXPECT_EQ(tracks[1].startMs, 0);
    EXPECT_EQ(tracks[2].title.toStdString(), "Afterglow");
    EXPECT_EQ(tracks[2].startMs, 10'000);
    EXPECT_TRUE(rig.dialogs.messages.empty());
}

// A disk that has no room left for the new sheet: the DJ is told, the run counts as failed, and
// the sheet written before stays as it was instead of an empty one taking its place.
TEST_F(SetRecorderTest, ACueSheetTheDiskRefusesLeavesTheLastOneWhole) {
    play(Side::Left, "Night Drive - Neon Hours - 03 - Afterglow.mp3");
    button().click();
    play(Side::Right, "Blue Coast - Tides - 07 - Second Wind.mp3");
    tick();
    const std::string whole = sheet();
    ASSERT_NE(whole.find("Second Wind"), std::string::npos);
    rlimit saved{};
    getrlimit(RLIMIT_FSIZE, &saved);
    const auto previous = std::signal(SIGXFSZ, SIG_IGN);
    rlimit full = saved;
    full.rlim_cur = 1;  // not one byte more fits into a file
    setrlimit(RLIMIT_FSIZE, &full);
    button().click();
    setrlimit(RLIMIT_FSIZE, &saved);
    std::signal(SIGXFSZ, previous);

    EXPECT_EQ(sheet(), whole);
    ASSERT_EQ(rig.dialogs.messages.size(), 1u);
    EXPECT_EQ(rig.dialogs.messages[0].text.toStdString(),
              "The cue sheet " +
                  QDir::toNativeSeparators(cueSheetPath(recorder().path())).toStdString() +
                  " could not be written: File too large.");
    EXPECT_TRUE(recorder().anyFailed());
}

}  // namespace
}  // namespace kelvra::app
