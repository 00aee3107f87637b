// Byte-exact tag fixtures built in the tests: ID3v1 blocks, ID3v2 frames and tags, files.
#pragma once

#include <QByteArray>
#include <QFile>
#include <QString>
#include <cstdint>
#include <ostream>
#include <string>
#include <string_view>

#include "support/FileBytes.h"

// gtest prints texts readably.
inline void PrintTo(const QString& text, std::ostream* out) {
    *out << '"' << text.toStdString() << '"';
}

namespace kelvra::test {

// A string literal with its embedded NULs (the terminating one excluded).
template <std::size_t N>
std::string bytes(const char (&literal)[N]) {
    return std::string(literal, N - 1);
}

// A 128-byte ID3v1 block; fields are padded with `pad` (space or NUL).
inline std::string id3v1Block(std::string_view title, std::string_view artist,
                              std::string_view album, std::string_view year,
                              std::string_view comment, std::uint8_t genre, char pad = ' ') {
    std::string block = "TAG";
    auto field = [&](std::string_view text, std::size_t width) {
        std::string bytes(text.substr(0, width));
        bytes.resize(width, pad);
        block += bytes;
    };
    field(title, 30);
    field(artist, 30);
    field(album, 30);
    field(year, 4);
    field(comment, 30);
    block.push_back(static_cast<char>(genre));
    return block;
}

inline std::string bigEndian32(std::uint32_t value) {
    return {char(value >> 24), char(value >> 16), char(value >> 8), char(value)};
}

inline std::string synchsafe32(std::uint32_t value) {
    return {char((value >> 21) & 0x7F), char((value >> 14) & 0x7F), char((value >> 7) & 0x7F),
            char(value & 0x7F)};
}

// An ID3v2.3 frame (plain big-endian size) or, with version 4, an ID3v2.4 frame (synchsafe).
inline std::string frame(std::string_view id, std::string_view body, int version = 3,
                         char formatFlags = 0) {
    std::string out(id);
    out += version == 4 ? synchsafe32(std::uint32_t(body.size()))
                        : bigEndian32(std::uint32_t(body.size()));
    out += '\0';
    out += formatFlags;
    out += body;
    return out;
}

// An ID3v2.2 frame: three-character identifier, three-byte size.
inline std::string frame22(std::string_view id, std::string_view body) {
    std::string out(id);
    const auto size = std::uint32_t(body.size());
    out += {char(size >> 16), char(size >> 8), char(size)};
    out += body;
    return out;
}

// A tag header followed by `frames` and `padding` NUL bytes; the size field covers both unless
// `sizeField` is given.
inline std::string id3v2Tag(std::string_view frames, std::size_t padding = 0, int version = 3,
                            unsigned char flags = 0, long sizeField = -1) {
    std::string out = "ID3";
    out += {char(version), '\0', char(flags)};
    out += synchsafe32(sizeField >= 0 ? std::uint32_t(sizeField)
                                      : std::uint32_t(frames.size() + padding));
    out += frames;
    out += std::string(padding, '\0');
    return out;
}

inline bool writeBytes(const QString& path, std::string_view bytes) {
    QFile file(path);
    return file.open(QIODevice::WriteOnly | QIODevice::Truncate) &&
           file.write(bytes.data(), qint64(bytes.size())) == qint64(bytes.size());
}

// Stand-in audio: bytes that look like nothing a tag reader would take for a tag.
inline std::string fakeAudio(std::size_t size) {
    std::string audio(size, '\0');
    for (std::size_t i = 0; i < size; ++i)
        audio[i] = char(0xA5 ^ (i * 7));
    return audio;
}

}  // namespace kelvra::test
