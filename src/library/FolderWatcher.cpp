#include "library/FolderWatcher.h"

#include <QDateTime>
#include <QDir>
#include <QFileInfo>
#include <QFileSystemWatcher>
#include <QHash>
#include <QThread>
#include <algorithm>

#include "audio/AudioLibrary.h"
#include "core/Clock.h"
#include "core/PathBytes.h"
#include "library/Library.h"
#include "library/Scanner.h"

namespace kelvra::library {
namespace {

QString cleanFolder(const QString& folder) {
    return QDir::cleanPath(QDir(folder).absolutePath());
}

bool isBelow(const QString& path, const QString& folder) {
    return path == folder || (path.startsWith(folder) && path.size() > folder.size() &&
                              (folder.endsWith('/') || path.at(folder.size()) == '/'));
}

// The folders of `folders` that no other one contains: a rescan goes down the whole tree, so a
// folder below another one of the batch would only be walked twice.
QStringList outermost(QStringList folders) {
    std::sort(folders.begin(), folders.end());
    QStringList kept;
    for (const QString& folder : folders)
        if (kept.isEmpty() || !isBelow(folder, kept.back())) kept << folder;
    return kept;
}

}  // namespace

// What runs on the watcher's thread: the file system watch, whose news it passes to the UI
// thread, and the scans, whose results it reports there.
class FolderWatcher::Worker : public QObject {
  public:
    Worker(FolderWatcher& owner, Library& library, std::unique_ptr<audio::AudioLibrary> tags,
           const audio::analysis::AnalysisCache* cache)
        : owner_(owner), tags_(std::move(tags)), scanner_(library, *tags_, cache) {
        scanner_.setListing(true);
        scanner_.setStop(&owner.stopping_);
        scanner_.setReadyCheck(
            [this](const QString& path, const KnownFile& now) { return ready(path, now); });
    }

    // On the worker's thread, before anything else.
    void begin() {
        watch_ = new QFileSystemWatcher(this);
        const auto noticed = [this](const QString& folder) {
            QMetaObject::invokeMethod(&owner_,
                                      [owner = &owner_, folder] { owner->notice(folder); });
        };
        connect(watch_, &QFileSystemWatcher::directoryChanged, this, noticed);
        connect(watch_, &QFileSystemWatcher::fileChanged, this,
                [noticed](const QString& file) { noticed(QFileInfo(file).path()); });
    }
    // On the worker's thread, last: the watch goes with the thread it belongs to.
    void end() {
        delete watch_;
        watch_ = nullptr;
    }

    void setRoots(const QStringList& roots) {
        roots_ = roots;
        // A folder no longer kept is no longer watched (unless another root holds it).
        QStringList stale;
        for (const QStringList& paths : {watch_->directories(), watch_->files()})
            for (const QString& path : paths)
                if (!underRoot(path)) stale << path;
        if (!stale.isEmpty()) watch_->removePaths(stale);
    }

    void rescan(const QStringList& folders) {
        bool changed = false;
        QStringList waiting;
        for (const QString& folder : folders) {
            if (owner_.stopping_.load()) break;
            if (!underRoot(folder)) continue;
            if (!QFileInfo(folder).isDir()) {
                // Gone, or moved out of the tree: the folder above it, rescanned for the same
                // change, finds what went with it.
                rewatch(folder, {}, {});
                continue;
            }
            scanner_.scan({folder});
            const ScanCounts& counts = scanner_.counts();
            changed = changed || counts.added + counts.updated + counts.moved + counts.missing > 0;
            const Scanner::Walk& walk = scanner_.walked();
            rewatch(folder, walk.folders, walk.files);
            for (const QString& file : walk.waiting)
                waiting << QFileInfo(file).path();
        }
        waiting.removeDuplicates();
        QMetaObject::invokeMethod(
            &owner_, [owner = &owner_, changed, waiting] { owner->finished(changed, waiting); });
    }

  private:
    bool underRoot(const QString& path) const {
        return std::any_of(roots_.begin(), roots_.end(),
                           [&](const QString& root) { return isBelow(path, root); });
    }

    // A file is read once it has stood still: written long enough ago, or the same at two looks
    // a quiet spell apart. The file's own time is the file system's wall clock, so it is
    // compared with that, not with the program's clock.
    bool ready(const QString& path, const KnownFile& now) {
        const QByteArray bytes = pathToBytes(path);
        const std::int64_t age = QDateTime::currentMSecsSinceEpoch() * 1'000'000 - now.mtime;
        const auto last = looks_.constFind(bytes);
        const bool still =
            age >= std::int64_t(kQuietMs) * 1'000'000 ||
            (last != looks_.constEnd() && last->size == now.size && last->mtime == now.mtime);
        if (still)
            looks_.remove(bytes);
        else
            looks_.insert(bytes, now);
        return still;
    }

    // Brings the watch below `folder` to what its walk found.
    void rewatch(const QString& folder, const QStringList& folders, const QStringList& files) {
        const QSet<QString> walked(folders.begin(), folders.end());
        const QSet<QString> songs(files.begin(), files.end());
        QStringList stale, fresh;
        const QStringList watchedFolders = watch_->directories(), watchedFiles = watch_->files();
        const QSet<QString> known(watchedFolders.begin(), watchedFolders.end());
        const QSet<QString> knownFiles(watchedFiles.begin(), watchedFiles.end());
        for (const QString& path : watchedFolders)
            if (isBelow(path, folder) && !walked.contains(path)) stale << path;
        for (const QString& path : watchedFiles)
            if (isBelow(path, folder) && !songs.contains(path)) stale << path;
        for (const QString& path : folders)
            if (!known.contains(path)) fresh << path;
        for (const QString& path : files)
            if (!knownFiles.contains(path)) fresh << path;
        if (!stale.isEmpty()) watch_->removePaths(stale);
        // Paths the system refuses (out of watches) are left unwatched: their folders' watches
        // still see files come and go; only an edit in place waits for the next start.
        if (!fresh.isEmpty()) watch_->addPaths(fresh);
    }

    FolderWatcher& owner_;
    std::unique_ptr<audio::AudioLibrary> tags_;
    Scanner scanner_;
    QFileSystemWatcher* watch_ = nullptr;
    QStringList roots_;
    QHash<QByteArray, KnownFile> looks_;  // files not yet still, as last seen
};

FolderWatcher::FolderWatcher(Library& library, Clock& clock,
                             std::unique_ptr<audio::AudioLibrary> tags,
                             const audio::analysis::AnalysisCache* cache, QObject* parent)
    : QObject(parent), library_(library), clock_(clock), quiet_(clock.createTimer()) {
    quiet_->setInterval(kQuietMs);
    quiet_->setOnTick([this] {
        quiet_->setEnabled(false);
        dispatch();
    });
    thread_ = new QThread(this);
    thread_->setObjectName(QStringLiteral("Folder watch"));
    worker_ = new Worker(*this, library, std::move(tags), cache);
    worker_->moveToThread(thread_);
    thread_->start();
    QMetaObject::invokeMethod(worker_, [worker = worker_] { worker->begin(); });
}

FolderWatcher::~FolderWatcher() {
    stopping_ = true;
    QMetaObject::invokeMethod(
        worker_, [worker = worker_] { worker->end(); }, Qt::BlockingQueuedConnection);
    thread_->quit();
    thread_->wait();
    delete worker_;
}

void FolderWatcher::sendRoots() {
    // Queued before any rescan, so the worker knows its roots when one comes.
    QMetaObject::invokeMethod(worker_,
                              [worker = worker_, roots = roots_] { worker->setRoots(roots); });
}

void FolderWatcher::start() {
    roots_.clear();
    for (const QString& folder : library_.watchedFolders())
        roots_ << folder;
    sendRoots();
    queue(roots_);
}

// The library's list is written through its writer and not waited for: a scan may be queueing
// thousands of songs ahead of it, and the window must not wait behind them.
bool FolderWatcher::addFolder(const QString& folder) {
    if (!library_.addWatchedFolder(folder)) return false;
    const QString root = cleanFolder(folder);
    if (!roots_.contains(root)) roots_ << root;
    sendRoots();
    queue({root});
    return true;
}

bool FolderWatcher::removeFolder(const QString& folder) {
    if (!library_.removeWatchedFolder(folder)) return false;
    roots_.removeAll(cleanFolder(folder));
    sendRoots();
    return true;
}

void FolderWatcher::notice(const QString& folder) {
    if (pending_.isEmpty()) pendingSince_ = clock_.nowMs();
    pending_.insert(folder);
    // Each change starts the quiet spell afresh, unless the oldest one has waited long enough.
    if (!quiet_->enabled() || clock_.nowMs() - pendingSince_ < kLongestWaitMs) {
        quiet_->setEnabled(false);
        quiet_->setEnabled(true);
    }
    emit changeNoticed();
}

void FolderWatcher::queue(const QStringList& folders) {
    if (folders.isEmpty()) return;
    if (pending_.isEmpty()) pendingSince_ = clock_.nowMs();
    for (const QString& folder : folders)
        pending_.insert(folder);
    quiet_->setEnabled(false);
    dispatch();
}

void FolderWatcher::dispatch() {
    if (busy_ || pending_.isEmpty()) return;  // a busy worker takes them when it is done
    const QStringList folders = outermost(QStringList(pending_.begin(), pending_.end()));
    pending_.clear();
    busy_ = true;
    QMetaObject::invokeMethod(worker_, [worker = worker_, folders] { worker->rescan(folders); });
}

void FolderWatcher::finished(bool changed, const QStringList& waiting) {
    busy_ = false;
    if (changed) emit libraryChanged();
    if (!waiting.isEmpty()) {
        // A look a quiet spell later tells whether they have stood still.
        for (const QString& folder : waiting)
            notice(folder);
    } else if (!pending_.isEmpty() && !quiet_->enabled()) {
        dispatch();
    }
    emit batchDone();
}

}  // namespace kelvra::library
