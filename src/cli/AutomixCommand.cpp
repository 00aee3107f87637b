// automix LIST.m3u --out MIX.wav [--rate R] [--start PERCENT] [--seconds S] [--repeat]
// [--cue-sheet MIX.cue]: the Auto-DJ walks a playlist on the program's own logic, rendered
// offline, until every entry has played once (or S seconds; with --repeat it goes round the list
// until then), with a cue sheet of the tracks as they started. Each track is reported on standard
// error as it starts, so a long mix shows its progress.
#include <QFile>
#include <QFileInfo>
#include <cstdio>
#include <optional>

#include "app/HeadlessProgram.h"
#include "audio/engine/WavWriter.h"
#include "autodj/CueSheet.h"
#include "cli/Commands.h"
#include "cli/OptionParser.h"

namespace kelvra::cli {
namespace {

constexpr const char* kUsage =
    "usage: kelvra-cli automix LIST.m3u --out MIX.wav [--rate R] [--start PERCENT] "
    "[--seconds S] [--repeat] [--cue-sheet MIX.cue]\n";
// Without --seconds a mix still ends: a week of audio is more than any playlist asks for.
constexpr double kLongestMix = 86400.0 * 7;
constexpr std::int64_t kSliceMs = 100;

struct AutomixOptions {
    std::string list, out, cueSheet;
    int rate = 44100;
    int start = -1;
    double seconds = kLongestMix;
    bool repeat = false;
};

// A path from the command line as the file system names it, whatever its bytes.
QString pathOf(const std::string& word) {
    return QFile::decodeName(QByteArray::fromStdString(word));
}

std::optional<AutomixOptions> parse(const Args& args) {
    AutomixOptions options;
    OptionParser parser;
    parser.text("--out", options.out)
        .text("--cue-sheet", options.cueSheet)
        .number("--rate", options.rate)
        .number("--start", options.start)
        .number("--seconds", options.seconds)
        .flag("--repeat", options.repeat);
    if (!parser.parse(args, options.list) || options.list.empty() || options.out.empty() ||
        options.rate < 8000 || options.rate > 192000 ||
        (options.start != -1 && (options.start < 0 || options.start > 100)) ||
        !(options.seconds >= 0) || options.seconds > kLongestMix)
        return std::nullopt;
    return options;
}

}  // namespace

int automixCommand(const Args& args) {
    const std::optional<AutomixOptions> options = parse(args);
    if (!options) {
        std::fputs(kUsage, stderr);
        return 2;
    }
    app::HeadlessProgram program(app::HeadlessProgram::commandLineOptions(options->rate));
    if (!program.start()) return 1;
    audio::engine::WavWriter wav(options->out, options->rate);
    const auto sink = [&wav](const std::int16_t* frames, std::int64_t count) {
        wav.write(frames, count);
    };
    app::MainWindow& window = program.window();
    if (options->start >= 0) window.values().AutomixStart = std::int16_t(options->start);

    program.runUntil(10, sink);  // the playlist window's own load comes first
    if (!program.playlist().open_playlist(pathOf(options->list)) ||
        program.playlist().count() == 0) {
        std::fprintf(stderr, "kelvra-cli: %s holds no songs\n", options->list.c_str());
        return 1;
    }
    const int entries = program.playlist().count();
    // The Auto-DJ moves on from the current entry: start from the last so the first comes first.
    program.playlist().selectLine(entries - 1);

    std::vector<autodj::CueTrack> tracks;
    Side lastStarted = Side::Left;
    auto record = [&](Side side) {
        lastStarted = side;
        const std::int64_t nowMs = program.clock().nowMs();
        tracks.push_back(
            autodj::trackFromDeckText(nowMs, window.controls().deck(side).display.displayText()));
        const std::int64_t s = nowMs / 1000;
        std::fprintf(
            stderr, "kelvra-cli: %lld:%02lld:%02lld track %zu %s\n", (long long)(s / 3600),
            (long long)(s / 60 % 60), (long long)(s % 60), tracks.size(),
            QFile::encodeName(QFileInfo(window.deck(side).songFile()).fileName()).constData());
    };
    window.autoDJ().setOnDeckStarted(record);
    const std::int64_t clickMs = program.clock().nowMs();
    window.controls().mixer.autoDJ.click();
    if (!window.autoDJOn()) {
        std::fprintf(stderr, "kelvra-cli: %s: none of its songs could be played\n",
                     options->list.c_str());
        return 1;
    }
    // A deck the button itself started is not one the fade started: note it as of the click.
    if (tracks.empty() &&
        audio::isStreamPlaying(program.engine(), window.deck(window.activeDeck()).stream())) {
        record(window.activeDeck());
        tracks.back().startMs = clickMs;
    }

    // Every entry has played once when a further one starts, or when the last one has ended.
    const std::int64_t endMs = std::llrint(options->seconds * 1000);
    while (program.clock().nowMs() < endMs && wav.ok()) {
        program.runUntil(std::min(endMs, program.clock().nowMs() + kSliceMs), sink);
        if (!options->repeat && tracks.size() > std::size_t(entries)) {
            tracks.resize(std::size_t(entries));
            break;
        }
        if (!options->repeat && tracks.size() == std::size_t(entries) &&
            audio::isStreamPlaying(program.engine(), window.deck(lastStarted).stream()) == 0)
            break;
        if (!window.autoDJOn()) break;
    }
    if (!wav.finish()) {
        std::fprintf(stderr, "kelvra-cli: %s\n", wav.failureText(options->out).c_str());
        return 1;
    }
    if (!options->cueSheet.empty()) {
        QFile sheet(pathOf(options->cueSheet));
        if (!sheet.open(QIODevice::WriteOnly) ||
            sheet.write(
                autodj::cueSheetText(QFileInfo(pathOf(options->out)).fileName(), tracks).toUtf8()) <
                0) {
            std::fprintf(stderr, "kelvra-cli: cannot write %s\n", options->cueSheet.c_str());
            return 1;
        }
    }
    const auto stats = program.engine().stats();
    std::printf("rendered\t%.3f s\ttracks\t%zu\tunderruns\t%llu\tstarved frames\t%llu\n",
                program.clock().nowMs() / 1000.0, tracks.size(),
                (unsigned long long)stats.underruns, (unsigned long long)stats.starvedFrames);
    for (const autodj::CueTrack& track : tracks)
        std::printf("%s\t%s\t%s\n", autodj::cdFrameTime(track.startMs).toUtf8().constData(),
                    track.title.toUtf8().constData(), track.performer.toUtf8().constData());
    return 0;
}

}  // namespace kelvra::cli
