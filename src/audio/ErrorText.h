// The texts shown for the audio library's error codes.
#pragma once

#include <QString>

namespace kelvra::audio {

// The fixed text of an error code; codes without a text (28, 30, 36 and any code not in the
// table) give the empty text.
QString errorText(int code);

}  // namespace kelvra::audio
