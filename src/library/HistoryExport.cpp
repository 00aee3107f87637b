#include "library/HistoryExport.h"

#include <QDateTime>
#include <cstdio>

#include "core/PathBytes.h"

namespace kelvra::library {
namespace {

QByteArray localTime(std::int64_t seconds) {
    const QDateTime local = QDateTime::fromSecsSinceEpoch(seconds);
    return local.toOffsetFromUtc(local.offsetFromUtc()).toString(Qt::ISODate).toUtf8();
}

QByteArray setTitle(const HistorySet& set) {
    const QDateTime start = QDateTime::fromSecsSinceEpoch(set.songs.front().heard);
    return "Set " + QByteArray::number(set.number) + ", " +
           start.toString(QStringLiteral("yyyy-MM-dd hh:mm")).toUtf8();
}

// A cue sheet's quoted text cannot hold a quote; a line break would end the command.
QByteArray cueText(QByteArray bytes) {
    bytes.replace('"', '\'');
    bytes.replace('\n', ' ');
    bytes.replace('\r', ' ');
    return '"' + bytes + '"';
}

QByteArray csvField(const QByteArray& bytes) {
    if (!bytes.contains(',') && !bytes.contains('"') && !bytes.contains('\n') &&
        !bytes.contains('\r'))
        return bytes;
    QByteArray quoted = bytes;
    quoted.replace('"', "\"\"");
    return '"' + quoted + '"';
}

QByteArray m3u(const std::vector<HistorySet>& sets, std::vector<QString>* left) {
    QByteArray out;
    for (const HistorySet& set : sets) {
        for (const HeardSong& song : set.songs) {
            const QByteArray path = pathToBytes(song.path);
            if (path.contains('\r') || path.contains('\n')) {
                if (left) left->push_back(song.path);
                continue;
            }
            out += path + "\r\n";
        }
    }
    return out;
}

QByteArray cue(const std::vector<HistorySet>& sets) {
    QByteArray out = "TITLE \"Kelvra history\"\n";
    int track = 0;
    for (const HistorySet& set : sets) {
        out += "REM SET " + QByteArray::number(set.number) + ' ' + cueText(setTitle(set)) + '\n';
        out += "FILE " + cueText("Set " + QByteArray::number(set.number) + ".wav") + " WAVE\n";
        const std::int64_t start = set.songs.front().heard;
        for (const HeardSong& song : set.songs) {
            // Times in a cue sheet are minutes:seconds:frames at 75 frames a second; history
            // knows whole seconds, so the frames are always 00.
            const std::int64_t at = song.heard - start;
            char index[64];
            std::snprintf(index, sizeof index, "%02lld:%02lld:00", static_cast<long long>(at / 60),
                          static_cast<long long>(at % 60));
            char number[16];
            std::snprintf(number, sizeof number, "%02d", ++track);
            out += QByteArray("  TRACK ") + number + " AUDIO\n";
            out += "    TITLE " + cueText(song.title.toUtf8()) + '\n';
            out += "    PERFORMER " + cueText(song.artist.toUtf8()) + '\n';
            out += "    REM PATH " + cueText(pathToBytes(song.path)) + '\n';
            out += QByteArray("    INDEX 01 ") + index + '\n';
        }
    }
    return out;
}

QByteArray csv(const std::vector<HistorySet>& sets) {
    QByteArray out = "set,heard,artist,title,seconds,path\n";
    for (const HistorySet& set : sets) {
        for (const HeardSong& song : set.songs) {
            out += QByteArray::number(set.number) + ',' + localTime(song.heard) + ',' +
                   csvField(song.artist.toUtf8()) + ',' + csvField(song.title.toUtf8()) + ',' +
                   QByteArray::number(song.seconds, 'f', 3) + ',' +
                   csvField(pathToBytes(song.path)) + '\n';
        }
    }
    return out;
}

}  // namespace

std::vector<HistorySet> historySets(const std::vector<HeardSong>& heard, std::int64_t gap) {
    std::vector<HistorySet> sets;
    for (const HeardSong& song : heard) {
        if (sets.empty() || song.heard - sets.back().songs.back().heard > gap)
            sets.push_back({int(sets.size()) + 1, {}});
        sets.back().songs.push_back(song);
    }
    return sets;
}

std::optional<ExportFormat> exportFormatNamed(const QString& name) {
    const QString lower = name.toLower();
    if (lower == u"m3u") return ExportFormat::M3u;
    if (lower == u"cue") return ExportFormat::Cue;
    if (lower == u"csv") return ExportFormat::Csv;
    return std::nullopt;
}

QByteArray exportSets(const std::vector<HistorySet>& sets, ExportFormat format,
                      std::vector<QString>* left) {
    switch (format) {
        case ExportFormat::M3u:
            return m3u(sets, left);
        case ExportFormat::Cue:
            return cue(sets);
        case ExportFormat::Csv:
            return csv(sets);
    }
    return {};
}

}  // namespace kelvra::library
