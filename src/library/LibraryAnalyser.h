// Gives the library's songs their tempo and key: the scanned songs with no analysis yet are
// analysed (from the analysis cache when it holds them, into it otherwise) and what is found is
// written through the library's one writer. A song whose file cannot be read or has no steady
// beat is marked, so it is not tried at every start, only again once its file changes. The
// program's walk runs on the background analyser's idle thread, behind the decks and the
// playlist; the command line's runs in the calling thread.
// Thread: a LibraryAnalyser on the thread that owns the library's reads (the UI thread);
// analyseLibrary() on any one thread.
#pragma once

#include <QObject>
#include <QSet>
#include <QString>
#include <cstdint>
#include <functional>

#include "audio/analysis/SongAnalysis.h"

namespace kelvra::audio::analysis {
class AnalysisCache;
class BackgroundAnalyser;
}  // namespace kelvra::audio::analysis

namespace kelvra::library {

class Library;

struct AnalysisCounts {
    std::int64_t total = 0;       // songs the walk is to analyse
    std::int64_t tempo = 0;       // given a tempo
    std::int64_t noTempo = 0;     // read, with no steady beat
    std::int64_t unreadable = 0;  // could not be read
    std::int64_t done() const { return tempo + noTempo + unreadable; }
};

// "Analysing 12 of 340 songs" while the walk runs; what it came to once it is done.
QString analysisText(const AnalysisCounts& counts);

// Writes what the analysis of `path` found (`result` null: the file could not be read) and
// counts it in `counts` when given. False when the writer refused it.
bool recordAnalysis(Library& library, const QString& path,
                    const audio::analysis::AnalysisSnapshot& result,
                    AnalysisCounts* counts = nullptr);

class LibraryAnalyser : public QObject {
    Q_OBJECT
  public:
    // Both outlive the analyser.
    LibraryAnalyser(Library& library, audio::analysis::BackgroundAnalyser& analyser,
                    QObject* parent = nullptr);

    // Queues the songs that still want an analysis, behind those already queued: after every
    // scan and at start-up.
    void start();
    bool running() const { return counts_.done() < counts_.total; }
    const AnalysisCounts& counts() const { return counts_; }
    // For the library window's status line; empty until a walk had songs to analyse.
    QString text() const { return counts_.total > 0 ? analysisText(counts_) : QString(); }

  signals:
    void progressed();  // a walk began or took a song further
    void finished();    // the walk's last song is handed to the writer

  private:
    void analysed(const QString& path, const audio::analysis::AnalysisSnapshot& result);

    Library& library_;
    audio::analysis::BackgroundAnalyser& analyser_;
    QSet<QString> queued_;
    AnalysisCounts counts_;
};

// The command line's walk: every song that wants an analysis, one after the other. `progress`
// follows each song. False when the writer stopped (its failure() says why).
bool analyseLibrary(Library& library, const audio::analysis::AnalysisCache& cache,
                    const std::function<void(const AnalysisCounts&)>& progress = {});

}  // namespace kelvra::library
