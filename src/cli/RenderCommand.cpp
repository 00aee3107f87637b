// render FILE --out OUT.wav [...]: plays a file through the engine's mixing path, offline, into a
// 16-bit stereo WAV file.
#include <cmath>
#include <cstdio>
#include <limits>
#include <optional>
#include <string>
#include <vector>

#include "audio/ErrorText.h"
#include "audio/WavWriter.h"
#include "audio/engine/Engine.h"
#include "cli/Commands.h"
#include "cli/OpenFailure.h"
#include "cli/OptionParser.h"

namespace kelvra::cli {
namespace {

constexpr const char* kUsage =
    "usage: kelvra-cli render FILE --out OUT.wav [--rate OUTRATE] [--freq HZ] [--volume V] "
    "[--pan P] [--from BYTES] [--seconds S]\n";

// A week of audio: far past any song, and small enough that frame counts stay exact.
constexpr double kLongestRender = 86400.0 * 7;
constexpr int kMaxInt = std::numeric_limits<int>::max();

struct RenderOptions {
    std::string file, out;
    // Rate and attributes are the engine's to check; here they only have to be whole numbers.
    int rate = 44100, freq = -1, volume = -1, pan = -101;
    long long from = 0;
    double seconds = -1;
};

std::optional<RenderOptions> parse(const Args& args) {
    RenderOptions options;
    OptionParser parser;
    parser.text("--out", options.out)
        .number("--rate", options.rate, 1, kMaxInt)
        .number("--freq", options.freq, -1, kMaxInt)
        .number("--volume", options.volume, -1, kMaxInt)
        .number("--pan", options.pan, -kMaxInt, kMaxInt)
        .number("--from", options.from, 0LL, std::numeric_limits<long long>::max())
        .number("--seconds", options.seconds, 0.0, kLongestRender);
    if (!parser.parse(args, options.file) || options.file.empty() || options.out.empty()) {
        if (!parser.error().empty())
            std::fprintf(stderr, "kelvra-cli: %s\n", parser.error().c_str());
        return std::nullopt;
    }
    return options;
}

int failure(const audio::engine::Engine& engine) {
    const int code = engine.errorCode();
    std::printf("error\t%d\t%s\n", code, audio::errorText(code).toUtf8().constData());
    return 1;
}

}  // namespace

int renderCommand(const Args& args) {
    const std::optional<RenderOptions> options = parse(args);
    if (!options) {
        std::fputs(kUsage, stderr);
        return 2;
    }
    audio::engine::Engine engine;
    if (!engine.initOffline(std::uint32_t(options->rate))) return failure(engine);
    audio::Handle handle = engine.wmaStreamCreateFile(options->file, 0);
    if (handle == 0) handle = engine.streamCreateFile(options->file, 0);
    if (handle == 0) return reportOpenFailure(options->file, engine);
    if (!engine.channelSetAttributes(handle, int(options->freq), int(options->volume),
                                     int(options->pan)) ||
        !engine.channelSetPosition(handle, audio::BytePosition(options->from)) ||
        !engine.streamPlay(handle, false, 0))
        return failure(engine);

    // The rest of the stream, stretched by the playback rate, or the seconds asked for.
    const audio::PcmFormat format = *engine.streamFormat(handle);
    const auto frameBytes = audio::BytePosition(2 * format.channels);
    const auto remaining =
        double((engine.streamLength(handle) - engine.channelPosition(handle)) / frameBytes);
    const int playbackRate = engine.channelAttributes(handle)->rate;
    std::int64_t frames = std::llrint(remaining * double(options->rate) / playbackRate);
    if (options->seconds >= 0)
        frames =
            std::min<std::int64_t>(frames, std::llrint(options->seconds * double(options->rate)));

    audio::WavWriter wav(options->out, int(options->rate));
    std::vector<std::int16_t> buffer(2 * 4096);
    while (frames > 0 && wav.ok()) {
        const std::int64_t n = std::min<std::int64_t>(frames, 4096);
        engine.render(buffer.data(), n);
        wav.write(buffer.data(), n);
        frames -= n;
    }
    if (!wav.finish()) {
        std::printf("error\t%d\t%s\n", int(audio::kErrorCreate),
                    audio::errorText(audio::kErrorCreate).toUtf8().constData());
        std::fprintf(stderr, "kelvra-cli: %s\n", wav.failureText(options->out).c_str());
        return 1;
    }
    if (wav.full()) {
        std::fprintf(stderr, "kelvra-cli: %s\n", wav.failureText(options->out).c_str());
        return 1;
    }
    return 0;
}

}  // namespace kelvra::cli
