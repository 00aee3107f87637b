// Files written for the DJ (playlists, exports, mappings, cue sheets, mixes, settings, cache
// entries) go in place whole or not at all, and a failure says which file and the system's
// reason, such as "No space left on device". Thread: any; one thread per file.
#pragma once

#include <QByteArray>
#include <QSaveFile>
#include <QString>
#include <memory>

namespace kelvra {

// A temporary file beside the target, renamed over it by commit(). Unbuffered, with every write
// checked: a buffered save file takes the bytes in, fails to flush them on a full disk, and then
// reports no reason ("Unknown error") or puts a cut-short file in place of the last good one.
class CheckedSaveFile {
  public:
    explicit CheckedSaveFile(const QString& path);
    // Over a save file of the caller's, not yet opened.
    explicit CheckedSaveFile(std::unique_ptr<QSaveFile> file);
    ~CheckedSaveFile();  // without a commit(), the temporary file goes and the old one stays

    CheckedSaveFile(const CheckedSaveFile&) = delete;
    CheckedSaveFile& operator=(const CheckedSaveFile&) = delete;

    bool open();
    // Writes all of `size` bytes, or fails. False once anything has failed.
    bool write(const char* data, qint64 size);
    bool write(const QByteArray& bytes) { return write(bytes.constData(), bytes.size()); }
    bool seek(qint64 position);
    // Every byte to disk, then the rename. False when this or anything before failed.
    bool commit();
    // Drops what was written; the old file stays as it was.
    void cancel();

    bool failed() const { return !reason_.isEmpty(); }
    // The system's reason for the first failure.
    const QString& reason() const { return reason_; }
    // "cannot write FILE: REASON", for messages.
    QString failureText() const;
    QString fileName() const { return file_->fileName(); }

  private:
    void fail(int error);

    std::unique_ptr<QSaveFile> file_;
    QString reason_;
};

// Writes `bytes` as the whole of `path`. Empty when saved, else the failure text.
QString saveWholeFile(const QString& path, const QByteArray& bytes);

// Why a file of `size` bytes cannot be saved at `path` now: tried for real and dropped, for a
// writer that only knows that it failed. Empty when it can.
QString whySaveFails(const QString& path, qint64 size);

}  // namespace kelvra
