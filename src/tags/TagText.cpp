#include "tags/TagText.h"

#include <array>

namespace kelvra::tags {

namespace {

// Windows-1252 for 0x80..0x9F. The five bytes the code page leaves undefined map to the
// control character of the same number, as the system's own conversion does.
constexpr std::array<char16_t, 32> kCp1252High = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178,
};

char encodeChar(char16_t c) {
    if (c < 0x80 || (c >= 0xA0 && c <= 0xFF)) return static_cast<char>(c);
    for (std::size_t i = 0; i < kCp1252High.size(); ++i) {
        if (kCp1252High[i] == c) return static_cast<char>(0x80 + i);
    }
    return '?';
}

}  // namespace

QString decodeSingleByte(std::string_view bytes) {
    QString text(static_cast<qsizetype>(bytes.size()), Qt::Uninitialized);
    QChar* out = text.data();
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        const auto byte = static_cast<unsigned char>(bytes[i]);
        out[i] = (byte >= 0x80 && byte <= 0x9F) ? QChar(kCp1252High[byte - 0x80]) : QChar(byte);
    }
    return text;
}

std::string encodeSingleByte(const QString& text) {
    std::string bytes;
    bytes.reserve(static_cast<std::size_t>(text.size()));
    for (QChar c : text)
        bytes.push_back(encodeChar(c.unicode()));
    return bytes;
}

QString trimSpaces(const QString& text) {
    qsizetype begin = 0;
    qsizetype end = text.size();
    while (begin < end && text[begin] == u' ')
        ++begin;
    while (end > begin && text[end - 1] == u' ')
        --end;
    return text.mid(begin, end - begin);
}

QString trimLeadingSpaces(const QString& text) {
    qsizetype begin = 0;
    while (begin < text.size() && text[begin] == u' ')
        ++begin;
    return text.mid(begin);
}

QString cleanTagText(const QString& text) {
    QString kept;
    kept.reserve(text.size());
    for (QChar c : text) {
        if (c.unicode() > 31) kept.append(c);
    }
    return trimSpaces(kept);
}

QString ansiPointerToText(std::string_view bytes) {
    const std::size_t end = bytes.find('\0');
    return decodeSingleByte(end == std::string_view::npos ? bytes : bytes.substr(0, end));
}

QString fileNameOfPath(const QString& path) {
    return path.mid(path.lastIndexOf(u'/') + 1);
}

}  // namespace kelvra::tags
