#include "app/Application.h"

#include <QDir>
#include <QFile>

#include <QApplication>
#include <QCursor>
#include <QDateTime>
#include <QDesktopServices>
#include <QEventLoop>
#include <QFileInfo>
#include <QScreen>
#include <QUrl>
#include <cmath>

#include "app/ApplicationParts.h"
#include "app/FirstPaintMarker.h"
#include "app/InitialisationChecks.h"
#include "audio/CreateAudioLibrary.h"
#include "controllers/MappingFile.h"
#include "library/SongTags.h"
#include "playlist/TagTitles.h"
#include "tags/DisplayText.h"
#include "tags/TagEditor.h"
#include "tags/ui/TagEditorWindow.h"

namespace kelvra::app {

Application::Application(QString programFolder, QString commandLine)
    : parts_(std::make_unique<Parts>()) {
    Parts& p = *parts_;
    p.programFolder = std::move(programFolder);
    p.commandLine = std::move(commandLine);
    p.clock = makeQtClock();
    p.library = audio::createAudioLibrary();
    p.store = std::make_unique<settings::IniSettingsStore>();
    p.store->setReporter([&p](const QString& text) {
        p.dialogs.message(QStringLiteral("Kelvra Settings"), text, MessageButtons::Ok,
                          MessageIcon::Exclamation);
    });
    p.titles = playlist::makeThreadedTitleService(playlist::tagTitleReaderFactory(),
                                                  playlist::defaultTitleThreads());
    // The add-songs and playlist dialogs start in these folders; one that does not exist would
    // send them to the working folder instead.
    p.ownFolders = makeProgramFolders(p.programFolder, windowsFolder());
    p.controller = std::make_unique<playlist::PlaylistController>(p.dialogs, *p.store, *p.titles,
                                                                  p.ownFolders);
    p.splashView = std::make_unique<SplashView>(p.splashControls);
    p.splash = std::make_unique<Splash>(
        p.splashControls, *p.clock, p.searchPath, p.programFolder,
        Splash::Hooks{[this] { loadMainWindow(); },
                      [this] { return parts_->controller->playlistPosition(); },
                      [this](bool busy) { parts_->busy.set(busy); }});
}

Application::~Application() {
    // Views before the logic they draw, and both before the engine.
    Parts& p = *parts_;
    p.watcher.reset();  // its scans stop before the library and the window they feed
    p.libraryView.reset();
    p.libraryBrowser.reset();
    p.associateView.reset();
    p.optionsView.reset();
    p.playlistWindow.reset();
    p.mainView.reset();
    p.splashView.reset();
}

Application::Parts& Application::parts() {
    return *parts_;
}
bool Application::mainWindowShown() const {
    return parts_->mainView && parts_->mainView->isVisible();
}
bool Application::startFailed() const {
    return parts_->failed;
}

void Application::start() {
    Parts& p = *parts_;
    p.splash->load();
    if (QScreen* screen = QGuiApplication::primaryScreen()) {
        const QRect area = screen->availableGeometry();
        p.splashView->move(area.center() - p.splashView->rect().center());
    }
    p.splashView->show();
}

void Application::loadMainWindow() {
    Parts& p = *parts_;
    if (!runInitialisationChecks(p.programFolder, *p.library, p.dialogs)) {
        p.fail();
        return;
    }
    p.playlistWindow = std::make_unique<playlist::PlaylistWindow>(*p.controller, p.dialogs);
    playlist::PlaylistWindow& window = *p.playlistWindow;
    p.playlistPort = std::make_unique<PlaylistWindowAdapter>(
        *p.controller,
        PlaylistWindowAdapter::Window{[&window](const QString& line) { window.load(line); },
                                      [&window] { window.showCentred(); }},
        p.commandLine);

    Shell shell;
    shell.placeWindow = [&p] { p.mainView->placeOnScreen(); };
    shell.showWindow = [&p] { p.mainView->show(); };
    shell.closeSplash = [&p] {
        p.splash->close();
        p.splashView->close();
        p.busy.set(false);
    };
    shell.unloadOtherWindows = [&p] {
        if (p.optionsView) p.optionsView->hide();
        p.logic->options().unload();
        if (p.playlistWindow) {
            if (p.playlistWindow->searchWindow()) p.playlistWindow->searchWindow()->close();
            p.playlistWindow->hide();
        }
        if (p.learnView) p.learnView->hide();
        if (p.libraryView) p.libraryView->hide();
        p.controller->closeForGood();
    };
    shell.busyPointer = [&p](bool busy) { p.busy.set(busy); };
    shell.showAssociationIfWanted = [&p] { p.offerAssociations(); };
    shell.processEvents = [] { QCoreApplication::processEvents(); };
    shell.openHelp = [](const QString& file) {
        QDesktopServices::openUrl(QUrl::fromLocalFile(file));
    };
    shell.showLibrary = [&p] { p.showLibrary(); };

    ProgramBuilder builder(*p.library, p.dialogs, *p.store, *p.clock, *p.playlistPort);
    builder.folders(p.programFolder, windowsFolder())
        .shell(std::move(shell))
        .recordings([folder = p.ownFolders + "/DJMixes"] {
            return mixFilePath(folder, QDateTime::currentDateTime(), nameInUse);
        })
        .skipSilence(autodj::makeThreadedSilenceScanner())
        .songDatabase(library::SongStore::defaultPath(), true)
        .afterHeard([&p] {
            if (!p.libraryBrowser) return;
            p.songLibrary->writer().flush();
            p.libraryBrowser->refresh();
        });
    p.analyser = std::make_unique<audio::analysis::BackgroundAnalyser>(
        audio::analysis::AnalysisCache(audio::analysis::AnalysisCache::defaultFolder()));
    builder.analysis(
        [&p](Side side, const QString& path) { p.analyser->requestAnalysis(side, path); });
    // Every analysis that comes back, for a deck or ahead of one, shows in the playlist too.
    auto showInPlaylist = [&p](const QString& path,
                               const audio::analysis::AnalysisSnapshot& result) {
        if (!result) return;
        p.controller->model().setSongFacts(path, {result->bpm, result->key, result->tempoChanges});
        // The library learns it too, for its tempo and key columns and the compatible filter.
        if (p.songLibrary && p.songLibrary->isOpen())
            library::recordAnalysis(*p.songLibrary, path, result);
    };
    QObject::connect(p.analyser.get(), &audio::analysis::BackgroundAnalyser::analysed,
                     [&p, showInPlaylist](Side side, const QString& path,
                                          audio::analysis::AnalysisSnapshot result) {
                         showInPlaylist(path, result);
                         if (p.logic) p.logic->analysisReady(side, path, std::move(result));
                     });
    QObject::connect(p.analyser.get(), &audio::analysis::BackgroundAnalyser::warmed,
                     showInPlaylist);
    QObject::connect(p.controller.get(), &playlist::PlaylistController::songsAdded,
                     p.analyser.get(), &audio::analysis::BackgroundAnalyser::warmCache);
    // The MIDI devices follow the audio's system (JACK or the ALSA sequencer).
    p.midi =
        std::make_unique<controllers::MidiDevices>(*p.clock, controllers::midiApiFromEnvironment());
    builder.midi(p.midi.get());
    p.program = builder.build();
    p.logic = &p.program->window();
    p.songLibrary = p.program->songLibrary();
    if (p.songLibrary->isOpen()) {
        // The library's folders are kept up to date while the program runs; what changed while
        // it was closed comes in first. The watcher scans on a thread of its own.
        p.watcher = std::make_unique<library::FolderWatcher>(*p.songLibrary, *p.clock,
                                                             audio::createAudioLibrary(), nullptr);
        // The songs the library has no tempo or key for are analysed when nothing else wants
        // the analyser: those left from before at once, and whatever a scan brings in after it.
        p.libraryAnalyser = std::make_unique<library::LibraryAnalyser>(*p.songLibrary, *p.analyser);
        QObject::connect(p.watcher.get(), &library::FolderWatcher::libraryChanged, [&p] {
            if (p.libraryBrowser) p.libraryBrowser->refresh();
            p.libraryAnalyser->start();
        });
        p.watcher->start();
        p.libraryAnalyser->start();
    }
    p.mainView = std::make_unique<MainWindowView>(p.logic->controls());
    markFirstPaint(*p.mainView);
    p.mainView->setClock(*p.clock);
    p.mainView->setKeyboard(p.logic->keyboard());
    p.dialogs.setParent(p.mainView.get());
    p.mainView->setCloseGuard([&p] { return p.logic->queryUnload(); });
    p.mainView->setPlaylistWindow(p.playlistWindow.get());
    p.bindMainWindow();

    if (!p.logic->load(p.commandLine)) {
        p.fail();
        return;
    }
    // The options are read by the main window's load.
    p.analyser->setCacheSizeLimit(p.logic->values().analysisCacheMegabytes << 20);
    if (!p.extraFiles.isEmpty()) p.controller->loadsongs_to_playlist(p.extraFiles);
}

void Application::addAfterStart(const QStringList& files) {
    parts_->extraFiles = files;
}

QStringList extraFilesOf(const QStringList& words) {
    if (words.size() < 2) return {};
    for (const QString& word : words)
        if (!QFileInfo(word).isFile()) return {};
    return words.mid(1);
}

void Application::Parts::fail() {
    failed = true;
    splash->close();
    if (splashView) splashView->close();
    busy.set(false);
    QCoreApplication::exit(1);
}

void Application::Parts::bindMainWindow() {
    MainControls& c = logic->controls();
    QObject::connect(controller.get(), &playlist::PlaylistController::nextSongChanged,
                     [&c](const QString& line) { c.nextSongText.setText(line); });
    QObject::connect(&c.mixer.options, &ButtonModel::clicked, [this] { showOptions(); });
    QObject::connect(&logic->optionsControls().associate, &ButtonModel::clicked,
                     [this] { showAssociationsModal(); });
    QObject::connect(&logic->optionsControls().midiLearn, &ButtonModel::clicked,
                     [this] { showLearn(); });
    QObject::connect(controller.get(), &playlist::PlaylistController::editTagsRequested,
                     [this](int row) { editTags(row); });
}

void Application::Parts::loadAssociations() {
    if (!associations) {
        const QString program = programFolder + QStringLiteral("/kelvra");
        desktop = std::make_unique<settings::XdgDesktopAssociations>(
            settings::XdgDesktopAssociations::forUser(program));
        associations = std::make_unique<settings::FileAssociations>(
            associateControls, *store, desktop.get(), program, logic->values().optStartUp,
            settings::FileAssociations::Hooks{[this] {
                                                  associateView->hide();
                                                  if (associateLoop) associateLoop->quit();
                                              },
                                              [this](bool on) { busy.set(on); }});
        associateView =
            std::make_unique<settings::AssociateWindow>(associateControls, mainView.get());
        QObject::connect(associateView.get(), &settings::AssociateWindow::cancelled,
                         [this] { associations->cancel(); });
        // A desktop file that could not be read is left alone; the user hears why.
        QObject::connect(associations.get(), &settings::FileAssociations::notSaved,
                         [this](const QString& message) {
                             dialogs.message(QStringLiteral("Kelvra"), message, MessageButtons::Ok,
                                             MessageIcon::Exclamation);
                         });
    }
    associations->load();
}

void Application::Parts::offerAssociations() {
    loadAssociations();
    if (!associations->showAtStartUp()) return;
    associateView->setWindowModality(Qt::NonModal);
    associateView->show();
    associateView->placeOnScreen();
}

void Application::Parts::showAssociationsModal() {
    loadAssociations();
    associateView->hide();
    associateView->setWindowModality(Qt::ApplicationModal);
    associateView->show();
    associateView->placeOnScreen();
    associateView->raise();
    QEventLoop loop;
    associateLoop = &loop;
    loop.exec();
    associateLoop = nullptr;
}

void Application::Parts::editTags(int row) {
    const QString path = controller->path(row);
    if (path.isEmpty()) return;
    // The window keeps nothing between openings: controls, logic and view live for this one.
    tags::TagEditorControls controls;
    tags::TagEditorWindow view(controls, playlistWindow.get());
    view.setWindowModality(Qt::ApplicationModal);
    QEventLoop loop;
    tags::TagEditor editor(
        controls, *library, dialogs, tagWriter, path,
        {[this, row](const QString& title) { controller->tagsSaved(row, title); },
         [&view, &loop] {
             view.hide();
             loop.quit();
         },
         [this](bool on) { busy.set(on); }});
    editor.load();
    busy.set(false);
    view.show();
    view.placeOnScreen();
    view.activateWindow();
    loop.exec();
}

void Application::Parts::showOptions() {
    if (!optionsView) {
        optionsView =
            std::make_unique<settings::OptionsWindowView>(logic->optionsControls(), mainView.get());
        QObject::connect(optionsView.get(), &settings::OptionsWindowView::closed,
                         [this] { logic->options().unload(); });
    } else {
        // Shown again after having been closed: the window loads afresh.
        logic->options().load();
    }
    optionsView->show();
    optionsView->placeOnScreen();
    optionsView->raise();
}

void Application::Parts::showLibrary() {
    if (!songLibrary || !songLibrary->isOpen()) {
        dialogs.message(logic->applicationTitle(),
                        QStringLiteral("The song library cannot be opened: %1")
                            .arg(songLibrary ? songLibrary->notice() : QString()),
                        MessageButtons::Ok, MessageIcon::Critical);
        return;
    }
    if (!libraryView) {
        libraryBrowser = std::make_unique<library::LibraryBrowser>(library::LibraryBrowser::Parts{
            *songLibrary, *store, dialogs,
            QCoreApplication::applicationDirPath() + QStringLiteral("/kelvra-cli"),
            library::SongStore::defaultPath(),
            [this]() -> std::optional<library::MixReference> {
                const double bpm = logic->mixBpm();
                const int key = logic->mixKey();
                if (bpm <= 0 && key < 0) return std::nullopt;
                return library::MixReference{bpm, key, logic->mixSongs()};
            },
            libraryAnalyser.get()});
        // Owned by the main window: one of its windows, which never keeps the program running
        // once the main window has closed.
        libraryView = std::make_unique<library::LibraryWindow>(*libraryBrowser, mainView.get());
        QObject::connect(libraryView.get(), &library::LibraryWindow::loadRequested,
                         [this](const QString& path, library::DeckChoice choice) {
                             const Side side = choice == library::DeckChoice::Left ? Side::Left
                                               : choice == library::DeckChoice::Right
                                                   ? Side::Right
                                                   : logic->activeDeck();
                             // Loaded as a drop of the song from the library is.
                             logic->setLibraryDrag({path});
                             if (side == Side::Left)
                                 logic->do_dragDrop();
                             else
                                 logic->do_dragdrop_RIGHT();
                         });
        QObject::connect(libraryView.get(), &library::LibraryWindow::songDragStarted,
                         [this](const QStringList& paths) { logic->setLibraryDrag(paths); });
        QObject::connect(libraryView.get(), &library::LibraryWindow::songDragEnded,
                         [this] { logic->setLibraryDrag({}); });
        QObject::connect(
            libraryView.get(), &library::LibraryWindow::addToPlaylistRequested,
            [this](const QStringList& paths) { controller->loadsongs_to_playlist(paths); });
    }
    libraryBrowser->refresh();
    libraryView->showClearOf(mainView->mixingSurface());
}

void Application::Parts::showLearn() {
    ControllerLink& link = logic->controllers();
    // Learning writes into the DJ's own folder: a shipped mapping is copied there first.
    const QString own = controllers::mappingFolder();
    QString path = link.mappingPath();
    if (path.isEmpty()) {
        path = own + QStringLiteral("my-controller.map");
    } else if (QFileInfo(path).absolutePath() != QFileInfo(own).absolutePath()) {
        const QString copy = own + QFileInfo(path).fileName();
        QDir().mkpath(own);
        if (!QFileInfo::exists(copy)) QFile::copy(path, copy);
        QFile(copy).setPermissions(QFile(copy).permissions() | QFileDevice::WriteOwner);
        path = copy;
    }
    std::vector<controllers::LearnTarget> targets;
    for (const auto& control : logic->controls().registry.all()) {
        using controllers::ControlKind;
        const ControlKind kinds[] = {ControlKind::Button, ControlKind::Slider, ControlKind::Jog};
        if (control->type() == ControlType::Text) continue;
        targets.push_back({control->name, control->index, kinds[static_cast<int>(control->type())],
                           control->caption});
    }
    // Owned by the options window it is opened from, it takes input while that one is modal.
    learnView =
        std::make_unique<controllers::LearnWindow>(std::move(targets), path, optionsView.get());
    learnView->setAttribute(Qt::WA_DeleteOnClose, false);
    learnView->setWindowTitle(QStringLiteral("Kelvra - MIDI Learn"));
    // Learning lasts while the window is open; the first message after it closes plays again.
    link.setLearner([this](const controllers::MidiMessage& message) {
        if (learnView && learnView->isVisible()) {
            learnView->offer(message);
            return;
        }
        logic->controllers().setLearner(nullptr);
        logic->controllers().mapper().handle(message);
    });
    QObject::connect(learnView.get(), &controllers::LearnWindow::mappingWritten,
                     [this](const QString& written) {
                         logic->options().controllers().useMappingFile(written);
                         logic->controllers().useMapping(written, true);
                     });
    learnView->show();
    learnView->raise();
}

}  // namespace kelvra::app
