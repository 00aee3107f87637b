#include "tags/Id3v1.h"

#include "tags/GenreTable.h"
#include "tags/TagText.h"

namespace kelvra::tags {

namespace {

void appendField(std::string& out, const QString& text, qsizetype width) {
    std::string bytes = encodeSingleByte(text.left(width));
    bytes.resize(static_cast<std::size_t>(width), ' ');
    out += bytes;
}

}  // namespace

bool isID3v1Block(std::string_view block) {
    return block.size() == kID3v1Size && block.substr(0, 3) == "TAG";
}

InfoRecord parseID3v1Fields(std::string_view block) {
    InfoRecord record;
    if (!isID3v1Block(block)) return record;
    record.title = decodeSingleByte(block.substr(3, 30));
    record.artist = decodeSingleByte(block.substr(33, 30));
    record.album = decodeSingleByte(block.substr(63, 30));
    record.year = decodeSingleByte(block.substr(93, 4));
    record.comment = decodeSingleByte(block.substr(97, 30));
    record.genre = genreName(static_cast<unsigned char>(block[127]));
    return record;
}

std::string renderID3v1Record(const ID3v1Record& record, std::uint8_t existingGenre) {
    std::string out;
    out.reserve(125);
    appendField(out, record.title, 30);
    appendField(out, record.artist, 30);
    appendField(out, record.album, 30);
    appendField(out, record.year, 4);
    appendField(out, record.comment, 30);
    out.push_back(static_cast<char>(record.genre.value_or(existingGenre)));
    return out;
}

}  // namespace kelvra::tags
