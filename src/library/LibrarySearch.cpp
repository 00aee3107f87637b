// The library's searches: the words typed matched in the text indexes (whole words, or fragments
// inside them), the other conditions, and a page of songs in the listing's order.
#include <sqlite3.h>

#include <algorithm>
#include <cmath>
#include <iterator>

#include "core/PathBytes.h"
#include "library/Database.h"
#include "library/Library.h"
#include "library/LibraryInternal.h"
#include "library/SearchQuery.h"

namespace kelvra::library {
namespace {

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

}  // namespace

// matched(ids, id): whether the song is among the ids a text match found.
void matchedFunction(sqlite3_context* context, int, sqlite3_value** values) {
    const auto* ids =
        static_cast<const MatchedIds*>(sqlite3_value_pointer(values[0], kMatchesType));
    sqlite3_result_int(context, ids && ids->contains(sqlite3_value_int64(values[1])));
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

}  // namespace kelvra::library
