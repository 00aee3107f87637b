// Layer III files decoded from memory over their own frame index, so lengths and seeks are exact
// to the sample and the encoder's delay and padding never reach the output.
#pragma once

#include <memory>
#include <vector>

#include "audio/Decoder.h"

namespace kelvra::audio::decode {

// Takes the whole file's bytes. Null when they are not a Layer III stream this decoder can play;
// the caller then tries the general path.
std::unique_ptr<Decoder> openMp3(std::vector<std::uint8_t> file);

}  // namespace kelvra::audio::decode
