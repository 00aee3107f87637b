// Display texts for 10,000 tagged MP3 files, in files per second, with the files in the page
// cache (one warm-up pass first). Each file carries an ID3v2.3 tag in front of its audio and an
// ID3v1 block at its end, the common case of a DJ's library.
//
// Measured through the real engine: each call opens a tags-only stream and frees it again.
#include <chrono>
#include <cstdio>
#include <ctime>
#include <fstream>
#include <memory>
#include <string>

#include <QTemporaryDir>

#include "audio/CreateAudioLibrary.h"
#include "tags/DisplayText.h"

namespace {

using namespace kelvra;

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
    const std::unique_ptr<audio::AudioLibrary> library = audio::createAudioLibrary();
    auto list = [&](const QString& path) { return tags::getID3_tag(*library, path); };
    auto deck = [&](const QString& path) { return tags::get_ID3_tag(*library, path); };
    filesPerSecond(paths, list);  // warm the page cache
    std::printf("sample: %s | %s\n", qPrintable(list(paths.front())),
                qPrintable(deck(paths.back())));
    std::printf("%d tagged MP3s, warm cache\n", kFiles);
    const Rate listRate = filesPerSecond(paths, list);
    std::printf("getID3_tag  (playlist entry): %8.0f files/s wall, %8.0f files/s of CPU time\n",
                listRate.wall, listRate.cpu);
    const Rate deckRate = filesPerSecond(paths, deck);
    std::printf("get_ID3_tag (deck display)  : %8.0f files/s wall, %8.0f files/s of CPU time\n",
                deckRate.wall, deckRate.cpu);
    return 0;
}
