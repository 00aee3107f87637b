// The library on real SQLite files: search results through the text index (prefixes, folding,
// fields, tempo and key), the writer's commits, crates, ratings and plays, and databases of
// every earlier version brought up to date with what they held.
#include "library/Library.h"

#include <gtest/gtest.h>

#include <sqlite3.h>
#include <QTemporaryDir>
#include <algorithm>
#include <random>
#include <set>
#include <tuple>

#include "library/Database.h"
#include "library/SearchQuery.h"
#include "library/SongStore.h"
#include "library/TextInitials.h"
#include "support/LibrarySongs.h"

namespace kelvra::library {
namespace {

using test::songFacts;

std::set<QString> found(const Library& library, const char* text) {
    const SearchQuery query = parseSearchQuery(QString::fromUtf8(text));
    EXPECT_TRUE(query.error.isEmpty()) << text;
    std::set<QString> paths;
    for (const SongRow& song : library.search(query))
        paths.insert(song.path);
    return paths;
}

class LibrarySearch : public ::testing::Test {
  protected:
    void SetUp() override {
        library_ = std::make_unique<Library>(dir_.filePath("library.sqlite"));
        ASSERT_TRUE(library_->isOpen()) << library_->notice().toStdString();
        library_->store(songFacts("/m/halo.mp3", "Beyoncé", "Halo", 80, 21, "R&B"));
        library_->store(songFacts("/m/omt.flac", "Daft Punk", "One More Time", 122.5, 0, "House"));
        library_->store(
            songFacts("/m/dafty.mp3", "Daftworks", "Time Machine", 127.5, 21, "Techno"));
        library_->store(songFacts("/m/ete.ogg", "ÉTÉ", "Straße der Sonne", 128.5, 18, "Pop"));
        library_->store(songFacts("/m/tokyo.m4a", "東京事変", "Shiseikatsu", {}, -1, "Rock"));
        library_->store(songFacts("/m/istanbul.mp3", "Istanbul Ensemble", "Kız", 100, 4));
        ASSERT_TRUE(library_->writer().flush());
    }
    QTemporaryDir dir_;
    std::unique_ptr<Library> library_;
};

TEST_F(LibrarySearch, WordsArePrefixesAcrossFieldsWithCaseAndAccentsFolded) {
    const Library& library = *library_;
    EXPECT_EQ(found(library, "").size(), 6u);
    EXPECT_EQ(found(library, "daft"), (std::set<QString>{"/m/omt.flac", "/m/dafty.mp3"}));
    EXPECT_EQ(found(library, "daft punk"), (std::set<QString>{"/m/omt.flac"}));
    EXPECT_EQ(found(library, "DAFT TIME"), (std::set<QString>{"/m/omt.flac", "/m/dafty.mp3"}));
    EXPECT_EQ(found(library, "beyonce"), (std::set<QString>{"/m/halo.mp3"}));
    EXPECT_EQ(found(library, "BEYONCÉ"), (std::set<QString>{"/m/halo.mp3"}));
    EXPECT_EQ(found(library, "ete"), (std::set<QString>{"/m/ete.ogg"}));
    EXPECT_EQ(found(library, "STRASSE").size(), 0u);  // ß is a letter of its own to the index
    EXPECT_EQ(found(library, "straße"), (std::set<QString>{"/m/ete.ogg"}));
    // Dotless ı, like ß, is no accented letter: it is found as itself, not as "i".
    EXPECT_EQ(found(library, "KIZ"), (std::set<QString>{}));
    EXPECT_EQ(found(library, "kız"), (std::set<QString>{"/m/istanbul.mp3"}));
    EXPECT_EQ(found(library, "ISTANBUL"), (std::set<QString>{"/m/istanbul.mp3"}));
    EXPECT_EQ(found(library, "東京事変"), (std::set<QString>{"/m/tokyo.m4a"}));
    EXPECT_EQ(found(library, "techno"), (std::set<QString>{"/m/dafty.mp3"}));  // the genre
    EXPECT_EQ(found(library, "r&b"), (std::set<QString>{"/m/halo.mp3"}));
    EXPECT_EQ(found(library, "nothing-like-it").size(), 0u);
}

TEST_F(LibrarySearch, PhrasesFieldsTempoAndKeyNarrowTheResults) {
    const Library& library = *library_;
    EXPECT_EQ(found(library, "\"one more time\""), (std::set<QString>{"/m/omt.flac"}));
    EXPECT_EQ(found(library, "\"more one\"").size(), 0u);
    EXPECT_EQ(found(library, "\"one more ti\"").size(), 0u);  // a quoted phrase is whole words
    EXPECT_EQ(found(library, "artist:time").size(), 0u);
    EXPECT_EQ(found(library, "title:time"), (std::set<QString>{"/m/omt.flac", "/m/dafty.mp3"}));
    EXPECT_EQ(found(library, "artist:daft title:machine"), (std::set<QString>{"/m/dafty.mp3"}));
    // 127.5 and 128.5 both show as 128 (halves to the even neighbour); 122.5 shows as 122.
    EXPECT_EQ(found(library, "bpm:128"), (std::set<QString>{"/m/dafty.mp3", "/m/ete.ogg"}));
    EXPECT_EQ(found(library, "bpm:122"), (std::set<QString>{"/m/omt.flac"}));
    EXPECT_EQ(found(library, "bpm:100-125"), (std::set<QString>{"/m/omt.flac", "/m/istanbul.mp3"}));
    EXPECT_EQ(found(library, "key:8A"), (std::set<QString>{"/m/halo.mp3", "/m/dafty.mp3"}));
    EXPECT_EQ(found(library, "key:\"a minor\" daft"), (std::set<QString>{"/m/dafty.mp3"}));
    EXPECT_EQ(found(library, "key:a minor bpm:70-90"), (std::set<QString>{"/m/halo.mp3"}));
    EXPECT_EQ(found(library, "key:8A key:8B").size(), 0u);
    // A song without tempo is in no tempo range, but is found by words.
    EXPECT_EQ(found(library, "bpm:0-1000").size(), 5u);
    // A query that cannot be read finds nothing rather than everything.
    EXPECT_TRUE(library.search(parseSearchQuery("bpm:fast")).empty());
}

TEST_F(LibrarySearch, ARescanFindsASongByItsNewTitleOnlyAndTheIndexStaysWhole) {
    SongFacts changed = songFacts("/m/omt.flac", "Daft Punk", "Aerodynamic", 123);
    Stored outcome = Stored::Added;
    library_->store(changed, &outcome);
    ASSERT_TRUE(library_->writer().flush());
    EXPECT_EQ(outcome, Stored::Updated);
    EXPECT_EQ(found(*library_, "aerodynamic"), (std::set<QString>{"/m/omt.flac"}));
    EXPECT_EQ(found(*library_, "\"one more time\"").size(), 0u);
    EXPECT_EQ(library_->songCount(), 6);
    sqlite3* db = nullptr;
    ASSERT_EQ(sqlite3_open(dir_.filePath("library.sqlite").toUtf8().constData(), &db), SQLITE_OK);
    EXPECT_EQ(sqlite3_exec(db, "INSERT INTO song_text (song_text) VALUES ('integrity-check')",
                           nullptr, nullptr, nullptr),
              SQLITE_OK)
        << sqlite3_errmsg(db);
    sqlite3_close(db);
}

std::vector<QString> listed(const Library& library, const char* text, int limit = 200,
                            int offset = 0) {
    SongListing listing;
    listing.limit = limit;
    listing.offset = offset;
    std::vector<QString> paths;
    for (const SongRow& song : library.search(parseSearchQuery(QString::fromUtf8(text)), listing))
        paths.push_back(song.path);
    return paths;
}

TEST_F(LibrarySearch, FragmentsOfThreeLettersAreFoundInsideWordsAfterTheWordStarts) {
    library_->store(songFacts("/m/naka.mp3", "Ryo Nakamura", "Sakura"));
    library_->store(songFacts("/m/amura.mp3", "Yoshi Amura", "Blue"));
    ASSERT_TRUE(library_->writer().flush());
    const Library& library = *library_;
    // By artist "Ryo" comes before "Yoshi"; the word start is listed first all the same, and a
    // page of the list may begin in either group.
    EXPECT_EQ(listed(library, "amura"), (std::vector<QString>{"/m/amura.mp3", "/m/naka.mp3"}));
    EXPECT_EQ(listed(library, "amura", 1), std::vector<QString>{"/m/amura.mp3"});
    EXPECT_EQ(listed(library, "amura", 1, 1), std::vector<QString>{"/m/naka.mp3"});
    EXPECT_EQ(listed(library, "amura", 5, 2), std::vector<QString>{});
    // Case and accents fold inside words as at their starts, on both sides.
    EXPECT_EQ(found(library, "yonc"), (std::set<QString>{"/m/halo.mp3"}));
    EXPECT_EQ(found(library, "YONCÉ"), (std::set<QString>{"/m/halo.mp3"}));
    EXPECT_EQ(found(library, "aft unk"), (std::set<QString>{"/m/omt.flac"}));
    EXPECT_EQ(found(library, "ork"), (std::set<QString>{"/m/dafty.mp3"}));
    // One or two letters, a quoted phrase and a field keep to their own rules.
    EXPECT_EQ(found(library, "am"), (std::set<QString>{"/m/amura.mp3"}));
    EXPECT_EQ(found(library, "\"amura\""), (std::set<QString>{"/m/amura.mp3"}));
    EXPECT_EQ(found(library, "artist:kamura"), (std::set<QString>{"/m/naka.mp3"}));
    EXPECT_EQ(found(library, "title:kamura").size(), 0u);
    // A short word must still start a word while the fragment beside it is inside one.
    EXPECT_EQ(found(library, "ry amura"), (std::set<QString>{"/m/naka.mp3"}));
    EXPECT_EQ(found(library, "yo amura"), (std::set<QString>{"/m/amura.mp3"}));
    // Two letters with punctuation between are no fragment of three.
    EXPECT_EQ(found(library, "r&b"), (std::set<QString>{"/m/halo.mp3"}));
}

// A word that matches most of the library and one that matches a few songs are listed by two
// ways of running the search; either way the page is the first songs in the order asked, the
// missing ones left out, the listing's own conditions kept.
TEST(Library, APageIsItsSliceOfAllMatchesInOrderWhetherTheWordsMatchMostSongsOrFew) {
    QTemporaryDir dir;
    Library library(dir.filePath("library.sqlite"));
    struct Song {
        QString path, artist;
        double bpm;
        bool common, missing, crated;
    };
    std::vector<Song> songs;
    std::mt19937 random(3);
    for (int i = 0; i < 400; ++i) {
        Song song{QString("/m/%1.mp3").arg(i),
                  QString("Artist %1").arg(random() % 1000, 3, 10, QChar('0')),
                  double(80 + random() % 80),
                  i % 5 != 0,
                  i % 7 == 0,
                  i % 3 == 0};
        library.store(
            songFacts(song.path, song.artist, song.common ? "Common rare" : "Common", song.bpm));
        if (song.crated) library.addToCrate("Set", song.path);
        songs.push_back(song);
    }
    std::vector<QString> gone;
    for (const Song& song : songs)
        if (song.missing) gone.push_back(song.path);
    library.markMissing(gone, 100);
    ASSERT_TRUE(library.writer().flush());

    const auto expected = [&](bool rare, const SongListing& listing) {
        std::vector<const Song*> kept;
        for (const Song& song : songs)
            if ((!rare || song.common) && !song.missing && (listing.crate.isEmpty() || song.crated))
                kept.push_back(&song);
        std::sort(kept.begin(), kept.end(), [&](const Song* a, const Song* b) {
            if (listing.sortBy == SongColumn::Bpm && a->bpm != b->bpm)
                return listing.descending ? a->bpm > b->bpm : a->bpm < b->bpm;
            // Songs of one artist go by title: "Common" before "Common rare".
            return std::tuple(a->artist, a->common, a->path) <
                   std::tuple(b->artist, b->common, b->path);
        });
        std::vector<QString> paths;
        for (std::size_t i = std::size_t(listing.offset);
             i < kept.size() && int(i) < listing.offset + listing.limit; ++i)
            paths.push_back(kept[i]->path);
        return paths;
    };
    const auto listed = [&](const char* text, const SongListing& listing) {
        std::vector<QString> paths;
        for (const SongRow& song : library.search(parseSearchQuery(text), listing))
            paths.push_back(song.path);
        return paths;
    };
    SongListing page;
    page.limit = 12;
    SongListing crate = page;
    crate.crate = "Set";
    SongListing byTempo = page;
    byTempo.sortBy = SongColumn::Bpm;
    byTempo.descending = true;
    SongListing later = page;
    later.offset = 30;
    SongListing laterByTempo = byTempo;
    laterByTempo.offset = 200;
    for (const SongListing& listing : {page, crate, byTempo, later, laterByTempo}) {
        // "co" matches every song, "rare" four in five: both read most of the library. One
        // letter alone is walked by the songs' initials where nothing else is asked.
        EXPECT_EQ(listed("co", listing), expected(false, listing));
        EXPECT_EQ(listed("rare", listing), expected(true, listing));
        EXPECT_EQ(listed("C", listing), expected(false, listing));
        EXPECT_EQ(listed("r", listing), expected(true, listing));
    }
    // A page as long as the library: the matches are few beside it.
    SongListing everything;
    everything.limit = 1000;
    EXPECT_EQ(listed("rare", everything), expected(true, everything));
    EXPECT_TRUE(listed("nothing", page).empty());
}

// Song ids far beyond the rows (a forged or damaged database) cost a search what its matches
// hold, never what the ids reach, and the page walked and the page looked up stay the same.
TEST(Library, ASearchPastAForgedHugeSongIdStillFindsEveryMatchAndPagesAlike) {
    QTemporaryDir dir;
    const QString path = dir.filePath("library.sqlite");
    {
        Library library(path);
        for (int i = 0; i < 400; ++i)
            library.store(songFacts(QString("/m/%1.mp3").arg(i),
                                    QString("Artist %1").arg(i, 3, 10, QChar('0')), "Common"));
        ASSERT_TRUE(library.writer().flush());
    }
    // 9e18 once aborted the search; 2^37 took gigabytes; a million with 401 matches is walked
    // (a one-song page) with the sparse ids.
    for (const std::int64_t forged : {std::int64_t(9'000'000'000'000'000'000),
                                      std::int64_t(1) << 37, std::int64_t(1'000'000)}) {
        sqlite3* db = nullptr;
        ASSERT_EQ(sqlite3_open(path.toUtf8().constData(), &db), SQLITE_OK);
        ASSERT_TRUE(addTextInitials(db));
        {
            Statement forge(db,
                            "INSERT INTO songs (id, path, added, artist, title) VALUES"
                            " (:id, '/forged.mp3', 0, 'Artist 999', 'Common')");
            forge.bind(":id", forged);
            ASSERT_EQ(forge.step(), SQLITE_DONE) << sqlite3_errmsg(db);
        }
        sqlite3_close(db);

        Library library(path, Access::Reading);
        ASSERT_TRUE(library.isOpen()) << library.notice().toStdString();
        SongListing all;
        all.limit = 1000;
        const std::vector<SongRow> found = library.search(parseSearchQuery("common"), all);
        ASSERT_EQ(found.size(), 401u) << forged;
        EXPECT_EQ(found.back().path, "/forged.mp3");
        SongListing one;
        one.limit = 1;
        for (const int offset : {0, 7, 400}) {
            one.offset = offset;
            const std::vector<SongRow> page = library.search(parseSearchQuery("common"), one);
            ASSERT_EQ(page.size(), 1u) << forged << " at " << offset;
            EXPECT_EQ(page[0].path, found[std::size_t(offset)].path) << forged;
        }
        EXPECT_TRUE(library.readFailure().isEmpty()) << library.readFailure().toStdString();
        library.writer().submit([](sqlite3* writing) {
            return execute(writing, "DELETE FROM songs WHERE path = '/forged.mp3'");
        });
        ASSERT_TRUE(library.writer().flush());
    }
}

// The initials say of each song what the text index says of a letter's words, whatever the
// text: accents, other scripts, marks between letters, digits, empty fields, hostile bytes.
TEST(Library, ASongsInitialsAreTheLettersTheTextIndexMatches) {
    QTemporaryDir dir;
    Library library(dir.filePath("library.sqlite"));
    const std::vector<std::vector<QString>> texts = {
        {"Ďáblo Žena", "Ørsted", "", "", ""},
        {"", "", "", "", "Éclair — über-drive"},
        {"東京事変", "x-ray_vision", "O'Neil", "1999", "(remix)"},
        {"DJ 3PO", "straße", "İstanbul", "ĳssel", "ﬁnal"},
        {"", "", "", "", ""},
        {QString::fromUtf8("\xF0\x9F\x8E\xB5 ba\u0301se"), "a\tb\nc", "qu\u00A0z", "k", "9"},
    };
    for (std::size_t i = 0; i < texts.size(); ++i) {
        SongFacts song = songFacts(QString("/h/%1.mp3").arg(i), texts[i][0], texts[i][1]);
        song.album = texts[i][2];
        song.genre = texts[i][3];
        song.comment = texts[i][4];
        library.store(std::move(song));
    }
    // A retagged song is given its new initials.
    SongFacts retagged = songFacts("/h/4.mp3", "Zed", "Young");
    library.store(std::move(retagged));
    ASSERT_TRUE(library.writer().flush());

    sqlite3* db = nullptr;
    ASSERT_EQ(sqlite3_open(dir.filePath("library.sqlite").toUtf8().constData(), &db), SQLITE_OK);
    for (const char letter : std::string("abcdefghijklmnopqrstuvwxyz0123456789")) {
        std::set<std::int64_t> byIndex, byInitials;
        Statement words(db, "SELECT rowid FROM song_text WHERE song_text MATCH :match");
        words.bindText(":match", QStringLiteral("\"%1\"*").arg(letter));
        while (words.step() == SQLITE_ROW)
            byIndex.insert(words.integer(0));
        Statement initials(db, "SELECT id FROM songs WHERE initials & :bit");
        initials.bind(":bit", std::int64_t(1) << initialBit(QChar(letter)));
        while (initials.step() == SQLITE_ROW)
            byInitials.insert(initials.integer(0));
        EXPECT_EQ(byInitials, byIndex) << letter;
    }
    sqlite3_close(db);
}

TEST(Library, ARatingAboveFiveIsRefusedPlaysAreCountedInOrderAndACrateHoldsASongOnce) {
    QTemporaryDir dir;
    Library library(dir.filePath("library.sqlite"));
    library.store(songFacts("/a.mp3", "A", "First"));
    library.store(songFacts("/b.mp3", "B", "Second"));
    EXPECT_TRUE(library.setRating("/a.mp3", 4));
    EXPECT_FALSE(library.setRating("/a.mp3", 6));
    library.addHeard("/a.mp3", 1000);
    library.addHeard("/b.mp3", 1300);
    library.addHeard("/a.mp3", 1600);
    library.addHeard("/never-scanned.mp3", 1700);  // nothing to add it to: no row, no failure
    library.addToCrate("Warm-up", "/b.mp3");
    library.addToCrate("Warm-up", "/a.mp3");
    library.addToCrate("Warm-up", "/a.mp3");
    ASSERT_TRUE(library.writer().flush());
    const SongRow a = *library.song("/a.mp3");
    EXPECT_EQ(a.rating, 4);
    EXPECT_EQ(a.playCount, 2);
    EXPECT_EQ(a.lastPlayed, 1600);
    EXPECT_EQ(library.song("/b.mp3")->playCount, 1);
    const std::vector<HeardSong> history = library.history();
    ASSERT_EQ(history.size(), 3u);
    EXPECT_EQ(history[0].path, "/a.mp3");
    EXPECT_EQ(history[1].title, "Second");
    EXPECT_EQ(history[2].heard, 1600);
    EXPECT_EQ(library.crate("Warm-up"), (std::vector<QString>{"/a.mp3", "/b.mp3"}));
    EXPECT_TRUE(library.crate("Peak time").empty());
}

TEST(Library, TheWriterCommitsThousandsOfJobsInBatchesAndLosesNone) {
    QTemporaryDir dir;
    Library library(dir.filePath("library.sqlite"));
    std::atomic<int> commits = 0;
    library.writer().setCommitListener([&](std::int64_t) { ++commits; });
    constexpr int kSongs = 3000;
    for (int i = 0; i < kSongs; ++i)
        ASSERT_TRUE(library.store(songFacts(QString("/s/%1.mp3").arg(i), "Artist", "Song")));
    ASSERT_TRUE(library.writer().flush());
    EXPECT_EQ(library.writer().committed(), kSongs);
    EXPECT_EQ(library.songCount(), kSongs);
    EXPECT_GE(commits.load(), int(kSongs / LibraryWriter::kBatch));
    EXPECT_LT(commits.load(), kSongs / 10);
}

TEST(Library, KeptStatementsStartAfreshNestFailCleanlyAndAreAllFinalisedBeforeTheClose) {
    sqlite3* db = nullptr;
    ASSERT_EQ(sqlite3_open(":memory:", &db), SQLITE_OK);
    ASSERT_TRUE(execute(db, "CREATE TABLE n (v INTEGER); INSERT INTO n VALUES (1), (2), (3);"));
    static constexpr const char* kAll = "SELECT v FROM n ORDER BY v";
    {
        StatementCache cache(db);
        {
            // Left after its first row: the next borrower must not go on from the second.
            Statement first(cache, kAll);
            ASSERT_EQ(first.step(), SQLITE_ROW);
        }
        int pairs = 0;
        Statement outer(cache, kAll);
        ASSERT_EQ(outer.step(), SQLITE_ROW);
        EXPECT_EQ(outer.integer(0), 1);
        do {
            // The same SQL again while the first is lent: a cursor of its own.
            Statement inner(cache, kAll);
            while (inner.step() == SQLITE_ROW)
                ++pairs;
        } while (outer.step() == SQLITE_ROW);
        EXPECT_EQ(pairs, 9);
        Statement broken(cache, "SELECT nothing FROM nowhere");
        EXPECT_FALSE(broken.ok());
        EXPECT_EQ(broken.step(), SQLITE_MISUSE);
    }
    // Any statement still prepared would make the close fail and leak the connection.
    EXPECT_EQ(sqlite3_close(db), SQLITE_OK);
}

// Makes a database at `path` as an earlier version left it, with a song, a cue and a loop.
void makeOldDatabase(const QString& path, int version) {
    sqlite3* db = nullptr;
    ASSERT_EQ(sqlite3_open(path.toUtf8().constData(), &db), SQLITE_OK);
    std::string sql =
        "CREATE TABLE songs (id INTEGER PRIMARY KEY, path BLOB NOT NULL UNIQUE,"
        " added INTEGER NOT NULL);"
        "CREATE TABLE hot_cues (song INTEGER NOT NULL REFERENCES songs(id) ON DELETE CASCADE,"
        " slot INTEGER NOT NULL CHECK (slot BETWEEN 0 AND 7), position INTEGER NOT NULL,"
        " PRIMARY KEY (song, slot)) WITHOUT ROWID;"
        "INSERT INTO songs VALUES (7, CAST('/old/song.mp3' AS BLOB), 99);"
        "INSERT INTO songs VALUES (8, CAST('/old/other.mp3' AS BLOB), 99);"
        "INSERT INTO hot_cues VALUES (7, 2, 1234);";
    if (version >= 2)  // (a third-version database is a second-version one brought forward)
        sql +=
            "CREATE TABLE loops (song INTEGER PRIMARY KEY REFERENCES songs(id) ON DELETE CASCADE,"
            " loop_in INTEGER NOT NULL CHECK (loop_in >= 0),"
            " loop_out INTEGER NOT NULL CHECK (loop_out > loop_in));"
            "INSERT INTO loops VALUES (7, 100, 900);";
    sql += "PRAGMA application_id=1263294034; PRAGMA user_version=" +
           std::to_string(std::min(version, 2));
    ASSERT_EQ(sqlite3_exec(db, sql.c_str(), nullptr, nullptr, nullptr), SQLITE_OK);
    if (version >= 3) {
        ASSERT_TRUE(migrateTo(db, 3));
        ASSERT_EQ(sqlite3_exec(db,
                               "UPDATE songs SET artist = 'Old Artist', rating = 4 WHERE id = 7;"
                               "INSERT INTO history (song, heard) VALUES (7, 4000);"
                               "INSERT INTO crates (id, name) VALUES (1, 'Warm-up');"
                               "INSERT INTO crate_songs VALUES (1, 8);",
                               nullptr, nullptr, nullptr),
                  SQLITE_OK);
    }
    if (version >= 4) {
        ASSERT_TRUE(migrateTo(db, 4));
        ASSERT_EQ(sqlite3_exec(db, "UPDATE songs SET missing_since = 6000 WHERE id = 8", nullptr,
                               nullptr, nullptr),
                  SQLITE_OK);
    }
    if (version >= 5) {
        ASSERT_TRUE(migrateTo(db, 5));
    }
    for (int step = 6; step <= std::min(version, 7); ++step)
        ASSERT_TRUE(migrateTo(db, step));
    sqlite3_close(db);
}

std::int64_t initialsOf(const QString& path, std::int64_t id) {
    sqlite3* db = nullptr;
    sqlite3_open(path.toUtf8().constData(), &db);
    std::int64_t initials = -1;
    {
        Statement select(db, "SELECT initials FROM songs WHERE id = :id");
        select.bind(":id", id);
        if (select.step() == SQLITE_ROW) initials = select.integer(0);
    }
    sqlite3_close(db);
    return initials;
}

class LibraryMigration : public ::testing::TestWithParam<int> {};

TEST_P(LibraryMigration, AnEarlierDatabaseKeepsItsSongsCuesAndLoopsAndGainsTheLibrary) {
    QTemporaryDir dir;
    const QString path = dir.filePath("library.sqlite");
    makeOldDatabase(path, GetParam());
    {
        Library library(path);
        ASSERT_TRUE(library.isOpen()) << library.notice().toStdString();
        EXPECT_TRUE(library.notice().isEmpty());  // migrated, not set aside
        EXPECT_EQ(library.songCount(), 2);
        const std::optional<SongRow> old = library.song("/old/song.mp3");
        ASSERT_TRUE(old);
        EXPECT_EQ(old->id, 7);
        EXPECT_EQ(old->key, -1);
        EXPECT_EQ(old->playCount, 0);
        EXPECT_TRUE(library.knownFiles().isEmpty());  // never scanned: read on the next scan
        if (GetParam() >= 3) {
            // The text the row had before songs had initials was given its own.
            EXPECT_EQ(initialsOf(path, 7), (1 << initialBit('o')) | (1 << initialBit('a')));
            EXPECT_EQ(old->rating, 4);
            EXPECT_EQ(library.history().size(), 1u);
            EXPECT_EQ(library.crate("Warm-up"), std::vector<QString>{"/old/other.mp3"});
            // The texts already there are found by their fragments before any rescan.
            EXPECT_EQ(found(library, "rtis"), std::set<QString>{"/old/song.mp3"});
        }
        if (GetParam() >= 4) {
            EXPECT_EQ(library.song("/old/other.mp3")->missingSince, 6000);
        }
        // No folder is watched until the DJ says so; then it is remembered.
        EXPECT_TRUE(library.watchedFolders().empty());
        library.addWatchedFolder("/old/music/");
        library.addWatchedFolder("/old/music");
        ASSERT_TRUE(library.writer().flush());
        EXPECT_EQ(library.watchedFolders(), std::vector<QString>{"/old/music"});
        // A scan fills the old row in, and the index finds it.
        library.store(songFacts("/old/song.mp3", "Old Artist", "Old Title", 90));
        library.addHeard("/old/song.mp3", 5000);
        ASSERT_TRUE(library.writer().flush());
        EXPECT_EQ(library.song("/old/song.mp3")->id, 7);
        EXPECT_EQ(found(library, "old").size(), 1u);
        // A song scanned in with no tempo waits for the analysis until it has tried it.
        library.store(songFacts("/old/new.mp3", "New", "Song"));
        ASSERT_TRUE(library.writer().flush());
        EXPECT_EQ(library.songsToAnalyse(), std::vector<QString>{"/old/new.mp3"});
        library.setAnalysis("/old/new.mp3", std::nullopt, std::nullopt, 3, std::nullopt);
        ASSERT_TRUE(library.writer().flush());
        EXPECT_TRUE(library.songsToAnalyse().empty());
    }
    SongStore store(path);
    ASSERT_TRUE(store.isOpen());
    EXPECT_EQ(store.hotCues("/old/song.mp3")[2], 1234);
    if (GetParam() >= 2) {
        EXPECT_EQ(store.loop("/old/song.mp3"), (SavedLoop{100, 900}));
    }
    EXPECT_TRUE(store.setLoop("/old/other.mp3", {0, 10}));
    sqlite3* db = nullptr;
    ASSERT_EQ(sqlite3_open(path.toUtf8().constData(), &db), SQLITE_OK);
    sqlite3_stmt* version = nullptr;
    sqlite3_prepare_v2(db, "PRAGMA user_version", -1, &version, nullptr);
    ASSERT_EQ(sqlite3_step(version), SQLITE_ROW);
    EXPECT_EQ(sqlite3_column_int(version, 0), kSchemaVersion);
    sqlite3_finalize(version);
    sqlite3_close(db);
}

INSTANTIATE_TEST_SUITE_P(FromEveryEarlierVersion, LibraryMigration,
                         ::testing::Values(1, 2, 3, 4, 5, 6, 7));

}  // namespace
}  // namespace kelvra::library
