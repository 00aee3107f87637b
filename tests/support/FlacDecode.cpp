#include "support/FlacDecode.h"

#include <FLAC/stream_decoder.h>

#include <algorithm>

namespace kelvra::test {
namespace {

struct Reading {
    FlacData data;
    bool md5Known = false;
};

FLAC__StreamDecoderWriteStatus takeFrame(const FLAC__StreamDecoder*, const FLAC__Frame* frame,
                                         const FLAC__int32* const buffer[], void* client) {
    auto& samples = static_cast<Reading*>(client)->data.samples;
    for (unsigned i = 0; i < frame->header.blocksize; ++i)
        for (unsigned c = 0; c < frame->header.channels; ++c)
            samples.push_back(std::int16_t(buffer[c][i]));
    return FLAC__STREAM_DECODER_WRITE_STATUS_CONTINUE;
}

void takeInfo(const FLAC__StreamDecoder*, const FLAC__StreamMetadata* metadata, void* client) {
    auto& reading = *static_cast<Reading*>(client);
    const FLAC__StreamMetadata_StreamInfo& info = metadata->data.stream_info;
    reading.data.rate = int(info.sample_rate);
    reading.data.totalFrames = info.total_samples;
    reading.md5Known = std::any_of(std::begin(info.md5sum), std::end(info.md5sum),
                                   [](FLAC__byte b) { return b != 0; });
}

void takeError(const FLAC__StreamDecoder*, FLAC__StreamDecoderErrorStatus status, void* client) {
    auto& error = static_cast<Reading*>(client)->data.error;
    if (error.empty()) error = FLAC__StreamDecoderErrorStatusString[status];
}

}  // namespace

FlacData decodeFlac(const std::string& path) {
    Reading reading;
    FLAC__StreamDecoder* decoder = FLAC__stream_decoder_new();
    FLAC__stream_decoder_set_md5_checking(decoder, true);
    bool decoded =
        FLAC__stream_decoder_init_file(decoder, path.c_str(), takeFrame, takeInfo, takeError,
                                       &reading) == FLAC__STREAM_DECODER_INIT_STATUS_OK;
    decoded = decoded && FLAC__stream_decoder_process_until_end_of_stream(decoder) &&
              FLAC__stream_decoder_get_state(decoder) == FLAC__STREAM_DECODER_END_OF_STREAM;
    // The signature is compared at the finish, and only when the header has one.
    reading.data.md5Matched = FLAC__stream_decoder_finish(decoder) && reading.md5Known;
    FLAC__stream_decoder_delete(decoder);
    reading.data.ok = decoded && reading.data.error.empty();
    if (!decoded && reading.data.error.empty()) reading.data.error = "cannot decode " + path;
    return reading.data;
}

}  // namespace kelvra::test
