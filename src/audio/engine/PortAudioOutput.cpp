// The PortAudio output: a 16-bit stereo stream whose callback renders straight from the mixer.
#include <portaudio.h>

#include <vector>

#if defined(__unix__)
#include <fcntl.h>
#include <unistd.h>
#endif

#include "audio/AudioLibrary.h"
#include "audio/engine/LateCallbacks.h"
#include "audio/engine/Output.h"

namespace kelvra::audio::engine {
namespace {

// PortAudio is initialised once per process and left up: terminating it while another engine
// instance enumerates devices would pull the ground from under it.
bool portAudioReady() {
    static const bool ready = [] {
#if defined(__unix__)
        // Probing the sound servers prints pages of diagnostics on machines without them; the
        // answer we need is the return code, so keep stderr quiet meanwhile.
        const int saved = dup(STDERR_FILENO);
        const int devNull = open("/dev/null", O_WRONLY);
        if (saved >= 0 && devNull >= 0) dup2(devNull, STDERR_FILENO);
        const bool result = Pa_Initialize() == paNoError;
        if (saved >= 0 && devNull >= 0) dup2(saved, STDERR_FILENO);
        if (devNull >= 0) close(devNull);
        if (saved >= 0) close(saved);
        return result;
#else
        return Pa_Initialize() == paNoError;
#endif
    }();
    return ready;
}

std::vector<PaDeviceIndex> outputDevices() {
    std::vector<PaDeviceIndex> devices;
    if (!portAudioReady()) return devices;
    const PaDeviceIndex count = Pa_GetDeviceCount();
    for (PaDeviceIndex i = 0; i < count; ++i) {
        const PaDeviceInfo* info = Pa_GetDeviceInfo(i);
        if (info && info->maxOutputChannels > 0) devices.push_back(i);
    }
    return devices;
}

class PortAudioOutput final : public Output {
  public:
    explicit PortAudioOutput(MixBus& mixer) : mixer_(mixer) {}
    ~PortAudioOutput() override {
        if (!stream_) return;
        stop();
        Pa_CloseStream(stream_);
    }

    bool open(const PaStreamParameters& params, int rate) {
        return Pa_OpenStream(&stream_, nullptr, &params, rate, kOutputPeriod, paClipOff,
                             &PortAudioOutput::callback, this) == paNoError;
    }

    static int callback(const void*, void* output, unsigned long frames,
                        const PaStreamCallbackTimeInfo* times, PaStreamCallbackFlags status,
                        void* self) {
        const ThreadRoleScope role(ThreadRole::Device);
        auto& out = *static_cast<PortAudioOutput*>(self);
        if (status & paOutputUnderflow) out.mixer_.countUnderrun();
        if (times && out.late_.late(times->currentTime, times->outputBufferDacTime, frames,
                                    out.mixer_.outputRate()))
            out.mixer_.countLateCallback();
        auto* samples = static_cast<std::int16_t*>(output);
        // The device asks for at most the period we opened with, but allow for larger requests.
        while (frames > 0) {
            const int n = int(std::min<unsigned long>(frames, MixBus::kMaxPeriod));
            out.mixer_.process(samples, n, false);
            samples += 2 * n;
            frames -= unsigned(n);
        }
        return paContinue;
    }

    bool start() override {
        if (Pa_IsStreamActive(stream_) == 1) return true;
        if (Pa_StartStream(stream_) != paNoError) {
            error_ = kErrorStart;
            return false;
        }
        return true;
    }

    void stop() override {
        if (Pa_IsStreamStopped(stream_) == 0) Pa_StopStream(stream_);
    }

  private:
    MixBus& mixer_;
    PaStream* stream_ = nullptr;
    LateCallbacks late_;
};

}  // namespace

std::optional<std::string> portAudioDeviceName(int index) {
    const auto devices = outputDevices();
    if (index < 0 || index >= int(devices.size())) return std::nullopt;
    return std::string(Pa_GetDeviceInfo(devices[std::size_t(index)])->name);
}

std::unique_ptr<Output> makePortAudioOutput(MixBus& mixer, int device, int rate, int& error) {
    if (!portAudioReady()) {
        error = kErrorDriver;
        return nullptr;
    }
    PaDeviceIndex index = paNoDevice;
    if (device < 0) {
        index = Pa_GetDefaultOutputDevice();
        if (index == paNoDevice) {
            error = kErrorDriver;
            return nullptr;
        }
    } else {
        const auto devices = outputDevices();
        if (device >= int(devices.size())) {
            error = kErrorDevice;
            return nullptr;
        }
        index = devices[std::size_t(device)];
    }
    const PaDeviceInfo* info = Pa_GetDeviceInfo(index);
    if (!info || info->maxOutputChannels < 2) {
        error = kErrorDevice;
        return nullptr;
    }
    PaStreamParameters params{};
    params.device = index;
    params.channelCount = 2;
    params.sampleFormat = paInt16;
    params.suggestedLatency = info->defaultLowOutputLatency;
    if (Pa_IsFormatSupported(nullptr, &params, rate) != paFormatIsSupported) {
        error = kErrorFrequency;
        return nullptr;
    }
    auto output = std::make_unique<PortAudioOutput>(mixer);
    if (!output->open(params, rate)) {
        error = kErrorDriver;
        return nullptr;
    }
    return output;
}

}  // namespace kelvra::audio::engine
