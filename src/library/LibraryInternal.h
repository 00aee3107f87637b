// What the library's own files share: the columns a song's row is read with and how it is read,
// a folder's stored form, the record of copies a scan has checked, and the SQL function a search
// lists its matches by. Private to the library. Thread: as Library's.
#pragma once

#include <sqlite3.h>

#include <QByteArray>
#include <QHash>
#include <QString>
#include <cstdint>

#include "library/Database.h"
#include "library/Library.h"

namespace kelvra::library {

inline constexpr const char* kSongColumns =
    "id, path, artist, title, album, genre, comment, seconds, bpm, first_beat, loudness,"
    " musical_key, rating, colour, play_count, last_played, missing_since";

// A song as the library holds it, from a row read with kSongColumns.
SongRow songOf(const Statement& row);

// A folder as the library keeps it: the bytes of its absolute, clean path.
QByteArray folderBytes(const QString& folder);

// matched(ids, id): whether the song is among the ids a text match found.
void matchedFunction(sqlite3_context* context, int, sqlite3_value** values);

// By fingerprint, the highest row id up to which every row of that print was found there, in the
// scan numbered `scan`.
struct Library::CheckedCopies {
    std::uint64_t scan = 0;
    QHash<QByteArray, std::int64_t> upTo;
};

}  // namespace kelvra::library
