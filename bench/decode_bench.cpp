// Decoder figures, printed side by side in one run: full-decode speed per format against a bare
// libavcodec loop on the same file, load times and exact seek times for 10-minute songs, and
// tags-only opens per second over 10,000 tagged MP3s.
//
// The 10-minute songs are encoded once and kept in a cache folder named after their content, so
// later runs start at once. KELVRA_BENCH_CACHE moves the cache (default: the system temp folder).
#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <functional>
#include <numbers>
#include <random>
#include <string>
#include <vector>

#include <unistd.h>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
}

#include "audio/Decoder.h"
#include "core/Rounding.h"

namespace fs = std::filesystem;
using kelvra::audio::Decoder;
using kelvra::audio::OpenMode;
using Clock = std::chrono::steady_clock;

namespace {

constexpr int kRate = 44100;
constexpr int kSongSeconds = 600;
// Bump when the generated signal changes. With the encoder settings it names the cache folder,
// so a changed fixture never meets a stale file.
constexpr const char* kSignalVersion = "song-signal-v1";

const std::vector<std::pair<std::string, std::string>> kEncodes = {
    {"cbr.mp3", "-c:a libmp3lame -b:a 192k"},
    {"vbr.mp3", "-c:a libmp3lame -q:a 2"},
    {"song.wma", "-c:a wmav2 -b:a 128k"},
    {"song.flac", "-c:a flac"},
};

std::string cacheName() {
    std::string key =
        std::string(kSignalVersion) + std::to_string(kSongSeconds) + std::to_string(kRate);
    for (const auto& [name, args] : kEncodes)
        key += name + args;
    std::uint64_t hash = 14695981039346656037ull;  // FNV-1a: stable across runs and builds
    for (const unsigned char c : key)
        hash = (hash ^ c) * 1099511628211ull;
    char name[64];
    std::snprintf(name, sizeof name, "kelvra-decode-bench-%016llx",
                  static_cast<unsigned long long>(hash));
    return name;
}

double msSince(Clock::time_point start) {
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

// Wall time and the process's CPU time (all threads) since a start: the machine these figures come
// from may be busy with other work, and CPU time shows the cost that business cannot inflate.
struct Stopwatch {
    Clock::time_point wall = Clock::now();
    std::clock_t cpu = std::clock();
    double wallMs() const { return msSince(wall); }
    double cpuMs() const { return double(std::clock() - cpu) * 1000 / CLOCKS_PER_SEC; }
};

double median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values.empty() ? 0 : values[values.size() / 2];
}

bool run(const std::string& command) {
    return std::system((command + " >/dev/null 2>&1").c_str()) == 0;
}

std::string quoted(const fs::path& path) {
    return "'" + path.string() + "'";
}

// A song-like signal: a few drifting tones with a slow beat, over quiet noise, so a VBR encoder
// has something to vary over.
void writeSongWav(const fs::path& path) {
    const std::int64_t frames = std::int64_t{kSongSeconds} * kRate;
    std::ofstream out(path, std::ios::binary);
    auto put = [&](std::uint32_t v, int bytes) {
        for (int i = 0; i < bytes; ++i)
            out.put(static_cast<char>(v >> (8 * i)));
    };
    const auto dataBytes = static_cast<std::uint32_t>(frames * 4);
    out.write("RIFF", 4);
    put(36 + dataBytes, 4);
    out.write("WAVEfmt ", 8);
    put(16, 4), put(1, 2), put(2, 2), put(kRate, 4), put(kRate * 4, 4), put(4, 2), put(16, 2);
    out.write("data", 4);
    put(dataBytes, 4);
    std::mt19937 random(1);
    std::uniform_real_distribution<double> noise(-1, 1);
    std::vector<std::int16_t> block;
    const double tau = 2 * std::numbers::pi;
    for (std::int64_t i = 0; i < frames; ++i) {
        const double t = double(i) / kRate;
        const double beat = 0.6 + 0.4 * std::sin(tau * 2 * t);
        const double tones = 0.25 * std::sin(tau * (220 + 20 * std::sin(tau * 0.05 * t)) * t) +
                             0.15 * std::sin(tau * 330.5 * t) * beat +
                             0.10 * std::sin(tau * 1234 * t) * (1 - beat);
        const double left = tones + 0.05 * noise(random);
        const double right = 0.8 * tones + 0.05 * noise(random);
        block.push_back(static_cast<std::int16_t>(kelvra::roundEven(left * 32767)));
        block.push_back(static_cast<std::int16_t>(kelvra::roundEven(right * 32767)));
        if (block.size() >= 65536 || i + 1 == frames) {
            out.write(reinterpret_cast<const char*>(block.data()),
                      static_cast<std::streamsize>(block.size() * 2));
            block.clear();
        }
    }
}

struct Song {
    const char* name;
    fs::path path;
    bool addon;
};

// Makes (or finds) the cached songs. Each file is written under a temporary name and renamed, so
// an interrupted run never leaves a half-written song in the cache.
std::vector<Song> songs(const fs::path& cache) {
    fs::create_directories(cache);
    const fs::path wav = cache / "song.wav";
    if (!fs::exists(wav)) {
        std::printf("Making the 10-minute songs once (cached in %s)...\n", cache.c_str());
        writeSongWav(cache / "song.tmp.wav");
        fs::rename(cache / "song.tmp.wav", wav);
    }
    for (const auto& [name, args] : kEncodes) {
        const fs::path target = cache / name;
        if (fs::exists(target)) continue;
        const fs::path partial = cache / ("partial." + name);
        if (!run("ffmpeg -y -nostdin -loglevel error -i " + quoted(wav) + " " + args + " " +
                 quoted(partial))) {
            std::fprintf(stderr, "ffmpeg failed making %s\n", name.c_str());
            std::exit(1);
        }
        fs::rename(partial, target);
    }
    return {{"WAV", wav, false},
            {"FLAC", cache / "song.flac", false},
            {"MP3 CBR", cache / "cbr.mp3", false},
            {"MP3 VBR", cache / "vbr.mp3", false},
            {"WMA", cache / "song.wma", true}};
}

kelvra::audio::OpenedFile open(const Song& song, OpenMode mode = OpenMode::Playback) {
    return song.addon ? kelvra::audio::openAddonFile(song.path.string(), mode)
                      : kelvra::audio::openMainFile(song.path.string(), mode);
}

// Decodes with libavformat and libavcodec alone, no conversion: what decoding costs at least.
// Returns the decoded frame count.
std::int64_t bareDecode(const fs::path& path) {
    AVFormatContext* format = nullptr;
    if (avformat_open_input(&format, path.c_str(), nullptr, nullptr) < 0) return -1;
    avformat_find_stream_info(format, nullptr);
    const int stream = av_find_best_stream(format, AVMEDIA_TYPE_AUDIO, -1, -1, nullptr, 0);
    const AVCodec* codec = avcodec_find_decoder(format->streams[stream]->codecpar->codec_id);
    AVCodecContext* context = avcodec_alloc_context3(codec);
    avcodec_parameters_to_context(context, format->streams[stream]->codecpar);
    context->thread_count = 1;
    avcodec_open2(context, codec, nullptr);
    AVPacket* packet = av_packet_alloc();
    AVFrame* frame = av_frame_alloc();
    std::int64_t frames = 0;
    auto drain = [&] {
        while (avcodec_receive_frame(context, frame) >= 0) {
            frames += frame->nb_samples;
            av_frame_unref(frame);
        }
    };
    while (av_read_frame(format, packet) >= 0) {
        if (packet->stream_index == stream) {
            avcodec_send_packet(context, packet);
            drain();
        }
        av_packet_unref(packet);
    }
    avcodec_send_packet(context, nullptr);
    drain();
    av_frame_free(&frame);
    av_packet_free(&packet);
    avcodec_free_context(&context);
    avformat_close_input(&format);
    return frames;
}

std::int64_t readAll(Decoder& decoder) {
    std::vector<std::int16_t> buffer(4096 * 2);
    std::int64_t frames = 0;
    for (std::int64_t got; (got = decoder.read(buffer.data(), 4096)) > 0;)
        frames += got;
    return frames;
}

void decodeSpeed(const std::vector<Song>& list) {
    std::printf("\nFull decode, times real time (10-minute songs, one thread)\n");
    std::printf("%-9s %12s %12s %8s\n", "format", "Kelvra", "libavcodec", "ratio");
    for (const auto& song : list) {
        auto start = Clock::now();
        auto opened = open(song);
        if (!opened.decoder) {
            std::printf("%-9s failed to open (error %d)\n", song.name, opened.error);
            continue;
        }
        // The add-on side decodes on its own thread; reading to the end waits for it.
        readAll(*opened.decoder);
        const double ours = msSince(start);
        start = Clock::now();
        bareDecode(song.path);
        const double bare = msSince(start);
        std::printf("%-9s %11.0fx %11.0fx %8.2f\n", song.name, kSongSeconds * 1000 / ours,
                    kSongSeconds * 1000 / bare, bare / ours);
    }
}

void loadTimes(const std::vector<Song>& list) {
    std::printf(
        "\nLoad, median of 15 warm runs, ms wall / ms CPU (target: playable within 20 ms)\n");
    std::printf("%-9s %18s %18s %16s\n", "format", "exact length", "first audio", "fully decoded");
    std::vector<std::int16_t> buffer(1024 * 2);
    for (const auto& song : list) {
        std::vector<double> lengthMs, lengthCpu, firstMs, firstCpu, fullMs;
        for (int i = 0; i < 15; ++i) {
            const Stopwatch watch;
            auto opened = open(song);
            if (!opened.decoder) break;
            // The length is exact once the decoder exists.
            lengthMs.push_back(watch.wallMs());
            lengthCpu.push_back(watch.cpuMs());
            opened.decoder->read(buffer.data(), 1024);
            firstMs.push_back(watch.wallMs());
            firstCpu.push_back(watch.cpuMs());
            if (song.addon) {
                opened.decoder->seek(opened.decoder->lengthFrames() - 1);
                opened.decoder->read(buffer.data(), 1);
                fullMs.push_back(watch.wallMs());
            }
        }
        char full[32] = "-";
        if (!fullMs.empty()) std::snprintf(full, sizeof full, "%.1f", median(fullMs));
        std::printf("%-9s %9.2f / %6.2f %9.2f / %6.2f %16s\n", song.name, median(lengthMs),
                    median(lengthCpu), median(firstMs), median(firstCpu), full);
    }
}

void seekTimes(const std::vector<Song>& list) {
    std::printf(
        "\nExact seek + first read of 1024 frames, 200 random positions, ms (target: 10 ms)\n");
    std::printf("%-9s %12s %12s %12s %12s\n", "format", "wall median", "wall max", "CPU median",
                "CPU max");
    std::vector<std::int16_t> buffer(1024 * 2);
    for (const auto& song : list) {
        auto opened = open(song);
        if (!opened.decoder) continue;
        Decoder& decoder = *opened.decoder;
        // The add-on side's seeks are memory lookups once decoding has finished; wait for that.
        decoder.seek(decoder.lengthFrames() - 1);
        decoder.read(buffer.data(), 1);
        std::mt19937_64 random(42);
        std::vector<double> wall, cpu;
        for (int i = 0; i < 200; ++i) {
            const auto target = static_cast<std::int64_t>(random() % decoder.lengthFrames());
            const Stopwatch watch;
            decoder.seek(target);
            decoder.read(buffer.data(), 1024);
            wall.push_back(watch.wallMs());
            cpu.push_back(watch.cpuMs());
        }
        std::printf("%-9s %12.3f %12.3f %12.3f %12.3f\n", song.name, median(wall),
                    *std::max_element(wall.begin(), wall.end()), median(cpu),
                    *std::max_element(cpu.begin(), cpu.end()));
    }
}

void tagsOnly(const fs::path& cache) {
    constexpr int kFiles = 10000;
    const fs::path folder =
        fs::temp_directory_path() / ("kelvra-tags-bench-" + std::to_string(::getpid()));
    fs::create_directories(folder);
    // One short encoded MP3 (with the ID3v2 header FFmpeg writes), copied with different ID3v1
    // blocks.
    const fs::path source = cache / "short.mp3";
    if (!fs::exists(source) &&
        !run("ffmpeg -y -nostdin -loglevel error -f lavfi -i sine=frequency=440:duration=0.5 "
             "-c:a libmp3lame -b:a 128k " +
             quoted(source))) {
        std::fprintf(stderr, "ffmpeg failed making the short MP3\n");
        return;
    }
    std::ifstream in(source, std::ios::binary);
    const std::string audio((std::istreambuf_iterator<char>(in)), {});
    std::vector<std::string> paths;
    for (int i = 0; i < kFiles; ++i) {
        std::string tag = "TAGSong " + std::to_string(i);
        tag.resize(128, '\0');
        tag[127] = static_cast<char>(i % 148);
        paths.push_back((folder / ("song" + std::to_string(i) + ".mp3")).string());
        std::ofstream(paths.back(), std::ios::binary) << audio << tag;
    }

    auto ours = [&] {
        int ok = 0;
        for (const auto& path : paths)
            ok += kelvra::audio::openMainFile(path, OpenMode::TagsOnly).tags.size() == 128;
        return ok;
    };
    auto probe = [&](std::size_t count) {
        int ok = 0;
        for (std::size_t i = 0; i < count; ++i) {
            AVFormatContext* format = nullptr;
            if (avformat_open_input(&format, paths[i].c_str(), nullptr, nullptr) >= 0) {
                ok += avformat_find_stream_info(format, nullptr) >= 0;
                avformat_close_input(&format);
            }
        }
        return ok;
    };
    ours();  // warm the cache
    auto start = Clock::now();
    const int found = ours();
    const double oursMs = msSince(start);
    constexpr std::size_t kProbed = 2000;
    start = Clock::now();
    probe(kProbed);
    const double probeMs = msSince(start);
    std::printf("\nTags-only opens over %d tagged MP3s, warm cache (target: 10,000 per second)\n",
                kFiles);
    std::printf("%-34s %12s\n", "method", "opens/s");
    std::printf("%-34s %12.0f   (%d of %d tag blocks read)\n", "Kelvra tags-only open",
                kFiles / oursMs * 1000, found, kFiles);
    std::printf("%-34s %12.0f   (over the first %zu files)\n", "libavformat open + stream info",
                kProbed / probeMs * 1000, kProbed);
    fs::remove_all(folder);
}

}  // namespace

int main() {
    av_log_set_level(AV_LOG_FATAL);
    const char* cacheRoot = std::getenv("KELVRA_BENCH_CACHE");
    const fs::path cache =
        fs::path(cacheRoot ? cacheRoot : fs::temp_directory_path()) / cacheName();
    const auto list = songs(cache);
    if (std::ifstream load("/proc/loadavg"); load) {
        std::string average;
        std::getline(load, average);
        std::printf("Load average while measuring: %s\n", average.c_str());
    }
    decodeSpeed(list);
    loadTimes(list);
    seekTimes(list);
    tagsOnly(cache);
    return 0;
}
