#include "tags/Id3v2Writer.h"

#include <taglib/id3v2tag.h>
#include <taglib/mpegfile.h>
#include <taglib/textidentificationframe.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QFile>
#include <fstream>

#include "core/FileHelpers.h"
#include "core/PathBytes.h"
#include "tags/SafeSave.h"
#include "tags/TagText.h"

namespace kelvra::tags {

namespace {

TagLib::String toTagLib(const QString& text) {
    return TagLib::String(text.toUtf8().toStdString(), TagLib::String::UTF8);
}

// More stacked tags than this at a file's start are not a tagger's leftovers but a damaged (or
// hostile) file; a save would fold them all into one tag, so it is refused instead.
constexpr int kMostStackedTags = 100;
constexpr std::size_t kHeaderSize = 10;

// The ID3v2 tags at a file's start. Tags stacked one after another (older taggers left such
// files) are read and rewritten by the tag library as one tag, so the audio starts after the
// last of them.
struct Head {
    std::uint64_t audioStart = 0;
    QString error;  // why the file's tags cannot be rewritten; empty when they can
};

Head readHead(const QString& path) {
    Head head;
    if (!isRegularFile(path)) return head;
    std::ifstream file(pathToStdString(path), std::ios::binary);
    for (int tags = 0;; ++tags) {
        char header[kHeaderSize] = {};
        file.seekg(std::streamoff(head.audioStart));
        if (!file.read(header, sizeof header) || std::string_view(header, 3) != "ID3") break;
        if (tags == kMostStackedTags) {
            head.error = QStringLiteral(
                             "The file starts with more than %1 ID3v2 tags stacked one after "
                             "another, too many to rewrite safely; the file was left as it was.")
                             .arg(kMostStackedTags);
            break;
        }
        // Each size byte holds seven bits; one with its top bit set is not a size the format can
        // hold, and the tag's end cannot be known.
        std::uint64_t size = 0;
        for (int i = 6; i < 10; ++i) {
            const auto byte = static_cast<unsigned char>(header[i]);
            if (byte & 0x80) {
                head.error = QStringLiteral(
                    "The file's ID3v2 tag header cannot be read: its size is not stored the way "
                    "the format requires. The file was left as it was.");
                return head;
            }
            size = size << 7 | byte;
        }
        const bool footer = header[3] == 4 && (static_cast<unsigned char>(header[5]) & 0x10);
        head.audioStart += kHeaderSize + size + (footer ? kHeaderSize : 0);
    }
    return head;
}

// Makes the disk hold `bytes` for the copy without changing its length. A disk without the room
// fails here with its own reason; a file system that cannot reserve is written without.
bool reserveRoom(const QString& copyPath, std::uint64_t bytes, QString& error) {
    const int fd = ::open(pathToBytes(copyPath).constData(), O_WRONLY | O_CLOEXEC);
    if (fd < 0) {
        error = systemErrorText(errno);
        return false;
    }
    int result = 0;
    do {
        result = ::fallocate(fd, FALLOC_FL_KEEP_SIZE, 0, off_t(bytes));
    } while (result != 0 && errno == EINTR);
    const int reason = errno;
    ::close(fd);
    if (result == 0 || reason == EOPNOTSUPP || reason == ENOSYS) return true;
    error = reason == ENOSPC || reason == EDQUOT
                ? QStringLiteral(
                      "There is not enough room on the disk for the new tag (%1); the "
                      "file was left as it was.")
                      .arg(systemErrorText(reason))
                : systemErrorText(reason);
    return false;
}

// Gives back what was reserved past the copy's end (the new tag may be smaller than reserved).
void releaseSpareRoom(const QString& copyPath) {
    const int fd = ::open(pathToBytes(copyPath).constData(), O_WRONLY | O_CLOEXEC);
    struct stat info {};
    if (fd >= 0 && ::fstat(fd, &info) == 0) (void)!::ftruncate(fd, info.st_size);
    if (fd >= 0) ::close(fd);
}

void setTextFrame(TagLib::ID3v2::Tag& tag, const char* id, const QString& text) {
    tag.removeFrames(id);
    if (text.isEmpty()) return;
    auto* frame = new TagLib::ID3v2::TextIdentificationFrame(id, TagLib::String::Latin1);
    frame->setText(toTagLib(text));
    tag.addFrame(frame);
}

bool saveFields(const QString& copyPath, const std::map<int, QString>& fields, QString& error) {
    TagLib::MPEG::File file(pathToBytes(copyPath).constData(), false);
    if (!file.isValid()) {
        error = QStringLiteral("The file could not be read as MPEG audio.");
        return false;
    }
    TagLib::ID3v2::Tag* tag = file.ID3v2Tag(true);
    for (const auto& [field, text] : fields) {
        switch (field) {
            case kFieldTitle:
                tag->setTitle(toTagLib(text));
                break;
            case kFieldArtist:
                tag->setArtist(toTagLib(text));
                break;
            case kFieldAlbum:
                tag->setAlbum(toTagLib(text));
                break;
            case kFieldYear:
                // Kept as the text the user typed; TagLib's own year setter only takes numbers.
                setTextFrame(*tag, "TDRC", text);
                break;
            case kFieldGenre:
                setTextFrame(*tag, "TCON", text);
                break;
            case kFieldComment:
                tag->setComment(toTagLib(text));
                break;
            default:
                break;
        }
    }
    // Room for the new tag is taken before the library writes a byte: it does not report a write
    // the disk refuses, and a full disk would otherwise only show later as a damaged copy.
    if (!reserveRoom(copyPath, std::uint64_t(file.length()) + tag->render(TagLib::ID3v2::v4).size(),
                     error))
        return false;
    if (!file.save(TagLib::MPEG::File::ID3v2, TagLib::File::StripNone, TagLib::ID3v2::v4,
                   TagLib::File::DoNotDuplicate)) {
        error = QStringLiteral("The tag could not be written.");
        return false;
    }
    return true;
}

bool writeFields(const QString& copyPath, const std::map<int, QString>& fields, QString& error) {
    const bool saved = saveFields(copyPath, fields, error);
    // Once the library has closed the copy, so that all its writes are in.
    releaseSpareRoom(copyPath);
    return saved;
}

bool checkFields(const QString& path, const QString& copyPath, const std::map<int, QString>& fields,
                 QString& error) {
    ID3v2Slots id3v2;
    if (!readID3v2Header(copyPath, id3v2)) {
        error = QStringLiteral("The tag could not be read back after saving.");
        return false;
    }
    readID3v2Frames(copyPath, id3v2);
    for (const auto& [field, text] : fields) {
        const QString wanted = cleanTagText(text);
        bool same = true;
        switch (field) {
            case kFieldTitle:
                same = cleanTagText(id3v2.title) == wanted;
                break;
            case kFieldArtist:
                same = cleanTagText(id3v2.artist) == wanted;
                break;
            case kFieldAlbum:
                same = cleanTagText(id3v2.album) == wanted;
                break;
            case kFieldYear:
                same = cleanTagText(id3v2.year) == wanted;
                break;
            case kFieldGenre:
                same = cleanTagText(id3v2.genre) == wanted;
                break;
            case kFieldComment:
                // The comment's slot carries its language and description in front.
                same = wanted.isEmpty() ? id3v2.comment.isEmpty()
                                        : cleanTagText(id3v2.comment).endsWith(wanted);
                break;
            default:
                break;
        }
        if (!same) {
            error = QStringLiteral("The tag could not be read back after saving.");
            return false;
        }
    }
    return sameTail(path, readHead(path).audioStart, copyPath, readHead(copyPath).audioStart,
                    error);
}

}  // namespace

bool TagLibID3v2Writer::setField(int field, const QString& text) {
    if (field < kFieldTitle || field > kFieldComment) return false;
    fields_[field] = text;
    return true;
}

bool TagLibID3v2Writer::writeFile(const QString& path) {
    lastError_ = readHead(path).error;
    if (!lastError_.isEmpty()) return false;
    const SaveOutcome outcome = saveThroughCopy(
        path,
        [this](const QString& copyPath, QString& error) {
            return writeFields(copyPath, fields_, error);
        },
        [this, &path](const QString& copyPath, QString& error) {
            return checkFields(path, copyPath, fields_, error);
        });
    lastError_ = outcome.error;
    return outcome.saved;
}

int writeID3v2Tag(ID3v2TagWriter& writer, const QString& path, const ID3v2Slots& id3v2) {
    const std::pair<int, const QString*> fields[] = {
        {kFieldTitle, &id3v2.title}, {kFieldArtist, &id3v2.artist}, {kFieldAlbum, &id3v2.album},
        {kFieldYear, &id3v2.year},   {kFieldGenre, &id3v2.genre},   {kFieldComment, &id3v2.comment},
    };
    for (const auto& [field, text] : fields) {
        if (!writer.setField(field, cleanTagText(*text))) return 0;
    }
    return writer.writeFile(path) ? 1 : 0;
}

}  // namespace kelvra::tags
