// The engine's output: opening a device, the null output or the offline renderer, moving the
// mix to another output while it plays, and falling back to the default device (or a silent
// one) when the sound server goes away.
#include <cstdlib>
#include <cstring>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <thread>

#include "audio/ErrorText.h"
#include "audio/engine/AudioThread.h"
#include "audio/engine/EngineStream.h"

namespace kelvra::audio::engine {
namespace {

bool outputRequested(const char* name) {
    const char* value = std::getenv("KELVRA_AUDIO");
    return value && std::strcmp(value, name) == 0;
}

// How often a JACK server that went away is looked for again.
constexpr auto kServerLookInterval = std::chrono::seconds(2);

}  // namespace

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
    output_ = openOutput(setup_, error);
    if (!output_) output_ = openInstead(error);
    mixer_.processCommands();
    // A sound server's rate wins over the one asked for: the voices resample to it.
    mixer_.prepare(output_->rate() > 0 ? output_->rate() : int(rate));
    mode_ = Mode::Device;
    if (start()) return true;
    // Opened but it will not run: the decks keep time on the null output rather than not at all.
    outputNotice_ = silentNotice("The chosen output would not start (" +
                                 errorText(errorCode()).toStdString() + ")");
    swapOutput(makeNullOutput(mixer_, requestedRate_));
    return start();
}

// The output chosen cannot be opened; a start must not fail for that. In turn: the same device
// with its default settings, then the default device, and last the null output, so that the
// decks keep time; the notice tells the DJ which plays and why.
std::unique_ptr<Output> Engine::openInstead(int error) {
    const bool jack = setup_.backend == OutputBackend::Jack;
    // A JACK client has no device of its own: without a server, no setting of it opens.
    const std::string why =
        jack ? std::string("No JACK server is running")
             : "The chosen output could not be opened (" + errorText(error).toStdString() + ")";
    OutputSetup sameDevice = plainSetup(setup_.device);
    sameDevice.backend = setup_.backend;
    if (!jack && sameDevice != setup_) {
        if (auto output = openOutput(sameDevice, error)) {
            outputNotice_ = why +
                            ": Kelvra plays through the same device with its default "
                            "settings.";
            return output;
        }
    }
    if (setup_ != plainSetup(-1) && sameDevice != plainSetup(-1)) {
        if (auto output = openOutput(plainSetup(-1), error)) {
            outputNotice_ = why + ": Kelvra plays through the default output.";
            return output;
        }
    }
    outputNotice_ = silentNotice(why);
    return makeNullOutput(mixer_, requestedRate_);
}

std::string Engine::silentNotice(const std::string& why) {
    return why +
           ", and no other output could be opened: the decks play on, silent, until "
           "another output is chosen.";
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
    if (nullDevice_) {
        // The null output is the only device there is: the first, or the default.
        if (setup.device > 0) {
            error = kErrorDevice;
            return nullptr;
        }
        return makeNullOutput(mixer_, rate, setup.period, setup.phones != PhonesRoute::Shared);
    }
    if (setup.backend == OutputBackend::Jack) return makeJackOutput(mixer_, setup, error);
    return makePortAudioOutput(mixer_, setup, rate, error);
}

bool Engine::configureOutput(const OutputSetup& setup) {
    setupChosen_ = true;
    const OutputSetup previous = setup_;
    setup_ = setup;
    if (outputRequested("jack")) setup_.backend = OutputBackend::Jack;
    if (mode_ != Mode::Device || setup_ == previous) return ok();
    // A JACK client takes the server's rate and period and has no device: what the DJ chose for
    // the other sound systems is kept for them, and changes nothing here.
    const bool jack = setup_.backend == OutputBackend::Jack;
    if (jack && previous.backend == OutputBackend::Jack && setup_.phones == previous.phones)
        return ok();
    // The new output is opened before the old one stops, so a failure costs no silence. But a
    // client's name is taken while it is open: a second JACK client would be "kelvra-01", and
    // connections made to the ports by name would miss it. The old one goes first then.
    const bool wasRunning = outputRunning_;
    const bool clientFirst = jack && output_ && !output_->lost() && output_->name() == "JACK";
    if (clientFirst) {
        if (outputRunning_) output_->stop();
        outputRunning_ = false;
        output_.reset();
    }
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
    if (clientFirst && wasRunning && !outputRunning_ && output_->start()) outputRunning_ = true;
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

bool Engine::setRouting(const OutputRouting& routing) {
    if (routing.cueLevel < 0 || routing.cueLevel > 100) return fail(kErrorIllegalParam);
    mixer_.setRouting(routing.cueOnLeft, routing.cueLevel);
    return ok();
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

// The output's server went away: the mix goes on through the default device, or without one
// through the null output so that the decks keep time, and the DJ is told. Nothing calls the
// mixer meanwhile, so it may be prepared for the new rate here.
void Engine::fallBack() {
    serverLost_ = setup_.backend == OutputBackend::Jack;
    nextServerLook_ = std::chrono::steady_clock::now() + kServerLookInterval;
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

// Back to the JACK server as soon as it is there again: the DJ chose it, and connections made to
// the ports by name find them under the same client name.
void Engine::lookForServer() {
    nextServerLook_ = std::chrono::steady_clock::now() + kServerLookInterval;
    std::unique_ptr<Output> next = probeJackOutput(mixer_, setup_);
    if (!next) return;
    swapOutput(std::move(next));
    if (!outputRunning_ && output_->start()) outputRunning_ = true;
    serverLost_ = false;
    outputNotice_ = "The sound server is back: Kelvra plays through it again.";
}

}  // namespace kelvra::audio::engine
