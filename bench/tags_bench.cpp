// Display texts for 10,000 tagged MP3 files, in files per second, with the files in the page
// cache (one warm-up pass first). Each file carries an ID3v2.3 tag in front of its audio and an
// ID3v1 block at its end, the common case of a DJ's library.
//
// The tag code is measured through a small file-backed audio library that opens a file and
// hands out its last 128 bytes, standing in for the engine's tags-only open.
#include <chrono>
#include <cstdio>
#include <ctime>
#include <fstream>
#include <map>
#include <string>

#include <QTemporaryDir>

#include "audio/AudioLibrary.h"
#include "tags/DisplayText.h"

namespace {

using namespace kelvra;

class FileTagLibrary final : public audio::AudioLibrary {
  public:
    bool init(int, std::uint32_t, std::uint32_t) override { return true; }
    bool start() override { return true; }
    bool stop() override { return true; }
    void release() override {}
    void setBufferLength(float) override {}
    int errorCode() const override { return 0; }
    std::uint32_t version() const override { return audio::kContractVersion; }
    std::optional<std::string> deviceDescription(int) override { return std::nullopt; }

    audio::Handle streamCreateFile(const std::string& path, std::uint32_t) override {
        std::ifstream file(path, std::ios::binary | std::ios::ate);
        if (!file) return 0;
        std::string block;
        const auto size = static_cast<std::streamoff>(file.tellg());
        if (size >= 128) {
            block.resize(128);
            file.seekg(size - 128);
            file.read(block.data(), 128);
            if (block.compare(0, 3, "TAG") != 0) block.clear();
        }
        blocks_[++next_] = std::move(block);
        return next_;
    }
    audio::Handle wmaStreamCreateFile(const std::string&, std::uint32_t) override { return 0; }
    bool streamPreBuf(audio::Handle) override { return false; }
    bool streamPlay(audio::Handle, bool, std::uint32_t) override { return false; }
    bool wmaStreamPlay(audio::Handle) override { return false; }
    bool channelResume(audio::Handle) override { return false; }
    bool channelPause(audio::Handle) override { return false; }
    bool channelStop(audio::Handle) override { return false; }
    bool streamFree(audio::Handle handle) override { return blocks_.erase(handle) > 0; }
    bool wmaStreamFree(audio::Handle) override { return false; }
    audio::BytePosition streamLength(audio::Handle) override { return 0; }
    audio::BytePosition wmaStreamLength(audio::Handle) override { return 0; }
    audio::BytePosition channelPosition(audio::Handle) override { return 0; }
    audio::BytePosition wmaChannelPosition(audio::Handle) override { return 0; }
    bool channelSetPosition(audio::Handle, audio::BytePosition) override { return false; }
    bool wmaChannelSetPosition(audio::Handle, audio::BytePosition) override { return false; }
    float channelBytes2Seconds(audio::Handle, audio::BytePosition) override { return 0; }
    int channelIsActive(audio::Handle) override { return audio::kStopped; }
    std::optional<audio::Attributes> channelAttributes(audio::Handle) override { return {}; }
    bool channelSetAttributes(audio::Handle, int, int, int) override { return false; }
    std::uint32_t channelLevel(audio::Handle) override { return 0; }
    std::string_view streamTags(audio::Handle handle) override {
        const auto found = blocks_.find(handle);
        return found == blocks_.end() ? std::string_view() : std::string_view(found->second);
    }
    std::string_view wmaStreamTags(audio::Handle) override { return {}; }

  private:
    std::map<audio::Handle, std::string> blocks_;
    audio::Handle next_ = 0;
};

std::string be32(std::uint32_t v) {
    return {char(v >> 24), char(v >> 16), char(v >> 8), char(v)};
}

std::string frame(const char* id, const std::string& text) {
    const std::string body = std::string(1, '\0') + text;
    return id + be32(std::uint32_t(body.size())) + std::string(2, '\0') + body;
}

std::string taggedMp3(int n) {
    const std::string number = std::to_string(n);
    const std::string frames = frame("TIT2", "Song number " + number) +
                               frame("TPE1", "Artist " + number) + frame("TALB", "Album") +
                               frame("TYER", "1999") + frame("TCON", "(17)") +
                               frame("COMM", std::string("eng\0A comment", 13));
    const std::uint32_t size = std::uint32_t(frames.size() + 256);
    std::string file = "ID3";
    file += {'\x03',
             '\0',
             '\0',
             char((size >> 21) & 0x7F),
             char((size >> 14) & 0x7F),
             char((size >> 7) & 0x7F),
             char(size & 0x7F)};
    file += frames + std::string(256, '\0');
    std::string audio(4096, '\0');
    for (std::size_t i = 0; i < audio.size(); i += 4)
        audio.replace(i, 4, "\xff\xfb\x90\x64");
    file += audio;
    std::string v1 = "TAG" + ("Song number " + number).append(30, ' ').substr(0, 30);
    v1 += std::string(94, ' ') + '\x11';
    return file + v1;
}

// Files per second of wall-clock time and of this process's CPU time (the second stays honest
// on a machine busy with other work).
struct Rate {
    double wall = 0;
    double cpu = 0;
};

template <typename Text>
Rate filesPerSecond(const std::vector<QString>& paths, Text text) {
    std::size_t characters = 0;
    const std::clock_t cpuStart = std::clock();
    const auto start = std::chrono::steady_clock::now();
    for (const QString& path : paths)
        characters += std::size_t(text(path).size());
    const std::chrono::duration<double> took = std::chrono::steady_clock::now() - start;
    const double cpu = double(std::clock() - cpuStart) / CLOCKS_PER_SEC;
    if (characters == 0) std::puts("(no text)");
    return {double(paths.size()) / took.count(), double(paths.size()) / cpu};
}

}  // namespace

int main() {
    constexpr int kFiles = 10000;
    QTemporaryDir dir;
    std::vector<QString> paths;
    for (int i = 0; i < kFiles; ++i) {
        const QString path =
            dir.filePath(QStringLiteral("%1 - Song.mp3").arg(i, 5, 10, QChar(u'0')));
        std::ofstream(path.toStdString(), std::ios::binary) << taggedMp3(i);
        paths.push_back(path);
    }
    FileTagLibrary library;
    auto list = [&](const QString& path) { return tags::getID3_tag(library, path); };
    auto deck = [&](const QString& path) { return tags::get_ID3_tag(library, path); };
    filesPerSecond(paths, list);  // warm the page cache
    std::printf("%d tagged MP3s, warm cache\n", kFiles);
    const Rate listRate = filesPerSecond(paths, list);
    std::printf("getID3_tag  (playlist entry): %8.0f files/s wall, %8.0f files/s of CPU time\n",
                listRate.wall, listRate.cpu);
    const Rate deckRate = filesPerSecond(paths, deck);
    std::printf("get_ID3_tag (deck display)  : %8.0f files/s wall, %8.0f files/s of CPU time\n",
                deckRate.wall, deckRate.cpu);
    return 0;
}
