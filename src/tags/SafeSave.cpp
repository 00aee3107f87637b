#include "tags/SafeSave.h"
#include "core/PathBytes.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QFile>
#include <QFileInfo>
#include <array>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <string_view>

namespace kelvra::tags {

namespace {

constexpr std::size_t kChunk = 1 << 16;

class Fd {
  public:
    explicit Fd(int fd) : fd_(fd) {}
    ~Fd() {
        if (fd_ >= 0) ::close(fd_);
    }
    Fd(const Fd&) = delete;
    Fd& operator=(const Fd&) = delete;
    int get() const { return fd_; }
    // Closes now and reports whether the close (which may flush) succeeded.
    bool close() {
        const int fd = fd_;
        fd_ = -1;
        return ::close(fd) == 0;
    }

  private:
    int fd_;
};

QByteArray nativePath(const QString& path) {
    return pathToBytes(path);
}

ssize_t readSome(int fd, char* buffer, std::size_t size) {
    for (;;) {
        const ssize_t got = ::read(fd, buffer, size);
        if (got >= 0 || errno != EINTR) return got;
    }
}

bool writeAll(int fd, const char* data, std::size_t size) {
    while (size > 0) {
        const ssize_t put = ::write(fd, data, size);
        if (put < 0 && errno == EINTR) continue;
        if (put <= 0) {
            if (put == 0) errno = ENOSPC;
            return false;
        }
        data += put;
        size -= static_cast<std::size_t>(put);
    }
    return true;
}

bool copyInto(int from, int to, QString& error) {
    std::array<char, kChunk> buffer{};
    for (;;) {
        const ssize_t got = readSome(from, buffer.data(), buffer.size());
        if (got < 0) {
            error = systemErrorText(errno);
            return false;
        }
        if (got == 0) return true;
        if (!writeAll(to, buffer.data(), static_cast<std::size_t>(got))) {
            error = systemErrorText(errno);
            return false;
        }
    }
}

bool syncFile(const QByteArray& path, mode_t mode, QString& error) {
    Fd file(::open(path.constData(), O_RDWR | O_CLOEXEC));
    if (file.get() < 0 || ::fchmod(file.get(), mode) != 0 || ::fsync(file.get()) != 0 ||
        !file.close()) {
        error = systemErrorText(errno);
        return false;
    }
    return true;
}

}  // namespace

QString systemErrorText(int error) {
    return QString::fromLocal8Bit(std::strerror(error));
}

namespace {

constexpr char kCopyPrefix[] = ".kelvra-save-";
constexpr std::size_t kCopySuffixLength = 6;  // mkostemp's XXXXXX

// The same file as when it was copied: same inode on the same device, same size and time.
bool sameFile(const struct stat& a, const struct stat& b) {
    return a.st_dev == b.st_dev && a.st_ino == b.st_ino && a.st_size == b.st_size &&
           a.st_mtim.tv_sec == b.st_mtim.tv_sec && a.st_mtim.tv_nsec == b.st_mtim.tv_nsec;
}

// Copies of this program's naming that no save holds any more. A save keeps a lock on its copy
// until it ends, so a copy whose lock can be taken was left by a save that was killed.
void removeStaleCopies(const QByteArray& folder) {
    DIR* dir = ::opendir(folder.constData());
    if (!dir) return;
    while (const dirent* entry = ::readdir(dir)) {
        const std::string_view name(entry->d_name);
        if (name.size() != std::strlen(kCopyPrefix) + kCopySuffixLength ||
            !name.starts_with(kCopyPrefix))
            continue;
        const QByteArray candidate = folder + '/' + entry->d_name;
        Fd file(::open(candidate.constData(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC));
        struct stat info {};
        if (file.get() < 0 || ::fstat(file.get(), &info) != 0 || !S_ISREG(info.st_mode) ||
            info.st_uid != ::geteuid() || ::flock(file.get(), LOCK_EX | LOCK_NB) != 0)
            continue;
        ::unlink(candidate.constData());
    }
    ::closedir(dir);
}

QString changedText() {
    return QStringLiteral(
        "The file was changed by another program during the save; nothing was saved.");
}

}  // namespace

SaveOutcome saveThroughCopy(const QString& path, const CopyStep& edit, const CopyStep& check) {
    SaveOutcome outcome;
    // A symbolic link is followed: the real file gets the new tags and the link stays a link.
    char resolved[PATH_MAX];
    if (!::realpath(nativePath(path).constData(), resolved)) {
        outcome.error = systemErrorText(errno);
        return outcome;
    }
    const QByteArray original(resolved);
    struct stat info {};
    if (::stat(original.constData(), &info) != 0) {
        outcome.error = systemErrorText(errno);
        return outcome;
    }
    if (!S_ISREG(info.st_mode)) {
        outcome.error = systemErrorText(EISDIR);
        return outcome;
    }
    // A rename would split a hard link: the other names would keep the old tags.
    if (info.st_nlink > 1) {
        outcome.error = QStringLiteral(
            "The file has other names (hard links) that a safe save would separate; nothing was "
            "saved.");
        return outcome;
    }

    const QByteArray folderPath = original.left(original.lastIndexOf('/'));
    const QByteArray folder = folderPath.isEmpty() ? QByteArray("/") : folderPath;
    removeStaleCopies(folder);
    // A name of its own rather than one derived from the file's: a long file name plus a suffix
    // could pass the folder's name length limit.
    QByteArray copyName = folder + '/' + kCopyPrefix + QByteArray(kCopySuffixLength, 'X');
    Fd copy(::mkostemp(copyName.data(), O_CLOEXEC));
    if (copy.get() < 0) {
        outcome.error = errno == EACCES || errno == EROFS
                            ? QStringLiteral(
                                  "The folder of the file cannot be written to (%1); "
                                  "nothing was saved.")
                                  .arg(systemErrorText(errno))
                            : systemErrorText(errno);
        return outcome;
    }
    // Held until the save ends, so a save elsewhere does not take this copy for a stale one.
    Fd lock(::open(copyName.constData(), O_RDONLY | O_CLOEXEC));
    if (lock.get() >= 0) ::flock(lock.get(), LOCK_EX);
    const QString copyPath = pathFromBytes(copyName);
    auto fail = [&](const QString& error) {
        ::unlink(copyName.constData());
        outcome.error = error;
        return outcome;
    };

    struct stat copied {};
    {
        Fd source(::open(original.constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC));
        QString error;
        if (source.get() < 0 || ::fstat(source.get(), &copied) != 0)
            return fail(systemErrorText(errno));
        if (!sameFile(copied, info)) return fail(changedText());
        if (!copyInto(source.get(), copy.get(), error)) return fail(error);
        struct stat after {};
        if (::fstat(source.get(), &after) != 0 || !sameFile(after, copied))
            return fail(changedText());
        // The new file keeps the original's owner and group; where that is not allowed, a
        // replace would hand another user's file to this one, so the save is refused.
        if ((copied.st_uid != ::geteuid() || copied.st_gid != ::getegid()) &&
            ::fchown(copy.get(), copied.st_uid, copied.st_gid) != 0 &&
            (copied.st_uid != ::geteuid() || ::fchown(copy.get(), uid_t(-1), copied.st_gid) != 0))
            return fail(
                QStringLiteral("The file belongs to another user and a save would take "
                               "it over; nothing was saved."));
        if (!copy.close()) return fail(systemErrorText(errno));
    }

    QString error;
    if (!edit(copyPath, error) || !check(copyPath, error)) return fail(error);
    if (!syncFile(copyName, (info.st_mode & 07777) | S_IWUSR, error)) return fail(error);
    // The last look before the rename: another program's change (or a deletion) since the copy
    // was made would be undone by the rename, so the save is abandoned and both files are left.
    struct stat now {};
    if (::stat(original.constData(), &now) != 0 || !sameFile(now, copied))
        return fail(changedText());
    if (::rename(copyName.constData(), original.constData()) != 0)
        return fail(systemErrorText(errno));

    // The rename is only durable once the folder's entry is on disk. The new file is in place
    // either way, so a failure here no longer risks the song.
    Fd folderFd(::open(folder.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (folderFd.get() >= 0) ::fsync(folderFd.get());
    outcome.saved = true;
    return outcome;
}

bool sameTail(const QString& a, std::uint64_t fromA, const QString& b, std::uint64_t fromB,
              QString& error) {
    Fd fileA(::open(nativePath(a).constData(), O_RDONLY | O_CLOEXEC));
    Fd fileB(::open(nativePath(b).constData(), O_RDONLY | O_CLOEXEC));
    if (fileA.get() < 0 || fileB.get() < 0) {
        error = systemErrorText(errno);
        return false;
    }
    struct stat infoA {};
    struct stat infoB {};
    if (::fstat(fileA.get(), &infoA) != 0 || ::fstat(fileB.get(), &infoB) != 0) {
        error = systemErrorText(errno);
        return false;
    }
    const auto sizeA = static_cast<std::uint64_t>(infoA.st_size);
    const auto sizeB = static_cast<std::uint64_t>(infoB.st_size);
    if (fromA > sizeA || fromB > sizeB || sizeA - fromA != sizeB - fromB) {
        error = QStringLiteral("The audio data changed while saving.");
        return false;
    }
    std::array<char, kChunk> bufferA{};
    std::array<char, kChunk> bufferB{};
    std::uint64_t left = sizeA - fromA;
    while (left > 0) {
        const std::size_t want = static_cast<std::size_t>(std::min<std::uint64_t>(left, kChunk));
        const ssize_t gotA = ::pread(fileA.get(), bufferA.data(), want, off_t(fromA));
        const ssize_t gotB = ::pread(fileB.get(), bufferB.data(), want, off_t(fromB));
        if (gotA <= 0 || gotA != gotB) {
            error = gotA < 0 || gotB < 0 ? systemErrorText(errno)
                                         : QStringLiteral("The audio data changed while saving.");
            return false;
        }
        if (std::memcmp(bufferA.data(), bufferB.data(), std::size_t(gotA)) != 0) {
            error = QStringLiteral("The audio data changed while saving.");
            return false;
        }
        fromA += std::uint64_t(gotA);
        fromB += std::uint64_t(gotA);
        left -= std::uint64_t(gotA);
    }
    return true;
}

}  // namespace kelvra::tags
