// A song as a scan would store it, for tests that fill a library by hand: a file of 1000 bytes
// whose fingerprint is its path, 4:05 long.
#pragma once

#include <QString>
#include <optional>

#include "library/Library.h"

namespace kelvra::test {

inline library::SongFacts songFacts(const QString& path, const QString& artist,
                                    const QString& title, std::optional<double> bpm = {},
                                    int key = -1, const QString& genre = {}) {
    library::SongFacts song;
    song.path = path;
    song.size = 1000;
    song.mtime = 1;
    song.fingerprint = path.toUtf8();
    song.artist = artist;
    song.title = title;
    song.genre = genre;
    song.bpm = bpm;
    song.key = key;
    song.seconds = 245;
    return song;
}

}  // namespace kelvra::test
