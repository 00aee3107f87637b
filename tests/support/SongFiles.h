// Song files for the library's tests, written byte by byte: an ID3v2.3 tag with the frames asked
// for, then a body of bytes standing in for the audio (the scan reads tags, never the audio), and
// optionally an ID3v1 block at the end.
#pragma once

#include <QByteArray>
#include <QString>
#include <utility>
#include <vector>

namespace kelvra::test {

struct Frame {
    QByteArray id;    // "TIT2", "TPE1", ...
    QByteArray body;  // the frame's body as stored: encoding byte first for text frames
};

// A text frame's body in UTF-16 with a byte order mark (ID3v2.3's encoding 1).
QByteArray utf16Text(const QString& text);
// A COMM frame's body: UTF-16, language "eng", empty description, then `text`.
QByteArray commentText(const QString& text);

QByteArray id3v2Tag(const std::vector<Frame>& frames);
// The 128-byte block: title, artist, album, year, comment, genre byte.
QByteArray id3v1Block(const QByteArray& title, const QByteArray& artist, const QByteArray& album,
                      const QByteArray& comment, unsigned char genre);

// Writes `tag`, then `bodyBytes` bytes of a pattern seeded by `seed` (so files of the same size
// differ), then `tail`. False on I/O failure.
bool writeSongFile(const QString& path, const QByteArray& tag, int bodyBytes, int seed,
                   const QByteArray& tail = {});

// An MP3 whose ID3v2 tag says artist, title, album and genre.
bool writeTaggedMp3(const QString& path, const QString& artist, const QString& title,
                    const QString& album = {}, const QString& genre = {}, int seed = 0);

}  // namespace kelvra::test
