// Fuzzes the whole open path a deck takes, WAV and MP3 headers included, on a file that lives
// in memory (a memfd, opened by its /proc path): sniffing, the add-on side for ASF, the main side
// for everything else, the length, a seek and the first second of decoding.
#include <sys/mman.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "audio/Decoder.h"

namespace {

void exercise(kelvra::audio::OpenedFile opened) {
    if (!opened.decoder) return;
    kelvra::audio::Decoder& decoder = *opened.decoder;
    const auto format = decoder.format();
    // The open path bounds what a header may claim before any buffer is sized.
    if (format.rate < 100 || format.rate > 100000 || format.channels < 1 || format.channels > 8)
        std::abort();
    if (decoder.lengthFrames() < 0) std::abort();
    std::vector<std::int16_t> pcm(4096 * std::size_t(format.channels));
    std::int64_t read = 0;
    while (read < format.rate) {
        const std::int64_t got = decoder.read(pcm.data(), 4096);
        if (got <= 0) break;
        if (got > 4096) std::abort();
        read += got;
    }
    decoder.seek(decoder.lengthFrames() / 2);
    (void)decoder.read(pcm.data(), 1024);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static const int fd = memfd_create("kelvra-open-fuzz", 0);
    if (fd < 0) return 0;
    if (ftruncate(fd, 0) != 0 || pwrite(fd, data, size, 0) != ssize_t(size)) return 0;
    const std::string path = "/proc/self/fd/" + std::to_string(fd);
    using kelvra::audio::OpenMode;
    exercise(kelvra::audio::openAddonFile(path, OpenMode::Playback));
    exercise(kelvra::audio::openMainFile(path, OpenMode::Playback));
    (void)kelvra::audio::openMainFile(path, OpenMode::TagsOnly);
    return 0;
}
