// Hands short MIDI messages from one input's driver thread to the UI thread without either side
// waiting, through the program's bounded single-producer, single-consumer ring. RtMidi calls an
// input back on its own thread (under JACK, inside the server's process cycle), where a lock or
// an allocation could make the whole graph miss its period.
// Thread: push() from the one driver thread of the input; pop() and dropped() from the UI thread.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>

#include "controllers/MidiMessage.h"
#include "core/SpscRing.h"

namespace kelvra::controllers {

class MidiInbox {
  public:
    // A second of a busy controller (jog wheels send a few hundred messages a second) with room
    // to spare; the UI thread drains it every event-loop pass.
    static constexpr std::size_t kCapacity = 1024;

    // False, and the message counted as dropped, when the UI thread has fallen that far behind.
    bool push(const MidiMessage& message) noexcept {
        if (ring_.push(message)) return true;
        dropped_.fetch_add(1, std::memory_order_relaxed);
        return false;
    }

    bool pop(MidiMessage& message) noexcept { return ring_.pop(message); }

    std::uint64_t dropped() const noexcept { return dropped_.load(std::memory_order_relaxed); }

  private:
    SpscRing<MidiMessage> ring_{kCapacity};
    std::atomic<std::uint64_t> dropped_{0};
};

// The short message in a driver's bytes, or none: SysEx, clock, active sensing and the other
// system messages say nothing a mapping can use, and a truncated message is not guessed at.
// Thread: any (no allocation, no waiting).
inline bool shortMessage(const unsigned char* bytes, std::size_t size, MidiMessage& message) {
    if (size == 0 || bytes[0] < 0x80 || bytes[0] >= 0xF0) return false;
    const int kind = bytes[0] & 0xF0;
    // Program change and channel pressure carry one data byte; every other channel message two.
    const std::size_t needed = (kind == 0xC0 || kind == 0xD0) ? 2 : 3;
    if (size < needed) return false;
    message.status = bytes[0];
    message.data1 = bytes[1] & 0x7F;
    message.data2 = needed == 3 ? std::uint8_t(bytes[2] & 0x7F) : std::uint8_t(0);
    return true;
}

}  // namespace kelvra::controllers
