// The registry's lookups: both names reach one control, a group takes only its own indexes, and
// a name that is a group and a lone control too is the lone one only without an index.
#include <gtest/gtest.h>

#include "core/ControlRegistry.h"

namespace kelvra {
namespace {

TEST(ControlRegistry, FindsByEitherNameAndTellsAWrongIndexFromAMissingName) {
    ButtonModel play, pads[3], rolls[2], rollAny;
    ControlRegistry registry;
    registry.add({.name = "playCB2", .alias = "left.play", .button = &play});
    for (int i = 0; i < 3; ++i)
        registry.add({.name = "LhotCue",
                      .index = i,
                      .alias = "left.hotcue",
                      .aliasIndex = i,
                      .button = &pads[i]});
    for (int i = 0; i < 2; ++i)
        registry.add({.name = "LloopRoll", .index = i, .button = &rolls[i]});
    registry.add({.name = "LloopRoll", .button = &rollAny});

    EXPECT_EQ(registry.button("left.play"), &play);
    EXPECT_EQ(registry.find("playCB2"), registry.find("left.play"));
    EXPECT_EQ(registry.button("left.hotcue", 2), &pads[2]);
    EXPECT_EQ(registry.find("LhotCue", 1), registry.find("left.hotcue", 1));
    EXPECT_EQ(registry.find("LhotCue", 1)->indexedName(), "LhotCue 1");

    using Lookup = ControlRegistry::Lookup;
    const Lookup none = registry.lookup("LhotCue");
    EXPECT_EQ(none.miss, Lookup::NeedsIndex);
    EXPECT_EQ(none.control, nullptr);
    const Lookup beyond = registry.lookup("left.hotcue", 3);
    EXPECT_EQ(beyond.miss, Lookup::IndexOutOfRange);
    EXPECT_EQ(beyond.control, nullptr);
    EXPECT_EQ(beyond.lowest, 0);
    EXPECT_EQ(beyond.highest, 2);
    EXPECT_EQ(registry.lookup("nosuchCB").miss, Lookup::NoSuchName);

    // A lone control given an index is still itself; callers that mind are told.
    const Lookup indexed = registry.lookup("playCB2", 4);
    EXPECT_EQ(indexed.control, registry.find("playCB2"));
    EXPECT_TRUE(indexed.indexIgnored);

    // Both a group and a lone control: the index picks the member, none the lone one, and one
    // outside the group is no control at all.
    EXPECT_EQ(registry.button("LloopRoll"), &rollAny);
    EXPECT_EQ(registry.find("LloopRoll", 1)->button, &rolls[1]);
    EXPECT_EQ(registry.lookup("LloopRoll", 9).miss, Lookup::IndexOutOfRange);
    EXPECT_EQ(registry.find("LloopRoll", 9), nullptr);
}

TEST(ControlRegistry, StateIsTheButtonsOrItsLampsNeverItsPaint) {
    ButtonModel keyLock, play;
    DeckDisplayModel display;
    ControlRegistry registry;
    const RegisteredControl& lock = registry.add({.name = "LkeyLockCB", .button = &keyLock});
    const RegisteredControl& playing = registry.add({.name = "playCB2",
                                                     .button = &play,
                                                     .lampDisplay = &display,
                                                     .lamp = DeckDisplayModel::Play});
    keyLock.setBackColour(kColourOn);
    EXPECT_FALSE(lock.isOn());
    keyLock.setLit(true);
    EXPECT_TRUE(lock.isOn());
    EXPECT_EQ(lock.value(), 1);
    EXPECT_EQ(keyLock.backColour(), kColourOn);
    keyLock.setLit(false);
    EXPECT_EQ(keyLock.backColour(), kColourOff);
    play.setLit(true);
    EXPECT_FALSE(playing.isOn());  // the deck's lamp says, not the button
    display.setLamp(DeckDisplayModel::Play, true);
    EXPECT_TRUE(playing.isOn());
    EXPECT_EQ(playing.stateSource(), &display);
}

}  // namespace
}  // namespace kelvra
