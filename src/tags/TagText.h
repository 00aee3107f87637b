// Text helpers shared by every tag reader and writer: the single-byte code page that tag bytes
// are read in, and the cleaning the displays apply. Pure functions; any thread.
#pragma once

#include <QString>
#include <string>
#include <string_view>

namespace kelvra::tags {

// Decodes single-byte tag text: bytes 0x80-0x9F through Windows-1252 (where it defines them),
// every other byte as Latin-1. Each byte gives exactly one character, NULs included.
QString decodeSingleByte(std::string_view bytes);

// The reverse, one byte per character; a character the code page lacks becomes '?'.
std::string encodeSingleByte(const QString& text);

// Removes leading and trailing spaces (only spaces: tabs and NULs stay).
QString trimSpaces(const QString& text);
// Removes leading spaces only.
QString trimLeadingSpaces(const QString& text);

// Drops every character whose code is 31 or less, then trims spaces.
QString cleanTagText(const QString& text);

// The deck display's own name for the same cleaning.
inline QString removeNulls(const QString& text) {
    return cleanTagText(text);
}

// Reads a NUL-terminated single-byte text from a tag block handed out by the audio library:
// the bytes up to the first NUL (all of `bytes` when there is none), decoded as above. An empty
// block gives an empty text.
QString ansiPointerToText(std::string_view bytes);

// The last component of a path ("/" separates folders); the whole path when it has none.
QString fileNameOfPath(const QString& path);

}  // namespace kelvra::tags
