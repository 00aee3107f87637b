// The main window's keyboard: every key the DJ presses, tried against one table top to bottom,
// becomes the click, press, release or slider step of the control that does the same thing, so
// a key and a click can never behave differently. Also holds the Ctrl and Alt flags the table
// reads, and writes the help sheet from the same table so the two cannot drift apart. It finds
// its controls in the registry; the little it needs of the window beyond them is handed in.
// Thread: UI thread only.
#pragma once

#include <QString>
#include <functional>
#include <optional>
#include <utility>
#include <vector>

#include "core/ControlModels.h"
#include "core/ControlRegistry.h"
#include "core/Side.h"

namespace kelvra::app {

class KeyboardMap {
  public:
    // What keys do beyond pressing controls. Every member must be set.
    struct Window {
        std::function<Side()> activeDeck;  // the deck the active-deck keys act on
        std::function<void(Side)> setActiveDeck;
        std::function<void()> levelsChanged;  // after a key stepped a level slider
        std::function<void()> showHelp;
        std::function<void(bool)> showKeyLetters;  // the single-key hints beside the controls
        std::function<void()> loadNextSong;        // onto the active deck
        std::function<void()> focusMixer;
        // The deck's position bar moved by one percent, which the display tick then seeks to.
        std::function<void(Side, int delta)> nudgePosition;
        std::function<bool()> keySheetShown;  // the sheet listing every key
        std::function<void(bool)> showKeySheet;
    };
    enum class Group { LeftDeck, RightDeck, ActiveDeck, Mixer, AutoDJ, Effects, Window };
    struct HelpLine {
        Group group;
        QString keys;    // "Ctrl+Z", "Shift+Enter"
        QString action;  // what the key does, in a DJ's words
    };

    // `controls` outlives the map.
    KeyboardMap(const ControlRegistry& controls, Window window);

    // A key went down (or repeated) / came up, with its modifier mask (1 Shift, 2 Ctrl, 4 Alt).
    // True when the key is one of the map's: then no control of the window may see it.
    bool keyDown(int code, int mask);
    bool keyUp(int code, int mask);
    // Whether the key belongs to the map, without acting on it.
    bool keyUpOwned(int code) const;

    // The window lost the keyboard while keys were down: their key-ups will go elsewhere, so a
    // held bend or search ends now rather than running on. Ctrl and Alt stay as they are.
    void releaseHeldKeys();

    bool ctrlHeld() const { return ctrlHeld_; }
    bool altHeld() const { return altHeld_; }

    // Every row a user can press, in table order (the Ctrl and Alt flag rows left out).
    std::vector<HelpLine> helpSheet() const;
    static QString groupTitle(Group group);

  private:
    struct Row {
        int key;
        std::function<bool(int mask)> when;  // empty: always
        std::function<void()> act;
        Group group;
        QString keys;
        QString action;
    };
    void buildDownRows();
    void buildUpRows();
    void addPitchRows(int key, int direction, Group group, const QString& keyLabel);
    void add(std::vector<Row>& rows, Row row) { rows.push_back(std::move(row)); }
    bool run(const std::vector<Row>& rows, int code, int mask);
    // The registry's models by the readable alias; "left."/"right." before a deck's item.
    ButtonModel& button(const QString& alias, int index = -1) const;
    SliderModel& slider(const QString& alias) const;
    static QString deckAlias(Side side, const char* item);

    const ControlRegistry& controls_;
    Window window_;
    std::vector<Row> down_;
    std::vector<Row> up_;
    bool ctrlHeld_ = false;
    // Hot cue pads pressed from the digits, by their key, until the key comes up.
    std::vector<std::pair<int, ButtonModel*>> heldHotCues_;
    bool altHeld_ = false;
    // The deck whose search the held Left (0) or Right (1) key started: its key-up ends that
    // search, even when another deck has become the active one meanwhile.
    std::optional<Side> searchSide_[2];
    std::vector<int> held_;  // keys down whose key-up has not come yet
};

}  // namespace kelvra::app
