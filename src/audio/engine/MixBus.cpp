#include "audio/engine/MixBus.h"

#include <algorithm>
#include <cmath>

#include "audio/SampleScale.h"
#include "audio/engine/AudioThread.h"
#include "audio/engine/Ramp.h"
#include "audio/record/FrameRing.h"

namespace kelvra::audio::engine {

namespace {

// A full turn of the headphone level or mix, or a change of the output's routing.
constexpr double kPhonesRampSeconds = 0.01;

// A device that takes floating point gets the mix within full scale, as 16 bits would clip it.
void toDevice(const float* mix, float* out, int samples) {
    for (int i = 0; i < samples; ++i)
        out[i] = std::clamp(mix[i], -1.0f, 1.0f);
}

}  // namespace

MixBus::MixBus()
    : commands_(1024),
      retired_(kMaxVoices * 2),
      mix_(std::size_t(kMaxPeriod) * 2),
      cue_(std::size_t(kMaxPeriod) * 2),
      deckSends_{std::vector<float>(std::size_t(kMaxPeriod) * 2),
                 std::vector<float>(std::size_t(kMaxPeriod) * 2)},
      recordScratch_(std::size_t(kMaxPeriod) * 2),
      pcm_(std::size_t(kMaxPeriod) * 2) {}

void MixBus::prepare(int outputRate) {
    outputRate_ = outputRate;
    phonesStep_ = float(1.0 / (kPhonesRampSeconds * outputRate));
    rack_.prepare(outputRate);
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

void MixBus::noteCallback(double share) {
    const int bucket = std::clamp(int(share * 100), 0, kTimeBuckets - 1);
    timeBuckets_[std::size_t(bucket)].fetch_add(1, std::memory_order_relaxed);
    timeCount_.fetch_add(1, std::memory_order_relaxed);
    // One consumer: plain read-modify-write is enough.
    timeSum_.store(timeSum_.load(std::memory_order_relaxed) + share, std::memory_order_relaxed);
    if (share > timeMax_.load(std::memory_order_relaxed))
        timeMax_.store(share, std::memory_order_relaxed);
}

CallbackTimes MixBus::callbackTimes() const {
    CallbackTimes times;
    times.count = timeCount_.load();
    if (times.count == 0) return times;
    times.mean = timeSum_.load() / double(times.count);
    times.max = timeMax_.load();
    const std::uint64_t below = times.count - times.count / 100;
    std::uint64_t seen = 0;
    for (int i = 0; i < kTimeBuckets; ++i) {
        seen += timeBuckets_[std::size_t(i)].load();
        if (seen >= below) {
            times.p99 = (i + 1) / 100.0;  // the bucket's upper edge
            break;
        }
    }
    return times;
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
                            command.warmSlot, command.loop);
                break;
            case Command::Splice:
                voice->splice(command.generation, command.spliceAt, command.frame,
                              command.tellWorker, command.loop, command.seamFrom, command.replaces);
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

void MixBus::setPhones(int level, int mix, bool split) {
    phonesLevel_.store(std::clamp(level, 0, 100), std::memory_order_relaxed);
    phonesMix_.store(std::clamp(mix, 0, 100), std::memory_order_relaxed);
    phonesSplit_.store(split, std::memory_order_relaxed);
}

void MixBus::setRouting(bool cueOnLeft, int cueLevel) {
    cueOnLeftLevel_.store(std::clamp(cueLevel, 0, 100), std::memory_order_relaxed);
    cueOnLeft_.store(cueOnLeft, std::memory_order_relaxed);
}

void MixBus::process(std::int16_t* out, std::int16_t* phones, int frames, bool waitForData) {
    frames = mixPeriod(frames, phones != nullptr, waitForData);
    if (phones) toPcm16(cue_.data(), phones, 2 * std::size_t(frames));
    toPcm16(mix_.data(), out, 2 * std::size_t(frames));
    tapRecording(out, frames);
    rendered_.fetch_add(std::uint64_t(frames), std::memory_order_relaxed);
}

void MixBus::process(float* out, float* phones, int frames, bool waitForData) {
    frames = mixPeriod(frames, phones != nullptr, waitForData);
    if (phones) toDevice(cue_.data(), phones, 2 * frames);
    toDevice(mix_.data(), out, 2 * frames);
    // The recording is 16-bit whatever the device takes: the same bytes as a 16-bit output's.
    if (recordTap_.load(std::memory_order_acquire)) {
        toPcm16(mix_.data(), pcm_.data(), 2 * std::size_t(frames));
        tapRecording(pcm_.data(), frames);
    }
    rendered_.fetch_add(std::uint64_t(frames), std::memory_order_relaxed);
}

int MixBus::mixPeriod(int frames, bool phones, bool waitForData) {
    KELVRA_ASSERT_MIXING();
    processCommands();
    frames = std::min(frames, kMaxPeriod);
    const bool cue = cueWanted(phones);
    std::fill_n(mix_.begin(), 2 * frames, 0.0f);
    if (cue) std::fill_n(cue_.begin(), 2 * frames, 0.0f);
    rack_.takeCommands();
    mixDeckSends(frames, cue, waitForData);
    // Streams whose fade-out has ended leave now (backwards: drop() moves the last one in).
    for (int i = voiceCount_ - 1; i >= 0; --i)
        if (voices_[i]->retiring() && voices_[i]->silent()) drop(voices_[i]);
    if (rack_.busy(fx::Bus::Main)) rack_.process(fx::Bus::Main, mix_.data(), frames);
    if (cue) routeLeft(frames);
    if (phones) {
        mixPhones(frames);
        if (rack_.busy(fx::Bus::Phones)) rack_.process(fx::Bus::Phones, cue_.data(), frames);
    }
    return frames;
}

void MixBus::mixDeckSends(int frames, bool cue, bool waitForData) {
    const bool through[2] = {rack_.busy(fx::Bus::LeftDeck), rack_.busy(fx::Bus::RightDeck)};
    for (int deck = 0; deck < 2; ++deck)
        if (through[deck]) std::fill_n(deckSends_[std::size_t(deck)].begin(), 2 * frames, 0.0f);
    for (int i = 0; i < voiceCount_; ++i) {
        const int deck = voices_[i]->shared.effectBus.load(std::memory_order_relaxed);
        const bool own = (deck == 0 || deck == 1) && through[deck];
        float* to = own ? deckSends_[std::size_t(deck)].data() : mix_.data();
        voices_[i]->mixInto(to, cue ? cue_.data() : nullptr, frames, waitForData);
    }
    for (int deck = 0; deck < 2; ++deck) {
        if (!through[deck]) continue;
        float* send = deckSends_[std::size_t(deck)].data();
        rack_.process(deck == 0 ? fx::Bus::LeftDeck : fx::Bus::RightDeck, send, frames);
        for (int i = 0; i < 2 * frames; ++i)
            mix_[std::size_t(i)] += send[i];
    }
}

void MixBus::tapRecording(const std::int16_t* out, int frames) {
    record::FrameRing* tap = recordTap_.load(std::memory_order_acquire);
    if (!tap) return;
    if (cueOnLeft_.load(std::memory_order_relaxed)) {
        for (int i = 0; i < frames; ++i)
            recordScratch_[std::size_t(2 * i)] = recordScratch_[std::size_t(2 * i + 1)] =
                out[2 * i + 1];
        tap->push(recordScratch_.data(), std::size_t(frames));
    } else {
        tap->push(out, std::size_t(frames));
    }
}

bool MixBus::cueWanted(bool phones) const {
    return phones || cueOnLeft_.load(std::memory_order_relaxed) || leftMainGain_ != 1.0f ||
           leftCueGain_ != 0.0f;
}

// One stereo output shared with the headphones: its left channel crosses from the main mix to
// the cued streams at the headphone level, while the right keeps the main mix. Done here rather
// than by panning the streams, so one change moves the whole routing at once, glided.
void MixBus::routeLeft(int frames) {
    const bool cueOnLeft = cueOnLeft_.load(std::memory_order_relaxed);
    const float mainTarget = cueOnLeft ? 0.0f : 1.0f;
    const float cueTarget =
        cueOnLeft ? float(cueOnLeftLevel_.load(std::memory_order_relaxed)) / 100.0f : 0.0f;
    // The main mix in stereo, as it was made: not one sample moved.
    if (leftMainGain_ == 1.0f && mainTarget == 1.0f && leftCueGain_ == 0.0f && cueTarget == 0.0f)
        return;
    for (int i = 0; i < frames; ++i) {
        leftMainGain_ = approach(leftMainGain_, mainTarget, phonesStep_);
        leftCueGain_ = approach(leftCueGain_, cueTarget, phonesStep_);
        float& left = mix_[std::size_t(2 * i)];
        left = leftMainGain_ * left + leftCueGain_ * cue_[std::size_t(2 * i)];
    }
}

// The headphone output from the cue bus and the main mix, both still in floating point.
void MixBus::mixPhones(int frames) {
    const float level = float(phonesLevel_.load(std::memory_order_relaxed)) / 100.0f;
    const float mix = float(phonesMix_.load(std::memory_order_relaxed)) / 100.0f;
    const bool split = phonesSplit_.load(std::memory_order_relaxed);
    // Split listening keeps both sides at the headphone level: the mix knob has nothing to do.
    const float cueTarget = split ? level : level * (1.0f - mix);
    const float mainTarget = split ? level : level * mix;
    for (int i = 0; i < frames; ++i) {
        cueGain_ = approach(cueGain_, cueTarget, phonesStep_);
        mainGain_ = approach(mainGain_, mainTarget, phonesStep_);
        const float* c = &cue_[std::size_t(2 * i)];
        const float* m = &mix_[std::size_t(2 * i)];
        if (split) {
            cue_[std::size_t(2 * i)] = cueGain_ * 0.5f * (c[0] + c[1]);
            cue_[std::size_t(2 * i + 1)] = mainGain_ * 0.5f * (m[0] + m[1]);
        } else {
            const float left = cueGain_ * c[0] + mainGain_ * m[0];
            cue_[std::size_t(2 * i + 1)] = cueGain_ * c[1] + mainGain_ * m[1];
            cue_[std::size_t(2 * i)] = left;
        }
    }
}

}  // namespace kelvra::audio::engine
