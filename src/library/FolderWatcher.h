// Keeps the library in step with its watched folders while the program runs: a song file copied
// in, retagged, renamed, moved within the folders or deleted shows in the library a moment later,
// without the DJ asking for a scan. Every folder of each watched tree is watched (new ones as
// they appear), and each song file too where the system allows, since a tag edited in place
// changes no folder. What changed is rescanned on a thread of its own, never the UI thread, once
// changes have been quiet for a short while; a file whose size or time still moves at that look
// (a copy under way) is read at a later one, once it stands still.
// Thread: made and called on the UI thread; its timer runs on the program's clock there.
#pragma once

#include <QObject>
#include <QSet>
#include <QString>
#include <QStringList>
#include <atomic>
#include <cstdint>
#include <memory>

class QThread;

namespace kelvra {
class Clock;
class Timer;
}  // namespace kelvra
namespace kelvra::audio {
class AudioLibrary;
}
namespace kelvra::audio::analysis {
class AnalysisCache;
}

namespace kelvra::library {

class Library;

class FolderWatcher : public QObject {
    Q_OBJECT

  public:
    // `tags` reads the songs' tags on the watcher's thread and on no other. `cache` may be null
    // (no analysis results to take). `library` and `cache` outlive the watcher.
    FolderWatcher(Library& library, Clock& clock, std::unique_ptr<audio::AudioLibrary> tags,
                  const audio::analysis::AnalysisCache* cache, QObject* parent = nullptr);
    // Cuts a running scan short and waits for it.
    ~FolderWatcher() override;

    // Watches every folder the library remembers and rescans each at once, so what changed while
    // the program was closed comes in too.
    void start();
    // Remembers `folder` in the library, watches it and scans it at once.
    bool addFolder(const QString& folder);
    // Forgets `folder` and stops watching it; its songs stay in the library.
    bool removeFolder(const QString& folder);

    // Nothing waits for its quiet spell or is being scanned.
    bool idle() const { return !busy_ && pending_.isEmpty(); }

    // How long changes must be quiet before the folder is rescanned: long enough for a burst of
    // files dropped in at once to be taken in one batch, short enough to feel immediate.
    static constexpr int kQuietMs = 400;
    // A folder that never goes quiet (a long copy, file after file) is rescanned at least this
    // often all the same, so the songs already in show up.
    static constexpr int kLongestWaitMs = 3000;

  signals:
    // A batch of changes was committed to the library: lists of songs may be out of date.
    void libraryChanged();
    // A change was seen in a watched folder; its rescan follows once changes are quiet.
    void changeNoticed();
    // A batch was scanned, whether it changed anything or not.
    void batchDone();

  private:
    class Worker;
    void sendRoots();
    void notice(const QString& folder);
    void queue(const QStringList& folders);
    void dispatch();
    void finished(bool changed, const QStringList& waiting);

    Library& library_;
    Clock& clock_;
    std::unique_ptr<Timer> quiet_;
    QStringList roots_;              // the watched folders
    QSet<QString> pending_;          // folders to rescan
    std::int64_t pendingSince_ = 0;  // when the oldest of them was noticed
    bool busy_ = false;              // a batch is with the worker
    std::atomic<bool> stopping_{false};
    Worker* worker_ = nullptr;  // lives on thread_
    QThread* thread_ = nullptr;
};

}  // namespace kelvra::library
