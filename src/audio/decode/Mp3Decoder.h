// MPEG audio files (MP3, and MP2/MP1 alike) decoded from memory over their own frame index, so
// lengths and seeks are exact to the sample and the encoder's delay and padding never reach the
// output.
#pragma once

#include <memory>

#include "audio/Decoder.h"
#include "audio/decode/FileBytes.h"

namespace kelvra::audio::decode {

// Takes the whole file's bytes, mapped. Null when they are not an MPEG audio stream this decoder
// can play; the caller then tries the general path. Pages indexed or decoded are given back as
// the decoder moves on, so its memory follows the frames in use rather than the file's size.
std::unique_ptr<Decoder> openMp3(FileMapping file);

}  // namespace kelvra::audio::decode
