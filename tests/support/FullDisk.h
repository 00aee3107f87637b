// A disk that is full for real: a 64 KB memory file system mounted in a folder of its own, with
// the files a test wants there written first and every byte left taken by a filler, so that any
// write there fails with "No space left on device". Programs the test starts see it too.
// Mounting needs root: elsewhere mounted() is false and the test skips with skipReason().
#pragma once

#include <sys/mount.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <initializer_list>
#include <utility>

namespace kelvra::test {

class FullDisk {
  public:
    explicit FullDisk(std::initializer_list<std::pair<QString, QByteArray>> before = {}) {
        mounted_ = ::mount("tmpfs", QFile::encodeName(folder_.path()).constData(), "tmpfs", 0,
                           "size=64k") == 0;
        if (!mounted_) return;
        for (const auto& [name, bytes] : before) {
            QFile file(path(name));
            if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size()) return;
        }
        // Pages first, then bytes, until not one more fits.
        QFile filler(path(kFiller));
        if (!filler.open(QIODevice::WriteOnly | QIODevice::Unbuffered)) return;
        for (const qint64 size : {qint64(4096), qint64(1)}) {
            const QByteArray block(size, 'x');
            while (filler.write(block) == size) {
            }
        }
    }
    ~FullDisk() {
        if (mounted_) ::umount2(QFile::encodeName(folder_.path()).constData(), MNT_DETACH);
    }
    FullDisk(const FullDisk&) = delete;
    FullDisk& operator=(const FullDisk&) = delete;

    bool mounted() const { return mounted_; }
    static const char* skipReason() {
        return "a small tmpfs cannot be mounted here (it needs root), so no disk can be filled";
    }
    QString path(const QString& name) const { return folder_.path() + "/" + name; }
    QString folder() const { return folder_.path(); }
    // Every file there but the filler, hidden ones too: a failed save leaves no copy behind.
    QStringList files() const {
        QStringList names = QDir(folder_.path()).entryList(QDir::Files | QDir::Hidden);
        names.removeAll(kFiller);
        return names;
    }

  private:
    static constexpr const char* kFiller = "filler";
    QTemporaryDir folder_;
    bool mounted_ = false;
};

}  // namespace kelvra::test
