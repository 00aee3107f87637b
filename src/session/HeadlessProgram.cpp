#include "session/HeadlessProgram.h"

#include "audio/analysis/AnalysisCache.h"

#include <QTemporaryDir>
#include <algorithm>
#include <condition_variable>
#include <cstdio>
#include <map>
#include <mutex>
#include <optional>
#include <thread>
#include <vector>

#include "app/PlaylistWindowAdapter.h"
#include "core/FileHelpers.h"
#include "playlist/TagTitles.h"
#include "settings/IniSettingsStore.h"

namespace kelvra::session {
namespace {

// Every box answered as Enter would answer it; every file dialog cancelled.
class DefaultAnswers final : public Dialogs {
  public:
    explicit DefaultAnswers(std::function<void(const QString&)> log) : log_(std::move(log)) {}
    MessageResult message(const QString& title, const QString& text, MessageButtons buttons,
                          MessageIcon) override {
        tell("message\t" + title + "\t" + QString(text).replace('\r', ' ').replace('\n', ' '));
        return buttons == MessageButtons::Ok || buttons == MessageButtons::OkCancel
                   ? MessageResult::Ok
                   : MessageResult::Yes;
    }
    QStringList openFiles(const FileDialogRequest& request) override {
        tell("open-dialog\t" + request.title + "\tcancelled");
        return {};
    }
    QString saveFile(const FileDialogRequest& request) override {
        tell("save-dialog\t" + request.title + "\tcancelled");
        return {};
    }

  private:
    void tell(const QString& line) {
        if (log_) log_(line);
    }
    std::function<void(const QString&)> log_;
};

}  // namespace

// Songs analysed ahead by a few worker threads, in the order given (the order they are needed).
class HeadlessProgram::AnalysisAhead {
  public:
    AnalysisAhead(audio::analysis::AnalysisCache cache, QStringList paths)
        : cache_(std::move(cache)), paths_(std::move(paths)) {
        paths_.removeDuplicates();
        const unsigned threads = std::clamp(std::thread::hardware_concurrency(), 1u, 4u);
        for (unsigned i = 0; i < threads && i < unsigned(paths_.size()); ++i)
            workers_.emplace_back([this](std::stop_token stop) { work(stop); });
    }
    ~AnalysisAhead() {
        for (std::jthread& worker : workers_)
            worker.request_stop();
    }

    // The analysis of `path` when it was asked for ahead (waiting for it); nothing otherwise.
    std::optional<audio::analysis::AnalysisSnapshot> take(const QString& path) {
        if (!paths_.contains(path)) return std::nullopt;
        std::unique_lock lock(mutex_);
        finished_.wait(lock, [&] { return done_.count(path) > 0; });
        return done_[path];
    }

  private:
    void work(std::stop_token stop) {
        for (;;) {
            QString path;
            {
                std::lock_guard lock(mutex_);
                if (next_ >= paths_.size() || stop.stop_requested()) return;
                path = paths_[next_++];
            }
            auto analysis = audio::analysis::analyseCached(cache_, path, stop);
            std::lock_guard lock(mutex_);
            done_[path] = std::move(analysis);
            finished_.notify_all();
        }
    }

    const audio::analysis::AnalysisCache cache_;
    QStringList paths_;
    std::mutex mutex_;
    std::condition_variable finished_;
    qsizetype next_ = 0;
    std::map<QString, audio::analysis::AnalysisSnapshot> done_;
    std::vector<std::jthread> workers_;  // last: joined before the rest goes
};

struct HeadlessProgram::Parts {
    std::unique_ptr<QTemporaryDir> scratch;
    std::unique_ptr<DefaultAnswers> dialogs;
    std::unique_ptr<settings::IniSettingsStore> store;
    std::unique_ptr<playlist::TitleService> titles;
    std::unique_ptr<app::PlaylistWindowAdapter> port;
    QString folder;
};

HeadlessProgram::Options HeadlessProgram::commandLineOptions(int rate) {
    return {rate, qEnvironmentVariable("KELVRA_CONFIG_DIR"),
            [](const QString& line) { std::fprintf(stderr, "%s\n", line.toUtf8().constData()); }};
}

HeadlessProgram::HeadlessProgram(Options options)
    : rate_(options.rate), parts_(std::make_unique<Parts>()) {
    Parts& p = *parts_;
    p.folder = options.configFolder;
    if (p.folder.isEmpty()) {
        p.scratch = std::make_unique<QTemporaryDir>();
        p.folder = p.scratch->path();
    }
    engine_.renderOfflineOnInit(std::uint32_t(rate_));
    p.dialogs = std::make_unique<DefaultAnswers>(options.log);
    p.store = std::make_unique<settings::IniSettingsStore>(p.folder);
    // Titles are read on the clock's ticks, so a session is the same on every run.
    p.titles = playlist::makeChunkedTitleService(clock_, playlist::tagTitleReaderFactory()());
    controller_ =
        std::make_unique<playlist::PlaylistController>(*p.dialogs, *p.store, *p.titles, p.folder);
    p.port = std::make_unique<app::PlaylistWindowAdapter>(
        *controller_, app::PlaylistWindowAdapter::Window{}, QString());
    app::Shell shell;
    shell.displayTicked = [this] {
        if (displayTicked_) displayTicked_();
    };
    app::ProgramBuilder builder(engine_, *p.dialogs, *p.store, clock_, *p.port);
    builder.folders(p.folder, p.folder).shell(std::move(shell));
    if (!options.recordPath.isEmpty())
        builder.recordings([path = options.recordPath, count = 0]() mutable {
            return app::numberedPath(path, ++count);
        });
    // Skip silence works here as in the program, with the scan done at once: the mix must not
    // depend on when a worker finishes.
    builder.skipSilence(autodj::makeImmediateSilenceScanner());
    // Hot cues are remembered in the configuration's own song database: a session with a
    // scratch configuration starts from none, the same on every run.
    builder.songDatabase(p.folder + QStringLiteral("/library.sqlite"), false);
    // Analysed at once, on this thread, unless analysed ahead: a render may wait for it, and
    // must not depend on when a worker happens to finish.
    cache_ = std::make_unique<audio::analysis::AnalysisCache>(
        options.configFolder.isEmpty() ? audio::analysis::AnalysisCache::defaultFolder()
                                       : options.configFolder + QStringLiteral("/cache"));
    builder.analysis([this](Side side, const QString& path) {
        std::optional<audio::analysis::AnalysisSnapshot> ahead;
        if (ahead_) ahead = ahead_->take(path);
        window().analysisReady(side, path,
                               ahead ? *ahead : audio::analysis::analyseCached(*cache_, path));
    });
    program_ = builder.build();
}

HeadlessProgram::~HeadlessProgram() {
    program_.reset();
    controller_.reset();
    ahead_.reset();
}

void HeadlessProgram::analyseAhead(const QStringList& paths) {
    ahead_ = std::make_unique<AnalysisAhead>(*cache_, paths);
}

bool HeadlessProgram::start() {
    return window().load(QString());
}

void HeadlessProgram::runUntil(std::int64_t ms, const Sink& sink) {
    std::vector<std::int16_t> buffer, phones;
    while (clock_.nowMs() < ms) {
        // Render up to the next moment a timer fires, then let it fire: every engine call a tick
        // makes lands exactly at its own sample.
        const std::int64_t next = std::max(clock_.nowMs() + 1, clock_.nextDue(ms));
        const std::int64_t target = std::int64_t(next) * rate_ / 1000;
        std::int64_t frames = target - renderedFrames_;
        while (frames > 0) {
            const std::int64_t n = std::min<std::int64_t>(frames, 4096);
            buffer.resize(std::size_t(2 * n));
            phones.resize(phonesSink_ ? std::size_t(2 * n) : 0);
            engine_.render(buffer.data(), n, phonesSink_ ? phones.data() : nullptr);
            if (sink) sink(buffer.data(), n);
            if (phonesSink_) phonesSink_(phones.data(), n);
            renderedFrames_ += n;
            frames -= n;
        }
        clock_.advance(next - clock_.nowMs());
    }
}

controllers::ControllerMapper& HeadlessProgram::controller() {
    return window().controllers().mapper();
}

}  // namespace kelvra::session
