// The library window's logic over a real library file: the search as the DJ types it, the order
// and columns remembered, the compatible filter, crates, the history's sets and their export,
// songs dragged as files, a folder added through a real scan in its own process and analysed in
// the background, and the window over it: typing, dropping songs on a crate and moving columns,
// loading songs from the keyboard, and where it goes on the screen.
#include "library/LibraryBrowser.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QDropEvent>
#include <QFile>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMimeData>
#include <QSignalSpy>
#include <QTableView>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QUrl>
#include <memory>
#include <set>

#include "audio/AnalysisFixtures.h"
#include "audio/analysis/BackgroundAnalyser.h"
#include "library/LibraryAnalyser.h"
#include "library/ui/LibraryWindow.h"
#include "settings/MemorySettingsStore.h"
#include "support/FileBytes.h"
#include "support/FullDisk.h"
#include "support/LibrarySongs.h"
#include "support/ScriptedDialogs.h"
#include "support/SongFiles.h"

namespace kelvra::library {
namespace {

using test::songFacts;

class Browser : public ::testing::Test {
  protected:
    void SetUp() override {
        library_ = std::make_unique<Library>(dbPath());
        ASSERT_TRUE(library_->isOpen());
        // Keys: 21 A minor (8A), 14 D minor (7A), 0 C major (8B), 1 C# major (3B).
        library_->store(songFacts("/m/a.mp3", "Dusk Pilot", "Around", 126, 21));
        library_->store(songFacts("/m/b.mp3", "Duskworks", "Bounce", 126, 1));
        library_->store(songFacts("/m/c.mp3", "Cobalt", "Cobalt 1999", 140, 21));
        library_->store(songFacts("/m/d.mp3", "Dynamo", "Dreamers", 118, 0));
        library_->store(songFacts("/m/e.mp3", "Ember", "Eclipse", 122, 14));
        ASSERT_TRUE(library_->writer().flush());
    }
    QString dbPath() const { return dir_.filePath("library.sqlite"); }
    std::unique_ptr<LibraryBrowser> make(LibraryAnalyser* analyser = nullptr) {
        return std::make_unique<LibraryBrowser>(
            LibraryBrowser::Parts{*library_, store_, dialogs_, KELVRA_CLI_PATH, dbPath(),
                                  [this] { return playing_; }, analyser});
    }
    static QStringList titles(LibraryBrowser& browser) {
        QStringList shown;
        for (const SongRow& row : browser.table().songs())
            shown << row.title;
        return shown;
    }

    QTemporaryDir dir_;
    std::unique_ptr<Library> library_;
    settings::MemorySettingsStore store_;
    test::ScriptedDialogs dialogs_;
    std::optional<MixReference> playing_;
};

TEST_F(Browser, TheSearchNarrowsAsTypedAndTheOrderAndColumnsAreRemembered) {
    auto browser = make();
    EXPECT_EQ(titles(*browser).size(), 5);
    EXPECT_EQ(browser->status(), "5 songs");
    browser->setSearchText("d");
    EXPECT_EQ(titles(*browser), QStringList({"Around", "Bounce", "Dreamers"}));
    browser->setSearchText("dus");
    EXPECT_EQ(titles(*browser), QStringList({"Around", "Bounce"}));
    browser->setSearchText("bpm:120-130");
    browser->sortBy(SongColumn::Bpm, true);
    EXPECT_EQ(titles(*browser), QStringList({"Around", "Bounce", "Eclipse"}));
    browser->sortBy(SongColumn::Bpm, false);
    EXPECT_EQ(titles(*browser).front(), "Eclipse");
    browser->setSearchText("bpm:fast");
    EXPECT_TRUE(titles(*browser).isEmpty());
    EXPECT_NE(browser->status().indexOf("bpm"), -1) << browser->status().toStdString();

    browser->setColumns({SongColumn::Title, SongColumn::Key, SongColumn::Bpm});
    browser->sortBy(SongColumn::Title, true);
    auto again = make();
    EXPECT_EQ(again->columns(),
              (std::vector<SongColumn>{SongColumn::Title, SongColumn::Key, SongColumn::Bpm}));
    EXPECT_EQ(again->sortColumn(), SongColumn::Title);
    EXPECT_TRUE(again->sortDescending());
    EXPECT_EQ(titles(*again).front(), "Eclipse");
    // A hand-edited list keeps the columns it can read, and an unreadable one gives the first.
    store_.writeSetting(settings::Hive::LocalMachine, "Software\\Kelvra", "LibraryColumns",
                        "1,1,99,x,4");
    EXPECT_EQ(make()->columns(), (std::vector<SongColumn>{SongColumn::Title, SongColumn::Bpm}));
    store_.writeSetting(settings::Hive::LocalMachine, "Software\\Kelvra", "LibraryColumns", "x");
    EXPECT_EQ(make()->columns().front(), SongColumn::Artist);
}

// A library longer than a page comes a page at a time as the DJ scrolls, in one order, each
// song once; the status says when there is more.
TEST_F(Browser, ALongListComesAPageAtATimeAsTheDjScrolls) {
    for (int i = 0; i < 445; ++i)
        library_->store(songFacts(QString("/long/%1.mp3").arg(i), "Zone", QString("Z%1").arg(i)));
    ASSERT_TRUE(library_->writer().flush());
    auto browser = make();
    SongTable& table = browser->table();
    EXPECT_EQ(table.rowCount(), SongListing{}.limit);
    EXPECT_EQ(browser->status(), "The first 200 songs: scroll for more, or type to narrow");
    while (table.canFetchMore({}))
        table.fetchMore({});
    ASSERT_EQ(table.rowCount(), 450);
    EXPECT_EQ(browser->status(), "450 songs");
    std::set<QString> paths;
    for (int row = 1; row < table.rowCount(); ++row) {
        EXPECT_LE(QString::compare(table.song(row - 1)->artist, table.song(row)->artist,
                                   Qt::CaseInsensitive),
                  0);
        paths.insert(table.song(row)->path);
    }
    EXPECT_EQ(paths.size(), 449u);
    // Narrowed, it starts again from its first page.
    browser->setSearchText("d");
    EXPECT_EQ(titles(*browser), QStringList({"Around", "Bounce", "Dreamers"}));
    EXPECT_FALSE(table.canFetchMore({}));
}

TEST_F(Browser, CompatibleListsOnlySongsThatMixWithThePlayingDeck) {
    auto browser = make();
    browser->setCompatibleOnly(true);
    EXPECT_EQ(titles(*browser).size(), 5);  // nothing plays: nothing to mix with
    EXPECT_NE(browser->status().indexOf("no deck"), -1);

    playing_ = MixReference{125, 21, {}};  // A minor at 125 BPM: 117.5 to 132.5, 8A 7A 9A 8B
    browser->refresh();
    EXPECT_EQ(titles(*browser), QStringList({"Around", "Dreamers", "Eclipse"}));
    // The playing song itself is no choice to mix into.
    playing_->songs = QStringList{"/m/a.mp3"};
    browser->refresh();
    EXPECT_EQ(titles(*browser), QStringList({"Dreamers", "Eclipse"}));
    // The keys that mix are lit in the table, filter or not.
    browser->setCompatibleOnly(false);
    SongTable& table = browser->table();
    const auto lit = [&table](int row) {
        return table.data(table.index(row, int(SongColumn::Key)), Qt::ForegroundRole).isValid();
    };
    EXPECT_TRUE(lit(0));   // Cobalt 1999, A minor (only its tempo is too far)
    EXPECT_FALSE(lit(2));  // Bounce, C# major
}

TEST_F(Browser, CratesAreMadeFilledRenamedAndRemovedWithoutLosingSongs) {
    auto browser = make();
    EXPECT_TRUE(browser->makeCrate("  Warm-up ").isEmpty());
    EXPECT_FALSE(browser->makeCrate("Warm-up").isEmpty());  // taken
    EXPECT_FALSE(browser->makeCrate("   ").isEmpty());
    ASSERT_EQ(browser->sources(), QStringList({"All songs", "Warm-up"}));
    browser->addToCrate("Warm-up", {"/m/d.mp3", "/m/a.mp3"});
    browser->chooseSource(1);
    EXPECT_EQ(titles(*browser), QStringList({"Around", "Dreamers"}));
    browser->setSearchText("dream");
    EXPECT_EQ(titles(*browser), QStringList({"Dreamers"}));
    browser->setSearchText({});

    EXPECT_TRUE(browser->makeCrate("Closing").isEmpty());
    EXPECT_EQ(browser->crateAt(browser->source()), "Warm-up");  // still the one listed
    EXPECT_TRUE(browser->renameCrate(browser->source(), "Opening").isEmpty());
    EXPECT_EQ(browser->crateAt(browser->source()), "Opening");
    EXPECT_EQ(titles(*browser).size(), 2);
    browser->removeFromCrate({"/m/a.mp3"});
    EXPECT_EQ(titles(*browser), QStringList({"Dreamers"}));

    dialogs_.answerNext(MessageResult::No);
    browser->removeCrate(browser->source());
    EXPECT_EQ(browser->sources().size(), 3);
    dialogs_.answerNext(MessageResult::Yes);
    browser->removeCrate(browser->source());
    EXPECT_EQ(browser->sources(), QStringList({"All songs", "Closing"}));
    EXPECT_EQ(browser->source(), 0);
    EXPECT_EQ(titles(*browser).size(), 5);
}

TEST_F(Browser, EachSetHeardIsListedAndExportsAsTheDjAsks) {
    const std::int64_t evening = 1'800'000'000;
    library_->addHeard("/m/a.mp3", evening);
    library_->addHeard("/m/d.mp3", evening + 300);
    library_->addHeard("/m/c.mp3", evening + 5 * 3600);  // the next night's set
    ASSERT_TRUE(library_->writer().flush());
    auto browser = make();
    const QStringList sources = browser->sources();
    ASSERT_EQ(sources.size(), 3);
    EXPECT_TRUE(sources[1].startsWith("History: ") && sources[1].endsWith("1 song"))
        << sources[1].toStdString();
    EXPECT_TRUE(sources[2].endsWith("2 songs"));
    browser->chooseSource(2);  // the older set, in the order it was heard
    EXPECT_TRUE(browser->isHistory(2));
    EXPECT_EQ(titles(*browser), QStringList({"Around", "Dreamers"}));

    const QString csv = dir_.filePath("set.csv");
    dialogs_.answerNextSave(csv);
    browser->exportHistory();
    QFile file(csv);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QByteArray text = file.readAll();
    EXPECT_TRUE(text.contains("Around") && text.contains("Dreamers"));
    EXPECT_FALSE(text.contains("Cobalt"));
    // From "All songs", every set; a name without an ending is a playlist.
    browser->chooseSource(0);
    dialogs_.answerNextSave(dir_.filePath("all"));
    browser->exportHistory();
    QFile all(dir_.filePath("all.m3u"));
    ASSERT_TRUE(all.open(QIODevice::ReadOnly));
    const QByteArray list = all.readAll();
    EXPECT_TRUE(list.contains("/m/c.mp3") && list.contains("/m/a.mp3"));
    // On a full disk the DJ hears which file and why, and the older export stays as it was.
    if (const test::FullDisk disk({{"set.csv", "older"}}); disk.mounted()) {
        dialogs_.answerNextSave(disk.path("set.csv"));
        browser->exportHistory();
        ASSERT_FALSE(dialogs_.messages.empty());
        EXPECT_EQ(dialogs_.messages.back().text, "The history could not be written to \"" +
                                                     disk.path("set.csv") +
                                                     "\": No space left on device");
        EXPECT_EQ(test::contents(disk.path("set.csv")), "older");
        EXPECT_EQ(disk.files(), QStringList{"set.csv"});
    }

    // A new set heard while a set is listed keeps that set listed.
    browser->chooseSource(2);
    library_->addHeard("/m/e.mp3", evening + 10 * 3600);
    ASSERT_TRUE(library_->writer().flush());
    browser->refresh();
    EXPECT_EQ(titles(*browser), QStringList({"Around", "Dreamers"}));
}

TEST_F(Browser, DraggedRowsCarryTheirFilesAndAFolderIsAddedByARealScanThenAnalysed) {
    audio::analysis::BackgroundAnalyser background(
        audio::analysis::AnalysisCache(dir_.filePath("cache")));
    LibraryAnalyser analyser(*library_, background);
    auto browser = make(&analyser);
    SongTable& table = browser->table();
    std::unique_ptr<QMimeData> data(
        table.mimeData({table.index(0, 0), table.index(0, 3), table.index(2, 0)}));
    ASSERT_TRUE(data);
    ASSERT_EQ(data->urls().size(), 2);                     // two rows, whatever the cells
    EXPECT_EQ(data->urls()[0].toLocalFile(), "/m/c.mp3");  // by artist: Cobalt first

    const QString music = dir_.filePath("music");
    ASSERT_TRUE(test::writeTaggedMp3(music + "/x/new.mp3", "Nora Kestrel", "Ghost Kestrel"));
    ASSERT_TRUE(test::writeWav((music + "/x/beat.wav").toStdString(),
                               audio::testing::drumLoop({120, 0, 20, 44100}), 44100, 2));
    dialogs_.answerNextFolder(music);
    QSignalSpy finished(browser.get(), &LibraryBrowser::scanFinished);
    browser->addFolder();
    EXPECT_TRUE(browser->scanning());
    ASSERT_TRUE(finished.wait(60000));
    EXPECT_FALSE(browser->scanning());
    EXPECT_NE(browser->scanText().indexOf("2 added"), -1) << browser->scanText().toStdString();
    browser->setSearchText("kest");
    EXPECT_EQ(titles(*browser), QStringList({"Ghost Kestrel"}));
    // The analysis follows on its own, its progress on the status line, and the tempo it finds
    // is listed once it is done.
    EXPECT_EQ(browser->analysisText(), "Analysing 1 of 2 songs");
    QSignalSpy analysed(&analyser, &LibraryAnalyser::finished);
    ASSERT_TRUE(analysed.wait(60000));
    EXPECT_TRUE(browser->analysisText().startsWith("2 songs analysed"))
        << browser->analysisText().toStdString();
    browser->setSearchText("bpm:119-121");
    ASSERT_EQ(browser->table().songs().size(), 1u);
    EXPECT_EQ(browser->table().songs()[0].path, music + "/x/beat.wav");
}

TEST_F(Browser, TheWindowSearchesAsTypedTakesSongsDroppedOnACrateAndKeepsMovedColumns) {
    auto browser = make();
    ASSERT_TRUE(browser->makeCrate("Peak").isEmpty());
    LibraryWindow window(*browser);
    window.show();
    QCoreApplication::processEvents();  // the lists lay their rows out late
    auto* search = window.findChild<QLineEdit*>("librarySearch");
    auto* sources = window.findChild<QListWidget*>("librarySources");
    auto* songs = window.findChild<QTableView*>("librarySongs");
    ASSERT_TRUE(search && sources && songs);

    search->setText("dus");
    EXPECT_EQ(songs->model()->rowCount(), 2);
    EXPECT_EQ(window.findChild<QLabel*>("libraryStatus")->text(), "2 songs");

    // The two rows dragged onto the crate go into it; onto "All songs" they change nothing.
    QAbstractItemModel& model = *songs->model();
    const std::unique_ptr<QMimeData> dragged(
        model.mimeData({model.index(0, 0), model.index(1, 0)}));
    const auto dropOn = [&](int row) {
        const QPoint at = sources->visualItemRect(sources->item(row)).center();
        QDragEnterEvent enter(at, Qt::CopyAction, dragged.get(), Qt::LeftButton, Qt::NoModifier);
        QCoreApplication::sendEvent(sources->viewport(), &enter);
        QDragMoveEvent move(at, Qt::CopyAction, dragged.get(), Qt::LeftButton, Qt::NoModifier);
        QCoreApplication::sendEvent(sources->viewport(), &move);
        QDropEvent drop(at, Qt::CopyAction, dragged.get(), Qt::LeftButton, Qt::NoModifier);
        QCoreApplication::sendEvent(sources->viewport(), &drop);
    };
    dropOn(0);
    EXPECT_TRUE(library_->crate("Peak").empty());
    dropOn(1);
    EXPECT_EQ(library_->crate("Peak"), std::vector<QString>({"/m/a.mp3", "/m/b.mp3"}));

    // The DJ drags the tempo column to the front; a window opened later shows it there.
    QHeaderView* header = songs->horizontalHeader();
    header->moveSection(header->visualIndex(int(SongColumn::Bpm)), 0);
    EXPECT_EQ(browser->columns().front(), SongColumn::Bpm);
    auto again = make();
    LibraryWindow later(*again);
    EXPECT_EQ(later.findChild<QTableView*>("librarySongs")->horizontalHeader()->logicalIndex(0),
              int(SongColumn::Bpm));
}

TEST_F(Browser, TheWindowLoadsSongsFromTheKeyboardAndClosesOnEsc) {
    auto browser = make();
    LibraryWindow window(*browser);
    window.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
    auto* search = window.findChild<QLineEdit*>("librarySearch");
    auto* songs = window.findChild<QTableView*>("librarySongs");
    ASSERT_TRUE(search && songs);
    qRegisterMetaType<DeckChoice>();
    QSignalSpy asked(&window, &LibraryWindow::loadRequested);
    const auto last = [&] {
        const QList<QVariant> request = asked.takeLast();
        return std::pair{request[0].toString(), request[1].value<DeckChoice>()};
    };
    const auto pathAt = [&](int row) { return browser->table().song(row)->path; };

    // Typed, then Enter: the first song found goes onto the deck in hand.
    search->setFocus();
    QTest::keyClicks(search, "dus");
    QTest::keyClick(search, Qt::Key_Return);
    ASSERT_EQ(asked.count(), 1);
    EXPECT_EQ(last(), std::pair(pathAt(0), DeckChoice::InHand));
    // In the table: the song under the cursor, onto the deck in hand or a side.
    songs->setFocus();
    songs->setCurrentIndex(songs->model()->index(1, 0));
    QTest::keyClick(songs, Qt::Key_Enter, Qt::KeypadModifier);
    EXPECT_EQ(last(), std::pair(pathAt(1), DeckChoice::InHand));
    QTest::keyClick(songs, Qt::Key_Left, Qt::ShiftModifier);
    EXPECT_EQ(last(), std::pair(pathAt(1), DeckChoice::Left));
    QTest::keyClick(songs, Qt::Key_Right, Qt::ShiftModifier);
    EXPECT_EQ(last(), std::pair(pathAt(1), DeckChoice::Right));
    // Plain arrows still move about the table.
    QTest::keyClick(songs, Qt::Key_Left);
    EXPECT_EQ(asked.count(), 0);
    // A double click on a row, as the table reports it.
    emit songs->doubleClicked(songs->model()->index(0, 0));
    ASSERT_EQ(asked.count(), 1);
    EXPECT_EQ(last(), std::pair(pathAt(0), DeckChoice::InHand));
    // A search that finds nothing asks for nothing.
    search->setText("no such song anywhere");
    QTest::keyClick(search, Qt::Key_Return);
    EXPECT_EQ(asked.count(), 0);

    // A scan's report of any length keeps the window as wide as it was: the line is cut short.
    const int width = window.width();
    auto* status = window.findChild<QLabel*>("libraryStatus");
    status->setText(QString(400, u'x'));
    QCoreApplication::processEvents();
    EXPECT_EQ(window.width(), width);
    EXPECT_LE(window.minimumSizeHint().width(), LibraryWindow::kMinimumSize.width());

    // Esc closes it, from the search line as from the table.
    QTest::keyClick(search, Qt::Key_Escape);
    EXPECT_FALSE(window.isVisible());
    window.show();
    QTest::keyClick(songs, Qt::Key_Escape);
    EXPECT_FALSE(window.isVisible());
}

TEST_F(Browser, ClosingTheMainWindowEndsTheProgramWhileTheWindowIsOpen) {
    auto browser = make();
    BorderlessWindow main;
    main.show();
    LibraryWindow window(*browser, &main);
    window.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
    // The main window closes as its close button closes it; the program's loop ends with it,
    // not at the time limit.
    QTimer::singleShot(0, &main, [&main] { main.close(); });
    QTimer limit;
    limit.setSingleShot(true);
    QObject::connect(&limit, &QTimer::timeout, [] { QCoreApplication::exit(1); });
    limit.start(3000);
    EXPECT_EQ(QApplication::exec(), 0);
}

TEST(LibraryPlacement, TheWindowLeavesTheDecksInSightAndStaysOnTheScreen) {
    const QSize wanted = LibraryWindow::kWantedSize, minimum = LibraryWindow::kMinimumSize;
    // A full-HD screen with the decks across its middle: the window below them, as tall as the
    // room there.
    const QRect screen(0, 0, 1920, 1050);
    const QRect decks(310, 244, 1300, 430);
    EXPECT_EQ(placeClearOf(screen, decks, wanted, minimum), QRect(470, 674, 980, 376));
    // Room enough below: its own size, still under the decks.
    EXPECT_EQ(placeClearOf(screen, decks.translated(0, -200), wanted, minimum),
              QRect(470, 474, 980, 576));
    // No room below but beside them (the main window moved to the left of a wide screen).
    const QRect wide(0, 0, 2560, 800);
    EXPECT_EQ(placeClearOf(wide, QRect(0, 300, 1300, 430), wanted, minimum),
              QRect(1300 + (1260 - 980) / 2, 90, 980, 620));
    // A small screen the decks nearly fill: at its foot, as short as it goes, on the screen.
    const QRect small(0, 0, 1366, 738);
    const QRect place = placeClearOf(small, QRect(33, 40, 1300, 430), wanted, minimum);
    EXPECT_TRUE(small.contains(place));
    EXPECT_EQ(place.height(), minimum.height());
    EXPECT_EQ(place.bottom(), small.bottom());
    // Nothing to leave clear, or a screen smaller than the window: centred, within it.
    EXPECT_EQ(placeClearOf(screen, QRect(), wanted, minimum), QRect(470, 215, 980, 620));
    EXPECT_TRUE(
        QRect(0, 0, 800, 600)
            .contains(placeClearOf(QRect(0, 0, 800, 600), QRect(0, 0, 800, 300), wanted, minimum)));
    // A second screen to the right of the first: placed on that one.
    const QRect second(1920, 0, 1920, 1050);
    EXPECT_TRUE(second.contains(placeClearOf(second, decks.translated(1920, 0), wanted, minimum)));
}

}  // namespace
}  // namespace kelvra::library
