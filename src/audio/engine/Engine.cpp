#include "audio/engine/Engine.h"

#include <algorithm>
#include <array>
#include <chrono>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <thread>

#include "audio/CreateAudioLibrary.h"
#include "audio/ErrorText.h"
#include "audio/SampleScale.h"
#include "audio/Units.h"
#include "audio/engine/AudioThread.h"

namespace kelvra::audio::engine {
namespace {

// How far ahead of the audible place a loop change takes over: ~90 ms at 44.1 kHz, past what
// the voice and its resampler have read, well inside what the worker has decoded.
constexpr std::int64_t kSpliceLead = 4096;

// How long a command may wait for room in the mixer's queue. A consumer that has not taken a
// command for this long has stopped (a device that no longer calls back): the call fails rather
// than hang the window.
constexpr auto kSendDeadline = std::chrono::milliseconds(500);
constexpr int kMinRate = 100, kMaxRate = 100000;

bool outputRequested(const char* name) {
    const char* value = std::getenv("KELVRA_AUDIO");
    return value && std::strcmp(value, name) == 0;
}

}  // namespace

struct Engine::Stream {
    using State = StreamState;

    int kind = 2;
    std::string tags;
    PcmFormat format;
    std::int64_t length = 0;
    // The worker outlives the voice that reads from it (members die in reverse order).
    std::unique_ptr<DecodeWorker> worker;  // null for a tags-only stream
    // Scratching: the file again, for a decoder of its own, and two windows of the song around
    // the wheel's touch, so a new one is made while the voice may still read the last one. They
    // outlive the voice, and the thread that makes them dies first.
    std::string path;
    Opener opener;
    std::array<std::unique_ptr<ScratchWindow>, 2> windows;
    std::unique_ptr<Voice> voice;
    std::jthread windowMaker;
    bool scratching = false;
    State state = State::Stopped;
    std::uint32_t generation = 0;  // of the last seek sent
    std::int64_t seekFrame = 0;
    std::uint32_t serial = 0;  // of the last play or seek sent; the voice reports its end by it
    LoopSpan loop;             // the loop the stream plays in now
    // A loop change on its way: until the voice takes it, its position still counts in the
    // generation before it.
    std::uint32_t splicedFrom = 0;
    bool splicing = false;

    PcmLayout layout() const { return {format.channels}; }
};

Engine::Engine(Openers openers, OutputMaker makeOutput)
    : openers_(std::move(openers)), makeOutput_(std::move(makeOutput)) {}

Engine::~Engine() {
    release();
}

// ---- output ------------------------------------------------------------------------------

bool Engine::init(int device, std::uint32_t rate, std::uint32_t /*flags*/) {
    // Flags (such as leaving the device volume alone) need no action here: the engine never
    // touches the device volume.
    if (offlineRate_ != 0) return initOffline(offlineRate_);
    collectRetired();
    if (mode_ != Mode::Closed) return fail(kErrorAlready);
    if (rate < 1000 || rate > 192000) return fail(kErrorFrequency);
    nullDevice_ = outputRequested("null");
    requestedRate_ = int(rate);
    if (!setupChosen_) setup_.device = device;
    if (outputRequested("jack")) setup_.backend = OutputBackend::Jack;
    int error = kErrorOk;
    if (nullDevice_ && !makeOutput_ && setup_.device > 0) return fail(kErrorDevice);
    output_ = openOutput(setup_, error);
    if (!output_ && setup_.backend == OutputBackend::Jack) {
        // No server: the default output rather than no start at all, and the DJ is told.
        output_ = openOutput(OutputSetup{}, error);
        if (output_)
            outputNotice_ = "No JACK server is running: Kelvra plays through the default output.";
    } else if (!output_ && setup_ != plainSetup(setup_.device)) {
        // The headphone routing, period or latency chosen cannot be had: the plain output.
        output_ = openOutput(plainSetup(setup_.device), error);
        if (output_) outputNotice_ = unavailableNotice(error);
    }
    if (!output_) return fail(error);
    mixer_.processCommands();
    // A sound server's rate wins over the one asked for: the voices resample to it.
    mixer_.prepare(output_->rate() > 0 ? output_->rate() : int(rate));
    mode_ = Mode::Device;
    return start();
}

OutputSetup Engine::plainSetup(int device) {
    OutputSetup plain;
    plain.device = device;
    return plain;
}

std::string Engine::unavailableNotice(int error) {
    return "The chosen output could not be opened (" + errorText(error).toStdString() +
           "): Kelvra plays through the default output.";
}

std::unique_ptr<Output> Engine::openOutput(const OutputSetup& setup, int& error) {
    error = kErrorOk;
    // A rate of the DJ's own, or the one the output was first opened with.
    const int rate = setup.rate > 0 ? setup.rate : requestedRate_;
    if (makeOutput_) return makeOutput_(mixer_, setup.device, rate, error);
    if (nullDevice_)
        return makeNullOutput(mixer_, rate, setup.period, setup.phones != PhonesRoute::Shared);
    if (setup.backend == OutputBackend::Jack) return makeJackOutput(mixer_, setup, error);
    return makePortAudioOutput(mixer_, setup, rate, error);
}

bool Engine::configureOutput(const OutputSetup& setup) {
    setupChosen_ = true;
    const OutputSetup previous = setup_;
    setup_ = setup;
    if (outputRequested("jack")) setup_.backend = OutputBackend::Jack;
    if (mode_ != Mode::Device || setup_ == previous) return ok();
    // The new output is opened before the old one stops, so a failure costs no silence.
    int error = kErrorOk;
    std::unique_ptr<Output> next = openOutput(setup_, error);
    const bool opened = next != nullptr;
    if (!opened) {
        outputNotice_ = unavailableNotice(error);
        if (output_ && !output_->lost()) return fail(error);  // the current output plays on
        next = openOutput(plainSetup(-1), error);
        if (!next) next = makeNullOutput(mixer_, requestedRate_);
    }
    swapOutput(std::move(next));
    return opened ? ok() : fail(error);
}

// Nothing calls the mixer between the two outputs, so it may be prepared for a new rate here.
void Engine::swapOutput(std::unique_ptr<Output> next) {
    const bool wasRunning = outputRunning_;
    if (outputRunning_) output_->stop();
    outputRunning_ = false;
    output_ = std::move(next);
    mixer_.processCommands();
    const int rate = mixer_.outputRate();
    mixer_.prepare(output_->rate() > 0 ? output_->rate() : requestedRate_);
    // A FLAC stream has one rate: the recording ends with the output it was made for.
    if (recorder_ && recorder_->running() && mixer_.outputRate() != rate) {
        mixer_.setRecordTap(nullptr);
        recorder_->stop(QString("the sound output changed from %1 to %2 Hz")
                            .arg(rate)
                            .arg(mixer_.outputRate()));
    }
    if (wasRunning && output_->start()) outputRunning_ = true;
}

OutputStatus Engine::outputStatus() const {
    OutputStatus status;
    status.rate = mixer_.outputRate();
    if (mode_ == Mode::Offline) {
        status.backend = "Offline";
        status.phones = offlinePhones_;
        return status;
    }
    if (mode_ != Mode::Device || !output_) return status;
    status.backend = output_->name();
    status.period = output_->period();
    status.latency = output_->latency();
    status.phones = output_->phones();
    return status;
}

std::vector<std::string> Engine::outputDevices(OutputBackend backend) {
    if (outputRequested("null")) return {"Null output (no sound)"};
    if (backend == OutputBackend::Jack) return {"system"};
    return portAudioDeviceNames(backend);
}

bool Engine::phonesOutput() const {
    return mode_ == Mode::Offline ? offlinePhones_ : output_ && output_->phones();
}

void Engine::setPhonesMix(int level, int mix, bool split) {
    mixer_.setPhones(level, mix, split);
}

bool Engine::initOffline(std::uint32_t rate) {
    collectRetired();
    if (mode_ != Mode::Closed) return fail(kErrorAlready);
    if (rate < 1000 || rate > 192000) return fail(kErrorFrequency);
    mixer_.processCommands();
    mixer_.prepare(int(rate));
    mode_ = Mode::Offline;
    return ok();
}

bool Engine::start() {
    if (mode_ == Mode::Closed) return fail(kErrorInit);
    if (mode_ == Mode::Device && !outputRunning_) {
        if (!output_->start()) return fail(output_->error());
        outputRunning_ = true;
    }
    return ok();
}

bool Engine::stop() {
    if (mode_ == Mode::Closed) return fail(kErrorInit);
    if (outputRunning_) output_->stop();
    outputRunning_ = false;
    mixer_.processCommands();  // nobody else will now
    return ok();
}

void Engine::release() {
    recordStop();
    // The streams fade out while the output still plays them; stopping first would cut them.
    freeAll();
    if (outputRunning_) output_->stop();
    outputRunning_ = false;
    output_.reset();
    mode_ = Mode::Closed;
    error_ = kErrorOk;
}

void Engine::setBufferLength(float seconds) {
    bufferSeconds_ = std::clamp(seconds, 0.2f, 2.0f);
    ok();
}

std::optional<std::string> Engine::deviceDescription(int device) {
    std::optional<std::string> name;
    if (device >= 1) {
        if (outputRequested("null"))
            name =
                device == 1 ? std::optional<std::string>("Null output (no sound)") : std::nullopt;
        else
            name = portAudioDeviceName(device - 1);
    }
    if (!name)
        fail(kErrorDevice);
    else
        ok();
    return name;
}

bool Engine::render(std::int16_t* out, std::int64_t frames, std::int16_t* phones) {
    if (mode_ != Mode::Offline) return fail(kErrorInit);
    const MixingScope mixing(ThreadRole::Offline);
    while (frames > 0) {
        const int n = int(std::min<std::int64_t>(frames, MixBus::kMaxPeriod));
        // As fast as it renders, the mix could outrun the recording's writer.
        if (recorder_) recorder_->waitForRoom(std::size_t(n));
        mixer_.process(out, phones, n, true);
        out += 2 * n;
        if (phones) phones += 2 * n;
        frames -= n;
    }
    collectRetired();
    return ok();
}

// ---- recording ---------------------------------------------------------------------------

bool Engine::recordStart(const std::string& path) {
    if (mode_ == Mode::Closed) return fail(kErrorInit);
    if (!recorder_) recorder_ = std::make_unique<record::Recorder>();
    if (recorder_->running()) return fail(kErrorAlready);
    if (!recorder_->start(QString::fromStdString(path), mixer_.outputRate()))
        return fail(kErrorCreate);
    mixer_.setRecordTap(&recorder_->ring());
    return ok();
}

RecordingStatus Engine::recordStop() {
    if (!recorder_ || !recorder_->running()) return recordStatus();
    mixer_.setRecordTap(nullptr);
    // A period the output began before the tap went may still be pushing into the ring; once
    // it has made another, nothing touches the ring until the next recording.
    if (outputRunning_) {
        const std::uint64_t before = mixer_.stats().renderedFrames;
        const auto deadline = std::chrono::steady_clock::now() + kSendDeadline;
        while (mixer_.stats().renderedFrames == before &&
               std::chrono::steady_clock::now() < deadline)
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return recorder_->stop();
}

RecordingStatus Engine::recordStatus() const {
    return recorder_ ? recorder_->status() : RecordingStatus{};
}

// ---- stream lifetime ---------------------------------------------------------------------

Handle Engine::streamCreateFile(const std::string& path, std::uint32_t flags) {
    return open(path, flags, 2, openers_.main);
}

Handle Engine::wmaStreamCreateFile(const std::string& path, std::uint32_t flags) {
    return open(path, flags, 1, openers_.addon);
}

Handle Engine::open(const std::string& path, std::uint32_t flags, int kind, const Opener& opener) {
    collectRetired();
    const bool tagsOnly = (flags & kStreamTagsOnly) != 0;
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

bool Engine::streamFree(Handle handle) {
    collectRetired();
    const auto it = streams_.find(handle);
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

bool Engine::wmaStreamFree(Handle handle) {
    return streamFree(handle);
}

void Engine::freeAll() {
    std::vector<Handle> handles;
    for (const auto& entry : streams_)
        handles.push_back(entry.first);
    for (Handle handle : handles)
        streamFree(handle);
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
    collectRetired();
    for (auto& entry : streams_)
        if (entry.second->voice) settle(*entry.second);
}

// The output's server went away: the mix goes on through the default device, or without one
// through the null output so that the decks keep time, and the DJ is told. Nothing calls the
// mixer meanwhile, so it may be prepared for the new rate here.
void Engine::fallBack() {
    // The lost client goes first: opening PortAudio probes for a JACK server, and libjack does not
    // survive that while a client of the dead server is still open.
    output_.reset();
    outputRunning_ = false;
    int error = kErrorOk;
    std::unique_ptr<Output> next;
    if (!nullDevice_) next = makePortAudioOutput(mixer_, plainSetup(-1), requestedRate_, error);
    const bool silent = !next;
    if (silent) next = makeNullOutput(mixer_, requestedRate_);
    swapOutput(std::move(next));
    if (output_->start()) outputRunning_ = true;
    outputNotice_ = silent ? "The sound server stopped, and no other output could be opened: "
                             "the decks play on, silent, until Kelvra is started again."
                           : "The sound server stopped: Kelvra plays on through the default "
                             "output.";
}

// A stream that played to its end is stopped, so that a later seek does not set it going again.
void Engine::settle(Stream& stream) {
    if (stream.state == Stream::State::Playing && stateOf(stream) == Stream::State::Stopped) {
        stream.state = Stream::State::Stopped;
        send({Command::Halt, stream.voice.get()});  // the voice is silent already if this fails
    }
}

// ---- transport ---------------------------------------------------------------------------

bool Engine::streamPreBuf(Handle handle) {
    Stream* stream = find(handle);
    if (!stream) return false;
    // Never waits: a start or a jump before the audio is decoded waits in the voice instead
    // (silently for a start, on the old place's sound for a jump), never in the window.
    stream->worker->wake();
    return ok();
}

bool Engine::play(Stream& stream) {
    if (mode_ == Mode::Closed) return fail(kErrorInit);
    if (mode_ == Mode::Device && !outputRunning_) return fail(kErrorStart);
    if (!send({Command::Play, stream.voice.get(), 0, stream.serial + 1})) return false;
    stream.state = Stream::State::Playing;
    ++stream.serial;
    return ok();
}

bool Engine::streamPlay(Handle handle, bool flush, std::uint32_t /*flags*/) {
    Stream* stream = find(handle);
    if (!stream) return false;
    // Flushing throws away what was buffered, so playback starts over from the beginning.
    if (flush && !channelSetPosition(handle, 0)) return false;
    return play(*stream);
}

bool Engine::wmaStreamPlay(Handle handle) {
    return streamPlay(handle, false, 0);
}

bool Engine::channelResume(Handle handle) {
    Stream* stream = find(handle);
    if (!stream) return false;
    if (stateOf(*stream) != Stream::State::Paused) return fail(kErrorNotPaused);
    return play(*stream);
}

bool Engine::channelPause(Handle handle) {
    Stream* stream = find(handle);
    if (!stream) return false;
    if (stateOf(*stream) != Stream::State::Playing) return fail(kErrorNotPlaying);
    if (!send({Command::Halt, stream->voice.get()})) return false;
    stream->state = Stream::State::Paused;
    return ok();
}

bool Engine::channelStop(Handle handle) {
    Stream* stream = find(handle);
    if (!stream) return false;
    if (!send({Command::Halt, stream->voice.get()})) return false;
    stream->state = Stream::State::Stopped;
    return ok();
}

int Engine::channelIsActive(Handle handle) {
    Stream* stream = find(handle);
    if (!stream) return kStopped;
    ok();
    switch (stateOf(*stream)) {
        case Stream::State::Playing:
            return kPlaying;
        case Stream::State::Paused:
            return kPaused;
        case Stream::State::Stopped:
            break;
    }
    return kStopped;
}

// ---- positions ---------------------------------------------------------------------------

BytePosition Engine::streamLength(Handle handle) {
    Stream* stream = find(handle);
    if (!stream) return 0;
    ok();
    return bytesOf(Frames(stream->length), stream->layout());
}

BytePosition Engine::channelPosition(Handle handle) {
    Stream* stream = find(handle);
    if (!stream) return 0;
    ok();
    const std::uint64_t packed = stream->voice->shared.position.load(std::memory_order_acquire);
    // Until the mixer has taken the last seek, the position is where that seek goes.
    std::int64_t frame = stream->seekFrame;
    const std::uint64_t generation = packed >> kPositionBits;
    if (generation == (stream->generation & 0xFFFFF) ||
        (stream->splicing && generation == (stream->splicedFrom & 0xFFFFF)))
        frame = std::int64_t(packed & ((std::uint64_t(1) << kPositionBits) - 1));
    if (generation == (stream->generation & 0xFFFFF)) stream->splicing = false;
    return bytesOf(Frames(frame), stream->layout());
}

bool Engine::channelSetPosition(Handle handle, BytePosition position) {
    Stream* stream = find(handle);
    if (!stream) return false;
    const std::int64_t frame = framesIn(position, stream->layout()).count;
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

bool Engine::channelScratch(Handle handle, bool held) {
    Stream* stream = find(handle);
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
        const std::int64_t here = framesIn(channelPosition(handle), stream->layout()).count;
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
    std::int64_t at = framesIn(channelPosition(handle), stream->layout()).count;
    if (stateOf(*stream) == StreamState::Playing && mode_ != Mode::Offline) {
        const auto attributes = channelAttributes(handle);
        const double rate = attributes ? attributes->rate : stream->format.rate;
        // A period for the seek to reach the voice, and a little for the first block.
        const OutputStatus status = outputStatus();
        const double lead = double(status.period) / std::max(1, status.rate) + 0.005;
        at += std::llrint(rate * lead);
    }
    at = std::clamp<std::int64_t>(at, 0, stream->length);
    const bool sought = channelSetPosition(handle, bytesOf(Frames(at), stream->layout()));
    shared.scratchHeld.store(false, std::memory_order_release);
    return sought ? ok() : false;
}

bool Engine::channelScratchTurn(Handle handle, double seconds) {
    Stream* stream = find(handle);
    if (!stream) return false;
    stream->voice->shared.scratchOffset.store(seconds * stream->format.rate,
                                              std::memory_order_relaxed);
    return ok();
}

bool Engine::channelSetLoop(Handle handle, BytePosition start, BytePosition end) {
    Stream* stream = find(handle);
    if (!stream) return false;
    LoopSpan loop{framesIn(start, stream->layout()).count, framesIn(end, stream->layout()).count};
    if (!loop.on()) loop = {};
    if (loop.on() && (loop.start < 0 || loop.end > stream->length ||
                      loop.end - loop.start < 2 * DecodeWorker::kSeamFrames))
        return fail(kErrorIllegalParam);
    if (loop == stream->loop) return ok();
    settle(*stream);
    // The change takes over a little ahead of the read, where the old place's audio is surely
    // decoded already: from there the new generation goes on without a seam anyone hears.
    const std::int64_t now = framesIn(channelPosition(handle), stream->layout()).count;
    const LoopSpan old = stream->loop;
    std::int64_t at = now + kSpliceLead;
    if (old.on() && now >= old.start && now <= old.end && at >= old.end)
        at = old.start + (at - old.start) % (old.end - old.start);
    at = std::min(at, stream->length);
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
    if (!send(splice)) return false;
    stream->splicedFrom = stream->generation;
    stream->splicing = true;
    stream->generation = generation;
    stream->seekFrame = now;
    stream->loop = loop;
    return ok();
}

bool Engine::channelKeepWarm(Handle handle, int slot, BytePosition position) {
    Stream* stream = find(handle);
    if (!stream) return false;
    if (slot < 0 || slot >= DecodeWorker::kWarmSlots) return fail(kErrorIllegalParam);
    // Offline every jump waits for its audio anyway; decoding warm places would only cost time.
    if (mode_ != Mode::Offline)
        stream->worker->keepWarm(slot, framesIn(position, stream->layout()).count);
    return ok();
}

float Engine::channelBytes2Seconds(Handle handle, BytePosition bytes) {
    Stream* stream = find(handle);
    if (!stream) return 0.0f;
    ok();
    return float(secondsOf(framesIn(bytes, stream->layout()), Hz(stream->format.rate)));
}

// ---- attributes and levels ---------------------------------------------------------------

std::optional<Attributes> Engine::channelAttributes(Handle handle) {
    Stream* stream = find(handle);
    if (!stream) return std::nullopt;
    ok();
    const VoiceShared& shared = stream->voice->shared;
    return Attributes{shared.rate.load(), shared.volume.load(), shared.pan.load()};
}

bool Engine::channelSetAttributes(Handle handle, int rate, int volume, int pan) {
    Stream* stream = find(handle);
    if (!stream) return false;
    const bool rateOk = rate == kKeepRate || (rate >= kMinRate && rate <= kMaxRate);
    const bool volumeOk = volume == kKeepVolume || (volume >= 0 && volume <= 100);
    const bool panOk = pan == kKeepPan || (pan >= -100 && pan <= 100);
    if (!rateOk || !volumeOk || !panOk) return fail(kErrorIllegalParam);
    VoiceShared& shared = stream->voice->shared;
    if (rate != kKeepRate) shared.rate.store(rate, std::memory_order_relaxed);
    if (volume != kKeepVolume) shared.volume.store(volume, std::memory_order_relaxed);
    if (pan != kKeepPan) shared.pan.store(pan, std::memory_order_relaxed);
    return ok();
}

bool Engine::channelSetGain(Handle handle, float decibels) {
    Stream* stream = find(handle);
    if (!stream) return false;
    if (!(decibels >= -60.0f && decibels <= 24.0f)) return fail(kErrorIllegalParam);
    stream->voice->shared.gain.store(std::pow(10.0f, decibels / 20.0f), std::memory_order_relaxed);
    return ok();
}

bool Engine::channelSetCue(Handle handle, int level) {
    Stream* stream = find(handle);
    if (!stream) return false;
    if (level < 0 || level > 100) return fail(kErrorIllegalParam);
    stream->voice->shared.cue.store(level, std::memory_order_relaxed);
    return ok();
}

bool Engine::channelSetEffects(Handle handle, const ChannelEffects& effects) {
    Stream* stream = find(handle);
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
    return ok();
}

bool Engine::channelSetKeyLock(Handle handle, bool on, int baseRate, int semitones) {
    Stream* stream = find(handle);
    if (!stream) return false;
    if (baseRate < 0 || baseRate > kMaxRate || semitones < -12 || semitones > 12)
        return fail(kErrorIllegalParam);
    VoiceShared& shared = stream->voice->shared;
    shared.keyBase.store(baseRate, std::memory_order_relaxed);
    shared.keyShift.store(semitones, std::memory_order_relaxed);
    shared.keyLock.store(on, std::memory_order_relaxed);
    return ok();
}

std::uint32_t Engine::channelLevel(Handle handle) {
    Stream* stream = find(handle);
    if (!stream) return 0;
    ok();
    if (stateOf(*stream) != Stream::State::Playing) return 0;
    return stream->voice->shared.level.load(std::memory_order_relaxed);
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

std::string_view Engine::streamTags(Handle handle) {
    Stream* stream = find(handle, false);
    if (!stream) return {};
    ok();
    return stream->tags;
}

}  // namespace kelvra::audio::engine

namespace kelvra::audio {

std::unique_ptr<AudioLibrary> createAudioLibrary() {
    return std::make_unique<engine::Engine>();
}

}  // namespace kelvra::audio
