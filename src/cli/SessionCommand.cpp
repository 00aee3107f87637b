// session SCRIPT --out OUT.wav [--phones PHONES.wav] [--rate R] [--seconds S] [--trace TRACE.tsv]
// [--record REC.flac] [--mapping FILE.map]: runs the program's own logic headless on its virtual
// clock, driven by a script, and renders the main mix (and a headphone output of its own, with
// --phones). The script's `end` sets the length (60 s without one); --seconds overrides it. With
// --record, the script's clicks on recordCB record the mix into REC.flac (a second recording into
// REC-2.flac,
// ...), each with its cue sheet beside it.
#include <sys/stat.h>  // stat() on Windows too

#include <QFile>
#include <QFileInfo>
#include <cmath>
#include <cstdio>
#include <optional>
#include <sstream>

#include "app/SetRecorder.h"
#include "audio/WavWriter.h"
#include "cli/Commands.h"
#include "cli/OptionParser.h"
#include "controllers/MappingFile.h"
#include "core/FileHelpers.h"
#include "core/SaveFile.h"
#include "session/SessionRunner.h"

namespace kelvra::cli {
namespace {

constexpr const char* kUsage =
    "usage: kelvra-cli session SCRIPT --out OUT.wav [--phones PHONES.wav] [--rate R] "
    "[--seconds S] [--trace TRACE.tsv] [--record REC.flac] [--mapping FILE.map]\n";

// A script is a few hundred lines; more than this is not one.
constexpr qint64 kLargestScript = 4ll << 20;

struct SessionOptions {
    std::string script, out, phones, trace, record, mapping;
    int rate = 44100;
    double seconds = -1;  // -1: as long as the script says
};

std::optional<SessionOptions> parse(const Args& args) {
    SessionOptions options;
    OptionParser parser;
    parser.text("--out", options.out)
        .text("--phones", options.phones)
        .text("--trace", options.trace)
        .text("--record", options.record)
        .text("--mapping", options.mapping)
        .number("--rate", options.rate, 8000, 192000)
        .number("--seconds", options.seconds, 0.0, session::kLongestSessionSeconds);
    if (!parser.parse(args, options.script) || options.script.empty() || options.out.empty()) {
        if (!parser.error().empty())
            std::fprintf(stderr, "kelvra-cli: %s\n", parser.error().c_str());
        return std::nullopt;
    }
    return options;
}

QString pathOf(const std::string& word) {
    return QFile::decodeName(QByteArray::fromStdString(word));
}

// Whether two names lead to one file: the same file through a link or another spelling, or, for
// a file not made yet, the same name in the same folder.
bool sameFile(const QString& a, const QString& b) {
    const QFileInfo first(a), second(b);
    if (first.exists() && second.exists()) {
#ifdef _WIN32
        return first.canonicalFilePath() == second.canonicalFilePath();
#else
        // A hard link has no one canonical name: its device and inode say it.
        struct stat one = {};
        struct stat two = {};
        return ::stat(QFile::encodeName(a).constData(), &one) == 0 &&
               ::stat(QFile::encodeName(b).constData(), &two) == 0 && one.st_dev == two.st_dev &&
               one.st_ino == two.st_ino;
#endif
    }
    const QString folderA = QFileInfo(first.absolutePath()).canonicalFilePath();
    const QString folderB = QFileInfo(second.absolutePath()).canonicalFilePath();
    return first.fileName() == second.fileName() &&
           (folderA.isEmpty() || folderB.isEmpty()
                ? first.absoluteFilePath() == second.absoluteFilePath()
                : folderA == folderB);
}

// Why the outputs asked for cannot be written as asked, or empty. Each output must be a file
// of its own, or the last one written takes the others' place; and a recording never replaces
// anything, so its file and its cue sheet must not be there yet.
std::string outputProblem(const SessionOptions& options) {
    std::vector<std::pair<std::string, QString>> outputs;
    for (const std::string* path : {&options.out, &options.phones, &options.trace}) {
        if (path->empty()) continue;
        // A file is written beside it and put in its place: over a device, a pipe or a folder
        // that would replace what is not a file at all.
        const QFileInfo info(pathOf(*path));
        if ((info.exists() || info.isSymLink()) && !info.isFile())
            return "cannot write " + *path + ": it is a folder, device or pipe, not a file";
        outputs.emplace_back(*path, pathOf(*path));
    }
    if (!options.record.empty()) {
        const QString record = pathOf(options.record);
        for (const QString& path : {record, app::cueSheetPath(record)}) {
            if (app::nameInUse(path))
                return "cannot record into " + options.record + ": " +
                       QFile::encodeName(path).toStdString() +
                       " exists already, and a recording never replaces anything";
            outputs.emplace_back(QFile::encodeName(path).toStdString(), path);
        }
    }
    for (std::size_t i = 0; i < outputs.size(); ++i)
        for (std::size_t j = i + 1; j < outputs.size(); ++j)
            if (sameFile(outputs[i].second, outputs[j].second))
                return outputs[i].first + " and " + outputs[j].first +
                       " are the same file: each output needs one of its own";
    return {};
}

// One line a display tick, written under a temporary name until the session has ended well.
// Every line reaches the system as it is written, so a full disk shows at the line it refused.
class TraceFile {
  public:
    explicit TraceFile(const std::string& path) : path_(path), file_(pathOf(path)) { file_.open(); }
    void add(const std::string& line) { file_.write(line.data(), qint64(line.size())); }
    bool ok() const { return !file_.failed(); }
    bool flush() { return ok(); }
    bool commit() { return file_.commit(); }
    std::string failureText() const {
        return "cannot write " + path_ + ": " + file_.reason().toStdString();
    }

  private:
    std::string path_;
    CheckedSaveFile file_;
};

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
    const session::SessionParse script = session::parseSessionScript(*text);
    if (script.errorLine != 0) {
        std::printf("error\t%d\t%s\n", script.errorLine, script.error.toUtf8().constData());
        std::fflush(stdout);
        std::fprintf(stderr, "kelvra-cli: %s: line %d is no session action\n",
                     options->script.c_str(), script.errorLine);
        return 2;
    }

    if (const std::string problem = outputProblem(*options); !problem.empty()) {
        std::fprintf(stderr, "kelvra-cli: %s\n", problem.c_str());
        return 1;
    }

    session::HeadlessProgram::Options programOptions =
        session::HeadlessProgram::commandLineOptions(options->rate);
    programOptions.recordPath = options->record.empty() ? QString() : pathOf(options->record);
    session::HeadlessProgram program(programOptions);
    std::optional<audio::WavWriter> phones;
    if (!options->phones.empty()) {
        phones.emplace(options->phones, options->rate);
        if (!phones->ok()) {
            std::fprintf(stderr, "kelvra-cli: %s\n", phones->failureText(options->phones).c_str());
            return 1;
        }
        program.renderPhones([&phones](const std::int16_t* frames, std::int64_t count) {
            phones->write(frames, count);
        });
    }
    if (!program.start()) return 1;
    // The script's `midi` lines play through this mapping as a controller's messages would. A
    // line that cannot be used is told and skipped, as the program does; an unreadable file
    // stops the run.
    if (!options->mapping.empty()) {
        QString error;
        const auto text = controllers::readMappingText(pathOf(options->mapping), &error);
        if (!text) {
            // The reason names the file already.
            std::fprintf(stderr, "kelvra-cli: %s\n", error.toUtf8().constData());
            return 1;
        }
        for (const controllers::MappingProblem& problem :
             program.controller().load(controllers::parseMapping(*text)))
            std::fprintf(stderr, "kelvra-cli: %s: %s\n", options->mapping.c_str(),
                         controllers::describe(problem).toUtf8().constData());
    }
    QStringList loads;
    for (const session::SessionAction& action : script.actions)
        if (action.type == session::SessionAction::Load) loads << action.path;
    program.analyseAhead(loads);

    std::optional<TraceFile> trace;
    if (!options->trace.empty()) {
        trace.emplace(options->trace);
        if (!trace->ok()) {
            std::fprintf(stderr, "kelvra-cli: %s\n", trace->failureText().c_str());
            return 1;
        }
        program.onDisplayTick([&] {
            app::MainWindow& window = program.window();
            std::ostringstream line;
            line << program.clock().nowMs() / 1000.0;
            for (Side side : {Side::Left, Side::Right}) {
                decks::Deck& deck = window.deck(side);
                const auto attributes = program.engine().channelAttributes(deck.stream());
                line << '\t' << (attributes ? attributes->rate : 0) << '\t'
                     << (attributes ? attributes->volume : 0) << '\t'
                     << (attributes ? attributes->pan : 0) << '\t'
                     << window.engine().getStreamPosition(deck.stream()) << '\t'
                     << window.controls().deck(side).display.pitchText().toStdString();
            }
            line << '\t' << window.controls().mixer.crossFader.value() << '\n';
            trace->add(line.str());
        });
    }

    audio::WavWriter wav(options->out, options->rate);
    if (!wav.ok()) {
        std::fprintf(stderr, "kelvra-cli: %s\n", wav.failureText(options->out).c_str());
        return 1;
    }
    const std::optional<double> seconds =
        options->seconds >= 0 ? std::optional(options->seconds) : std::nullopt;
    const auto result = session::runSession(
        program, script.actions, session::sessionLengthMs(script.actions, seconds),
        [&wav](const std::int16_t* frames, std::int64_t count) { wav.write(frames, count); });
    if (result.errorLine != 0) {
        std::printf("error\t%d\t%s\n", result.errorLine, result.error.toUtf8().constData());
        return 2;
    }
    // A recording still running at the end is completed as a click on the button would.
    app::SetRecorder& recorder = program.window().recorder();
    if (const QString problem = recorder.stop(); !problem.isEmpty())
        std::fprintf(stderr, "kelvra-cli: %s\n", problem.toUtf8().constData());
    const audio::RecordingStatus recorded = program.engine().recordStatus();
    // A trace that already failed fails the run before the mix takes its name.
    if (trace && !trace->flush()) {
        std::fprintf(stderr, "kelvra-cli: %s\n", trace->failureText().c_str());
        return 1;
    }
    if (!wav.finish() || wav.full()) {
        std::fprintf(stderr, "kelvra-cli: %s\n", wav.failureText(options->out).c_str());
        return 1;
    }
    if (phones && (!phones->finish() || phones->full())) {
        std::fprintf(stderr, "kelvra-cli: %s\n", phones->failureText(options->phones).c_str());
        return 1;
    }
    if (trace && !trace->commit()) {
        std::fprintf(stderr, "kelvra-cli: %s\n", trace->failureText().c_str());
        return 1;
    }
    const auto stats = program.engine().stats();
    std::printf("rendered\t%.3f s\tunderruns\t%llu\tlate periods\t%llu\tstarved frames\t%llu\n",
                result.endedAtMs / 1000.0, (unsigned long long)stats.underruns,
                (unsigned long long)stats.lateCallbacks, (unsigned long long)stats.starvedFrames);
    if (!recorder.path().isEmpty())
        std::printf("recorded\t%.3f s\t%s\n",
                    recorded.rate > 0 ? double(recorded.frames) / recorded.rate : 0.0,
                    QFile::encodeName(recorder.path()).constData());
    // The mix is there, but a recording asked for is not whole, or did not start at all.
    return recorded.failed || recorder.anyFailed() ? 1 : 0;
}

}  // namespace kelvra::cli
