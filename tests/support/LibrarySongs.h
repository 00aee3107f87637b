// A song as a scan would store it, for tests that fill a library by hand: a file of 1000 bytes
// whose fingerprint is its path, 4:05 long; and a database damaged as a failing disk leaves it.
#pragma once

#include <gtest/gtest.h>

#include <QFile>
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

// Garbage over pages in the middle of a closed database, as a failing disk leaves it.
inline void damage(const QString& path) {
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::ReadWrite));
    const qint64 pages = file.size() / 4096;
    ASSERT_GT(pages, 20);
    // A third of it: the songs' own pages among them, whatever the order of the file.
    file.seek(pages / 3 * 4096);
    file.write(QByteArray(int(pages / 3) * 4096, char(0xA5)));
}

}  // namespace kelvra::test
