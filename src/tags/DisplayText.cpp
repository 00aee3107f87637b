#include "tags/DisplayText.h"

#include <QFileInfo>
#include <QStringList>
#include <array>

#include "core/PathBytes.h"
#include "core/Version.h"
#include "tags/FileNameRules.h"
#include "tags/Id3v1.h"
#include "tags/Id3v2Reader.h"
#include "tags/TagText.h"
#include "tags/WmaAttributes.h"

namespace kelvra::tags {

namespace {

const QString kGap(10, u' ');

QString productName() {
    return QString::fromUtf8(kProductName);
}

// Which reader a stream came from decides how it is freed.
enum class StreamSide { Main, Wma };

// Frees the tags-only stream on every way out.
class TagStream {
  public:
    TagStream(audio::AudioLibrary& library, const QString& path, StreamSide side)
        : library_(library), side_(side) {
        const std::string file = pathToStdString(path);
        handle_ = side == StreamSide::Main
                      ? library.streamCreateFile(file, audio::kStreamTagsOnly)
                      : library.wmaStreamCreateFile(file, audio::kStreamTagsOnly);
    }
    ~TagStream() {
        if (handle_ == 0) return;
        if (side_ == StreamSide::Main) {
            library_.streamFree(handle_);
        } else {
            library_.wmaStreamFree(handle_);
        }
    }
    TagStream(const TagStream&) = delete;
    TagStream& operator=(const TagStream&) = delete;

    bool isOpen() const { return handle_ != 0; }
    std::string_view tags() {
        return side_ == StreamSide::Main ? library_.streamTags(handle_)
                                         : library_.wmaStreamTags(handle_);
    }

  private:
    audio::AudioLibrary& library_;
    StreamSide side_;
    audio::Handle handle_ = 0;
};

QString deckTextFromID3v2(const ID3v2Slots& id3v2) {
    return removeNulls(QStringLiteral("TITLE:  ") + id3v2.title + kGap +
                       QStringLiteral("ARTIST:  ") + id3v2.artist + kGap +
                       QStringLiteral("ALBUM:  ") + id3v2.album + kGap + QStringLiteral("YEAR:  ") +
                       id3v2.year + kGap + QStringLiteral("COMMENT:  ") + id3v2.comment + kGap +
                       productName());
}

QString deckLabelOf(const QString& key) {
    if (key == u"TITLE") return QStringLiteral("TITLE:  ");
    if (key == u"AUTHOR") return QStringLiteral("AUTHOR:  ");
    if (key == u"WM/YEAR") return QStringLiteral("YEAR:  ");
    if (key == u"WM/ALBUMTITLE") return QStringLiteral("ALBUM:  ");
    if (key == u"COPYRIGHT") return QStringLiteral("COPYRIGHT:  ");
    return {};
}

QString deckTextFromWma(std::string_view list) {
    if (list.empty()) return {};
    QString text;
    for (const WmaAttribute& attribute : wmaAttributes(list)) {
        const QString label = deckLabelOf(wmaKey(attribute.name));
        if (!label.isEmpty()) text += kGap + label + attribute.value;
    }
    return trimLeadingSpaces(text + kGap + productName());
}

QString playlistTextFromWma(std::string_view list) {
    QString title;
    QString artist;
    for (const WmaAttribute& attribute : wmaAttributes(list)) {
        const QString key = wmaKey(attribute.name);
        if (key == u"TITLE") title = attribute.value;
        if (key == u"AUTHOR") artist = attribute.value;
    }
    QString text = title;
    if (!artist.isEmpty()) text += QStringLiteral(" - ") + artist;
    return trimLeadingSpaces(text);
}

}  // namespace

QString id3v1BlockText(std::string_view block) {
    return ansiPointerToText(block.substr(0, kID3v1Size)) + u' ';
}

QString FormatID3v1TagsDeck(const QString& blockText) {
    const QString t = blockText.mid(3);
    const std::array<QString, 5> parts = {
        QStringLiteral("TITLE:  ") + trimSpaces(t.mid(0, 30)),
        QStringLiteral("ARTIST:  ") + trimSpaces(t.mid(30, 30)),
        QStringLiteral("ALBUM:  ") + trimSpaces(t.mid(60, 30)),
        QStringLiteral("YEAR:  ") + trimSpaces(t.mid(90, 4)),
        QStringLiteral("COMMENT:  ") + trimSpaces(t.mid(94, 30)),
    };
    QString text = parts[0];
    for (std::size_t i = 1; i < parts.size(); ++i)
        text += kGap + parts[i];
    return text + kGap + productName();
}

QString FormatID3v1TagsPlaylist(const QString& blockText) {
    const QString t = blockText.mid(3);
    return trimSpaces(t.mid(0, 30)) + QStringLiteral(" - ") + trimSpaces(t.mid(30, 30));
}

namespace {

// How one kind of display text is made from each source of tags.
struct TextRules {
    QString (*fromID3v2)(const ID3v2Slots&);
    QString (*fromID3v1)(const QString& blockText);
    QString (*fromWma)(std::string_view list);
};

// Both display texts read their sources in the same order: an ID3v2 tag, the ID3v1 block the
// engine reports, the WMA attribute list, and finally the file's name.
QString displayText(audio::AudioLibrary& library, const QString& path, const TextRules& rules) {
    QString text;
    {
        TagStream stream(library, path, StreamSide::Main);
        if (stream.isOpen()) {
            ID3v2Slots id3v2;
            if (readID3v2Header(path, id3v2)) {
                readID3v2Frames(path, id3v2);
                text = rules.fromID3v2(id3v2);
            } else if (const std::string_view block = stream.tags(); !block.empty()) {
                text = rules.fromID3v1(id3v1BlockText(block));
            }
        } else {
            TagStream wma(library, path, StreamSide::Wma);
            if (wma.isOpen()) text = rules.fromWma(wma.tags());
        }
    }
    return text.isEmpty() ? fileNameOfPath(path) : text;
}

QString playlistTextFromID3v2(const ID3v2Slots& id3v2) {
    return cleanTagText(id3v2.title + QStringLiteral(" - ") + id3v2.artist);
}

}  // namespace

QString get_ID3_tag(audio::AudioLibrary& library, const QString& path) {
    return displayText(library, path, {deckTextFromID3v2, FormatID3v1TagsDeck, deckTextFromWma});
}

QString getID3_tag(audio::AudioLibrary& library, const QString& path) {
    return displayText(library, path,
                       {playlistTextFromID3v2, FormatID3v1TagsPlaylist, playlistTextFromWma});
}

Headline headlineOf(const QString& deckText, const QString& songPath) {
    Headline headline;
    QString text = deckText;
    if (text.endsWith(productName())) text.chop(productName().size());
    for (const QString& field : text.split(kGap, Qt::SkipEmptyParts)) {
        const QString trimmed = trimSpaces(field);
        if (trimmed.startsWith(u"TITLE:"))
            headline.title = trimSpaces(trimmed.mid(6));
        else if (trimmed.startsWith(u"ARTIST:") || trimmed.startsWith(u"AUTHOR:"))
            headline.artist = trimSpaces(trimmed.mid(7));
    }
    if (headline.title.isEmpty()) {
        const InfoRecord guessed = parseFileName(songPath);
        headline.title = trimSpaces(guessed.title);
        if (headline.artist.isEmpty()) headline.artist = trimSpaces(guessed.artist);
    }
    if (headline.title.isEmpty()) headline.title = QFileInfo(songPath).completeBaseName();
    return headline;
}

}  // namespace kelvra::tags
