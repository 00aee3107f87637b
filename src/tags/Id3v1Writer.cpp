#include "tags/Id3v1Writer.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QFile>
#include <cerrno>
#include <string>

#include "core/PathBytes.h"
#include "tags/SafeSave.h"

namespace kelvra::tags {

namespace {

constexpr auto kTagSize = static_cast<off_t>(kID3v1Size);

bool preadAll(int fd, char* data, std::size_t size, off_t at) {
    return ::pread(fd, data, size, at) == static_cast<ssize_t>(size);
}

bool pwriteAll(int fd, const char* data, std::size_t size, off_t at) {
    while (size > 0) {
        const ssize_t put = ::pwrite(fd, data, size, at);
        if (put < 0 && errno == EINTR) continue;
        if (put <= 0) {
            if (put == 0) errno = ENOSPC;
            return false;
        }
        data += put;
        at += put;
        size -= static_cast<std::size_t>(put);
    }
    return true;
}

// What the copy must hold once written: its length, where the untouched audio ends, and the
// tag block at its end.
struct Expected {
    off_t size = 0;
    off_t audioEnd = 0;
    std::string block;
};

bool writeTag(const QString& copyPath, const ID3v1Record& record, Expected& expected,
              QString& error) {
    const int fd = ::open(pathToBytes(copyPath).constData(), O_RDWR | O_CLOEXEC);
    if (fd < 0) {
        error = systemErrorText(errno);
        return false;
    }
    struct stat info {};
    char head[3] = {};
    char genre = 0;
    bool ok = ::fstat(fd, &info) == 0;
    // The tag is looked for 128 bytes before the end; a shorter file cannot be tagged.
    if (ok && info.st_size < kTagSize) {
        errno = EINVAL;
        ok = false;
    }
    const off_t tagAt = info.st_size - kTagSize;
    ok = ok && preadAll(fd, head, sizeof head, tagAt) && preadAll(fd, &genre, 1, tagAt + 127);
    if (ok) {
        const bool tagged = std::string_view(head, 3) == "TAG";
        const std::string body =
            renderID3v1Record(record, tagged ? static_cast<std::uint8_t>(genre) : 255);
        expected.block = "TAG" + body;
        if (tagged) {
            expected.size = info.st_size;
            expected.audioEnd = tagAt;
            ok = pwriteAll(fd, body.data(), body.size(), tagAt + 3);
        } else {
            expected.size = info.st_size + kTagSize;
            expected.audioEnd = info.st_size;
            ok = pwriteAll(fd, expected.block.data(), expected.block.size(), info.st_size);
        }
    }
    if (!ok) error = systemErrorText(errno);
    if (::close(fd) != 0 && ok) {
        error = systemErrorText(errno);
        ok = false;
    }
    return ok;
}

bool checkTag(const QString& path, const QString& copyPath, const Expected& expected,
              QString& error) {
    QFile copy(copyPath);
    if (!copy.open(QIODevice::ReadOnly)) {
        error = copy.errorString();
        return false;
    }
    if (copy.size() != expected.size || !copy.seek(expected.size - kTagSize) ||
        copy.read(kTagSize).toStdString() != expected.block) {
        error = QStringLiteral("The tag could not be read back after saving.");
        return false;
    }
    copy.close();
    // Compare the audio as the two files' heads: cut both to the audio's length.
    QFile original(path);
    if (!original.open(QIODevice::ReadOnly)) {
        error = original.errorString();
        return false;
    }
    // The original must hold nothing past what was compared: its audio, and its old tag if it
    // had one (the copy is then exactly as long).
    const qint64 originalSize = original.size();
    if (originalSize != expected.audioEnd && originalSize != expected.size) {
        error = QStringLiteral("The audio data changed while saving.");
        return false;
    }
    qint64 left = expected.audioEnd;
    if (!copy.open(QIODevice::ReadOnly)) {
        error = copy.errorString();
        return false;
    }
    while (left > 0) {
        const qint64 want = std::min<qint64>(left, 1 << 16);
        const QByteArray a = original.read(want);
        const QByteArray b = copy.read(want);
        if (a.size() != want || a != b) {
            error = QStringLiteral("The audio data changed while saving.");
            return false;
        }
        left -= want;
    }
    return true;
}

}  // namespace

bool writeID3v1Tag(Dialogs& dialogs, const QString& path, const ID3v1Record& record) {
    Expected expected;
    const SaveOutcome outcome = saveThroughCopy(
        path,
        [&](const QString& copyPath, QString& error) {
            return writeTag(copyPath, record, expected, error);
        },
        [&](const QString& copyPath, QString& error) {
            return checkTag(path, copyPath, expected, error);
        });
    if (!outcome.saved) {
        dialogs.message(outcome.error,
                        QStringLiteral("Cannot Save the information. Please make sure that the "
                                       "file is not read-only."),
                        MessageButtons::Ok, MessageIcon::Critical);
    }
    return outcome.saved;
}

}  // namespace kelvra::tags
