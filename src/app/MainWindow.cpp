#include "app/MainWindow.h"

#include <QDateTime>
#include <QDir>
#include <cmath>

#include "core/FileHelpers.h"
#include "core/Rounding.h"
#include "core/Version.h"
#include "settings/SettingsStore.h"

namespace kelvra::app {
namespace {

constexpr int kTrackLengthInterval = 80;
constexpr int kAsyncInterval = 1;
constexpr int kAutoFadeInterval = autodj::kAutoFadeInterval;

const QStringList kCommandLineSongs = {".MP3", ".WAV", ".WMA", ".ASF"};

}  // namespace

MainWindow::MainWindow(MainWindowDeps deps, Shell shell)
    : deps_(std::move(deps)),
      shell_(std::move(shell)),
      engine_(deps_.library, deps_.dialogs, values_.engine,
              {[this] { return autoDJOn(); }, [this] { deps_.playlist.pressRemove(); }, {}}),
      tmrTrackLength_(deps_.clock.createTimer()),
      tmrAsync_(deps_.clock.createTimer()),
      tmrAutoFade_(deps_.clock.createTimer()),
      tmrNotice_(deps_.clock.createTimer()) {
    auto streamOf = [this](Side side) { return deck(side).stream(); };
    mixer_ = std::make_unique<decks::Mixer>(deps_.library, controls_.mixer, controls_.left,
                                            controls_.right, streamOf);
    audio::EngineDoor& door = deps_.library.door();
    left_ = std::make_unique<decks::Deck>(Side::Left, controls_.left, engine_, door, deps_.dialogs,
                                          *this, deps_.playlist, deps_.clock);
    right_ = std::make_unique<decks::Deck>(Side::Right, controls_.right, engine_, door,
                                           deps_.dialogs, *this, deps_.playlist, deps_.clock);
    left_->setOther(*right_);
    right_->setOther(*left_);
    autoDJDecks_[0] = std::make_unique<autodj::DeckAdapter>(*left_, engine_);
    autoDJDecks_[1] = std::make_unique<autodj::DeckAdapter>(*right_, engine_);
    autoDJ_ = std::make_unique<autodj::AutoDJ>(autodj::AutoDJ::Parts{
        *autoDJDecks_[0], *autoDJDecks_[1], deps_.playlist, controls_.mixer.crossFader,
        controls_.mixer.autoDJ, controls_.previousSong, controls_.nextSong, *tmrAutoFade_,
        deps_.dialogs, values_, [this] { return activeDeck_; }, deps_.silenceScanner});
    for (Side side : {Side::Left, Side::Right}) {
        auto& unit = pitch_[sideIndex(side)];
        unit = std::make_unique<decks::DeckPitch>(deck(side), door, *this, values_);
        cue_[sideIndex(side)] = std::make_unique<decks::DeckCue>(deck(side), engine_, door, *this);
        analysis_[sideIndex(side)] =
            std::make_unique<decks::DeckAnalysis>(deck(side), door, values_);
        tone_[sideIndex(side)] = std::make_unique<decks::DeckTone>(deck(side), door);
        jumps_[sideIndex(side)] = std::make_unique<decks::DeckJumps>(
            deck(side), door, *analysis_[sideIndex(side)], deps_.songs);
        loops_[sideIndex(side)] =
            std::make_unique<decks::DeckLoops>(deck(side), door, *analysis_[sideIndex(side)],
                                               *jumps_[sideIndex(side)], deps_.clock, deps_.songs);
        key_[sideIndex(side)] = std::make_unique<decks::DeckKey>(deck(side), door);
        jog_[sideIndex(side)] =
            std::make_unique<decks::DeckJog>(deck(side), door, *unit, deps_.clock);
        // After the deck's own units: the waveform and the analysis follow a new song, and a
        // deck that finished or failed under the Auto-DJ hands over to it.
        deck(side).events().loaded.connect([this, side] { songLoaded(side); });
        deck(side).events().wantsNextSong.connect([this] { autoDJ_->run_autoDJ(); });
        deck(side).events().levelsToApply.connect([this] { mixer_->run_volume_timer(); });
        deck(side).events().pitchMoved.connect([this] { run_pitchTimer_timer(); });
        decks::DeckControls& c = controls_.deck(side);
        QObject::connect(&c.pitch, &SliderModel::changed, [this] { run_pitchTimer_timer(); });
        QObject::connect(&c.pitch, &SliderModel::mousePressed, [this] { focusMixer(); });
        QObject::connect(&c.sync, &ButtonModel::clicked, [this, side] { sync(side); });
    }

    settings::Options::Hooks optionHooks;
    optionHooks.deviceDescription = [this](int device) -> std::optional<QString> {
        const auto description = deps_.library.deviceDescription(device);
        if (!description) return std::nullopt;
        return QString::fromStdString(*description);
    };
    optionHooks.applyPitch = [this] {
        pitch_[0]->changePitch();
        pitch_[1]->changePitch();
    };
    optionHooks.setCueInterval = [this](int milliseconds) {
        left_->cueTimer().setInterval(milliseconds);
        right_->cueTimer().setInterval(milliseconds);
    };
    optionHooks.djSetupChanged = [this](int setup) { controls_.setDjSetup(setup); };
    optionHooks.displayOptionsChanged = [this] { applyDisplayOptions(); };
    optionHooks.outputs.devices = [this](audio::OutputBackend backend) {
        QStringList names;
        for (const std::string& name : deps_.library.outputDevices(backend))
            names << QString::fromStdString(name);
        return names;
    };
    optionHooks.outputs.apply = [this] { applyOutput(); };
    optionHooks.outputs.status = [this] { return deps_.library.outputStatus(); };
    // A device unplugged or back, or a mapping with lines that cannot be used, is told like a
    // word about the output.
    controllers_ =
        std::make_unique<ControllerLink>(controls_, deps_.midi, [this](const QString& text) {
            outputNotice_ = text;
            tmrNotice_->setEnabled(true);
        });
    optionHooks.controllers = controllers_->optionHooks(deps_.programFolder);
    if (deps_.midi)
        QObject::connect(deps_.midi, &controllers::MidiDevices::portsChanged,
                         [this] { options_->controllers().refresh(); });
    QObject::connect(&controls_.dropouts, &ButtonModel::clicked, [this] {
        dropoutsCleared_ = deps_.library.dropouts();
        showDropouts();
    });
    options_ = std::make_unique<settings::Options>(optionsControls_, deps_.store, deps_.dialogs,
                                                   values_, deps_.programFolder, optionHooks);

    tmrTrackLength_->setOnTick([this] { tmrTrackLength_Timer(); });
    tmrNotice_->setInterval(1);
    tmrNotice_->setOnTick([this] {
        tmrNotice_->setEnabled(false);
        deps_.dialogs.message(applicationTitle(), outputNotice_, MessageButtons::Ok,
                              MessageIcon::Exclamation);
    });
    tmrAsync_->setOnTick([this] {
        deps_.playlist.ensureLoaded();
        tmrAsync_->setEnabled(false);
    });
    connectDropTargets(Side::Left);
    connectDropTargets(Side::Right);
    QObject::connect(&controls_.nextSongText, &TextModel::dragStarted,
                     [this] { startNextSongDrag(); });
    QObject::connect(&controls_.openPlaylist, &ButtonModel::clicked,
                     [this] { deps_.playlist.show(); });
    QObject::connect(&controls_.openLibrary, &ButtonModel::clicked, [this] {
        if (shell_.showLibrary) shell_.showLibrary();
    });
    KeyboardMap::Window keys;
    keys.activeDeck = [this] { return activeDeck_; };
    keys.setActiveDeck = [this](Side side) { activeDeck_ = side; };
    keys.levelsChanged = [this] { run_volume_timer(); };
    keys.showHelp = [this] { showHelp(); };
    keys.showKeyLetters = [this](bool shown) {
        if (shown)
            show_keyboard_Shortcuts();
        else
            hide_keyboard_Shortcuts();
    };
    keys.loadNextSong = [this] { autoDJ_->get_next_song(); };
    keys.focusMixer = [this] { focusMixer(); };
    keys.nudgePosition = [this](Side side, int delta) {
        DeckDisplayModel& display = controls_.deck(side).display;
        const int bar = display.positionBar();
        if ((delta > 0 && bar < 100) || (delta < 0 && bar > 1)) display.setPositionBar(bar + delta);
    };
    keys.keySheetShown = [this] { return controls_.keyboardSheet.isVisible(); };
    keys.showKeySheet = [this](bool shown) { controls_.keyboardSheet.setVisible(shown); };
    keyboard_ = std::make_unique<KeyboardMap>(controls_.registry, std::move(keys));
    makeRecorder();
}

void MainWindow::makeRecorder() {
    std::function<QString()> nextPath = deps_.recordingPath;
    if (!nextPath)
        nextPath = [folder = deps_.programFolder + "/DJMixes"] {
            return mixFilePath(folder, QDateTime::currentDateTime(), nameInUse);
        };
    auto audible = [this](Side side) { return audibleSong(side); };
    recorder_ = std::make_unique<SetRecorder>(
        SetRecorder::Parts{deps_.library, deps_.dialogs, deps_.clock, controls_.mixer.record,
                           controls_.mixer.recordText, std::move(nextPath), std::move(audible)});
}

MainWindow::~MainWindow() = default;

void MainWindow::connectDropTargets(Side side) {
    decks::DeckControls& c = controls_.deck(side);
    auto drop = [this, side] { dropOnDeck(side); };
    QObject::connect(&c.panel, &DropTargetModel::dropped, drop);
    for (ButtonModel* button :
         {&c.play, &c.pause, &c.stop, &c.cue, &c.cueBack, &c.cueForward, &c.playCue, &c.logo})
        QObject::connect(button, &ButtonModel::dropped, drop);
    QObject::connect(&c.display, &DeckDisplayModel::dropped, drop);
    QObject::connect(&c.pitch, &SliderModel::dropped, drop);
}

void MainWindow::readHelpVersion() {
    const QString version = deps_.store
                                .readSetting(settings::Hive::LocalMachine,
                                             "Software\\Microsoft\\Internet Explorer", "Version")
                                .trimmed()
                                .toLower();
    if (version.isEmpty() || version == "not found") return;
    const qsizetype first = version.indexOf(u'.');
    if (first > 0) ieMajor_ = static_cast<int>(settings::readNumber(version.left(first)));
    const qsizetype second = first >= 0 ? version.indexOf(u'.', first + 1) : -1;
    if (second > 0)
        ieMinor_ =
            static_cast<int>(settings::readNumber(version.mid(first + 1, second - first - 1)));
    if (ieMajor_ >= 4 || ieMinor_ >= 71) helpFile_ = deps_.programFolder + "/Kelvra_help.chm";
}

bool MainWindow::load(const QString& commandLine) {
    tmrTrackLength_->setInterval(kTrackLengthInterval);
    tmrAsync_->setInterval(kAsyncInterval);
    tmrAutoFade_->setInterval(kAutoFadeInterval);
    for (Timer* timer :
         {tmrTrackLength_.get(), tmrAsync_.get(), tmrAutoFade_.get(), &left_->cueTimer(),
          &right_->cueTimer(), &left_->turntableStopTimer(), &right_->turntableStopTimer()})
        timer->setEnabled(false);

    readHelpVersion();
    // A song database that could not be read was set aside: the DJ hears of it once the window
    // is up, like a word about the output.
    if (deps_.songs && !deps_.songs->notice().isEmpty()) {
        outputNotice_ = deps_.songs->notice();
        tmrNotice_->setEnabled(true);
    }

    QDir().mkpath(deps_.windowsFolder + "/Kelvra Loops");
    loopsFolder_ = deps_.windowsFolder + "/Kelvra Loops/";

    options_->load();
    controls_.setDjSetup(values_.DjSetup);
    showDisplayOptions();
    if (shell_.placeWindow) shell_.placeWindow();

    controls_.left.display.setDisplayText(kProductName);
    controls_.right.display.setDisplayText(kProductName);

    deckPan_ = -100;
    mixer_->setMonitorMode(decks::kMonitorLeft);
    left_->setSampleRate(44100);
    right_->setSampleRate(44100);
    mixer_->setMixScale(controls_.mixer.crossFader.maximum());
    controls_.mixer.crossFader.setValue(static_cast<int>(roundEven(mixer_->mixScale() / 2.0)));
    controls_.mixer.mainVolume.setValue(static_cast<int>(roundEven(mixer_->mixScale() * 0.5)));
    if (!engine_.init_BASS()) return false;
    deps_.library.setBufferLength(static_cast<float>(values_.engine.bufferSeconds));

    tmrAsync_->setEnabled(true);
    mixer_->monitorCMB_Click(2);
    left_->cueTimer().setInterval(values_.cueSearchInterval);
    right_->cueTimer().setInterval(values_.cueSearchInterval);
    hide_keyboard_Shortcuts();
    run_pitchTimer_timer();
    tmrTrackLength_->setEnabled(true);

    if (kCommandLineSongs.contains(commandLine.right(4).toUpper())) {
        deps_.playlist.loadsongs_to_playlist(commandLine);
        const QString added = deps_.playlist.addedSongPath();
        left_->setSongFile(added);
        if (!added.isEmpty()) {
            deps_.playlist.selectEntry(deps_.playlist.playlistPosition());
            left_->loadChosenFile(added);
            left_->playClick();
        }
    }

    if (shell_.showAssociationIfWanted) shell_.showAssociationIfWanted();
    if (shell_.showWindow) shell_.showWindow();
    if (shell_.closeSplash) shell_.closeSplash();
    return true;
}

void MainWindow::tmrTrackLength_Timer() {
    // Streams that played out are stopped here, once a tick, rather than by whichever query
    // happens to look first.
    deps_.library.service();
    if (const std::string notice = deps_.library.takeOutputNotice(); !notice.empty()) {
        outputNotice_ = QString::fromStdString(notice);
        tmrNotice_->setEnabled(true);
    }
    mixer_->run_VUmeterTimer();
    if (pitch_[0]->bendHeld() || pitch_[1]->bendHeld()) run_pitchTimer_timer();
    left_->updateDisplay();
    right_->updateDisplay();
    right_->rememberShownProgress();
    left_->rememberShownProgress();
    for (Side side : {Side::Left, Side::Right}) {
        deckAnalysis(side).refresh();
        deckAnalysis(side).showKeyAgainst(deckAnalysis(otherSide(side)));
        deckAnalysis(side).showTempoMatch(deckAnalysis(otherSide(side)));
        followWaveform(side);
    }
    recorder_->tick();
    noteHeardSongs();
    deps_.playlist.setMixKey(mixKey());
    if (autoDJOn()) autoDJ_->autoDJTrigger();
    showDropouts();
    if (shell_.displayTicked) shell_.displayTicked();
}

int MainWindow::mixKey() const {
    // Of two decks heard at once, the louder one carries the mix.
    int key = -1;
    int loudest = 0;
    for (Side side : {Side::Left, Side::Right}) {
        const int volume = mixer_->deckVolume(side);
        const int songKey = analysis_[sideIndex(side)]->songKey();
        if (volume > loudest && songKey >= 0 &&
            playback::isStreamPlaying(deps_.library, deck(side).stream())) {
            key = songKey;
            loudest = volume;
        }
    }
    return key;
}

double MainWindow::mixBpm() const {
    double bpm = 0;
    int loudest = 0;
    for (Side side : {Side::Left, Side::Right}) {
        const int volume = mixer_->deckVolume(side);
        const double playing = analysis_[sideIndex(side)]->effectiveBpm();
        if (volume > loudest && playing > 0 &&
            playback::isStreamPlaying(deps_.library, deck(side).stream())) {
            bpm = playing;
            loudest = volume;
        }
    }
    return bpm;
}

std::optional<AudibleSong> MainWindow::audibleSong(Side side) const {
    // Heard on the main mix: the deck plays, and the crossfader and its volumes let it through.
    const decks::Deck& d = deck(side);
    if (!playback::isStreamPlaying(deps_.library, d.stream()) || mixer_->deckVolume(side) <= 0)
        return std::nullopt;
    return AudibleSong{d.songFile(), controls_.deck(side).display.displayText()};
}

void MainWindow::noteHeardSongs() {
    if (!deps_.songHeard) return;
    for (Side side : {Side::Left, Side::Right}) {
        bool& noted = heardNoted_[sideIndex(side)];
        if (noted) continue;
        if (const std::optional<AudibleSong> song = audibleSong(side)) {
            noted = true;
            deps_.songHeard(song->path);
        }
    }
}

void MainWindow::showDropouts() {
    const audio::DropoutCounts now = deps_.library.dropouts();
    const std::uint64_t gaps = (now.underruns - dropoutsCleared_.underruns) +
                               (now.lateCallbacks - dropoutsCleared_.lateCallbacks);
    const std::uint64_t starved = now.starvedFrames - dropoutsCleared_.starvedFrames;
    ButtonModel& lamp = controls_.dropouts;
    if (gaps == 0 && starved == 0) {
        lamp.setVisible(false);
        return;
    }
    const int rate = std::max(1, values_.engine.outputRate);
    const long long starvedMs = std::llrint(double(starved) * 1000.0 / rate);
    // The count of gaps; a song read too slowly shows as silent milliseconds instead.
    lamp.setCaption(gaps > 0 ? QStringLiteral("\u26a0 %1").arg(gaps)
                             : QStringLiteral("\u26a0 %1 ms").arg(starvedMs));
    lamp.setToolTip(
        QStringLiteral("Audio dropouts: the sound stopped for a moment.\n"
                       "%1 periods reached the sound device late or not at all; "
                       "%2 ms were silent because a song could not be read fast enough.\n"
                       "A busy computer is the usual cause; a larger BUFFER in the options "
                       "helps.\nClick to clear.")
            .arg(gaps)
            .arg(starvedMs));
    lamp.setVisible(true);
}

void MainWindow::hide_keyboard_Shortcuts() {
    for (ButtonModel& hint : controls_.keyboardHints)
        hint.setVisible(false);
}

void MainWindow::show_keyboard_Shortcuts() {
    for (ButtonModel& hint : controls_.keyboardHints)
        hint.setVisible(true);
}

void MainWindow::songLoaded(Side side) {
    recorder_->songLoaded(side);
    heardNoted_[sideIndex(side)] = false;
    followWaveform(side);
    if (deps_.requestAnalysis && !deck(side).songFile().isEmpty())
        deps_.requestAnalysis(side, deck(side).songFile());
}

void MainWindow::analysisReady(Side side, const QString& path,
                               audio::analysis::AnalysisSnapshot result) {
    deckAnalysis(side).analysed(path, std::move(result));
    followWaveform(side);
}

void MainWindow::followWaveform(Side side) {
    const decks::DeckAnalysis& analysis = deckAnalysis(side);
    WaveformStripModel& strip = controls_.waveforms;
    strip.setAnalysis(side, analysis.analysis());
    if (!analysis.analysis()) return;
    strip.setCue(side, analysis.cueSeconds());
    std::array<double, 8> hotCues{-1, -1, -1, -1, -1, -1, -1, -1};
    const library::HotCues& cues = jumps(side).hotCues();
    for (std::size_t slot = 0; slot < hotCues.size(); ++slot)
        if (cues[slot])
            hotCues[slot] = playback::bytesToSeconds(deps_.library, deck(side).stream(),
                                                     std::uint32_t(*cues[slot]));
    strip.setHotCues(side, hotCues);
    const decks::DeckLoops& loop = loops(side);
    const auto seconds = [&](std::int64_t bytes) {
        return bytes < 0 ? -1.0
                         : playback::bytesToSeconds(deps_.library, deck(side).stream(),
                                                    std::uint32_t(bytes));
    };
    strip.setLoop(side, seconds(loop.loopIn()), seconds(loop.loopOut()), loop.active());
    strip.setRate(side, analysis.playbackRate());
    strip.follow(side, deps_.clock.nowMs(), analysis.positionSeconds(), analysis.playSpeed());
}

void MainWindow::showDisplayOptions() {
    controls_.waveforms.setVisible(values_.showWaveforms);
    for (Side side : {Side::Left, Side::Right})
        controls_.deck(side).display.setShowsElapsed(values_.showElapsed);
    controls_.setPlaylistDocked(values_.dockPlaylist);
}

void MainWindow::applyDisplayOptions() {
    showDisplayOptions();
    deckAnalysis(Side::Left).applyLoudness();
    deckAnalysis(Side::Right).applyLoudness();
}

// The options' output section changed: the mix moves there at once, and the decks' routing
// follows whether the headphones now have an output of their own. A failure's word for the DJ
// comes with the next display tick.
void MainWindow::applyOutput() {
    deps_.library.configureOutput(values_.engine.output);
    mixer_->run_volume_timer();
}

void MainWindow::sync(Side side) {
    deckAnalysis(side).syncTo(deckAnalysis(otherSide(side)));
    focusMixer();
}

void MainWindow::showHelp() {
    if (!helpFile_.isEmpty()) {
        if (shell_.openHelp) shell_.openHelp(helpFile_);
        return;
    }
    // The address of a browser maker whose browser shows the help file.
    deps_.dialogs.message(QStringLiteral("Help cannot start..."),
                          QStringLiteral("You need Internet Explorer 4 or higher to view the help "
                                         "file. Please download for FREE at ") +
                              QStringLiteral("https://www.mozilla.org/"),
                          MessageButtons::Ok, MessageIcon::Exclamation);
}

void MainWindow::dropOnDeck(Side side) {
    decks::Deck& target = deck(side);
    if (!libraryDrag_.isEmpty()) {
        // A song dragged from the library loads as one chosen from a file dialog does.
        const QString path = libraryDrag_.front();
        libraryDrag_.clear();
        dragFromNextSong_ = false;
        if (fileExists(path)) {
            target.loadChosenFile(path);
        } else {
            deps_.dialogs.message(applicationTitle(),
                                  "Please make sure the file exists on the disk...",
                                  MessageButtons::Ok, MessageIcon::Critical);
        }
        return;
    }
    if (deps_.playlist.count() == 0 || !dragFromNextSong_) return;
    const QString path = deps_.playlist.pathAt(deps_.playlist.playlistPosition());
    if (!fileExists(path)) {
        target.setSongFile(QString());
        deps_.dialogs.message(applicationTitle(), "Please make sure the file exists on the disk...",
                              MessageButtons::Ok, MessageIcon::Critical);
        return;
    }
    dragFromNextSong_ = false;
    target.loadChosenFile(path);
}

bool MainWindow::queryUnload() {
    auto& library = deps_.library;
    if (playback::isStreamPlaying(library, left_->stream()) ||
        playback::isStreamPlaying(library, right_->stream())) {
        deps_.dialogs.message(applicationTitle(),
                              "Can't Exit when song is playing. Pause or Stop all music before "
                              "closing...",
                              MessageButtons::Ok, MessageIcon::Exclamation);
        return false;
    }
    if (deps_.playlist.playlistChanged()) {
        const QString current = deps_.playlist.currentPlaylist();
        const QString question = current.isEmpty() ? QStringLiteral("Save Playlist? ")
                                                   : "Save Playlist to " + current + " ?";
        const MessageResult answer = deps_.dialogs.message(
            "Save Playlist...", question, MessageButtons::YesNoCancel, MessageIcon::Question);
        if (answer == MessageResult::Cancel) return false;
        if (answer == MessageResult::Yes) deps_.playlist.save_playlist();
    }
    disable_Timers();
    if (const QString problem = recorder_->stop(); !problem.isEmpty())
        deps_.dialogs.message(applicationTitle(), problem, MessageButtons::Ok,
                              MessageIcon::Exclamation);
    engine_.terminate_BASS(left_->stream(), right_->stream());
    if (shell_.unloadOtherWindows) shell_.unloadOtherWindows();
    return true;
}

void MainWindow::disable_Timers() {
    for (Timer* timer :
         {tmrTrackLength_.get(), &right_->cueTimer(), &left_->cueTimer(),
          &right_->turntableStopTimer(), &left_->turntableStopTimer(), tmrAutoFade_.get()})
        timer->setEnabled(false);
}

void MainWindow::run_pitchTimer_timer() {
    // The right deck first, then the left.
    pitch_[1]->followSliderAndBend();
    pitch_[0]->followSliderAndBend();
}

void MainWindow::setBusyPointer(bool busy) {
    if (shell_.busyPointer) shell_.busyPointer(busy);
}

void MainWindow::processEvents() {
    if (shell_.processEvents) shell_.processEvents();
}

}  // namespace kelvra::app
