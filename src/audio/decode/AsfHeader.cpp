#include "audio/decode/AsfHeader.h"
#include <cctype>

#include <array>
#include <cstring>
#include <vector>

#include "audio/decode/FileBytes.h"

namespace kelvra::audio::decode {
namespace {

using Guid = std::array<std::uint8_t, 16>;

// GUIDs as they are stored (the first three fields little-endian).
constexpr Guid kHeaderObject = {0x30, 0x26, 0xB2, 0x75, 0x8E, 0x66, 0xCF, 0x11,
                                0xA6, 0xD9, 0x00, 0xAA, 0x00, 0x62, 0xCE, 0x6C};
constexpr Guid kFileProperties = {0xA1, 0xDC, 0xAB, 0x8C, 0x47, 0xA9, 0xCF, 0x11,
                                  0x8E, 0xE4, 0x00, 0xC0, 0x0C, 0x20, 0x53, 0x65};
constexpr Guid kContentDescription = {0x33, 0x26, 0xB2, 0x75, 0x8E, 0x66, 0xCF, 0x11,
                                      0xA6, 0xD9, 0x00, 0xAA, 0x00, 0x62, 0xCE, 0x6C};
constexpr Guid kExtendedContentDescription = {0x40, 0xA4, 0xD0, 0xD2, 0x07, 0xE3, 0xD2, 0x11,
                                              0x97, 0xF0, 0x00, 0xA0, 0xC9, 0x5E, 0xA8, 0x50};

constexpr std::size_t kObjectPrefix = 24;  // GUID and 64-bit size

// A bounds-checked reader over one object's body. Any read past the end marks it failed and
// yields zeros, so callers check ok() once after a group of reads.
class Cursor {
  public:
    explicit Cursor(std::span<const std::uint8_t> bytes) : bytes_(bytes) {}
    bool ok() const { return ok_; }
    std::size_t left() const { return bytes_.size() - at_; }
    std::uint64_t le(int width) {
        if (!ok_ || left() < static_cast<std::size_t>(width)) {
            ok_ = false;
            return 0;
        }
        std::uint64_t v = 0;
        for (int i = width - 1; i >= 0; --i)
            v = v << 8 | bytes_[at_ + i];
        at_ += width;
        return v;
    }
    std::span<const std::uint8_t> take(std::uint64_t count) {
        if (!ok_ || left() < count) {
            ok_ = false;
            return {};
        }
        auto part = bytes_.subspan(at_, static_cast<std::size_t>(count));
        at_ += static_cast<std::size_t>(count);
        return part;
    }

  private:
    std::span<const std::uint8_t> bytes_;
    std::size_t at_ = 0;
    bool ok_ = true;
};

bool isGuid(std::span<const std::uint8_t> bytes, const Guid& guid) {
    return bytes.size() >= guid.size() && std::memcmp(bytes.data(), guid.data(), guid.size()) == 0;
}

void appendUtf8(std::string& out, std::uint32_t c) {
    if (c < 0x80) {
        out += static_cast<char>(c);
    } else if (c < 0x800) {
        out += static_cast<char>(0xC0 | c >> 6);
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
        out += static_cast<char>(0xE0 | c >> 12);
        out += static_cast<char>(0x80 | (c >> 6 & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | c >> 18);
        out += static_cast<char>(0x80 | (c >> 12 & 0x3F));
        out += static_cast<char>(0x80 | (c >> 6 & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    }
}

// UTF-16LE to UTF-8, up to the first NUL (the list uses NUL as its separator). Unpaired
// surrogates become U+FFFD.
std::string utf16ToUtf8(std::span<const std::uint8_t> bytes) {
    std::string out;
    const std::size_t units = bytes.size() / 2;
    for (std::size_t i = 0; i < units; ++i) {
        std::uint32_t c = bytes[2 * i] | bytes[2 * i + 1] << 8;
        if (c == 0) break;
        if (c >= 0xD800 && c < 0xDC00 && i + 1 < units) {
            const std::uint32_t low = bytes[2 * i + 2] | bytes[2 * i + 3] << 8;
            if (low >= 0xDC00 && low < 0xE000) {
                c = 0x10000 + ((c - 0xD800) << 10) + (low - 0xDC00);
                ++i;
            } else {
                c = 0xFFFD;
            }
        } else if (c >= 0xD800 && c < 0xE000) {
            c = 0xFFFD;
        }
        appendUtf8(out, c);
    }
    return out;
}

bool sameNameAndValue(std::string_view entry, const std::string& name, const std::string& value) {
    if (entry.size() != name.size() + 1 + value.size() || entry[name.size()] != ':') return false;
    for (std::size_t i = 0; i < name.size(); ++i)
        if (std::tolower(static_cast<unsigned char>(entry[i])) !=
            std::tolower(static_cast<unsigned char>(name[i])))
            return false;
    return entry.substr(name.size() + 1) == value;
}

void addAttribute(std::string& list, const std::string& name, const std::string& value) {
    if (name.empty() || value.empty()) return;
    // Some writers store the title and author in both description objects; the same attribute
    // with the same value is listed once.
    for (std::size_t at = 0; at < list.size();) {
        const std::size_t end = list.find('\0', at);
        if (sameNameAndValue(std::string_view(list).substr(at, end - at), name, value)) return;
        at = end + 1;
    }
    list += name;
    list += ':';
    list += value;
    list += '\0';
}

bool parseContentDescription(Cursor body, std::string& list) {
    static const char* const kNames[] = {"Title", "Author", "Copyright", "Description", "Rating"};
    std::uint64_t lengths[5];
    for (auto& length : lengths)
        length = body.le(2);
    for (int i = 0; i < 5; ++i)
        addAttribute(list, kNames[i], utf16ToUtf8(body.take(lengths[i])));
    return body.ok();
}

// Value types of the Extended Content Description object.
enum ValueType { kUnicode = 0, kBytes = 1, kBool = 2, kDword = 3, kQword = 4, kWord = 5 };

std::string valueText(std::uint64_t type, std::span<const std::uint8_t> value) {
    auto number = [&](std::size_t width) -> std::string {
        if (value.size() < width) return {};
        std::uint64_t v = 0;
        for (std::size_t i = width; i-- > 0;)
            v = v << 8 | value[i];
        return std::to_string(v);
    };
    switch (type) {
        case kUnicode:
            return utf16ToUtf8(value);
        case kBool:
            return number(4);
        case kDword:
            return number(4);
        case kQword:
            return number(8);
        case kWord:
            return number(2);
        default:
            return {};  // byte arrays (pictures and such) have no text
    }
}

bool parseExtendedContentDescription(Cursor body, std::string& list) {
    const std::uint64_t count = body.le(2);
    for (std::uint64_t i = 0; i < count && body.ok(); ++i) {
        const std::string name = utf16ToUtf8(body.take(body.le(2)));
        const std::uint64_t type = body.le(2);
        const auto value = body.take(body.le(2));
        if (body.ok()) addAttribute(list, name, valueText(type, value));
    }
    return body.ok();
}

bool parseFileProperties(Cursor body, AsfHeaderInfo& info) {
    body.take(16 + 8 + 8 + 8);  // file id, file size, creation date, data packet count
    const std::uint64_t play = body.le(8);
    body.le(8);  // send duration
    const std::uint64_t prerollMs = body.le(8);
    const std::uint64_t flags = body.le(4);
    if (!body.ok()) return false;
    constexpr std::uint64_t kBroadcast = 1;  // durations are not valid in a broadcast file
    const std::uint64_t preroll = prerollMs * 10000;
    if (!(flags & kBroadcast) && play > preroll && prerollMs < (1ull << 40))
        info.duration100ns = play - preroll;
    return true;
}

}  // namespace

bool startsWithAsfGuid(std::span<const std::uint8_t> bytes) {
    return isGuid(bytes, kHeaderObject);
}

std::optional<AsfHeaderInfo> parseAsfHeader(std::span<const std::uint8_t> header) {
    if (header.size() < kAsfHeaderPrefix || !startsWithAsfGuid(header)) return std::nullopt;
    Cursor top(header);
    top.take(16);
    const std::uint64_t size = top.le(8);
    if (size < kAsfHeaderPrefix || size > header.size()) return std::nullopt;
    Cursor objects(header.subspan(kAsfHeaderPrefix, size - kAsfHeaderPrefix));

    AsfHeaderInfo info;
    // Objects are walked by their sizes, not by the declared count: the count is one more
    // number a hostile file could get wrong.
    while (objects.left() >= kObjectPrefix) {
        const auto guid = objects.take(16);
        const std::uint64_t objectSize = objects.le(8);
        if (objectSize < kObjectPrefix || objectSize - kObjectPrefix > objects.left())
            return std::nullopt;
        Cursor body(objects.take(objectSize - kObjectPrefix));
        bool ok = true;
        if (isGuid(guid, kContentDescription))
            ok = parseContentDescription(body, info.attributes);
        else if (isGuid(guid, kExtendedContentDescription))
            ok = parseExtendedContentDescription(body, info.attributes);
        else if (isGuid(guid, kFileProperties))
            ok = parseFileProperties(body, info);
        if (!ok) return std::nullopt;
    }
    if (!info.attributes.empty()) info.attributes += '\0';
    return info;
}

std::optional<AsfHeaderInfo> readAsfHeader(FileBytes& file) {
    std::uint8_t prefix[kAsfHeaderPrefix];
    if (!file.readExact(0, prefix, sizeof prefix) || !startsWithAsfGuid(prefix))
        return std::nullopt;
    std::uint64_t size = 0;
    for (int i = 7; i >= 0; --i)
        size = size << 8 | prefix[16 + i];
    if (size < kAsfHeaderPrefix || size > kAsfMaxHeaderSize ||
        size > static_cast<std::uint64_t>(file.size()))
        return std::nullopt;
    std::vector<std::uint8_t> header(static_cast<std::size_t>(size));
    if (!file.readExact(0, header.data(), header.size())) return std::nullopt;
    return parseAsfHeader(header);
}

}  // namespace kelvra::audio::decode
