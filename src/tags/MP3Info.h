// clsMP3Info: the ID3v1 view of one MPEG audio file, with titles guessed from the file's name
// and folders when the file has no tag. Used by the tag editor; UI thread.
#pragma once

#include <QString>

#include "tags/FileNameRules.h"

namespace kelvra::tags {

class clsMP3Info {
  public:
    // Stores the path and loads every other value from the file.
    void setFilename(const QString& path);
    const QString& filename() const { return filename_; }

    // Stored values with spaces trimmed from both ends. NULs of NUL-padded fields stay; callers
    // clean them with cleanTagText.
    QString Title() const;
    QString Artist() const;
    QString Album() const;
    QString Year() const;
    QString Comment() const;
    QString Genre() const;

    // True when the file exists and its name marks it as MPEG audio; it does not say that a tag
    // was found.
    bool IsFileID3v1() const { return isFileID3v1_; }

  private:
    static bool isMpegAudioFile(const QString& path);

    QString filename_;
    bool isFileID3v1_ = false;
    InfoRecord info_;
};

}  // namespace kelvra::tags
