// Fuzzes deciding what a file holds from its first bytes, ours and libavformat's probe.
#include <cstddef>
#include <cstdint>
#include <span>

#include "audio/decode/ContentSniff.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace kelvra::audio::decode;
    const std::span<const std::uint8_t> head(data, size);
    (void)sniffContent(head, std::int64_t(size));
    (void)sniffContent(head, std::int64_t(size) * 1000 + 7);  // a head of a larger file
    (void)probeContainer(head);
    return 0;
}
