// automix LIST.m3u --out MIX.wav [--rate R] [--start PERCENT] [--seconds S] [--repeat]
// [--skip-silence] [--cue-sheet MIX.cue]: the Auto-DJ walks a playlist on the program's own
// logic, rendered offline, until every entry has played once (or S seconds; with --repeat it goes
// round the list until then), with a cue sheet of the tracks as they started. --skip-silence
// mixes on the songs' audible parts, as the option of that name does. Each track is reported on
// standard error as it starts, so a long mix shows its progress.
#include <QFile>
#include <QFileInfo>
#include <cstdio>
#include <optional>

#include "audio/WavWriter.h"
#include "autodj/CueSheet.h"
#include "cli/Commands.h"
#include "cli/OptionParser.h"
#include "core/SaveFile.h"
#include "playlist/M3u.h"
#include "session/HeadlessProgram.h"

namespace kelvra::cli {
namespace {

constexpr const char* kUsage =
    "usage: kelvra-cli automix LIST.m3u --out MIX.wav [--rate R] [--start PERCENT] "
    "[--seconds S] [--repeat] [--skip-silence] [--cue-sheet MIX.cue]\n";
// Without --seconds a mix still ends: a week of audio is more than any playlist asks for.
constexpr double kLongestMix = 86400.0 * 7;
constexpr std::int64_t kSliceMs = 100;

struct AutomixOptions {
    std::string list, out, cueSheet;
    int rate = 44100;
    int start = -1;
    double seconds = kLongestMix;
    bool repeat = false;
    bool skipSilence = false;
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
        .number("--rate", options.rate, 8000, 192000)
        .number("--start", options.start, 0, 100)
        .number("--seconds", options.seconds, 0.0, kLongestMix)
        .flag("--repeat", options.repeat)
        .flag("--skip-silence", options.skipSilence);
    if (!parser.parse(args, options.list) || options.list.empty() || options.out.empty()) {
        if (!parser.error().empty())
            std::fprintf(stderr, "kelvra-cli: %s\n", parser.error().c_str());
        return std::nullopt;
    }
    return options;
}

}  // namespace

int automixCommand(const Args& args) {
    const std::optional<AutomixOptions> options = parse(args);
    if (!options) {
        std::fputs(kUsage, stderr);
        return 2;
    }
    session::HeadlessProgram program(session::HeadlessProgram::commandLineOptions(options->rate));
    if (!program.start()) return 1;
    audio::WavWriter wav(options->out, options->rate);
    if (!wav.ok()) {
        std::fprintf(stderr, "kelvra-cli: %s\n", wav.failureText(options->out).c_str());
        return 1;
    }
    const auto sink = [&wav](const std::int16_t* frames, std::int64_t count) {
        wav.write(frames, count);
    };
    app::MainWindow& window = program.window();
    if (options->start >= 0) window.values().AutomixStart = std::int16_t(options->start);
    if (options->skipSilence) window.values().autoSkipSilence = true;

    program.runUntil(10, sink);  // the playlist window's own load comes first
    if (!program.playlist().open_playlist(pathOf(options->list)) ||
        program.playlist().count() == 0) {
        // A list written with LF alone opens empty by design; say so rather than leave the
        // user guessing.
        const std::optional<QByteArray> content = playlist::readWholeFile(pathOf(options->list));
        if (content && playlist::endsLinesInLfAlone(*content))
            std::fprintf(stderr, "kelvra-cli: %s\n",
                         playlist::lfAloneHint(pathOf(options->list)).toLocal8Bit().constData());
        else
            std::fprintf(stderr, "kelvra-cli: %s holds no songs\n", options->list.c_str());
        return 1;
    }
    const int entries = program.playlist().count();
    QStringList songs;
    for (int i = 0; i < entries; ++i)
        songs << program.playlist().path(i);
    program.analyseAhead(songs);
    // The Auto-DJ moves on from the current entry: start from the last so the first comes first.
    program.playlist().selectLine(entries - 1);

    std::vector<autodj::CueTrack> tracks;
    Side lastStarted = Side::Left;
    auto record = [&](Side side) {
        lastStarted = side;
        const std::int64_t nowMs = program.clock().nowMs();
        tracks.push_back(
            autodj::trackFromDeckText(nowMs, window.controls().deck(side).display.displayText(),
                                      window.deck(side).songFile()));
        const std::int64_t s = nowMs / 1000;
        std::fprintf(
            stderr, "kelvra-cli: %lld:%02lld:%02lld track %zu %s\n", (long long)(s / 3600),
            (long long)(s / 60 % 60), (long long)(s % 60), tracks.size(),
            QFile::encodeName(QFileInfo(window.deck(side).songFile()).fileName()).constData());
    };
    window.autoDJ().setOnDeckStarted(record);
    // A mix plays every song whole: an entry that fails to load makes way for the following one
    // on the same deck rather than cutting off the song playing on the other.
    window.autoDJ().setAfterFailedLoad(autodj::AfterFailedLoad::SameDeck);
    if (!options->repeat) window.autoDJ().setWalk(autodj::Walk::OnePass);
    const std::int64_t clickMs = program.clock().nowMs();
    window.controls().mixer.autoDJ.click();
    if (!window.autoDJOn()) {  // every entry failed at once
        std::fprintf(stderr, "kelvra-cli: none of the songs in %s could be played\n",
                     options->list.c_str());
        return 1;
    }
    // A deck the button itself started is not one the fade started: note it as of the click.
    if (tracks.empty() &&
        playback::isStreamPlaying(program.engine(), window.deck(window.activeDeck()).stream())) {
        record(window.activeDeck());
        tracks.back().startMs = clickMs;
    }

    // Without --repeat the walk goes once through the list and the mix ends when its last song
    // has played out and the fade to it is complete.
    const Timer& fade = window.autoFadeTimer();
    const std::int64_t endMs = std::llrint(options->seconds * 1000);
    while (program.clock().nowMs() < endMs && wav.ok()) {
        program.runUntil(std::min(endMs, program.clock().nowMs() + kSliceMs), sink);
        if (!options->repeat && window.autoDJ().passComplete() && !fade.enabled() &&
            !playback::isStreamPlaying(program.engine(), window.deck(lastStarted).stream()))
            break;
        if (!window.autoDJOn()) break;
    }
    if (tracks.empty()) {
        std::fprintf(stderr, "kelvra-cli: none of the songs in %s could be played\n",
                     options->list.c_str());
        return 1;
    }
    // The sheet is written first and takes its name last, so that a failure of either file
    // leaves neither of them half written.
    CheckedSaveFile sheet(pathOf(options->cueSheet));
    const auto sheetFailed = [&] {
        std::fprintf(stderr, "kelvra-cli: cannot write %s: %s\n", options->cueSheet.c_str(),
                     sheet.reason().toUtf8().constData());
        return 1;
    };
    if (!options->cueSheet.empty()) {
        const QByteArray text =
            autodj::cueSheetText(QFileInfo(pathOf(options->out)).fileName(), tracks).toUtf8();
        if (!sheet.open() || !sheet.write(text)) return sheetFailed();
    }
    if (!wav.finish()) {
        std::fprintf(stderr, "kelvra-cli: %s\n", wav.failureText(options->out).c_str());
        return 1;
    }
    if (!options->cueSheet.empty() && !sheet.commit()) return sheetFailed();
    if (wav.full()) {
        std::fprintf(stderr, "kelvra-cli: %s\n", wav.failureText(options->out).c_str());
        return 1;
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
