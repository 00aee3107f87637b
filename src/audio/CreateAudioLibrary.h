// The real audio library: FFmpeg decoding, and an output chosen by the environment:
// KELVRA_AUDIO=null plays into a silent output at real-time pace (tests, CI, machines without
// sound); otherwise PortAudio.
#pragma once

#include <memory>

#include "audio/AudioLibrary.h"

namespace kelvra::audio {

std::unique_ptr<AudioLibrary> createAudioLibrary();

}  // namespace kelvra::audio
