// The PortAudio output: a 16-bit stream whose callback renders straight from the mixer: stereo,
// or four channels with the headphones on 3 and 4, or stereo with the headphones on a second
// device fed through a ring.
#include <portaudio.h>

#include <algorithm>
#include <cstring>
#include <vector>

#if defined(__unix__)
#include <fcntl.h>
#include <unistd.h>
#endif

#include "audio/AudioLibrary.h"
#include "audio/engine/LateCallbacks.h"
#include "audio/engine/Output.h"
#include "audio/engine/SpscQueue.h"

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

// The back end's output devices, in the order the options window lists them. ALSA lists only
// the hardware devices, the ones that bypass the sound server.
std::vector<PaDeviceIndex> outputDevices(OutputBackend backend = OutputBackend::Default) {
    std::vector<PaDeviceIndex> devices;
    if (!portAudioReady()) return devices;
    const PaDeviceIndex count = Pa_GetDeviceCount();
    for (PaDeviceIndex i = 0; i < count; ++i) {
        const PaDeviceInfo* info = Pa_GetDeviceInfo(i);
        if (!info || info->maxOutputChannels <= 0) continue;
        if (backend == OutputBackend::Alsa) {
            const PaHostApiInfo* host = Pa_GetHostApiInfo(info->hostApi);
            if (!host || host->type != paALSA || !std::strstr(info->name, "(hw:")) continue;
        }
        devices.push_back(i);
    }
    return devices;
}

// Headphone frames on their way from the main device's callback to a second device's. The two
// clocks drift apart a little: a full ring drops the newest frames, an empty one plays silence.
struct PhonesFrame {
    std::int16_t left = 0, right = 0;
};

class PortAudioOutput final : public Output {
  public:
    PortAudioOutput(MixBus& mixer, int channels, int period, bool phonesDevice)
        : mixer_(mixer),
          channels_(channels),
          period_(period),
          main_(std::size_t(MixBus::kMaxPeriod) * 2),
          phones_(std::size_t(MixBus::kMaxPeriod) * 2),
          ring_(phonesDevice ? std::size_t(period) * 8 : 1),
          phonesDevice_(phonesDevice) {}
    ~PortAudioOutput() override {
        stop();
        if (phonesStream_) Pa_CloseStream(phonesStream_);
        if (stream_) Pa_CloseStream(stream_);
    }

    bool open(const PaStreamParameters& params, int rate) {
        rate_ = rate;
        return Pa_OpenStream(&stream_, nullptr, &params, rate, unsigned(period_), paClipOff,
                             &PortAudioOutput::callback, this) == paNoError;
    }
    bool openPhones(const PaStreamParameters& params) {
        return Pa_OpenStream(&phonesStream_, nullptr, &params, rate_, unsigned(period_), paClipOff,
                             &PortAudioOutput::phonesCallback, this) == paNoError;
    }

    static int callback(const void*, void* output, unsigned long frames,
                        const PaStreamCallbackTimeInfo* times, PaStreamCallbackFlags status,
                        void* self) {
        const MixingScope mixing(ThreadRole::Device);
        auto& out = *static_cast<PortAudioOutput*>(self);
        if (status & paOutputUnderflow) out.mixer_.countUnderrun();
        if (times && out.late_.late(times->currentTime, times->outputBufferDacTime, frames,
                                    out.mixer_.outputRate()))
            out.mixer_.countLateCallback();
        auto* samples = static_cast<std::int16_t*>(output);
        const bool phones = out.channels_ == 4 || out.phonesDevice_;
        // The device asks for at most the period we opened with, but allow for larger requests.
        while (frames > 0) {
            const int n = int(std::min<unsigned long>(frames, MixBus::kMaxPeriod));
            std::int16_t* main = out.channels_ == 2 ? samples : out.main_.data();
            out.mixer_.process(main, phones ? out.phones_.data() : nullptr, n, false);
            if (out.channels_ == 4) {
                for (int i = 0; i < n; ++i) {
                    std::int16_t* frame = samples + 4 * i;
                    frame[0] = out.main_[std::size_t(2 * i)];
                    frame[1] = out.main_[std::size_t(2 * i + 1)];
                    frame[2] = out.phones_[std::size_t(2 * i)];
                    frame[3] = out.phones_[std::size_t(2 * i + 1)];
                }
            } else if (out.phonesDevice_) {
                for (int i = 0; i < n; ++i)
                    out.ring_.push(
                        {out.phones_[std::size_t(2 * i)], out.phones_[std::size_t(2 * i + 1)]});
            }
            samples += out.channels_ * n;
            frames -= unsigned(n);
        }
        return paContinue;
    }

    static int phonesCallback(const void*, void* output, unsigned long frames,
                              const PaStreamCallbackTimeInfo*, PaStreamCallbackFlags, void* self) {
        const MixingScope mixing(ThreadRole::Device);
        auto& out = *static_cast<PortAudioOutput*>(self);
        auto* samples = static_cast<std::int16_t*>(output);
        for (unsigned long i = 0; i < frames; ++i) {
            PhonesFrame frame;
            out.ring_.pop(frame);  // empty: silence for this frame
            samples[2 * i] = frame.left;
            samples[2 * i + 1] = frame.right;
        }
        return paContinue;
    }

    bool start() override {
        if (Pa_IsStreamActive(stream_) == 1) return true;
        if (Pa_StartStream(stream_) != paNoError) {
            error_ = kErrorStart;
            return false;
        }
        if (phonesStream_) Pa_StartStream(phonesStream_);
        return true;
    }

    void stop() override {
        if (stream_ && Pa_IsStreamStopped(stream_) == 0) Pa_StopStream(stream_);
        if (phonesStream_ && Pa_IsStreamStopped(phonesStream_) == 0) Pa_StopStream(phonesStream_);
    }

    double latency() const override {
        const PaStreamInfo* info = stream_ ? Pa_GetStreamInfo(stream_) : nullptr;
        return info ? info->outputLatency : 0;
    }
    int rate() const override { return rate_; }
    int period() const override { return period_; }
    bool phones() const override { return channels_ == 4 || phonesDevice_; }
    std::string name() const override { return name_; }
    void setName(std::string name) { name_ = std::move(name); }

  private:
    MixBus& mixer_;
    const int channels_;
    const int period_;
    int rate_ = 44100;
    PaStream* stream_ = nullptr;
    PaStream* phonesStream_ = nullptr;
    std::vector<std::int16_t> main_, phones_;  // one chunk of each, before interleaving
    SpscQueue<PhonesFrame> ring_;
    const bool phonesDevice_;
    std::string name_;
    LateCallbacks late_;
};

// The device's parameters for `channels` channels, or an error code.
int deviceParameters(PaDeviceIndex index, int channels, double latency, int rate,
                     PaStreamParameters& params) {
    const PaDeviceInfo* info = index == paNoDevice ? nullptr : Pa_GetDeviceInfo(index);
    if (!info || info->maxOutputChannels < channels) return kErrorDevice;
    params = {};
    params.device = index;
    params.channelCount = channels;
    params.sampleFormat = paInt16;
    params.suggestedLatency = std::max(latency, info->defaultLowOutputLatency);
    if (Pa_IsFormatSupported(nullptr, &params, rate) != paFormatIsSupported) return kErrorFrequency;
    return kErrorOk;
}

// Device `device` of the back end (-1: its default), or paNoDevice.
PaDeviceIndex pickDevice(OutputBackend backend, int device) {
    const auto devices = outputDevices(backend);
    if (device < 0) {
        if (backend != OutputBackend::Alsa) return Pa_GetDefaultOutputDevice();
        return devices.empty() ? paNoDevice : devices.front();
    }
    return device < int(devices.size()) ? devices[std::size_t(device)] : paNoDevice;
}

}  // namespace

std::vector<std::string> portAudioDeviceNames(OutputBackend backend) {
    std::vector<std::string> names;
    if (backend == OutputBackend::Jack) return names;
    for (PaDeviceIndex index : outputDevices(backend))
        names.emplace_back(Pa_GetDeviceInfo(index)->name);
    return names;
}

std::optional<std::string> portAudioDeviceName(int index) {
    const auto devices = outputDevices();
    if (index < 0 || index >= int(devices.size())) return std::nullopt;
    return std::string(Pa_GetDeviceInfo(devices[std::size_t(index)])->name);
}

std::unique_ptr<Output> makePortAudioOutput(MixBus& mixer, const OutputSetup& setup, int rate,
                                            int& error) {
    if (!portAudioReady()) {
        error = kErrorDriver;
        return nullptr;
    }
    const PaDeviceIndex index = pickDevice(setup.backend, setup.device);
    if (index == paNoDevice) {
        error = setup.device < 0 ? kErrorDriver : kErrorDevice;
        return nullptr;
    }
    const int channels = setup.phones == PhonesRoute::Channels34 ? 4 : 2;
    PaStreamParameters params;
    error = deviceParameters(index, channels, setup.latency, rate, params);
    if (error != kErrorOk) return nullptr;
    PaStreamParameters phonesParams;
    const bool phonesDevice = setup.phones == PhonesRoute::Device;
    if (phonesDevice) {
        const PaDeviceIndex phonesIndex = pickDevice(setup.backend, setup.phonesDevice);
        error = phonesIndex == index
                    ? kErrorDevice
                    : deviceParameters(phonesIndex, 2, setup.latency, rate, phonesParams);
        if (error != kErrorOk) return nullptr;
    }
    const int period = std::clamp(setup.period, 64, MixBus::kMaxPeriod);
    auto output = std::make_unique<PortAudioOutput>(mixer, channels, period, phonesDevice);
    if (!output->open(params, rate) || (phonesDevice && !output->openPhones(phonesParams))) {
        error = kErrorDriver;
        return nullptr;
    }
    output->setName(setup.backend == OutputBackend::Alsa ? "ALSA" : "PulseAudio/PipeWire");
    error = kErrorOk;
    return output;
}

}  // namespace kelvra::audio::engine
