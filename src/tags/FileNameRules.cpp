#include "tags/FileNameRules.h"

#include <QStringTokenizer>

#include "core/PathBytes.h"
#include "tags/TagText.h"

namespace kelvra::tags {

namespace {

// A piece such as a track number: digits with an optional sign and decimal point, surrounded
// by any spaces.
bool isNumericPiece(QStringView piece) {
    const QStringView text = piece.trimmed();
    qsizetype i = 0;
    if (i < text.size() && (text[i] == u'+' || text[i] == u'-')) ++i;
    bool digits = false;
    bool point = false;
    for (; i < text.size(); ++i) {
        const QChar c = text[i];
        if (c >= u'0' && c <= u'9') {
            digits = true;
        } else if (c == u'.' && !point) {
            point = true;
        } else {
            return false;
        }
    }
    return digits;
}

bool hasMoreThanOneSeparator(const QString& path) {
    return path.indexOf(u'/') != path.lastIndexOf(u'/');
}

}  // namespace

int countSeparators(const QString& text, const QString& separator) {
    if (text.isEmpty() || separator.isEmpty()) return 0;
    return static_cast<int>(text.count(separator));
}

QString joinFolderAndName(const QString& path) {
    const qsizetype slash = path.lastIndexOf(u'/');
    return trimSpaces(path.left(slash)) + QStringLiteral(" - ") + trimSpaces(path.mid(slash + 1));
}

namespace {

// One level of the rules; sets `fallBack` when the folder above should be folded in.
InfoRecord parseOneLevel(const QString& path, bool& fallBack) {
    fallBack = false;
    InfoRecord record;
    QString name = fileNameOfPath(path);
    const qsizetype dot = name.lastIndexOf(u'.');
    if (dot >= 0) name.truncate(dot);
    name = trimSpaces(name);

    if (countSeparators(name, QStringLiteral(" ")) < 1) {
        record.title = name.replace(u'_', u' ');
        return record;
    }

    name = trimSpaces(name.replace(u'_', u' '));
    const qsizetype close = name.indexOf(u')');
    // A name opening with "(" but never closing it has no artist to split off; it goes through
    // the dash rule like any other name.
    if (name.startsWith(u'(') && countSeparators(name, QStringLiteral("-")) < 3 && close > 0) {
        record.artist = name.mid(1, close - 1);
        name = trimSpaces(name.mid(close + 1));
        if (name.startsWith(u'-')) {
            record.title = trimSpaces(name.mid(1));
        } else if (const qsizetype dash = name.indexOf(u'-'); dash >= 0) {
            record.title = name.left(dash);
            record.album = name.mid(dash + 1);
        } else {
            record.title = trimSpaces(name);
        }
    } else {
        bool artistTaken = false;
        bool previousNumeric = false;
        for (const QStringView piece : QStringTokenizer(name, u"- ")) {
            const bool numeric = isNumericPiece(piece);
            if (!numeric) {
                if (!artistTaken) {
                    record.artist = piece.toString();
                    artistTaken = true;
                } else if (previousNumeric) {
                    if (record.title.isEmpty()) record.title = piece.toString();
                } else if (record.album.isEmpty()) {
                    record.album = piece.toString();
                }
            }
            previousNumeric = numeric;
        }
    }
    record.artist.remove(u'(').remove(u')');

    fallBack = record.title.isEmpty() && !name.startsWith(u'(') && hasMoreThanOneSeparator(path);
    return record;
}

}  // namespace

InfoRecord parseFileName(const QString& path) {
    // Each level of the folder fallback folds one folder into the name, removing one "/", so the
    // loop ends when one is left.
    QString current = readablePath(path);
    for (;;) {
        bool fallBack = false;
        InfoRecord record = parseOneLevel(current, fallBack);
        if (!fallBack) return record;
        current = joinFolderAndName(current);
    }
}

}  // namespace kelvra::tags
