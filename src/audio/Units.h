// Units where they meet: byte positions of 16-bit PCM (the library's own unit), frames at a
// stream's own rate, and rates in Hz. Frames and Hz are their own types, so a count of one
// passed where the other is meant, or a byte position taken as frames, does not compile; every
// conversion names the layout or rate it needs.
#pragma once

#include <compare>
#include <cstdint>

namespace kelvra::audio {

// A stream handle of the contract; 0 is "no stream". Handles are never reused within one run.
using Handle = std::uint32_t;

// Positions and lengths of the contract: bytes of 16-bit PCM at the stream's native rate and
// channel count.
using BytePosition = std::uint64_t;

// Frames at a stream's own rate: one sample of every channel.
struct Frames {
    std::int64_t count = 0;
    constexpr Frames() = default;
    constexpr explicit Frames(std::int64_t frames) : count(frames) {}
    constexpr auto operator<=>(const Frames&) const = default;
};

struct Hz {
    int value = 0;
    constexpr Hz() = default;
    constexpr explicit Hz(int hz) : value(hz) {}
    constexpr auto operator<=>(const Hz&) const = default;
};

// 16-bit samples, `channels` to a frame.
struct PcmLayout {
    int channels = 2;
    constexpr std::int64_t bytesPerFrame() const { return std::int64_t(channels) * 2; }
};

// Whole frames in a byte position (a part-frame rounds down, as the library positions do).
constexpr Frames framesIn(BytePosition bytes, PcmLayout layout) {
    return Frames(std::int64_t(bytes / BytePosition(layout.bytesPerFrame())));
}
constexpr BytePosition bytesOf(Frames frames, PcmLayout layout) {
    return BytePosition(frames.count * layout.bytesPerFrame());
}
constexpr double secondsOf(Frames frames, Hz rate) {
    return rate.value > 0 ? double(frames.count) / rate.value : 0.0;
}

// The low 32 bits of a byte position, which is what the deck procedures keep: a song past
// 4 GiB of PCM (6.7 hours of 44.1 kHz stereo) wraps there, as they always have.
constexpr std::uint32_t low32(BytePosition bytes) {
    return std::uint32_t(bytes & 0xFFFFFFFFu);
}

}  // namespace kelvra::audio
