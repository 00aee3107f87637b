// MPEG audio files (MP3, and MP2/MP1 alike) decoded from memory over their own frame index, so
// lengths and seeks are exact to the sample and the encoder's delay and padding never reach the
// output.
#pragma once

#include <memory>

#include "audio/Decoder.h"
#include "audio/decode/HugeBuffer.h"

namespace kelvra::audio::decode {

// Takes the whole file's bytes. Null when they are not an MPEG audio stream this decoder can play;
// the caller then tries the general path.
std::unique_ptr<Decoder> openMp3(HugeBuffer file);

}  // namespace kelvra::audio::decode
