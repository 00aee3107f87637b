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

constexpr int kAsyncInterval = 1;

const QStringList kCommandLineSongs = {".MP3", ".WAV", ".WMA", ".ASF"};

}  // namespace

MainWindow::MainWindow(MainWindowDeps deps, Shell shell)
    : deps_(std::move(deps)), shell_(std::move(shell)) {
    std::function<QString()> nextPath = deps_.recordingPath;
    if (!nextPath)
        nextPath = [folder = deps_.programFolder + "/DJMixes"] {
            return mixFilePath(folder, QDateTime::currentDateTime(), nameInUse);
        };
    session_ = std::make_unique<SessionModel>(
        SessionModel::Parts{deps_.library, deps_.dialogs, deps_.clock, deps_.playlist, controls_,
                            values_, deps_.deckTitle, std::move(nextPath), deps_.silenceScanner,
                            deps_.requestAnalysis, deps_.songs,
                            [this](bool busy) {
                                if (shell_.busyPointer) shell_.busyPointer(busy);
                            },
                            [this] {
                                if (shell_.processEvents) shell_.processEvents();
                            }});
    tmrAsync_ = deps_.clock.createTimer();
    tmrNotice_ = deps_.clock.createTimer();
    // What the session tells the window and the program around it.
    SessionEvents& events = session_->events();
    events.mix.connect([this](int key, double) { deps_.playlist.setMixKey(key); });
    events.heard.connect([this](const QString& path) {
        if (deps_.songHeard) deps_.songHeard(path);
    });
    events.outputNotice.connect([this](const QString& text) { tellLater(text); });
    effectCatalogue_ = std::make_unique<effects::EffectCatalogue>(
        deps_.effectPlugins ? deps_.effectPlugins : effects::EffectCatalogue::installedPlugins);
    effects_ = std::make_unique<effects::EffectUnits>(deps_.library.door().effectUnits(),
                                                      *effectCatalogue_, controls_.effects,
                                                      &deps_.store);
    events.ticked.connect([this] {
        followEffectTempos();
        showDropouts();
        if (shell_.displayTicked) shell_.displayTicked();
    });

    settings::Options::Hooks optionHooks;
    optionHooks.deviceDescription = [this](int device) -> std::optional<QString> {
        const auto description = deps_.library.deviceDescription(device);
        if (!description) return std::nullopt;
        return QString::fromStdString(*description);
    };
    optionHooks.applyPitch = [this] {
        pitch(Side::Left).changePitch();
        pitch(Side::Right).changePitch();
    };
    optionHooks.setCueInterval = [this](int milliseconds) {
        deck(Side::Left).cueTimer().setInterval(milliseconds);
        deck(Side::Right).cueTimer().setInterval(milliseconds);
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
    controllers_ = std::make_unique<ControllerLink>(
        controls_, deps_.midi, [this](const QString& text) { tellLater(text); });
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
    keys.activeDeck = [this] { return activeDeck(); };
    keys.setActiveDeck = [this](Side side) { setActiveDeck(side); };
    keys.levelsChanged = [this] { run_volume_timer(); };
    keys.showHelp = [this] { showHelp(); };
    keys.showKeyLetters = [this](bool shown) {
        if (shown)
            show_keyboard_Shortcuts();
        else
            hide_keyboard_Shortcuts();
    };
    keys.loadNextSong = [this] { autoDJ().get_next_song(); };
    keys.focusMixer = [this] { session_->focusMixer(); };
    keys.nudgePosition = [this](Side side, int delta) {
        DeckDisplayModel& display = controls_.deck(side).display;
        const int bar = display.positionBar();
        if ((delta > 0 && bar < 100) || (delta < 0 && bar > 1)) display.setPositionBar(bar + delta);
    };
    keys.keySheetShown = [this] { return controls_.keyboardSheet.isVisible(); };
    keys.showKeySheet = [this](bool shown) { controls_.keyboardSheet.setVisible(shown); };
    keyboard_ = std::make_unique<KeyboardMap>(controls_.registry, std::move(keys));
}

// Beat-synced effects follow the tempo each bus plays at: a deck's own, pitch included, and the
// main mix's (the louder heard deck's) for the main mix and the headphones.
void MainWindow::followEffectTempos() {
    effects_->setTempo(audio::fx::Bus::LeftDeck, deckAnalysis(Side::Left).effectiveBpm());
    effects_->setTempo(audio::fx::Bus::RightDeck, deckAnalysis(Side::Right).effectiveBpm());
    effects_->setTempo(audio::fx::Bus::Main, mixBpm());
    effects_->setTempo(audio::fx::Bus::Phones, mixBpm());
    effects_->tick();
}

void MainWindow::tellLater(const QString& text) {
    outputNotice_ = text;
    tmrNotice_->setEnabled(true);
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
    tmrAsync_->setInterval(kAsyncInterval);
    tmrAsync_->setEnabled(false);
    session_->disableTimers();

    readHelpVersion();
    // A song database that could not be read was set aside: the DJ hears of it once the window
    // is up, like a word about the output.
    if (deps_.songs && !deps_.songs->notice().isEmpty()) tellLater(deps_.songs->notice());

    QDir().mkpath(deps_.windowsFolder + "/Kelvra Loops");
    loopsFolder_ = deps_.windowsFolder + "/Kelvra Loops/";

    options_->load();
    effects_->restore();
    controls_.setDjSetup(values_.DjSetup);
    showDisplayOptions();
    if (shell_.placeWindow) shell_.placeWindow();

    controls_.left.display.setDisplayText(kProductName);
    controls_.right.display.setDisplayText(kProductName);

    session_->setStartValues();
    if (!session_->openOutput()) return false;

    tmrAsync_->setEnabled(true);
    hide_keyboard_Shortcuts();
    session_->start();

    if (kCommandLineSongs.contains(commandLine.right(4).toUpper())) {
        deps_.playlist.loadsongs_to_playlist(commandLine);
        const QString added = deps_.playlist.addedSongPath();
        decks::Deck& left = deck(Side::Left);
        left.setSongFile(added);
        if (!added.isEmpty()) {
            deps_.playlist.selectEntry(deps_.playlist.playlistPosition());
            left.loadChosenFile(added);
            left.playClick();
        }
    }

    if (shell_.showAssociationIfWanted) shell_.showAssociationIfWanted();
    if (shell_.showWindow) shell_.showWindow();
    if (shell_.closeSplash) shell_.closeSplash();
    return true;
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

void MainWindow::showDisplayOptions() {
    controls_.waveforms.setVisible(values_.showWaveforms);
    for (Side side : {Side::Left, Side::Right})
        controls_.deck(side).display.setShowsElapsed(values_.showElapsed);
    controls_.setPlaylistDocked(values_.dockPlaylist);
}

void MainWindow::applyDisplayOptions() {
    showDisplayOptions();
    session_->applyLoudness();
}

// The options' output section changed: the mix moves there at once, and the decks' routing
// follows whether the headphones now have an output of their own. A failure's word for the DJ
// comes with the next display tick.
void MainWindow::applyOutput() {
    deps_.library.configureOutput(values_.engine.output);
    run_volume_timer();
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
    if (session_->anyDeckPlaying()) {
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
    session_->disableTimers();
    if (const QString problem = recorder().stop(); !problem.isEmpty())
        deps_.dialogs.message(applicationTitle(), problem, MessageButtons::Ok,
                              MessageIcon::Exclamation);
    engine().terminate_BASS(deck(Side::Left).stream(), deck(Side::Right).stream());
    if (shell_.unloadOtherWindows) shell_.unloadOtherWindows();
    return true;
}

}  // namespace kelvra::app
