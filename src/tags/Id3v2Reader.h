// Reading the ID3v2 tag at the start of a file into twelve text slots. Versions 2.2, 2.3 and 2.4
// are read into the same slots; text in UTF-16 or UTF-8 is decoded, single-byte text is kept a
// character per byte. Any thread; each call works on the slots it is given.
#pragma once

#include <QString>
#include <cstdint>
#include <string_view>

namespace kelvra::tags {

// The slots a read fills. Each holds its frame's body as text: the encoding byte that opens a
// text frame (and, for the comment, the language and the description) stays in front of the
// text as the frame stores it, so users clean the slot with cleanTagText before showing it.
struct ID3v2Slots {
    QString title;           // TIT2
    QString artist;          // TPE1
    QString album;           // TALB
    QString comment;         // COMM
    QString year;            // TYER (TDRC in version 2.4)
    QString genre;           // TCON
    QString composer;        // TCOM
    QString originalArtist;  // TOPE
    QString copyright;       // TCOP
    QString url;             // WXXX
    QString encodedBy;       // TENC
    QString track;           // TRCK
    // The tag's size in bytes as its header states it, the 10 header bytes included; 1 until a
    // header has been read.
    double tagSize = 1;

    void clearTexts();
};

// True when `head` (a file's first bytes) starts with "ID3"; then sets tagSize from the
// header's size bytes (bytes the file lacks count as 0). Otherwise tagSize becomes 1.
bool parseID3v2Header(std::string_view head, ID3v2Slots& id3v2);

// Walks the frames of the tag at the start of `file`, whose first `file.size()` bytes are given
// of a file of `fileSize` bytes, and fills the slots (after clearing them). Returns 0 when done,
// or the number of leading bytes of the file it needs to finish when `file` is too short; the
// caller then reads that many and walks again. The walk never reads past `file`, stops at
// padding, at a frame reaching past the end of the file or past the tag, and always ends.
std::uint64_t walkID3v2Frames(std::string_view file, std::uint64_t fileSize, ID3v2Slots& id3v2);

// File-level calls, in this order: readID3v2Header; when it is true, readID3v2Frames; then read
// the slots. readID3v2Frames always answers false.
bool readID3v2Header(const QString& path, ID3v2Slots& id3v2);
bool readID3v2Frames(const QString& path, ID3v2Slots& id3v2);

}  // namespace kelvra::tags
