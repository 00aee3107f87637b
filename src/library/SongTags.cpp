#include "library/SongTags.h"

#include <taglib/audioproperties.h>
#include <taglib/fileref.h>
#include <taglib/tag.h>
#include <unistd.h>

#include <QRegularExpression>
#include <QStringList>
#include <string>

#include "audio/AudioLibrary.h"
#include "core/FileHelpers.h"
#include "core/PathBytes.h"
#include "library/Library.h"
#include "tags/GenreTable.h"
#include "tags/Id3v1.h"
#include "tags/Id3v2Reader.h"
#include "tags/TagEditor.h"
#include "tags/TagText.h"
#include "tags/WmaAttributes.h"

namespace kelvra::library {
namespace {

QString extensionOf(const QString& path) {
    const qsizetype dot = path.lastIndexOf(u'.');
    const qsizetype slash = path.lastIndexOf(u'/');
    return dot > slash ? path.mid(dot + 1).toLower() : QString();
}

// A genre written as an ID3v1 number ("17", "(17)") by its name.
QString genreOfText(const QString& text) {
    static const QRegularExpression number(QStringLiteral("^\\(?(\\d{1,3})\\)?$"));
    const QRegularExpressionMatch match = number.match(text);
    if (match.hasMatch()) {
        const QString name = tags::genreName(match.captured(1).toInt());
        if (!name.isEmpty()) return name;
    }
    return text;
}

// The 128 bytes at the end of the file, when they are an ID3v1 block.
bool readID3v1(const QString& path, SongTags& tags) {
    const int fd = openRegularFileDescriptor(pathToBytes(path).constData());
    if (fd < 0) return false;
    const off_t end = ::lseek(fd, 0, SEEK_END);
    std::string block(tags::kID3v1Size, '\0');
    const bool read = end >= off_t(tags::kID3v1Size) &&
                      ::pread(fd, block.data(), block.size(), end - off_t(tags::kID3v1Size)) ==
                          ssize_t(block.size());
    ::close(fd);
    if (!read || !tags::isID3v1Block(block)) return false;
    // A field ends at its first NUL: what follows is padding, or left over from a longer text.
    const auto field = [](const QString& text) { return text.left(text.indexOf(QChar(0))); };
    const tags::InfoRecord record = tags::parseID3v1Fields(block);
    tags.title = field(record.title);
    tags.artist = field(record.artist);
    tags.album = field(record.album);
    tags.comment = field(record.comment);
    tags.genre = record.genre;
    return true;
}

// An ID3v2 tag at the start of the file, else an ID3v1 block at its end.
void readOwnTags(const QString& path, SongTags& tags) {
    tags::ID3v2Slots id3v2;
    if (tags::readID3v2Header(path, id3v2)) {
        tags::readID3v2Frames(path, id3v2);
        tags.title = tags::cleanTagText(id3v2.title);
        tags.artist = tags::cleanTagText(id3v2.artist);
        tags.album = tags::cleanTagText(id3v2.album);
        tags.genre = genreOfText(tags::cleanTagText(id3v2.genre));
        tags.comment = tags::TagEditor::commentOfSlot(id3v2.comment);
        return;
    }
    readID3v1(path, tags);
}

void readWmaTags(audio::AudioLibrary& library, const QString& path, SongTags& tags) {
    const audio::Handle handle =
        library.wmaStreamCreateFile(pathToStdString(path), audio::kStreamTagsOnly);
    if (handle == 0) return;
    // The last attribute of a name wins, as in the tag editor.
    for (const tags::WmaAttribute& attribute : tags::wmaAttributes(library.wmaStreamTags(handle))) {
        const QString key = tags::wmaKey(attribute.name);
        if (key == u"TITLE") tags.title = attribute.value;
        if (key == u"AUTHOR") tags.artist = attribute.value;
        if (key == u"WM/ALBUMTITLE") tags.album = attribute.value;
        if (key == u"WM/GENRE") tags.genre = attribute.value;
        if (key == u"DESCRIPTION") tags.comment = attribute.value;
    }
    library.wmaStreamFree(handle);
}

QString fromTagLib(const TagLib::String& text) {
    return QString::fromStdString(text.to8Bit(true));
}

// TagLib's tags (when `withTags`) and the length it reads from the stream's headers.
void readWithTagLib(const QString& path, bool withTags, SongTags& tags) {
    const QByteArray file = pathToBytes(path);
    // A FIFO or device named like a song would block or never end.
    if (!isRegularFile(path)) return;
    TagLib::FileRef ref(file.constData(), true, TagLib::AudioProperties::Fast);
    if (ref.isNull()) return;
    if (const TagLib::AudioProperties* properties = ref.audioProperties())
        tags.seconds = properties->lengthInMilliseconds() / 1000.0;
    const TagLib::Tag* tag = ref.tag();
    if (!withTags || !tag) return;
    tags.title = fromTagLib(tag->title());
    tags.artist = fromTagLib(tag->artist());
    tags.album = fromTagLib(tag->album());
    tags.genre = fromTagLib(tag->genre());
    tags.comment = fromTagLib(tag->comment());
}

bool isNonCharacter(char32_t c) {
    return (c >= 0xFDD0 && c <= 0xFDEF) || (c & 0xFFFE) == 0xFFFE;
}

}  // namespace

void copyTags(const SongTags& tags, SongFacts& facts) {
    facts.artist = tags.artist;
    facts.title = tags.title;
    facts.album = tags.album;
    facts.genre = tags.genre;
    facts.comment = tags.comment;
    facts.seconds = tags.seconds;
}

bool isSongFileName(const QString& name) {
    static const QStringList kExtensions = {"mp3", "mp2",  "wav", "wma", "asf",  "flac", "ogg",
                                            "oga", "opus", "m4a", "aif", "aiff", "aifc"};
    return kExtensions.contains(extensionOf(name));
}

SongTags readSongTags(audio::AudioLibrary& library, const QString& path) {
    SongTags tags;
    const QString extension = extensionOf(path);
    const bool own = extension == u"mp3" || extension == u"mp2" || extension == u"wav";
    const bool wma = extension == u"wma" || extension == u"asf";
    if (own) readOwnTags(path, tags);
    if (wma) readWmaTags(library, path, tags);
    readWithTagLib(path, !own && !wma, tags);
    tags.artist = boundedTagText(tags.artist);
    tags.title = boundedTagText(tags.title);
    tags.album = boundedTagText(tags.album);
    tags.genre = boundedTagText(tags.genre);
    tags.comment = boundedTagText(tags.comment, kCommentLimit);
    if (!(tags.seconds >= 0 && tags.seconds < 1e7)) tags.seconds = 0;
    return tags;
}

QString boundedTagText(const QString& text, qsizetype limit) {
    QString clean;
    clean.reserve(std::min(text.size(), limit * 2));
    qsizetype characters = 0;
    for (qsizetype i = 0; i < text.size() && characters < limit; ++i) {
        const QChar c = text[i];
        char32_t code = c.unicode();
        if (c.isHighSurrogate() && i + 1 < text.size() && text[i + 1].isLowSurrogate()) {
            code = QChar::surrogateToUcs4(c, text[i + 1]);
            ++i;
        } else if (c.isSurrogate()) {
            continue;  // half a pair: no character at all
        }
        if (code < 0x20 || (code >= 0x7F && code < 0xA0) || isNonCharacter(code)) continue;
        clean += QString::fromUcs4(&code, 1);
        ++characters;
    }
    return tags::trimSpaces(clean);
}

}  // namespace kelvra::library
