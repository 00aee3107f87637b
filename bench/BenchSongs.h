// The real files the engine benchmarks load: one 10-minute stereo song as MP3 at a constant and a
// variable bit rate and as WMA, made with ffmpeg once and kept in the temp folder.
#pragma once

#include <cstdlib>
#include <filesystem>
#include <optional>
#include <string>

namespace kelvra::bench {

struct TenMinuteSongs {
    std::string cbr, vbr, wma;
};

// None when ffmpeg cannot make them.
inline std::optional<TenMinuteSongs> tenMinuteSongs() {
    const auto dir = std::filesystem::temp_directory_path() / "kelvra-engine-bench";
    std::filesystem::create_directories(dir);
    const std::string source =
        "-f lavfi -i \"sine=frequency=440:duration=600:sample_rate=44100\" "
        "-f lavfi -i \"sine=frequency=550:duration=600:sample_rate=44100\" "
        "-filter_complex amerge=inputs=2 ";
    const auto make = [&](const std::string& path, const std::string& codec) {
        return std::filesystem::exists(path) ||
               std::system(
                   ("ffmpeg -y -nostdin -loglevel error " + source + codec + " " + path).c_str()) ==
                   0;
    };
    TenMinuteSongs songs{(dir / "cbr.mp3").string(), (dir / "vbr.mp3").string(),
                         (dir / "track.wma").string()};
    if (!make(songs.cbr, "-c:a libmp3lame -b:a 192k") ||
        !make(songs.vbr, "-c:a libmp3lame -q:a 2") || !make(songs.wma, "-c:a wmav2 -b:a 192k"))
        return std::nullopt;
    return songs;
}

}  // namespace kelvra::bench
