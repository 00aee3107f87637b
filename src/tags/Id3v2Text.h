// Turning the body of an ID3v2 frame into slot text. Pure; any thread.
#pragma once

#include <QString>
#include <string_view>

namespace kelvra::tags {

// A body whose first byte names a single-byte encoding (0), or any frame that is not text, is
// read a character per byte, the encoding byte included. Text (T...), comment (COMM/COM) and
// user link (WXXX/WXX) frames in UTF-16 with byte-order mark (1), UTF-16BE (2) or UTF-8 (3) are
// decoded; their encoding byte stays as the first character and their NUL terminators as NUL
// characters, so cleaning the result gives the same shape as for single-byte text.
QString decodeFrameBody(std::string_view id, std::string_view body);

}  // namespace kelvra::tags
