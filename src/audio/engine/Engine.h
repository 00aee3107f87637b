// The real audio library: streams decoded on worker threads, mixed by one mixing path that a
// PortAudio device, the null output (KELVRA_AUDIO=null) or the offline renderer drives.
// Threads: every door and contract operation, initOffline() and render() belong to the one
// controlling thread (see EngineDoor.h); stats() and dropouts() may be read from any thread.
#pragma once

#include <string>
#include <utility>

#include <chrono>
#include <functional>
#include <memory>
#include <unordered_map>
#include <vector>

#include "audio/Decoder.h"
#include "audio/EngineDoor.h"
#include "audio/LibraryOverDoor.h"
#include "audio/engine/MixBus.h"
#include "audio/engine/Output.h"
#include "audio/record/Recorder.h"

namespace kelvra::audio::engine {

using Opener = std::function<OpenedFile(const std::string& path, OpenMode mode)>;

// How files become decoders. Tests hand in their own; the defaults are the FFmpeg decoders.
struct Openers {
    Opener addon = openAddonFile;
    Opener main = openMainFile;
};

// Where init() sends the mix. Tests hand in their own; the default is the null output when
// KELVRA_AUDIO=null asks for it and PortAudio otherwise. Null with `error` set on failure.
using OutputMaker =
    std::function<std::unique_ptr<Output>(MixBus& mixer, int device, int rate, int& error)>;

// The engine is the door (EngineDoor.h) and, over it, the library contract's stream
// operations (LibraryOverDoor.h); output, recording and housekeeping it serves itself.
class Engine final : public EngineDoor, public LibraryOverDoor {
  public:
    explicit Engine(Openers openers = {}, OutputMaker makeOutput = {});
    ~Engine() override;

    bool init(int device, std::uint32_t rate, std::uint32_t flags) override;
    bool start() override;
    bool stop() override;
    void release() override;
    void setBufferLength(float seconds) override;
    int errorCode() const override { return error_; }
    // After a failed open: what is wrong with the file, when known beyond the error code (a
    // sentence for messages), or empty.
    const std::string& errorDetail() const { return detail_; }
    std::uint32_t version() const override { return kContractVersion; }
    std::optional<std::string> deviceDescription(int device) override;

    // The door.
    StreamId open(const std::string& path, OpenSide side, OpenPurpose purpose) override;
    bool free(StreamId stream) override;
    bool prepare(StreamId stream) override;
    bool play(StreamId stream) override;
    bool resume(StreamId stream) override;
    bool pause(StreamId stream) override;
    bool stop(StreamId stream) override;
    audio::StreamState state(StreamId stream) override;
    std::optional<StreamFormat> format(StreamId stream) override;
    Frames length(StreamId stream) override;
    Frames position(StreamId stream) override;
    bool seek(StreamId stream, Frames frame) override;
    bool keepWarm(StreamId stream, int slot, Frames frame) override;
    bool setLoop(StreamId stream, FrameSpan span) override;
    std::optional<Hz> rate(StreamId stream) override;
    bool setRate(StreamId stream, Hz rate) override;
    bool setKeyLock(StreamId stream, KeyLock lock) override;
    std::optional<Levels> levels(StreamId stream) override;
    bool setVolume(StreamId stream, int volume) override;
    bool setPan(StreamId stream, int pan) override;
    bool setGain(StreamId stream, float decibels) override;
    bool setCue(StreamId stream, int level) override;
    Peaks peaks(StreamId stream) override;
    bool setRouting(const OutputRouting& routing) override;
    bool setEffects(StreamId stream, const ChannelEffects& effects) override;
    fx::Rack& effectUnits() override;
    bool scratch(StreamId stream, bool held) override;
    bool scratchTurn(StreamId stream, double seconds) override;
    std::string_view tags(StreamId stream) override;

    // Offline rendering instead of init(): no device; the mix is made only when render() asks,
    // as fast as it can, and decoding is waited for, so the output is the same on every run.
    bool initOffline(std::uint32_t rate);
    // From now on init() opens the offline renderer at `rate` instead of a device: the program's
    // own start-up then runs unchanged in a headless session.
    void renderOfflineOnInit(std::uint32_t rate) { offlineRate_ = rate; }
    // Renders `frames` interleaved stereo 16-bit frames at the offline rate, and as many of the
    // headphone output into `phones` when it is given.
    bool render(std::int16_t* out, std::int64_t frames, std::int16_t* phones = nullptr);
    // Offline: the session renders a headphone output of its own.
    void setOfflinePhones(bool phones) { offlinePhones_ = phones; }

    bool configureOutput(const OutputSetup& setup) override;
    OutputStatus outputStatus() const override;
    std::vector<std::string> outputDevices(OutputBackend backend) override;
    bool phonesOutput() const override;
    void setPhonesMix(int level, int mix, bool split) override;

    // The main mix into a FLAC file, live or offline (render() then waits for the writer).
    bool recordStart(const std::string& path) override;
    RecordingStatus recordStop() override;
    RecordingStatus recordStatus() const override;

    void service() override;
    std::string takeOutputNotice() override { return std::exchange(outputNotice_, {}); }

    EngineStats stats() const { return mixer_.stats(); }
    CallbackTimes callbackTimes() const { return mixer_.callbackTimes(); }
    DropoutCounts dropouts() const override {
        const EngineStats s = stats();
        return {s.underruns, s.lateCallbacks, s.starvedFrames};
    }
    // The native format of a playback stream, or none.
    std::optional<PcmFormat> streamFormat(Handle handle);
    // The kind a handle was opened as: 1 add-on side, 2 main side; 0 for no stream.
    int streamKind(Handle handle);

  private:
    struct Stream;
    using StreamState = audio::StreamState;
    enum class Mode { Closed, Device, Offline };

    Handle openWith(const std::string& path, bool tagsOnly, int kind, const Opener& opener);
    Stream* find(Handle handle, bool needsPlayback = true);
    Stream* find(StreamId stream, bool needsPlayback = true) {
        return find(stream.value, needsPlayback);
    }
    // What the stream is doing, with a stream that played to its end taken as stopped.
    StreamState stateOf(const Stream& stream) const;
    void settle(Stream& stream);
    void fallBack();
    void lookForServer();
    std::unique_ptr<Output> openOutput(const OutputSetup& setup, int& error);
    std::unique_ptr<Output> openInstead(int error);
    static std::string silentNotice(const std::string& why);
    void swapOutput(std::unique_ptr<Output> next);
    static OutputSetup plainSetup(int device);
    static std::string unavailableNotice(int error);
    bool playStream(Stream& stream);
    // False, with the error set, when the consumer has taken no command for too long.
    bool send(const Command& command);
    void collectRetired();
    void freeAll();
    bool fail(int code, std::string detail = {}) {
        error_ = code;
        detail_ = std::move(detail);
        return false;
    }
    bool ok() {
        error_ = kErrorOk;
        detail_.clear();
        return true;
    }

    Openers openers_;
    OutputMaker makeOutput_;
    MixBus mixer_;
    std::unique_ptr<Output> output_;
    Mode mode_ = Mode::Closed;
    bool outputRunning_ = false;  // a device or null output is calling the mixer
    bool nullDevice_ = false;
    int requestedRate_ = 44100;  // what init() was asked for, for a fallback output
    OutputSetup setup_;
    bool setupChosen_ = false;  // configureOutput() came before init(): its device wins
    bool offlinePhones_ = false;
    std::string outputNotice_;
    // The DJ's JACK server went away: the mix plays elsewhere, and the server is looked for again
    // from time to time, to go back to it once it returns.
    bool serverLost_ = false;
    std::chrono::steady_clock::time_point nextServerLook_;
    bool consumerStuck_ = false;
    float bufferSeconds_ = 0.5f;
    std::uint32_t offlineRate_ = 0;
    int error_ = kErrorOk;
    std::string detail_;
    Handle nextHandle_ = 1;
    std::unordered_map<Handle, std::unique_ptr<Stream>> streams_;
    std::vector<std::unique_ptr<Stream>> dying_;  // freed, until the mixer lets go of the voice
    // Made at the first recording and kept: the mixer may hold on to its ring for a period.
    std::unique_ptr<record::Recorder> recorder_;
};

}  // namespace kelvra::audio::engine
