#include "audio/decode/RiffChunks.h"

#include <algorithm>
#include <cstring>

namespace kelvra::audio::decode {
namespace {

// No WAVE file has more; a file of millions of empty chunks would make the walk (and the
// demuxer's own) read for minutes.
constexpr int kMostChunks = 10000;
// A file cut short may end inside its last chunk (a tag block after the audio, say): a chunk may
// reach this far past the end. Beyond it the size is a lie that a demuxer would allocate by.
constexpr std::uint64_t kMostCutShort = 64 * 1024;

bool at(std::span<const std::uint8_t> bytes, std::size_t offset, const char* text) {
    return bytes.size() >= offset + 4 && std::memcmp(bytes.data() + offset, text, 4) == 0;
}

std::uint64_t le(std::span<const std::uint8_t> bytes, std::size_t offset, int size) {
    std::uint64_t value = 0;
    for (int i = size - 1; i >= 0; --i)
        value = value << 8 | bytes[offset + std::size_t(i)];
    return value;
}

// Chunk ids are four printable characters; anything else after the audio is trailing junk.
bool printableId(std::span<const std::uint8_t> bytes, std::size_t offset) {
    for (std::size_t i = 0; i < 4; ++i)
        if (bytes[offset + i] < 0x20 || bytes[offset + i] > 0x7E) return false;
    return true;
}

std::string idText(std::span<const std::uint8_t> bytes, std::size_t offset) {
    std::string id;
    for (std::size_t i = 0; i < 4; ++i) {
        const char c = char(bytes[offset + i]);
        id += c >= 0x20 && c <= 0x7E ? c : '?';
    }
    return id;
}

RiffCheck failure(std::string problem) {
    return {false, std::move(problem)};
}

std::string tooLong(std::span<const std::uint8_t> file, std::size_t offset, std::uint64_t size,
                    const char* where) {
    return "the chunk '" + idText(file, offset) + "' at byte " + std::to_string(offset) +
           " claims " + std::to_string(size) + " bytes, more than " + where + " holds";
}

// The entries of a LIST chunk's body [begin, end): each must fit in the list (or, when the list
// is cut short by the end of the file, reach no further than a cut-short chunk may).
RiffCheck checkList(std::span<const std::uint8_t> file, std::size_t begin, std::size_t end,
                    bool cutShort) {
    if (end - begin < 4) return {};
    const std::uint64_t slack = cutShort ? kMostCutShort : 0;
    for (std::size_t offset = begin + 4; offset + 8 <= end;) {
        const std::uint64_t size = le(file, offset + 4, 4);
        if (size > end - offset - 8 + slack)
            return failure(tooLong(file, offset, size, "its list"));
        offset += 8 + size + (size & 1);
    }
    return {};
}

}  // namespace

bool isRiffWave(std::span<const std::uint8_t> head) {
    return (at(head, 0, "RIFF") || at(head, 0, "RF64")) && at(head, 8, "WAVE");
}

RiffCheck checkRiffChunks(std::span<const std::uint8_t> file) {
    if (!isRiffWave(file)) return {};
    const bool rf64 = at(file, 0, "RF64");
    const std::size_t fileSize = file.size();
    std::uint64_t rf64DataSize = 0;
    if (rf64) {
        // The real sizes of an RF64 file come first, in a ds64 chunk.
        if (!at(file, 12, "ds64") || fileSize < 20 + 24)
            return failure("the RF64 file has no ds64 chunk");
        const std::uint64_t size = le(file, 16, 4);
        if (size < 24) return failure("the ds64 chunk is too short");
        if (size > fileSize - 20) return failure(tooLong(file, 12, size, "the file"));
        rf64DataSize = le(file, 28, 8);
    }
    bool dataSeen = false;
    int chunks = 0;
    for (std::size_t offset = 12; offset + 8 <= fileSize;) {
        if (++chunks > kMostChunks) return failure("the file holds too many chunks");
        const bool junk = !printableId(file, offset);
        if (junk && dataSeen) break;
        std::uint64_t size = le(file, offset + 4, 4);
        const std::uint64_t left = fileSize - offset - 8;
        if (at(file, offset, "data")) {
            if (rf64 && size == 0xFFFFFFFFu) size = rf64DataSize;
            dataSeen = true;
            // Audio cut short, or of a stated size of "until the end": it ends with the file.
            if (size >= left) break;
        } else if (size > left + kMostCutShort) {
            return failure(tooLong(file, offset, size, "the file"));
        } else if (at(file, offset, "LIST")) {
            const std::size_t end = offset + 8 + std::size_t(std::min(size, left));
            if (RiffCheck list = checkList(file, offset + 8, end, size > left); !list.ok)
                return list;
        }
        if (size >= left) break;  // the last chunk, cut short
        std::size_t next = offset + 8 + std::size_t(size);
        // Chunks of an odd size are followed by a pad byte (a zero); some writers leave it out,
        // and the next chunk then starts where the pad would be.
        if ((size & 1) && next < fileSize &&
            (file[next] == 0 || next + 8 > fileSize || !printableId(file, next)))
            ++next;
        offset = next;
    }
    return {};
}

}  // namespace kelvra::audio::decode
