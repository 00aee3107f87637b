// MIDI learn: which messages it takes as the DJ's deliberate move for each kind of control, and
// a learned binding written into a file that then loads and works.
#include <gtest/gtest.h>

#include <QTemporaryDir>

#include "ControllerMapperRig.h"
#include "controllers/MappingFile.h"
#include "controllers/MidiLearn.h"
#include "support/FileBytes.h"

namespace kelvra::controllers {
namespace {

using test::cc;
using test::noteOff;
using test::noteOn;

TEST(MidiLearn, AButtonTakesTheFirstPressAndNothingElse) {
    MidiLearn learn;
    EXPECT_EQ(learn.offer(noteOn(1, 5)), std::nullopt) << "not armed";
    learn.arm({"LhotCue", 3, ControlKind::Button});
    EXPECT_TRUE(learn.isArmed());
    EXPECT_EQ(learn.offer(noteOff(1, 5)), std::nullopt);
    EXPECT_EQ(learn.offer(noteOn(1, 5, 0)), std::nullopt);          // a note-off in disguise
    EXPECT_EQ(learn.offer(MidiMessage{0xF8, 0, 0}), std::nullopt);  // the clock
    const auto learned = learn.offer(noteOn(4, 0x25, 90));
    ASSERT_TRUE(learned);
    EXPECT_EQ(formatBinding(*learned), "note 4 0x25 LhotCue 3");
    EXPECT_FALSE(learn.isArmed());

    // A cc button: taken when let go (its press is where it starts from).
    learn.arm({"LsyncCB", -1, ControlKind::Button});
    EXPECT_EQ(learn.offer(cc(1, 0x30, 127)), std::nullopt);
    const auto ccButton = learn.offer(cc(1, 0x30, 0));
    ASSERT_TRUE(ccButton);
    EXPECT_EQ(formatBinding(*ccButton), "cc 1 0x30 LsyncCB");
}

TEST(MidiLearn, ASliderIgnoresNotesAndJitterAndTakesAMovedCc) {
    MidiLearn learn;
    learn.arm({"LVolScroll", -1, ControlKind::Slider});
    EXPECT_EQ(learn.offer(noteOn(1, 5)), std::nullopt);
    // A noisy knob elsewhere twitching around 64, and the wanted fader starting to move.
    for (int value : {64, 65, 63, 64, 66})
        EXPECT_EQ(learn.offer(cc(1, 0x50, value)), std::nullopt) << value;
    EXPECT_EQ(learn.offer(cc(2, 0x07, 20)), std::nullopt);
    EXPECT_EQ(learn.offer(cc(2, 0x07, 22)), std::nullopt);
    const auto learned = learn.offer(cc(2, 0x07, 23));
    ASSERT_TRUE(learned);
    EXPECT_EQ(formatBinding(*learned), "cc 2 0x07 LVolScroll");
    // Armed again, earlier values are forgotten.
    learn.arm({"LVolScroll", -1, ControlKind::Slider});
    EXPECT_EQ(learn.offer(cc(2, 0x07, 23)), std::nullopt);
}

TEST(MidiLearn, AJogTellsTheEncoderFormFromItsValues) {
    MidiLearn learn;
    const struct {
        std::vector<int> values;
        const char* learned;  // nullptr: still waiting
    } cases[] = {
        {{1, 1}, "cc 1 0x21 Ljog relative"},
        {{127, 126}, "cc 1 0x21 Ljog relative"},
        {{65, 66}, "cc 1 0x21 Ljog relative64"},
        {{62, 63}, "cc 1 0x21 Ljog relative64"},
        {{63, 65, 63, 65}, nullptr},  // a knob twitching around 64
        {{1, 127, 2, 126}, nullptr},  // back and forth
        {{30, 100, 30}, nullptr},     // neither form
        {{1, 65}, nullptr},           // a step of each form is neither
        {{64, 64, 0, 0}, nullptr},    // no move in either form
        {{30, 3, 3}, "cc 1 0x21 Ljog relative"},
    };
    for (const auto& c : cases) {
        learn.arm({"Ljog", -1, ControlKind::Jog});
        std::optional<InputBinding> learned;
        for (int value : c.values) {
            ASSERT_FALSE(learned) << "taken too early";
            learned = learn.offer(cc(1, 0x21, value));
        }
        if (c.learned) {
            ASSERT_TRUE(learned) << c.learned;
            EXPECT_EQ(formatBinding(*learned), c.learned);
        } else {
            EXPECT_FALSE(learned) << formatBinding(*learned).toStdString();
        }
    }
    learn.arm({"Ljog", -1, ControlKind::Jog});
    const auto touch = learn.offer(noteOn(1, 0x20));  // a note on the wheel is its touch
    ASSERT_TRUE(touch);
    EXPECT_EQ(formatBinding(*touch), "note 1 0x20 Ljog");
}

TEST(MidiLearn, ALearnedBindingIsWrittenReplacingItsConflictsAndWorks) {
    QTemporaryDir dir;
    const QString path = dir.filePath("nested/my.map");
    test::MapperRig rig;
    MidiLearn learn;

    // Into a file that does not exist yet.
    learn.arm({"LVolScroll", -1, ControlKind::Slider});
    learn.offer(cc(1, 0x07, 0));
    auto learned = learn.offer(cc(1, 0x07, 10));
    ASSERT_TRUE(learned);
    QString error;
    ASSERT_TRUE(writeBinding(path, *learned, &error)) << error.toStdString();

    // The DJ's own file around it, with comments and a light.
    const QByteArray start = kelvra::test::contents(path);
    EXPECT_EQ(start, "cc 1 0x07 LVolScroll\n");
    const QByteArray own = "# my controller\n" + start +
                           "note 1 0x30 playCB2   # play\n"
                           "out note 1 0x30 playCB2\n"
                           "cc 1 0x08 LeqLow\n";
    kelvra::test::writeFile(path, own);

    // Learn the volume onto the EQ's knob: two lines conflict, one each way.
    learn.arm({"LVolScroll", -1, ControlKind::Slider});
    learn.offer(cc(1, 0x08, 50));
    learned = learn.offer(cc(1, 0x08, 60));
    ASSERT_TRUE(learned);
    const std::vector<Conflict> conflicts = findConflicts(own, *learned);
    ASSERT_EQ(conflicts.size(), 2u);
    EXPECT_EQ(conflicts[0].line, 2);
    EXPECT_EQ(conflicts[0].text, "cc 1 0x07 LVolScroll");
    EXPECT_TRUE(conflicts[0].sameControl);
    EXPECT_FALSE(conflicts[0].sameMessage);
    EXPECT_EQ(conflicts[1].line, 5);
    EXPECT_EQ(conflicts[1].text, "cc 1 0x08 LeqLow");
    EXPECT_TRUE(conflicts[1].sameMessage);
    EXPECT_FALSE(conflicts[1].sameControl);
    ASSERT_TRUE(writeBinding(path, *learned, &error)) << error.toStdString();

    const MidiMapping written = readMapping(path);
    EXPECT_TRUE(written.problems.empty());
    EXPECT_EQ(kelvra::test::contents(path),
              "# my controller\n"
              "cc 1 0x08 LVolScroll\n"
              "note 1 0x30 playCB2   # play\n"
              "out note 1 0x30 playCB2\n");

    // And it works: the knob now moves the volume, the old fader nothing.
    EXPECT_TRUE(rig.mapper.load(written).empty());
    rig.send({cc(1, 0x08, 127), cc(1, 0x08, 0), cc(1, 0x07, 127)});
    EXPECT_EQ(rig.volume.value(), 0);
    rig.send({noteOn(1, 0x30)});
    EXPECT_EQ(rig.events, QStringList{"playCB2 down"});
}

}  // namespace
}  // namespace kelvra::controllers
