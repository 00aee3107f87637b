#include "app/KeyboardMap.h"

#include <algorithm>
#include <utility>

#include "app/KeyCodes.h"
#include "decks/DeckControls.h"

namespace kelvra::app {
namespace {

using Group = KeyboardMap::Group;

Group deckGroup(Side side) {
    return side == Side::Left ? Group::LeftDeck : Group::RightDeck;
}
QString deckKey(Side side, char left, char right) {
    return QString(QChar(side == Side::Left ? left : right));
}

}  // namespace

KeyboardMap::KeyboardMap(const ControlRegistry& controls, Window window)
    : controls_(controls), window_(std::move(window)) {
    buildDownRows();
    buildUpRows();
}

ButtonModel& KeyboardMap::button(const QString& alias, int index) const {
    ButtonModel* found = controls_.button(alias, index);
    Q_ASSERT_X(found, "KeyboardMap", qPrintable(alias));
    return *found;
}

SliderModel& KeyboardMap::slider(const QString& alias) const {
    SliderModel* found = controls_.slider(alias);
    Q_ASSERT_X(found, "KeyboardMap", qPrintable(alias));
    return *found;
}

QString KeyboardMap::deckAlias(Side side, const char* item) {
    return (side == Side::Left ? QStringLiteral("left.") : QStringLiteral("right.")) +
           QLatin1String(item);
}

bool KeyboardMap::keyDown(int code, int mask) {
    if (std::find(held_.begin(), held_.end(), code) == held_.end()) held_.push_back(code);
    return run(down_, code, mask);
}

bool KeyboardMap::keyUp(int code, int mask) {
    held_.erase(std::remove(held_.begin(), held_.end(), code), held_.end());
    run(up_, code, mask);
    return keyUpOwned(code);
}

void KeyboardMap::releaseHeldKeys() {
    const std::vector<int> held = std::exchange(held_, {});
    for (int code : held)
        if (code != keys::Ctrl && code != keys::Alt) run(up_, code, 0);
    for (int code : held)
        if (code == keys::Ctrl || code == keys::Alt) held_.push_back(code);
}

bool KeyboardMap::keyUpOwned(int code) const {
    // Keys with only a key-down row are still the map's on the way up.
    for (const auto* rows : {&down_, &up_})
        for (const Row& row : *rows)
            if (row.key == code) return true;
    return false;
}

bool KeyboardMap::run(const std::vector<Row>& rows, int code, int mask) {
    bool ours = false;
    for (const Row& row : rows) {
        if (row.key != code) continue;
        ours = true;
        if (row.when && !row.when(mask)) continue;
        row.act();
        return true;
    }
    return ours;
}

void KeyboardMap::addPitchRows(int key, int direction, Group group, const QString& keyLabel) {
    const Side side = group == Group::LeftDeck ? Side::Left : Side::Right;
    SliderModel& slider = this->slider(deckAlias(side, "pitch"));
    ButtonModel& bend = button(deckAlias(side, direction < 0 ? "bend_down" : "bend_up"));
    const QString way = direction < 0 ? QStringLiteral("down") : QStringLiteral("up");
    // Ctrl+Alt moves by the slider's large step, Ctrl alone by its small one.
    add(down_, {key, [this](int) { return ctrlHeld_ && altHeld_; },
                [&slider, direction] {
                    slider.setValue(slider.value() + direction * slider.largeChange());
                },
                group, "Ctrl+Alt+" + keyLabel, "Pitch " + way + " a coarse step"});
    add(down_, {key, [this](int) { return ctrlHeld_; },
                [&slider, direction] {
                    slider.setValue(slider.value() + direction * slider.smallChange());
                },
                group, "Ctrl+" + keyLabel, "Pitch " + way + " a fine step"});
    add(down_, {key, [](int mask) { return mask == kShiftMask; },
                [&bend] { bend.pressMouse(Qt::LeftButton); }, group,
                "Shift+" + keyLabel + " (hold)", "Bend " + way + "; let go to snap back"});
    add(up_, {key, {}, [&bend] { bend.releaseMouse(Qt::LeftButton); }, group, {}, {}});
}

void KeyboardMap::buildDownRows() {
    const Window& w = window_;
    auto shift = [](int mask) { return mask == kShiftMask; };
    auto ctrlNotAlt = [this](int) { return ctrlHeld_ && !altHeld_; };
    auto altNotCtrl = [this](int) { return altHeld_ && !ctrlHeld_; };
    auto ctrlAndAlt = [this](int) { return ctrlHeld_ && altHeld_; };
    auto neither = [this](int) { return !ctrlHeld_ && !altHeld_; };
    // A slider step the key handler follows with its own volume update.
    auto step = [&w](SliderModel& slider, int delta) {
        return [&w, &slider, delta] {
            slider.setValue(slider.value() + delta);
            w.levelsChanged();
        };
    };
    auto setTo = [&w](SliderModel& slider, std::function<int()> value) {
        return [&w, &slider, value] {
            slider.setValue(value());
            w.levelsChanged();
        };
    };
    auto click = [](ButtonModel& button) { return [&button] { button.click(); }; };
    auto press = [](ButtonModel& button, Qt::MouseButton mouse) {
        return [&button, mouse] { button.pressMouse(mouse); };
    };
    auto nudgeBar = [&w](Side side, int delta) {
        return [&w, side, delta] { w.nudgePosition(side, delta); };
    };

    add(down_, {keys::F1, {}, [&w] { w.showHelp(); }, Group::Window, "F1", "Help"});
    add(down_, {keys::function(2),
                {},
                [&w] { w.showKeyLetters(true); },
                Group::Window,
                "F2",
                "Show the key letters"});
    add(down_, {keys::Esc,
                {},
                [&w] {
                    w.showKeyLetters(false);
                    w.showKeySheet(false);
                },
                Group::Window,
                "Esc",
                "Hide the key letters and this sheet"});
    add(down_, {keys::Ctrl, {}, [this] { ctrlHeld_ = true; }, Group::Window, {}, {}});
    add(down_, {keys::Alt, {}, [this] { altHeld_ = true; }, Group::Window, {}, {}});
    addPitchRows('Z', -1, Group::LeftDeck, "Z");
    addPitchRows('X', +1, Group::LeftDeck, "X");
    addPitchRows(keys::Comma, -1, Group::RightDeck, "Comma");
    addPitchRows(keys::Period, +1, Group::RightDeck, "Period");
    add(down_, {keys::function(12),
                {},
                click(button("window.playlist")),
                Group::AutoDJ,
                "F12",
                "Show the playlist window"});

    for (int key : {keys::Up, keys::Down}) {
        const int delta = key == keys::Up ? 1 : -1;
        const QString name = key == keys::Up ? "Up" : "Down";
        const QString seek = key == keys::Up ? "forward" : "back";
        add(down_, {key, ctrlNotAlt, nudgeBar(Side::Left, delta), Group::LeftDeck, "Ctrl+" + name,
                    "Seek " + seek + " one percent"});
        add(down_, {key, altNotCtrl, nudgeBar(Side::Right, delta), Group::RightDeck, "Alt+" + name,
                    "Seek " + seek + " one percent"});
        // The headphone slider is upside down: a lower value is louder.
        add(down_, {key, shift, step(slider("mixer.headphones_volume"), -delta), Group::Mixer,
                    "Shift+" + name, key == keys::Up ? "Headphones louder" : "Headphones quieter"});
        add(down_, {key,
                    {},
                    click(button(key == keys::Up ? "playlist.previous" : "playlist.next")),
                    Group::AutoDJ,
                    name,
                    key == keys::Up ? "Previous song" : "Next song"});
    }
    for (int key : {keys::Left, keys::Right}) {
        const bool left = key == keys::Left;
        const Side side = left ? Side::Left : Side::Right;
        const QString name = left ? "Left" : "Right";
        add(down_,
            {key, altNotCtrl, click(button("monitorCMB", sideIndex(side))), Group::Mixer,
             "Alt+" + name, left ? "Headphones on the left deck" : "Headphones on the right deck"});
        add(down_, {key, ctrlAndAlt,
                    [&w, side] {
                        w.setActiveDeck(side);
                        w.loadNextSong();
                    },
                    Group::AutoDJ, "Ctrl+Alt+" + name,
                    left ? "Load the next song on the left deck"
                         : "Load the next song on the right deck"});
        add(down_, {key, neither,
                    [this, &w, left] {
                        const Side held = w.activeDeck();
                        searchSide_[left ? 0 : 1] = held;
                        button(deckAlias(held, left ? "cue_back" : "cue_forward"))
                            .pressMouse(Qt::LeftButton);
                    },
                    Group::ActiveDeck, name + " (hold)",
                    left ? "Search back (in cue-edit mode)" : "Search forward (in cue-edit mode)"});
    }
    for (int n : {5, 7}) {
        SliderModel& volume = slider(deckAlias(n == 5 ? Side::Left : Side::Right, "volume"));
        const Group group = n == 5 ? Group::LeftDeck : Group::RightDeck;
        // Deck volume sliders are upside down too.
        add(down_, {keys::function(n),
                    {},
                    step(volume, -1),
                    group,
                    QStringLiteral("F%1").arg(n),
                    "Volume up"});
        add(down_, {keys::function(n + 1),
                    {},
                    step(volume, +1),
                    group,
                    QStringLiteral("F%1").arg(n + 1),
                    "Volume down"});
    }
    add(down_, {keys::PageUp,
                {},
                step(slider("mixer.main_volume"), +1),
                Group::Mixer,
                "PageUp",
                "Main volume up"});
    add(down_, {keys::PageDown,
                {},
                step(slider("mixer.main_volume"), -1),
                Group::Mixer,
                "PageDown",
                "Main volume down"});

    for (Side side : {Side::Left, Side::Right}) {
        const Group group = deckGroup(side);
        const QString resetKey = deckKey(side, 'W', 'O');
        add(down_, {deckKey(side, 'Q', 'P')[0].unicode(),
                    {},
                    click(button(deckAlias(side, "play"))),
                    group,
                    deckKey(side, 'Q', 'P'),
                    "Play"});
        add(down_, {resetKey[0].unicode(), shift, click(button(deckAlias(side, "reset_cue"))),
                    group, "Shift+" + resetKey, "Reset the cue points"});
        add(down_, {resetKey[0].unicode(),
                    {},
                    click(button(deckAlias(side, "play_previous_cue"))),
                    group,
                    resetKey,
                    "Play from the previous cue"});
    }
    for (Side side : {Side::Right, Side::Left}) {
        ButtonModel& play = button(deckAlias(side, "play"));
        const QString key = deckKey(side, 'E', 'I');
        add(down_, {key[0].unicode(),
                    {},
                    [&w, &play] {
                        w.focusMixer();
                        play.pressMouse(Qt::RightButton);
                    },
                    deckGroup(side),
                    key,
                    "Cue-edit mode"});
    }
    // Hot cues on the digits: Ctrl for the left deck, Alt for the right, held like the pads
    // (these rows come before the plain digits' pause rows).
    for (Side side : {Side::Left, Side::Right}) {
        const bool left = side == Side::Left;
        for (int slot = 0; slot < decks::DeckControls::kHotCues; ++slot) {
            const int digit = '1' + slot;
            ButtonModel& pad = button(deckAlias(side, "hotcue"), slot);
            // One line on the help sheet for all eight.
            add(down_, {digit, left ? std::function<bool(int)>(ctrlNotAlt) : altNotCtrl,
                        [this, &pad, digit] {
                            heldHotCues_.push_back({digit, &pad});
                            pad.pressMouse(Qt::LeftButton);
                        },
                        deckGroup(side),
                        slot > 0 ? QString()
                        : left   ? QStringLiteral("Ctrl+1 ... 8")
                                 : QStringLiteral("Alt+1 ... 8"),
                        slot > 0 ? QString() : QStringLiteral("Hot cues 1 to 8 (hold)")});
        }
    }
    add(down_, {'0', {}, click(button("right.pause")), Group::RightDeck, "0", "Pause"});
    add(down_, {'2', {}, click(button("left.pause")), Group::LeftDeck, "2", "Pause"});

    SliderModel& fader = slider("mixer.crossfader");
    add(down_, {'V', [this, &fader](int) { return ctrlHeld_ && fader.value() > 0; },
                step(fader, -1), Group::Mixer, "Ctrl+V", "Crossfader a step left"});
    add(down_, {'V',
                {},
                setTo(fader, [&fader] { return fader.minimum(); }),
                Group::Mixer,
                "V",
                "Crossfader all left"});
    add(down_, {'B',
                {},
                setTo(fader, [&fader] { return fader.maximum() / 2; }),
                Group::Mixer,
                "B",
                "Crossfader to the centre"});
    add(down_, {'N', [this, &fader](int) { return ctrlHeld_ && fader.value() < 100; },
                step(fader, +1), Group::Mixer, "Ctrl+N", "Crossfader a step right"});
    add(down_, {'N',
                {},
                setTo(fader, [&fader] { return fader.maximum(); }),
                Group::Mixer,
                "N",
                "Crossfader all right"});

    add(down_, {'S', {}, press(button("left.cue"), Qt::LeftButton), Group::LeftDeck, "S", "Cue"});
    add(down_, {'K', {}, press(button("right.cue"), Qt::LeftButton), Group::RightDeck, "K", "Cue"});
    add(down_, {'R',
                {},
                press(button("left.stop"), Qt::LeftButton),
                Group::LeftDeck,
                "R",
                "Stop like a turntable"});
    add(down_, {'U',
                {},
                press(button("right.stop"), Qt::LeftButton),
                Group::RightDeck,
                "U",
                "Stop like a turntable"});
    add(down_, {keys::function(4),
                [this](int mask) { return mask == (kShiftMask | kCtrlMask) && ctrlHeld_; },
                click(button("mixer.headphones_off")), Group::Mixer, "Ctrl+Shift+F4",
                "Headphones off (stereo)"});
    add(down_, {keys::Enter, shift, click(button("mixer.autodj")), Group::AutoDJ, "Shift+Enter",
                "Auto-DJ on or off"});
    add(down_,
        {keys::function(10), {}, click(button("mixer.options")), Group::Window, "F10", "Options"});
    // The effect units on the free function keys: one for each unit (with Shift, the next
    // effect in its first slot), and one for the row. The sheet lists each set on one line.
    for (int unit = 1; unit <= 4; ++unit) {
        const bool first = unit == 1;
        add(down_,
            {keys::function(4 + unit), shift,
             click(button(QStringLiteral("fx%1.slot1.next").arg(unit))), Group::Effects,
             first ? QStringLiteral("Shift+F5 … F8") : QString(),
             first ? QStringLiteral("The next effect in unit 1 … 4's first slot") : QString()});
    }
    for (int unit = 1; unit <= 4; ++unit) {
        const bool first = unit == 1;
        add(down_, {keys::function(4 + unit),
                    {},
                    click(button(QStringLiteral("fx%1.on").arg(unit))),
                    Group::Effects,
                    first ? QStringLiteral("F5 … F8") : QString(),
                    first ? QStringLiteral("Effect unit 1 … 4 on or off") : QString()});
    }
    add(down_, {keys::function(9),
                {},
                click(button("fx.show")),
                Group::Effects,
                "F9",
                "Show or hide the effect units"});
    // Beyond the table, on keys no other row uses: the key lock and a four-beat loop under each
    // hand (the loop's key again leaves it).
    for (Side side : {Side::Left, Side::Right}) {
        const QString lock = deckKey(side, 'D', 'J'), loop = deckKey(side, 'F', 'H');
        add(down_, {lock[0].unicode(),
                    {},
                    click(button(deckAlias(side, "keylock"))),
                    deckGroup(side),
                    lock,
                    "Key lock on or off"});
        add(down_, {loop[0].unicode(),
                    {},
                    click(button(deckAlias(side, "beatloop"), 5)),
                    deckGroup(side),
                    loop,
                    "Loop four beats"});
    }
    // Sync under each hand, and the help sheet.
    add(down_,
        {'A', {}, click(button("left.sync")), Group::LeftDeck, "A", "Sync to the right deck"});
    add(down_,
        {'L', {}, click(button("right.sync")), Group::RightDeck, "L", "Sync to the left deck"});
    add(down_, {keys::Slash, [](int mask) { return mask == 0 || mask == kShiftMask; },
                [&w] { w.showKeySheet(!w.keySheetShown()); }, Group::Window, "?",
                "Show or hide this sheet"});
}

void KeyboardMap::buildUpRows() {
    const Window& w = window_;
    add(up_, {keys::Ctrl, {}, [this] { ctrlHeld_ = false; }, Group::Window, {}, {}});
    // A hot cue's digit let go: its pad is let go too, whatever modifier is still down.
    for (int slot = 0; slot < decks::DeckControls::kHotCues; ++slot) {
        const int digit = '1' + slot;
        add(up_, {digit,
                  [this, digit](int) {
                      return std::any_of(heldHotCues_.begin(), heldHotCues_.end(),
                                         [digit](const auto& held) { return held.first == digit; });
                  },
                  [this, digit] {
                      for (auto it = heldHotCues_.begin(); it != heldHotCues_.end();) {
                          if (it->first != digit) {
                              ++it;
                              continue;
                          }
                          ButtonModel* pad = it->second;
                          it = heldHotCues_.erase(it);
                          pad->releaseMouse(Qt::LeftButton);
                          pad->click();
                      }
                  },
                  Group::Window,
                  {},
                  {}});
    }
    add(up_, {keys::Alt, {}, [this] { altHeld_ = false; }, Group::Window, {}, {}});
    for (int key : {keys::Left, keys::Right}) {
        const bool left = key == keys::Left;
        add(up_, {key,
                  {},
                  [this, &w, left] {
                      std::optional<Side>& held = searchSide_[left ? 0 : 1];
                      const Side side = held.value_or(w.activeDeck());
                      held.reset();
                      button(deckAlias(side, left ? "cue_back" : "cue_forward"))
                          .releaseMouse(Qt::LeftButton);
                  },
                  Group::Window,
                  {},
                  {}});
    }
}

std::vector<KeyboardMap::HelpLine> KeyboardMap::helpSheet() const {
    std::vector<HelpLine> lines;
    for (const Row& row : down_)
        if (!row.action.isEmpty()) lines.push_back({row.group, row.keys, row.action});
    return lines;
}

QString KeyboardMap::groupTitle(Group group) {
    switch (group) {
        case Group::LeftDeck:
            return QStringLiteral("Left deck");
        case Group::RightDeck:
            return QStringLiteral("Right deck");
        case Group::Mixer:
            return QStringLiteral("Mixer");
        case Group::ActiveDeck:
            return QStringLiteral("Active deck");
        case Group::AutoDJ:
            return QStringLiteral("Auto-DJ and playlist");
        case Group::Effects:
            return QStringLiteral("Effect units");
        case Group::Window:
            break;
    }
    return QStringLiteral("Window");
}

}  // namespace kelvra::app
