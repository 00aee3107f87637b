#include "tags/SafeSave.h"
#include "core/PathBytes.h"

#include <dirent.h>
#include <fcntl.h>
#include <grp.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QCryptographicHash>
#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>
#include <array>
#include <cerrno>
#include <climits>
#include <csignal>
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

bool copyInto(int from, int to, QCryptographicHash& hash, QString& error) {
    std::array<char, kChunk> buffer{};
    for (;;) {
        const ssize_t got = readSome(from, buffer.data(), buffer.size());
        if (got < 0) {
            error = systemErrorText(errno);
            return false;
        }
        if (got == 0) return true;
        hash.addData(QByteArrayView(buffer.data(), got));
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

bool sameTime(const timespec& a, const timespec& b) {
    return a.tv_sec == b.tv_sec && a.tv_nsec == b.tv_nsec;
}

// The same file as when it was copied: same inode on the same device, same size and times. Any
// program can put the size and modification time back after writing; the change time it cannot,
// so a write that hides itself that way is still seen.
bool sameFile(const struct stat& a, const struct stat& b) {
    return a.st_dev == b.st_dev && a.st_ino == b.st_ino && a.st_size == b.st_size &&
           sameTime(a.st_mtim, b.st_mtim) && sameTime(a.st_ctim, b.st_ctim);
}

// A digest of a whole file read through `fd` from its start.
bool digestOf(int fd, QByteArray& digest, QString& error) {
    QCryptographicHash hash(QCryptographicHash::Md5);
    std::array<char, kChunk> buffer{};
    for (off_t at = 0;;) {
        const ssize_t got = ::pread(fd, buffer.data(), buffer.size(), at);
        if (got < 0 && errno == EINTR) continue;
        if (got < 0) {
            error = systemErrorText(errno);
            return false;
        }
        if (got == 0) break;
        hash.addData(QByteArrayView(buffer.data(), got));
        at += got;
    }
    digest = hash.result();
    return true;
}

// A read lease on the original for the length of the save. Taking one fails while another
// process has the file open for writing, and anyone who opens it for writing later is held in
// open() until the lease is given up, with the break visible here: between them, no write can
// slip in and be lost when the copy replaces the file. Not every file allows one (another user's
// file, some network and FUSE file systems); the save then relies on the file's times and
// contents alone.
enum class Lease { Held, Unavailable, WriterOpen };

Lease takeReadLease(int fd) {
    // A lease break is signalled to its holder, SIGIO by default, which would end the program:
    // the signal is made one that is ignored by default, and then nobody is signalled at all.
    ::fcntl(fd, F_SETSIG, SIGURG);
    if (::fcntl(fd, F_SETLEASE, F_RDLCK) != 0)
        return errno == EAGAIN || errno == EBUSY ? Lease::WriterOpen : Lease::Unavailable;
    ::fcntl(fd, F_SETOWN, 0);
    return Lease::Held;
}

// Whether a held lease is still unbroken: nobody has asked to open the file for writing.
bool leaseIntact(int fd) {
    return ::fcntl(fd, F_GETLEASE) == F_RDLCK;
}

QString writerOpenText() {
    return QStringLiteral(
        "Another program has the file open for writing; what it writes would be lost by the "
        "save, so nothing was saved. Close the file in that program and save again.");
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

QString groupName(gid_t gid) {
    std::array<char, 4096> buffer{};
    group entry{};
    group* found = nullptr;
    if (::getgrgid_r(gid, &entry, buffer.data(), buffer.size(), &found) == 0 && found)
        return QString::fromLocal8Bit(found->gr_name);
    return QString::number(gid);
}

QString changedText() {
    return QStringLiteral(
        "The file was changed by another program during the save; nothing was saved.");
}

// The path through which a descriptor's file can be opened again, named or not.
QByteArray fdPath(int fd) {
    return "/proc/self/fd/" + QByteArray::number(fd);
}

// Gives the unnamed copy open in `fd` a hidden name in `folder`, set in `name`.
bool nameCopy(int fd, const QByteArray& folder, QByteArray& name) {
    static constexpr char kLetters[] = "abcdefghijklmnopqrstuvwxyz0123456789";
    for (int attempt = 0; attempt < 100; ++attempt) {
        QByteArray candidate = folder + '/' + kCopyPrefix;
        for (std::size_t i = 0; i < kCopySuffixLength; ++i)
            candidate += kLetters[QRandomGenerator::global()->bounded(int(sizeof kLetters - 1))];
        if (::linkat(AT_FDCWD, fdPath(fd).constData(), AT_FDCWD, candidate.constData(),
                     AT_SYMLINK_FOLLOW) == 0) {
            name = candidate;
            return true;
        }
        if (errno != EEXIST) return false;
    }
    return false;
}

// Puts the copy in the original's place. With a lease (`leaseFd` >= 0) the two are exchanged
// first, so that a program which asked to open the original for writing in the last instant
// (and waits for the lease) can be given its file back: it is exchanged back and the save
// fails with EBUSY. Without one, or where exchanging is not supported, a plain rename.
bool replaceOriginal(const QByteArray& copyName, const QByteArray& original, int leaseFd) {
    if (leaseFd >= 0) {
        if (::renameat2(AT_FDCWD, copyName.constData(), AT_FDCWD, original.constData(),
                        RENAME_EXCHANGE) == 0) {
            if (!leaseIntact(leaseFd) && ::renameat2(AT_FDCWD, copyName.constData(), AT_FDCWD,
                                                     original.constData(), RENAME_EXCHANGE) == 0) {
                errno = EBUSY;
                return false;
            }
            ::unlink(copyName.constData());  // the old file, now under the copy's name
            return true;
        }
        if (errno != EINVAL && errno != ENOSYS && errno != EOPNOTSUPP) return false;
    }
    return ::rename(copyName.constData(), original.constData()) == 0;
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

    // Opened before the copy is made and held to the end: the copy is read through it, it
    // carries the lease, and the final comparison reads the original through it again.
    Fd source(::open(original.constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC));
    struct stat copied {};
    if (source.get() < 0 || ::fstat(source.get(), &copied) != 0) {
        outcome.error = systemErrorText(errno);
        return outcome;
    }
    if (!sameFile(copied, info)) {
        outcome.error = changedText();
        return outcome;
    }
    const Lease lease = takeReadLease(source.get());
    if (lease == Lease::WriterOpen) {
        outcome.error = writerOpenText();
        return outcome;
    }

    // The copy is an unnamed file where the file system allows one, so that a save killed on
    // the way leaves nothing behind; it is given a name only at the end, just before it replaces
    // the original. Elsewhere it is a hidden file that the next save in the folder sweeps away.
    QByteArray copyName;  // the copy's name in the folder; empty while it has none
    int copyFd = ::open(folder.constData(), O_TMPFILE | O_RDWR | O_CLOEXEC, 0600);
    if (copyFd < 0) {
        // A name of its own rather than one derived from the file's: a long file name plus a
        // suffix could pass the folder's name length limit.
        copyName = folder + '/' + kCopyPrefix + QByteArray(kCopySuffixLength, 'X');
        copyFd = ::mkostemp(copyName.data(), O_CLOEXEC);
    }
    Fd copy(copyFd);
    if (copy.get() < 0) {
        outcome.error = errno == EACCES || errno == EROFS
                            ? QStringLiteral(
                                  "The folder of the file cannot be written to (%1); "
                                  "nothing was saved.")
                                  .arg(systemErrorText(errno))
                            : systemErrorText(errno);
        return outcome;
    }
    // Held until the save ends: it keeps an unnamed copy alive once `copy` is closed, its path
    // is the one the edit and check open, and its lock tells a save elsewhere that this copy,
    // once named, is not a stale one.
    Fd lock(::open(copyName.isEmpty() ? fdPath(copy.get()).constData() : copyName.constData(),
                   O_RDONLY | O_CLOEXEC));
    if (lock.get() < 0 && copyName.isEmpty()) {
        outcome.error = systemErrorText(errno);
        return outcome;
    }
    if (lock.get() >= 0) ::flock(lock.get(), LOCK_EX);
    const QByteArray copyAt = copyName.isEmpty() ? fdPath(lock.get()) : copyName;
    const QString copyPath = pathFromBytes(copyAt);
    auto fail = [&](const QString& error) {
        if (!copyName.isEmpty()) ::unlink(copyName.constData());
        outcome.error = error;
        return outcome;
    };

    QByteArray digest;
    {
        QCryptographicHash hash(QCryptographicHash::Md5);
        QString error;
        if (!copyInto(source.get(), copy.get(), hash, error)) return fail(error);
        digest = hash.result();
        struct stat after {};
        if (::fstat(source.get(), &after) != 0 || !sameFile(after, copied))
            return fail(changedText());
        // The new file keeps the original's owner and group. Where the owner cannot be kept, a
        // replace would hand another user's file to this one; where only the group cannot (the
        // user's own file in a group the user is not in), it would change who may read it.
        // Either way the save is refused, saying which.
        if ((copied.st_uid != ::geteuid() || copied.st_gid != ::getegid()) &&
            ::fchown(copy.get(), copied.st_uid, copied.st_gid) != 0) {
            if (copied.st_uid != ::geteuid())
                return fail(
                    QStringLiteral("The file belongs to another user and a save would take "
                                   "it over; nothing was saved."));
            return fail(QStringLiteral("The file's group (%1) is one you are not a member of, "
                                       "and a save would give the file your own group instead; "
                                       "nothing was saved.")
                            .arg(groupName(copied.st_gid)));
        }
        if (!copy.close()) return fail(systemErrorText(errno));
    }

    QString error;
    if (!edit(copyPath, error) || !check(copyPath, error)) return fail(error);
    if (!syncFile(copyAt, (info.st_mode & 07777) | S_IWUSR, error)) return fail(error);
    // The last look before the rename: another program's change (or a deletion) since the copy
    // was made would be undone by the rename, so the save is abandoned and both files are left.
    // The contents are compared too: the file's times only move in steps of the kernel's clock
    // tick, and two writes within one tick leave the same change time.
    struct stat now {};
    if (::stat(original.constData(), &now) != 0 || !sameFile(now, copied))
        return fail(changedText());
    QByteArray digestNow;
    if (!digestOf(source.get(), digestNow, error)) return fail(error);
    if (digestNow != digest) return fail(changedText());
    if (lease == Lease::Held && !leaseIntact(source.get())) return fail(writerOpenText());
    if (copyName.isEmpty() && !nameCopy(lock.get(), folder, copyName))
        return fail(systemErrorText(errno));
    if (!replaceOriginal(copyName, original, lease == Lease::Held ? source.get() : -1))
        return fail(errno == EBUSY ? writerOpenText() : systemErrorText(errno));

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
