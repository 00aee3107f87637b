// One short MIDI message as it arrives from a controller or goes back to light it: a status byte
// and up to two data bytes. Plain data, any thread.
#pragma once

#include <cstdint>

namespace kelvra::controllers {

struct MidiMessage {
    std::uint8_t status = 0;  // the kind in the high nibble, the channel (0..15) in the low
    std::uint8_t data1 = 0;
    std::uint8_t data2 = 0;

    int kind() const { return status & 0xF0; }
    int channel() const { return status & 0x0F; }  // 0-based; mapping files count from 1
    bool operator==(const MidiMessage&) const = default;
};

inline constexpr int kNoteOff = 0x80;
inline constexpr int kNoteOn = 0x90;
inline constexpr int kControlChange = 0xB0;

}  // namespace kelvra::controllers
