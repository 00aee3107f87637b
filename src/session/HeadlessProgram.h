// The real program logic without windows: engine, settings, playlist and main window composed as
// the program composes them, on a virtual clock, with the mix rendered offline. Session scripts
// and offline mixes run on it. Dialogs are answered with their default button and told to a log.
// Thread: the owner's thread only.
#pragma once

#include <QString>
#include <QStringList>
#include <cstdint>
#include <functional>
#include <memory>

#include "app/ProgramBuilder.h"
#include "audio/engine/Engine.h"
#include "controllers/ControllerMapper.h"
#include "core/VirtualClock.h"
#include "playlist/PlaylistController.h"

namespace kelvra::audio::analysis {
class AnalysisCache;
}

namespace kelvra::session {

class HeadlessProgram {
  public:
    struct Options {
        int rate = 44100;
        QString configFolder;  // empty: a scratch folder of the program's own
        std::function<void(const QString&)> log;
        // Where the record button records: this file first, then "name-2.flac" and so on.
        // Empty: the DJMixes folder of the configuration, as the program does.
        QString recordPath = {};
    };
    // For the command line: settings in KELVRA_CONFIG_DIR when set, dialogs told to stderr.
    static Options commandLineOptions(int rate);
    using Sink = std::function<void(const std::int16_t* frames, std::int64_t count)>;

    explicit HeadlessProgram(Options options);
    ~HeadlessProgram();

    // The main window's load, as at start-up (the playlist window loads 1 ms later, on the clock).
    bool start();
    // Runs every timer and renders the mix until `ms` on the program's clock.
    void runUntil(std::int64_t ms, const Sink& sink);

    app::MainWindow& window() { return program_->window(); }
    playlist::PlaylistController& playlist() { return *controller_; }
    VirtualClock& clock() { return clock_; }
    audio::engine::Engine& engine() { return engine_; }
    int rate() const { return rate_; }
    // Starts analysing songs the run will load, on worker threads, so that analyses do not
    // queue behind each other at the loads. A load then waits for its song's result, which is
    // the same as analysing it there.
    void analyseAhead(const QStringList& paths);
    // From now on a headphone output of its own is rendered too, into `sink`; the mixer then
    // routes the cue there instead of sharing the main output with it.
    void renderPhones(Sink sink) {
        phonesSink_ = std::move(sink);
        engine_.setOfflinePhones(true);
    }
    // The controller's mapping, bound to the program's controls; there are no MIDI devices.
    controllers::ControllerMapper& controller();
    // Called after every display tick.
    void onDisplayTick(std::function<void()> callback) { displayTicked_ = std::move(callback); }

  private:
    struct Parts;
    class AnalysisAhead;
    int rate_;
    std::int64_t renderedFrames_ = 0;
    VirtualClock clock_;
    audio::engine::Engine engine_;
    std::unique_ptr<Parts> parts_;
    std::unique_ptr<audio::analysis::AnalysisCache> cache_;
    std::unique_ptr<AnalysisAhead> ahead_;
    std::unique_ptr<playlist::PlaylistController> controller_;
    std::unique_ptr<app::Program> program_;
    std::function<void()> displayTicked_;
    Sink phonesSink_;
};

}  // namespace kelvra::session
