#include "audio/decode/Ffmpeg.h"

#include <mutex>

extern "C" {
#include <libavutil/log.h>
#include <libavutil/opt.h>
}

namespace kelvra::audio::decode {

void quietFfmpegLogs() {
    static std::once_flag once;
    std::call_once(once, [] { av_log_set_level(AV_LOG_FATAL); });
}

CodecPtr openDecoder(const AVCodecParameters* parameters) {
    const AVCodec* codec = avcodec_find_decoder(parameters->codec_id);
    if (!codec) return nullptr;
    CodecPtr context(avcodec_alloc_context3(codec));
    if (!context || avcodec_parameters_to_context(context.get(), parameters) < 0) return nullptr;
    // One thread per decoder: the engine decodes several streams side by side already, and
    // frame threading would add latency to the first audio.
    context->thread_count = 1;
    if (avcodec_open2(context.get(), codec, nullptr) < 0) return nullptr;
    return context;
}

bool PcmConverter::append(const AVFrame& frame, std::vector<std::int16_t>& out) {
    if (frame.nb_samples <= 0) return true;
    const bool sameInput = swr_ && frame.format == inFormat_ && frame.sample_rate == inRate_ &&
                           av_channel_layout_compare(&frame.ch_layout, &inLayout_) == 0;
    if (!sameInput) {
        AVChannelLayout inLayout{};
        if (frame.ch_layout.order == AV_CHANNEL_ORDER_UNSPEC)
            av_channel_layout_default(&inLayout, frame.ch_layout.nb_channels);
        else if (av_channel_layout_copy(&inLayout, &frame.ch_layout) < 0)
            return false;
        AVChannelLayout outLayout{};
        av_channel_layout_default(&outLayout, channels_);
        SwrContext* swr = nullptr;
        // Same rate in and out: the converter only changes the sample type and folds channels,
        // so it keeps no history and its output does not depend on where decoding started.
        const int failed = swr_alloc_set_opts2(
            &swr, &outLayout, AV_SAMPLE_FMT_S16, frame.sample_rate, &inLayout,
            static_cast<AVSampleFormat>(frame.format), frame.sample_rate, 0, nullptr);
        av_channel_layout_uninit(&inLayout);
        av_channel_layout_uninit(&outLayout);
        swr_.reset(swr);
        if (failed < 0 || swr_init(swr) < 0) {
            swr_.reset();
            return false;
        }
        inFormat_ = frame.format;
        inRate_ = frame.sample_rate;
        av_channel_layout_uninit(&inLayout_);
        av_channel_layout_copy(&inLayout_, &frame.ch_layout);
    }
    const std::size_t at = out.size();
    out.resize(at + static_cast<std::size_t>(frame.nb_samples) * channels_);
    auto* target = reinterpret_cast<std::uint8_t*>(out.data() + at);
    const int converted =
        swr_convert(swr_.get(), &target, frame.nb_samples,
                    const_cast<const std::uint8_t**>(frame.extended_data), frame.nb_samples);
    if (converted < 0) {
        out.resize(at);
        return false;
    }
    out.resize(at + static_cast<std::size_t>(converted) * channels_);
    return true;
}

}  // namespace kelvra::audio::decode
