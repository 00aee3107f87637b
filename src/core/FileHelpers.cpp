#include "core/FileHelpers.h"
#include "core/PathBytes.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>

#ifndef _WIN32
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <cerrno>
#include <cstring>
#endif

namespace kelvra {

namespace {
// Qt speaks "/" on every platform, Windows included.
constexpr char16_t kSeparator = u'/';
}  // namespace

QString windowsFolder() {
    QString folder = QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation);
    while (folder.size() > 1 && folder.endsWith(kSeparator))
        folder.chop(1);
    return folder;
}

bool fileExists(const QString& path) {
    if (path.isEmpty()) return false;
#ifdef _WIN32
    const QFileInfo info(path);
    return info.exists() && !info.isDir();
#else
    // By the path's own bytes, which need not be UTF-8.
    struct stat info {};
    return ::stat(pathToBytes(path).constData(), &info) == 0 && !S_ISDIR(info.st_mode);
#endif
}

bool isRegularFile(const QString& path) {
    if (path.isEmpty()) return false;
#ifdef _WIN32
    return QFileInfo(path).isFile();
#else
    struct stat info {};
    return ::stat(pathToBytes(path).constData(), &info) == 0 && S_ISREG(info.st_mode);
#endif
}

#ifndef _WIN32
int openRegularFileDescriptor(const char* path) {
    const int fd = ::open(path, O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) return -1;
    struct stat info {};
    if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
        const int error = S_ISREG(info.st_mode) ? errno : EINVAL;
        ::close(fd);
        errno = error;
        return -1;
    }
    if (::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK) != 0) {
        const int error = errno;
        ::close(fd);
        errno = error;
        return -1;
    }
    return fd;
}
#endif

namespace {

ReadFailure failureOf(int error) {
    switch (error) {
        case ENOENT:
        case ENOTDIR:
        case ELOOP:
            return ReadFailure::Missing;
        case EACCES:
        case EPERM:
            return ReadFailure::Denied;
        case EINVAL:
        case EISDIR:
            return ReadFailure::NotRegular;
        default:
            return ReadFailure::Unreadable;
    }
}

bool openChecked(QFile& file, ReadFailure& failure) {
    failure = ReadFailure::None;
    if (file.fileName().isEmpty()) {
        failure = ReadFailure::Missing;
        return false;
    }
#ifdef _WIN32
    const QFileInfo info(file.fileName());
    if (!info.exists())
        failure = ReadFailure::Missing;
    else if (!info.isFile())
        failure = ReadFailure::NotRegular;
    else if (!file.open(QIODevice::ReadOnly))
        failure = ReadFailure::Denied;
    return failure == ReadFailure::None;
#else
    const int fd = openRegularFileDescriptor(pathToBytes(file.fileName()).constData());
    if (fd < 0) {
        failure = failureOf(errno);
        return false;
    }
    if (!file.open(fd, QIODevice::ReadOnly, QFileDevice::AutoCloseHandle)) {
        ::close(fd);
        failure = ReadFailure::Unreadable;
        return false;
    }
    return true;
#endif
}

}  // namespace

bool openRegularFile(QFile& file) {
    ReadFailure failure;
    return openChecked(file, failure);
}

QString readFailureText(ReadFailure failure) {
    switch (failure) {
        case ReadFailure::None:
            return {};
        case ReadFailure::Missing:
            return QStringLiteral("it does not exist");
        case ReadFailure::NotRegular:
            return QStringLiteral("it is a folder, device or pipe, not a file");
        case ReadFailure::Denied:
            return QStringLiteral("permission to read it is denied");
        case ReadFailure::TooLarge:
            return QStringLiteral("it is too large");
        case ReadFailure::Unreadable:
            break;
    }
    return QStringLiteral("it could not be read");
}

std::optional<QByteArray> readRegularFile(const QString& path, qint64 limit, ReadFailure* failure) {
    ReadFailure local;
    ReadFailure& why = failure ? *failure : local;
    QFile file(path);
    if (!openChecked(file, why)) return std::nullopt;
    // The size is only a hint (the file may grow while read): the read itself is capped too.
    if (file.size() > limit) {
        why = ReadFailure::TooLarge;
        return std::nullopt;
    }
    QByteArray content = file.read(limit + 1);
    if (file.error() != QFileDevice::NoError) {
        why = ReadFailure::Unreadable;
        return std::nullopt;
    }
    if (content.size() > limit) {
        why = ReadFailure::TooLarge;
        return std::nullopt;
    }
    return content;
}

QString makeProgramFolders(const QString& programFolder, const QString& dataFolder) {
    // Tried rather than asked: the permission bits do not tell about read-only mounts, and
    // root passes every access check.
    const auto make = [](const QString& home) {
        bool made = true;
        for (const char* name : {"DJMixes", "Playlists"})
            made = QDir().mkpath(home + kSeparator + QLatin1String(name)) && made;
        return made;
    };
    if (make(programFolder)) return programFolder;
    const QString home = dataFolder + kSeparator + QStringLiteral("Kelvra");
    make(home);
    return home;
}

QString addBackslash(const QString& path) {
    return path.endsWith(kSeparator) ? path : path + kSeparator;
}

QString whyUnreadable(const QString& path) {
    if (path.isEmpty()) return QString::fromLocal8Bit(std::strerror(ENOENT));
#ifdef _WIN32
    QFile file(path);
    if (QFileInfo(path).isDir()) return QStringLiteral("Is a directory");
    return file.open(QIODevice::ReadOnly) ? QString() : file.errorString();
#else
    // Without blocking: a FIFO would otherwise wait for a writer.
    const int fd = ::open(pathToBytes(path).constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) return QString::fromLocal8Bit(std::strerror(errno));
    struct stat info {};
    int error = ::fstat(fd, &info) != 0 ? errno : 0;
    char byte = 0;
    if (!error && S_ISDIR(info.st_mode)) error = EISDIR;
    if (!error && !S_ISREG(info.st_mode)) {
        ::close(fd);
        return QStringLiteral("Not a regular file");
    }
    // The first byte, to catch what only a read shows (an I/O error, a file system that lies).
    if (!error && ::pread(fd, &byte, 1, 0) < 0) error = errno;
    ::close(fd);
    return error ? QString::fromLocal8Bit(std::strerror(error)) : QString();
#endif
}

}  // namespace kelvra
