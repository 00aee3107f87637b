// The analysis loop: one pass over the decoded song feeds the loudness meter, the beat tracker,
// the key finder and the waveform builder.
#include <algorithm>
#include <vector>

#include "audio/Decoder.h"
#include "audio/ErrorText.h"
#include "audio/SampleScale.h"
#include "audio/analysis/BeatTracker.h"
#include "audio/analysis/KeyFinder.h"
#include "audio/analysis/Loudness.h"
#include "audio/analysis/SongAnalysis.h"
#include "audio/analysis/WaveformBuilder.h"
#include "core/PathBytes.h"

namespace kelvra::audio::analysis {

AnalysisSnapshot analyseDecoder(Decoder& decoder, std::stop_token stop) {
    const PcmFormat format = decoder.format();
    if (format.rate <= 0 || format.channels < 1 || format.channels > 2) return nullptr;
    constexpr std::int64_t kChunk = 4096;
    std::vector<std::int16_t> pcm(std::size_t(kChunk * format.channels));
    std::vector<float> mono(kChunk);
    Loudness loudness(format.rate, format.channels);
    BeatTracker beats(format.rate);
    KeyFinder key(format.rate);
    WaveformBuilder waveform(format.rate);
    std::int64_t frames = 0;
    // The decoder's length is checked against its file when it opens; reading no further than
    // that keeps a decoder that would go on giving frames from holding the analysis for ever.
    const std::int64_t length = decoder.lengthFrames();
    while (frames < length) {
        if (stop.stop_requested()) return nullptr;
        const std::int64_t got = decoder.read(pcm.data(), std::min(kChunk, length - frames));
        if (got < 0) return nullptr;
        if (got == 0) break;
        frames += got;
        loudness.push(pcm.data(), got);
        if (format.channels == 2) {
            // The two channels' mean, scaled in one multiplication.
            constexpr float kHalfScale = 0.5f / kPcm16FullScale;
            for (std::int64_t i = 0; i < got; ++i)
                mono[std::size_t(i)] = (float(pcm[2 * i]) + float(pcm[2 * i + 1])) * kHalfScale;
        } else {
            for (std::int64_t i = 0; i < got; ++i)
                mono[std::size_t(i)] = fromPcm16(pcm[std::size_t(i)]);
        }
        beats.push(mono.data(), int(got));
        key.push(mono.data(), int(got));
        waveform.push(mono.data(), int(got));
    }
    auto result = std::make_shared<SongAnalysis>();
    const BeatGrid grid = beats.finish();
    result->bpm = grid.bpm;
    result->firstBeatSeconds = grid.firstBeatSeconds;
    result->tempoChanges = grid.tempoChanges;
    result->key = key.finish();
    result->lufs = loudness.integratedLufs();
    result->samplePeakDbfs = loudness.samplePeakDbfs();
    result->truePeakDbfs = loudness.truePeakDbfs();
    result->seconds = double(frames) / format.rate;
    result->waveform = waveform.finish();
    return result;
}

AnalysisSnapshot analyseFile(const std::string& path, std::stop_token stop, std::string* reason) {
    OpenedFile opened = openAddonFile(path, OpenMode::Playback);
    if (!opened.decoder) opened = openMainFile(path, OpenMode::Playback);
    if (!opened.decoder) {
        if (reason)
            *reason = openFailureReason(pathFromBytes(QByteArray::fromStdString(path)),
                                        opened.error, QString::fromStdString(opened.problem))
                          .toStdString();
        return nullptr;
    }
    AnalysisSnapshot result = analyseDecoder(*opened.decoder, stop);
    if (!result && reason && !stop.stop_requested()) *reason = "It could not be decoded.";
    return result;
}

}  // namespace kelvra::audio::analysis
