// The library's scan and search, each timed beside a baseline on the same machine and files:
//   scan: N tagged MP3s (audio made by ffmpeg once, each file given its own ID3v2 tag) scanned
//         into a fresh database, beside `find | xargs stat` of the same tree; files per second,
//         the minimum and median of several runs, and their ratio.
//   search: 100,000 synthetic rows, the queries a DJ types one key at a time ("d", "da", "daf",
//         ...); the 99th percentile per query length beside a plain SELECT count(*).
//   fragments: the same rows, fragments inside words ("aft", "echn") beside the word starts of
//         the same words ("daf", "tech") in one run; the minimum and median of each.
//   typing: 1,000,000 synthetic rows, several phrases typed one key at a time as the library
//         window lists them (its default page); each run's 99th percentile over every keystroke
//         beside the same run's SELECT count(*), the minimum and median of the runs.
//   copies: C empty song files (copies print alike) scanned into a fresh database, beside C files
//         that differ; files per second of each and their ratio, near 1 when a scan is linear
//         in the copies.
//   opening: the quick check an opening runs over a library of M synthetic rows, in
//         milliseconds, beside opening it at all.
//   --make-library FILE: only makes (or keeps) a synthetic library of M rows at FILE, for the
//         start-up bench.
// Usage: library_bench [--songs N] [--runs R] [--rows M] [--typing-rows T] [--copies C]
//                      [--dir FOLDER]
//        library_bench --make-library FILE [--rows M]
#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QString>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "BenchLibrary.h"
#include "audio/CreateAudioLibrary.h"
#include "library/Library.h"
#include "library/Scanner.h"
#include "library/SearchQuery.h"

namespace {

using Clock = std::chrono::steady_clock;
using namespace kelvra;

double seconds(Clock::time_point since) {
    return std::chrono::duration<double>(Clock::now() - since).count();
}

QByteArray textFrame(const char* id, const QByteArray& latin1) {
    QByteArray body = '\0' + latin1;  // encoding 0: one byte per character
    const auto size = quint32(body.size());
    return QByteArray(id) + char(size >> 24) + char(size >> 16) + char(size >> 8) + char(size) +
           QByteArray(2, '\0') + body;
}

QByteArray id3v2(const QByteArray& artist, const QByteArray& title, const QByteArray& album) {
    const QByteArray frames =
        textFrame("TPE1", artist) + textFrame("TIT2", title) + textFrame("TALB", album);
    const auto size = quint32(frames.size());
    return QByteArray("ID3\x03\x00\x00", 6) + char((size >> 21) & 0x7F) +
           char((size >> 14) & 0x7F) + char((size >> 7) & 0x7F) + char(size & 0x7F) + frames;
}

// The tree of `songs` files under `dir`/tree, made once and reused by later runs.
bool makeTree(const QString& dir, int songs) {
    const QString tree = dir + "/tree";
    const QString marker = tree + QString("/.made-%1").arg(songs);
    if (QFile::exists(marker)) return true;
    QDir(tree).removeRecursively();
    QDir().mkpath(tree);
    const QString audio = dir + "/audio.mp3";
    const std::string make =
        "ffmpeg -loglevel error -y -f lavfi -i sine=f=440:d=2 -ac 2 -b:a 128k "
        "-id3v2_version 0 -write_xing 1 '" +
        audio.toStdString() + "'";
    if (std::system(make.c_str()) != 0) return false;
    QFile file(audio);
    if (!file.open(QIODevice::ReadOnly)) return false;
    const QByteArray body = file.readAll();
    for (int i = 0; i < songs; ++i) {
        const QString folder = QString("%1/artist%2/album%3").arg(tree).arg(i % 200).arg(i % 7);
        QDir().mkpath(folder);
        QFile song(QString("%1/track%2.mp3").arg(folder).arg(i));
        if (!song.open(QIODevice::WriteOnly)) return false;
        song.write(id3v2("Artist " + QByteArray::number(i % 200), "Title " + QByteArray::number(i),
                         "Album " + QByteArray::number(i % 7)));
        song.write(body);
        song.write(QByteArray::number(i));  // no two files alike
    }
    QFile(marker).open(QIODevice::WriteOnly);
    return true;
}

void scanBench(const QString& dir, int songs, int runs) {
    if (!makeTree(dir, songs)) {
        std::fputs("library_bench: cannot make the song tree (is ffmpeg installed?)\n", stderr);
        return;
    }
    const QString tree = dir + "/tree";
    const std::unique_ptr<audio::AudioLibrary> tags = audio::createAudioLibrary();
    std::vector<double> scanRates, statRates;
    const std::string stat =
        "find '" + tree.toStdString() + "' -type f -print0 | xargs -0 stat > /dev/null";
    for (int run = 0; run < runs; ++run) {
        for (const char* suffix : {"", "-wal", "-shm"})
            QFile::remove(dir + "/bench.sqlite" + suffix);
        auto start = Clock::now();
        {
            library::Library library(dir + "/bench.sqlite");
            library::Scanner scanner(library, *tags, nullptr);
            scanner.scan({tree});
            if (scanner.counts().added != songs)
                std::fprintf(stderr, "library_bench: %lld added of %d\n",
                             static_cast<long long>(scanner.counts().added), songs);
        }
        scanRates.push_back(songs / seconds(start));
        start = Clock::now();
        if (std::system(stat.c_str()) != 0) std::fputs("library_bench: stat failed\n", stderr);
        statRates.push_back(songs / seconds(start));
    }
    // A rescan of the unchanged tree: what starting the program over a known library costs.
    auto start = Clock::now();
    {
        library::Library library(dir + "/bench.sqlite");
        library::Scanner(library, *tags, nullptr).scan({tree});
    }
    const double rescan = songs / seconds(start);
    const double scanMedian = bench::percentile(scanRates, 0.5),
                 statMedian = bench::percentile(statRates, 0.5);
    std::printf("scan of %d tagged MP3s, %d runs (files/s)\n", songs, runs);
    std::printf("  library scan      min %8.0f  median %8.0f\n",
                *std::min_element(scanRates.begin(), scanRates.end()), scanMedian);
    std::printf("  find | xargs stat min %8.0f  median %8.0f\n",
                *std::min_element(statRates.begin(), statRates.end()), statMedian);
    std::printf("  scan / stat (medians) %.3f\n", scanMedian / statMedian);
    std::printf("  rescan, all unchanged  %8.0f files/s\n", rescan);
}

// Scans `files` song files into a fresh database, empty when `alike`; files per second.
double copiesScan(const QString& dir, int files, bool alike) {
    const QString tree = dir + (alike ? "/copies" : "/distinct");
    QDir(tree).removeRecursively();
    QDir().mkpath(tree);
    for (int i = 0; i < files; ++i) {
        QFile song(tree + QString("/%1.mp3").arg(i));
        if (!song.open(QIODevice::WriteOnly)) return 0;
        if (!alike) song.write(QByteArray::number(i));
    }
    const std::unique_ptr<audio::AudioLibrary> tags = audio::createAudioLibrary();
    for (const char* suffix : {"", "-wal", "-shm"})
        QFile::remove(dir + "/copies.sqlite" + suffix);
    const auto start = Clock::now();
    {
        library::Library library(dir + "/copies.sqlite");
        library::Scanner scanner(library, *tags, nullptr);
        scanner.scan({tree});
        if (scanner.counts().added != files)
            std::fprintf(stderr, "library_bench: %lld added of %d\n",
                         static_cast<long long>(scanner.counts().added), files);
    }
    return files / seconds(start);
}

void copiesBench(const QString& dir, int files) {
    const double alike = copiesScan(dir, files, true), distinct = copiesScan(dir, files, false);
    std::printf("scan of %d empty files (one print) beside %d that differ (files/s)\n", files,
                files);
    std::printf("  copies %8.0f  distinct %8.0f  ratio %.2f\n", alike, distinct, alike / distinct);
}

void openingBench(const QString& dir, int rows, int runs) {
    const QString path = dir + "/search.sqlite";
    if (!bench::syntheticLibrary(path, rows)) return;
    std::vector<double> opens, checks;
    for (int run = 0; run < runs; ++run) {
        auto start = Clock::now();
        sqlite3* db = nullptr;
        sqlite3_open(path.toUtf8().constData(), &db);
        sqlite3_exec(db, "SELECT count(*) FROM sqlite_master", nullptr, nullptr, nullptr);
        opens.push_back(seconds(start) * 1000);
        start = Clock::now();
        sqlite3_exec(db, "PRAGMA quick_check(1)", nullptr, nullptr, nullptr);
        checks.push_back(seconds(start) * 1000);
        sqlite3_close(db);
    }
    std::vector<double> whole;
    for (int run = 0; run < runs; ++run) {
        const auto start = Clock::now();
        library::Library library(path, library::Access::Reading);
        whole.push_back(seconds(start) * 1000);
    }
    QFile file(path);
    std::printf("opening a library of %d rows (%.0f MB), %d runs (ms, median)\n", rows,
                double(file.size()) / 1e6, runs);
    std::printf("  open %.2f  quick check %.1f  the library's whole opening %.1f\n",
                bench::percentile(opens, 0.5), bench::percentile(checks, 0.5),
                bench::percentile(whole, 0.5));
}

void searchBench(const QString& dir, int rows) {
    const QString path = dir + "/search.sqlite";
    const auto start = Clock::now();
    if (!bench::syntheticLibrary(path, rows)) {
        std::fputs("library_bench: cannot make the search rows\n", stderr);
        return;
    }
    library::Library library(path);
    std::printf("search over %d rows (made or found in %.1f s)\n", rows, seconds(start));
    const double countP99 = bench::countP99(path, 200);
    std::printf("  SELECT count(*)         p99 %8.3f ms\n", countP99);
    // What the DJ types, one key at a time; each prefix is one query, limited as a list view
    // would show it.
    const std::vector<std::string> typed = {"daft punk", "deep house bpm:120-128", "techno key:8A"};
    for (const std::string& text : typed) {
        for (std::size_t length = 1; length <= text.size(); ++length) {
            const std::string prefix = text.substr(0, length);
            if (prefix.back() == ' ' || prefix.back() == ':' || prefix.back() == '-') continue;
            const library::SearchQuery query =
                library::parseSearchQuery(QString::fromStdString(prefix));
            if (!query.error.isEmpty()) continue;  // "bpm:12" reads, "key:8" does not
            std::vector<double> times;
            std::size_t found = 0;
            for (int i = 0; i < 30; ++i) {
                const auto t = Clock::now();
                found = library.search(query, 200).size();
                times.push_back(seconds(t) * 1000);
            }
            const double p99 = bench::percentile(times, 0.99);
            std::printf("  %-24s p99 %8.3f ms  (%5.1fx count)  %zu shown\n",
                        ("\"" + prefix + "\"").c_str(), p99, p99 / countP99, found);
        }
    }
}

// Fragments inside words beside the word starts of the same words, interleaved in one run: the
// minimum and median of each query's times, and the songs the first page shows.
void fragmentBench(const QString& dir, int rows) {
    const QString path = dir + "/search.sqlite";
    if (!bench::syntheticLibrary(path, rows)) return;
    library::Library library(path);
    std::printf("fragments inside words beside word starts over %d rows (ms, min / median)\n",
                rows);
    const std::pair<const char*, const char*> pairs[] = {
        {"daf", "aft"}, {"hou", "ous"},    {"tech", "echn"},           {"elec", "ectr"},
        {"gro", "roo"}, {"dance", "ance"}, {"deep house", "eep ouse"}, {"mo", "oon"}};
    for (const auto& [starts, inside] : pairs) {
        std::vector<double> wordTimes, fragmentTimes;
        std::size_t wordShown = 0, fragmentShown = 0;
        const library::SearchQuery word = library::parseSearchQuery(starts);
        const library::SearchQuery fragment = library::parseSearchQuery(inside);
        for (int i = 0; i < 20; ++i) {
            auto t = Clock::now();
            wordShown = library.search(word, library::SongListing{}).size();
            wordTimes.push_back(seconds(t) * 1000);
            t = Clock::now();
            fragmentShown = library.search(fragment, library::SongListing{}).size();
            fragmentTimes.push_back(seconds(t) * 1000);
        }
        std::printf("  %-12s %7.2f / %7.2f (%3zu)   %-12s %7.2f / %7.2f (%3zu)\n",
                    ("\"" + std::string(starts) + "\"").c_str(),
                    *std::min_element(wordTimes.begin(), wordTimes.end()),
                    bench::percentile(wordTimes, 0.5), wordShown,
                    ("\"" + std::string(inside) + "\"").c_str(),
                    *std::min_element(fragmentTimes.begin(), fragmentTimes.end()),
                    bench::percentile(fragmentTimes, 0.5), fragmentShown);
    }
}

void typingBench(const QString& dir, int rows, int runs) {
    const QString path = dir + "/typing.sqlite";
    const auto start = Clock::now();
    if (!bench::syntheticLibrary(path, rows)) {
        std::fputs("library_bench: cannot make the typing rows\n", stderr);
        return;
    }
    std::printf("search as you type over %d rows, %d runs (made or found in %.1f s)\n", rows, runs,
                seconds(start));
    library::Library library(path);
    const std::vector<std::string> typed = {"daft punk", "deep house summer", "techno bpm:128",
                                            "moon 4021", "electric funk",     "vocal remix"};
    std::vector<double> searchP99s, countP99s, searchMedians;
    // Each keystroke's slowest time over the runs, to tell which ones the p99 is made of.
    std::vector<std::pair<double, std::string>> slowest;
    for (int run = 0; run < runs; ++run) {
        std::vector<double> keys;
        std::size_t key = 0;
        for (const std::string& text : typed) {
            for (std::size_t length = 1; length <= text.size(); ++length) {
                // Every keystroke is a query, as the window runs it; one that does not read
                // ("bpm:") lists nothing and costs nothing, so it is timed all the same.
                const std::string prefix = text.substr(0, length);
                const auto t = Clock::now();
                const library::SearchQuery query =
                    library::parseSearchQuery(QString::fromStdString(prefix));
                const std::size_t shown = library.search(query, library::SongListing{}).size();
                const double ms = seconds(t) * 1000;
                keys.push_back(ms);
                if (key == slowest.size())
                    slowest.push_back({ms, "\"" + prefix + "\" " + std::to_string(shown)});
                slowest[key].first = std::max(slowest[key].first, ms);
                ++key;
            }
        }
        searchP99s.push_back(bench::percentile(keys, 0.99));
        searchMedians.push_back(bench::percentile(keys, 0.5));
        countP99s.push_back(bench::countP99(path, 50));
    }
    const auto minOf = [](const std::vector<double>& values) {
        return *std::min_element(values.begin(), values.end());
    };
    std::printf("  keystroke p99       min %8.2f ms  median %8.2f ms\n", minOf(searchP99s),
                bench::percentile(searchP99s, 0.5));
    std::printf("  keystroke median    min %8.2f ms  median %8.2f ms\n", minOf(searchMedians),
                bench::percentile(searchMedians, 0.5));
    std::printf("  SELECT count(*) p99 min %8.2f ms  median %8.2f ms\n", minOf(countP99s),
                bench::percentile(countP99s, 0.5));
    std::printf("  p99 / count (medians) %.2f\n",
                bench::percentile(searchP99s, 0.5) / bench::percentile(countP99s, 0.5));
    std::sort(slowest.rbegin(), slowest.rend());
    std::printf("  slowest keystrokes (worst of the runs, songs shown):");
    for (std::size_t i = 0; i < std::min<std::size_t>(slowest.size(), 6); ++i)
        std::printf("%s %s %.1f ms", i ? "," : "", slowest[i].second.c_str(), slowest[i].first);
    std::printf("\n");
}

}  // namespace

int main(int argc, char** argv) {
    int songs = 10000, runs = 5, rows = 100000, typingRows = 1000000, copies = 4000;
    QString dir = QDir::tempPath() + "/kelvra-library-bench", made;
    for (int i = 1; i + 1 < argc; i += 2) {
        if (std::strcmp(argv[i], "--songs") == 0) songs = std::atoi(argv[i + 1]);
        if (std::strcmp(argv[i], "--runs") == 0) runs = std::atoi(argv[i + 1]);
        if (std::strcmp(argv[i], "--rows") == 0) rows = std::atoi(argv[i + 1]);
        if (std::strcmp(argv[i], "--typing-rows") == 0) typingRows = std::atoi(argv[i + 1]);
        if (std::strcmp(argv[i], "--copies") == 0) copies = std::atoi(argv[i + 1]);
        if (std::strcmp(argv[i], "--dir") == 0) dir = QString::fromLocal8Bit(argv[i + 1]);
        if (std::strcmp(argv[i], "--make-library") == 0) made = QString::fromLocal8Bit(argv[i + 1]);
    }
    if (!made.isEmpty()) return bench::syntheticLibrary(made, rows) ? 0 : 1;
    QDir().mkpath(dir);
    if (songs > 0 && runs > 0) scanBench(dir, songs, runs);
    if (copies > 0) copiesBench(dir, copies);
    if (rows > 0 && runs > 0) openingBench(dir, rows, runs);
    if (rows > 0) searchBench(dir, rows);
    if (rows > 0) fragmentBench(dir, rows);
    if (typingRows > 0 && runs > 0) typingBench(dir, typingRows, runs);
    return 0;
}
