// The names devices are remembered by: stable across replugging, Kelvra's own ports left out,
// two devices of one name told apart.
#include "controllers/MidiPortNames.h"

#include <gtest/gtest.h>

namespace kelvra::controllers {
namespace {

TEST(MidiPortNames, StableAcrossReplugOwnPortsLeftOutTwinsToldApart) {
    // ALSA numbers its clients afresh at every plug-in; JACK names carry no numbers to cut.
    EXPECT_EQ(stableName("Mixer:Mixer MIDI 1 24:0"), QStringLiteral("Mixer:Mixer MIDI 1"));
    EXPECT_EQ(stableName("Mixer:Mixer MIDI 1 32:0"), QStringLiteral("Mixer:Mixer MIDI 1"));
    EXPECT_EQ(stableName("a2j:Deck 2 [20] (capture): MIDI 2"),
              QStringLiteral("a2j:Deck 2 [20] (capture): MIDI 2"));
    EXPECT_EQ(stableName("system:midi_capture_1"), QStringLiteral("system:midi_capture_1"));

    const std::vector<MidiPort> ports = stablePorts(
        {"Midi Through:Midi Through Port-0 14:0", "kelvra:midi_in 128:0", "Pad:Pad MIDI 1 24:0",
         "kelvra-midi-01:midi_out", "Pad:Pad MIDI 1 28:0", "", "Pad:Pad MIDI 1 32:0"});
    ASSERT_EQ(ports.size(), 4u);
    EXPECT_EQ(ports[0].name, QStringLiteral("Midi Through:Midi Through Port-0"));
    EXPECT_EQ(ports[1].name, QStringLiteral("Pad:Pad MIDI 1"));
    EXPECT_EQ(ports[2].name, QStringLiteral("Pad:Pad MIDI 1 (2)"));
    EXPECT_EQ(ports[3].name, QStringLiteral("Pad:Pad MIDI 1 (3)"));
    // Where the driver counts them, for opening.
    EXPECT_EQ(ports[1].index, 2u);
    EXPECT_EQ(ports[3].index, 6u);

    EXPECT_TRUE(isOwnPort("kelvra-midi:midi_in"));
    EXPECT_TRUE(isOwnPort("kelvra:master_1"));
    EXPECT_FALSE(isOwnPort("kelvrax:out"));
    EXPECT_FALSE(isOwnPort("Pad:kelvra"));
}

}  // namespace
}  // namespace kelvra::controllers
