#include "audio/engine/MixBus.h"

#include <algorithm>
#include <cmath>

#include "audio/engine/AudioThread.h"
#include "audio/record/FrameRing.h"

namespace kelvra::audio::engine {

MixBus::MixBus() : commands_(1024), retired_(kMaxVoices * 2), mix_(std::size_t(kMaxPeriod) * 2) {}

void MixBus::prepare(int outputRate) {
    outputRate_ = outputRate;
    for (int i = 0; i < voiceCount_; ++i)
        voices_[i]->prepare(outputRate);
}

Voice* MixBus::takeRetired() {
    Voice* voice = nullptr;
    return retired_.pop(voice) ? voice : nullptr;
}

EngineStats MixBus::stats() const {
    return {underruns_.load(), starved_.load(), rendered_.load(), late_.load()};
}

void MixBus::processCommands() {
    Command command;
    while (commands_.pop(command)) {
        Voice* voice = command.voice;
        switch (command.type) {
            case Command::Add:
                // The engine refuses a stream beyond kMaxVoices before it sends one.
                if (voiceCount_ < kMaxVoices) {
                    voice->prepare(outputRate_);
                    voices_[voiceCount_++] = voice;
                }
                break;
            case Command::Remove:
                // A sounding stream fades out first: leaving the mix mid-waveform is a click.
                voice->retire();
                if (voice->silent() || command.frame == kRemoveNow) drop(voice);
                break;
            case Command::Play:
                voice->play(command.serial);
                break;
            case Command::Halt:
                voice->halt();
                break;
            case Command::Seek:
                voice->seek(command.generation, command.frame, command.serial, command.tellWorker,
                            command.warmSlot);
                break;
        }
    }
}

void MixBus::drop(Voice* voice) {
    auto* end = voices_.begin() + voiceCount_;
    auto* it = std::find(voices_.begin(), end, voice);
    if (it != end) {
        *it = voices_[--voiceCount_];
        voices_[voiceCount_] = nullptr;
    }
    retired_.push(voice);  // cannot overflow: one entry per live voice at most
}

void MixBus::dropRetiring() {
    for (int i = voiceCount_ - 1; i >= 0; --i)
        if (voices_[i]->retiring()) drop(voices_[i]);
}

void MixBus::process(std::int16_t* out, int frames, bool waitForData) {
    KELVRA_ASSERT_MIXING();
    processCommands();
    frames = std::min(frames, kMaxPeriod);
    std::fill_n(mix_.begin(), 2 * frames, 0.0f);
    for (int i = 0; i < voiceCount_; ++i)
        voices_[i]->mixInto(mix_.data(), frames, waitForData);
    // Streams whose fade-out has ended leave now (backwards: drop() moves the last one in).
    for (int i = voiceCount_ - 1; i >= 0; --i)
        if (voices_[i]->retiring() && voices_[i]->silent()) drop(voices_[i]);
    for (int i = 0; i < 2 * frames; ++i) {
        const long sample = std::lrint(mix_[i] * 32768.0f);
        out[i] = std::int16_t(std::clamp<long>(sample, -32768, 32767));
    }
    if (record::FrameRing* tap = recordTap_.load(std::memory_order_acquire))
        tap->push(out, std::size_t(frames));
    rendered_.fetch_add(std::uint64_t(frames), std::memory_order_relaxed);
}

}  // namespace kelvra::audio::engine
