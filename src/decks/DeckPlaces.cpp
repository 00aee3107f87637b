#include "decks/DeckPlaces.h"

namespace kelvra::decks {

using namespace audio;

Frames framesAt(EngineDoor& door, StreamId stream, std::uint32_t bytes) {
    const auto format = door.format(stream);
    return format ? framesIn(BytePosition{bytes}, format->layout()) : Frames(0);
}

std::uint32_t bytePosition(EngineDoor& door, StreamId stream) {
    const auto format = door.format(stream);
    return format ? low32(bytesOf(door.position(stream), format->layout())) : 0;
}

double secondsAt(EngineDoor& door, StreamId stream, std::uint32_t bytes) {
    const auto format = door.format(stream);
    return format ? songSeconds(*format, framesIn(BytePosition{bytes}, format->layout())) : 0.0;
}

double bytesPerSecond(EngineDoor& door, StreamId stream) {
    constexpr std::uint32_t kProbe = 1u << 20;
    const double seconds = secondsAt(door, stream, kProbe);
    return seconds > 0 ? kProbe / seconds : 0;
}

bool seekTo(EngineDoor& door, StreamId stream, std::uint32_t bytes) {
    const auto format = door.format(stream);
    if (!format || !door.seek(stream, framesIn(BytePosition{bytes}, format->layout())))
        return false;
    door.prepare(stream);
    return true;
}

}  // namespace kelvra::decks
