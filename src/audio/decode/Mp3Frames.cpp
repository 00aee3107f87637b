#include "audio/decode/Mp3Frames.h"

#include <algorithm>
#include <cstring>

namespace kelvra::audio::decode {
namespace {

// kbit/s by [MPEG-1 ? 0 : 1][layer - 1][index].
constexpr int kBitrates[2][3][16] = {
    {{0, 32, 64, 96, 128, 160, 192, 224, 256, 288, 320, 352, 384, 416, 448, 0},
     {0, 32, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320, 384, 0},
     {0, 32, 40, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320, 0}},
    {{0, 32, 48, 56, 64, 80, 96, 112, 128, 144, 160, 176, 192, 224, 256, 0},
     {0, 8, 16, 24, 32, 40, 48, 56, 64, 80, 96, 112, 128, 144, 160, 0},
     {0, 8, 16, 24, 32, 40, 48, 56, 64, 80, 96, 112, 128, 144, 160, 0}}};
constexpr int kRates[3] = {44100, 48000, 32000};

// The decoder's own delay: the synthesis filterbank and the hybrid filter's overlap.
constexpr std::int64_t kDecoderDelay = 528 + 1;

bool sameStream(const MpegFrameHeader& a, const MpegFrameHeader& b) {
    return a.version == b.version && a.layer == b.layer && a.rate == b.rate;
}

std::uint32_t be32(const std::uint8_t* p) {
    return std::uint32_t(p[0]) << 24 | p[1] << 16 | p[2] << 8 | p[3];
}

struct Gapless {
    std::int64_t frames = -1;  // the Xing frame count, or -1 when not given
    int delay = 0;
    int padding = 0;
    bool known = false;
};

// Reads the Xing/Info frame (`frame` spans it). None when the frame carries audio instead.
std::optional<Gapless> readInfoFrame(std::span<const std::uint8_t> frame,
                                     const MpegFrameHeader& header) {
    const bool mono = header.channels == 1;
    const std::size_t at = 4 + (header.version == 1 ? (mono ? 17 : 32) : (mono ? 9 : 17));
    const bool vbri = frame.size() >= 4 + 32 + 4 && std::memcmp(&frame[4 + 32], "VBRI", 4) == 0;
    if (vbri) return Gapless{};
    if (frame.size() < at + 8 ||
        (std::memcmp(&frame[at], "Xing", 4) != 0 && std::memcmp(&frame[at], "Info", 4) != 0))
        return std::nullopt;
    Gapless gapless;
    const std::uint32_t flags = be32(&frame[at + 4]);
    std::size_t p = at + 8;
    if (flags & 1) {
        if (frame.size() < p + 4) return gapless;
        gapless.frames = be32(&frame[p]);
        p += 4;
    }
    if (flags & 2) p += 4;
    if (flags & 4) p += 100;
    if (flags & 8) p += 4;
    // The encoder extension: a 9-byte version text, then 12 bytes of levels and flags, then the
    // delay and padding as two 12-bit numbers.
    if (frame.size() < p + 24) return gapless;
    const auto* ext = &frame[p];
    const bool encoderKnown = std::memcmp(ext, "LAME", 4) == 0 ||
                              std::memcmp(ext, "Lavf", 4) == 0 || std::memcmp(ext, "Lavc", 4) == 0;
    if (encoderKnown) {
        const std::uint32_t v = ext[21] << 16 | ext[22] << 8 | ext[23];
        gapless.delay = static_cast<int>(v >> 12);
        gapless.padding = static_cast<int>(v & 0xFFF);
        gapless.known = true;
    }
    return gapless;
}

// Length of the tags at the end of the file: an ID3v1 block, an APEv2 tag before it.
std::size_t trailingTagsSize(std::span<const std::uint8_t> file) {
    std::size_t end = file.size();
    if (end >= 128 && std::memcmp(&file[end - 128], "TAG", 3) == 0) end -= 128;
    if (end >= 32 && std::memcmp(&file[end - 32], "APETAGEX", 8) == 0) {
        const auto* f = &file[end - 32];
        const std::uint32_t size = f[12] | f[13] << 8 | f[14] << 16 | std::uint32_t(f[15]) << 24;
        const bool hasHeader = f[23] & 0x80;
        const std::uint64_t total = std::uint64_t(size) + (hasHeader ? 32 : 0);
        if (total <= end) end -= static_cast<std::size_t>(total);
    }
    return file.size() - end;
}

}  // namespace

std::optional<MpegFrameHeader> parseMpegHeader(std::span<const std::uint8_t> bytes) {
    if (bytes.size() < 4) return std::nullopt;
    const std::uint32_t h = be32(bytes.data());
    if ((h & 0xFFE00000u) != 0xFFE00000u) return std::nullopt;
    const int versionBits = h >> 19 & 3;
    const int layerBits = h >> 17 & 3;
    const int bitrateIndex = h >> 12 & 15;
    const int rateIndex = h >> 10 & 3;
    if (versionBits == 1 || layerBits == 0 || bitrateIndex == 0 || bitrateIndex == 15 ||
        rateIndex == 3)
        return std::nullopt;
    MpegFrameHeader f;
    f.version = versionBits == 3 ? 1 : versionBits == 2 ? 2 : 25;
    f.layer = 4 - layerBits;
    f.rate = kRates[rateIndex] >> (f.version == 1 ? 0 : f.version == 2 ? 1 : 2);
    f.channels = (h >> 6 & 3) == 3 ? 1 : 2;
    const int padding = h >> 9 & 1;
    const int bitrate = kBitrates[f.version == 1 ? 0 : 1][f.layer - 1][bitrateIndex] * 1000;
    if (f.layer == 1) {
        f.samples = 384;
        f.size = (12 * bitrate / f.rate + padding) * 4;
    } else {
        f.samples = f.layer == 3 && f.version != 1 ? 576 : 1152;
        f.size = f.samples / 8 * bitrate / f.rate + padding;
    }
    return f;
}

std::size_t id3v2Size(std::span<const std::uint8_t> bytes) {
    if (bytes.size() < 10 || std::memcmp(bytes.data(), "ID3", 3) != 0 || bytes[3] == 0xFF ||
        bytes[4] == 0xFF || ((bytes[6] | bytes[7] | bytes[8] | bytes[9]) & 0x80))
        return 0;
    const std::size_t body =
        std::size_t(bytes[6]) << 21 | bytes[7] << 14 | bytes[8] << 7 | bytes[9];
    const bool footer = bytes[5] & 0x10;
    return 10 + body + (footer ? 10 : 0);
}

std::optional<std::size_t> findFrameSync(std::span<const std::uint8_t> bytes, std::size_t from,
                                         std::size_t limit) {
    const std::size_t end = std::min(bytes.size(), from + std::min(limit, bytes.size()));
    for (std::size_t at = from; at + 4 <= end; ++at) {
        if (bytes[at] != 0xFF) continue;
        const auto first = parseMpegHeader(bytes.subspan(at));
        if (!first) continue;
        const std::size_t next = at + static_cast<std::size_t>(first->size);
        if (next == bytes.size()) return at;
        if (next > bytes.size()) continue;
        const auto second = parseMpegHeader(bytes.subspan(next));
        if (second && sameStream(*first, *second)) return at;
    }
    return std::nullopt;
}

std::optional<Mp3Index> indexMp3(std::span<const std::uint8_t> file,
                                 const std::function<void(std::size_t)>& scanned) {
    constexpr std::size_t kReportEvery = 1u << 20;
    // Junk between the tag and the first frame is tolerated up to this much.
    constexpr std::size_t kSyncSearch = 64 * 1024;
    std::size_t start = 0;
    while (const std::size_t tag = id3v2Size(file.subspan(start))) {
        if (tag > file.size() - start) return std::nullopt;
        start += tag;
    }
    const auto sync = findFrameSync(file, start, kSyncSearch);
    if (!sync) return std::nullopt;
    const auto first = *parseMpegHeader(file.subspan(*sync));

    // A "tag" at the end that would reach back into the first frame is frame data that happens
    // to look like one: a short file then has no room left for audio.
    std::size_t dataEnd = file.size() - trailingTagsSize(file);
    if (dataEnd < *sync + static_cast<std::size_t>(first.size)) dataEnd = file.size();
    std::size_t at = *sync;
    Mp3Index index;
    index.rate = first.rate;
    index.channels = first.channels;
    index.samplesPerFrame = first.samples;
    index.layer = first.layer;
    Gapless gapless;
    // Only Layer III files carry the Xing/Info frame.
    if (first.layer == 3 && at + first.size <= dataEnd) {
        if (auto info = readInfoFrame(file.subspan(at, first.size), first)) {
            gapless = *info;
            at += first.size;
        }
    }
    index.offsets.reserve((dataEnd - at) / 100 + 2);
    std::size_t reported = 0;
    while (at + 4 <= dataEnd) {
        if (scanned && at >= reported + kReportEvery) {
            reported = at;
            scanned(at);
        }
        const auto frame = parseMpegHeader(file.subspan(at, dataEnd - at));
        if (frame && sameStream(*frame, first) && at + frame->size <= dataEnd) {
            index.offsets.push_back(static_cast<std::int64_t>(at));
            at += frame->size;
            continue;
        }
        // Lost sync (damage or junk): go on at the next confirmed frame; one of another stream
        // is passed over by the check above and the search goes on after it.
        const auto next = findFrameSync(file.subspan(0, dataEnd), at + 1, dataEnd);
        if (!next) break;
        at = *next;
    }
    if (index.offsets.empty()) return std::nullopt;

    const std::int64_t raw = index.frameCount() * index.samplesPerFrame;
    if (gapless.known) {
        index.skipFrames = gapless.delay + kDecoderDelay;
        // The padding is only trusted when the file still holds every frame the encoder wrote.
        // Encoders differ on whether their count includes the Info frame itself.
        const std::int64_t missing = gapless.frames - index.frameCount();
        const std::int64_t trimEnd =
            missing == 0 || missing == 1
                ? std::max<std::int64_t>(0, gapless.padding - kDecoderDelay)
                : 0;
        index.lengthFrames = std::max<std::int64_t>(0, raw - index.skipFrames - trimEnd);
    } else {
        index.lengthFrames = raw;
    }
    return index;
}

}  // namespace kelvra::audio::decode
