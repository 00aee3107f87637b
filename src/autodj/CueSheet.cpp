#include "autodj/CueSheet.h"

#include "core/Rounding.h"
#include "tags/DisplayText.h"

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
    const tags::Headline headline = tags::headlineOf(deckText, songPath);
    return CueTrack{startMs, headline.title, headline.artist};
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
