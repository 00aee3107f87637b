// Fuzzes a song from its bytes to its analysis, as the background analyser takes it: open (on a
// file in memory, a memfd opened by its /proc path), decode to the end and analyse. A header
// that lies about the length must not make either run past what the bytes can hold.
#include <sys/mman.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "audio/Decoder.h"
#include "audio/analysis/SongAnalysis.h"

namespace {

// No codec makes more than this many frames of a byte (a FLAC frame of 65,535 samples in a dozen
// bytes is about 5,500); a length beyond it was taken from a header without a check.
constexpr std::int64_t kMostFramesPerByte = 8192;
// Longer songs are only decoded, not analysed: the beat tracker's cost is not what is fuzzed.
constexpr std::int64_t kMostAnalysedSeconds = 30;

void exercise(kelvra::audio::OpenedFile opened, std::size_t size) {
    if (!opened.decoder) return;
    kelvra::audio::Decoder& decoder = *opened.decoder;
    const kelvra::audio::PcmFormat format = decoder.format();
    const std::int64_t length = decoder.lengthFrames();
    if (length < 0 || length > std::int64_t(size) * kMostFramesPerByte + 65536) std::abort();
    if (length > format.rate * kMostAnalysedSeconds) {
        std::vector<std::int16_t> pcm(65536 * std::size_t(format.channels));
        std::int64_t total = 0;
        for (std::int64_t got; (got = decoder.read(pcm.data(), 65536)) > 0;) {
            total += got;
            if (total > length) std::abort();
        }
        return;
    }
    const kelvra::audio::analysis::AnalysisSnapshot analysis =
        kelvra::audio::analysis::analyseDecoder(decoder);
    // The analysis covers what the decoder gave, never more than its length.
    if (analysis && analysis->seconds > double(length) / format.rate + 1e-9) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static const int fd = memfd_create("kelvra-analyse-fuzz", 0);
    if (fd < 0) return 0;
    if (ftruncate(fd, 0) != 0 || pwrite(fd, data, size, 0) != ssize_t(size)) return 0;
    const std::string path = "/proc/self/fd/" + std::to_string(fd);
    using kelvra::audio::OpenMode;
    exercise(kelvra::audio::openAddonFile(path, OpenMode::Playback), size);
    exercise(kelvra::audio::openMainFile(path, OpenMode::Playback), size);
    return 0;
}
