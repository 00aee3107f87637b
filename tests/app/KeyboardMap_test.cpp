// The keyboard map through the main window's logic: every row reaches the control handler it
// names, the Ctrl/Alt flags and the modifier mask pick the row, and the help sheet lists the map.
#include <gtest/gtest.h>

#include <QStringList>

#include "app/KeyCodes.h"
#include "support/MainWindowRig.h"

namespace kelvra::app {
namespace {

// Records what each named control was asked to do, in order.
struct ControlSpy {
    explicit ControlSpy(MainControls& controls) {
        for (const auto& control : controls.registry.all()) {
            const QString name = control->indexedName();
            if (ButtonModel* button = control->button) {
                QObject::connect(button, &ButtonModel::clicked,
                                 [this, name] { events << name + " click"; });
                QObject::connect(
                    button, &ButtonModel::mousePressed, [this, name](Qt::MouseButton b) {
                        events << name + (b == Qt::RightButton ? " down right" : " down");
                    });
                QObject::connect(button, &ButtonModel::mouseReleased,
                                 [this, name] { events << name + " up"; });
            }
            if (SliderModel* slider = control->slider)
                QObject::connect(slider, &SliderModel::changed, [this, name](int value) {
                    events << name + '=' + QString::number(value);
                });
        }
    }
    QString first() const { return events.value(0, QStringLiteral("nothing")); }
    QStringList events;
};

struct KeyCase {
    const char* key;
    int mask;
    bool ctrl;
    bool alt;
    const char* reaches;  // the first thing a control is asked to do
};

// The whole key-down table, one case per row (and the near misses that must do nothing).
const KeyCase kDownCases[] = {
    {"Z", 6, true, true, "LpitchScroll=990"},
    {"Z", 2, true, false, "LpitchScroll=999"},
    {"Z", 1, false, false, "LpBend_Minus down"},
    {"Z", 3, false, false, "nothing"},
    {"Z", 3, true, false, "LpitchScroll=999"},
    {"Z", 0, false, false, "nothing"},
    {"X", 6, true, true, "LpitchScroll=1010"},
    {"X", 2, true, false, "LpitchScroll=1001"},
    {"X", 1, false, false, "LpBend_PlusCB down"},
    {"Comma", 6, true, true, "RpitchScroll=990"},
    {"Comma", 2, true, false, "RpitchScroll=999"},
    {"Comma", 1, false, false, "RpBend_Minus down"},
    {"Period", 6, true, true, "RpitchScroll=1010"},
    {"Period", 2, true, false, "RpitchScroll=1001"},
    {"Period", 1, false, false, "RpBend_plusCB down"},
    {"F12", 0, false, false, "playListCB click"},
    {"Up", 1, false, false, "monitorVolScroll=49"},
    {"Up", 0, false, false, "upCB click"},
    {"Up", 6, true, true, "upCB click"},
    {"Up", 1, true, true, "monitorVolScroll=49"},
    {"Down", 1, false, false, "monitorVolScroll=51"},
    {"Down", 0, false, false, "downCB click"},
    {"Left", 4, false, true, "monitorCMB 0 click"},
    {"Left", 0, false, false, "LcueBackCB down"},
    {"Left", 2, true, false, "nothing"},
    {"Right", 4, false, true, "monitorCMB 1 click"},
    {"Right", 0, false, false, "LcueFowardCB down"},
    {"F5", 0, false, false, "LVolScroll=49"},
    {"F6", 0, false, false, "LVolScroll=51"},
    {"F7", 0, false, false, "RvolScroll=49"},
    {"F8", 0, false, false, "RvolScroll=51"},
    {"PageUp", 0, false, false, "MainVolScroll=51"},
    {"PageDown", 0, false, false, "MainVolScroll=49"},
    {"Q", 0, false, false, "playCB2 click"},
    {"W", 1, false, false, "cmdReset_Lcue click"},
    {"W", 0, false, false, "Lplay_cue click"},
    {"W", 3, false, false, "Lplay_cue click"},
    {"P", 0, false, false, "playCB click"},
    {"O", 1, false, false, "cmdReset_Rcue click"},
    {"O", 0, false, false, "Rplay_cue click"},
    {"I", 0, false, false, "playCB down right"},
    {"E", 0, false, false, "playCB2 down right"},
    {"0", 0, false, false, "pauseCB click"},
    {"2", 0, false, false, "LpauseCB click"},
    {"V", 2, true, false, "crossFaderScroll=19"},
    {"V", 0, false, false, "crossFaderScroll=0"},
    {"B", 0, false, false, "crossFaderScroll=50"},
    {"N", 2, true, false, "crossFaderScroll=21"},
    {"N", 0, false, false, "crossFaderScroll=100"},
    {"S", 0, false, false, "cueCB2 down"},
    {"K", 0, false, false, "cueCB down"},
    {"R", 0, false, false, "stopCB2 down"},
    {"U", 0, false, false, "stopCB down"},
    {"F4", 3, true, false, "monitorCMB 2 click"},
    {"F4", 3, false, false, "nothing"},
    {"F4", 2, true, false, "nothing"},
    {"Enter", 1, false, false, "autoDJCB click"},
    {"Enter", 0, false, false, "nothing"},
    {"F10", 0, false, false, "optionsCB click"},
    {"1", 2, true, false, "LhotCue 0 down"},
    {"8", 2, true, false, "LhotCue 7 down"},
    {"3", 4, false, true, "RhotCue 2 down"},
    {"3", 0, false, false, "nothing"},
    {"2", 2, true, false, "LhotCue 1 down"},
    {"D", 0, false, false, "LkeyLockCB click"},
    {"J", 0, false, false, "RkeyLockCB click"},
    {"F", 0, false, false, "LbeatLoop 5 click"},
    {"H", 0, false, false, "RbeatLoop 5 click"},
};

// Known slider values to step from.
void setStartValues(MainControls& c) {
    c.mixer.crossFader.setValue(20);
    for (SliderModel* slider :
         {&c.mixer.mainVolume, &c.mixer.monitorVolume, &c.left.volume, &c.right.volume})
        slider->setValue(50);
}

// Holds Ctrl and Alt by their own key-downs, as fingers would.
void hold(KeyboardMap& keys, bool ctrl, bool alt) {
    if (ctrl) keys.keyDown(keys::Ctrl, kCtrlMask);
    if (alt) keys.keyDown(keys::Alt, (ctrl ? kCtrlMask : 0) | kAltMask);
}

class Keyboard : public ::testing::Test {
  protected:
    Keyboard() {
        EXPECT_TRUE(rig.loaded);
        setStartValues(controls());
    }
    MainControls& controls() { return rig.window->controls(); }
    KeyboardMap& keys() { return rig.window->keyboard(); }
    void hold(bool ctrl, bool alt) { app::hold(keys(), ctrl, alt); }

    test::MainWindowRig rig;
};

TEST(KeyboardTable, EveryRowOfTheKeyDownTableReachesItsControl) {
    for (const KeyCase& row : kDownCases) {
        test::MainWindowRig rig;  // a fresh window per row
        MainControls& c = rig.window->controls();
        KeyboardMap& keys = rig.window->keyboard();
        setStartValues(c);
        hold(keys, row.ctrl, row.alt);
        ControlSpy spy(c);
        const int code = keyCodeFromName(row.key);
        ASSERT_NE(code, 0) << row.key;
        EXPECT_TRUE(keys.keyDown(code, row.mask)) << row.key;
        EXPECT_EQ(spy.first(), QString::fromLatin1(row.reaches))
            << row.key << " mask " << row.mask << " ctrl " << row.ctrl << " alt " << row.alt;
    }
}

TEST_F(Keyboard, KeyUpsReleaseHeldButtonsWhateverTheModifiers) {
    const std::pair<const char*, const char*> ups[] = {
        {"Z", "LpBend_Minus up"},       {"X", "LpBend_PlusCB up"}, {"Comma", "RpBend_Minus up"},
        {"Period", "RpBend_plusCB up"}, {"Left", "LcueBackCB up"}, {"Right", "LcueFowardCB up"},
    };
    for (const auto& [key, reaches] : ups) {
        for (int mask : {0, 1, 3, 7}) {
            ControlSpy spy(controls());
            EXPECT_TRUE(keys().keyUp(keyCodeFromName(key), mask));
            EXPECT_EQ(spy.first(), reaches) << key << " mask " << mask;
        }
    }
    // Cue and stop keys have no key-up action, but stay the map's keys on the way up.
    ControlSpy spy(controls());
    for (const char* key : {"S", "K", "R", "U", "Q"})
        EXPECT_TRUE(keys().keyUp(keyCodeFromName(key), 0));
    EXPECT_EQ(spy.first(), "nothing");
    EXPECT_FALSE(keys().keyDown(keyCodeFromName("T"), 0));
    EXPECT_FALSE(keys().keyUp(keyCodeFromName("T"), 0));
}

TEST_F(Keyboard, AHotCueDigitLetsGoOfItsPadEvenAfterItsModifier) {
    hold(true, false);
    keys().keyDown(keyCodeFromName("4"), kCtrlMask);
    keys().keyUp(keys::Ctrl, 0);
    ControlSpy spy(controls());
    EXPECT_TRUE(keys().keyUp(keyCodeFromName("4"), 0));
    EXPECT_EQ(spy.events, (QStringList{"LhotCue 3 up", "LhotCue 3 click"}));
    // Up again, or a plain digit's way up, lets go of nothing.
    ControlSpy none(controls());
    keys().keyUp(keyCodeFromName("4"), 0);
    EXPECT_EQ(none.first(), "nothing");
}

TEST_F(Keyboard, FlagsFollowTheirOwnKeysAndSearchFollowsTheActiveDeck) {
    hold(true, true);
    EXPECT_TRUE(keys().ctrlHeld() && keys().altHeld());
    keys().keyUp(keys::Alt, kCtrlMask);
    EXPECT_FALSE(keys().altHeld());
    EXPECT_TRUE(keys().ctrlHeld());
    keys().keyUp(keys::Ctrl, 0);
    EXPECT_FALSE(keys().ctrlHeld());

    rig.window->setActiveDeck(Side::Right);
    ControlSpy spy(controls());
    keys().keyDown(keys::Left, 0);
    keys().keyUp(keys::Left, 0);
    keys().keyDown(keys::Right, 0);
    keys().keyUp(keys::Right, 0);
    EXPECT_EQ(spy.events.join(','), "cueBackCB down,cueBackCB up,cueFowardCB down,cueFowardCB up");

    // A key-up ends what its key-down started, though the active deck changed in between.
    spy.events.clear();
    keys().keyDown(keys::Left, 0);
    rig.window->setActiveDeck(Side::Left);
    keys().keyUp(keys::Left, 0);
    EXPECT_EQ(spy.events.join(','), "cueBackCB down,cueBackCB up");
}

TEST_F(Keyboard, LosingTheKeyboardEndsHeldBendsButKeepsTheFlags) {
    keys().keyDown('X', kShiftMask);
    keys().keyUp('X', 0);  // already let go: not released again
    keys().keyDown('Z', kShiftMask);
    keys().keyDown(keys::Left, 0);
    keys().keyDown(keys::Ctrl, kCtrlMask);
    ControlSpy spy(controls());
    keys().releaseHeldKeys();
    EXPECT_EQ(spy.events.join(','), "LpBend_Minus up,LcueBackCB up");
    EXPECT_TRUE(keys().ctrlHeld());
    keys().releaseHeldKeys();
    EXPECT_EQ(spy.events.size(), 2);
}

TEST_F(Keyboard, CrossfaderEndsAndPositionBarLimits) {
    MainControls& c = controls();
    // Ctrl+V at 0 and Ctrl+N at 100 take the plain rows: the ends.
    c.mixer.crossFader.setValue(0);
    hold(true, false);
    keys().keyDown('V', kCtrlMask);
    EXPECT_EQ(c.mixer.crossFader.value(), 0);
    c.mixer.crossFader.setValue(100);
    keys().keyDown('N', kCtrlMask);
    EXPECT_EQ(c.mixer.crossFader.value(), 100);
    // Auto-repeat: each repeated Ctrl+N down is one more step.
    c.mixer.crossFader.setValue(90);
    for (int i = 0; i < 5; ++i)
        keys().keyDown('N', kCtrlMask);
    EXPECT_EQ(c.mixer.crossFader.value(), 95);

    DeckDisplayModel& left = c.left.display;
    left.setPositionBar(99);
    keys().keyDown(keys::Up, kCtrlMask);
    keys().keyDown(keys::Up, kCtrlMask);
    EXPECT_EQ(left.positionBar(), 100);
    left.setPositionBar(2);
    for (int i = 0; i < 3; ++i)
        keys().keyDown(keys::Down, kCtrlMask);
    EXPECT_EQ(left.positionBar(), 1);
    keys().keyUp(keys::Ctrl, 0);
    // Alt moves the right deck's bar; Ctrl and Alt together move neither.
    DeckDisplayModel& right = c.right.display;
    right.setPositionBar(50);
    hold(false, true);
    keys().keyDown(keys::Up, kAltMask);
    EXPECT_EQ(right.positionBar(), 51);
    hold(true, false);
    keys().keyDown(keys::Up, kCtrlMask | kAltMask);
    EXPECT_EQ(right.positionBar(), 51);
    EXPECT_EQ(left.positionBar(), 1);
}

TEST_F(Keyboard, HintsHelpSheetAndTheNextSongKeys) {
    MainControls& c = controls();
    keys().keyDown(keys::function(2), 0);
    for (const ButtonModel& hint : c.keyboardHints)
        EXPECT_TRUE(hint.isVisible());
    keys().keyDown(keys::Slash, kShiftMask);
    EXPECT_TRUE(c.keyboardSheet.isVisible());
    keys().keyDown(keys::Esc, 0);
    for (const ButtonModel& hint : c.keyboardHints)
        EXPECT_FALSE(hint.isVisible());
    EXPECT_FALSE(c.keyboardSheet.isVisible());

    keys().keyDown(keys::F1, 0);
    ASSERT_EQ(rig.dialogs.messages.size(), 1u);
    EXPECT_EQ(rig.dialogs.messages[0].title, "Help cannot start...");
    EXPECT_TRUE(rig.dialogs.messages[0].text.startsWith(
        "You need Internet Explorer 4 or higher to view the help file. Please download for FREE "
        "at "));
    EXPECT_EQ(rig.dialogs.messages[0].icon, MessageIcon::Exclamation);

    // Ctrl+Alt+Right makes the right deck active and loads the next song there.
    rig.playlist.loadsongs_to_playlist(rig.addSong("next.mp3"));
    hold(true, true);
    keys().keyDown(keys::Right, kCtrlMask | kAltMask);
    EXPECT_EQ(rig.window->activeDeck(), Side::Right);
    EXPECT_NE(rig.window->deck(Side::Right).stream(), 0u);
    EXPECT_EQ(rig.window->deck(Side::Left).stream(), 0u);

    // The sheet lists every key a user presses, each once, and none of the flag rows.
    QStringList listed;
    for (const KeyboardMap::HelpLine& line : keys().helpSheet()) {
        EXPECT_FALSE(listed.contains(line.keys)) << line.keys.toStdString();
        listed << line.keys;
    }
    for (const char* key :
         {"Q", "Shift+Z (hold)", "Ctrl+Alt+Period", "Ctrl+Shift+F4", "Shift+Enter", "?"})
        EXPECT_TRUE(listed.contains(key)) << key;
}

TEST(KeyCodes, LettersAndDigitsComeFromTheKeyNotTheCharacter) {
    // Under X11 the key beside Tab is keycode 24 whatever it types (a Cyrillic layout types
    // U+0439 there; Caps Lock or Shift change the character, not the key).
    EXPECT_EQ(keyCode({0x439, 24, Qt::NoModifier, false}, ScanCodes::Xkb), 'Q');
    EXPECT_EQ(keyCode({Qt::Key_A, 24, Qt::ShiftModifier, false}, ScanCodes::Xkb), 'Q');
    EXPECT_EQ(keyCode({Qt::Key_Less, 59, Qt::ShiftModifier, false}, ScanCodes::Xkb), keys::Comma);
    EXPECT_EQ(keyCode({Qt::Key_At, 0x03, Qt::ShiftModifier, false}, ScanCodes::Windows), '2');
    // The number pad's 0 is not the top row's 0 (that row pauses the right deck).
    EXPECT_EQ(keyCode({Qt::Key_0, 90, Qt::KeypadModifier, true}, ScanCodes::Xkb), 0);
    // Keys that read the same everywhere come from Qt's name for them.
    EXPECT_EQ(keyCode({Qt::Key_F4, 70, Qt::NoModifier, false}, ScanCodes::Xkb), keys::function(4));
    EXPECT_EQ(keyCode({Qt::Key_Enter, 104, Qt::KeypadModifier, true}, ScanCodes::Xkb), keys::Enter);
    // Without scan codes a US layout's shifted characters still name their key.
    EXPECT_EQ(keyCode({Qt::Key_Greater, 0, Qt::ShiftModifier, false}, ScanCodes::None),
              keys::Period);
    EXPECT_EQ(keyCode({Qt::Key_X, 0, Qt::NoModifier, false}, ScanCodes::None), 'X');
    EXPECT_EQ(modifierMask(Qt::ShiftModifier | Qt::ControlModifier | Qt::KeypadModifier), 3);
    for (int code :
         {int('Q'), int('0'), keys::Comma, keys::PageDown, keys::function(12), keys::Esc})
        EXPECT_EQ(keyCodeFromName(keyName(code)), code) << code;
    EXPECT_EQ(keyCodeFromName("pageup"), keys::PageUp);
    EXPECT_EQ(keyCodeFromName("Shift+Q"), 0);
}

}  // namespace
}  // namespace kelvra::app
