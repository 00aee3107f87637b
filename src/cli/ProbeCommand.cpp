// probe FILE: opens a file the way the program does (add-on side first, then the main side) and
// prints what the engine makes of it.
#include <cstdio>

#include "audio/ErrorText.h"
#include "audio/engine/Engine.h"
#include "cli/Commands.h"
#include "cli/OpenFailure.h"

namespace kelvra::cli {

int probeCommand(const Args& args) {
    if (args.size() != 1) {
        std::fputs("usage: kelvra-cli probe FILE\n", stderr);
        return 2;
    }
    audio::engine::Engine engine;
    audio::Handle handle = engine.wmaStreamCreateFile(args[0], 0);
    if (handle == 0) handle = engine.streamCreateFile(args[0], 0);
    if (handle == 0) return reportOpenFailure(args[0], engine);
    const audio::PcmFormat format = *engine.streamFormat(handle);
    const audio::BytePosition bytes = engine.streamLength(handle);
    const double seconds = double(bytes / (2u * unsigned(format.channels))) / format.rate;
    std::printf("kind\t%d\n", engine.streamKind(handle));
    std::printf("bytes\t%llu\n", static_cast<unsigned long long>(bytes));
    std::printf("seconds\t%.3f\n", seconds);
    std::printf("rate\t%d\n", format.rate);
    std::printf("channels\t%d\n", format.channels);
    engine.streamFree(handle);
    return 0;
}

}  // namespace kelvra::cli
