// The real audio library: FFmpeg decoding, and an output chosen by the environment:
// KELVRA_AUDIO=null plays into a silent output at real-time pace (tests, CI, machines without
// sound); otherwise PortAudio.
#pragma once

#include <memory>

#include "audio/LibraryOverDoor.h"

namespace kelvra::audio {

// The engine, as the contract over its door (door() reaches the door itself).
std::unique_ptr<LibraryOverDoor> createAudioLibrary();

}  // namespace kelvra::audio
