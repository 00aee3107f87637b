#include "audio/decode/AsfDecoder.h"

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <cstring>
#include <mutex>
#include <thread>
#include <vector>

#include "audio/AudioLibrary.h"
#include "audio/decode/Ffmpeg.h"
#include "audio/decode/HugeBuffer.h"

namespace kelvra::audio::decode {
namespace {

// Decoded audio lives in fixed blocks of one huge page each, so blocks already handed to readers
// never move.
constexpr std::size_t kBlockBytes = kHugePage;

std::int16_t* samplesOf(const HugeBuffer& block) {
    return reinterpret_cast<std::int16_t*>(block.data());
}

class AsfDecoder final : public Decoder {
  public:
    AsfDecoder(FormatPtr format, int stream, CodecPtr codec, int channels)
        : format_(std::move(format)),
          stream_(stream),
          codec_(std::move(codec)),
          converter_(channels),
          channels_(channels),
          blockFrames_(static_cast<std::int64_t>(kBlockBytes / sizeof(std::int16_t)) / channels),
          rate_(codec_->sample_rate) {}

    ~AsfDecoder() override {
        stop_ = true;
        if (worker_.joinable()) worker_.join();
    }

    // Starts decoding in the background, for a stream of `length` frames.
    void startBackground(std::int64_t length) {
        length_ = length;
        blocks_.resize(static_cast<std::size_t>((length + blockFrames_ - 1) / blockFrames_));
        worker_ = std::thread([this] { decodeAll(); });
    }

    // Decodes everything now; the length is what the codec gave.
    bool decodeNow() {
        length_ = INT64_MAX;
        decodeAll();
        length_ = decoded_.load();
        return !failed_.load();
    }

    // Waits for the first decoded audio; false when the file has none that decodes.
    bool firstAudioDecodes() { return waitFor(1) > 0; }

    PcmFormat format() const override { return {rate_, channels_}; }
    std::int64_t lengthFrames() const override { return length_; }

    bool seek(std::int64_t frame) override {
        position_ = std::clamp<std::int64_t>(frame, 0, length_);
        return true;
    }

    std::int64_t read(std::int16_t* out, std::int64_t frames) override {
        frames = std::min(frames, length_ - position_);
        if (frames <= 0) return 0;
        std::int64_t available = waitFor(position_ + 1);
        if (available <= position_) {
            // Decoding stopped before the stated length: what is missing plays as silence.
            if (failed_.load() && position_ == 0) return -1;
            std::fill_n(out, frames * channels_, std::int16_t{0});
            position_ += frames;
            return frames;
        }
        const std::int64_t count = std::min(frames, available - position_);
        for (std::int64_t done = 0; done < count;) {
            const std::int64_t at = position_ + done;
            const std::int64_t inBlock = std::min(count - done, blockFrames_ - at % blockFrames_);
            const std::int16_t* block =
                samplesOf(blocks_[static_cast<std::size_t>(at / blockFrames_)]);
            std::memcpy(out + done * channels_, block + at % blockFrames_ * channels_,
                        static_cast<std::size_t>(inBlock * channels_) * sizeof(std::int16_t));
            done += inBlock;
        }
        position_ += count;
        return count;
    }

  private:
    // Waits until frame `frame - 1` is decoded or decoding has finished; returns the number of
    // frames decoded by then.
    std::int64_t waitFor(std::int64_t frame) {
        std::int64_t available = decoded_.load(std::memory_order_acquire);
        if (available >= frame || done_.load(std::memory_order_acquire)) return available;
        std::unique_lock lock(mutex_);
        progress_.wait(lock, [&] {
            return decoded_.load(std::memory_order_acquire) >= frame ||
                   done_.load(std::memory_order_acquire);
        });
        return decoded_.load(std::memory_order_acquire);
    }

    void publish(std::int64_t frames, bool finished) {
        {
            std::lock_guard lock(mutex_);
            decoded_.store(frames, std::memory_order_release);
            if (finished) done_.store(true, std::memory_order_release);
        }
        progress_.notify_all();
    }

    // Appends converted samples to the blocks, up to the length. False when memory runs out.
    bool store(const std::vector<std::int16_t>& samples, std::int64_t& written) {
        const std::int64_t frames = static_cast<std::int64_t>(samples.size()) / channels_;
        for (std::int64_t done = 0; done < frames && written < length_;) {
            const auto blockIndex = static_cast<std::size_t>(written / blockFrames_);
            if (blockIndex >= blocks_.size()) blocks_.resize(blockIndex + 1);  // decodeNow only
            auto& block = blocks_[blockIndex];
            if (!block.valid()) block = HugeBuffer(kBlockBytes);
            if (!block.valid()) return false;
            const std::int64_t count =
                std::min({frames - done, blockFrames_ - written % blockFrames_, length_ - written});
            std::memcpy(samplesOf(block) + written % blockFrames_ * channels_,
                        samples.data() + done * channels_,
                        static_cast<std::size_t>(count * channels_) * sizeof(std::int16_t));
            done += count;
            written += count;
        }
        return true;
    }

    void decodeAll() {
        PacketPtr packet(av_packet_alloc());
        FramePtr frame(av_frame_alloc());
        std::vector<std::int16_t> samples;
        std::int64_t written = 0;
        std::int64_t published = 0;
        bool draining = false;
        if (!packet || !frame) failed_ = true;
        while (!stop_ && !failed_ && written < length_) {
            const int received = avcodec_receive_frame(codec_.get(), frame.get());
            if (received >= 0) {
                samples.clear();
                if (!converter_.append(*frame, samples)) failed_ = true;
                av_frame_unref(frame.get());
                if (!store(samples, written)) failed_ = true;
                // Publish often at first so playback can start, then in larger steps.
                if (written - published >= std::min<std::int64_t>(65536, 4096 + published)) {
                    publish(written, false);
                    published = written;
                }
                continue;
            }
            if (received == AVERROR_EOF || (received == AVERROR(EAGAIN) && draining)) break;
            if (received != AVERROR(EAGAIN)) {
                // A damaged frame: skip it and go on with the next packet.
                avcodec_flush_buffers(codec_.get());
            }
            if (av_read_frame(format_.get(), packet.get()) < 0) {
                avcodec_send_packet(codec_.get(), nullptr);
                draining = true;
                continue;
            }
            if (packet->stream_index == stream_) avcodec_send_packet(codec_.get(), packet.get());
            av_packet_unref(packet.get());
        }
        if (written == 0 && !stop_) failed_ = true;
        // The demuxer and codec are no longer needed; free them with the thread's work.
        codec_.reset();
        format_.reset();
        publish(written, true);
    }

    FormatPtr format_;
    int stream_;
    CodecPtr codec_;
    PcmConverter converter_;
    const int channels_;
    const std::int64_t blockFrames_;
    const int rate_;
    std::int64_t length_ = 0;
    std::vector<HugeBuffer> blocks_;
    std::atomic<std::int64_t> decoded_{0};
    std::atomic<bool> done_{false};
    std::atomic<bool> failed_{false};
    std::atomic<bool> stop_{false};
    std::mutex mutex_;
    std::condition_variable progress_;
    std::thread worker_;
    std::int64_t position_ = 0;  // the reader's; only its thread touches it
};

}  // namespace

AsfOpenResult openAsf(const std::string& path, std::optional<std::uint64_t> duration100ns) {
    quietFfmpegLogs();
    const AVInputFormat* asf = av_find_input_format("asf");
    AVFormatContext* raw = nullptr;
    // The header was checked already; naming the demuxer skips the probe.
    if (!asf || avformat_open_input(&raw, path.c_str(), asf, nullptr) < 0)
        return {nullptr, kErrorFormat};
    FormatPtr format(raw);
    const int stream = av_find_best_stream(format.get(), AVMEDIA_TYPE_AUDIO, -1, -1, nullptr, 0);
    if (stream < 0) return {nullptr, kErrorFormat};
    for (unsigned i = 0; i < format->nb_streams; ++i)
        if (static_cast<int>(i) != stream) format->streams[i]->discard = AVDISCARD_ALL;
    const AVCodecParameters* parameters = format->streams[stream]->codecpar;
    if (parameters->sample_rate <= 0 || parameters->ch_layout.nb_channels <= 0)
        return {nullptr, kErrorFormat};
    if (!plausibleFormat(parameters->sample_rate, parameters->ch_layout.nb_channels))
        return {nullptr, kErrorFrequency};
    CodecPtr codec = openDecoder(parameters);
    if (!codec || !plausibleFormat(codec->sample_rate, codec->ch_layout.nb_channels))
        return {nullptr, kErrorFrequency};
    const int channels = outputChannels(parameters->ch_layout.nb_channels);
    const auto rate = static_cast<std::uint64_t>(codec->sample_rate);
    auto decoder =
        std::make_unique<AsfDecoder>(std::move(format), stream, std::move(codec), channels);
    // A stated duration beyond a day is not believed; the decode then measures the file.
    constexpr std::uint64_t kLongest = 24ull * 3600 * 10'000'000;
    if (duration100ns && *duration100ns <= kLongest) {
        // Rounded to the nearest frame, halves to even.
        const std::uint64_t scaled = *duration100ns * rate;
        std::uint64_t length = scaled / 10'000'000;
        const std::uint64_t rest = scaled % 10'000'000;
        if (rest > 5'000'000 || (rest == 5'000'000 && (length & 1))) ++length;
        decoder->startBackground(static_cast<std::int64_t>(length));
        if (!decoder->firstAudioDecodes()) return {nullptr, kErrorFormat};
    } else if (!decoder->decodeNow()) {
        return {nullptr, kErrorFormat};
    }
    return {std::move(decoder), kErrorOk};
}

}  // namespace kelvra::audio::decode
