// Scratching: a window of the song around the wheel's touch, decoded aside for the needle, and
// the needle let go where the wheel left it.
#include <algorithm>
#include <chrono>
#include <cmath>
#include <thread>

#include "audio/SampleScale.h"
#include "audio/Units.h"
#include "audio/engine/EngineStream.h"

namespace kelvra::audio::engine {

namespace {

// The song from `from` on, `frames` long, decoded into a window of floats (stereo); a window
// that cannot be read is left empty, and the needle then never goes down.
void fillWindow(ScratchWindow& window, const Opener& opener, const std::string& path,
                std::int64_t from, std::int64_t frames) {
    window.startFrame = from;
    window.frames = 0;
    OpenedFile file = opener(path, OpenMode::Playback);
    if (!file.decoder || !file.decoder->seek(from)) return;
    const int channels = file.decoder->format().channels;
    window.samples.resize(std::size_t(2 * frames));
    std::vector<std::int16_t> pcm(std::size_t(4096 * channels));
    while (window.frames < frames) {
        const std::int64_t got =
            file.decoder->read(pcm.data(), std::min<std::int64_t>(4096, frames - window.frames));
        if (got <= 0) break;
        for (std::int64_t i = 0; i < got; ++i) {
            const float left = fromPcm16(pcm[std::size_t(i * channels)]);
            const float right = channels > 1 ? fromPcm16(pcm[std::size_t(i * channels + 1)]) : left;
            window.samples[std::size_t(2 * (window.frames + i))] = left;
            window.samples[std::size_t(2 * (window.frames + i) + 1)] = right;
        }
        window.frames += got;
    }
}

// How much of the song on either side of the touch the needle can reach.
constexpr double kScratchReachSeconds = 8.0;

}  // namespace

bool Engine::scratch(StreamId id, bool held) {
    Stream* stream = find(id);
    if (!stream) return false;
    if (held == stream->scratching) return ok();
    VoiceShared& shared = stream->voice->shared;
    if (held) {
        if (stream->windowMaker.joinable()) stream->windowMaker.join();
        // The window the voice is not reading (it may still be fading the last one out).
        const ScratchWindow* inUse = shared.scratchInUse.load(std::memory_order_acquire);
        auto& slot = stream->windows[stream->windows[0].get() == inUse && inUse ? 1 : 0];
        if (!slot) slot = std::make_unique<ScratchWindow>();
        ScratchWindow* window = slot.get();
        const std::int64_t here = position(id).count;
        const auto reach = std::int64_t(kScratchReachSeconds * stream->format.rate);
        const std::int64_t from = std::max<std::int64_t>(0, here - reach);
        const std::int64_t frames = std::min(stream->length, here + reach) - from;
        shared.scratchWindow.store(nullptr, std::memory_order_release);
        shared.scratchOffset.store(0, std::memory_order_relaxed);
        shared.scratchHeld.store(true, std::memory_order_release);
        stream->scratching = true;
        auto make = [window, opener = stream->opener, path = stream->path, from, frames, &shared] {
            fillWindow(*window, opener, path, from, frames);
            shared.scratchWindow.store(window, std::memory_order_release);
        };
        // Offline the render waits for nothing, so the window is there before the next period;
        // live it is decoded aside and the needle goes down as soon as it is.
        if (mode_ == Mode::Offline)
            make();
        else
            stream->windowMaker = std::jthread(make);
        return ok();
    }
    // Let go: the deck's own sound comes back a little ahead of the needle if it plays, where
    // the needle will be by the time the voice has it, or under the needle if it rests.
    stream->scratching = false;
    std::int64_t at = position(id).count;
    if (stateOf(*stream) == StreamState::Playing && mode_ != Mode::Offline) {
        const auto playing = rate(id);
        const double rate = playing ? playing->value : stream->format.rate;
        // A period for the seek to reach the voice, and a little for the first block.
        const OutputStatus status = outputStatus();
        const double lead = double(status.period) / std::max(1, status.rate) + 0.005;
        at += std::llrint(rate * lead);
    }
    at = std::clamp<std::int64_t>(at, 0, stream->length);
    const bool sought = seek(id, Frames(at));
    shared.scratchHeld.store(false, std::memory_order_release);
    return sought ? ok() : false;
}

bool Engine::scratchTurn(StreamId id, double seconds) {
    Stream* stream = find(id);
    if (!stream) return false;
    stream->voice->shared.scratchOffset.store(seconds * stream->format.rate,
                                              std::memory_order_relaxed);
    return ok();
}

}  // namespace kelvra::audio::engine
