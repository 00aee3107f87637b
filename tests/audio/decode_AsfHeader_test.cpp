// The ASF header parser on headers built here: the attribute list's contents and order, the
// play duration, and hostile headers that must end the parse without over-reading or looping.
#include <gtest/gtest.h>

#include <QTemporaryDir>
#include <fstream>
#include <random>

#include "audio/AudioLibrary.h"
#include "audio/Decoder.h"
#include "audio/decode/AsfHeader.h"

namespace kelvra::audio::decode {
namespace {

using Bytes = std::string;

const Bytes kHeaderGuid("\x30\x26\xB2\x75\x8E\x66\xCF\x11\xA6\xD9\x00\xAA\x00\x62\xCE\x6C", 16);
const Bytes kContentGuid("\x33\x26\xB2\x75\x8E\x66\xCF\x11\xA6\xD9\x00\xAA\x00\x62\xCE\x6C", 16);
const Bytes kExtendedGuid("\x40\xA4\xD0\xD2\x07\xE3\xD2\x11\x97\xF0\x00\xA0\xC9\x5E\xA8\x50", 16);
const Bytes kFileGuid("\xA1\xDC\xAB\x8C\x47\xA9\xCF\x11\x8E\xE4\x00\xC0\x0C\x20\x53\x65", 16);
const Bytes kOtherGuid(16, '\x5A');

Bytes le(std::uint64_t v, int width) {
    Bytes out;
    for (int i = 0; i < width; ++i)
        out += static_cast<char>(v >> (8 * i));
    return out;
}

// UTF-16LE with the terminating NUL, as the files store their strings.
Bytes utf16(const std::u16string& text) {
    Bytes out;
    for (const char16_t c : text + u'\0')
        out += le(c, 2);
    return out;
}

Bytes object(const Bytes& guid, const Bytes& body) {
    return guid + le(24 + body.size(), 8) + body;
}

Bytes header(const std::vector<Bytes>& objects) {
    Bytes all;
    for (const auto& o : objects)
        all += o;
    return kHeaderGuid + le(30 + all.size(), 8) + le(objects.size(), 4) + "\x01\x02" + all;
}

Bytes contentDescription(const std::vector<std::u16string>& fields) {
    Bytes lengths, strings;
    for (const auto& field : fields) {
        const Bytes s = field.empty() ? Bytes() : utf16(field);
        lengths += le(s.size(), 2);
        strings += s;
    }
    return object(kContentGuid, lengths + strings);
}

struct Entry {
    std::u16string name;
    int type;
    Bytes value;
};
Bytes extendedDescription(const std::vector<Entry>& entries) {
    Bytes body = le(entries.size(), 2);
    for (const auto& e : entries)
        body += le(utf16(e.name).size(), 2) + utf16(e.name) + le(e.type, 2) +
                le(e.value.size(), 2) + e.value;
    return object(kExtendedGuid, body);
}

Bytes fileProperties(std::uint64_t play100ns, std::uint64_t prerollMs, std::uint32_t flags) {
    return object(kFileGuid, Bytes(16, '\x11') + le(0, 8) + le(0, 8) + le(0, 8) + le(play100ns, 8) +
                                 le(play100ns, 8) + le(prerollMs, 8) + le(flags, 4) + le(3200, 4) +
                                 le(3200, 4) + le(128000, 4));
}

std::optional<AsfHeaderInfo> parse(const Bytes& bytes) {
    return parseAsfHeader(
        std::span(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size()));
}

Bytes sampleHeader() {
    return header({
        fileProperties(64'430'000, 3100, 2),
        extendedDescription({{u"WM/AlbumTitle", 0, utf16(u"Lights")},
                             {u"WM/Year", 0, utf16(u"")},
                             {u"WM/TrackNumber", 3, le(7, 4)},
                             {u"WM/Duration", 4, le(1234567890123, 8)},
                             {u"IsVBR", 2, le(1, 4)},
                             {u"WM/Word", 5, le(65535, 2)},
                             {u"WM/Picture", 1, Bytes("\x89PNG", 4)}}),
        object(kOtherGuid, Bytes(40, '\0')),
        contentDescription({u"Caf\u00e9 \U0001D11E", u"", u"(C) Us", u"", u""}),
    });
}

TEST(DecodeAsfHeader, AttributesAreNameValueTextsInFileOrder) {
    const auto info = parse(sampleHeader());
    ASSERT_TRUE(info);
    static const char expected[] =
        "WM/AlbumTitle:Lights\0WM/TrackNumber:7\0WM/Duration:1234567890123\0IsVBR:1\0"
        "WM/Word:65535\0Title:Caf\xC3\xA9 \xF0\x9D\x84\x9E\0Copyright:(C) Us\0";
    EXPECT_EQ(info->attributes, Bytes(expected, sizeof expected));
    ASSERT_TRUE(info->duration100ns);
    EXPECT_EQ(*info->duration100ns, 33'430'000u);  // play duration less the 3.1 s preroll

    const auto bare = parse(header({fileProperties(64'430'000, 3100, 1)}));
    ASSERT_TRUE(bare);
    EXPECT_EQ(bare->attributes, "") << "no attributes: an empty list";
    EXPECT_FALSE(bare->duration100ns) << "a broadcast file's duration is not valid";
}

TEST(DecodeAsfHeader, HostileHeadersEndTheParseCleanly) {
    const Bytes good = sampleHeader();
    // Every truncation: the declared size no longer fits.
    for (std::size_t size = 0; size < good.size(); ++size)
        EXPECT_FALSE(parse(good.substr(0, size))) << size;

    auto withObject = [](const Bytes& o) { return header({fileProperties(1, 0, 0), o}); };
    // An object larger than the header, or too small to hold its own prefix (which would loop).
    Bytes huge = object(kOtherGuid, "");
    huge.replace(16, 8, le(~0ull, 8));
    EXPECT_FALSE(parse(withObject(huge)));
    Bytes tiny = object(kOtherGuid, "");
    tiny.replace(16, 8, le(0, 8));
    EXPECT_FALSE(parse(withObject(tiny)));
    // String lengths and entry counts that promise more than the object holds.
    Bytes longTitle = contentDescription({u"ab", u"", u"", u"", u""});
    longTitle.replace(24, 2, le(0xFFFF, 2));
    EXPECT_FALSE(parse(withObject(longTitle)));
    Bytes manyEntries = extendedDescription({{u"A", 0, utf16(u"b")}});
    manyEntries.replace(24, 2, le(0xFFFF, 2));
    EXPECT_FALSE(parse(withObject(manyEntries)));
    Bytes longValue = extendedDescription({{u"A", 0, utf16(u"b")}});
    longValue.replace(longValue.size() - 6, 2, le(0xFFF0, 2));
    EXPECT_FALSE(parse(withObject(longValue)));
    // A numeric value too short for its type gives no text, not a read past it.
    const auto shortNumber = parse(withObject(extendedDescription({{u"N", 4, le(5, 2)}})));
    ASSERT_TRUE(shortNumber);
    EXPECT_EQ(shortNumber->attributes, "");
    // A header size below its own prefix.
    Bytes small = good;
    small.replace(16, 8, le(10, 8));
    EXPECT_FALSE(parse(small));

    // Seeded random damage: whatever the parse decides, it stays inside the buffer (the
    // sanitizer build checks that) and ends.
    const unsigned seed = 20240611;
    std::mt19937 random(seed);
    for (int round = 0; round < 3000; ++round) {
        Bytes damaged = good;
        const int changes = 1 + static_cast<int>(random() % 4);
        for (int i = 0; i < changes; ++i)
            damaged[random() % damaged.size()] = static_cast<char>(random());
        parse(damaged);
    }
    SUCCEED() << "seed " << seed;
}

TEST(DecodeAsfHeader, FilesWithBrokenHeadersFailToOpen) {
    QTemporaryDir dir;
    auto write = [&](const char* name, const Bytes& bytes) {
        const std::string path = dir.filePath(name).toStdString();
        std::ofstream(path, std::ios::binary) << bytes;
        return path;
    };
    Bytes claimsGigabytes = sampleHeader();
    claimsGigabytes.replace(16, 8, le(3ull << 30, 8));
    const std::string paths[] = {write("prefix-only.wma", sampleHeader().substr(0, 40)),
                                 write("huge.wma", claimsGigabytes),
                                 write("guid-only.wma", kHeaderGuid)};
    for (const auto& path : paths) {
        for (const OpenMode mode : {OpenMode::TagsOnly, OpenMode::Playback}) {
            EXPECT_EQ(openAddonFile(path, mode).error, kErrorFormat) << path;
            EXPECT_EQ(openMainFile(path, mode).error, kErrorFormat) << path;
        }
    }
    // A whole header but no audio after it: tags can be read, playback cannot.
    const std::string headerOnly = write("header-only.wma", sampleHeader());
    EXPECT_EQ(openAddonFile(headerOnly, OpenMode::TagsOnly).error, kErrorOk);
    EXPECT_EQ(openAddonFile(headerOnly, OpenMode::Playback).error, kErrorFormat);
}

}  // namespace
}  // namespace kelvra::audio::decode
