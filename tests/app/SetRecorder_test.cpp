// The record button over a fake library: the button and its text while a recording runs, the
// names recordings get, a failure told once while the decks play on, and the cue sheet of the
// songs heard on the main mix.
#include "app/SetRecorder.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QRegularExpression>
#include <set>

#include "app/ControlDirectory.h"
#include "playback/StreamControl.h"
#include "support/MainWindowRig.h"

namespace kelvra::app {
namespace {

constexpr std::uint64_t kRate = 44100;

QString readText(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()) : QString();
}

class SetRecorderTest : public ::testing::Test {
  protected:
    MainControls& controls() { return rig.window->controls(); }
    ButtonModel& button() { return *findControl(controls(), "recordCB", -1).button; }
    QString text() { return controls().mixer.recordText.text(); }
    void tick() { rig.clock.advance(80); }
    void play(Side side, const QString& name) {
        decks::Deck& deck = rig.window->deck(side);
        deck.loadChosenFile(rig.addSong(name));
        deck.playClick();
        ASSERT_TRUE(playback::isStreamPlaying(rig.library, deck.stream()));
    }

    test::MainWindowRig rig;
};

TEST_F(SetRecorderTest, TheButtonRecordsIntoDJMixesLitRedWithTheLengthAndSizeBesideIt) {
    ASSERT_TRUE(rig.loaded);
    ASSERT_NE(findControl(controls(), "recordCB", -1).button, nullptr);
    EXPECT_EQ(button().caption(), "REC");
    EXPECT_EQ(button().backColour(), kRecordIdleColour);
    EXPECT_TRUE(text().isEmpty());

    button().click();
    ASSERT_EQ(rig.library.recordStarts.size(), 1u);
    const QString path = QString::fromStdString(rig.library.recordStarts[0]);
    EXPECT_TRUE(QRegularExpression("^" + QRegularExpression::escape(rig.folder.path()) +
                                   R"(/DJMixes/Mix \d{4}-\d\d-\d\d \d\d-\d\d\.flac$)")
                    .match(path)
                    .hasMatch())
        << path.toStdString();
    EXPECT_TRUE(QFileInfo(rig.folder.path() + "/DJMixes").isDir());
    EXPECT_TRUE(rig.window->recorder().recording());
    EXPECT_EQ(button().backColour(), kRecordingColour);
    EXPECT_EQ(text(), "REC 00:00  0.0 MB");

    // The display tick shows what the recording has reached.
    rig.library.recording.frames = 754 * kRate + 100;
    rig.library.recording.bytes = 85'249'999;
    tick();
    EXPECT_EQ(text(), "REC 12:34  85.2 MB");
    rig.library.recording.frames = 3723 * kRate;
    rig.library.recording.bytes = 1'234'567'890;
    rig.library.recording.lostFrames = kRate / 10;
    tick();
    EXPECT_EQ(text(), "REC 1:02:03  1234.6 MB");
    EXPECT_TRUE(controls().mixer.recordText.toolTip().contains("100 ms of the mix are missing"));

    button().click();
    EXPECT_EQ(rig.library.recordStops, 1);
    EXPECT_FALSE(rig.window->recorder().recording());
    EXPECT_EQ(button().backColour(), kRecordIdleColour);
    EXPECT_TRUE(text().isEmpty());
    tick();
    EXPECT_TRUE(text().isEmpty());
    EXPECT_TRUE(rig.dialogs.messages.empty());
    // Nothing was heard: no cue sheet.
    EXPECT_EQ(QDir(rig.folder.path() + "/DJMixes").entryList(QDir::Files), QStringList());
}

TEST(SetRecorderNames, RecordingsAreNamedByTheirStartAndNeverTakeAnExistingName) {
    const QDateTime when(QDate(2026, 12, 7), QTime(21, 5, 59));
    std::set<QString> taken;
    const auto isTaken = [&taken](const QString& path) { return taken.count(path) > 0; };
    EXPECT_EQ(mixFilePath("/m", when, isTaken), "/m/Mix 2026-12-07 21-05.flac");
    taken = {"/m/Mix 2026-12-07 21-05.flac", "/m/Mix 2026-12-07 21-05 (2).flac"};
    EXPECT_EQ(mixFilePath("/m", when, isTaken), "/m/Mix 2026-12-07 21-05 (3).flac");

    EXPECT_EQ(numberedPath("/out/set.flac", 1), "/out/set.flac");
    EXPECT_EQ(numberedPath("/out/set.flac", 3), "/out/set-3.flac");
    EXPECT_EQ(cueSheetPath("/m/Mix 2026-12-07 21-05 (3).flac"), "/m/Mix 2026-12-07 21-05 (3).cue");
    EXPECT_EQ(cueSheetPath("/out/my.set.flac"), "/out/my.set.cue");
}

TEST_F(SetRecorderTest, AFailureIsToldOnceAfterTheTickAndTheDecksPlayOn) {
    play(Side::Left, "a.mp3");
    const audio::Handle stream = rig.window->deck(Side::Left).stream();

    rig.library.recordRefusal = "cannot create /nowhere/Mix.flac: Permission denied";
    button().click();
    ASSERT_EQ(rig.dialogs.messages.size(), 1u);
    EXPECT_EQ(rig.dialogs.messages[0].text,
              "The mix cannot be recorded: cannot create /nowhere/Mix.flac: Permission denied.");
    EXPECT_FALSE(rig.window->recorder().recording());
    EXPECT_EQ(button().backColour(), kRecordIdleColour);

    rig.library.recordRefusal.clear();
    button().click();
    ASSERT_TRUE(rig.window->recorder().recording());
    rig.library.recording.failed = true;
    rig.library.recording.message = "cannot write /m/Mix.flac: No space left on device";
    rig.library.recording.frames = 65 * kRate;
    for (int i = 0; i < 5; ++i)
        tick();
    ASSERT_EQ(rig.dialogs.messages.size(), 2u);
    EXPECT_EQ(rig.dialogs.messages[1].text,
              "The recording stopped: cannot write /m/Mix.flac: No space left on device.\n\n"
              "The file keeps the first 01:05 of the mix. The decks play on.");
    EXPECT_EQ(rig.library.recordStops, 1);
    EXPECT_FALSE(rig.window->recorder().recording());
    EXPECT_EQ(button().backColour(), kRecordIdleColour);
    EXPECT_TRUE(text().isEmpty());
    EXPECT_TRUE(playback::isStreamPlaying(rig.library, stream));
}

TEST_F(SetRecorderTest, TheCueSheetListsEachSongFromWhenItIsFirstHeardOnTheMainMix) {
    controls().mixer.crossFader.setValue(0);  // all left: the right deck is not on the mix
    play(Side::Left, "Night Drive - Neon Hours - 03 - Afterglow.mp3");
    button().click();
    const QString cue = cueSheetPath(rig.window->recorder().path());
    const QString header =
        "FILE \"" + QFileInfo(rig.window->recorder().path()).fileName() + "\" WAVE\r\n";
    const QString first =
        "  TRACK 01 AUDIO\r\n    TITLE \"Afterglow\"\r\n    PERFORMER \"Night Drive\"\r\n"
        "    INDEX 01 00:00:00\r\n";
    // Already playing: in from the first moment, and the sheet is on disk at once.
    EXPECT_EQ(readText(cue).toStdString(), (header + first).toStdString());

    play(Side::Right, "Blue Coast - Tides - 07 - Second Wind.mp3");
    rig.library.recording.frames = 30 * kRate;
    tick();
    EXPECT_EQ(rig.window->recorder().tracks().size(), 1u);  // playing, but not heard
    rig.library.recording.frames = 62 * kRate + kRate / 2;
    controls().mixer.crossFader.setValue(50);
    tick();
    // A pause and a resume, or a fade out and in, is the same track still.
    rig.window->deck(Side::Left).pauseClick();
    tick();
    rig.window->deck(Side::Left).playClick();
    controls().mixer.crossFader.setValue(100);
    tick();
    controls().mixer.crossFader.setValue(50);
    tick();
    button().click();
    const QString second =
        "  TRACK 02 AUDIO\r\n    TITLE \"Second Wind\"\r\n    PERFORMER \"Blue Coast\"\r\n"
        "    INDEX 01 01:02:38\r\n";
    EXPECT_EQ(readText(cue).toStdString(), (header + first + second).toStdString());

    // The next recording starts its own sheet, with both songs heard from its start, and the
    // same song loaded again later is a new track.
    rig.library.recording = {};
    button().click();
    const QString next = rig.window->recorder().path();
    rig.library.recording.frames = 10 * kRate;
    play(Side::Left, "Night Drive - Neon Hours - 03 - Afterglow.mp3");
    tick();
    button().click();
    const std::vector<autodj::CueTrack>& tracks = rig.window->recorder().tracks();
    ASSERT_EQ(tracks.size(), 3u);
    EXPECT_EQ(tracks[0].title.toStdString(), "Afterglow");
    EXPECT_EQ(tracks[1].title.toStdString(), "Second Wind");
    EXPECT_EQ(tracks[1].startMs, 0);
    EXPECT_EQ(tracks[2].title.toStdString(), "Afterglow");
    EXPECT_EQ(tracks[2].startMs, 10'000);
    EXPECT_TRUE(readText(cueSheetPath(next)).contains("TRACK 03"));
    EXPECT_TRUE(rig.dialogs.messages.empty());
}

}  // namespace
}  // namespace kelvra::app
