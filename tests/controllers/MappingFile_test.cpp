// Mapping files on disk: a learned line put in place byte for byte (line ends, comments, a last
// line without an end), 14-bit conflicts, unreadable and oversized files, and the shipped
// example bound against the main window's real controls.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include "app/MainControls.h"
#include "controllers/ControllerMapper.h"
#include "controllers/MappingFile.h"
#include "support/FileBytes.h"
#include "support/FullDisk.h"

namespace kelvra::controllers {
namespace {

InputBinding ccBinding(int number, const char* control, CcMode mode = CcMode::Absolute,
                       int lsb = -1) {
    InputBinding b;
    b.message = MessageKind::Cc;
    b.number = number;
    b.control = control;
    b.mode = mode;
    b.lsbNumber = lsb;
    return b;
}

TEST(MappingFile, TheNewLineReplacesItsConflictsAndEveryOtherByteStays) {
    const struct {
        QByteArray before;
        QByteArray after;
    } cases[] = {
        {"", "cc 1 0x07 LVolScroll\n"},
        {"# only a comment", "# only a comment\ncc 1 0x07 LVolScroll\n"},
        {"note 1 1 playCB2\r\n# x\r\n", "note 1 1 playCB2\r\n# x\r\ncc 1 0x07 LVolScroll\r\n"},
        {"a bad line \xFF\ncc 1 7 LeqLow # old\n\n  \ncc 1 0x09 LVolScroll invert",
         "a bad line \xFF\ncc 1 0x07 LVolScroll\n\n  \n"},
        // A note on the same number is another message; a light is never a conflict.
        {"note 1 7 playCB2\nout cc 1 7 LkeyLockCB\n",
         "note 1 7 playCB2\nout cc 1 7 LkeyLockCB\ncc 1 0x07 LVolScroll\n"},
        // The LSB of a 14-bit binding is its message too.
        {"cc 1 0x27 LpitchScroll 14bit 0x07\ncc 2 7 RvolScroll\n",
         "cc 1 0x07 LVolScroll\ncc 2 7 RvolScroll\n"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(withBinding(c.before, ccBinding(7, "LVolScroll")), c.after) << c.before.data();

    // A new 14-bit binding conflicts through its LSB's number as well.
    const QByteArray text = "cc 1 0x20 LeqLow\ncc 1 0x01 LeqMid\ncc 1 0x02 LpitchScroll 14bit 3\n";
    const auto conflicts =
        findConflicts(text, ccBinding(0, "LpitchScroll", CcMode::FourteenBit, 0x20));
    ASSERT_EQ(conflicts.size(), 2u);
    EXPECT_EQ(conflicts[0].line, 1);
    EXPECT_TRUE(conflicts[0].sameMessage);
    EXPECT_EQ(conflicts[1].line, 3);
    EXPECT_TRUE(conflicts[1].sameControl);
}

TEST(MappingFile, UnreadableAndOversizedFilesAreOneProblem) {
    QTemporaryDir dir;
    const MidiMapping missing = readMapping(dir.filePath("none.map"));
    ASSERT_EQ(missing.problems.size(), 1u);
    EXPECT_EQ(missing.problems[0].line, 0);
    EXPECT_TRUE(missing.problems[0].message.startsWith("cannot read"));

    const QString big = dir.filePath("big.map");
    kelvra::test::writeFile(big, QByteArray(kMaxMappingFileSize + 1, '#'));
    const MidiMapping huge = readMapping(big);
    ASSERT_EQ(huge.problems.size(), 1u);
    EXPECT_TRUE(huge.problems[0].message.contains("too large"));
    // Nothing is written over a file that could not be read.
    QString error;
    EXPECT_FALSE(writeBinding(big, ccBinding(7, "LVolScroll"), &error));
    EXPECT_EQ(QFileInfo(big).size(), kMaxMappingFileSize + 1);
}

// A pipe or a folder named as a mapping is refused at once instead of waiting for a writer that
// never comes; every reason names the file once.
TEST(MappingFile, PipesFoldersAndMissingFilesAreToldAtOnceNamingTheFileOnce) {
    QTemporaryDir dir;
    const QString pipe = dir.filePath("pipe.map"), folder = dir.filePath("folder.map"),
                  missing = dir.filePath("none.map");
    ASSERT_EQ(mkfifo(QFile::encodeName(pipe).constData(), 0600), 0);
    ASSERT_TRUE(QDir().mkpath(folder));
    for (const auto& [path, why] : {std::pair{pipe, "it is a folder, device or pipe, not a file"},
                                    {folder, "it is a folder, device or pipe, not a file"},
                                    {missing, "it does not exist"}}) {
        QString error;
        EXPECT_FALSE(readMappingText(path, &error));
        EXPECT_EQ(error, "cannot read " + path + ": " + why);
        const MidiMapping mapping = readMapping(path);
        ASSERT_EQ(mapping.problems.size(), 1u);
        EXPECT_EQ(describe(mapping.problems[0]), error);
    }

    // Nothing is learned into a pipe, a folder or a device: each is left as it was.
    for (const QString& path : {pipe, folder}) {
        QString error;
        EXPECT_FALSE(writeBinding(path, ccBinding(7, "LVolScroll"), &error));
        EXPECT_EQ(error, "cannot read " + path + ": it is a folder, device or pipe, not a file");
    }
    struct stat info = {};
    EXPECT_TRUE(::stat(QFile::encodeName(pipe).constData(), &info) == 0 && S_ISFIFO(info.st_mode));
    EXPECT_TRUE(QFileInfo(folder).isDir());

    // Learning replaces a line that was skipped as a second binding of the message as well.
    const QByteArray twice = "cc 1 7 LeqLow\ncc 1 7 LeqMid\n";
    EXPECT_EQ(withBinding(twice, ccBinding(7, "LVolScroll")), "cc 1 0x07 LVolScroll\n");
}

// A disk with no room for the new mapping: the learned line is refused, the DJ hears why, and
// the DJ's file stays whole, not cut short.
TEST(MappingFile, ALineTheDiskHasNoRoomForLeavesTheMappingAsItWas) {
    const QByteArray mine = "# my controller\nnote 1 1 playCB2\n";
    const test::FullDisk disk({{"mine.map", mine}});
    if (!disk.mounted()) GTEST_SKIP() << disk.skipReason();
    const QString path = disk.path("mine.map");
    QString error;
    EXPECT_FALSE(writeBinding(path, ccBinding(7, "LVolScroll"), &error));
    EXPECT_EQ(error, "cannot write " + path + ": No space left on device");
    EXPECT_EQ(readMappingText(path, &error), mine);
    EXPECT_EQ(disk.files(), QStringList{"mine.map"});
}

TEST(MappingFile, TheShippedExampleBindsToTheMainWindowsControls) {
    const MidiMapping mapping =
        readMapping(QStringLiteral(KELVRA_DATA_DIR "/controllers/two-deck-example.map"));
    ASSERT_TRUE(mapping.problems.empty()) << describe(mapping.problems[0]).toStdString();
    app::MainControls controls;
    std::vector<MidiMessage> lights;
    ControllerMapper mapper(controls.registry,
                            [&lights](const MidiMessage& m) { lights.push_back(m); });
    const auto problems = mapper.load(mapping);
    ASSERT_TRUE(problems.empty()) << describe(problems[0]).toStdString();
    EXPECT_EQ(mapper.inputCount(), static_cast<int>(mapping.inputs.size()));
    EXPECT_EQ(lights.size(), mapping.lights.size());

    // Both decks answer on their own channels; the lights follow the buttons.
    int leftPlays = 0, rightPlays = 0;
    // The transport buttons pause a song on air instead of sending it back to its cue.
    QObject::connect(&controls.left.playPause, &ButtonModel::clicked, [&] { ++leftPlays; });
    QObject::connect(&controls.right.playPause, &ButtonModel::clicked, [&] { ++rightPlays; });
    QObject::connect(&controls.left.play, &ButtonModel::clicked, [&] { leftPlays += 100; });
    QObject::connect(&controls.right.play, &ButtonModel::clicked, [&] { rightPlays += 100; });
    mapper.handle({0x90, 0x0B, 127});
    mapper.handle({0x80, 0x0B, 0});
    mapper.handle({0x91, 0x0B, 127});
    mapper.handle({0x91, 0x0B, 0});
    mapper.handle({0x91, 0x0B, 127});
    mapper.handle({0x91, 0x0B, 0});
    EXPECT_EQ(leftPlays, 1);
    EXPECT_EQ(rightPlays, 2);
    int ticks = 0;
    QObject::connect(&controls.right.jog, &JogModel::turned, [&](int t) { ticks += t; });
    mapper.handle({0xB1, 0x21, 0x7E});
    EXPECT_EQ(ticks, -2);
    mapper.handle({0xB2, 0x08, 64});  // the crossfader sits in the middle: taken at once
    mapper.handle({0xB2, 0x08, 127});
    EXPECT_EQ(controls.mixer.crossFader.value(), 100);
    lights.clear();
    controls.right.hotCue[5].setLit(true, kHotCueColours[5], kColourNone);
    ASSERT_EQ(lights.size(), 1u);
    EXPECT_EQ(lights[0], (MidiMessage{0x91, 0x19, 127}));

    // The effect units on their own channel: a pad per unit, lit with it, and its knobs.
    int unitThree = 0;
    QObject::connect(&controls.effects.units[2].on, &ButtonModel::clicked, [&] { ++unitThree; });
    mapper.handle({0x93, 0x02, 127});
    mapper.handle({0x83, 0x02, 0});
    EXPECT_EQ(unitThree, 1);
    lights.clear();
    controls.effects.units[2].on.setLit(true);
    ASSERT_EQ(lights.size(), 1u);
    EXPECT_EQ(lights[0], (MidiMessage{0x93, 0x02, 127}));
    mapper.handle({0xB3, 0x04, 127});  // the super knob is at 50: this one waits to reach it
    mapper.handle({0xB3, 0x04, 64});
    mapper.handle({0xB3, 0x04, 0});
    EXPECT_EQ(controls.effects.units[0].super.value(), 0);
}

TEST(MappingFile, AnIndexOutsideItsGroupIsRefusedOnItsLine) {
    app::MainControls controls;
    ControllerMapper mapper(controls.registry, {});
    // The roll's name without an index lets go of the held roll; with one it is a roll's.
    const auto problems =
        mapper.load(parseMapping("note 1 1 LloopRoll\n"
                                 "note 1 2 LloopRoll 8\n"
                                 "note 1 3 LloopRoll 9\n"
                                 "note 1 4 left.loop_roll 9\n"
                                 "out note 1 5 LhotCue 8\n"));
    ASSERT_EQ(problems.size(), 3u);
    EXPECT_EQ(problems[0].line, 3);
    EXPECT_EQ(problems[0].message, "LloopRoll has no index 9");
    EXPECT_EQ(problems[1].line, 4);
    EXPECT_EQ(problems[1].message, "left.loop_roll has no index 9");
    EXPECT_EQ(problems[2].line, 5);
    EXPECT_EQ(problems[2].message, "LhotCue has no index 8");
    EXPECT_EQ(mapper.inputCount(), 2);
}

}  // namespace
}  // namespace kelvra::controllers
