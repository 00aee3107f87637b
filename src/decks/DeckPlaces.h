// A deck keeps its places as the contract's byte positions: the cue points, the song length,
// and the hot cues and loops the song store remembers. These turn them into the door's frames
// and back at the stream's own layout, rounding as the contract does, so a unit on the door
// lands exactly where the byte procedures land. Thread: UI thread only.
#pragma once

#include <cstdint>

#include "audio/EngineDoor.h"

namespace kelvra::decks {

// The frames at byte position `bytes` (a part-frame rounds down); none without a stream.
audio::Frames framesAt(audio::EngineDoor& door, audio::StreamId stream, std::uint32_t bytes);
// Where the stream is heard now, as a byte position (its low 32 bits, as the deck keeps them).
std::uint32_t bytePosition(audio::EngineDoor& door, audio::StreamId stream);
// Song seconds of byte position `bytes`, in the contract's single precision; 0 without a stream.
double secondsAt(audio::EngineDoor& door, audio::StreamId stream, std::uint32_t bytes);
// Decoded bytes per second of the stream, 0 when it has none. Taken, as it always was, from the
// single-precision seconds of a large probe, so places computed from it do not move.
double bytesPerSecond(audio::EngineDoor& door, audio::StreamId stream);
// Moves the stream to byte position `bytes` and wakes its decoding for the new place.
bool seekTo(audio::EngineDoor& door, audio::StreamId stream, std::uint32_t bytes);

}  // namespace kelvra::decks
