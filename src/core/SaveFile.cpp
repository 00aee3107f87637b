#include "core/SaveFile.h"

#include <QDir>
#include <algorithm>
#include <cerrno>
#include <cstring>

namespace kelvra {

CheckedSaveFile::CheckedSaveFile(const QString& path)
    : CheckedSaveFile(std::make_unique<QSaveFile>(path)) {}

CheckedSaveFile::CheckedSaveFile(std::unique_ptr<QSaveFile> file) : file_(std::move(file)) {}

CheckedSaveFile::~CheckedSaveFile() {
    if (file_->isOpen()) cancel();
}

// Qt's text for the call that failed, unless it has none to give: then the errno that call left,
// taken before anything else could change it.
void CheckedSaveFile::fail(int error) {
    if (failed()) return;
    reason_ = file_->errorString();
    if (reason_.isEmpty() || reason_ == QStringLiteral("Unknown error"))
        reason_ = error != 0 ? QString::fromLocal8Bit(std::strerror(error)) : QString();
    if (reason_.isEmpty()) reason_ = QStringLiteral("the disk refused it");
}

bool CheckedSaveFile::open() {
    errno = 0;
    if (file_->open(QIODevice::WriteOnly | QIODevice::Unbuffered)) return true;
    fail(errno);
    return false;
}

bool CheckedSaveFile::write(const char* data, qint64 size) {
    if (failed() || !file_->isOpen()) return false;
    for (qint64 written = 0; written < size;) {
        errno = 0;
        const qint64 n = file_->write(data + written, size - written);
        if (n <= 0) {
            fail(errno);
            return false;
        }
        written += n;
    }
    return true;
}

bool CheckedSaveFile::seek(qint64 position) {
    if (failed()) return false;
    errno = 0;
    if (file_->seek(position)) return true;
    fail(errno);
    return false;
}

bool CheckedSaveFile::commit() {
    if (failed() || !file_->isOpen()) {
        if (!failed()) fail(0);
        cancel();
        return false;
    }
    errno = 0;
    if (file_->commit()) return true;
    fail(errno);
    return false;
}

void CheckedSaveFile::cancel() {
    if (!file_->isOpen()) return;
    // A commit after cancelling removes the temporary file at once.
    file_->cancelWriting();
    file_->commit();
}

QString CheckedSaveFile::failureText() const {
    return QStringLiteral("cannot write %1: %2").arg(QDir::toNativeSeparators(fileName()), reason_);
}

QString saveWholeFile(const QString& path, const QByteArray& bytes) {
    CheckedSaveFile file(path);
    if (file.open() && file.write(bytes) && file.commit()) return {};
    return file.failureText();
}

QString whySaveFails(const QString& path, qint64 size) {
    CheckedSaveFile file(path);
    const QByteArray block(qsizetype(std::clamp<qint64>(size, 1, 1 << 16)), '\0');
    if (!file.open()) return file.reason();
    for (qint64 left = std::max<qint64>(size, 1); left > 0; left -= block.size())
        if (!file.write(block.constData(), std::min<qint64>(left, block.size())))
            return file.reason();
    return {};  // dropped unsaved on the way out
}

}  // namespace kelvra
