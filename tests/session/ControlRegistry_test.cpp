// The registry of controls in the whole program: a control found by its scripts' name and its
// alias is the same control whether a key, a mapping line or a script line moves it, and a
// controller's light follows the control's state as the decks set it.
#include <gtest/gtest.h>

#include <QTemporaryDir>
#include <cmath>

#include "controllers/ControllerMapper.h"
#include "session/SessionRunner.h"
#include "support/AudioFixtures.h"

namespace kelvra::session {
namespace {

constexpr int kRate = 44100;

class RegistryProgram : public ::testing::Test {
  protected:
    RegistryProgram() : program({kRate, dir.filePath("config"), {}}) {
        EXPECT_TRUE(program.start());
        program.runUntil(100, {});
    }

    // One script line, run now.
    void script(const QString& line) {
        const SessionParse parse = parseSessionScript(("0 " + line).toUtf8());
        ASSERT_EQ(parse.errorLine, 0) << parse.error.toStdString();
        ASSERT_EQ(parse.actions.size(), 1u);
        const QString error = applySessionAction(program, parse.actions[0]);
        ASSERT_TRUE(error.isEmpty()) << error.toStdString();
    }
    // A note pressed and let go on the program's own mapping.
    void tap(int number) {
        program.controller().handle({0x90, std::uint8_t(number), 127});
        program.controller().handle({0x80, std::uint8_t(number), 0});
    }
    const ControlRegistry& registry() { return program.window().controls().registry; }

    QTemporaryDir dir;
    HeadlessProgram program;
};

TEST_F(RegistryProgram, AControlIsTheSameByEitherNameFromAKeyAMappingAndAScript) {
    const RegisteredControl* play = registry().find("playCB2");
    ASSERT_NE(play, nullptr);
    EXPECT_EQ(registry().find("left.play"), play);
    EXPECT_EQ(play->caption, "Left deck: Play");
    const RegisteredControl* pad = registry().find("LhotCue", 3);
    ASSERT_NE(pad, nullptr);
    EXPECT_EQ(registry().find("left.hotcue", 3), pad);
    EXPECT_EQ(pad->caption, "Left deck: Hot cue 4");  // as the pad is numbered on the screen
    EXPECT_EQ(registry().find("crossFaderScroll"), registry().find("mixer.crossfader"));
    EXPECT_EQ(registry().find("RpitchScroll")->caption, "Right deck: Pitch");

    // The key lock, a button: every hand toggles the one state.
    const RegisteredControl* lock = registry().find("LkeyLockCB");
    ASSERT_NE(lock, nullptr);
    ASSERT_EQ(registry().find("left.keylock"), lock);
    ASSERT_TRUE(program.controller()
                    .load(controllers::parseMapping("note 1 0x10 LkeyLockCB\n"
                                                    "note 1 0x11 left.keylock\n"
                                                    "cc 1 0x20 left.pitch relative\n"
                                                    "cc 1 0x21 LpitchScroll relative\n"))
                    .empty());
    EXPECT_FALSE(lock->isOn());
    script("click LkeyLockCB");
    EXPECT_TRUE(lock->isOn());
    script("click left.keylock");
    EXPECT_FALSE(lock->isOn());
    script("key D");
    script("keyup D");
    EXPECT_TRUE(lock->isOn());
    tap(0x10);
    EXPECT_FALSE(lock->isOn());
    tap(0x11);
    EXPECT_TRUE(lock->isOn());

    // The pitch, a slider: its value and range are the model's, whoever moves it.
    const RegisteredControl* pitch = registry().find("left.pitch");
    ASSERT_EQ(registry().find("LpitchScroll"), pitch);
    EXPECT_EQ(pitch->minimum(), 0);
    EXPECT_EQ(pitch->maximum(), 2000);
    script("set LpitchScroll 1100");
    EXPECT_EQ(pitch->value(), 1100);
    script("set left.pitch 1000");
    EXPECT_EQ(pitch->value(), 1000);
    script("key Z ctrl");
    script("keyup Z ctrl");
    EXPECT_EQ(pitch->value(), 999);
    // Turned up on the controller is up on the screen, where the fader's minimum is.
    program.controller().handle({0xB0, 0x20, 1});
    EXPECT_EQ(pitch->value(), 998);
    program.controller().handle({0xB0, 0x21, 127});
    EXPECT_EQ(pitch->value(), 999);
}

TEST_F(RegistryProgram, AControllersLightFollowsTheStateOfItsControl) {
    const QString song = dir.filePath("sine.wav");
    ASSERT_TRUE(test::writeWav(song.toStdString(), test::sine(kRate, 2, 20, 1000, 0.5), kRate, 2));
    std::vector<controllers::MidiMessage> lights;
    controllers::ControllerMapper mapper(
        registry(), [&lights](const controllers::MidiMessage& m) { lights.push_back(m); });
    ASSERT_TRUE(mapper
                    .load(controllers::parseMapping("out note 1 1 playCB2\n"
                                                    "out note 1 2 left.hotcue 0\n"
                                                    "out note 1 3 LkillHigh\n"
                                                    "out note 1 4 LkeyLockCB\n"
                                                    "out note 1 5 left.pause\n"))
                    .empty());
    auto lit = [&lights](int number) {
        for (auto it = lights.rbegin(); it != lights.rend(); ++it)
            if (it->data1 == number) return it->data2 == 127;
        return false;
    };
    EXPECT_EQ(lights.size(), 5u);  // each sent once, all out
    for (int number = 1; number <= 5; ++number)
        EXPECT_FALSE(lit(number)) << number;

    script("load left " + song);
    program.runUntil(600, {});
    script("click playCB2");
    program.runUntil(1000, {});
    EXPECT_TRUE(lit(1));
    script("click LhotCue 0");  // an empty pad sets a cue where the deck plays
    EXPECT_TRUE(lit(2));
    script("click LkillHigh");
    EXPECT_TRUE(lit(3));
    script("click LkeyLockCB");
    EXPECT_TRUE(lit(4));

    script("click LhotCueClear 0");
    EXPECT_FALSE(lit(2));
    script("click left.kill_high");
    EXPECT_FALSE(lit(3));
    script("click LkeyLockCB");
    EXPECT_FALSE(lit(4));
    // Play and pause light as the deck's display lamps them: a paused deck keeps both.
    script("click LpauseCB");
    EXPECT_TRUE(lit(5));
    EXPECT_TRUE(lit(1));
    script("click playCB2");
    EXPECT_FALSE(lit(5));
}

// A song with a beat grid: a 120 BPM click over a quiet tone.
std::vector<std::int16_t> clicksAt120(int seconds) {
    std::vector<std::int16_t> frames(std::size_t(seconds * kRate) * 2);
    for (std::size_t i = 0; i < frames.size() / 2; ++i) {
        const double t = double(i) / kRate;
        const double click = std::fmod(t, 0.5) < 0.003 ? std::sin(2 * M_PI * 6000 * t) * 0.5 : 0;
        frames[2 * i] = frames[2 * i + 1] =
            std::int16_t(std::lrint(9000 * (0.2 * std::sin(2 * M_PI * 400 * t) + click)));
    }
    return frames;
}

// A size button is lit exactly while a loop of its size plays: whichever way the loop ends
// (Exit, the same size again, a roll let go from its own button or from a pad's right press),
// no pad is left lit to say otherwise.
TEST_F(RegistryProgram, ABeatLoopsSizeButtonIsLitOnlyWhileItsLoopPlays) {
    const QString song = dir.filePath("clicks.wav");
    ASSERT_TRUE(test::writeWav(song.toStdString(), clicksAt120(60), kRate, 2));
    script("load left " + song);
    program.runUntil(600, {});
    script("click playCB2");
    program.runUntil(3000, {});
    const auto litPads = [this] {
        QStringList lit;
        for (const char* name : {"LbeatLoop", "LloopRoll"})
            for (int i = 0; const RegisteredControl* pad = registry().find(name, i); ++i)
                if (pad->isOn()) lit << pad->indexedName();
        return lit.join(' ').toStdString();
    };
    ASSERT_EQ(litPads(), "");
    std::int64_t at = 3000;
    const auto step = [&](const QString& line, const std::string& lit) {
        script(line);
        program.runUntil(at += 400, {});
        EXPECT_EQ(litPads(), lit) << "after " << line.toStdString();
    };
    step("click LbeatLoop 2", "LbeatLoop 2");
    step("click LloopExit", "");
    step("click LbeatLoop 3", "LbeatLoop 3");
    step("click LbeatLoop 3", "");
    step("down LloopRoll 3", "LbeatLoop 3 LloopRoll 3");
    step("up LloopRoll 3", "");
    step("click LbeatLoop 1", "LbeatLoop 1");
    step("down LloopRoll 4", "LbeatLoop 4 LloopRoll 4");
    step("up LloopRoll 4", "");
    step("down LbeatLoop 2 right", "LbeatLoop 2 LloopRoll 2");
    step("up LbeatLoop 2 right", "");
    step("click Lreloop", "LbeatLoop 1");
    step("click LloopExit", "");
}

}  // namespace
}  // namespace kelvra::session
