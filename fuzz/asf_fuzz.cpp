// Fuzzes the walk over an ASF header's objects (stream properties, file properties, content
// descriptions): sizes and counts come from the file and must never be trusted.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <span>

#include "audio/decode/AsfHeader.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace kelvra::audio::decode;
    const std::span<const std::uint8_t> bytes(data, size);
    (void)startsWithAsfGuid(bytes);
    const auto info = parseAsfHeader(bytes);
    // The attribute list is always ended by its own NUL, whatever the header's strings hold.
    if (info && !info->attributes.empty() && info->attributes.back() != '\0') std::abort();
    return 0;
}
