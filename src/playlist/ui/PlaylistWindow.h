// The playlist window `playlistF`: draws the playlist controller's entries and forwards clicks,
// keys and the right-click menu `mnuFile` to it. All behaviour lives in PlaylistController; this
// class only builds and binds the controls.
//
// For the main window: connect to controller() (see PlaylistController.h for the seam), call
// load() once after start-up and showCentred() for its playlist button.
// Thread: UI thread only.
#pragma once

#include <QPointer>

#include "core/BorderlessWindow.h"
#include "core/BusyPointer.h"
#include "playlist/ui/SearchWindow.h"

class QLabel;
class QListView;
class QMenu;
class QProgressBar;
class QPushButton;

namespace kelvra {
class Dialogs;
}

namespace kelvra::playlist {

class PlaylistController;

class PlaylistWindow final : public BorderlessWindow {
    Q_OBJECT
  public:
    PlaylistWindow(PlaylistController& controller, Dialogs& dialogs, QWidget* owner = nullptr);
    ~PlaylistWindow() override;

    PlaylistController& controller() { return controller_; }

    // The window's first load: its place on the screen, then the controller's start-up.
    void load(const QString& commandLine);
    // Shows the window without blocking, centred on the screen (docked, where it is docked).
    void showCentred();
    // The search window, created by the find button; null while it is closed.
    SearchWindow* searchWindow() const { return search_; }

  signals:
    // The tag editor should open on this file.
    void editTagsRequested(const QString& path);

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void changeEvent(QEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    // Song files dragged in (from the library or a file manager) go to the end of the list.
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dropEvent(QDropEvent* event) override;

  private:
    QPushButton* addButton(const QString& name, const QString& text, const QString& tip);
    void buildMenu();
    void bind();
    void showSearch();
    void showLineMenu(QPoint viewportPosition, QPoint globalPosition);
    void followSelection(int row);
    void setBusy(bool busy);

    PlaylistController& controller_;
    Dialogs& dialogs_;
    QLabel* playlistLabel_;
    QListView* list_ = nullptr;
    QProgressBar* progress_;
    QMenu* mnuFile_;
    QList<QPushButton*> editButtons_;
    QPointer<SearchWindow> search_;
    bool followingSelection_ = false;
    BusyPointer busyPointer_;
};

}  // namespace kelvra::playlist
