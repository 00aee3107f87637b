// The engine's stream table and the door's transport, places, loops and levels; its output,
// recording and scratching live in EngineOutput.cpp, EngineRecording.cpp and EngineScratch.cpp.
#include "audio/engine/Engine.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <thread>

#include "audio/CreateAudioLibrary.h"
#include "audio/Units.h"
#include "audio/engine/AudioThread.h"
#include "audio/engine/EngineStream.h"

namespace kelvra::audio::engine {
namespace {

// How far ahead of the audible place a loop change takes over: ~90 ms at 44.1 kHz, past what
// the voice and its resampler have read, well inside what the worker has decoded.
constexpr std::int64_t kSpliceLead = 4096;

constexpr int kMaxRate = kMaxPlayRate.value;

}  // namespace

Engine::Engine(Openers openers, OutputMaker makeOutput)
    : LibraryOverDoor(static_cast<EngineDoor&>(*this)),
      openers_(std::move(openers)),
      makeOutput_(std::move(makeOutput)) {}

Engine::~Engine() {
    release();
}

// ---- stream lifetime ---------------------------------------------------------------------

StreamId Engine::open(const std::string& path, OpenSide side, OpenPurpose purpose) {
    const bool addon = side == OpenSide::Addon;
    return StreamId(openWith(path, purpose == OpenPurpose::TagsOnly, addon ? 1 : 2,
                             addon ? openers_.addon : openers_.main));
}

Handle Engine::openWith(const std::string& path, bool tagsOnly, int kind, const Opener& opener) {
    collectRetired();
    if (!tagsOnly && streams_.size() + dying_.size() >= std::size_t(MixBus::kMaxVoices)) {
        fail(kErrorNoChannel);
        return 0;
    }
    OpenedFile file = opener(path, tagsOnly ? OpenMode::TagsOnly : OpenMode::Playback);
    if (file.error != kErrorOk || (!tagsOnly && !file.decoder)) {
        fail(file.error != kErrorOk ? file.error : kErrorFormat, std::move(file.problem));
        return 0;
    }
    auto stream = std::make_unique<Stream>();
    stream->kind = kind;
    stream->path = path;
    stream->opener = opener;
    stream->tags = std::move(file.tags);
    if (!tagsOnly) {
        stream->format = file.decoder->format();
        stream->length = std::max<std::int64_t>(file.decoder->lengthFrames(), 0);
        // The read-ahead below is sized from the rate: a decoder's claim is checked first.
        if (!plausibleFormat(stream->format.rate, stream->format.channels) ||
            stream->format.channels > 2) {
            fail(kErrorFrequency, formatProblem(stream->format.rate, stream->format.channels));
            return 0;
        }
        stream->worker = std::make_unique<DecodeWorker>(std::move(file.decoder), bufferSeconds_);
        stream->voice = std::make_unique<Voice>(*stream->worker, mixer_.starvedCounter());
        // Not sent means the mixer never saw the voice: it may go at once.
        if (!send({Command::Add, stream->voice.get()})) return 0;
    }
    const Handle handle = nextHandle_++;
    streams_.emplace(handle, std::move(stream));
    ok();
    return handle;
}

bool Engine::free(StreamId id) {
    collectRetired();
    const auto it = streams_.find(id.value);
    if (it == streams_.end()) return fail(kErrorHandle);
    std::unique_ptr<Stream> stream = std::move(it->second);
    streams_.erase(it);
    if (stream->voice) {
        // With nothing consuming the mix, no fade could be heard (or ever finish).
        const bool fade = outputRunning_ || mode_ == Mode::Offline;
        const bool sent = send({Command::Remove, stream->voice.get(), 0, 0, fade ? 0 : kRemoveNow});
        // Unsent, the mixer may still hold the voice: it stays with the dying until then.
        dying_.push_back(std::move(stream));
        collectRetired();
        if (!sent) return false;
    }
    return ok();
}

void Engine::freeAll() {
    std::vector<Handle> handles;
    for (const auto& entry : streams_)
        handles.push_back(entry.first);
    for (Handle handle : handles)
        free(StreamId(handle));
    // Offline nothing renders the fades any more; with no output running the commands above
    // were applied at once.
    if (!outputRunning_) {
        mixer_.dropRetiring();
        collectRetired();
    }
    // Otherwise wait for the fades to end and the mixer to let go, briefly.
    for (int i = 0; i < 1000 && !dying_.empty(); ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
        collectRetired();
    }
}

bool Engine::send(const Command& command) {
    KELVRA_ASSERT_MAY_BLOCK();
    const bool consumerElsewhere = outputRunning_;
    const auto deadline = std::chrono::steady_clock::now() + kSendDeadline;
    while (!mixer_.send(command)) {
        if (!consumerElsewhere) {
            mixer_.processCommands();
            continue;
        }
        // Once the consumer is known to be stuck, later calls fail at once instead of each
        // waiting out the deadline; the first command it takes again clears that.
        if (consumerStuck_ || std::chrono::steady_clock::now() >= deadline) {
            consumerStuck_ = true;
            return fail(kErrorStart);
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    consumerStuck_ = false;
    // Without a running output the controlling thread is the mixer's only user, so it applies
    // the command itself and every query afterwards sees its effect.
    if (!consumerElsewhere) mixer_.processCommands();
    return true;
}

void Engine::collectRetired() {
    while (Voice* voice = mixer_.takeRetired()) {
        const auto it = std::find_if(dying_.begin(), dying_.end(),
                                     [voice](const auto& s) { return s->voice.get() == voice; });
        if (it != dying_.end()) dying_.erase(it);
    }
}

Engine::Stream* Engine::find(Handle handle, bool needsPlayback) {
    KELVRA_ASSERT_MAY_BLOCK();
    const auto it = streams_.find(handle);
    if (it == streams_.end()) {
        fail(kErrorHandle);
        return nullptr;
    }
    if (needsPlayback && !it->second->voice) {
        fail(kErrorNotAvailable);  // a tags-only stream
        return nullptr;
    }
    return it->second.get();
}

Engine::StreamState Engine::stateOf(const Stream& stream) const {
    if (stream.state == Stream::State::Playing && stream.voice &&
        stream.voice->shared.endedSerial.load(std::memory_order_acquire) == stream.serial)
        return Stream::State::Stopped;  // played to its end
    return stream.state;
}

void Engine::service() {
    if (mode_ == Mode::Device && output_ && output_->lost()) fallBack();
    if (mode_ == Mode::Device && serverLost_ && std::chrono::steady_clock::now() >= nextServerLook_)
        lookForServer();
    collectRetired();
    for (auto& entry : streams_)
        if (entry.second->voice) settle(*entry.second);
}

// A stream that played to its end is stopped, so that a later seek does not set it going again.
void Engine::settle(Stream& stream) {
    if (stream.state == Stream::State::Playing && stateOf(stream) == Stream::State::Stopped) {
        stream.state = Stream::State::Stopped;
        send({Command::Halt, stream.voice.get()});  // the voice is silent already if this fails
    }
}

// ---- transport ---------------------------------------------------------------------------

bool Engine::prepare(StreamId id) {
    Stream* stream = find(id);
    if (!stream) return false;
    // Never waits: a start or a jump before the audio is decoded waits in the voice instead
    // (silently for a start, on the old place's sound for a jump), never in the window.
    stream->worker->wake();
    return ok();
}

bool Engine::playStream(Stream& stream) {
    if (mode_ == Mode::Closed) return fail(kErrorInit);
    if (mode_ == Mode::Device && !outputRunning_) return fail(kErrorStart);
    if (!send({Command::Play, stream.voice.get(), 0, stream.serial + 1})) return false;
    stream.state = Stream::State::Playing;
    ++stream.serial;
    return ok();
}

bool Engine::play(StreamId id) {
    Stream* stream = find(id);
    if (!stream) return false;
    return playStream(*stream);
}

bool Engine::resume(StreamId id) {
    Stream* stream = find(id);
    if (!stream) return false;
    if (stateOf(*stream) != Stream::State::Paused) return fail(kErrorNotPaused);
    return playStream(*stream);
}

bool Engine::pause(StreamId id) {
    Stream* stream = find(id);
    if (!stream) return false;
    if (stateOf(*stream) != Stream::State::Playing) return fail(kErrorNotPlaying);
    if (!send({Command::Halt, stream->voice.get()})) return false;
    stream->state = Stream::State::Paused;
    return ok();
}

bool Engine::stop(StreamId id) {
    Stream* stream = find(id);
    if (!stream) return false;
    if (!send({Command::Halt, stream->voice.get()})) return false;
    stream->state = Stream::State::Stopped;
    return ok();
}

StreamState Engine::state(StreamId id) {
    Stream* stream = find(id);
    if (!stream) return StreamState::Stopped;
    ok();
    return stateOf(*stream);
}

// ---- positions ---------------------------------------------------------------------------

std::optional<StreamFormat> Engine::format(StreamId id) {
    Stream* stream = find(id);
    if (!stream) return std::nullopt;
    ok();
    return StreamFormat{Hz(stream->format.rate), stream->format.channels};
}

Frames Engine::length(StreamId id) {
    Stream* stream = find(id);
    if (!stream) return Frames(0);
    ok();
    return Frames(stream->length);
}

Frames Engine::position(StreamId id) {
    Stream* stream = find(id);
    if (!stream) return Frames(0);
    ok();
    const std::uint64_t packed = stream->voice->shared.position.load(std::memory_order_acquire);
    // Until the mixer has taken the last seek, the position is where that seek goes.
    std::int64_t frame = stream->seekFrame;
    const std::uint64_t generation = packed >> kPositionBits;
    if (generation == (stream->generation & 0xFFFFF) ||
        (stream->splicing && generation == (stream->splicedFrom & 0xFFFFF)))
        frame = std::int64_t(packed & ((std::uint64_t(1) << kPositionBits) - 1));
    if (generation == (stream->generation & 0xFFFFF)) stream->splicing = false;
    return Frames(frame);
}

bool Engine::seek(StreamId id, Frames to) {
    Stream* stream = find(id);
    if (!stream) return false;
    const std::int64_t frame = to.count;
    if (frame > stream->length) return fail(kErrorPosition);
    settle(*stream);
    // Offline the voice moves the worker itself, once it holds enough of the old place to
    // cross-fade from: the render then sounds the same on every run.
    // Live, a place kept warm plays at once while the worker decodes on from its end.
    const bool offline = mode_ == Mode::Offline;
    const std::uint32_t generation = stream->generation + 1;
    std::int64_t warmFrames = 0;
    int warmSlot = offline ? -1 : stream->worker->pinWarm(frame, warmFrames);
    // Warm blocks know nothing of loops: a warm place running past the loop's end would miss it.
    const LoopSpan loop = stream->loop;
    if (warmSlot >= 0 && loop.on() && frame < loop.end && frame + warmFrames > loop.end) {
        stream->worker->unpinWarm(warmSlot);
        warmSlot = -1;
        warmFrames = 0;
    }
    if (!offline) stream->worker->seek(generation, frame + warmFrames, loop);
    Command seek{Command::Seek, stream->voice.get(), generation, stream->serial + 1, frame, offline,
                 warmSlot};
    seek.loop = loop;
    if (!send(seek)) {
        stream->worker->unpinWarm(warmSlot);
        return false;
    }
    stream->generation = generation;
    stream->seekFrame = frame;
    stream->splicing = false;
    ++stream->serial;
    return ok();
}

bool Engine::setLoop(StreamId id, FrameSpan span) {
    Stream* stream = find(id);
    if (!stream) return false;
    LoopSpan loop{span.start.count, span.end.count};
    if (!loop.on()) loop = {};
    if (loop.on() && (loop.start < 0 || loop.end > stream->length ||
                      loop.end - loop.start < 2 * DecodeWorker::kSeamFrames))
        return fail(kErrorIllegalParam);
    if (loop == stream->loop) return ok();
    settle(*stream);
    // The change takes over a little ahead of the read, where the old place's audio is surely
    // decoded already: from there the new generation goes on without a seam anyone hears.
    const std::int64_t now = position(id).count;
    // A change the voice has not taken yet (the DJ halving twice in a row) is replaced: the new
    // one takes over at its frame, where the worker stopped decoding the old place.
    const bool replacing = stream->splicing;
    std::int64_t at = stream->spliceAt;
    if (!replacing) {
        // The read runs ahead of the ear by what the resampler and the stretcher hold: the
        // change must take over ahead of the read, or the read has passed it when it arrives.
        std::int64_t read = now;
        const std::uint64_t reading = stream->voice->shared.reading.load(std::memory_order_acquire);
        if ((reading >> kPositionBits) == (stream->generation & 0xFFFFF))
            read = std::int64_t(reading & ((std::uint64_t(1) << kPositionBits) - 1));
        const LoopSpan old = stream->loop;
        at = read + kSpliceLead;
        if (old.on() && read >= old.start && read <= old.end && at >= old.end)
            at = old.start + (at - old.start) % (old.end - old.start);
        at = std::min(at, stream->length);
    }
    // Past the new loop's end already: on inside the loop, as far in as the music would be had
    // the loop been playing all along, so the beat goes on where it was.
    std::int64_t to = at;
    if (loop.on() && at >= loop.end) to = loop.start + (at - loop.start) % (loop.end - loop.start);
    const std::int64_t seamFrom = to != at ? at : -1;
    const bool offline = mode_ == Mode::Offline;
    const std::uint32_t generation = stream->generation + 1;
    if (!offline) stream->worker->seek(generation, to, loop, seamFrom);
    Command splice{Command::Splice, stream->voice.get(), generation, stream->serial, to, offline};
    splice.loop = loop;
    splice.spliceAt = at;
    splice.seamFrom = seamFrom;
    splice.replaces = replacing;
    if (!send(splice)) return false;
    // Until the voice takes it, the position still counts in the generation before the first of
    // the changes on their way.
    if (!replacing) stream->splicedFrom = stream->generation;
    stream->splicing = true;
    stream->spliceAt = at;
    stream->generation = generation;
    stream->seekFrame = now;
    stream->loop = loop;
    return ok();
}

bool Engine::keepWarm(StreamId id, int slot, Frames frame) {
    static_assert(kWarmSlots == DecodeWorker::kWarmSlots);
    Stream* stream = find(id);
    if (!stream) return false;
    if (slot < 0 || slot >= DecodeWorker::kWarmSlots) return fail(kErrorIllegalParam);
    // Offline every jump waits for its audio anyway; decoding warm places would only cost time.
    if (mode_ != Mode::Offline) stream->worker->keepWarm(slot, frame.count);
    return ok();
}

// ---- attributes and levels ---------------------------------------------------------------

std::optional<Hz> Engine::rate(StreamId id) {
    Stream* stream = find(id);
    if (!stream) return std::nullopt;
    ok();
    return Hz(stream->voice->shared.rate.load());
}

bool Engine::setRate(StreamId id, Hz rate) {
    Stream* stream = find(id);
    if (!stream) return false;
    if (rate < kMinPlayRate || rate > kMaxPlayRate) return fail(kErrorIllegalParam);
    stream->voice->shared.rate.store(rate.value, std::memory_order_relaxed);
    return ok();
}

std::optional<Levels> Engine::levels(StreamId id) {
    Stream* stream = find(id);
    if (!stream) return std::nullopt;
    ok();
    const VoiceShared& shared = stream->voice->shared;
    return Levels{shared.volume.load(), shared.pan.load()};
}

bool Engine::setVolume(StreamId id, int volume) {
    Stream* stream = find(id);
    if (!stream) return false;
    if (volume < 0 || volume > 100) return fail(kErrorIllegalParam);
    stream->voice->shared.volume.store(volume, std::memory_order_relaxed);
    return ok();
}

bool Engine::setPan(StreamId id, int pan) {
    Stream* stream = find(id);
    if (!stream) return false;
    if (pan < -100 || pan > 100) return fail(kErrorIllegalParam);
    stream->voice->shared.pan.store(pan, std::memory_order_relaxed);
    return ok();
}

bool Engine::setGain(StreamId id, float decibels) {
    Stream* stream = find(id);
    if (!stream) return false;
    if (!(decibels >= -60.0f && decibels <= 24.0f)) return fail(kErrorIllegalParam);
    stream->voice->shared.gain.store(std::pow(10.0f, decibels / 20.0f), std::memory_order_relaxed);
    return ok();
}

bool Engine::setCue(StreamId id, int level) {
    Stream* stream = find(id);
    if (!stream) return false;
    if (level < 0 || level > 100) return fail(kErrorIllegalParam);
    stream->voice->shared.cue.store(level, std::memory_order_relaxed);
    return ok();
}

bool Engine::setEffects(StreamId id, const ChannelEffects& effects) {
    Stream* stream = find(id);
    if (!stream) return false;
    const auto band = [](float gain) { return gain >= 0.0f && gain <= 2.0f; };
    if (!band(effects.low) || !band(effects.mid) || !band(effects.high) ||
        !(effects.filter >= -1.0f && effects.filter <= 1.0f) ||
        !(effects.trimDb >= -12.0f && effects.trimDb <= 12.0f))
        return fail(kErrorIllegalParam);
    VoiceShared& shared = stream->voice->shared;
    shared.eqLow.store(effects.low, std::memory_order_relaxed);
    shared.eqMid.store(effects.mid, std::memory_order_relaxed);
    shared.eqHigh.store(effects.high, std::memory_order_relaxed);
    shared.filter.store(effects.filter, std::memory_order_relaxed);
    shared.trim.store(std::pow(10.0f, effects.trimDb / 20.0f), std::memory_order_relaxed);
    shared.effectBus.store(effects.effectBus == 0 || effects.effectBus == 1 ? effects.effectBus : -1,
                           std::memory_order_relaxed);
    return ok();
}

fx::Rack& Engine::effectUnits() {
    return mixer_.rack();
}

bool Engine::setKeyLock(StreamId id, KeyLock lock) {
    Stream* stream = find(id);
    if (!stream) return false;
    const bool on = lock.on;
    const int baseRate = lock.base.value, semitones = lock.semitones;
    if (baseRate < 0 || baseRate > kMaxRate || semitones < -12 || semitones > 12)
        return fail(kErrorIllegalParam);
    VoiceShared& shared = stream->voice->shared;
    shared.keyBase.store(baseRate, std::memory_order_relaxed);
    shared.keyShift.store(semitones, std::memory_order_relaxed);
    shared.keyLock.store(on, std::memory_order_relaxed);
    return ok();
}

Peaks Engine::peaks(StreamId id) {
    Stream* stream = find(id);
    if (!stream) return {};
    ok();
    if (stateOf(*stream) != Stream::State::Playing) return {};
    // Packed as one word so both channels of a period are read together: left low, right high.
    const std::uint32_t level = stream->voice->shared.level.load(std::memory_order_relaxed);
    return {level & 0xFFFFu, level >> 16};
}

std::optional<PcmFormat> Engine::streamFormat(Handle handle) {
    Stream* stream = find(handle);
    if (!stream) return std::nullopt;
    ok();
    return stream->format;
}

int Engine::streamKind(Handle handle) {
    Stream* stream = find(handle, false);
    if (!stream) return 0;
    ok();
    return stream->kind;
}

std::string_view Engine::tags(StreamId id) {
    Stream* stream = find(id, false);
    if (!stream) return {};
    ok();
    return stream->tags;
}

}  // namespace kelvra::audio::engine

namespace kelvra::audio {

std::unique_ptr<LibraryOverDoor> createAudioLibrary() {
    return std::make_unique<engine::Engine>();
}

}  // namespace kelvra::audio
