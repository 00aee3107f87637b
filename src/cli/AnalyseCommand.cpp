// analyse FILE...: tempo, first beat, loudness, peak, length, key and whether the tempo changes
// (0 or 1) of each file, one tab-separated line per file under a header line; the path closes the
// line so the numbers line up.
// A file that cannot be analysed prints "error" in its numbers and makes the exit code 1.
#include <cstdio>

#include "audio/analysis/AnalysisCache.h"
#include "audio/analysis/KeyNames.h"
#include "audio/analysis/SongAnalysis.h"
#include "cli/Commands.h"
#include "cli/OpenFailure.h"

namespace kelvra::cli {

int analyseCommand(const Args& args) {
    if (args.empty()) {
        std::fputs("usage: kelvra-cli analyse FILE...\n", stderr);
        return 2;
    }
    audio::analysis::AnalysisCache cache(audio::analysis::AnalysisCache::defaultFolder());
    std::puts("bpm\tfirst_beat_seconds\tlufs\tpeak_dbfs\tseconds\tkey\ttempo_changes\tfile");
    int status = 0;
    for (const std::string& path : args) {
        audio::analysis::AnalysisSnapshot result = cache.load(path);
        std::string reason;
        if (!result) {
            result = audio::analysis::analyseFile(path, {}, &reason);
            if (result) cache.store(path, *result);
        }
        if (!result) {
            std::printf("error\terror\terror\terror\terror\terror\terror\t%s\n", path.c_str());
            std::fflush(stdout);
            reportFileProblem(path, reason);
            status = 1;
            continue;
        }
        // The key on the wheel and by name ("8A A minor"), "-" where no key stands out.
        const std::string key = result->key == audio::analysis::kNoKey
                                    ? std::string("-")
                                    : audio::analysis::keyWheel(result->key) + ' ' +
                                          audio::analysis::keyName(result->key);
        std::printf("%.2f\t%.3f\t%.1f\t%.1f\t%.3f\t%s\t%d\t%s\n", result->bpm,
                    result->firstBeatSeconds, result->lufs, result->samplePeakDbfs, result->seconds,
                    key.c_str(), result->tempoChanges ? 1 : 0, path.c_str());
    }
    return status;
}

}  // namespace kelvra::cli
