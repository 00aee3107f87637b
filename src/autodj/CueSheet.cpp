#include "autodj/CueSheet.h"

#include <QFileInfo>
#include <QStringList>

#include "core/Rounding.h"
#include "core/Version.h"
#include "tags/FileNameRules.h"

namespace kelvra::autodj {
namespace {

constexpr std::int64_t kFramesPerSecond = 75;

// Cue sheets quote their texts and have no escape for a quote inside one.
QString quoted(QString text) {
    return '"' + text.replace(u'"', u'\'') + '"';
}

}  // namespace

QString cdFrameTime(std::int64_t milliseconds) {
    const std::int64_t frames = roundEven(
        static_cast<double>(std::max<std::int64_t>(0, milliseconds)) * kFramesPerSecond / 1000.0);
    const auto two = [](std::int64_t v) { return QStringLiteral("%1").arg(v, 2, 10, QChar(u'0')); };
    const std::int64_t seconds = frames / kFramesPerSecond;
    return two(seconds / 60) + ':' + two(seconds % 60) + ':' + two(frames % kFramesPerSecond);
}

CueTrack trackFromDeckText(std::int64_t startMs, const QString& deckText, const QString& songPath) {
    CueTrack track;
    track.startMs = startMs;
    QString text = deckText;
    const QString product = QString::fromUtf8(kProductName);
    if (text.endsWith(product)) text.chop(product.size());
    const QStringList fields = text.split(QString(10, u' '), Qt::SkipEmptyParts);
    for (const QString& field : fields) {
        const QString trimmed = field.trimmed();
        if (trimmed.startsWith("TITLE:"))
            track.title = trimmed.mid(6).trimmed();
        else if (trimmed.startsWith("ARTIST:"))
            track.performer = trimmed.mid(7).trimmed();
        else if (trimmed.startsWith("AUTHOR:"))  // a WMA file's artist
            track.performer = trimmed.mid(7).trimmed();
    }
    // An untagged song is known by its file's name, as the playlist shows it.
    if (track.title.isEmpty()) {
        const tags::InfoRecord guessed = tags::parseFileName(songPath);
        track.title = guessed.title.trimmed();
        if (track.performer.isEmpty()) track.performer = guessed.artist.trimmed();
    }
    if (track.title.isEmpty()) track.title = QFileInfo(songPath).completeBaseName();
    return track;
}

QString cueSheetText(const QString& wavFileName, const std::vector<CueTrack>& tracks) {
    QString sheet = "FILE " + quoted(wavFileName) + " WAVE\r\n";
    int number = 0;
    for (const CueTrack& track : tracks) {
        sheet += QStringLiteral("  TRACK %1 AUDIO\r\n").arg(++number, 2, 10, QChar(u'0'));
        sheet += "    TITLE " + quoted(track.title) + "\r\n";
        if (!track.performer.isEmpty())
            sheet += "    PERFORMER " + quoted(track.performer) + "\r\n";
        sheet += "    INDEX 01 " + cdFrameTime(track.startMs) + "\r\n";
    }
    return sheet;
}

}  // namespace kelvra::autodj
