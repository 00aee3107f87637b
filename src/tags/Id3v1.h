// The ID3v1 tag: the 128-byte block at the end of an MPEG audio file, read into texts and built
// from them. Pure byte work; any thread.
#pragma once

#include <QString>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "tags/FileNameRules.h"

namespace kelvra::tags {

inline constexpr std::size_t kID3v1Size = 128;

// The fields of a block, each with its padding kept (spaces or NULs), and the genre's name
// (empty for a code past the genre table).
InfoRecord parseID3v1Fields(std::string_view block);

// True when `block` is a whole ID3v1 block: 128 bytes starting with "TAG".
bool isID3v1Block(std::string_view block);

// What the tag editor hands the writer. Texts longer than their field are cut, shorter ones
// padded with spaces. Without a genre, a tag already in the file keeps its genre byte and a new
// tag gets 255, which reads back as no genre.
struct ID3v1Record {
    QString title;    // 30
    QString artist;   // 30
    QString album;    // 30
    QString year;     // 4
    QString comment;  // 30
    std::optional<std::uint8_t> genre;
};

// The 125 bytes that follow "TAG"; `existingGenre` fills the genre byte when the record has
// none.
std::string renderID3v1Record(const ID3v1Record& record, std::uint8_t existingGenre);

}  // namespace kelvra::tags
