// Reads a recording back with libFLAC's own decoder, so that the tests judge a file as any
// player would: its header, every sample, and the signature of the samples.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace kelvra::test {

struct FlacData {
    bool ok = false;          // decoded to its end without an error
    bool md5Known = false;    // the header carries a signature of the samples
    bool md5Matched = false;  // ... and the samples decoded match it
    int rate = 0;
    int channels = 0;
    int bitsPerSample = 0;
    std::uint64_t totalFrames = 0;  // as the header says
    std::vector<std::int16_t> samples;
    std::string error;
};

FlacData decodeFlac(const std::string& path);

}  // namespace kelvra::test
