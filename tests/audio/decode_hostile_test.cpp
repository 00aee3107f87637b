// Files whose headers lie or are impossible: stated lengths far beyond what the file holds, and
// chunk sizes beyond the file's end. Each must open to its real length or fail quickly, never
// play, pad or allocate by what the header claims.
#include <gtest/gtest.h>
#include <sys/resource.h>

#include <QTemporaryDir>
#include <chrono>
#include <cstring>
#include <fstream>

#include "audio/AudioLibrary.h"
#include "audio/DecodeFixtures.h"
#include "audio/analysis/SongAnalysis.h"
#include "audio/decode/RiffChunks.h"

namespace kelvra::audio::testing {
namespace {

constexpr int kRate = 44100;
constexpr std::int64_t kFrames = 22050;  // half a second of stereo

void putLe(std::string& out, std::uint64_t value, int bytes) {
    for (int i = 0; i < bytes; ++i)
        out.push_back(char(value >> (8 * i) & 0xFF));
}

std::string chunk(const char* id, const std::string& body, std::uint32_t statedSize) {
    std::string out(id, 4);
    putLe(out, statedSize, 4);
    out += body;
    if (body.size() % 2) out.push_back('\0');
    return out;
}

std::string chunk(const char* id, const std::string& body) {
    return chunk(id, body, std::uint32_t(body.size()));
}

std::string fmtBody() {
    std::string fmt;
    putLe(fmt, 1, 2);  // PCM
    putLe(fmt, 2, 2);
    putLe(fmt, kRate, 4);
    putLe(fmt, kRate * 4, 4);
    putLe(fmt, 4, 2);
    putLe(fmt, 16, 2);
    return fmt;
}

std::string pcmBody() {
    std::string pcm;
    for (std::int64_t i = 0; i < kFrames; ++i) {
        const auto v = std::uint16_t(std::int16_t((i % 100) * 200 - 10000));
        putLe(pcm, v, 2);
        putLe(pcm, v, 2);
    }
    return pcm;
}

// RF64: the sizes of the data chunk and of the whole file live in a ds64 chunk.
std::string rf64(std::uint64_t dataSize, std::uint64_t sampleCount) {
    std::string ds64;
    putLe(ds64, 0, 8);  // riff size, unchecked
    putLe(ds64, dataSize, 8);
    putLe(ds64, sampleCount, 8);
    putLe(ds64, 0, 4);
    std::string body = "WAVE" + chunk("ds64", ds64) + chunk("fmt ", fmtBody()) +
                       chunk("data", pcmBody(), 0xFFFFFFFFu);
    std::string out = "RF64";
    putLe(out, 0xFFFFFFFFu, 4);
    return out + body;
}

std::string riff(const std::string& chunks) {
    std::string out = "RIFF";
    putLe(out, chunks.size() + 4, 4);
    return out + "WAVE" + chunks;
}

// The decoder's length and how many frames it really gives, read in big chunks so a lying
// length shows as a huge count rather than a slow test (the read stops at ten times the truth).
struct Decoded {
    std::int64_t length = -1, frames = 0;
};

// WMA and ASF open on the add-on side, the rest on the main side.
Decoded decodeAll(const std::string& path, bool addon = false) {
    OpenedFile opened =
        addon ? openAddonFile(path, OpenMode::Playback) : openMainFile(path, OpenMode::Playback);
    Decoded result;
    if (!opened.decoder) return result;
    result.length = opened.decoder->lengthFrames();
    std::vector<std::int16_t> buffer(2 * 65536);
    for (;;) {
        const std::int64_t got = opened.decoder->read(buffer.data(), 65536);
        if (got <= 0 || result.frames > 10 * kFrames * 100) break;
        result.frames += got;
    }
    return result;
}

TEST(DecodeHostile, AStatedLengthBeyondTheFileIsNotBelievedForPcm) {
    QTemporaryDir dir;
    const std::uint64_t huge = 1ull << 62;
    const std::string cases[] = {
        writeFile(dir, "frames.wav", rf64(kFrames * 4, huge)),
        writeFile(dir, "bytes.wav", rf64(huge, kFrames)),
        writeFile(dir, "both.wav", rf64(huge, huge)),
        writeFile(dir, "riff.wav",
                  riff(chunk("fmt ", fmtBody()) + chunk("data", pcmBody(), 0x7FFFFFF0u))),
    };
    for (const std::string& path : cases) {
        SCOPED_TRACE(path);
        const auto started = std::chrono::steady_clock::now();
        const Decoded decoded = decodeAll(path);
        EXPECT_EQ(decoded.length, kFrames);
        EXPECT_EQ(decoded.frames, kFrames);
        EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(2));
        const analysis::AnalysisSnapshot analysed = analysis::analyseFile(path);
        ASSERT_TRUE(analysed);
        EXPECT_NEAR(analysed->seconds, double(kFrames) / kRate, 1e-9);
    }
    // A file that holds what it says keeps its stated length.
    const Decoded honest = decodeAll(writeFile(dir, "honest.wav", rf64(kFrames * 4, kFrames)));
    EXPECT_EQ(honest.length, kFrames);
    EXPECT_EQ(honest.frames, kFrames);
}

TEST(DecodeHostile, AFlacTotalSampleCountBeyondTheFileIsMeasuredInstead) {
    const auto& fixtures = DecodeFixtures::get();
    ASSERT_TRUE(fixtures.ok);
    std::string bytes = readFile(fixtures.flac);
    // STREAMINFO follows "fLaC" and its block header; its total-sample count is the 36 bits
    // from bit 4 of byte 13 on.
    ASSERT_EQ(bytes.rfind("fLaC", 0), 0u);
    char* info = bytes.data() + 8;
    info[13] = char((info[13] & 0xF0) | 0x0F);
    std::memset(info + 14, 0xFF, 4);
    QTemporaryDir dir;
    const std::string path = writeFile(dir, "lying.flac", bytes);

    const auto truth = std::llround(DecodeFixtures::kSeconds * 44100);
    const auto started = std::chrono::steady_clock::now();
    const Decoded decoded = decodeAll(path);
    EXPECT_EQ(decoded.length, truth);
    EXPECT_EQ(decoded.frames, truth);
    EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(2));
}

TEST(DecodeHostile, AWmaDurationTheFileCannotHoldIsMeasuredInstead) {
    const auto& fixtures = DecodeFixtures::get();
    ASSERT_TRUE(fixtures.ok);
    std::string bytes = readFile(fixtures.wma);
    const std::int64_t truth = decodeAll(fixtures.wma, true).length;
    ASSERT_GT(truth, 0);
    // The file properties object; its play duration (100 ns units) sits 64 bytes past its GUID.
    const char guid[] = "\xA1\xDC\xAB\x8C\x47\xA9\xCF\x11\x8E\xE4\x00\xC0\x0C\x20\x53\x65";
    const std::size_t at = bytes.find(std::string(guid, 16));
    ASSERT_NE(at, std::string::npos);
    // Twenty hours: under the one-day limit, but far beyond what a few kilobytes hold.
    std::string duration;
    putLe(duration, 20ull * 3600 * 10'000'000, 8);
    std::memcpy(bytes.data() + at + 64, duration.data(), 8);
    QTemporaryDir dir;
    const std::string path = writeFile(dir, "lying.wma", bytes);

    const auto started = std::chrono::steady_clock::now();
    const Decoded decoded = decodeAll(path, true);
    // Counted from the packets, which may differ from the honest header by a block of padding.
    EXPECT_NEAR(double(decoded.length), double(truth), 4096);
    EXPECT_EQ(decoded.frames, decoded.length);
    EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(2));
}

long peakKilobytes() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss;
}

std::span<const std::uint8_t> bytesOf(const std::string& text) {
    return {reinterpret_cast<const std::uint8_t*>(text.data()), text.size()};
}

TEST(DecodeHostile, AChunkBeyondTheFileIsRefusedBeforeTheDemuxerReadsIt) {
    QTemporaryDir dir;
    const std::string fmt = chunk("fmt ", fmtBody());
    const std::string data = chunk("data", pcmBody());
    // 1 KB of file whose LIST chunk and its entry claim 2 GB.
    const std::string list =
        chunk("LIST", "INFO" + chunk("INAM", std::string(1000, 'x'), 0x7FFFFF00u), 0x7FFFFFF0u);
    const std::string hugeList = writeFile(dir, "list.wav", riff(list));
    const std::string listFirst = writeFile(dir, "first.wav", riff(list + fmt + data));
    const std::string listLast = writeFile(dir, "last.wav", riff(fmt + data + list));
    const long before = peakKilobytes();
    const auto started = std::chrono::steady_clock::now();
    for (const std::string& path : {hugeList, listFirst, listLast}) {
        SCOPED_TRACE(path);
        const OpenedFile opened = openMainFile(path, OpenMode::Playback);
        EXPECT_FALSE(opened.decoder);
        EXPECT_EQ(opened.error, kErrorFormat);
    }
    EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(1));
    EXPECT_LT(peakKilobytes() - before, 100 * 1024);

    // Audio cut short still plays what the file holds, and so does a file cut short in the
    // tags after its audio.
    std::string cut = riff(fmt + data);
    cut.resize(cut.size() - 400);
    const Decoded decoded = decodeAll(writeFile(dir, "cut.wav", cut));
    EXPECT_EQ(decoded.length, kFrames - 100);
    EXPECT_EQ(decoded.frames, kFrames - 100);
    std::string cutTags =
        riff(fmt + data + chunk("LIST", "INFO" + chunk("INAM", std::string(300, 'n'))));
    cutTags.resize(cutTags.size() - 200);
    EXPECT_EQ(decodeAll(writeFile(dir, "cut-tags.wav", cutTags)).frames, kFrames);
}

TEST(DecodeHostile, TheChunkWalkAcceptsSloppyWritersAndRefusesImpossibleLayouts) {
    const std::string fmt = chunk("fmt ", fmtBody());
    const std::string data = chunk("data", pcmBody());
    const std::string goodList = chunk("LIST", "INFO" + chunk("INAM", "Night"));
    // An odd chunk without its pad byte, as some writers leave it.
    std::string unpadded = "odd ";
    putLe(unpadded, 3, 4);
    unpadded += "abc";
    const std::string accepted[] = {
        riff(fmt + data),
        riff(fmt + goodList + data + goodList),
        riff(fmt + unpadded + data),
        riff(fmt + data + std::string("\x01\xFF\xFF\xFF\xFF\xFF\xFF\xFF junk", 13)),
        riff(fmt + chunk("data", pcmBody(), 0xFFFFFFFFu)),
        rf64(1ull << 62, 1ull << 62),
        "OggS not a wave file",
    };
    for (const std::string& file : accepted)
        EXPECT_TRUE(decode::checkRiffChunks(bytesOf(file)).ok) << file.substr(0, 40);

    std::string manyChunks;
    for (int i = 0; i < 20000; ++i)
        manyChunks += chunk("JUNK", "");
    const std::string refused[] = {
        riff(chunk("LIST", "INFO" + chunk("INAM", "Night", 5000))),
        riff(fmt + data + chunk("LIST", "INFO", 200000)),
        riff(fmt + chunk("bext", "x", 1u << 30) + data),
        riff(manyChunks + fmt + data),
        std::string("RF64\xFF\xFF\xFF\xFFWAVE") + fmt + data,
        std::string("RF64\xFF\xFF\xFF\xFFWAVE") + chunk("ds64", std::string(8, '\0')) + fmt + data,
    };
    for (const std::string& file : refused) {
        const decode::RiffCheck check = decode::checkRiffChunks(bytesOf(file));
        EXPECT_FALSE(check.ok) << file.substr(0, 40);
        EXPECT_FALSE(check.problem.empty());
    }
    EXPECT_EQ(decode::checkRiffChunks(bytesOf(refused[0])).problem,
              "the chunk 'INAM' at byte 24 claims 5000 bytes, more than its list holds");
}

// An MP3 is decoded from a mapping of the file: opening one (which indexes every frame) and
// playing a little of it costs the pages in use, not the file's size.
TEST(DecodeHostile, ABigMp3CostsWhatIsDecodedNotItsSize) {
    const auto& fixtures = DecodeFixtures::get();
    ASSERT_TRUE(fixtures.ok);
    const std::string clean = readFile(fixtures.mp3Cbr);
    ASSERT_TRUE(clean.starts_with("ID3"));
    const auto tag = 10 + (std::size_t(clean[6]) << 21 | std::size_t(clean[7]) << 14 |
                           std::size_t(clean[8]) << 7 | std::size_t(clean[9]));
    const std::string frames = clean.substr(tag);
    QTemporaryDir dir;
    const std::string path = dir.filePath("big.mp3").toStdString();
    constexpr std::size_t kSize = 96u << 20;
    std::size_t copies = 0;
    {
        std::ofstream out(path, std::ios::binary);
        out << clean.substr(0, tag);
        for (; copies * frames.size() < kSize; ++copies)
            out << frames;
    }
    const long before = peakKilobytes();
    OpenedFile opened = openMainFile(path, OpenMode::Playback);
    ASSERT_TRUE(opened.decoder);
    EXPECT_GT(opened.decoder->lengthFrames(),
              std::int64_t(double(copies) * DecodeFixtures::kSeconds * 44100 * 0.99));
    std::vector<std::int16_t> buffer(2 * 44100);
    for (int second = 0; second < 30; ++second)
        ASSERT_EQ(opened.decoder->read(buffer.data(), 44100), 44100);
    ASSERT_TRUE(opened.decoder->seek(opened.decoder->lengthFrames() / 2));
    ASSERT_EQ(opened.decoder->read(buffer.data(), 44100), 44100);
    EXPECT_LT(peakKilobytes() - before, 40 * 1024) << "a file of " << (kSize >> 20) << " MB";
}

}  // namespace
}  // namespace kelvra::audio::testing
