// Opening a song file on either side: the add-on side takes ASF content only, the main side
// everything else. Both decide by content, read their tags with plain file I/O, and keep opening
// for tags only free of FFmpeg wherever the content can be recognised cheaply.
#include <cstring>
#include <vector>

#include "audio/AudioLibrary.h"
#include "audio/Decoder.h"
#include "audio/decode/AsfDecoder.h"
#include "audio/decode/AsfHeader.h"
#include "audio/decode/ContentSniff.h"
#include "audio/decode/FileBytes.h"
#include "audio/decode/FormatDecoder.h"
#include "audio/decode/Mp3Decoder.h"
#include "audio/decode/RiffChunks.h"

namespace kelvra::audio {
namespace {

using decode::Content;
using decode::FileBytes;

// Enough of the start of a file for every signature and two MPEG frame headers.
constexpr std::size_t kHeadBytes = 4096;
// MP3 files are decoded from a mapping over their own frame index; beyond this size (an index of
// millions of frames) they are streamed by FFmpeg instead.
constexpr std::int64_t kLargestInMemory = 512ll << 20;
constexpr std::size_t kId3v1Size = 128;

OpenedFile failure(int error, std::string problem = {}) {
    return {nullptr, error, {}, std::move(problem)};
}

std::string id3v1Block(FileBytes& file) {
    if (file.size() < static_cast<std::int64_t>(kId3v1Size)) return {};
    std::string block(kId3v1Size, '\0');
    auto* bytes = reinterpret_cast<std::uint8_t*>(block.data());
    if (!file.readExact(file.size() - static_cast<std::int64_t>(kId3v1Size), bytes, kId3v1Size) ||
        std::memcmp(bytes, "TAG", 3) != 0)
        return {};
    return block;
}

}  // namespace

OpenedFile openAddonFile(const std::string& path, OpenMode mode) {
    FileBytes file(path);
    if (!file.isOpen()) return failure(kErrorFileOpen);
    auto header = decode::readAsfHeader(file);
    if (!header) return failure(kErrorFormat);
    OpenedFile opened{nullptr, kErrorOk, std::move(header->attributes), {}};
    if (mode == OpenMode::TagsOnly) return opened;
    auto decoded = decode::openAsf(path, header->duration100ns);
    if (!decoded.decoder) return failure(decoded.error);
    opened.decoder = std::move(decoded.decoder);
    return opened;
}

OpenedFile openMainFile(const std::string& path, OpenMode mode) {
    FileBytes file(path);
    if (!file.isOpen()) return failure(kErrorFileOpen);
    const auto head = file.read(0, kHeadBytes);
    const Content content = decode::sniffContent(head, file.size());
    if (content == Content::Asf || content == Content::NotAudio) return failure(kErrorFormat);
    OpenedFile opened{nullptr, kErrorOk, id3v1Block(file), {}};

    // Without a signature, a quick probe of the first bytes decides for tags only; playback
    // leaves the last word to libavformat's full probe. MPEG audio behind junk still takes the
    // exact path.
    const std::string_view probed =
        content == Content::Unknown ? decode::probeContainer(head) : std::string_view();
    if (mode == OpenMode::TagsOnly) {
        if (content == Content::Unknown && probed.empty()) return failure(kErrorFormat);
        return opened;
    }

    // The demuxer trusts chunk sizes; they are checked against the file first.
    if (decode::isRiffWave(head)) {
        const decode::FileMapping mapped = file.map();
        if (!mapped.valid()) return failure(kErrorFileOpen);
        const decode::RiffCheck chunks = decode::checkRiffChunks(mapped.bytes());
        mapped.release(0, mapped.size());
        if (!chunks.ok) {
            std::string problem = "Its chunks are damaged: " + chunks.problem + ".";
            return failure(kErrorFormat, std::move(problem));
        }
    }

    if ((content == Content::Mpeg || probed == "mp3") && file.size() <= kLargestInMemory) {
        decode::FileMapping bytes = file.map();
        if (!bytes.valid()) return failure(kErrorFileOpen);
        if (auto decoder = decode::openMp3(std::move(bytes))) {
            opened.decoder = std::move(decoder);
            return opened;
        }
    }
    auto decoded = decode::openWithFormat(path);
    if (!decoded.decoder) return failure(decoded.error, std::move(decoded.problem));
    opened.decoder = std::move(decoded.decoder);
    return opened;
}

}  // namespace kelvra::audio
