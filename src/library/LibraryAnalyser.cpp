#include "library/LibraryAnalyser.h"

#include <sqlite3.h>

#include <QLocale>
#include <QStringList>
#include <cmath>

#include "audio/analysis/AnalysisCache.h"
#include "audio/analysis/BackgroundAnalyser.h"
#include "core/PathBytes.h"
#include "library/Database.h"
#include "library/Library.h"

namespace kelvra::library {
namespace {

QString songs(std::int64_t n) {
    return QLocale(QLocale::English).toString(qlonglong(n)) +
           QLatin1String(n == 1 ? " song" : " songs");
}

}  // namespace

QString analysisText(const AnalysisCounts& counts) {
    if (counts.done() < counts.total)
        return QStringLiteral("Analysing %1 of %2")
            .arg(QLocale(QLocale::English).toString(qlonglong(counts.done() + 1)),
                 songs(counts.total));
    QStringList parts;
    if (counts.noTempo > 0) parts << QStringLiteral("%1 with no steady beat").arg(counts.noTempo);
    if (counts.unreadable > 0)
        parts << QStringLiteral("%1 could not be read").arg(counts.unreadable);
    return songs(counts.done()) + QStringLiteral(" analysed") +
           (parts.isEmpty() ? QString() : QStringLiteral(": ") + parts.join(QStringLiteral(", ")));
}

bool recordAnalysis(Library& library, const QString& path,
                    const audio::analysis::AnalysisSnapshot& result, AnalysisCounts* counts) {
    if (!result) {
        if (counts) ++counts->unreadable;
        // Marked as the file is now: a file put right (or replaced) is tried again.
        return library.writer().submit([path = pathToBytes(path)](sqlite3* db) {
            Statement mark(db, "UPDATE songs SET analysis_failed = mtime WHERE path = :path");
            mark.bind(":path", path);
            return mark.step() == SQLITE_DONE;
        });
    }
    const bool beat = result->bpm > 0;
    if (counts) ++(beat ? counts->tempo : counts->noTempo);
    return library.setAnalysis(
        path, beat ? std::optional(result->bpm) : std::nullopt,
        beat ? std::optional(result->firstBeatSeconds) : std::nullopt, result->key,
        std::isfinite(result->lufs) ? std::optional(result->lufs) : std::nullopt);
}

LibraryAnalyser::LibraryAnalyser(Library& library, audio::analysis::BackgroundAnalyser& analyser,
                                 QObject* parent)
    : QObject(parent), library_(library), analyser_(analyser) {
    connect(&analyser_, &audio::analysis::BackgroundAnalyser::idleAnalysed, this,
            &LibraryAnalyser::analysed);
}

void LibraryAnalyser::start() {
    if (!library_.isOpen()) return;
    QStringList fresh;
    for (const QString& path : library_.songsToAnalyse())
        if (!queued_.contains(path)) fresh << path;
    if (fresh.isEmpty()) return;
    // A walk that is over leaves its counts for the status line until the next one begins.
    if (!running()) counts_ = {};
    counts_.total += fresh.size();
    for (const QString& path : fresh)
        queued_.insert(path);
    analyser_.analyseWhenIdle(fresh);
    emit progressed();
}

void LibraryAnalyser::analysed(const QString& path,
                               const audio::analysis::AnalysisSnapshot& result) {
    if (!queued_.remove(path)) return;
    recordAnalysis(library_, path, result, &counts_);
    emit progressed();
    if (!running()) emit finished();
}

bool analyseLibrary(Library& library, const audio::analysis::AnalysisCache& cache,
                    const std::function<void(const AnalysisCounts&)>& progress) {
    if (!library.isOpen()) return false;
    const std::vector<QString> paths = library.songsToAnalyse();
    AnalysisCounts counts;
    counts.total = std::int64_t(paths.size());
    if (progress) progress(counts);
    for (const QString& path : paths) {
        if (!recordAnalysis(library, path, audio::analysis::analyseCached(cache, path), &counts))
            break;
        if (progress) progress(counts);
    }
    return library.writer().flush();
}

}  // namespace kelvra::library
