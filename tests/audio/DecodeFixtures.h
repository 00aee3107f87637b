// Song files for the decoder tests, made from synthesized sines: WAV, MP3 (CBR, VBR, mono
// 22050 Hz), MP2, WMA and ASF, FLAC. Shared read-only; a test that writes copies first.
#pragma once

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <cstdint>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

#include "audio/Decoder.h"
#include "support/AudioFixtures.h"

namespace kelvra::audio::testing {

struct DecodeFixtures {
    // 3.3 s: a frame count that is no multiple of any codec's frame size.
    static constexpr double kSeconds = 3.3;
    std::vector<std::int16_t> stereo;  // 44100 Hz, right channel at 0.6 of the left
    std::vector<std::int16_t> mono;    // 22050 Hz
    std::string wav, monoWav, mp3Cbr, mp3Vbr, mp3Mono, mp2, wma, asf, wmaTagged, flac;
    bool ok = false;

    static const DecodeFixtures& get() {
        static const DecodeFixtures fixtures;
        return fixtures;
    }

  private:
    struct Encode {
        const char* name;
        const char* source;
        std::vector<std::string> args;
    };

    // Every test case runs in a process of its own; the encoded files are made once and kept in
    // a temp folder named after everything that makes them, so a change never meets stale files.
    DecodeFixtures() {
        stereo = test::sine(44100, 2, kSeconds, 441.0, 0.5, 0.6);
        mono = test::sine(22050, 1, kSeconds, 331.0, 0.5);
        const std::vector<Encode> encodes = {
            {"cbr.mp3", "sine.wav", {"-c:a", "libmp3lame", "-b:a", "128k"}},
            {"vbr.mp3", "sine.wav", {"-c:a", "libmp3lame", "-q:a", "4"}},
            {"mono.mp3", "mono.wav", {"-c:a", "libmp3lame", "-b:a", "48k"}},
            {"sine.wma", "sine.wav", {"-c:a", "wmav2", "-b:a", "128k"}},
            {"sine.asf", "sine.wav", {"-c:a", "wmav1", "-b:a", "96k", "-f", "asf"}},
            {"sine.flac", "sine.wav", {"-c:a", "flac"}},
            {"sine.mp2", "sine.wav", {"-c:a", "mp2", "-b:a", "192k"}},
            {"tagged.wma",
             "sine.wav",
             {"-c:a", "wmav2", "-metadata", "title=Night Drive", "-metadata",
              "artist=Ana C\xC3\xB4te", "-metadata", "album=Lights", "-metadata", "genre=House"}},
        };
        QByteArray key = "decode-fixtures-v2";
        for (const auto& e : encodes) {
            key += e.name;
            key += e.source;
            for (const auto& arg : e.args)
                key += QByteArray::fromStdString(arg);
        }
        const QString folder = QDir::temp().filePath(
            "kelvra-decode-fixtures-" +
            QCryptographicHash::hash(key, QCryptographicHash::Sha1).toHex().left(16));
        if (!QFile::exists(folder + "/complete")) ok = build(folder, encodes);
        const QString base = ok ? folder : building_ ? building_->path() : folder;
        ok = QFile::exists(base + "/complete");
        auto path = [&](const char* name) { return (base + "/" + name).toStdString(); };
        wav = path("sine.wav");
        monoWav = path("mono.wav");
        mp3Cbr = path("cbr.mp3");
        mp3Vbr = path("vbr.mp3");
        mp3Mono = path("mono.mp3");
        wma = path("sine.wma");
        asf = path("sine.asf");
        wmaTagged = path("tagged.wma");
        flac = path("sine.flac");
        mp2 = path("sine.mp2");
    }

    // Makes the files beside `folder` and moves them into place. False when another process
    // (maybe another user's, unreadable here) got there first; the files made stay in
    // building_ then.
    bool build(const QString& folder, const std::vector<Encode>& encodes) {
        building_ = std::make_unique<QTemporaryDir>(folder + "-XXXXXX");
        auto at = [&](const char* name) { return building_->filePath(name).toStdString(); };
        bool made = test::writeWav(at("sine.wav"), stereo, 44100, 2) &&
                    test::writeWav(at("mono.wav"), mono, 22050, 1);
        for (const auto& e : encodes)
            made = made && test::ffmpegEncode(at(e.source), at(e.name), e.args);
        made = made && QFile(building_->filePath("complete")).open(QIODevice::WriteOnly);
        if (!made) return false;
        // Readable by every user of the shared temp folder.
        QFile(building_->path())
            .setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner |
                            QFile::ReadGroup | QFile::ExeGroup | QFile::ReadOther |
                            QFile::ExeOther);
        if (!QDir().rename(building_->path(), folder)) return false;
        building_->setAutoRemove(false);
        building_.reset();
        return true;
    }

    std::unique_ptr<QTemporaryDir> building_;
};

// A file of `bytes` written into `dir` as `name`; returns its path.
inline std::string writeFile(const QTemporaryDir& dir, const char* name, const std::string& bytes) {
    const std::string path = dir.filePath(name).toStdString();
    std::ofstream(path, std::ios::binary) << bytes;
    return path;
}

inline std::string readFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}

// Reads a decoder to its end in chunks of `chunk` frames. Stops on a failure.
inline std::vector<std::int16_t> readToEnd(Decoder& decoder, std::int64_t chunk = 1000) {
    const int channels = decoder.format().channels;
    std::vector<std::int16_t> all;
    std::vector<std::int16_t> buffer(static_cast<std::size_t>(chunk * channels));
    for (;;) {
        const std::int64_t got = decoder.read(buffer.data(), chunk);
        if (got <= 0) break;
        all.insert(all.end(), buffer.begin(), buffer.begin() + got * channels);
    }
    return all;
}

}  // namespace kelvra::audio::testing
