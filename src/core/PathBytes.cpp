#include "core/PathBytes.h"

#include <QStringDecoder>

namespace kelvra {
namespace {

constexpr char16_t kEscapeBase = 0xDC00;

bool isEscapedByte(char16_t unit) {
    return unit >= kEscapeBase + 0x80 && unit <= kEscapeBase + 0xFF;
}

// The length of the valid UTF-8 sequence at `at`, or 0 when the byte there starts none.
int validSequence(const unsigned char* s, qsizetype at, qsizetype size) {
    const unsigned char b = s[at];
    if (b < 0x80) return 1;
    int length = 0;
    char32_t min = 0;
    if ((b & 0xE0) == 0xC0) {
        length = 2;
        min = 0x80;
    } else if ((b & 0xF0) == 0xE0) {
        length = 3;
        min = 0x800;
    } else if ((b & 0xF8) == 0xF0) {
        length = 4;
        min = 0x10000;
    } else {
        return 0;
    }
    if (at + length > size) return 0;
    char32_t code = b & (0x7F >> length);
    for (int i = 1; i < length; ++i) {
        if ((s[at + i] & 0xC0) != 0x80) return 0;
        code = (code << 6) | (s[at + i] & 0x3F);
    }
    // Overlong forms, surrogates and values past Unicode are not valid UTF-8.
    if (code < min || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF)) return 0;
    return length;
}

// A run of valid UTF-8 as text. QString::fromUtf8 would drop a byte order mark at the run's
// start, and a path's bytes must come back exactly.
QString decodeRun(const char* data, qsizetype size) {
    QStringDecoder decoder(QStringConverter::Utf8, QStringConverter::Flag::ConvertInitialBom);
    return decoder(QByteArrayView(data, size));
}

}  // namespace

QString pathFromBytes(const QByteArray& bytes) {
    const auto* s = reinterpret_cast<const unsigned char*>(bytes.constData());
    const qsizetype size = bytes.size();
    QString path;
    path.reserve(size);
    qsizetype runStart = 0;
    qsizetype at = 0;
    while (at < size) {
        const int length = validSequence(s, at, size);
        if (length > 0) {
            at += length;
            continue;
        }
        path += decodeRun(bytes.constData() + runStart, at - runStart);
        path += QChar(char16_t(kEscapeBase + s[at]));
        runStart = ++at;
    }
    path += decodeRun(bytes.constData() + runStart, size - runStart);
    return path;
}

QByteArray pathToBytes(const QString& path) {
    QByteArray bytes;
    bytes.reserve(path.size());
    qsizetype runStart = 0;
    for (qsizetype i = 0; i < path.size(); ++i) {
        const char16_t unit = path.at(i).unicode();
        // The low half of a real surrogate pair can look like an escaped byte: it is skipped.
        if (QChar::isHighSurrogate(unit)) {
            if (i + 1 < path.size() && path.at(i + 1).isLowSurrogate()) ++i;
            continue;
        }
        if (!isEscapedByte(unit)) continue;
        bytes += QStringView(path).mid(runStart, i - runStart).toUtf8();
        bytes += char(unit - kEscapeBase);
        runStart = i + 1;
    }
    bytes += QStringView(path).mid(runStart).toUtf8();
    return bytes;
}

QString readablePath(const QString& path) {
    QString shown = path;
    for (qsizetype i = 0; i < shown.size(); ++i) {
        const char16_t unit = shown.at(i).unicode();
        if (QChar::isHighSurrogate(unit) && i + 1 < shown.size() &&
            shown.at(i + 1).isLowSurrogate())
            ++i;
        else if (isEscapedByte(unit))
            shown[i] = QChar(char16_t(unit - kEscapeBase));
    }
    return shown;
}

}  // namespace kelvra
