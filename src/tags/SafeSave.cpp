#include "tags/SafeSave.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QFile>
#include <QFileInfo>
#include <array>
#include <cerrno>
#include <cstring>

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
    return QFile::encodeName(path);
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

SaveOutcome saveThroughCopy(const QString& path, const CopyStep& edit, const CopyStep& check) {
    SaveOutcome outcome;
    const QByteArray original = nativePath(path);
    struct stat info {};
    if (::stat(original.constData(), &info) != 0) {
        outcome.error = systemErrorText(errno);
        return outcome;
    }
    if (!S_ISREG(info.st_mode)) {
        outcome.error = systemErrorText(EISDIR);
        return outcome;
    }

    const QFileInfo where(path);
    // A name of its own rather than one derived from the file's: a long file name plus a suffix
    // could pass the folder's name length limit.
    QByteArray copyName = nativePath(where.absolutePath()) + "/.kelvra-save-XXXXXX";
    Fd copy(::mkostemp(copyName.data(), O_CLOEXEC));
    if (copy.get() < 0) {
        outcome.error = systemErrorText(errno);
        return outcome;
    }
    const QString copyPath = QFile::decodeName(copyName);
    auto fail = [&](const QString& error) {
        ::unlink(copyName.constData());
        outcome.error = error;
        return outcome;
    };

    {
        Fd source(::open(original.constData(), O_RDONLY | O_CLOEXEC));
        QString error;
        if (source.get() < 0) return fail(systemErrorText(errno));
        if (!copyInto(source.get(), copy.get(), error)) return fail(error);
        if (!copy.close()) return fail(systemErrorText(errno));
    }

    QString error;
    if (!edit(copyPath, error) || !check(copyPath, error)) return fail(error);
    if (!syncFile(copyName, (info.st_mode & 07777) | S_IWUSR, error)) return fail(error);
    if (::rename(copyName.constData(), original.constData()) != 0)
        return fail(systemErrorText(errno));

    // The rename is only durable once the folder's entry is on disk. The new file is in place
    // either way, so a failure here no longer risks the song.
    Fd folder(
        ::open(nativePath(where.absolutePath()).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (folder.get() >= 0) ::fsync(folder.get());
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
