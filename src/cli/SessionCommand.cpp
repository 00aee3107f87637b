// session SCRIPT --out OUT.wav [--rate R] [--seconds S] [--trace TRACE.tsv]: runs the program's
// own logic headless on its virtual clock, driven by a script, and renders the main mix.
#include <QFile>
#include <cstdio>
#include <fstream>
#include <optional>

#include "app/SessionRunner.h"
#include "audio/engine/WavWriter.h"
#include "cli/Commands.h"
#include "cli/OptionParser.h"
#include "core/FileHelpers.h"

namespace kelvra::cli {
namespace {

constexpr const char* kUsage =
    "usage: kelvra-cli session SCRIPT --out OUT.wav [--rate R] [--seconds S] "
    "[--trace TRACE.tsv]\n";

// A script is a few hundred lines; more than this is not one.
constexpr qint64 kLargestScript = 4ll << 20;

struct SessionOptions {
    std::string script, out, trace;
    int rate = 44100;
    double seconds = 60;
};

std::optional<SessionOptions> parse(const Args& args) {
    SessionOptions options;
    OptionParser parser;
    parser.text("--out", options.out)
        .text("--trace", options.trace)
        .number("--rate", options.rate)
        .number("--seconds", options.seconds);
    if (!parser.parse(args, options.script) || options.script.empty() || options.out.empty() ||
        options.rate < 8000 || options.rate > 192000 || !(options.seconds >= 0) ||
        options.seconds > 86400.0 * 7)
        return std::nullopt;
    return options;
}

}  // namespace

int sessionCommand(const Args& args) {
    const std::optional<SessionOptions> options = parse(args);
    if (!options) {
        std::fputs(kUsage, stderr);
        return 2;
    }
    ReadFailure failure = ReadFailure::None;
    const std::optional<QByteArray> text = readRegularFile(
        QFile::decodeName(QByteArray::fromStdString(options->script)), kLargestScript, &failure);
    if (!text) {
        std::fprintf(stderr, "kelvra-cli: cannot read %s: %s\n", options->script.c_str(),
                     qPrintable(readFailureText(failure)));
        return 1;
    }
    const app::SessionParse script = app::parseSessionScript(*text);
    if (script.errorLine != 0) {
        std::printf("error\t%d\t%s\n", script.errorLine, script.error.toUtf8().constData());
        std::fflush(stdout);
        std::fprintf(stderr, "kelvra-cli: %s: line %d is no session action\n",
                     options->script.c_str(), script.errorLine);
        return 2;
    }

    app::HeadlessProgram program(app::HeadlessProgram::commandLineOptions(options->rate));
    if (!program.start()) return 1;

    std::ofstream trace;
    if (!options->trace.empty()) {
        trace.open(options->trace);
        program.onDisplayTick([&] {
            app::MainWindow& window = program.window();
            trace << program.clock().nowMs() / 1000.0;
            for (Side side : {Side::Left, Side::Right}) {
                decks::Deck& deck = window.deck(side);
                const auto attributes = program.engine().channelAttributes(deck.stream());
                trace << '\t' << (attributes ? attributes->rate : 0) << '\t'
                      << (attributes ? attributes->volume : 0) << '\t'
                      << (attributes ? attributes->pan : 0) << '\t'
                      << window.engine().getStreamPosition(deck.stream()) << '\t'
                      << window.controls().deck(side).display.pitchText().toStdString();
            }
            trace << '\t' << window.controls().mixer.crossFader.value() << '\n';
        });
    }

    audio::engine::WavWriter wav(options->out, options->rate);
    const auto result = app::runSession(
        program, script.actions, std::llrint(options->seconds * 1000),
        [&wav](const std::int16_t* frames, std::int64_t count) { wav.write(frames, count); });
    if (result.errorLine != 0) {
        std::printf("error\t%d\t%s\n", result.errorLine, result.error.toUtf8().constData());
        return 2;
    }
    if (!wav.finish()) {
        std::fprintf(stderr, "kelvra-cli: %s\n", wav.failureText(options->out).c_str());
        return 1;
    }
    const auto stats = program.engine().stats();
    std::printf("rendered\t%.3f s\tunderruns\t%llu\tstarved frames\t%llu\n",
                result.endedAtMs / 1000.0, (unsigned long long)stats.underruns,
                (unsigned long long)stats.starvedFrames);
    return 0;
}

}  // namespace kelvra::cli
