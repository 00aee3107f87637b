// The texts shown for the audio library's error codes.
#pragma once

#include <QString>

namespace kelvra::audio {

// The fixed text of an error code; codes without a text (28, 30, 36 and any code not in the
// table) give the empty text.
QString errorText(int code);

// Which file could not be opened and why, for the end of an error message: the path shown as a
// person reads it, then the reason (missing, a folder, not a file, not allowed, empty, no audio
// Kelvra can play, or the library's own text for `code`).
QString openFailureDetail(const QString& path, int code);
// The reason alone, as a sentence; `problem` (what the opener found wrong with the file, when it
// knows more than the code says) is the reason for a file that exists and is readable.
QString openFailureReason(const QString& path, int code, const QString& problem = {});

}  // namespace kelvra::audio
