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

bool openRegularFile(QFile& file) {
    if (file.fileName().isEmpty()) return false;
#ifdef _WIN32
    const QFileInfo info(file.fileName());
    return info.isFile() && file.open(QIODevice::ReadOnly);
#else
    const int fd =
        ::open(pathToBytes(file.fileName()).constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) return false;
    struct stat info {};
    if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode) ||
        ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK) != 0 ||
        !file.open(fd, QIODevice::ReadOnly, QFileDevice::AutoCloseHandle)) {
        ::close(fd);
        return false;
    }
    return true;
#endif
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
