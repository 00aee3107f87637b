// analyse FILE...: tempo, first beat, loudness, peak and length of each file, one tab-separated
// line per file under a header line; the path closes the line so the numbers line up. A file
// that cannot be analysed prints "error" in its numbers and makes the exit code 1.
#include <cstdio>

#include "audio/analysis/AnalysisCache.h"
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
    std::puts("bpm\tfirst_beat_seconds\tlufs\tpeak_dbfs\tseconds\tfile");
    int status = 0;
    for (const std::string& path : args) {
        audio::analysis::AnalysisSnapshot result = cache.load(path);
        std::string reason;
        if (!result) {
            result = audio::analysis::analyseFile(path, {}, &reason);
            if (result) cache.store(path, *result);
        }
        if (!result) {
            std::printf("error\terror\terror\terror\terror\t%s\n", path.c_str());
            std::fflush(stdout);
            reportFileProblem(path, reason);
            status = 1;
            continue;
        }
        std::printf("%.2f\t%.3f\t%.1f\t%.1f\t%.3f\t%s\n", result->bpm, result->firstBeatSeconds,
                    result->lufs, result->samplePeakDbfs, result->seconds, path.c_str());
    }
    return status;
}

}  // namespace kelvra::cli
