// The mapper over real control models: buttons pressed as the mouse presses them, sliders moved
// by absolute, 14-bit and relative ccs with soft takeover, jog wheels turned and touched, the
// problems found binding a mapping, and lights following the buttons.
#include <gtest/gtest.h>

#include "ControllerMapperRig.h"

namespace kelvra::controllers {
namespace {

using test::cc;
using test::MapperRig;
using test::noteOff;
using test::noteOn;

TEST(ControllerMapper, ButtonsAreDownWhileHeldAndClickOnRelease) {
    MapperRig rig;
    ASSERT_TRUE(rig.load("note 1 0x0B playCB2\n"
                         "cc 1 0x40 LhotCue 1\n"
                         "cc 1 0x41 LhotCue 0 invert\n"
                         "note 2 0x10 LjogTouch\n"
                         "note 2 0x11 Ljog\n")
                    .empty());
    rig.send({noteOn(1, 0x0B), noteOn(1, 0x0B)});  // a repeated note-on is not a second press
    EXPECT_EQ(rig.events, QStringList{"playCB2 down"});
    rig.send({noteOn(1, 0x0B, 0)});  // note-on at velocity 0 is a release
    EXPECT_EQ(rig.events, (QStringList{"playCB2 down", "playCB2 up", "playCB2 click"}));
    rig.events.clear();
    rig.send({noteOff(1, 0x0B), noteOn(2, 0x0B), noteOn(1, 0x0C)});  // nothing held; elsewhere
    EXPECT_TRUE(rig.events.isEmpty());
    rig.send({noteOn(1, 0x0B, 1), noteOff(1, 0x0B)});
    EXPECT_EQ(rig.events, (QStringList{"playCB2 down", "playCB2 up", "playCB2 click"}));

    rig.events.clear();
    rig.send({cc(1, 0x40, 64), cc(1, 0x40, 100), cc(1, 0x40, 63)});
    EXPECT_EQ(rig.events, (QStringList{"LhotCue1 down", "LhotCue1 up", "LhotCue1 click"}));
    rig.events.clear();
    rig.send({cc(1, 0x41, 127), cc(1, 0x41, 0), cc(1, 0x41, 127)});  // inverted: low presses
    EXPECT_EQ(rig.events, (QStringList{"LhotCue0 down", "LhotCue0 up", "LhotCue0 click"}));

    rig.events.clear();
    rig.send({noteOn(2, 0x10), noteOn(2, 0x11)});
    EXPECT_EQ(rig.events, QStringList{"LjogTouch down"});
    EXPECT_TRUE(rig.jog.touched());  // a note on the wheel itself is its touch
    rig.send({noteOff(2, 0x10), noteOff(2, 0x11)});
    EXPECT_EQ(rig.events, (QStringList{"LjogTouch down", "LjogTouch up", "LjogTouch click"}));
    EXPECT_FALSE(rig.jog.touched());
}

TEST(ControllerMapper, AbsoluteAndFourteenBitCoverTheWholeRange) {
    MapperRig rig;
    ASSERT_TRUE(rig.load("cc 1 0x07 LVolScroll\n"
                         "cc 1 0x00 LpitchScroll 14bit 0x20\n"
                         "cc 1 0x08 LeqLow invert\n")
                    .empty());
    // The volume sits at the top: 127 is its maximum exactly, then it follows down.
    rig.send({cc(1, 0x07, 127)});
    EXPECT_EQ(rig.volume.value(), 100);
    rig.send({cc(1, 0x07, 64)});
    EXPECT_EQ(rig.volume.value(), 50);  // 50.39 to nearest
    rig.send({cc(1, 0x07, 0)});
    EXPECT_EQ(rig.volume.value(), 0);

    // The pitch in the middle: 8192 of 16383 picks it up, then both ends are reached.
    rig.send({cc(1, 0x00, 64), cc(1, 0x20, 0)});
    EXPECT_EQ(rig.pitch.value(), 1000);
    rig.send({cc(1, 0x00, 127), cc(1, 0x20, 127)});
    EXPECT_EQ(rig.pitch.value(), 2000);
    rig.send({cc(1, 0x00, 64), cc(1, 0x20, 64)});
    EXPECT_EQ(rig.pitch.value(), 1008);  // 8256 of 16383, to nearest: a step finer than 7 bits
    rig.send({cc(1, 0x00, 0)});
    EXPECT_EQ(rig.pitch.value(), 1008) << "an MSB waits for its LSB";
    rig.send({cc(1, 0x20, 0)});
    EXPECT_EQ(rig.pitch.value(), 0);

    // Inverted: the knob's top is the control's bottom.
    rig.send({cc(1, 0x08, 64)});
    EXPECT_EQ(rig.eq.value(), 50);
    rig.send({cc(1, 0x08, 127)});
    EXPECT_EQ(rig.eq.value(), 0);
    rig.send({cc(1, 0x08, 0)});
    EXPECT_EQ(rig.eq.value(), 100);
}

TEST(ControllerMapper, AFaderTakesOverOnlyOnceItReachesTheControl) {
    MapperRig rig;
    ASSERT_TRUE(rig.load("cc 1 0x07 LVolScroll\n"
                         "cc 1 0x00 LpitchScroll 14bit 0x20\n")
                    .empty());
    // Just loaded, the volume at 100 and the fader low: it does nothing on its way up...
    rig.send({cc(1, 0x07, 10), cc(1, 0x07, 60), cc(1, 0x07, 120)});
    EXPECT_EQ(rig.volume.value(), 100);
    // ...until within two percent of travel, and then it follows.
    rig.send({cc(1, 0x07, 125), cc(1, 0x07, 90)});
    EXPECT_EQ(rig.volume.value(), 71);

    // The mouse moves the volume away: the fader must come to it again, here by jumping across
    // it between two messages (a fast move).
    rig.volume.setValue(30);
    rig.send({cc(1, 0x07, 80), cc(1, 0x07, 70)});
    EXPECT_EQ(rig.volume.value(), 30);
    rig.send({cc(1, 0x07, 20)});  // 70 -> 20 passes 30 (38 of 127)
    EXPECT_EQ(rig.volume.value(), 16);
    rig.send({cc(1, 0x07, 25)});
    EXPECT_EQ(rig.volume.value(), 20);

    // A change of range (as a base-frequency switch might make) counts as a move elsewhere too.
    rig.volume.setRange(0, 200);
    rig.send({cc(1, 0x07, 100)});
    EXPECT_EQ(rig.volume.value(), 20);

    // The 14-bit pitch far off the fader: nothing until it crosses.
    rig.send({cc(1, 0x00, 10), cc(1, 0x20, 0)});
    EXPECT_EQ(rig.pitch.value(), 1000);
    rig.send({cc(1, 0x00, 70), cc(1, 0x20, 0)});
    EXPECT_EQ(rig.pitch.value(), 1094);  // 8960 of 16383
    // The program moves it (pitch to zero): released again.
    rig.pitch.setValue(1000);
    rig.send({cc(1, 0x00, 80), cc(1, 0x20, 0)});
    EXPECT_EQ(rig.pitch.value(), 1000);
}

TEST(ControllerMapper, OneFaderMovingAControlReleasesAnotherBoundToIt) {
    MapperRig rig;
    ASSERT_TRUE(rig.load("cc 1 0x07 LVolScroll\n"
                         "cc 2 0x07 LVolScroll\n"
                         "cc 3 0x07 LVolScroll relative\n")
                    .empty());
    rig.send({cc(1, 0x07, 127), cc(2, 0x07, 127)});  // both picked up at the top
    rig.send({cc(1, 0x07, 0)});
    EXPECT_EQ(rig.volume.value(), 0);
    rig.send({cc(1, 0x07, 10)});  // the one that moved it still follows...
    EXPECT_EQ(rig.volume.value(), 8);
    rig.send({cc(2, 0x07, 120)});  // ...the other waits to reach it
    EXPECT_EQ(rig.volume.value(), 8);
    rig.send({cc(3, 0x07, 2)});  // an encoder's turn is a move elsewhere for both faders
    EXPECT_EQ(rig.volume.value(), 10);
    rig.send({cc(1, 0x07, 0)});
    EXPECT_EQ(rig.volume.value(), 10);
}

TEST(ControllerMapper, EncodersStepSlidersAndTurnTheJog) {
    MapperRig rig;
    ASSERT_TRUE(rig.load("cc 1 0x10 LeqLow relative\n"
                         "cc 1 0x11 LeqLow relative64 invert\n"
                         "cc 1 0x12 Ljog relative\n"
                         "cc 1 0x13 Ljog relative64\n"
                         "cc 1 0x14 Ljog relative invert\n")
                    .empty());
    rig.send({cc(1, 0x10, 3)});  // three small steps of 2
    EXPECT_EQ(rig.eq.value(), 56);
    rig.send({cc(1, 0x10, 127)});
    EXPECT_EQ(rig.eq.value(), 54);
    rig.send({cc(1, 0x11, 66)});  // inverted: two back
    EXPECT_EQ(rig.eq.value(), 50);
    rig.send({cc(1, 0x10, 63)});  // clamped at the top
    EXPECT_EQ(rig.eq.value(), 100);

    rig.send({cc(1, 0x12, 5), cc(1, 0x12, 125), cc(1, 0x12, 0)});
    EXPECT_EQ(rig.turned, 2);
    rig.send({cc(1, 0x13, 60), cc(1, 0x13, 64)});
    EXPECT_EQ(rig.turned, -2);
    rig.send({cc(1, 0x14, 1)});
    EXPECT_EQ(rig.turned, -3);
}

TEST(ControllerMapper, LinesThatCannotBindAreReportedAndSkipped) {
    MapperRig rig;
    const auto problems = rig.load(
        "note 1 1 playCB2\n"
        "note 1 2 nosuchCB\n"
        "note 1 3 LVolScroll\n"
        "cc 1 4 playCB2 relative\n"
        "cc 1 5 Ljog\n"
        "cc 1 6 Ljog 14bit 7\n"
        "note 1 8 LhotCue\n"
        "note 1 9 LhotCue 8\n"
        "note 1 10 playCB2 3\n"
        "out note 1 11 LVolScroll\n"
        "out note 1 12 nosuchCB\n"
        "bogus line\n"
        "cc 1 13 LVolScroll\n");
    const std::vector<std::pair<int, QString>> expected = {
        {2, "no control named nosuchCB"},
        {3, "LVolScroll is a slider: a note cannot move it, bind it with cc"},
        {4, "playCB2 is a button: a cc on it takes no relative or 14bit"},
        {5, "Ljog is a jog wheel: bind it as relative or relative64"},
        {6, "Ljog is a jog wheel: bind it as relative or relative64"},
        {7, "LhotCue needs an index"},
        {8, "LhotCue has no index 8"},
        {9, "playCB2 takes no index"},
        {10, "LVolScroll is not a button: only a button's state lights"},
        {11, "no control named nosuchCB"},
        {12, "unknown word 'bogus' (a line starts with note, cc or out)"},
    };
    ASSERT_EQ(problems.size(), expected.size());
    for (std::size_t i = 0; i < expected.size(); ++i) {
        EXPECT_EQ(problems[i].line, expected[i].first);
        EXPECT_EQ(problems[i].message, expected[i].second);
    }
    EXPECT_EQ(rig.mapper.inputCount(), 2);
    EXPECT_EQ(rig.mapper.lightCount(), 0);
    rig.send({noteOn(1, 3, 127), cc(1, 13, 127), cc(1, 13, 0)});  // the good lines work
    EXPECT_EQ(rig.volume.value(), 0);
}

TEST(ControllerMapper, LightsFollowTheControlsStates) {
    MapperRig rig;
    rig.hotCue[2].setLit(true, kHotCueColours[2], kColourNone);  // set before the mapping loads
    ASSERT_TRUE(rig.load("out note 1 0x20 LhotCue 2\n"
                         "out note 1 0x21 LhotCue 3\n"
                         "out cc 2 0x22 LkeyLockCB\n"
                         "out note 1 0x23 playCB2\n"
                         "out note 1 0x24 cueCB2\n")
                    .empty());
    // Every light's state is sent on load, once.
    const std::vector<MidiMessage> initial = {
        {0x90, 0x20, 127}, {0x90, 0x21, 0}, {0xB1, 0x22, 0}, {0x90, 0x23, 0}, {0x90, 0x24, 0}};
    EXPECT_EQ(rig.lights, initial);
    rig.lights.clear();

    // Then only changes: key lock lit by the deck (as a click or key does it), the same state
    // again is no message. Paint is not state: a bright colour alone lights nothing.
    rig.hotCue[3].setBackColour(kHotCueColours[3]);
    rig.keyLock.setBackColour(kColourOn);
    EXPECT_TRUE(rig.lights.empty());  // painted, but neither is on
    rig.keyLock.setLit(true);
    rig.keyLock.setLit(true);
    rig.keyLock.setCaption("KEY!");
    rig.hotCue[3].setLit(true, kHotCueColours[3], kColourNone);
    rig.hotCue[3].setLit(true, kHotCueColours[5], kColourNone);  // painted again: still lit
    rig.keyLock.setLit(false);
    rig.hotCue[2].setLit(false, kHotCueColours[2], kColourNone);
    const std::vector<MidiMessage> changes = {
        {0xB1, 0x22, 127}, {0x90, 0x21, 127}, {0xB1, 0x22, 0}, {0x90, 0x20, 0}};
    EXPECT_EQ(rig.lights, changes);
    rig.lights.clear();

    // Play and cue light the deck's display, not themselves: their lights follow its lamps, and
    // the display's many other changes (the time ticking) send nothing.
    rig.display.setLamp(DeckDisplayModel::Play, true);
    rig.display.setTimeText("0:01");
    rig.display.setTimeText("0:02");
    rig.display.setLamp(DeckDisplayModel::Cue, true);
    rig.display.setLamp(DeckDisplayModel::Play, false);
    const std::vector<MidiMessage> lamps = {{0x90, 0x23, 127}, {0x90, 0x24, 127}, {0x90, 0x23, 0}};
    EXPECT_EQ(rig.lights, lamps);
    rig.lights.clear();

    // A controller plugged in again is sent every light as it stands.
    rig.mapper.resendLights();
    const std::vector<MidiMessage> again = {
        {0x90, 0x20, 0}, {0x90, 0x21, 127}, {0xB1, 0x22, 0}, {0x90, 0x23, 0}, {0x90, 0x24, 127}};
    EXPECT_EQ(rig.lights, again);
    rig.lights.clear();

    // Another mapping: the lights the old one lit go out, the new one's are sent.
    ASSERT_TRUE(rig.load("out note 1 0x30 LhotCue 3\n").empty());
    const std::vector<MidiMessage> switched = {{0x90, 0x21, 0}, {0x90, 0x24, 0}, {0x90, 0x30, 127}};
    EXPECT_EQ(rig.lights, switched);
    rig.lights.clear();
    rig.keyLock.setLit(true);  // no longer mapped
    EXPECT_TRUE(rig.lights.empty());
}

TEST(ControllerMapper, ASwitchedMappingWaitsForTheFadersAgain) {
    MapperRig rig;
    const QByteArray mapping = "cc 1 0x07 LVolScroll\n";
    ASSERT_TRUE(rig.load(mapping).empty());
    rig.send({cc(1, 0x07, 127), cc(1, 0x07, 64)});
    EXPECT_EQ(rig.volume.value(), 50);
    ASSERT_TRUE(rig.load(mapping).empty());
    rig.send({cc(1, 0x07, 10)});
    EXPECT_EQ(rig.volume.value(), 50);
    rig.send({cc(1, 0x07, 65)});  // now it knows the fader was at 10: crossing counts
    EXPECT_EQ(rig.volume.value(), 51);
}

}  // namespace
}  // namespace kelvra::controllers
