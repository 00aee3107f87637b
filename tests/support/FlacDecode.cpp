#include "support/FlacDecode.h"

#include <FLAC/stream_decoder.h>

#include <algorithm>

namespace kelvra::test {
namespace {

FLAC__StreamDecoderWriteStatus takeFrame(const FLAC__StreamDecoder*, const FLAC__Frame* frame,
                                         const FLAC__int32* const buffer[], void* client) {
    auto& data = *static_cast<FlacData*>(client);
    const unsigned channels = frame->header.channels;
    for (unsigned i = 0; i < frame->header.blocksize; ++i)
        for (unsigned c = 0; c < channels; ++c)
            data.samples.push_back(std::int16_t(buffer[c][i]));
    return FLAC__STREAM_DECODER_WRITE_STATUS_CONTINUE;
}

void takeMetadata(const FLAC__StreamDecoder*, const FLAC__StreamMetadata* metadata, void* client) {
    if (metadata->type != FLAC__METADATA_TYPE_STREAMINFO) return;
    auto& data = *static_cast<FlacData*>(client);
    const FLAC__StreamMetadata_StreamInfo& info = metadata->data.stream_info;
    data.rate = int(info.sample_rate);
    data.channels = int(info.channels);
    data.bitsPerSample = int(info.bits_per_sample);
    data.totalFrames = info.total_samples;
    data.md5Known = std::any_of(std::begin(info.md5sum), std::end(info.md5sum),
                                [](FLAC__byte b) { return b != 0; });
}

void takeError(const FLAC__StreamDecoder*, FLAC__StreamDecoderErrorStatus status, void* client) {
    auto& data = *static_cast<FlacData*>(client);
    if (data.error.empty()) data.error = FLAC__StreamDecoderErrorStatusString[status];
}

}  // namespace

FlacData decodeFlac(const std::string& path) {
    FlacData data;
    FLAC__StreamDecoder* decoder = FLAC__stream_decoder_new();
    FLAC__stream_decoder_set_md5_checking(decoder, true);
    if (FLAC__stream_decoder_init_file(decoder, path.c_str(), takeFrame, takeMetadata, takeError,
                                       &data) != FLAC__STREAM_DECODER_INIT_STATUS_OK) {
        data.error = "cannot open " + path;
        FLAC__stream_decoder_delete(decoder);
        return data;
    }
    const bool decoded =
        FLAC__stream_decoder_process_until_end_of_stream(decoder) &&
        FLAC__stream_decoder_get_state(decoder) == FLAC__STREAM_DECODER_END_OF_STREAM;
    // The decoder compares the signature at the end; a header without one is not compared.
    data.md5Matched = FLAC__stream_decoder_finish(decoder) && data.md5Known;
    FLAC__stream_decoder_delete(decoder);
    data.ok = decoded && data.error.empty();
    return data;
}

}  // namespace kelvra::test
