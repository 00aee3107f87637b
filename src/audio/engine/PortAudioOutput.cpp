// The PortAudio output: a stream of floats (or 16 bits, for a device that takes only those) whose
// callback renders straight from the mixer: stereo, or four channels with the headphones on 3
// and 4, or stereo with the headphones on a second device fed through a ring.
#include <portaudio.h>

#include <algorithm>
#include <cstring>
#include <vector>

#if defined(__unix__)
#include <fcntl.h>
#include <unistd.h>
#endif

#include "audio/AudioLibrary.h"
#include "audio/SampleScale.h"
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
    float left = 0, right = 0;
};

// One sample in the device's format: floats as mixed, or 16 bits.
inline void put(float* to, float sample) {
    *to = sample;
}
inline void put(std::int16_t* to, float sample) {
    *to = toPcm16(sample);
}

class PortAudioOutput final : public Output {
  public:
    // `mainFloat`/`phonesFloat`: the device takes floats (else 16 bits).
    PortAudioOutput(MixBus& mixer, int channels, int period, bool phonesDevice, bool mainFloat,
                    bool phonesFloat)
        : mixer_(mixer),
          channels_(channels),
          period_(period),
          main_(std::size_t(MixBus::kMaxPeriod) * 2),
          phones_(std::size_t(MixBus::kMaxPeriod) * 2),
          ring_(phonesDevice ? std::size_t(period) * 8 : 1),
          phonesDevice_(phonesDevice),
          mainFloat_(mainFloat),
          phonesFloat_(phonesFloat) {}
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
        if (out.mainFloat_)
            out.render(static_cast<float*>(output), frames);
        else
            out.render(static_cast<std::int16_t*>(output), frames);
        return paContinue;
    }

    static int phonesCallback(const void*, void* output, unsigned long frames,
                              const PaStreamCallbackTimeInfo*, PaStreamCallbackFlags, void* self) {
        const MixingScope mixing(ThreadRole::Device);
        auto& out = *static_cast<PortAudioOutput*>(self);
        if (out.phonesFloat_)
            out.playPhones(static_cast<float*>(output), frames);
        else
            out.playPhones(static_cast<std::int16_t*>(output), frames);
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
    // The mix for the main device, in its format, with the headphones on channels 3 and 4 or
    // into the second device's ring.
    template <typename Sample>
    void render(Sample* samples, unsigned long frames) {
        const bool phones = channels_ == 4 || phonesDevice_;
        // The device asks for at most the period we opened with, but allow for larger requests.
        while (frames > 0) {
            const int n = int(std::min<unsigned long>(frames, MixBus::kMaxPeriod));
            mixer_.process(main_.data(), phones ? phones_.data() : nullptr, n, false);
            for (int i = 0; i < n; ++i) {
                Sample* frame = samples + channels_ * i;
                put(frame, main_[std::size_t(2 * i)]);
                put(frame + 1, main_[std::size_t(2 * i + 1)]);
                if (channels_ == 4) {
                    put(frame + 2, phones_[std::size_t(2 * i)]);
                    put(frame + 3, phones_[std::size_t(2 * i + 1)]);
                } else if (phonesDevice_) {
                    ring_.push({phones_[std::size_t(2 * i)], phones_[std::size_t(2 * i + 1)]});
                }
            }
            samples += channels_ * n;
            frames -= unsigned(n);
        }
    }

    template <typename Sample>
    void playPhones(Sample* samples, unsigned long frames) {
        for (unsigned long i = 0; i < frames; ++i) {
            PhonesFrame frame;
            ring_.pop(frame);  // empty: silence for this frame
            put(samples + 2 * i, frame.left);
            put(samples + 2 * i + 1, frame.right);
        }
    }

    MixBus& mixer_;
    const int channels_;
    const int period_;
    int rate_ = 44100;
    PaStream* stream_ = nullptr;
    PaStream* phonesStream_ = nullptr;
    std::vector<float> main_, phones_;  // one chunk of each, before interleaving
    SpscQueue<PhonesFrame> ring_;
    const bool phonesDevice_;
    const bool mainFloat_, phonesFloat_;
    std::string name_;
    LateCallbacks late_;
};

// The device's parameters for `channels` channels, or an error code. Floats where the device
// takes them, so the mix reaches it as it was made; 16 bits otherwise.
int deviceParameters(PaDeviceIndex index, int channels, double latency, int rate,
                     PaStreamParameters& params) {
    const PaDeviceInfo* info = index == paNoDevice ? nullptr : Pa_GetDeviceInfo(index);
    if (!info || info->maxOutputChannels < channels) return kErrorDevice;
    params = {};
    params.device = index;
    params.channelCount = channels;
    params.suggestedLatency = std::max(latency, info->defaultLowOutputLatency);
    for (const PaSampleFormat format : {paFloat32, paInt16}) {
        params.sampleFormat = format;
        if (Pa_IsFormatSupported(nullptr, &params, rate) == paFormatIsSupported) return kErrorOk;
    }
    return kErrorFrequency;
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
    PaStreamParameters phonesParams{};
    const bool phonesDevice = setup.phones == PhonesRoute::Device;
    if (phonesDevice) {
        const PaDeviceIndex phonesIndex = pickDevice(setup.backend, setup.phonesDevice);
        error = phonesIndex == index
                    ? kErrorDevice
                    : deviceParameters(phonesIndex, 2, setup.latency, rate, phonesParams);
        if (error != kErrorOk) return nullptr;
    }
    const int period = std::clamp(setup.period, 64, MixBus::kMaxPeriod);
    auto output = std::make_unique<PortAudioOutput>(
        mixer, channels, period, phonesDevice, params.sampleFormat == paFloat32,
        phonesDevice && phonesParams.sampleFormat == paFloat32);
    if (!output->open(params, rate) || (phonesDevice && !output->openPhones(phonesParams))) {
        error = kErrorDriver;
        return nullptr;
    }
    output->setName(setup.backend == OutputBackend::Alsa ? "ALSA" : "PulseAudio/PipeWire");
    error = kErrorOk;
    return output;
}

}  // namespace kelvra::audio::engine
