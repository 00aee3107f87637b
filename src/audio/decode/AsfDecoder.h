// ASF files (WMA and the like) decoded to memory on a thread of their own. Their time stamps
// cannot place a sample, so a position is an index into the decoded audio; the first audio is
// there within milliseconds, and a read or seek into a part not decoded yet waits for it.
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
// the whole file is decoded before this returns, and the length is what was decoded.
AsfOpenResult openAsf(const std::string& path, std::optional<std::uint64_t> duration100ns);

}  // namespace kelvra::audio::decode
