#include "tags/Id3v2Writer.h"

#include <taglib/id3v2tag.h>
#include <taglib/mpegfile.h>
#include <taglib/textidentificationframe.h>

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

// Where the audio starts: after the ID3v2 tag at the file's start (and its footer), or at 0.
std::uint64_t audioStart(const QString& path) {
    char head[10] = {};
    QFile file(path);
    if (!openRegularFile(file) || file.read(head, sizeof head) != sizeof head ||
        std::string_view(head, 3) != "ID3")
        return 0;
    ID3v2Slots id3v2;
    parseID3v2Header(std::string_view(head, sizeof head), id3v2);
    const bool footer = head[3] == 4 && (static_cast<unsigned char>(head[5]) & 0x10);
    return static_cast<std::uint64_t>(id3v2.tagSize) + (footer ? 10 : 0);
}

void setTextFrame(TagLib::ID3v2::Tag& tag, const char* id, const QString& text) {
    tag.removeFrames(id);
    if (text.isEmpty()) return;
    auto* frame = new TagLib::ID3v2::TextIdentificationFrame(id, TagLib::String::Latin1);
    frame->setText(toTagLib(text));
    tag.addFrame(frame);
}

bool writeFields(const QString& copyPath, const std::map<int, QString>& fields, QString& error) {
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
    if (!file.save(TagLib::MPEG::File::ID3v2, TagLib::File::StripNone, TagLib::ID3v2::v4,
                   TagLib::File::DoNotDuplicate)) {
        error = QStringLiteral("The tag could not be written.");
        return false;
    }
    return true;
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
    return sameTail(path, audioStart(path), copyPath, audioStart(copyPath), error);
}

}  // namespace

bool TagLibID3v2Writer::setField(int field, const QString& text) {
    if (field < kFieldTitle || field > kFieldComment) return false;
    fields_[field] = text;
    return true;
}

bool TagLibID3v2Writer::writeFile(const QString& path) {
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
