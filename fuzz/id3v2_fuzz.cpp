// Fuzzes the ID3v2 walk over a whole file held in memory, and over a short prefix that is
// extended on request the way the file reader does it.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "tags/Id3v2Reader.h"
#include "tags/TagText.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace kelvra::tags;
    const std::string_view file(reinterpret_cast<const char*>(data), size);

    ID3v2Slots whole;
    parseID3v2Header(file.substr(0, 10), whole);
    if (walkID3v2Frames(file, size, whole) != 0) std::abort();  // it has everything it can ask for

    ID3v2Slots parts;
    std::string_view prefix = file.substr(0, std::min<std::size_t>(size, 16));
    for (int attempt = 0; attempt < 8; ++attempt) {
        const std::uint64_t needed = walkID3v2Frames(prefix, size, parts);
        if (needed == 0) break;
        if (needed <= prefix.size() || needed > size) std::abort();
        prefix = file.substr(0, static_cast<std::size_t>(needed));
    }
    (void)cleanTagText(parts.title + parts.artist + parts.comment);
    return 0;
}
