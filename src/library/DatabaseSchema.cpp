// The database's schema: each version's step, and the steps run from a database's version up to
// date, one transaction each.
#include <sqlite3.h>

#include <iterator>

#include "library/Database.h"
#include "library/DatabaseInternal.h"
#include "library/TextInitials.h"

namespace kelvra::library {
namespace {

// Each step takes the schema from the version before it to its own; a database is brought up
// to date by running the steps it has not had, each in one transaction.
constexpr const char* kMigrations[] = {
    // 1: songs by path, their hot cues.
    "CREATE TABLE songs (id INTEGER PRIMARY KEY, path BLOB NOT NULL UNIQUE,"
    " added INTEGER NOT NULL);"
    "CREATE TABLE hot_cues (song INTEGER NOT NULL REFERENCES songs(id) ON DELETE CASCADE,"
    " slot INTEGER NOT NULL CHECK (slot BETWEEN 0 AND 7), position INTEGER NOT NULL,"
    " PRIMARY KEY (song, slot)) WITHOUT ROWID;",
    // 2: each song's saved loop.
    "CREATE TABLE loops (song INTEGER PRIMARY KEY REFERENCES songs(id) ON DELETE CASCADE,"
    " loop_in INTEGER NOT NULL CHECK (loop_in >= 0),"
    " loop_out INTEGER NOT NULL CHECK (loop_out > loop_in));",
    // 3: the library. A song row learns its file (size and modification time tell an unchanged
    // file without reading it; the fingerprint finds it again after a move), its tags and what
    // the analysis found. Rows that existed before keep their ids, so cues and loops stay theirs;
    // their new columns are empty until the next scan fills them.
    //
    // The text index is an external-content FTS5 table over the songs' own columns: the text is
    // stored once, in songs, and the index holds only tokens, kept in step by the triggers below
    // (which have the old values a delete needs). A contentless index would save nothing more
    // and could not be rebuilt from the rows. unicode61 with diacritics removed folds case and
    // accents alike on both sides of a match; the prefix indexes make the first letters typed
    // into a search as cheap as whole words.
    "ALTER TABLE songs ADD COLUMN size INTEGER;"
    "ALTER TABLE songs ADD COLUMN mtime INTEGER;"
    "ALTER TABLE songs ADD COLUMN fingerprint BLOB;"
    "ALTER TABLE songs ADD COLUMN artist TEXT NOT NULL DEFAULT '';"
    "ALTER TABLE songs ADD COLUMN title TEXT NOT NULL DEFAULT '';"
    "ALTER TABLE songs ADD COLUMN album TEXT NOT NULL DEFAULT '';"
    "ALTER TABLE songs ADD COLUMN genre TEXT NOT NULL DEFAULT '';"
    "ALTER TABLE songs ADD COLUMN comment TEXT NOT NULL DEFAULT '';"
    "ALTER TABLE songs ADD COLUMN seconds REAL NOT NULL DEFAULT 0;"
    "ALTER TABLE songs ADD COLUMN bpm REAL;"
    "ALTER TABLE songs ADD COLUMN first_beat REAL;"
    "ALTER TABLE songs ADD COLUMN musical_key INTEGER NOT NULL DEFAULT -1"
    " CHECK (musical_key BETWEEN -1 AND 23);"
    "ALTER TABLE songs ADD COLUMN loudness REAL;"
    "ALTER TABLE songs ADD COLUMN rating INTEGER NOT NULL DEFAULT 0 CHECK (rating BETWEEN 0 AND 5);"
    "ALTER TABLE songs ADD COLUMN colour INTEGER;"
    "ALTER TABLE songs ADD COLUMN play_count INTEGER NOT NULL DEFAULT 0;"
    "ALTER TABLE songs ADD COLUMN last_played INTEGER;"
    "CREATE INDEX songs_by_fingerprint ON songs(fingerprint);"
    "CREATE INDEX songs_by_bpm ON songs(bpm);"
    "CREATE VIRTUAL TABLE song_text USING fts5(artist, title, album, genre, comment,"
    " content='songs', content_rowid='id', tokenize='unicode61 remove_diacritics 2',"
    " prefix='1 2 3');"
    "CREATE TRIGGER song_text_insert AFTER INSERT ON songs BEGIN"
    " INSERT INTO song_text (rowid, artist, title, album, genre, comment)"
    " VALUES (new.id, new.artist, new.title, new.album, new.genre, new.comment); END;"
    "CREATE TRIGGER song_text_delete AFTER DELETE ON songs BEGIN"
    " INSERT INTO song_text (song_text, rowid, artist, title, album, genre, comment)"
    " VALUES ('delete', old.id, old.artist, old.title, old.album, old.genre, old.comment); END;"
    // A rescan rewrites the texts of every changed file; unchanged texts leave the index alone.
    "CREATE TRIGGER song_text_update AFTER UPDATE OF artist, title, album, genre, comment ON songs"
    " WHEN old.artist IS NOT new.artist OR old.title IS NOT new.title"
    " OR old.album IS NOT new.album OR old.genre IS NOT new.genre"
    " OR old.comment IS NOT new.comment BEGIN"
    " INSERT INTO song_text (song_text, rowid, artist, title, album, genre, comment)"
    " VALUES ('delete', old.id, old.artist, old.title, old.album, old.genre, old.comment);"
    " INSERT INTO song_text (rowid, artist, title, album, genre, comment)"
    " VALUES (new.id, new.artist, new.title, new.album, new.genre, new.comment); END;"
    "INSERT INTO song_text (song_text) VALUES ('rebuild');"
    "CREATE TABLE crates (id INTEGER PRIMARY KEY, name TEXT NOT NULL UNIQUE);"
    "CREATE TABLE crate_songs (crate INTEGER NOT NULL REFERENCES crates(id) ON DELETE CASCADE,"
    " song INTEGER NOT NULL REFERENCES songs(id) ON DELETE CASCADE,"
    " PRIMARY KEY (crate, song)) WITHOUT ROWID;"
    "CREATE INDEX crate_songs_by_song ON crate_songs(song);"
    // Each time a song was heard in a set, in seconds since the epoch.
    "CREATE TABLE history (id INTEGER PRIMARY KEY,"
    " song INTEGER NOT NULL REFERENCES songs(id) ON DELETE CASCADE, heard INTEGER NOT NULL);"
    "CREATE INDEX history_by_time ON history(heard);"
    "CREATE INDEX history_by_song ON history(song);",
    // 4: songs in the order the library lists them, so a search that matches most of them reads
    // its first page in order instead of sorting every match; and the time a song's file was
    // found gone (NULL while it is there), so a file that went away keeps its row, cues and
    // history until it turns up again, moved or put back.
    ("CREATE INDEX songs_by_name ON songs(artist COLLATE NOCASE, title COLLATE NOCASE, path);"
     "ALTER TABLE songs ADD COLUMN missing_since INTEGER;"),
    // 5: the folders the library keeps up to date while the program runs, by their paths' bytes
    // like the songs.
    "CREATE TABLE watched_folders (path BLOB PRIMARY KEY) WITHOUT ROWID;",
    // 6: the first letters of each song's words (TextInitials.h), kept by triggers like the text
    // index, so a search for one letter lists its page in order without reading the index; and
    // the orders a search walks hold only the songs it lists (those not missing) and their
    // initials, so a walk tests the matched ids or the letter in the index alone, reading no
    // song it passes over. The titles get an order of their own, for a list sorted by title, and
    // the keys one for the compatible filter.
    ("ALTER TABLE songs ADD COLUMN initials INTEGER NOT NULL DEFAULT 0;"
     "UPDATE songs SET initials = text_initials(artist, title, album, genre, comment);"
     "DROP INDEX songs_by_name;"
     "CREATE INDEX songs_by_name ON songs(artist COLLATE NOCASE, title COLLATE NOCASE, path,"
     " initials) WHERE missing_since IS NULL;"
     "DROP INDEX songs_by_bpm;"
     "CREATE INDEX songs_by_bpm ON songs(bpm, initials) WHERE missing_since IS NULL;"
     "CREATE INDEX songs_by_title ON songs(title COLLATE NOCASE, artist COLLATE NOCASE, path,"
     " initials) WHERE missing_since IS NULL;"
     "CREATE INDEX songs_by_key ON songs(musical_key) WHERE missing_since IS NULL;"
     // A row made bare (a cue set on a song not yet scanned) gets its texts later: only texts
     // written are read.
     "CREATE TRIGGER song_initials_insert AFTER INSERT ON songs"
     " WHEN new.artist <> '' OR new.title <> '' OR new.album <> '' OR new.genre <> ''"
     " OR new.comment <> '' BEGIN"
     " UPDATE songs SET initials = text_initials(new.artist, new.title, new.album, new.genre,"
     " new.comment) WHERE id = new.id; END;"
     "CREATE TRIGGER song_initials_update AFTER UPDATE OF artist, title, album, genre, comment"
     " ON songs WHEN old.artist IS NOT new.artist OR old.title IS NOT new.title"
     " OR old.album IS NOT new.album OR old.genre IS NOT new.genre"
     " OR old.comment IS NOT new.comment BEGIN"
     " UPDATE songs SET initials = text_initials(new.artist, new.title, new.album, new.genre,"
     " new.comment) WHERE id = new.id; END;"),
    // 7: a second text index, of every three letters in a row, so a fragment typed finds the
    // words it is inside ("amura" finds "Nakamura"), which the word index cannot. It indexes the
    // texts as the word index reads them (text_fold: its words, folded, a space apart), so case
    // and accents fold alike in both and every word-start match is one of its matches too. Its
    // content is a view of the songs, so the texts are still stored once and the index can be
    // rebuilt and checked from the rows; the triggers hand it the old folded values a delete
    // needs. Built once here, from the rows as they are.
    ("CREATE VIEW song_folded AS SELECT id, text_fold(artist) AS artist,"
     " text_fold(title) AS title, text_fold(album) AS album, text_fold(genre) AS genre,"
     " text_fold(comment) AS comment FROM songs;"
     "CREATE VIRTUAL TABLE song_inside USING fts5(artist, title, album, genre, comment,"
     " content='song_folded', content_rowid='id', columnsize=0, tokenize='trigram');"
     "CREATE TRIGGER song_inside_insert AFTER INSERT ON songs BEGIN"
     " INSERT INTO song_inside (rowid, artist, title, album, genre, comment)"
     " VALUES (new.id, text_fold(new.artist), text_fold(new.title), text_fold(new.album),"
     " text_fold(new.genre), text_fold(new.comment)); END;"
     "CREATE TRIGGER song_inside_delete AFTER DELETE ON songs BEGIN"
     " INSERT INTO song_inside (song_inside, rowid, artist, title, album, genre, comment)"
     " VALUES ('delete', old.id, text_fold(old.artist), text_fold(old.title),"
     " text_fold(old.album), text_fold(old.genre), text_fold(old.comment)); END;"
     "CREATE TRIGGER song_inside_update AFTER UPDATE OF artist, title, album, genre, comment"
     " ON songs WHEN old.artist IS NOT new.artist OR old.title IS NOT new.title"
     " OR old.album IS NOT new.album OR old.genre IS NOT new.genre"
     " OR old.comment IS NOT new.comment BEGIN"
     " INSERT INTO song_inside (song_inside, rowid, artist, title, album, genre, comment)"
     " VALUES ('delete', old.id, text_fold(old.artist), text_fold(old.title),"
     " text_fold(old.album), text_fold(old.genre), text_fold(old.comment));"
     " INSERT INTO song_inside (rowid, artist, title, album, genre, comment)"
     " VALUES (new.id, text_fold(new.artist), text_fold(new.title), text_fold(new.album),"
     " text_fold(new.genre), text_fold(new.comment)); END;"
     "INSERT INTO song_inside (song_inside) VALUES ('rebuild');"),
    // 8: the modification time a song's file had when its analysis found no steady beat or
    // could not read it (NULL otherwise), so the library's analysis does not try it again at
    // every start, yet does once the file changes; and the scanned songs it has still to look at
    // in an order of their own, so a library analysed long ago finds there is nothing to do
    // without reading its rows.
    ("ALTER TABLE songs ADD COLUMN analysis_failed INTEGER;"
     "CREATE INDEX songs_to_analyse ON songs(id) WHERE bpm IS NULL AND missing_since IS NULL"
     " AND size IS NOT NULL AND analysis_failed IS NOT mtime;"),
};
static_assert(std::size(kMigrations) == kSchemaVersion);

}  // namespace

// The steps from the database's version up to `target`. A failed step is rolled back, and what
// went wrong is kept in `trouble` and `why` first (the rollback's own success would hide it).
bool migrateSteps(sqlite3* db, int target, Trouble& trouble, QString& why) {
    const auto failed = [&] {
        trouble = troubleOf(db);
        why = errorText(db);
        sqlite3_exec(db, "ROLLBACK", nullptr, nullptr, nullptr);
        return false;
    };
    if (target > kSchemaVersion || !addTextInitials(db)) {
        trouble = Trouble::Other;
        why = QStringLiteral("this SQLite has no full-text search");
        return false;
    }
    // The version is read inside the step's own write transaction: two programs opening a new
    // database at once would otherwise both see it empty, and the second would run a step the
    // first had already made.
    for (;;) {
        if (!execute(db, "BEGIN IMMEDIATE")) return failed();
        const int version = firstInteger(db, "PRAGMA user_version");
        if (version < 0) return failed();
        if (version >= target) return execute(db, "COMMIT") || failed();
        const QByteArray sql = QByteArray(kMigrations[version]) +
                               QByteArray("PRAGMA application_id=") +
                               QByteArray::number(kApplicationId) +
                               ";PRAGMA user_version=" + QByteArray::number(version + 1) + ";";
        if (!execute(db, sql.constData()) || !execute(db, "COMMIT")) return failed();
    }
}

bool migrateTo(sqlite3* db, int target) {
    Trouble trouble = Trouble::None;
    QString why;
    return migrateSteps(db, target, trouble, why);
}

}  // namespace kelvra::library
