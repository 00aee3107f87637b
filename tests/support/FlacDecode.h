// Reads a recording back with libFLAC's own decoder, as any player would: header, samples, and
// whether the header's signature of the samples matches them.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace kelvra::test {

struct FlacData {
    bool ok = false;          // decoded to its end without an error
    bool md5Matched = false;  // the header has a signature, and the samples match it
    int rate = 0;
    std::uint64_t totalFrames = 0;  // as the header says
    std::vector<std::int16_t> samples;
    std::string error;
};

FlacData decodeFlac(const std::string& path);

}  // namespace kelvra::test
