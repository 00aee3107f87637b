#include "tags/Id3v2Text.h"

#include <string>

#include "tags/TagText.h"

namespace kelvra::tags {

namespace {

enum Encoding : unsigned char { kSingleByte = 0, kUtf16Bom = 1, kUtf16BE = 2, kUtf8 = 3 };

// UTF-16 where each string may open with its own byte-order mark (a comment's description and
// text each carry one). An odd last byte is dropped.
QString decodeUtf16(std::string_view bytes, bool bigEndianByDefault) {
    std::u16string units;
    units.reserve(bytes.size() / 2);
    bool bigEndian = bigEndianByDefault;
    bool stringStart = true;
    for (std::size_t i = 0; i + 1 < bytes.size(); i += 2) {
        const auto first = static_cast<unsigned char>(bytes[i]);
        const auto second = static_cast<unsigned char>(bytes[i + 1]);
        const char16_t unit =
            bigEndian ? char16_t(first << 8 | second) : char16_t(second << 8 | first);
        if (stringStart && unit == 0xFEFF) continue;
        if (stringStart && unit == 0xFFFE) {
            bigEndian = !bigEndian;
            continue;
        }
        stringStart = unit == 0;
        units.push_back(unit);
    }
    return QString::fromUtf16(units.data(), static_cast<qsizetype>(units.size()));
}

QString decodeText(unsigned char encoding, std::string_view bytes) {
    switch (encoding) {
        case kUtf16Bom:
            return decodeUtf16(bytes, false);
        case kUtf16BE:
            return decodeUtf16(bytes, true);
        case kUtf8:
            return QString::fromUtf8(bytes.data(), static_cast<qsizetype>(bytes.size()));
        default:
            return decodeSingleByte(bytes);
    }
}

// Length of the encoded string at the start of `bytes`, its terminator included (all of
// `bytes` when it has none).
std::size_t terminatedLength(unsigned char encoding, std::string_view bytes) {
    if (encoding == kUtf16Bom || encoding == kUtf16BE) {
        for (std::size_t i = 0; i + 1 < bytes.size(); i += 2) {
            if (bytes[i] == '\0' && bytes[i + 1] == '\0') return i + 2;
        }
        return bytes.size();
    }
    const std::size_t nul = bytes.find('\0');
    return nul == std::string_view::npos ? bytes.size() : nul + 1;
}

}  // namespace

QString decodeFrameBody(std::string_view id, std::string_view body) {
    if (body.empty()) return {};
    const auto encoding = static_cast<unsigned char>(body[0]);
    const bool isText = id.front() == 'T';
    const bool isComment = id == "COMM" || id == "COM";
    const bool isLink = id == "WXXX" || id == "WXX";
    if (encoding == kSingleByte || encoding > kUtf8 || !(isText || isComment || isLink))
        return decodeSingleByte(body);

    QString text{QChar(encoding)};
    std::string_view rest = body.substr(1);
    if (isComment) {
        text += decodeSingleByte(rest.substr(0, 3));  // language code
        rest.remove_prefix(std::min<std::size_t>(3, rest.size()));
    }
    if (isLink) {
        // Only the description is encoded; the address after it is always single-byte.
        const std::size_t description = terminatedLength(encoding, rest);
        text += decodeText(encoding, rest.substr(0, description));
        return text + decodeSingleByte(rest.substr(description));
    }
    return text + decodeText(encoding, rest);
}

}  // namespace kelvra::tags
