// Owning handles for FFmpeg objects, and the conversion of decoded frames into interleaved
// 16-bit PCM with one or two channels. A converter is used by one thread at a time.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libswresample/swresample.h>
}

namespace kelvra::audio::decode {

struct FormatCloser {
    void operator()(AVFormatContext* c) const { avformat_close_input(&c); }
};
struct CodecFreer {
    void operator()(AVCodecContext* c) const { avcodec_free_context(&c); }
};
struct FrameFreer {
    void operator()(AVFrame* f) const { av_frame_free(&f); }
};
struct PacketFreer {
    void operator()(AVPacket* p) const { av_packet_free(&p); }
};
struct SwrFreer {
    void operator()(SwrContext* s) const { swr_free(&s); }
};
using FormatPtr = std::unique_ptr<AVFormatContext, FormatCloser>;
using CodecPtr = std::unique_ptr<AVCodecContext, CodecFreer>;
using FramePtr = std::unique_ptr<AVFrame, FrameFreer>;
using PacketPtr = std::unique_ptr<AVPacket, PacketFreer>;
using SwrPtr = std::unique_ptr<SwrContext, SwrFreer>;

// Damaged files make FFmpeg talk a lot; the program has no console to show it on.
void quietFfmpegLogs();

// Opens a decoder for `parameters`; null when FFmpeg has none or it fails to open.
CodecPtr openDecoder(const AVCodecParameters* parameters);

// The output channel count for a source with `channels`: mono stays mono, more fold to stereo.
inline int outputChannels(int channels) {
    return channels == 1 ? 1 : 2;
}

class PcmConverter {
  public:
    explicit PcmConverter(int channels) : channels_(channels) {}
    ~PcmConverter() { av_channel_layout_uninit(&inLayout_); }
    PcmConverter(const PcmConverter&) = delete;
    PcmConverter& operator=(const PcmConverter&) = delete;
    // Appends the frame's samples to `out` as interleaved 16-bit PCM. False on failure.
    bool append(const AVFrame& frame, std::vector<std::int16_t>& out);
    int channels() const { return channels_; }

  private:
    int channels_;
    SwrPtr swr_;
    int inFormat_ = -1;
    int inRate_ = 0;
    AVChannelLayout inLayout_{};
};

}  // namespace kelvra::audio::decode
