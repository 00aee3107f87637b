// Song files for the decoder tests, made once per test run from synthesized sines: WAV, MP3 (CBR,
// VBR, mono 22050 Hz), WMA and ASF, FLAC. Shared read-only; a test that writes copies first.
#pragma once

#include <QTemporaryDir>
#include <cstdint>
#include <string>
#include <vector>

#include "audio/Decoder.h"
#include "support/AudioFixtures.h"

namespace kelvra::audio::testing {

struct DecodeFixtures {
    // 3.3 s: a frame count that is no multiple of any codec's frame size.
    static constexpr double kSeconds = 3.3;
    QTemporaryDir dir;
    std::vector<std::int16_t> stereo;  // 44100 Hz, right channel at 0.6 of the left
    std::vector<std::int16_t> mono;    // 22050 Hz
    std::string wav, monoWav, mp3Cbr, mp3Vbr, mp3Mono, wma, asf, wmaTagged, flac;
    bool ok = false;

    std::string path(const std::string& name) const {
        return dir.filePath(QString::fromStdString(name)).toStdString();
    }

    static const DecodeFixtures& get() {
        static const DecodeFixtures fixtures;
        return fixtures;
    }

  private:
    DecodeFixtures() {
        stereo = test::sine(44100, 2, kSeconds, 441.0, 0.5, 0.6);
        mono = test::sine(22050, 1, kSeconds, 331.0, 0.5);
        wav = path("sine.wav");
        monoWav = path("mono.wav");
        mp3Cbr = path("cbr.mp3");
        mp3Vbr = path("vbr.mp3");
        mp3Mono = path("mono.mp3");
        wma = path("sine.wma");
        asf = path("sine.asf");
        wmaTagged = path("tagged.wma");
        flac = path("sine.flac");
        ok = test::writeWav(wav, stereo, 44100, 2) && test::writeWav(monoWav, mono, 22050, 1) &&
             test::ffmpegEncode(wav, mp3Cbr, {"-c:a", "libmp3lame", "-b:a", "128k"}) &&
             test::ffmpegEncode(wav, mp3Vbr, {"-c:a", "libmp3lame", "-q:a", "4"}) &&
             test::ffmpegEncode(monoWav, mp3Mono, {"-c:a", "libmp3lame", "-b:a", "48k"}) &&
             test::ffmpegEncode(wav, wma, {"-c:a", "wmav2", "-b:a", "128k"}) &&
             test::ffmpegEncode(wav, asf, {"-c:a", "wmav1", "-b:a", "96k", "-f", "asf"}) &&
             test::ffmpegEncode(wav, flac, {"-c:a", "flac"}) &&
             test::ffmpegEncode(wav, wmaTagged,
                                {"-c:a", "wmav2", "-metadata", "title=Night Drive", "-metadata",
                                 "artist=Ana Côte", "-metadata", "album=Lights", "-metadata",
                                 "comment=", "-metadata", "genre=House"});
    }
};

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
