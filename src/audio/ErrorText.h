// The texts of the audio library's error codes, as the user sees them after a failure.
// Threads: any; pure function.
#pragma once

#include <string>

namespace kelvra::audio {

// The fixed text of `code`; codes without a text (28, 30, 36 and every unlisted code) give "".
std::string errorText(int code);

}  // namespace kelvra::audio
