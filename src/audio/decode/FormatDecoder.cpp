#include "audio/decode/FormatDecoder.h"

#include <algorithm>
#include <cstring>
#include <vector>

#include "audio/AudioLibrary.h"
#include "audio/decode/DecodedFrame.h"
#include "audio/decode/Ffmpeg.h"

namespace kelvra::audio::decode {
namespace {

// Codecs with overlapping transforms need some frames decoded before their output is right;
// seeks start this far before the target and throw the preroll away.
constexpr std::int64_t kPrerollFrames = 8192;
constexpr int kMaxErrorsInARow = 1000;
// Compressed audio below 8 frames per byte of file: 44.1 kHz stereo at 44 kbit/s. A stated
// length above that is not believed without counting the packets; counting reads the file once
// (no decoding), and only such files pay for it.
constexpr std::int64_t kMostTrustedFramesPerByte = 8;

class FormatDecoder final : public Decoder {
  public:
    FormatDecoder(FormatPtr format, int stream, CodecPtr codec, int channels)
        : format_(std::move(format)),
          stream_(format_->streams[stream]),
          codec_(std::move(codec)),
          converter_(channels),
          decoded_(channels),
          packet_(av_packet_alloc()),
          frame_(av_frame_alloc()) {
        rate_ = codec_->sample_rate;
        const AVRational perSample{1, rate_};
        if (stream_->start_time != AV_NOPTS_VALUE)
            startOffset_ = av_rescale_q(stream_->start_time, stream_->time_base, perSample);
    }

    // Sets the length: from the container, or by reading every packet once (no decoding).
    // A duration guessed from the bitrate (raw AAC and the like) is not taken, nor one the
    // file is too small to hold: a header is outside input, and silence padded up to a lying
    // length of 2^62 frames never ends.
    bool measure(bool durationGuessed) {
        if (!packet_ || !frame_) return false;
        const AVRational perSample{1, rate_};
        if (!durationGuessed && stream_->duration != AV_NOPTS_VALUE && stream_->duration > 0) {
            length_ = av_rescale_q(stream_->duration, stream_->time_base, perSample);
            const std::int64_t most = mostFramesHeld();
            if (length_ > 0 && (most < 0 || length_ <= most)) return true;
        }
        std::int64_t total = 0;
        while (av_read_frame(format_.get(), packet_.get()) >= 0) {
            if (packet_->stream_index == stream_->index && packet_->duration > 0)
                total += packet_->duration;
            av_packet_unref(packet_.get());
        }
        length_ = av_rescale_q(total, stream_->time_base, perSample);
        return rewind();
    }

    PcmFormat format() const override { return {rate_, converter_.channels()}; }
    std::int64_t lengthFrames() const override { return length_; }

    bool seek(std::int64_t frame) override {
        frame = std::clamp<std::int64_t>(frame, 0, length_);
        position_ = frame;
        if (frame >= decoded_.start() && frame <= decoded_.end()) return true;
        if (frame <= kPrerollFrames) return rewind();
        const std::int64_t at = frame - kPrerollFrames + startOffset_;
        const AVRational perSample{1, rate_};
        const std::int64_t timestamp = av_rescale_q(at, perSample, stream_->time_base);
        if (av_seek_frame(format_.get(), stream_->index, timestamp, AVSEEK_FLAG_BACKWARD) < 0)
            return rewind();
        resetDecoding();
        // The first frame after a seek says where decoding landed; without a time stamp, or past
        // the target, only a decode from the start is exact.
        if (!decodeNext() || timestampUnknown_ || decoded_.start() > frame) return rewind();
        return true;
    }

    std::int64_t read(std::int16_t* out, std::int64_t frames) override {
        const int channels = converter_.channels();
        std::int64_t written = 0;
        while (written < frames && position_ < length_) {
            if (!decoded_.holds(position_)) {
                if (ended_) {
                    // The container promised more than the codec gave: silence keeps the
                    // stream as long as its stated length.
                    const std::int64_t count = std::min(frames - written, length_ - position_);
                    std::fill_n(out + written * channels, count * channels, std::int16_t{0});
                    written += count;
                    position_ += count;
                    break;
                }
                if (!decodeNext() && failed_) break;
                continue;
            }
            const std::int64_t count =
                decoded_.copy(position_, out + written * channels,
                              std::min(frames - written, length_ - position_));
            written += count;
            position_ += count;
        }
        if (failed_ && written == 0) return -1;
        return written;
    }

  private:
    // The most frames the file's size leaves room for; -1 when the size is unknown. Codecs of a
    // fixed sample size (PCM and the like) hold exactly so many; the rest are given a ratio no
    // song at a sensible bitrate reaches.
    std::int64_t mostFramesHeld() const {
        const std::int64_t bytes = format_->pb ? avio_size(format_->pb) : -1;
        if (bytes <= 0) return -1;
        const int bits = av_get_bits_per_sample(stream_->codecpar->codec_id);
        const int channels = std::max(1, stream_->codecpar->ch_layout.nb_channels);
        if (bits > 0) return bytes * 8 / (std::int64_t(bits) * channels);
        return bytes * kMostTrustedFramesPerByte;
    }

    void resetDecoding() {
        avcodec_flush_buffers(codec_.get());
        decoded_.restart(decoded_.start());
        ended_ = false;
        draining_ = false;
        failed_ = false;
        timestampUnknown_ = false;
        firstAfterReset_ = true;
    }

    bool rewind() {
        const int sought = av_seek_frame(
            format_.get(), stream_->index,
            stream_->start_time != AV_NOPTS_VALUE ? stream_->start_time : 0, AVSEEK_FLAG_BACKWARD);
        if (sought < 0 && avformat_seek_file(format_.get(), -1, INT64_MIN, 0, INT64_MAX, 0) < 0)
            return false;
        resetDecoding();
        firstAfterReset_ = false;
        decoded_.restart(0);
        return true;
    }

    // Decodes the next frame into decoded_, which then starts where the last one ended (or, for
    // the first frame after a seek, at the frame's time stamp). False at the end.
    bool decodeNext() {
        for (;;) {
            const int received = avcodec_receive_frame(codec_.get(), frame_.get());
            if (received >= 0) {
                std::int64_t start = decoded_.end();
                if (firstAfterReset_) {
                    const std::int64_t pts = frame_->best_effort_timestamp;
                    timestampUnknown_ = pts == AV_NOPTS_VALUE;
                    if (!timestampUnknown_)
                        start = av_rescale_q(pts, stream_->time_base, AVRational{1, rate_}) -
                                startOffset_;
                    firstAfterReset_ = false;
                }
                decoded_.restart(start);
                const bool converted = converter_.append(*frame_, decoded_.samples());
                av_frame_unref(frame_.get());
                if (!converted) {
                    failed_ = true;
                    return false;
                }
                return true;
            }
            if (received == AVERROR_EOF) {
                ended_ = true;
                decoded_.restart(decoded_.end());
                return false;
            }
            if (received != AVERROR(EAGAIN)) {
                // A damaged frame is skipped; only a decoder that keeps failing ends the stream.
                if (++errorsInARow_ > kMaxErrorsInARow) {
                    failed_ = true;
                    return false;
                }
            } else {
                errorsInARow_ = 0;
            }
            if (draining_) {
                ended_ = true;
                return false;
            }
            const int readResult = av_read_frame(format_.get(), packet_.get());
            if (readResult < 0) {
                avcodec_send_packet(codec_.get(), nullptr);
                draining_ = true;
                continue;
            }
            if (packet_->stream_index == stream_->index)
                avcodec_send_packet(codec_.get(), packet_.get());  // damaged packets are skipped
            av_packet_unref(packet_.get());
        }
    }

    FormatPtr format_;
    AVStream* stream_;
    CodecPtr codec_;
    PcmConverter converter_;
    DecodedFrame decoded_;  // the last decoded frame
    PacketPtr packet_;
    FramePtr frame_;
    int rate_ = 0;
    std::int64_t startOffset_ = 0;  // the stream's start time in samples
    std::int64_t length_ = 0;
    std::int64_t position_ = 0;
    bool firstAfterReset_ = false;
    bool timestampUnknown_ = false;
    bool draining_ = false;
    bool ended_ = false;
    bool failed_ = false;
    int errorsInARow_ = 0;
};

int openErrorCode(int averror) {
    if (averror == AVERROR(ENOENT) || averror == AVERROR(EACCES) || averror == AVERROR(EISDIR) ||
        averror == AVERROR(EPERM))
        return kErrorFileOpen;
    if (averror == AVERROR(ENOMEM)) return kErrorMemory;
    return kErrorFormat;
}

}  // namespace

FormatOpenResult openWithFormat(const std::string& path) {
    quietFfmpegLogs();
    AVFormatContext* raw = nullptr;
    if (const int opened = avformat_open_input(&raw, path.c_str(), nullptr, nullptr); opened < 0)
        return {nullptr, openErrorCode(opened), {}};
    FormatPtr format(raw);
    if (std::strcmp(format->iformat->name, "asf") == 0) return {nullptr, kErrorFormat, {}};
    // Most containers state the codec, rate and channels in their header; the stream-info pass
    // (which reads and decodes ahead, 10 ms for a WAV file) only runs when they do not.
    int stream = -1;
    CodecPtr codec;
    for (bool probed = false;; probed = true) {
        stream = av_find_best_stream(format.get(), AVMEDIA_TYPE_AUDIO, -1, -1, nullptr, 0);
        if (stream >= 0) {
            const AVCodecParameters* parameters = format->streams[stream]->codecpar;
            if (parameters->sample_rate > 0 && parameters->ch_layout.nb_channels > 0) {
                // Checked before any decoder or buffer is sized from the header.
                if (!plausibleFormat(parameters->sample_rate, parameters->ch_layout.nb_channels))
                    return {
                        nullptr, kErrorFrequency,
                        formatProblem(parameters->sample_rate, parameters->ch_layout.nb_channels)};
                codec = openDecoder(parameters);
            }
        }
        if (codec || probed) break;
        if (avformat_find_stream_info(format.get(), nullptr) < 0)
            return {nullptr, kErrorFormat, {}};
    }
    if (!codec) return {nullptr, kErrorFormat, {}};
    if (!plausibleFormat(codec->sample_rate, codec->ch_layout.nb_channels))
        return {nullptr, kErrorFrequency,
                formatProblem(codec->sample_rate, codec->ch_layout.nb_channels)};
    // A stream may still ask for its first packets to be probed (a WAV file could hold DTS); a
    // small probe keeps that from reading megabytes before the first audio.
    format->probesize = 32 * 1024;
    for (unsigned i = 0; i < format->nb_streams; ++i)
        if (static_cast<int>(i) != stream) format->streams[i]->discard = AVDISCARD_ALL;
    const AVCodecParameters* parameters = format->streams[stream]->codecpar;
    const int channels = outputChannels(parameters->ch_layout.nb_channels);
    const bool guessed = format->duration_estimation_method == AVFMT_DURATION_FROM_BITRATE;
    auto decoder =
        std::make_unique<FormatDecoder>(std::move(format), stream, std::move(codec), channels);
    if (!decoder->measure(guessed)) return {nullptr, kErrorFormat, {}};
    return {std::move(decoder), kErrorOk, {}};
}

}  // namespace kelvra::audio::decode
