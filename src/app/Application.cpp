#include "app/Application.h"

#include <QApplication>
#include <QCursor>
#include <QScreen>

#include "app/ApplicationParts.h"
#include "app/InitialisationChecks.h"
#include "audio/CreateAudioLibrary.h"
#include "playlist/TagTitles.h"
#include "tags/DisplayText.h"

namespace kelvra::app {

Application::Application(QString programFolder, QString commandLine)
    : parts_(std::make_unique<Parts>()) {
    Parts& p = *parts_;
    p.programFolder = std::move(programFolder);
    p.commandLine = std::move(commandLine);
    p.clock = makeQtClock();
    p.library = audio::createAudioLibrary();
    p.store = std::make_unique<settings::IniSettingsStore>();
    p.titles = playlist::makeThreadedTitleService(playlist::tagTitleReaderFactory(),
                                                  playlist::defaultTitleThreads());
    p.controller = std::make_unique<playlist::PlaylistController>(p.dialogs, *p.store, *p.titles,
                                                                  p.programFolder);
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
    p.playlistPort =
        std::make_unique<PlaylistWindowAdapter>(*p.controller, *p.playlistWindow, p.commandLine);

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
        p.controller->closeForGood();
    };
    shell.busyPointer = [&p](bool busy) { p.busy.set(busy); };
    shell.processEvents = [] { QCoreApplication::processEvents(); };

    MainWindowDeps deps{
        *p.library,      p.dialogs,
        *p.store,        *p.clock,
        *p.playlistPort, [&p](const QString& path) { return tags::get_ID3_tag(*p.library, path); },
        p.programFolder, windowsFolder()};
    p.silenceScanner = autodj::makeThreadedSilenceScanner();
    deps.silenceScanner = p.silenceScanner.get();
    p.logic = std::make_unique<MainWindow>(deps, shell);
    p.mainView = std::make_unique<MainWindowView>(p.logic->controls());
    p.mainView->setClock(*p.clock);
    p.dialogs.setParent(p.mainView.get());
    p.mainView->setCloseGuard([&p] { return p.logic->queryUnload(); });
    p.bindMainWindow();

    if (!p.logic->load(p.commandLine)) p.fail();
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

}  // namespace kelvra::app
