#include "library/Fingerprint.h"

#include <sys/stat.h>
#include <unistd.h>

#include <QCryptographicHash>
#include <QtEndian>
#include <array>

#include "core/FileHelpers.h"
#include "core/PathBytes.h"

namespace kelvra::library {
namespace {

constexpr qint64 kEdge = 64 * 1024;

// Up to `count` bytes at `offset` into `hash`; false on a read error or a short read.
bool hashRange(int fd, qint64 offset, qint64 count, QCryptographicHash& hash) {
    std::array<char, kEdge> buffer;
    qint64 done = 0;
    while (done < count) {
        const ssize_t got =
            ::pread(fd, buffer.data(), std::size_t(count - done), off_t(offset + done));
        if (got <= 0) return false;
        hash.addData(QByteArrayView(buffer.data(), got));
        done += got;
    }
    return true;
}

}  // namespace

QByteArray fingerprintOf(const QString& path) {
    const int fd = openRegularFileDescriptor(pathToBytes(path).constData());
    if (fd < 0) return {};
    struct stat info {};
    QByteArray print;
    if (::fstat(fd, &info) == 0 && info.st_size >= 0) {
        const qint64 size = info.st_size;
        QCryptographicHash hash(QCryptographicHash::Sha1);
        // A file of 128 KB or less is hashed whole, its bytes once.
        const qint64 head = std::min(size, kEdge);
        const qint64 tailStart = std::max(head, size - kEdge);
        if (hashRange(fd, 0, head, hash) && hashRange(fd, tailStart, size - tailStart, hash)) {
            print.resize(8);
            qToBigEndian(quint64(size), print.data());
            print += hash.result();
        }
    }
    ::close(fd);
    return print;
}

}  // namespace kelvra::library
