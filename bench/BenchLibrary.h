// What the library benchmarks share: synthetic libraries of any size, made once and reused, and
// the plain count that every search figure is set beside.
#pragma once

#include <sqlite3.h>

#include <QFile>
#include <QString>
#include <algorithm>
#include <chrono>
#include <cmath>
#include <random>
#include <string>
#include <vector>

#include "library/Library.h"
#include "library/TextInitials.h"

namespace kelvra::bench {

inline double percentile(std::vector<double> values, double p) {
    std::sort(values.begin(), values.end());
    return values[std::size_t(std::nearbyint(p * double(values.size() - 1)))];
}

// `rows` synthetic songs in the database at `path`, made once and reused by later runs. Written
// straight into the songs table, the index and the initials kept by their triggers, which is what
// storing them one by one would leave, in a fraction of the time.
inline bool syntheticLibrary(const QString& path, int rows) {
    const QString marker = path + QString(".made-%1").arg(rows);
    if (QFile::exists(marker) && QFile::exists(path)) return true;
    for (const char* suffix : {"", "-wal", "-shm"})
        QFile::remove(path + suffix);
    { library::Library made(path); }  // the schema
    sqlite3* db = nullptr;
    if (sqlite3_open(path.toUtf8().constData(), &db) != SQLITE_OK || !library::addTextInitials(db))
        return false;
    std::mt19937 random(11);
    static const char* kWords[] = {
        "daft",  "punk",     "deep",     "house", "techno",  "love",   "night",  "dance",
        "soul",  "disco",    "acid",     "dub",   "minimal", "vocal",  "club",   "mix",
        "remix", "original", "summer",   "city",  "dream",   "fire",   "heart",  "sun",
        "blue",  "moon",     "electric", "funk",  "groove",  "motion", "trance", "future"};
    const auto word = [&] { return std::string(kWords[random() % std::size(kWords)]); };
    sqlite3_exec(db, "BEGIN", nullptr, nullptr, nullptr);
    sqlite3_stmt* insert = nullptr;
    sqlite3_prepare_v2(db,
                       "INSERT INTO songs (path, added, size, mtime, artist, title, album, genre,"
                       " seconds, bpm, musical_key) VALUES (?1, 0, 1, 1, ?2, ?3, ?4, ?5, 240,"
                       " ?6, ?7)",
                       -1, &insert, nullptr);
    bool ok = insert != nullptr;
    for (int i = 0; ok && i < rows; ++i) {
        const std::string values[] = {
            "/music/" + std::to_string(i % 2000) + "/" + std::to_string(i) + ".mp3",
            word() + ' ' + word() + ' ' + std::to_string(i % 30000),
            word() + ' ' + word() + ' ' + word(), word() + ' ' + std::to_string(i % 90000), word()};
        sqlite3_bind_blob(insert, 1, values[0].data(), int(values[0].size()), SQLITE_TRANSIENT);
        for (int column = 1; column < 5; ++column)
            sqlite3_bind_text(insert, column + 1, values[column].data(), int(values[column].size()),
                              SQLITE_TRANSIENT);
        sqlite3_bind_double(insert, 6, 90 + double(random() % 800) / 10);
        sqlite3_bind_int(insert, 7, int(random() % 24));
        ok = sqlite3_step(insert) == SQLITE_DONE;
        sqlite3_reset(insert);
    }
    sqlite3_finalize(insert);
    ok = ok && sqlite3_exec(db, "COMMIT; ANALYZE;", nullptr, nullptr, nullptr) == SQLITE_OK;
    sqlite3_close(db);
    if (ok) QFile(marker).open(QIODevice::WriteOnly);
    return ok;
}

// The 99th percentile of `times` plain SELECT count(*) over the songs, in milliseconds.
inline double countP99(const QString& path, int times) {
    sqlite3* db = nullptr;
    sqlite3_open(path.toUtf8().constData(), &db);
    std::vector<double> counts;
    for (int i = 0; i < times; ++i) {
        const auto t = std::chrono::steady_clock::now();
        sqlite3_exec(db, "SELECT count(*) FROM songs", nullptr, nullptr, nullptr);
        counts.push_back(
            std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - t)
                .count());
    }
    sqlite3_close(db);
    return percentile(counts, 0.99);
}

}  // namespace kelvra::bench
