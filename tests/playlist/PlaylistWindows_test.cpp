// The playlist and search windows on the offscreen platform: their controls exist under their
// names, are bound to the controller, and look as they should (both are grabbed to PNG files
// in "screenshots" beside the test program).
#include <QAction>
#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QMenu>
#include <QPointer>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <QToolButton>

#include "PlaylistFixture.h"
#include "core/QtDialogs.h"
#include "core/Theme.h"
#include "playlist/ui/PlaylistWindow.h"
#include "playlist/ui/SearchWindow.h"

namespace kelvra::playlist::test {
namespace {

class PlaylistWindows : public PlaylistFixture {
  protected:
    PlaylistWindows() {
        theme::apply(*qApp);
        window_ = std::make_unique<PlaylistWindow>(*playlist_, dialogs_);
    }
    ~PlaylistWindows() override {
        window_.reset();
        qApp->setStyleSheet(QString());
    }
    template <typename T>
    T* child(const char* name) const {
        return window_->findChild<T*>(QString::fromLatin1(name));
    }
    void fill() {
        const QStringList songs = {
            "Midnight Drive - Aurora Lane",    "Concrete Bloom - The Relays",
            "Saltwater (Extended Mix) - Nila", "Paper Satellites - Coastline Club",
            "Low Orbit - Kestrel & Vine",      "Sunday Dub - Marrow Sound System",
            "Glass Harbour - Oona Reyes",      "Floor Eleven - Tamsin Kade",
            "Night Bus Home - Ferro",          "Heliograph - Ambre",
            "Copper Wire - Dalton Street",     "All The Way Up (Radio Edit) - June Moreau",
            "Afterglow - Lumen Theory",        "Last Call - The Quiet Hours"};
        QStringList files;
        for (int i = 0; i < songs.size(); ++i) {
            files.push_back(QStringLiteral("/music/set/%1.mp3").arg(i + 1, 2, 10, QChar('0')));
            titles_[files.back()] = songs[i];
        }
        playlist_->Load_playlist(writeM3u("Friday Night Set.m3u", files));
        settle();
    }
    QString shot(QWidget* widget, const QString& name) {
        const QString folder = QCoreApplication::applicationDirPath() + "/screenshots";
        QDir().mkpath(folder);
        const QString file = folder + "/" + name;
        EXPECT_TRUE(widget->grab().save(file));
        std::printf("screenshot: %s\n", qPrintable(file));
        return file;
    }
    std::unique_ptr<PlaylistWindow> window_;
};

TEST_F(PlaylistWindows, ControlsExistUnderTheirNames) {
    EXPECT_EQ(window_->objectName(), "playlistF");
    EXPECT_TRUE(window_->windowFlags() & Qt::FramelessWindowHint);
    for (const char* name : {"titlebar", "imgIcon", "playlistLABEL"})
        EXPECT_NE(window_->findChild<QWidget*>(name), nullptr) << name;
    EXPECT_NE(child<QToolButton>("cmdcloseButton"), nullptr);
    EXPECT_NE(child<QListView>("List1"), nullptr);
    for (const char* name : {"addCB", "removeCB", "clearCB", "cmdAZsort", "cmdZAsort",
                             "cmdRandomShuffle", "cmdMoveUp", "cmdMoveDown", "cmdID3", "findCB",
                             "newPlaylistCB", "openPlaylistCB", "importPlaylistCB", "saveCB"})
        EXPECT_NE(child<QPushButton>(name), nullptr) << name;

    const QMenu* menu = child<QMenu>("mnuFile");
    ASSERT_NE(menu, nullptr);
    QStringList items;
    for (const QAction* action : menu->actions())
        items.push_back(action->isSeparator() ? "-" : action->objectName() + "=" + action->text());
    EXPECT_EQ(
        items,
        (QStringList{"mnuFileEditTags=Edit Song Information", "-", "mnuFileSortAsc=Sort Ascending",
                     "mnuFileSortDesc=Sort Descending", "-", "mnuFileRandomShuffle=Random Shuffle",
                     "-", "mnuFileRemove=Remove from Playlist"}));

    child<QPushButton>("findCB")->click();
    SearchWindow* search = window_->searchWindow();
    ASSERT_NE(search, nullptr);
    EXPECT_EQ(search->objectName(), "searchF");
    for (const char* name : {"findFirstCB", "FindNextCB", "findPrevCB"})
        EXPECT_NE(search->findChild<QPushButton*>(name), nullptr) << name;
    EXPECT_NE(search->findChild<QLineEdit*>("searchTXT"), nullptr);
    EXPECT_NE(search->findChild<QToolButton*>("cmdcloseButton"), nullptr);
    search->findChild<QToolButton*>("cmdcloseButton")->click();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_EQ(window_->searchWindow(), nullptr);  // closing unloads it
}

TEST_F(PlaylistWindows, ControlsDriveThePlaylist) {
    fill();
    window_->show();
    window_->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(window_.get()));  // keys are window shortcuts
    auto* list = child<QListView>("List1");
    EXPECT_EQ(list->model()->rowCount(), 14);
    EXPECT_EQ(child<QLabel>("playlistLABEL")->text(), "Friday Night Set");
    EXPECT_EQ(list->currentIndex().row(), 0);

    // A click selects; the selection follows commands.
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {},
                      list->visualRect(playlist_->model().index(2)).center());
    EXPECT_EQ(playlist_->playlistPosition(), 2);
    child<QPushButton>("cmdMoveDown")->click();
    EXPECT_EQ(list->currentIndex().row(), 3);

    // Right-clicking below the last line selects the last line.
    QTest::mouseClick(list->viewport(), Qt::RightButton, {},
                      QPoint(10, list->viewport()->height() - 2));
    child<QMenu>("mnuFile")->hide();
    EXPECT_EQ(playlist_->selectedRow(), 13);

    // Delete removes after asking; the menu item does the same.
    dialogs_.answerNext(MessageResult::Yes);
    QTest::keyClick(list, Qt::Key_Delete);
    EXPECT_EQ(playlist_->count(), 13);
    dialogs_.answerNext(MessageResult::Yes);
    child<QAction>("mnuFileRemove")->trigger();
    EXPECT_EQ(playlist_->count(), 12);

    // Escape hides without a question; the close button asks because the list changed.
    const size_t asked = dialogs_.messages.size();
    QTest::keyClick(list, Qt::Key_Escape);
    EXPECT_FALSE(window_->isVisible());
    EXPECT_EQ(dialogs_.messages.size(), asked);
    window_->showCentred();
    ASSERT_TRUE(QTest::qWaitForWindowActive(window_.get()));
    dialogs_.answerNext(MessageResult::Cancel);
    child<QToolButton>("cmdcloseButton")->click();
    EXPECT_EQ(dialogs_.messages.back().title, "Save Playlist...");
    EXPECT_TRUE(window_->isVisible());

    // While a sort waits for titles the editing buttons are off.
    child<QPushButton>("cmdAZsort")->click();
    EXPECT_FALSE(child<QPushButton>("removeCB")->isEnabled());
    EXPECT_TRUE(child<QPushButton>("findCB")->isEnabled());
    settle();
    EXPECT_TRUE(child<QPushButton>("removeCB")->isEnabled());
    EXPECT_EQ(playlist_->displayLine(0), "1.  All The Way Up (Radio Edit) - June Moreau");
}

TEST_F(PlaylistWindows, Screenshots) {
    fill();
    playlist_->loadsongs_to_playlist({"/music/set/new track.mp3"});  // still being read
    playlist_->listClicked(4);
    // Analysed songs show their tempo and key; those that mix with the key on air in green.
    PlaylistModel& model = playlist_->model();
    const int keys[] = {21, 9, 16, 4, 21, 19, 2, 11};  // A minor, A major, E minor, E major...
    for (int i = 0; i < 8; ++i)
        model.setSongFacts(QStringLiteral("/music/set/%1.mp3").arg(i + 1, 2, 10, QChar('0')),
                           {120.0 + i * 1.5, keys[i]});
    model.setMixKey(21);
    window_->show();
    shot(window_.get(), "playlistF.png");

    child<QPushButton>("findCB")->click();
    SearchWindow* search = window_->searchWindow();
    ASSERT_NE(search, nullptr);
    search->findChild<QLineEdit*>("searchTXT")->setText("mix");
    shot(search, "searchF.png");
    search->close();
}

// A failed search with real message boxes: after "Can't find the song" and Enter, the search
// window has the keyboard again, so typing reaches its box and Esc closes it.
TEST_F(PlaylistWindows, TheSearchWindowKeepsTheKeyboardAfterAFailedSearch) {
    fill();
    QWidget mainWindow;
    mainWindow.show();
    QtDialogs realDialogs(&mainWindow);
    PlaylistWindow window(*playlist_, realDialogs);
    window.show();
    window.findChild<QPushButton*>("findCB")->click();
    SearchWindow* search = window.searchWindow();
    ASSERT_NE(search, nullptr);
    search->show();
    search->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(search));
    auto* text = search->findChild<QLineEdit*>("searchTXT");
    QTest::keyClicks(text, "no such song");

    QWidget* boxParent = nullptr;
    QTimer::singleShot(50, [&] {
        QWidget* box = QApplication::activeModalWidget();
        ASSERT_NE(box, nullptr);
        boxParent = box->parentWidget();
        QTest::keyClick(box, Qt::Key_Return);
    });
    QTest::keyClick(text, Qt::Key_Return);
    EXPECT_EQ(boxParent, search);
    EXPECT_TRUE(QTest::qWaitForWindowActive(search));
    EXPECT_EQ(QApplication::focusWidget(), text);
    QTest::keyClicks(QApplication::focusWidget(), "!");
    EXPECT_EQ(text->text(), "no such song!");
    QPointer<SearchWindow> alive(search);
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Escape);
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_TRUE(alive.isNull());
}

}  // namespace
}  // namespace kelvra::playlist::test
