#include "library/Library.h"

#include <sqlite3.h>
#include <sys/stat.h>

#include <QDateTime>
#include <QDir>
#include <algorithm>
#include <cmath>
#include <iterator>

#include "core/PathBytes.h"
#include "library/Database.h"
#include "library/SearchQuery.h"

namespace kelvra::library {
namespace {

constexpr const char* kSongColumns =
    "id, path, artist, title, album, genre, comment, seconds, bpm, first_beat, loudness,"
    " musical_key, rating, colour, play_count, last_played, missing_since";

SongRow songOf(const Statement& row) {
    SongRow song;
    song.id = row.integer(0);
    song.path = pathFromBytes(row.blob(1));
    song.artist = row.text(2);
    song.title = row.text(3);
    song.album = row.text(4);
    song.genre = row.text(5);
    song.comment = row.text(6);
    song.seconds = row.real(7);
    song.bpm = row.optionalReal(8);
    song.firstBeat = row.optionalReal(9);
    song.loudness = row.optionalReal(10);
    song.key = int(row.integer(11));
    song.rating = int(row.integer(12));
    if (!row.isNull(13)) song.colour = row.integer(13);
    song.playCount = row.integer(14);
    if (!row.isNull(15)) song.lastPlayed = row.integer(15);
    if (!row.isNull(16)) song.missingSince = row.integer(16);
    return song;
}

// The songs by one column, then by name, so equal values keep a stable, readable order. The
// default (artist, ascending) is the name index's own order.
QByteArray orderBy(SongColumn column, bool descending) {
    static constexpr const char* kColumns[] = {"artist COLLATE NOCASE",
                                               "title COLLATE NOCASE",
                                               "album COLLATE NOCASE",
                                               "genre COLLATE NOCASE",
                                               "bpm",
                                               "musical_key",
                                               "seconds",
                                               "rating",
                                               "play_count",
                                               "last_played",
                                               "comment COLLATE NOCASE",
                                               "path"};
    static_assert(std::size(kColumns) == std::size_t(SongColumn::Count));
    const auto index = std::size_t(column) < std::size(kColumns) ? std::size_t(column) : 0;
    const QByteArray rest = "artist COLLATE NOCASE, title COLLATE NOCASE, path";
    if (index == 0 && !descending) return rest;
    return QByteArray(kColumns[index]) + (descending ? " DESC, " : ", ") + rest;
}

QByteArray folderBytes(const QString& folder) {
    return pathToBytes(QDir::cleanPath(QDir(folder).absolutePath()));
}

// The songs a text match found, by id, for the matched() function below: a bit for each id up to
// the highest when the ids are dense enough for that to be small, the sorted ids otherwise. The
// memory is bounded by the matches, never by an id a damaged or forged row may hold.
constexpr const char* kMatchesType = "kelvra_matches";

class MatchedIds {
  public:
    MatchedIds() = default;
    MatchedIds(std::vector<std::int64_t> ids, std::int64_t highest) {
        // Sixty-four bits an id weigh what one id kept as a number does.
        const double densest = 64.0 * double(ids.size()) + 65536.0;
        if (highest >= 0 && double(highest) < densest) {
            bits_.resize(std::size_t(highest) + 1);
            for (const std::int64_t id : ids)
                if (id >= 0 && id <= highest) bits_[std::size_t(id)] = true;
        } else {
            std::sort(ids.begin(), ids.end());
            sorted_ = std::move(ids);
        }
    }
    bool contains(std::int64_t id) const {
        if (!bits_.empty())
            return id >= 0 && std::size_t(id) < bits_.size() && bits_[std::size_t(id)];
        return std::binary_search(sorted_.begin(), sorted_.end(), id);
    }

  private:
    std::vector<bool> bits_;
    std::vector<std::int64_t> sorted_;
};

// matched(ids, id): whether the song is among the ids a text match found.
void matchedFunction(sqlite3_context* context, int, sqlite3_value** values) {
    const auto* ids =
        static_cast<const MatchedIds*>(sqlite3_value_pointer(values[0], kMatchesType));
    sqlite3_result_int(context, ids && ids->contains(sqlite3_value_int64(values[1])));
}

}  // namespace

// By fingerprint, the highest row id up to which every row of that print was found there, in the
// scan numbered `scan`.
struct Library::CheckedCopies {
    std::uint64_t scan = 0;
    QHash<QByteArray, std::int64_t> upTo;
};

namespace {

bool pathExists(const QByteArray& path) {
    struct stat info {};
    return ::lstat(path.constData(), &info) == 0;
}

// A scan writes every new or changed file with these: kept compiled by the writer's cache.
// The scanned facts are bound by the same names in both; musical_key -1 is "not known".
constexpr const char* kUpdateSong =
    "UPDATE songs SET path = :path, size = :size, mtime = :mtime, fingerprint = :fingerprint,"
    " artist = :artist, title = :title, album = :album, genre = :genre, comment = :comment,"
    " seconds = :seconds, bpm = coalesce(:bpm, bpm),"
    " first_beat = coalesce(:firstBeat, first_beat), loudness = coalesce(:loudness, loudness),"
    " musical_key = CASE WHEN :key >= 0 THEN :key ELSE musical_key END,"
    " missing_since = NULL WHERE id = :id";
// A new file's row in one write: its texts reach the index once, not blank first.
constexpr const char* kInsertSong =
    "INSERT INTO songs (added, path, size, mtime, fingerprint, artist, title, album, genre,"
    " comment, seconds, bpm, first_beat, loudness, musical_key) VALUES (:added, :path, :size,"
    " :mtime, :fingerprint, :artist, :title, :album, :genre, :comment, :seconds, :bpm,"
    " :firstBeat, :loudness, max(:key, -1))";
constexpr const char* kSongByPath = "SELECT id FROM songs WHERE path = :path";
constexpr const char* kSongsByFingerprint =
    "SELECT id, path FROM songs WHERE fingerprint = :fingerprint AND id > :after"
    " ORDER BY id";

void bindFacts(Statement& statement, const QByteArray& path, const SongFacts& facts) {
    statement.bind(":path", path);
    statement.bind(":size", facts.size);
    statement.bind(":mtime", facts.mtime);
    statement.bind(":fingerprint", facts.fingerprint);
    statement.bindText(":artist", facts.artist);
    statement.bindText(":title", facts.title);
    statement.bindText(":album", facts.album);
    statement.bindText(":genre", facts.genre);
    statement.bindText(":comment", facts.comment);
    statement.bind(":seconds", facts.seconds);
    statement.bind(":bpm", facts.bpm);
    statement.bind(":firstBeat", facts.firstBeat);
    statement.bind(":loudness", facts.loudness);
    statement.bind(":key", std::int64_t(facts.key));
}

// Writes the scanned facts into row `id`, its path too (a moved file's new one).
bool updateSong(StatementCache& cache, std::int64_t id, const QByteArray& path,
                const SongFacts& facts) {
    Statement update(cache, kUpdateSong);
    update.bind(":id", id);
    bindFacts(update, path, facts);
    return update.step() == SQLITE_DONE;
}

bool storeFacts(StatementCache& cache, QHash<QByteArray, std::int64_t>& checked,
                const SongFacts& facts, Stored* outcome) {
    const QByteArray path = pathToBytes(facts.path);
    {
        Statement known(cache, kSongByPath);
        known.bind(":path", path);
        if (const int step = known.step(); step == SQLITE_ROW) {
            if (outcome) *outcome = Stored::Updated;
            return updateSong(cache, known.integer(0), path, facts);
        } else if (step != SQLITE_DONE) {
            return false;
        }
    }
    // A file the library knows under a path that is gone is the same file moved: it keeps its
    // row, and with it its cues, loops, crates and history. A copy (both paths there) is new.
    // Rows already found there in this scan are not looked at again: copies of one file (or
    // empty files, which all print alike) would otherwise make a scan quadratic in them.
    std::int64_t* seenUpTo = nullptr;
    if (!facts.fingerprint.isEmpty()) {
        seenUpTo = &checked[facts.fingerprint];
        Statement same(cache, kSongsByFingerprint);
        same.bind(":fingerprint", facts.fingerprint);
        same.bind(":after", *seenUpTo);
        int step;
        while ((step = same.step()) == SQLITE_ROW) {
            if (pathExists(same.blob(1))) {
                *seenUpTo = same.integer(0);
                continue;
            }
            if (outcome) *outcome = Stored::Moved;
            return updateSong(cache, same.integer(0), path, facts);
        }
        if (step != SQLITE_DONE) return false;
    }
    Statement insert(cache, kInsertSong);
    insert.bind(":added", std::int64_t(QDateTime::currentSecsSinceEpoch()));
    bindFacts(insert, path, facts);
    if (insert.step() != SQLITE_DONE) return false;
    if (seenUpTo) *seenUpTo = sqlite3_last_insert_rowid(cache.connection());
    if (outcome) *outcome = Stored::Added;
    return true;
}

}  // namespace

Library::Library(const QString& path, Access access)
    : path_(path), checkedCopies_(std::make_shared<CheckedCopies>()) {
    reader_ = openDatabase(path, notice_, access);
    if (reader_) {
        sqlite3_create_function_v2(reader_, "matched", 2, SQLITE_UTF8 | SQLITE_DIRECTONLY, nullptr,
                                   matchedFunction, nullptr, nullptr, nullptr);
        // Searches as the DJ types read the same pages again and again: mapped, they are read
        // where the system keeps them instead of copied in by a call each, and a larger cache
        // keeps the index's hot pages decoded.
        sqlite3_exec(reader_, "PRAGMA mmap_size=1073741824; PRAGMA cache_size=-32768", nullptr,
                     nullptr, nullptr);
    }
    QString why;
    sqlite3* writing = reader_ ? openConnection(path, why) : nullptr;
    if (reader_ && !writing) notice_ = why;
    writer_ = std::make_unique<LibraryWriter>(writing);
}

Library::~Library() {
    writer_.reset();  // commits what is queued
    sqlite3_close(reader_);
}

QHash<QByteArray, KnownFile> Library::knownFiles() const {
    QHash<QByteArray, KnownFile> files;
    Statement select(reader_,
                     "SELECT path, size, mtime, missing_since IS NOT NULL FROM songs"
                     " WHERE size IS NOT NULL");
    int step;
    while ((step = select.step()) == SQLITE_ROW)
        files.insert(select.blob(0),
                     KnownFile{select.integer(1), select.integer(2), select.integer(3) != 0});
    readFailure_ = stepFailure(reader_, step);
    return files;
}

QHash<QByteArray, KnownFile> Library::knownFiles(const QString& folder) const {
    QHash<QByteArray, KnownFile> files;
    // Paths below the folder sort between "folder/" and "folder0" ('0' follows '/'), so the
    // path index reads just them, however large the rest of the library is.
    QByteArray low = folderBytes(folder);
    if (!low.endsWith('/')) low += '/';
    QByteArray high = low;
    high.back() = '/' + 1;
    Statement select(reader_,
                     "SELECT path, size, mtime, missing_since IS NOT NULL FROM songs"
                     " WHERE path >= :low AND path < :high AND size IS NOT NULL");
    select.bind(":low", low);
    select.bind(":high", high);
    int step;
    while ((step = select.step()) == SQLITE_ROW)
        files.insert(select.blob(0),
                     KnownFile{select.integer(1), select.integer(2), select.integer(3) != 0});
    readFailure_ = stepFailure(reader_, step);
    return files;
}

std::optional<SongRow> Library::song(const QString& path) const {
    const QByteArray sql = QByteArray("SELECT ") + kSongColumns + " FROM songs WHERE path = :path";
    Statement select(reader_, sql.constData());
    select.bind(":path", pathToBytes(path));
    if (select.step() != SQLITE_ROW) return std::nullopt;
    return songOf(select);
}

std::int64_t Library::songCount() const {
    Statement count(reader_, "SELECT count(*) FROM songs");
    return count.step() == SQLITE_ROW ? count.integer(0) : 0;
}

std::vector<SongRow> Library::search(const SearchQuery& query, int limit) const {
    SongListing listing;
    listing.limit = limit;
    return search(query, listing);
}

namespace {

// What the words typed leave of the library, as one condition of a page's query.
struct TextCondition {
    enum class Kind { Everything, Initial, Ids } kind = Kind::Everything;
    int initial = -1;               // Kind::Initial: the letter's bit in the songs' initials
    std::vector<std::int64_t> ids;  // Kind::Ids: the matched songs, in id order
};

// The ids the index `table` matches with `expression`, in id order, at most `most` of them.
std::vector<std::int64_t> idsMatching(sqlite3* db, const char* sql, const QString& expression,
                                      double most, QString& failure) {
    std::vector<std::int64_t> ids;
    Statement select(db, sql);
    select.bindText(":match", expression);
    int step;
    while ((step = select.step()) == SQLITE_ROW && double(ids.size()) < most)
        ids.push_back(select.integer(0));
    if (step != SQLITE_ROW && step != SQLITE_DONE && failure.isEmpty())
        failure = stepFailure(db, step);
    return ids;
}

constexpr const char* kWordMatches = "SELECT rowid FROM song_text WHERE song_text MATCH :match";
constexpr const char* kFragmentMatches =
    "SELECT rowid FROM song_inside WHERE song_inside MATCH :match";

bool filteredBeyondWords(const SearchQuery& query, const SongListing& listing) {
    return query.bpmLow || query.bpmHigh || query.key || listing.bpmLow || listing.bpmHigh ||
           !listing.crate.isEmpty() || !listing.keys.empty();
}

// The first letters typed match most of the library. Looking up every match and sorting them all
// to show the first page costs time in proportion to the matches; walking the songs in the list's
// order and keeping the matched ones costs the page's length over the share matched. The cheaper
// way is taken: the two cost the same at about the root of the page's length times the songs. A
// walk with no other condition reads only its order's index, at about an eighth of the cost of a
// song looked up and sorted, which moves that point down by the root of eight. With a tempo, a
// key or a crate to test as well, a walk reads each song it passes (the database may also follow
// those conditions' own orders instead), so the plain point holds.
double fewestWalked(double page, std::int64_t highest, bool filtered) {
    return std::sqrt(page * double(highest) / (filtered ? 1 : 8));
}

// The page of `limit` songs from the `offset`th on that `text` and the other conditions leave, in
// the listing's order; or, with `counting`, how many songs they leave (in the first column).
std::vector<SongRow> listSongs(sqlite3* db, const SearchQuery& query, const SongListing& listing,
                               const TextCondition& text, std::int64_t highest, int limit,
                               int offset, QString& failure, std::int64_t* counting = nullptr) {
    std::vector<SongRow> songs;
    const bool filtered = filteredBeyondWords(query, listing);
    QByteArray sql = QByteArray("SELECT ") + (counting ? "count(*)" : kSongColumns) +
                     " FROM songs WHERE missing_since IS NULL";
    MatchedIds matches;
    const bool walk =
        text.kind == TextCondition::Kind::Ids &&
        double(text.ids.size()) > fewestWalked(double(offset) + double(limit), highest, filtered);
    if (walk) matches = MatchedIds(text.ids, highest);
    switch (text.kind) {
        case TextCondition::Kind::Everything:
            break;
        case TextCondition::Kind::Initial:
            sql += " AND (initials & :initial) != 0";
            break;
        case TextCondition::Kind::Ids:
            // The few are looked up by id: the text index is not asked again.
            sql += walk ? " AND matched(:matches, id)"
                        : " AND id IN (SELECT value FROM json_each(:ids))";
            break;
    }
    if (query.bpmLow) sql += " AND bpm >= :bpmLow";
    if (query.bpmHigh) sql += " AND bpm <= :bpmHigh";
    if (query.key) sql += " AND musical_key = :key";
    if (listing.bpmLow) sql += " AND bpm >= :mixBpmLow";
    if (listing.bpmHigh) sql += " AND bpm <= :mixBpmHigh";
    if (!listing.crate.isEmpty())
        sql +=
            " AND id IN (SELECT song FROM crate_songs JOIN crates ON crates.id = crate"
            " WHERE crates.name = :crate)";
    if (!listing.keys.empty()) {
        sql += " AND musical_key IN (";
        for (std::size_t i = 0; i < listing.keys.size(); ++i)
            sql += (i ? "," : "") + QByteArray::number(listing.keys[i]);
        sql += ")";
    }
    std::vector<QByteArray> leftOut;  // the parameters' names, kept while they are bound
    for (std::size_t i = 0; i < listing.leaveOut.size(); ++i) {
        leftOut.push_back(":leaveOut" + QByteArray::number(qulonglong(i)));
        sql += " AND path <> " + leftOut.back();
    }
    if (!counting)
        sql += " ORDER BY " + orderBy(listing.sortBy, listing.descending) +
               " LIMIT :limit OFFSET :offset";
    Statement select(db, sql.constData());
    if (text.kind == TextCondition::Kind::Initial)
        select.bind(":initial", std::int64_t(1) << text.initial);
    if (walk) {
        select.bindPointer(":matches", &matches, kMatchesType);
    } else if (text.kind == TextCondition::Kind::Ids) {
        QString list = QStringLiteral("[");
        for (const std::int64_t id : text.ids)
            list += QString::number(id) + u',';
        if (list.endsWith(u',')) list.chop(1);
        select.bindText(":ids", list + u']');
    }
    if (query.bpmLow) select.bind(":bpmLow", *query.bpmLow);
    if (query.bpmHigh) select.bind(":bpmHigh", *query.bpmHigh);
    if (query.key) select.bind(":key", std::int64_t(*query.key));
    select.bind(":limit", std::int64_t(limit));
    select.bind(":offset", std::int64_t(offset));
    if (listing.bpmLow) select.bind(":mixBpmLow", *listing.bpmLow);
    if (listing.bpmHigh) select.bind(":mixBpmHigh", *listing.bpmHigh);
    if (!listing.crate.isEmpty()) select.bindText(":crate", listing.crate);
    for (std::size_t i = 0; i < leftOut.size(); ++i)
        select.bind(leftOut[i].constData(), pathToBytes(listing.leaveOut[i]));
    int step;
    while ((step = select.step()) == SQLITE_ROW) {
        if (counting)
            *counting = select.integer(0);
        else
            songs.push_back(songOf(select));
    }
    if (failure.isEmpty()) failure = stepFailure(db, step);
    return songs;
}

// The terms typed, split for the index of fragments: those of three letters or more (folded as
// the index folds them) are looked for inside words there; the others, and quoted phrases, stay
// word starts in the text index. Empty `inside` when no term is long enough.
struct Fragments {
    QString inside;  // a match expression over song_inside
    QString rest;    // a match expression over song_text; empty: no further condition
};

Fragments fragmentsOf(sqlite3* db, const SearchQuery& query) {
    Fragments fragments;
    QStringList inside, rest;
    Statement fold(db, "SELECT text_fold(:text)");
    for (const TextTerm& term : query.terms) {
        QString folded;
        if (!term.quoted) {
            fold.reset();
            fold.bindText(":text", term.value);
            if (fold.step() == SQLITE_ROW) folded = fold.text(0);
        }
        const auto letters =
            std::count_if(folded.begin(), folded.end(), [](QChar c) { return !c.isSpace(); });
        if (letters < kFewestInside) {
            rest << term.words;
            continue;
        }
        folded.replace(u'"', QStringLiteral("\"\""));
        inside << (term.field.isEmpty() ? QString() : term.field + QStringLiteral(" : ")) + u'"' +
                      folded + u'"';
    }
    fragments.inside = inside.join(u' ');
    fragments.rest = rest.join(u' ');
    return fragments;
}

}  // namespace

std::vector<SongRow> Library::search(const SearchQuery& query, const SongListing& listing) const {
    readFailure_.clear();
    if (!query.error.isEmpty()) return {};
    if (query.match.isEmpty())
        return listSongs(reader_, query, listing, {}, 0, listing.limit, listing.offset,
                         readFailure_);
    std::int64_t highest = 0;
    {
        Statement last(reader_, "SELECT max(id) FROM songs");
        if (last.step() == SQLITE_ROW) highest = last.integer(0);
    }
    const bool filtered = filteredBeyondWords(query, listing);
    const double wide =
        fewestWalked(double(listing.offset) + double(listing.limit), highest, filtered);
    const Fragments fragments = fragmentsOf(reader_, query);
    if (fragments.inside.isEmpty()) {
        // One letter alone, with no other condition, is walked by the songs' initials once its
        // matches are known to be many: the rest of them need not be read.
        const bool byInitial = query.initial >= 0 && !filtered;
        TextCondition words{TextCondition::Kind::Ids, -1,
                            idsMatching(reader_, kWordMatches, query.match,
                                        byInitial ? wide + 1 : HUGE_VAL, readFailure_)};
        if (byInitial && double(words.ids.size()) > wide)
            words = {TextCondition::Kind::Initial, query.initial, {}};
        return listSongs(reader_, query, listing, words, highest, listing.limit, listing.offset,
                         readFailure_);
    }
    // A fragment may stand inside a word. Songs where every term starts a word are listed
    // first, as the DJ typed them; the songs where a fragment is only inside a word follow, each
    // group in the listing's order.
    TextCondition starts{TextCondition::Kind::Ids, -1,
                         idsMatching(reader_, kWordMatches, query.match, HUGE_VAL, readFailure_)};
    std::vector<std::int64_t> found =
        idsMatching(reader_, kFragmentMatches, fragments.inside, HUGE_VAL, readFailure_);
    if (!fragments.rest.isEmpty()) {
        const MatchedIds alsoStarting(
            idsMatching(reader_, kWordMatches, fragments.rest, HUGE_VAL, readFailure_), highest);
        found.erase(std::remove_if(found.begin(), found.end(),
                                   [&](std::int64_t id) { return !alsoStarting.contains(id); }),
                    found.end());
    }
    TextCondition within{TextCondition::Kind::Ids, -1, {}};
    std::set_difference(found.begin(), found.end(), starts.ids.begin(), starts.ids.end(),
                        std::back_inserter(within.ids));
    std::vector<SongRow> songs = listSongs(reader_, query, listing, starts, highest, listing.limit,
                                           listing.offset, readFailure_);
    const int left = listing.limit - int(songs.size());
    if (left <= 0 || within.ids.empty()) return songs;
    // A short page ends the first group, which then had `offset` + what it listed songs, unless
    // it listed none: the page begins past its end, and its count says how far.
    std::int64_t before = std::int64_t(listing.offset) + std::int64_t(songs.size());
    if (songs.empty() && listing.offset > 0)
        listSongs(reader_, query, listing, starts, highest, listing.offset, 0, readFailure_,
                  &before);
    const int offset = int(std::max<std::int64_t>(0, listing.offset - before));
    std::vector<SongRow> more =
        listSongs(reader_, query, listing, within, highest, left, offset, readFailure_);
    songs.insert(songs.end(), std::make_move_iterator(more.begin()),
                 std::make_move_iterator(more.end()));
    return songs;
}

std::vector<QString> Library::crates() const {
    std::vector<QString> names;
    Statement select(reader_, "SELECT name FROM crates ORDER BY name COLLATE NOCASE");
    int step;
    while ((step = select.step()) == SQLITE_ROW)
        names.push_back(select.text(0));
    readFailure_ = stepFailure(reader_, step);
    return names;
}

namespace {

// The paths in the first column of what `select` reads, in its order; `failure` says why it
// stopped early.
std::vector<QString> pathsRead(sqlite3* db, Statement& select, QString& failure) {
    std::vector<QString> paths;
    int step;
    while ((step = select.step()) == SQLITE_ROW)
        paths.push_back(pathFromBytes(select.blob(0)));
    failure = stepFailure(db, step);
    return paths;
}

}  // namespace

std::vector<QString> Library::watchedFolders() const {
    Statement select(reader_, "SELECT path FROM watched_folders ORDER BY path");
    return pathsRead(reader_, select, readFailure_);
}

std::vector<QString> Library::songsToAnalyse() const {
    // The conditions of the index of songs to analyse, word for word, so it is the one read.
    Statement select(reader_,
                     "SELECT path FROM songs WHERE bpm IS NULL AND missing_since IS NULL"
                     " AND size IS NOT NULL AND analysis_failed IS NOT mtime ORDER BY id");
    return pathsRead(reader_, select, readFailure_);
}

std::vector<HeardSong> Library::history() const {
    std::vector<HeardSong> heard;
    Statement select(reader_,
                     "SELECT heard, path, artist, title, seconds FROM history"
                     " JOIN songs ON songs.id = history.song ORDER BY heard, history.id");
    int step;
    while ((step = select.step()) == SQLITE_ROW)
        heard.push_back({select.integer(0), pathFromBytes(select.blob(1)), select.text(2),
                         select.text(3), select.real(4)});
    readFailure_ = stepFailure(reader_, step);
    return heard;
}

std::vector<QString> Library::crate(const QString& name) const {
    Statement select(reader_,
                     "SELECT path FROM crate_songs JOIN crates ON crates.id = crate_songs.crate"
                     " JOIN songs ON songs.id = crate_songs.song WHERE crates.name = :crate"
                     " ORDER BY path");
    select.bindText(":crate", name);
    return pathsRead(reader_, select, readFailure_);
}

bool Library::store(SongFacts facts, Stored* outcome) {
    // The caches, not `this`: jobs still queued run while the writer is being destroyed.
    return writer_->submit([cache = &writer_->statements(), checked = checkedCopies_,
                            scan = scan_.load(), facts = std::move(facts), outcome](sqlite3*) {
        // The first store of a new scan forgets what the last one found.
        if (checked->scan != scan) {
            checked->upTo.clear();
            checked->scan = scan;
        }
        return storeFacts(*cache, checked->upTo, facts, outcome);
    });
}

void Library::forgetCheckedCopies() {
    ++scan_;
}

bool Library::addHeard(const QString& path, std::int64_t when) {
    return writer_->submit([path = pathToBytes(path), when](sqlite3* db) {
        Statement insert(
            db, "INSERT INTO history (song, heard) SELECT id, :when FROM songs WHERE path = :path");
        insert.bind(":path", path);
        insert.bind(":when", when);
        if (insert.step() != SQLITE_DONE) return false;
        Statement played(
            db,
            "UPDATE songs SET play_count = play_count + 1,"
            " last_played = max(coalesce(last_played, :when), :when) WHERE path = :path");
        played.bind(":path", path);
        played.bind(":when", when);
        return played.step() == SQLITE_DONE;
    });
}

bool Library::setRating(const QString& path, int stars) {
    if (stars < 0 || stars > 5) return false;
    return writer_->submit([path = pathToBytes(path), stars](sqlite3* db) {
        Statement update(db, "UPDATE songs SET rating = :stars WHERE path = :path");
        update.bind(":path", path);
        update.bind(":stars", std::int64_t(stars));
        return update.step() == SQLITE_DONE;
    });
}

bool Library::addToCrate(const QString& crate, const QString& path) {
    return writer_->submit([crate, path = pathToBytes(path)](sqlite3* db) {
        Statement make(db, "INSERT OR IGNORE INTO crates (name) VALUES (:crate)");
        make.bindText(":crate", crate);
        if (make.step() != SQLITE_DONE) return false;
        Statement add(db,
                      "INSERT OR IGNORE INTO crate_songs (crate, song) SELECT crates.id, songs.id"
                      " FROM crates, songs WHERE crates.name = :crate AND songs.path = :path");
        add.bindText(":crate", crate);
        add.bind(":path", path);
        return add.step() == SQLITE_DONE;
    });
}

bool Library::setAnalysis(const QString& path, std::optional<double> bpm,
                          std::optional<double> firstBeat, int key,
                          std::optional<double> loudness) {
    return writer_->submit([path = pathToBytes(path), bpm, firstBeat, key, loudness](sqlite3* db) {
        Statement update(
            db,
            "UPDATE songs SET bpm = :bpm, first_beat = :firstBeat, loudness = :loudness,"
            " musical_key = CASE WHEN :key BETWEEN 0 AND 23 THEN :key ELSE -1 END,"
            " analysis_failed = CASE WHEN :bpm IS NULL THEN mtime END WHERE path = :path");
        update.bind(":path", path);
        update.bind(":bpm", bpm);
        update.bind(":firstBeat", firstBeat);
        update.bind(":key", std::int64_t(key));
        update.bind(":loudness", loudness);
        return update.step() == SQLITE_DONE;
    });
}

bool Library::makeCrate(const QString& name) {
    return writer_->submit([name](sqlite3* db) {
        Statement make(db, "INSERT OR IGNORE INTO crates (name) VALUES (:name)");
        make.bindText(":name", name);
        return make.step() == SQLITE_DONE;
    });
}

bool Library::renameCrate(const QString& name, const QString& newName) {
    return writer_->submit([name, newName](sqlite3* db) {
        // A name already taken is refused by the unique name, and the crate keeps its own.
        Statement rename(db, "UPDATE OR IGNORE crates SET name = :newName WHERE name = :name");
        rename.bindText(":name", name);
        rename.bindText(":newName", newName);
        return rename.step() == SQLITE_DONE;
    });
}

bool Library::removeCrate(const QString& name) {
    return writer_->submit([name](sqlite3* db) {
        Statement remove(db, "DELETE FROM crates WHERE name = :name");
        remove.bindText(":name", name);
        return remove.step() == SQLITE_DONE;
    });
}

bool Library::removeFromCrate(const QString& crate, const QString& path) {
    return writer_->submit([crate, path = pathToBytes(path)](sqlite3* db) {
        Statement remove(
            db,
            "DELETE FROM crate_songs WHERE crate = (SELECT id FROM crates WHERE name = :crate)"
            " AND song = (SELECT id FROM songs WHERE path = :path)");
        remove.bindText(":crate", crate);
        remove.bind(":path", path);
        return remove.step() == SQLITE_DONE;
    });
}

bool Library::markMissing(const std::vector<QString>& paths, std::int64_t when,
                          std::int64_t* marked) {
    std::vector<QByteArray> bytes;
    bytes.reserve(paths.size());
    for (const QString& path : paths)
        bytes.push_back(pathToBytes(path));
    return writer_->submit([bytes = std::move(bytes), when, marked](sqlite3* db) {
        Statement update(db,
                         "UPDATE songs SET missing_since = :when WHERE path = :path"
                         " AND missing_since IS NULL");
        for (const QByteArray& path : bytes) {
            update.reset();
            update.bind(":path", path);
            update.bind(":when", when);
            if (update.step() != SQLITE_DONE) return false;
            if (marked) *marked += sqlite3_changes(db);
        }
        return true;
    });
}

bool Library::addWatchedFolder(const QString& folder) {
    return writer_->submit([path = folderBytes(folder)](sqlite3* db) {
        Statement insert(db, "INSERT OR IGNORE INTO watched_folders (path) VALUES (:path)");
        insert.bind(":path", path);
        return insert.step() == SQLITE_DONE;
    });
}

bool Library::removeWatchedFolder(const QString& folder) {
    return writer_->submit([path = folderBytes(folder)](sqlite3* db) {
        Statement remove(db, "DELETE FROM watched_folders WHERE path = :path");
        remove.bind(":path", path);
        return remove.step() == SQLITE_DONE;
    });
}

}  // namespace kelvra::library
