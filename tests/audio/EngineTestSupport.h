// Test seams for the audio engine: an in-memory decoder, an engine whose files are those
// decoders, and measurements on rendered audio.
#pragma once

#include <chrono>
#include <cmath>
#include <cstdlib>
#include <map>
#include <memory>
#include <thread>
#include <vector>

#include "audio/engine/Engine.h"
#include "support/AudioFixtures.h"

namespace kelvra::test {

// Decodes from a buffer; `readDelay` makes it slow, to starve playback on purpose, and
// `seekDelay` makes every seek take that long, as a compressed file's seek does.
class BufferDecoder : public audio::Decoder {
  public:
    BufferDecoder(std::shared_ptr<const std::vector<std::int16_t>> samples, int rate, int channels,
                  std::chrono::microseconds readDelay = {},
                  std::chrono::microseconds seekDelay = {})
        : samples_(std::move(samples)),
          rate_(rate),
          channels_(channels),
          delay_(readDelay),
          seekDelay_(seekDelay) {}

    audio::PcmFormat format() const override { return {rate_, channels_}; }
    std::int64_t lengthFrames() const override {
        return std::int64_t(samples_->size()) / channels_;
    }
    bool seek(std::int64_t frame) override {
        if (seekDelay_.count() > 0) std::this_thread::sleep_for(seekDelay_);
        next_ = std::min(frame, lengthFrames());
        return true;
    }
    std::int64_t read(std::int16_t* out, std::int64_t frames) override {
        if (delay_.count() > 0) std::this_thread::sleep_for(delay_);
        const std::int64_t n = std::min(frames, lengthFrames() - next_);
        std::copy_n(samples_->data() + next_ * channels_, n * channels_, out);
        next_ += n;
        return n;
    }

  private:
    std::shared_ptr<const std::vector<std::int16_t>> samples_;
    int rate_, channels_;
    std::chrono::microseconds delay_, seekDelay_;
    std::int64_t next_ = 0;
};

struct TestFile {
    std::shared_ptr<const std::vector<std::int16_t>> samples;
    int rate = 44100;
    int channels = 2;
    std::string tags;
    std::chrono::microseconds readDelay{};
    std::chrono::microseconds seekDelay{};
};

// Files by name: add-on files answer the add-on side, the rest the main side; an unknown name
// fails to open.
class TestFiles {
  public:
    void add(const std::string& name, TestFile file, bool addon = false) {
        (addon ? addon_ : main_)[name] = std::move(file);
    }
    audio::engine::Openers openers() {
        return {[this](const std::string& path, audio::OpenMode mode) {
                    return open(addon_, path, mode);
                },
                [this](const std::string& path, audio::OpenMode mode) {
                    return open(main_, path, mode);
                }};
    }

  private:
    static audio::OpenedFile open(const std::map<std::string, TestFile>& files,
                                  const std::string& path, audio::OpenMode mode) {
        const auto it = files.find(path);
        if (it == files.end()) return {nullptr, audio::kErrorFileOpen, {}};
        const TestFile& f = it->second;
        audio::OpenedFile opened;
        opened.tags = f.tags;
        if (mode == audio::OpenMode::Playback)
            opened.decoder = std::make_unique<BufferDecoder>(f.samples, f.rate, f.channels,
                                                             f.readDelay, f.seekDelay);
        return opened;
    }
    std::map<std::string, TestFile> addon_, main_;
};

inline TestFile sineFile(int rate, int channels, double seconds, double frequency,
                         double amplitude = 0.5, double rightFactor = 1.0) {
    TestFile f;
    f.samples = std::make_shared<const std::vector<std::int16_t>>(
        sine(rate, channels, seconds, frequency, amplitude, rightFactor));
    f.rate = rate;
    f.channels = channels;
    return f;
}

inline std::vector<std::int16_t> render(audio::engine::Engine& engine, std::int64_t frames) {
    std::vector<std::int16_t> out(std::size_t(frames) * 2);
    engine.render(out.data(), frames);
    return out;
}

// Measurements on one channel (0 left, 1 right) of interleaved stereo, frames [from, to).
inline int peak(const std::vector<std::int16_t>& v, int channel, std::size_t from, std::size_t to) {
    int p = 0;
    for (std::size_t i = from; i < to; ++i)
        p = std::max(p, std::abs(int(v[2 * i + channel])));
    return p;
}
inline int maxStep(const std::vector<std::int16_t>& v, int channel, std::size_t from,
                   std::size_t to) {
    int step = 0;
    for (std::size_t i = std::max<std::size_t>(from, 1); i < to; ++i)
        step = std::max(step, std::abs(int(v[2 * i + channel]) - int(v[2 * (i - 1) + channel])));
    return step;
}
// Frequency from the spacing of the first and last upward zero crossing.
inline double measuredFrequency(const std::vector<std::int16_t>& v, int channel, std::size_t from,
                                std::size_t to, int rate) {
    double first = -1, last = -1;
    int crossings = 0;
    for (std::size_t i = from + 1; i < to; ++i) {
        const int a = v[2 * (i - 1) + channel], b = v[2 * i + channel];
        if (a < 0 && b >= 0) {
            const double at = double(i - 1) + double(-a) / double(b - a);
            if (first < 0) first = at;
            last = at;
            ++crossings;
        }
    }
    if (crossings < 2) return 0;
    return (crossings - 1) * rate / (last - first);
}
// The longest run of frames, in [from, to), whose samples on `channel` all stay within
// `threshold` of zero: a hole in the sound.
inline std::size_t longestQuiet(const std::vector<std::int16_t>& v, int channel, std::size_t from,
                                std::size_t to, int threshold = 64) {
    std::size_t longest = 0, run = 0;
    for (std::size_t i = from; i < to; ++i) {
        run = std::abs(int(v[2 * i + channel])) <= threshold ? run + 1 : 0;
        longest = std::max(longest, run);
    }
    return longest;
}
// The largest step a sine of this amplitude (share of full scale) and frequency can make.
inline double sineStep(double amplitude, double frequency, int rate) {
    return amplitude * 32767.0 * 2 * std::sin(M_PI * frequency / rate);
}

}  // namespace kelvra::test
