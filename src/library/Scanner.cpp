#include "library/Scanner.h"

#include <sys/stat.h>

#include <cerrno>

#include <QDateTime>
#include <QDir>
#include <QSet>
#include <chrono>
#include <cmath>
#include <deque>
#include <filesystem>
#include <system_error>

#include "audio/analysis/AnalysisCache.h"
#include "core/PathBytes.h"
#include "library/Fingerprint.h"
#include "library/Library.h"
#include "library/SongTags.h"

namespace kelvra::library {
namespace {

namespace fs = std::filesystem;

// How often a scan reports: often enough to look alive, rarely enough to cost nothing.
constexpr auto kProgressInterval = std::chrono::milliseconds(200);

std::int64_t nanoseconds(const struct timespec& time) {
    return std::int64_t(time.tv_sec) * 1'000'000'000 + time.tv_nsec;
}

}  // namespace

Scanner::Scanner(Library& library, audio::AudioLibrary& tags,
                 const audio::analysis::AnalysisCache* cache)
    : library_(library), tags_(tags), cache_(cache) {}

bool Scanner::scan(const QStringList& folders, const Progress& progress) {
    counts_ = {};
    failure_.clear();
    problems_.clear();
    walk_ = {};
    if (!library_.isOpen()) {
        failure_ = library_.notice().isEmpty() ? library_.writer().failure() : library_.notice();
        return false;
    }
    library_.forgetCheckedCopies();
    // Where each stored file's outcome lands when the writer runs its job: a deque keeps them
    // in place while it grows.
    std::deque<Stored> outcomes;
    std::deque<std::int64_t> marked;  // rows each markMissing job found still there
    auto lastReport = std::chrono::steady_clock::now();
    const auto report = [&](bool now) {
        counts_.stored = library_.writer().committed();
        const auto time = std::chrono::steady_clock::now();
        if (!progress || (!now && time - lastReport < kProgressInterval)) return;
        lastReport = time;
        progress(counts_);
    };

    for (const QString& folder : folders) {
        std::error_code error;
        // Rows are kept by absolute path, whatever folder the scan was started from.
        const fs::path root =
            fs::absolute(fs::path(pathToBytes(folder).toStdString()), error).lexically_normal();
        const QString rootPath =
            QDir::cleanPath(pathFromBytes(QByteArray::fromStdString(root.native())));
        // Only the rows below this folder: a rescan of one small folder reads a few rows, not
        // the whole library.
        const QHash<QByteArray, KnownFile> known = library_.knownFiles(rootPath);
        QSet<QByteArray> seen;
        fs::recursive_directory_iterator walk;
        if (!error)
            walk = fs::recursive_directory_iterator(
                root, fs::directory_options::skip_permission_denied, error);
        if (error) {
            problems_ << QStringLiteral("%1: %2").arg(folder,
                                                      QString::fromLocal8Bit(error.message()));
            continue;
        }
        if (listing_) walk_.folders << rootPath;
        bool complete = true;
        for (; walk != fs::recursive_directory_iterator(); walk.increment(error)) {
            if (error) {
                problems_ << QStringLiteral("%1: %2").arg(folder,
                                                          QString::fromLocal8Bit(error.message()));
                complete = false;
                break;
            }
            if (stop_ && stop_->load()) {
                complete = false;
                break;
            }
            const QByteArray bytes = QByteArray::fromStdString(walk->path().native());
            const QString path = pathFromBytes(bytes);
            if (listing_) {
                std::error_code linkError;
                // The walk goes into real folders only, and so does the listing.
                if (walk->symlink_status(linkError).type() == fs::file_type::directory) {
                    walk_.folders << path;
                    continue;
                }
            }
            if (!isSongFileName(path)) continue;
            struct stat info {};
            if (::stat(bytes.constData(), &info) != 0 || !S_ISREG(info.st_mode)) continue;
            ++counts_.found;
            seen.insert(bytes);
            if (listing_) walk_.files << path;
            const KnownFile now{info.st_size, nanoseconds(info.st_mtim)};
            const auto same = known.constFind(bytes);
            // A file put back as it was is read again all the same: that lists it again.
            if (same != known.constEnd() && !same->missing && same->size == now.size &&
                same->mtime == now.mtime) {
                ++counts_.unchanged;
                report(false);
                continue;
            }
            if (ready_ && !ready_(path, now)) {
                ++counts_.waiting;
                if (listing_) walk_.waiting << path;
                continue;
            }
            SongFacts facts;
            facts.path = path;
            facts.size = info.st_size;
            facts.mtime = nanoseconds(info.st_mtim);
            facts.fingerprint = fingerprintOf(path);
            if (facts.fingerprint.isEmpty()) {
                ++counts_.unreadable;
                problems_ << QStringLiteral("%1: cannot be read").arg(readablePath(path));
                continue;
            }
            copyTags(readSongTags(tags_, path), facts);
            if (cache_) {
                if (const audio::analysis::AnalysisSnapshot analysis =
                        cache_->load(pathToStdString(path))) {
                    if (analysis->bpm > 0) {
                        facts.bpm = analysis->bpm;
                        facts.firstBeat = analysis->firstBeatSeconds;
                    }
                    if (std::isfinite(analysis->lufs)) facts.loudness = analysis->lufs;
                    if (analysis->key >= 0 && analysis->key < 24) facts.key = analysis->key;
                    if (analysis->seconds > 0) facts.seconds = analysis->seconds;
                }
            }
            outcomes.push_back(Stored::Added);
            if (!library_.store(std::move(facts), &outcomes.back())) {
                outcomes.pop_back();
                break;
            }
            report(false);
        }
        if (library_.writer().failed() || (stop_ && stop_->load())) break;
        // What a walk cut short did not reach may well still be there; a folder walked to its
        // end tells which files are gone. Queued after the stores, so a file found moved has
        // its new path before its old one is looked for.
        if (complete) {
            std::vector<QString> gone;
            // A file the walk did not see is gone only when the system says there is no such
            // file: one in a folder the walk could not enter (no permission, a failing disk) is
            // kept as it was, and its folder told.
            QHash<QByteArray, std::int64_t> unread;
            for (auto file = known.constBegin(); file != known.constEnd(); ++file) {
                if (file->missing || seen.contains(file.key())) continue;
                struct stat info {};
                if (::lstat(file.key().constData(), &info) != 0 &&
                    (errno == ENOENT || errno == ENOTDIR)) {
                    gone.push_back(pathFromBytes(file.key()));
                } else {
                    const qsizetype slash = file.key().lastIndexOf('/');
                    ++unread[file.key().left(slash > 0 ? slash : 1)];
                    ++counts_.unreached;
                }
            }
            for (auto folder = unread.constBegin(); folder != unread.constEnd(); ++folder)
                problems_ << QStringLiteral(
                                 "%1: could not be read; its %2 songs in the library are kept as "
                                 "they were")
                                 .arg(readablePath(pathFromBytes(folder.key())))
                                 .arg(folder.value());
            if (!gone.empty()) {
                marked.push_back(0);
                if (!library_.markMissing(gone, QDateTime::currentSecsSinceEpoch(), &marked.back()))
                    break;
            }
        }
    }
    library_.forgetCheckedCopies();
    const bool committed = library_.writer().flush();
    if (!committed) failure_ = library_.writer().failure();
    // Outcomes of jobs that never ran are still their initial value: only count committed work.
    if (committed) {
        for (const Stored outcome : outcomes) {
            if (outcome == Stored::Added) ++counts_.added;
            if (outcome == Stored::Updated) ++counts_.updated;
            if (outcome == Stored::Moved) ++counts_.moved;
        }
        for (const std::int64_t rows : marked)
            counts_.missing += rows;
    }
    report(true);
    return committed;
}

}  // namespace kelvra::library
