// Fuzzes the ID3v1 block readers: the field split, the display texts built from the block text,
// and the single-byte code page both ways.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "tags/DisplayText.h"
#include "tags/Id3v1.h"
#include "tags/TagText.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace kelvra::tags;
    const std::string_view input(reinterpret_cast<const char*>(data), size);
    const std::string_view tail = size >= kID3v1Size ? input.substr(size - kID3v1Size) : input;

    const InfoRecord fields = parseID3v1Fields(tail);
    ID3v1Record record{fields.title, fields.artist, fields.album, fields.year, fields.comment, {}};
    if (renderID3v1Record(record, 0).size() != 125) std::abort();

    const QString text = id3v1BlockText(tail);
    (void)FormatID3v1TagsDeck(text);
    (void)FormatID3v1TagsPlaylist(text);

    // Every byte decodes to one character and encodes back to itself.
    if (encodeSingleByte(decodeSingleByte(input)) != input) std::abort();
    (void)cleanTagText(decodeSingleByte(input));
    return 0;
}
