// ASF files (WMA and the like), decoded on demand as the other formats are. Their time stamps
// (milliseconds) cannot place a sample, so positions count decoded samples from the start: a
// thread of the decoder's own decodes the file once, started by the first seek, and notes how
// many samples come before each packet. A seek lands the demuxer on a packet some way before the
// target, learns from that list where the packet's output starts, and decodes up to the target.
// A seek into a part the list does not reach yet waits for it.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "audio/Decoder.h"

namespace kelvra::audio::decode {

struct AsfOpenResult {
    std::unique_ptr<Decoder> decoder;
    int error = 0;  // an ErrorCode when decoder is null
};

// `duration100ns` is the play duration from the header; the length follows from it. Without it,
// the whole file is decoded once before this returns (keeping nothing but the packet list), and
// the length is what was decoded.
AsfOpenResult openAsf(const std::string& path, std::optional<std::uint64_t> duration100ns);

}  // namespace kelvra::audio::decode
