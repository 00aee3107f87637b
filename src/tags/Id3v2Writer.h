// The ID3v2 tag writer component and writeID3v2Tag: six fields set by number and written into
// a file's ID3v2 tag, safely (see SafeSave.h). UI thread.
#pragma once

#include <QString>
#include <map>

#include "tags/Id3v2Reader.h"

namespace kelvra::tags {

// Field numbers the writer takes.
enum ID3v2Field : int {
    kFieldTitle = 2,
    kFieldArtist = 3,
    kFieldAlbum = 4,
    kFieldYear = 5,
    kFieldGenre = 6,
    kFieldComment = 7,
};

class ID3v2TagWriter {
  public:
    virtual ~ID3v2TagWriter() = default;
    // Sets one field for the next write; false for a number outside 2..7.
    virtual bool setField(int field, const QString& text) = 0;
    // Writes the fields set so far into the file's ID3v2 tag; an empty field removes its frame.
    virtual bool writeFile(const QString& path) = 0;
    // What made the last write fail, for the message the user sees; empty when unknown.
    virtual QString failureText() const { return {}; }
};

// The writer over TagLib. The file is edited as a copy, read back and compared before it
// replaces the original, so a failed write (a full disk, a kill half-way) cannot cost audio.
// Writes ID3v2.4; other tags of the file (ID3v1, APE) are left alone. A file whose tags cannot be
// rewritten safely (a tag header with a size the format cannot hold, more than 100 tags stacked
// at its start) is refused before anything is written, and the reason is given.
class TagLibID3v2Writer final : public ID3v2TagWriter {
  public:
    bool setField(int field, const QString& text) override;
    bool writeFile(const QString& path) override;

    // The system's description of the last failure.
    const QString& lastError() const { return lastError_; }
    QString failureText() const override { return lastError_; }

  private:
    std::map<int, QString> fields_;
    QString lastError_;
};

// Sets fields 2 to 7 from the slots (title, artist, album, year, genre, comment), each cleaned
// with cleanTagText, and writes the file. 1 on success, 0 when any step fails; nothing is shown.
int writeID3v2Tag(ID3v2TagWriter& writer, const QString& path, const ID3v2Slots& id3v2);

}  // namespace kelvra::tags
