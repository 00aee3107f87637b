// Reading mapping files: every form of line, the reports on bad lines (the rest still read), and
// hostile bytes.
#include <gtest/gtest.h>

#include <random>

#include "controllers/MidiMapping.h"

namespace kelvra::controllers {
namespace {

TEST(MidiMapping, ReadsEveryFormOfLine) {
    const MidiMapping m = parseMapping(
        "# a comment line\n"
        "\n"
        "note 1 0x0B playCB2          # play, left\n"
        "NOTE 16 127 LhotCue 7\n"
        "cc 2 0x13 LVolScroll\n"
        "cc 2 20 LeqLow absolute invert\n"
        "cc 1 0x00 LpitchScroll 14bit 0x20\n"
        "cc 1 0x16 Ljog relative\n"
        "cc 1 0x17 Rjog relative64 invert\n"
        "cc 3 64 LloopRoll 2\n"
        "\tout note 1 0x0B LhotCue 0\r\n"
        "out cc 16 0 LkeyLockCB\n");
    ASSERT_TRUE(m.problems.empty()) << describe(m.problems.front()).toStdString();
    ASSERT_EQ(m.inputs.size(), 8u);
    ASSERT_EQ(m.lights.size(), 2u);

    const InputBinding& play = m.inputs[0];
    EXPECT_EQ(play.line, 3);
    EXPECT_EQ(play.message, MessageKind::Note);
    EXPECT_EQ(play.channel, 0);
    EXPECT_EQ(play.number, 11);
    EXPECT_EQ(play.control, "playCB2");
    EXPECT_EQ(play.index, -1);

    EXPECT_EQ(m.inputs[1].channel, 15);
    EXPECT_EQ(m.inputs[1].number, 127);
    EXPECT_EQ(m.inputs[1].index, 7);

    EXPECT_EQ(m.inputs[2].mode, CcMode::Absolute);
    EXPECT_EQ(m.inputs[2].direction, Direction::Normal);
    EXPECT_EQ(m.inputs[3].mode, CcMode::Absolute);
    EXPECT_EQ(m.inputs[3].direction, Direction::Inverted);

    const InputBinding& pitch = m.inputs[4];
    EXPECT_EQ(pitch.mode, CcMode::FourteenBit);
    EXPECT_EQ(pitch.number, 0);
    EXPECT_EQ(pitch.lsbNumber, 32);
    EXPECT_TRUE(pitch.listensTo(MessageKind::Cc, 0, 0));
    EXPECT_TRUE(pitch.listensTo(MessageKind::Cc, 0, 32));
    EXPECT_FALSE(pitch.listensTo(MessageKind::Cc, 1, 32));
    EXPECT_FALSE(pitch.listensTo(MessageKind::Note, 0, 0));

    EXPECT_EQ(m.inputs[5].mode, CcMode::Relative);
    EXPECT_EQ(m.inputs[6].mode, CcMode::Relative64);
    EXPECT_EQ(m.inputs[6].direction, Direction::Inverted);
    EXPECT_EQ(m.inputs[7].index, 2);

    EXPECT_EQ(m.lights[0].line, 11);
    EXPECT_EQ(m.lights[0].message, MessageKind::Note);
    EXPECT_EQ(m.lights[0].control, "LhotCue");
    EXPECT_EQ(m.lights[0].index, 0);
    EXPECT_EQ(m.lights[1].message, MessageKind::Cc);
    EXPECT_EQ(m.lights[1].channel, 15);
    EXPECT_EQ(m.lights[1].index, -1);
}

TEST(MidiMapping, ReportsEachBadLineByNumberAndReadsTheRest) {
    const struct {
        const char* line;
        const char* says;
    } bad[] = {
        {"knob 1 2 LeqLow", "unknown word 'knob'"},
        {"note 0 2 playCB2", "channel '0' is out of range 1..16"},
        {"note 17 2 playCB2", "channel '17' is out of range 1..16"},
        {"note 1 128 playCB2", "number '128' is out of range 0..127"},
        {"note 1 0x80 playCB2", "number '0x80' is out of range"},
        {"note 1 99999999999999999999 playCB2", "out of range"},
        {"note 1 -3 playCB2", "'-3' is not a number"},
        {"note 1 0x playCB2", "'0x' is not a number"},
        {"note 1", "missing the number"},
        {"note 1 2", "missing the control's name"},
        {"note 1 2 9lives", "'9lives' is not a control's name"},
        {"note 1 2 LhotCue 200", "index '200' is out of range"},
        {"note 1 2 playCB2 invert", "unexpected 'invert'"},
        {"cc 1 2 LeqLow sideways", "unknown option 'sideways'"},
        {"cc 1 2 LeqLow relative relative64", "a second mode 'relative64'"},
        {"cc 1 2 LpitchScroll 14bit", "missing the LSB's number"},
        {"cc 1 2 LpitchScroll 14bit 2", "must differ from the MSB's"},
        {"out 1 2 playCB2", "out needs note or cc"},
        {"out", "out needs note or cc"},
        {"out note 1 2 LhotCue 1 2", "unexpected '2'"},
    };
    QByteArray text = "note 1 1 playCB2\n";
    for (const auto& b : bad)
        text += QByteArray(b.line) + "\n";
    text += "cc 1 3 LVolScroll";  // the last line needs no end
    const MidiMapping m = parseMapping(text);
    ASSERT_EQ(m.problems.size(), std::size(bad));
    for (std::size_t i = 0; i < std::size(bad); ++i) {
        EXPECT_EQ(m.problems[i].line, static_cast<int>(i) + 2) << bad[i].line;
        EXPECT_TRUE(m.problems[i].message.contains(QLatin1String(bad[i].says)))
            << bad[i].line << " -> " << m.problems[i].message.toStdString();
    }
    ASSERT_EQ(m.inputs.size(), 2u);
    EXPECT_EQ(m.inputs[1].line, static_cast<int>(std::size(bad)) + 2);
    EXPECT_EQ(describe(m.problems[0]),
              "line 2: unknown word 'knob' (a line starts with note, "
              "cc or out)");
}

// A message bound twice would move two controls at once, or the DJ's later line would silently
// lose: the first line counts, each later one is told and skipped, and learning still sees it.
TEST(MidiMapping, AMessageBoundTwiceIsToldAndTheFirstLineCounts) {
    const QByteArray text =
        "note 1 11 playCB2\n"
        "note 1 0x0B LpauseCB\n"
        "note 2 11 playCB\n"  // another channel: another message
        "cc 1 0x09 LpitchScroll 14bit 0x29\n"
        "cc 1 0x29 LVolScroll\n"  // the fine half of line 4
        "cc 1 0x30 LeqLow 14bit 0x09\n"
        "note 1 0x09 LsyncCB\n";  // a note is not a cc
    const MidiMapping m = parseMapping(text);
    ASSERT_EQ(m.problems.size(), 3u);
    EXPECT_EQ(describe(m.problems[0]), "line 2: note 1 0x0B is bound by line 1 already");
    EXPECT_EQ(describe(m.problems[1]), "line 5: cc 1 0x29 is bound by line 4 already");
    EXPECT_EQ(describe(m.problems[2]), "line 6: cc 1 0x09 is bound by line 4 already");
    ASSERT_EQ(m.inputs.size(), 4u);
    EXPECT_EQ(m.inputs[0].control, "playCB2");
    EXPECT_EQ(m.inputs[3].line, 7);
    ASSERT_EQ(m.duplicates.size(), 3u);
    EXPECT_EQ(m.duplicates[0].line, 2);
}

TEST(MidiMapping, FormattedBindingsReadBackTheSame) {
    const MidiMapping m = parseMapping(
        "note 3 0x0B LhotCue 4\n"
        "cc 16 0x07 LpitchScroll 14bit 0x27 invert\n"
        "cc 1 0x16 Ljog relative\n"
        "cc 1 0x17 Rjog relative64\n"
        "cc 1 0x18 LVolScroll\n");
    ASSERT_EQ(m.inputs.size(), 5u);
    EXPECT_EQ(formatBinding(m.inputs[0]), "note 3 0x0B LhotCue 4");
    EXPECT_EQ(formatBinding(m.inputs[1]), "cc 16 0x07 LpitchScroll 14bit 0x27 invert");
    for (const InputBinding& b : m.inputs) {
        const MidiMapping again = parseMapping(formatBinding(b));
        ASSERT_EQ(again.inputs.size(), 1u);
        const InputBinding& c = again.inputs[0];
        EXPECT_EQ(std::tie(c.message, c.channel, c.number, c.control, c.index, c.mode, c.lsbNumber,
                           c.direction),
                  std::tie(b.message, b.channel, b.number, b.control, b.index, b.mode, b.lsbNumber,
                           b.direction));
    }
}

// Random bytes, long lines and NULs: the parse ends, reports at most a bounded list, and every
// binding it does accept is within range.
TEST(MidiMapping, HostileBytesNeverBreakTheParse) {
    const unsigned seed = std::random_device{}();
    SCOPED_TRACE(testing::Message() << "seed " << seed);
    std::mt19937 random(seed);
    const QByteArray words[] = {"note ", "cc ", "out ", "14bit ", "0x7F ", "16 ", "LhotCue ",
                                "#",     "\n",  "\0",   "\xFF",   "\r",    " "};
    for (int round = 0; round < 200; ++round) {
        QByteArray text;
        const int parts = std::uniform_int_distribution<int>(0, 400)(random);
        for (int i = 0; i < parts; ++i) {
            if (random() % 3 == 0)
                text += char(random() & 0xFF);
            else
                text += words[random() % std::size(words)];
        }
        const MidiMapping m = parseMapping(text);
        EXPECT_LE(m.problems.size(), 101u);
        for (const InputBinding& b : m.inputs) {
            EXPECT_TRUE(b.channel >= 0 && b.channel < 16);
            EXPECT_TRUE(b.number >= 0 && b.number < 128);
            EXPECT_FALSE(b.control.isEmpty());
        }
    }
    const QByteArray longLine = "note 1 2 " + QByteArray(1 << 20, 'x') + "\n" +
                                QByteArray(5000, '\n') +
                                QByteArray(300, '\x01').replace("\x01", "bogus\n");
    const MidiMapping m = parseMapping(longLine);
    ASSERT_FALSE(m.problems.empty());
    EXPECT_TRUE(m.problems[0].message.contains("is not a control's name"));
    EXPECT_LT(m.problems[0].message.size(), 200);
    EXPECT_EQ(m.problems.back().line, 0);  // the rest are counted, not listed
    EXPECT_TRUE(m.problems.back().message.contains("more bad lines"));
}

}  // namespace
}  // namespace kelvra::controllers
