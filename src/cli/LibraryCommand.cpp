// library scan DIR... | analyse | search QUERY... | export-history | check: the DJ's music library
// from the command line, in the database the desktop program uses (or the one --db names).
//   scan: adds the folders' songs; progress and problems on standard error. Exit 1 when a folder
//         cannot be read or the scan had to stop (the disk full), 0 otherwise. With --analyse,
//         the analysis follows.
//   analyse: gives the songs with no analysis yet their tempo and key; progress and a summary on
//         standard error. A song that cannot be read is counted, not a failure: exit 1 only when
//         the database could not be read or written. Scan and analyse are the only commands
//         that set a damaged database aside (and say so, naming both files).
//   search: one tab-separated line per song: path, artist, title, bpm, key, seconds. A tab, a line
//         break, any other control byte and the backslash in a path or text are written as \t,
//         \n, \r, \xHH and \\, so every song is one line of six fields. Exit 1 when the
//         database could not be read to the end (damaged), after the rows it gave.
//   export-history: the sets heard (all, or --set N counted from the oldest) as M3U, CUE or CSV.
//   check: the whole check of the database, read-only; exit 1 with what is wrong when damaged.
#include <chrono>
#include <cstdio>
#include <memory>

#include <sys/stat.h>
#include <QStringList>

#include "audio/CreateAudioLibrary.h"
#include "audio/analysis/AnalysisCache.h"
#include "audio/analysis/KeyNames.h"
#include "cli/Commands.h"
#include "core/PathBytes.h"
#include "core/Rounding.h"
#include "library/Database.h"
#include "library/HistoryExport.h"
#include "library/Library.h"
#include "library/LibraryAnalyser.h"
#include "library/Scanner.h"
#include "library/SearchQuery.h"
#include "library/SongStore.h"

namespace kelvra::cli {
namespace {

constexpr const char* kUsage =
    "usage: kelvra-cli library scan DIR... [--db FILE] [--analyse]\n"
    "       kelvra-cli library analyse [--db FILE]\n"
    "       kelvra-cli library search QUERY... [--db FILE]\n"
    "       kelvra-cli library export-history [--db FILE] [--format m3u|cue|csv] [--set N]\n"
    "       kelvra-cli library check [--db FILE]\n";

struct Words {
    QString db = library::SongStore::defaultPath();
    QString format = QStringLiteral("m3u");
    int set = 0;
    bool analyse = false;
    std::vector<QString> operands;
};

int usage(const std::string& why = {}) {
    if (!why.empty()) std::fprintf(stderr, "kelvra-cli: library: %s\n", why.c_str());
    std::fputs(kUsage, stderr);
    return 2;
}

// --db, --format, --set and --analyse anywhere; every other word is an operand (a folder, a
// query word).
bool readWords(const Args& args, Words& words, std::string& why) {
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& word = args[i];
        if (word == "--analyse") {
            words.analyse = true;
            continue;
        }
        const bool option = word == "--db" || word == "--format" || word == "--set";
        if (!option) {
            if (word.rfind("--", 0) == 0 && word.size() > 2) {
                why = "unknown option '" + word + "'";
                return false;
            }
            words.operands.push_back(pathFromBytes(QByteArray::fromStdString(word)));
            continue;
        }
        if (i + 1 >= args.size()) {
            why = word + " needs a value";
            return false;
        }
        const std::string& value = args[++i];
        if (word == "--db") words.db = pathFromBytes(QByteArray::fromStdString(value));
        if (word == "--format") words.format = QString::fromStdString(value);
        if (word == "--set") {
            bool ok = false;
            words.set = QString::fromStdString(value).toInt(&ok);
            if (!ok || words.set < 1) {
                why = "--set takes a set number from 1, not '" + value + "'";
                return false;
            }
        }
    }
    return true;
}

void write(const QByteArray& bytes, std::FILE* to) {
    std::fwrite(bytes.constData(), 1, std::size_t(bytes.size()), to);
}

// A field of a search line: its bytes, with what would split the line or the fields escaped.
QByteArray field(const QByteArray& bytes) {
    QByteArray out;
    out.reserve(bytes.size());
    for (const char c : bytes) {
        const auto byte = static_cast<unsigned char>(c);
        if (c == '\\') {
            out += "\\\\";
        } else if (c == '\t') {
            out += "\\t";
        } else if (c == '\n') {
            out += "\\n";
        } else if (c == '\r') {
            out += "\\r";
        } else if (byte < 0x20 || byte == 0x7f) {
            char escaped[5];
            std::snprintf(escaped, sizeof escaped, "\\x%02x", byte);
            out += escaped;
        } else {
            out += c;
        }
    }
    return out;
}

// The library open, or a message and null. A file set aside is said, and the work goes on.
std::unique_ptr<library::Library> openLibrary(const QString& path, library::Access access) {
    auto opened = std::make_unique<library::Library>(path, access);
    if (!opened->notice().isEmpty())
        std::fprintf(stderr, "kelvra-cli: library: %s\n", opened->notice().toUtf8().constData());
    if (!opened->isOpen()) {
        if (opened->notice().isEmpty())
            std::fprintf(stderr, "kelvra-cli: library: cannot open '%s'\n",
                         readablePath(path).toUtf8().constData());
        return nullptr;
    }
    return opened;
}

// The analysis of every song that wants one, with its progress and summary on standard error.
int analyse(library::Library& library) {
    const audio::analysis::AnalysisCache cache(audio::analysis::AnalysisCache::defaultFolder());
    // Songs the cache holds go by in a moment: a line at most this often, as the scan's.
    constexpr auto kProgressInterval = std::chrono::milliseconds(200);
    auto lastReport = std::chrono::steady_clock::now() - kProgressInterval;
    library::AnalysisCounts last;
    const bool written =
        library::analyseLibrary(library, cache, [&](const library::AnalysisCounts& counts) {
            last = counts;
            const auto now = std::chrono::steady_clock::now();
            if (counts.done() == counts.total || now - lastReport < kProgressInterval) return;
            lastReport = now;
            std::fprintf(stderr, "analyse: %s\n",
                         library::analysisText(counts).toUtf8().constData());
            std::fflush(stderr);
        });
    if (!library.readFailure().isEmpty()) {
        std::fprintf(stderr, "kelvra-cli: library: the songs to analyse could not be read: %s\n",
                     library.readFailure().toUtf8().constData());
        return 1;
    }
    if (!written) {
        std::fprintf(stderr, "kelvra-cli: library: the analysis stopped: %s\n",
                     library.writer().failure().toUtf8().constData());
        return 1;
    }
    std::fprintf(stderr,
                 "analyse: done: %lld songs, %lld with a tempo, %lld with no steady beat, %lld "
                 "could not be read\n",
                 static_cast<long long>(last.total), static_cast<long long>(last.tempo),
                 static_cast<long long>(last.noTempo), static_cast<long long>(last.unreadable));
    return 0;
}

int scan(const Words& words) {
    if (words.operands.empty()) return usage("scan needs a folder");
    int status = 0;
    QStringList folders;
    for (const QString& folder : words.operands) {
        struct stat info {};
        if (::stat(pathToBytes(folder).constData(), &info) == 0 && S_ISDIR(info.st_mode)) {
            folders << folder;
        } else {
            std::fprintf(stderr, "kelvra-cli: library: '%s' is not a folder\n",
                         readablePath(folder).toUtf8().constData());
            status = 1;
        }
    }
    const auto opened = openLibrary(words.db, library::Access::Writing);
    if (!opened) return 1;
    const std::unique_ptr<audio::AudioLibrary> tags = audio::createAudioLibrary();
    const audio::analysis::AnalysisCache cache(audio::analysis::AnalysisCache::defaultFolder());
    library::Scanner scanner(*opened, *tags, &cache);
    const bool finished = scanner.scan(folders, [](const library::ScanCounts& counts) {
        std::fprintf(stderr, "scan: %lld found, %lld unchanged, %lld stored\n",
                     static_cast<long long>(counts.found), static_cast<long long>(counts.unchanged),
                     static_cast<long long>(counts.stored));
        std::fflush(stderr);
    });
    for (const QString& problem : scanner.problems())
        std::fprintf(stderr, "kelvra-cli: library: %s\n", problem.toUtf8().constData());
    const library::ScanCounts& counts = scanner.counts();
    if (!finished) {
        std::fprintf(stderr,
                     "kelvra-cli: library: the scan stopped: %s. The %lld songs stored before "
                     "are kept.\n",
                     scanner.failure().toUtf8().constData(), static_cast<long long>(counts.stored));
        return 1;
    }
    std::fprintf(stderr,
                 "scan: done: %lld found, %lld added, %lld updated, %lld moved, %lld unchanged, "
                 "%lld unreadable\n",
                 static_cast<long long>(counts.found), static_cast<long long>(counts.added),
                 static_cast<long long>(counts.updated), static_cast<long long>(counts.moved),
                 static_cast<long long>(counts.unchanged),
                 static_cast<long long>(counts.unreadable));
    if (words.analyse && analyse(*opened) != 0) return 1;
    // Songs kept because their folder could not be read are not all there is to be had.
    return counts.unreached > 0 ? 1 : status;
}

int analyseSongs(const Words& words) {
    if (!words.operands.empty()) return usage("analyse takes no operand");
    const auto opened = openLibrary(words.db, library::Access::Writing);
    return opened ? analyse(*opened) : 1;
}

int search(const Words& words) {
    QStringList text;
    for (const QString& word : words.operands)
        text << word;
    const library::SearchQuery query = library::parseSearchQuery(text.join(u' '));
    if (!query.error.isEmpty()) return usage(query.error.toStdString());
    const auto opened = openLibrary(words.db, library::Access::Reading);
    if (!opened) return 1;
    for (const library::SongRow& song : opened->search(query, 100000)) {
        const std::string bpm =
            song.bpm ? QByteArray::number(*song.bpm, 'f', 2).toStdString() : std::string("-");
        const std::string key =
            song.key >= 0 ? audio::analysis::keyWheel(song.key) : std::string("-");
        write(field(pathToBytes(song.path)), stdout);
        std::printf("\t%s\t%s\t%s\t%s\t%lld\n", field(song.artist.toUtf8()).constData(),
                    field(song.title.toUtf8()).constData(), bpm.c_str(), key.c_str(),
                    static_cast<long long>(roundEven(song.seconds)));
    }
    // Rows a damaged database still gave are listed, but never passed off as all there is.
    if (!opened->readFailure().isEmpty()) {
        std::fprintf(stderr, "kelvra-cli: library: the search stopped early: %s\n",
                     opened->readFailure().toUtf8().constData());
        return 1;
    }
    return 0;
}

int exportHistory(const Words& words) {
    if (!words.operands.empty()) return usage("export-history takes no operand");
    const std::optional<library::ExportFormat> format = library::exportFormatNamed(words.format);
    if (!format)
        return usage("--format takes m3u, cue or csv, not '" + words.format.toStdString() + "'");
    const auto opened = openLibrary(words.db, library::Access::Reading);
    if (!opened) return 1;
    std::vector<library::HistorySet> sets = library::historySets(opened->history());
    if (!opened->readFailure().isEmpty()) {
        std::fprintf(stderr, "kelvra-cli: library: the history could not be read: %s\n",
                     opened->readFailure().toUtf8().constData());
        return 1;
    }
    if (words.set > 0) {
        if (words.set > int(sets.size())) {
            std::fprintf(stderr, "kelvra-cli: library: there is no set %d (the history has %zu)\n",
                         words.set, sets.size());
            return 1;
        }
        sets = {sets[std::size_t(words.set - 1)]};
    }
    std::vector<QString> left;
    write(library::exportSets(sets, *format, &left), stdout);
    for (const QString& path : left)
        std::fprintf(stderr,
                     "kelvra-cli: library: left out of the playlist, its name holds a line break: "
                     "%s\n",
                     field(pathToBytes(path)).constData());
    return left.empty() ? 0 : 1;
}

int check(const Words& words) {
    if (!words.operands.empty()) return usage("check takes no operand");
    const QStringList problems = library::databaseProblems(words.db);
    if (problems.isEmpty()) {
        std::fprintf(stderr, "library: \"%s\" is sound\n",
                     readablePath(words.db).toUtf8().constData());
        return 0;
    }
    std::fprintf(stderr, "kelvra-cli: library: the song database \"%s\" is damaged:\n",
                 readablePath(words.db).toUtf8().constData());
    for (const QString& problem : problems)
        std::fprintf(stderr, "  %s\n", problem.toUtf8().constData());
    std::fprintf(stderr, "%s\n", library::recoveryAdvice().toUtf8().constData());
    return 1;
}

}  // namespace

int libraryCommand(const Args& args) {
    if (args.empty()) return usage();
    Words words;
    std::string why;
    if (!readWords(Args(args.begin() + 1, args.end()), words, why)) return usage(why);
    if (args[0] == "scan") return scan(words);
    if (args[0] == "analyse") return analyseSongs(words);
    if (args[0] == "search") return search(words);
    if (args[0] == "export-history") return exportHistory(words);
    if (args[0] == "check") return check(words);
    return usage("unknown library command '" + args[0] + "'");
}

}  // namespace kelvra::cli
