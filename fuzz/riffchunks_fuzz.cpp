// Fuzzes the walk of RIFF and RF64 WAVE chunks that runs before a demuxer sees a file: it reads
// only inside the bytes it is given, ends, and gives a reason whenever it refuses.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <span>

#include "audio/decode/RiffChunks.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace kelvra::audio::decode;
    const std::span<const std::uint8_t> file(data, size);
    const RiffCheck check = checkRiffChunks(file);
    if (check.ok != check.problem.empty()) std::abort();
    if (!isRiffWave(file) && !check.ok) std::abort();
    return 0;
}
