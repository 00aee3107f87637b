// What the composition root owns, in construction order. Internal to Application and its
// benchmark.
#pragma once

#include <QEventLoop>
#include <memory>

#include "app/Application.h"
#include "app/MainWindow.h"
#include "app/PlaylistWindowAdapter.h"
#include "app/ProgramBuilder.h"
#include "app/Splash.h"
#include "app/SplashControls.h"
#include "app/ui/MainWindowView.h"
#include "app/ui/SplashView.h"
#include "audio/analysis/BackgroundAnalyser.h"
#include "controllers/MidiDevices.h"
#include "controllers/ui/LearnWindow.h"
#include "core/BusyPointer.h"
#include "core/Clock.h"
#include "core/FileHelpers.h"
#include "core/QtDialogs.h"
#include "library/FolderWatcher.h"
#include "library/Library.h"
#include "library/LibraryAnalyser.h"
#include "library/LibraryBrowser.h"
#include "library/SongStore.h"
#include "library/ui/LibraryWindow.h"
#include "playlist/PlaylistController.h"
#include "playlist/TitleService.h"
#include "playlist/ui/PlaylistWindow.h"
#include "settings/FileAssociations.h"
#include "settings/IniSettingsStore.h"
#include "settings/ui/AssociateWindow.h"
#include "settings/ui/OptionsWindowView.h"
#include "tags/Id3v2Writer.h"

namespace kelvra::app {

struct Application::Parts {
    QString programFolder;
    QString ownFolders;  // holds DJMixes and Playlists
    QString commandLine;
    QStringList extraFiles;
    std::unique_ptr<Clock> clock;
    std::unique_ptr<audio::LibraryOverDoor> library;
    QtDialogs dialogs;
    std::unique_ptr<settings::IniSettingsStore> store;
    SystemSearchPath searchPath;
    std::unique_ptr<playlist::TitleService> titles;
    std::unique_ptr<playlist::PlaylistController> controller;
    SplashControls splashControls;
    std::unique_ptr<Splash> splash;
    std::unique_ptr<SplashView> splashView;
    std::unique_ptr<playlist::PlaylistWindow> playlistWindow;
    std::unique_ptr<PlaylistWindowAdapter> playlistPort;
    std::unique_ptr<audio::analysis::BackgroundAnalyser> analyser;  // outlives the logic using it
    std::unique_ptr<controllers::MidiDevices> midi;                 // the controllers' devices
    // The logic over the session, with the song database and the library it opened.
    std::unique_ptr<Program> program;
    MainWindow* logic = nullptr;
    library::Library* songLibrary = nullptr;
    std::unique_ptr<library::FolderWatcher> watcher;            // after the library it fills
    std::unique_ptr<library::LibraryAnalyser> libraryAnalyser;  // after the library and analyser
    std::unique_ptr<MainWindowView> mainView;
    std::unique_ptr<settings::OptionsWindowView> optionsView;
    std::unique_ptr<controllers::LearnWindow> learnView;
    std::unique_ptr<library::LibraryBrowser> libraryBrowser;
    std::unique_ptr<library::LibraryWindow> libraryView;
    tags::TagLibID3v2Writer tagWriter;
    settings::AssociateControls associateControls;
    std::unique_ptr<settings::XdgDesktopAssociations> desktop;
    std::unique_ptr<settings::FileAssociations> associations;
    std::unique_ptr<settings::AssociateWindow> associateView;
    QEventLoop* associateLoop = nullptr;  // while the window is shown modally
    BusyPointer busy;
    bool failed = false;

    void fail();
    void bindMainWindow();
    void showOptions();
    // The tag editor on playlist entry `row`, modal, owned by the playlist window.
    void editTags(int row);
    // The association window's load: builds it once, then reads the associations afresh.
    void loadAssociations();
    // The start-up offer (modeless) and the options window's button (modal).
    void offerAssociations();
    void showAssociationsModal();
    // The options' Learn button: the learn window over the mapping in use (a copy of a shipped
    // one in the DJ's own folder, or a new file there).
    void showLearn();
    // The library window, made the first time it is asked for.
    void showLibrary();
};

}  // namespace kelvra::app
