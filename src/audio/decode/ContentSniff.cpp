#include "audio/decode/ContentSniff.h"

#include <cstring>
#include <string_view>
#include <vector>

#include "audio/decode/AsfHeader.h"
#include "audio/decode/Ffmpeg.h"
#include "audio/decode/Mp3Frames.h"

namespace kelvra::audio::decode {
namespace {

bool at(std::span<const std::uint8_t> bytes, std::size_t offset, std::string_view text) {
    return bytes.size() >= offset + text.size() &&
           std::memcmp(bytes.data() + offset, text.data(), text.size()) == 0;
}

// Containers recognised by a signature at the start of the file.
bool hasAudioSignature(std::span<const std::uint8_t> b) {
    return (at(b, 0, "RIFF") && (at(b, 8, "WAVE") || at(b, 8, "RMP3"))) || at(b, 0, "RF64") ||
           at(b, 0, "fLaC") || at(b, 0, "OggS") || at(b, 4, "ftyp") ||
           (at(b, 0, "FORM") && (at(b, 8, "AIFF") || at(b, 8, "AIFC"))) || at(b, 0, "caff") ||
           at(b, 0, "MAC ") || at(b, 0, "wvpk") || at(b, 0, "#!AMR") || at(b, 0, ".snd") ||
           at(b, 0, "TTA1") || at(b, 0, "MPCK") || at(b, 0, "MP+");
}

// An ADTS (AAC) frame header: sync, layer 0, a valid sampling index.
bool isAdts(std::span<const std::uint8_t> b) {
    return b.size() >= 7 && b[0] == 0xFF && (b[1] & 0xF6) == 0xF0 && ((b[2] >> 2) & 0xF) < 13;
}

}  // namespace

Content sniffContent(std::span<const std::uint8_t> head, std::int64_t fileSize) {
    if (fileSize <= 0 || head.empty()) return Content::NotAudio;
    if (startsWithAsfGuid(head)) return Content::Asf;
    if (id3v2Size(head) > 0) return Content::Mpeg;
    if (hasAudioSignature(head)) return Content::Audio;
    if (const auto frame = parseMpegHeader(head)) {
        const auto next = static_cast<std::size_t>(frame->size);
        // A lone header is 11 bits of sync and a few valid fields; random data has those now
        // and then, so the next frame must agree unless it lies beyond what was read.
        if (next >= head.size() || next == static_cast<std::size_t>(fileSize)) return Content::Mpeg;
        if (const auto second = parseMpegHeader(head.subspan(next));
            second && second->layer == frame->layer && second->rate == frame->rate)
            return Content::Mpeg;
    }
    if (isAdts(head)) return Content::Audio;
    return Content::Unknown;
}

std::string_view probeContainer(std::span<const std::uint8_t> head) {
    quietFfmpegLogs();
    std::vector<std::uint8_t> padded(head.size() + AVPROBE_PADDING_SIZE, 0);
    std::memcpy(padded.data(), head.data(), head.size());
    AVProbeData probe{};
    probe.filename = "";
    probe.buf = padded.data();
    probe.buf_size = static_cast<int>(head.size());
    int score = 0;
    const AVInputFormat* format = av_probe_input_format3(&probe, 1, &score);
    if (!format || score <= AVPROBE_SCORE_RETRY) return {};
    const std::string_view name = format->name;
    // Pictures and text are containers too, but not of songs.
    if (name == "asf" || name.find("_pipe") != std::string_view::npos || name == "image2" ||
        name == "tty" || name.find("sub") != std::string_view::npos)
        return {};
    return name;
}

}  // namespace kelvra::audio::decode
