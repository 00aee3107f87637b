// Fixtures for the save tests: a real MP3 encoded once per test run, and a way to run a save in
// a child process that can be limited or killed without touching the test process.
#pragma once

#include <fcntl.h>
#include <sched.h>
#include <signal.h>
#include <sys/mount.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <functional>

#include "support/AudioFixtures.h"

namespace kelvra::test {

// A 3-second stereo MP3 (with the encoder's own small ID3v2 tag), made once.
inline QString sampleMp3() {
    static QTemporaryDir dir;
    static const QString mp3 = [] {
        const QString wav = dir.filePath(QStringLiteral("sample.wav"));
        const QString out = dir.filePath(QStringLiteral("sample.mp3"));
        if (!writeWav(wav.toStdString(), sine(44100, 2, 3.0, 440.0), 44100, 2)) return QString();
        if (!ffmpegEncode(wav.toStdString(), out.toStdString(),
                          {"-c:a", "libmp3lame", "-b:a", "128k"}))
            return QString();
        return out;
    }();
    return mp3;
}

// Copies `source` into `dir` as `name`; returns the new path.
inline QString copyInto(const QString& source, const QTemporaryDir& dir, const QString& name) {
    const QString path = dir.filePath(name);
    QFile::remove(path);
    return QFile::copy(source, path) ? path : QString();
}

// Runs `work` in a child process whose files may not grow past `fileSizeLimit` bytes (no limit
// when 0), the way a full disk refuses writes. Returns the child's exit code, or -1.
inline int runLimited(std::uint64_t fileSizeLimit, const std::function<int()>& work) {
    const pid_t child = ::fork();
    if (child == 0) {
        ::signal(SIGXFSZ, SIG_IGN);  // a refused write then fails with EFBIG
        if (fileSizeLimit > 0) {
            rlimit limit{};
            ::getrlimit(RLIMIT_FSIZE, &limit);
            limit.rlim_cur = fileSizeLimit;
            ::setrlimit(RLIMIT_FSIZE, &limit);
        }
        ::_exit(work());
    }
    int status = 0;
    if (child < 0 || ::waitpid(child, &status, 0) != child || !WIFEXITED(status)) return -1;
    return WEXITSTATUS(status);
}

// Runs `work` in a child process with a folder on a disk of its own that has only `room` bytes
// free: a small memory file system mounted where only the child sees it, so it goes when the
// child ends. Returns the child's exit code, or 77 when this system does not allow the mount.
inline int runOnNearlyFullDisk(std::size_t room, const std::function<int(const QString&)>& work) {
    const pid_t child = ::fork();
    if (child == 0) {
        char folder[] = "/tmp/kelvra-disk-XXXXXX";
        if (::unshare(CLONE_NEWNS) != 0 ||
            ::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0 ||
            !::mkdtemp(folder) || ::mount("tmpfs", folder, "tmpfs", 0, "size=1m") != 0)
            ::_exit(77);
        // Fill the disk, then give back what should stay free.
        const QString filler = QString::fromLatin1(folder) + QStringLiteral("/filler");
        const int fd = ::open(QFile::encodeName(filler).constData(), O_WRONLY | O_CREAT, 0600);
        const std::string page(4096, 'f');
        off_t size = 0;
        while (::write(fd, page.data(), page.size()) == ssize_t(page.size()))
            size += off_t(page.size());
        if (::ftruncate(fd, size - off_t(room)) != 0) ::_exit(78);
        ::close(fd);
        const int code = work(QString::fromLatin1(folder));
        ::umount(folder);
        ::rmdir(folder);
        ::_exit(code);
    }
    int status = 0;
    if (child < 0 || ::waitpid(child, &status, 0) != child || !WIFEXITED(status)) return -1;
    return WEXITSTATUS(status);
}

// Starts `work` in a child process over and over, and kills it after `delayMicroseconds`.
inline void killDuring(int delayMicroseconds, const std::function<void()>& work) {
    const pid_t child = ::fork();
    if (child == 0) {
        for (;;)
            work();
    }
    ::usleep(static_cast<useconds_t>(delayMicroseconds));
    ::kill(child, SIGKILL);
    int status = 0;
    ::waitpid(child, &status, 0);
}

// Files in `dir` other than `keep`: a finished or failed save leaves no copy behind.
inline QStringList strayFiles(const QTemporaryDir& dir, const QString& keep) {
    QStringList names = QDir(dir.path()).entryList(QDir::Files | QDir::Hidden);
    names.removeAll(QFileInfo(keep).fileName());
    return names;
}

// What a killed save left that the next save in the folder would not sweep away. Killed in the
// instant between naming its copy and putting it in place (no system call does both at once), a
// save leaves that one hidden copy, and the next save removes it; anything more is a fault.
inline QStringList unsweptLeftovers(const QStringList& strays) {
    if (strays.size() == 1 && strays[0].startsWith(QStringLiteral(".kelvra-save-"))) return {};
    return strays;
}

}  // namespace kelvra::test
