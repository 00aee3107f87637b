// Analyses the songs the decks load on one worker thread at idle priority, so an analysis never
// takes time from playback. One job per deck: a newer request for a deck supersedes (and stops)
// the older one. Results reach the owner's thread as finished, immutable snapshots. Songs added
// to the playlist are analysed into the cache when no deck is waiting, so the song the Auto-DJ
// or the DJ loads next usually has its waveform and loudness at once. Last come the songs nobody
// has asked for yet (the library's), one at a time when neither a deck nor the playlist waits.
// Threads: the public methods and the signal belong to the thread that owns the object; the
// worker touches only files and its own state, never the engine or the audio callback.
#pragma once

#include <QObject>
#include <QString>
#include <QStringList>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <optional>
#include <stop_token>

#include "audio/analysis/AnalysisCache.h"
#include "audio/analysis/SongAnalysis.h"
#include "core/Side.h"

class QThread;

namespace kelvra::audio::analysis {

class BackgroundAnalyser : public QObject {
    Q_OBJECT
  public:
    explicit BackgroundAnalyser(AnalysisCache cache, QObject* parent = nullptr);
    // Stops the running analysis and waits for the worker.
    ~BackgroundAnalyser() override;

    // Analyses `path` for `side` (from the cache when it holds the file as it is now).
    void requestAnalysis(Side side, const QString& path);
    // Forgets the deck's request; its result, if one is on the way, is not delivered.
    void cancel(Side side);
    // Analyses `paths` into the cache, in order, whenever no deck request waits; a deck request
    // interrupts one of these and it is taken up again afterwards. Each result comes through
    // warmed().
    void warmCache(const QStringList& paths);
    // Songs waiting to be analysed into the cache (the one being analysed included).
    int warmingCount() const;
    // Analyses `paths` into the cache, in order, when neither a deck request nor a song of
    // warmCache() waits: either interrupts one of these, which is taken up again afterwards.
    // Each comes back through idleAnalysed(), a file that could not be read too.
    void analyseWhenIdle(const QStringList& paths);
    // Songs of analyseWhenIdle() still to come back (the one being analysed included).
    int idleCount() const;
    // The most the cache keeps on disk, in bytes (from the options, once they are read).
    void setCacheSizeLimit(std::int64_t bytes) { cache_.setSizeLimit(bytes); }

  signals:
    // The latest request for `side` is done; `result` is null when the file could not be read.
    void analysed(kelvra::Side side, const QString& path,
                  kelvra::audio::analysis::AnalysisSnapshot result);
    // A song of warmCache() is in the cache (not sent for a file that could not be read).
    void warmed(const QString& path, kelvra::audio::analysis::AnalysisSnapshot result);
    // A song of analyseWhenIdle() is done; `result` is null when the file could not be read.
    void idleAnalysed(const QString& path, kelvra::audio::analysis::AnalysisSnapshot result);

  private:
    struct Job {
        std::optional<QString> pending;
        unsigned generation = 0;
        std::stop_source running;
    };
    void work();
    bool deckWaiting() const { return jobs_[0].pending || jobs_[1].pending; }
    void deliver(Side side, unsigned generation, const QString& path, AnalysisSnapshot result);

    const AnalysisCache cache_;
    mutable std::mutex mutex_;
    std::condition_variable wake_;
    Job jobs_[2];
    bool shuttingDown_ = false;
    int nextSide_ = 0;
    // The front of each is the one being analysed, if any.
    std::deque<QString> warming_;
    std::deque<QString> idle_;
    bool analysingIdle_ = false;  // the song being analysed is idle_'s front
    std::stop_source warmStop_;   // stops the song of either being analysed
    QThread* thread_ = nullptr;
};

}  // namespace kelvra::audio::analysis
