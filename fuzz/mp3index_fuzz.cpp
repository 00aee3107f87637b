// Fuzzes the MPEG audio frame index over a whole file in memory: ID3v2 skipping, frame sync,
// Xing/Info/LAME headers (encoder delay and padding) and trailing APE or ID3v1 tags.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <span>

#include "audio/decode/Mp3Frames.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace kelvra::audio::decode;
    const std::span<const std::uint8_t> file(data, size);
    (void)id3v2Size(file);
    (void)parseMpegHeader(file);
    const auto index = indexMp3(file);
    if (!index) return 0;
    // Every frame lies inside the file, in order; the length cannot be negative.
    std::int64_t previous = -1;
    for (const std::int64_t offset : index->offsets) {
        if (offset <= previous || offset >= std::int64_t(size)) std::abort();
        previous = offset;
    }
    if (index->lengthFrames < 0 || index->skipFrames < 0) std::abort();
    if (index->rate <= 0 || index->channels <= 0 || index->samplesPerFrame <= 0) std::abort();
    return 0;
}
