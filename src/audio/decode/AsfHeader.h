// The ASF container's header: recognising ASF content by its first bytes, and reading the
// attributes and play duration from the header objects. The parser trusts no size in the file:
// every length is checked against what is left, so hostile headers end the parse cleanly.
// Any thread.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>

namespace kelvra::audio::decode {

class FileBytes;

// Size of the header object's fixed part (GUID, size, object count, two reserved bytes).
inline constexpr std::size_t kAsfHeaderPrefix = 30;
// Headers larger than this are refused: real ones are a few kilobytes, or a few megabytes with
// embedded pictures.
inline constexpr std::uint64_t kAsfMaxHeaderSize = 64u << 20;

// True when `bytes` start with the ASF header object's GUID.
bool startsWithAsfGuid(std::span<const std::uint8_t> bytes);

struct AsfHeaderInfo {
    // "name:value" texts, each ended by a NUL, the list ended by one more NUL; empty when the
    // file has no attribute with a value.
    std::string attributes;
    // Play duration without the preroll, in 100 ns units; none when the header does not say.
    std::optional<std::uint64_t> duration100ns;
};

// Parses a whole header object (starting with its GUID). None when it is not a well-formed one.
std::optional<AsfHeaderInfo> parseAsfHeader(std::span<const std::uint8_t> header);

// Reads and parses the header object at the start of `file`.
std::optional<AsfHeaderInfo> readAsfHeader(FileBytes& file);

}  // namespace kelvra::audio::decode
