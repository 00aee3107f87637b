// Loading, importing, saving and the start-up restore of the playlist.
#include <sys/stat.h>

#include <QDir>
#include <QFile>

#include "PlaylistFixture.h"
#include "playlist/M3u.h"
#include "support/FileBytes.h"
#include "support/FullDisk.h"

namespace kelvra::playlist::test {
namespace {

using MessageResult = kelvra::MessageResult;

class PlaylistFiles : public PlaylistFixture {};

TEST_F(PlaylistFiles, LoadNumbersLinesAndNamesThePlaylist) {
    titles_["/m/a.mp3"] = "Alpha - One";
    const QString file = writeFile("Friday Set.m3u", "/m/a.mp3\r\n\r\n#EXTINF:1,x\r\n/m/d.mp3");
    playlist_->Load_playlist(file);
    // Until titles are read, entries show their file name.
    EXPECT_EQ(lines(), (QStringList{"1.  a.mp3", "2.  ", "3.  #EXTINF:1,x"}));
    settle();
    EXPECT_EQ(lines(), (QStringList{"1.  Alpha - One", "2.  ", "3.  #EXTINF:1,x"}));
    EXPECT_EQ(playlist_->caption(), "Friday Set");
    EXPECT_EQ(playlist_->currentPlaylist(), file);
    EXPECT_EQ(playlist_->playlistSaveFile(), file);
    EXPECT_FALSE(playlist_->playlistChanged());
    EXPECT_EQ(playlist_->entryCounter(), 4);
    EXPECT_EQ(playlist_->selectedRow(), 0);
    EXPECT_EQ(playlist_->nextSong(), "/m/a.mp3");

    // Names without the .m3u ending are ignored.
    playlist_->Load_playlist(writeFile("list.txt", "x\r\n"));
    EXPECT_EQ(playlist_->count(), 3);
    playlist_->Load_playlist(QString());
    EXPECT_EQ(playlist_->count(), 3);
}

TEST_F(PlaylistFiles, ALeadingByteOrderMarkIsKeptOnSave) {
    const QByteArray bom = "\xEF\xBB\xBF";
    const QString file = writeFile("marked.m3u", bom + "/m/a.mp3\r\n/m/b.mp3\r\n");
    playlist_->Load_playlist(file);
    settle();
    // The mark is not part of the first path.
    EXPECT_EQ(paths(), (QStringList{"/m/a.mp3", "/m/b.mp3"}));
    playlist_->save_playlist();
    EXPECT_EQ(readFile(file), bom + "/m/a.mp3\r\n/m/b.mp3\r\n");

    // A playlist read without one is saved without one, also after one that had it.
    const QString plain = writeM3u("plain.m3u", {"/m/c.mp3"});
    playlist_->Load_playlist(plain);
    playlist_->save_playlist();
    EXPECT_EQ(readFile(plain), "/m/c.mp3\r\n");
    // Imported songs join the playlist's own file, which keeps its mark.
    playlist_->Load_playlist(file);
    dialogs_.answerNextOpen({plain});
    playlist_->importPlaylistCB_Click();
    playlist_->save_playlist();
    EXPECT_EQ(readFile(file), bom + "/m/a.mp3\r\n/m/b.mp3\r\n/m/c.mp3\r\n");
}

TEST_F(PlaylistFiles, LineFeedOnlyFileGivesAnEmptyPlaylist) {
    const QString unix = writeFile("unix.M3U", "/m/a.mp3\n/m/b.mp3\n");
    playlist_->Load_playlist(unix);
    EXPECT_EQ(playlist_->count(), 0);
    EXPECT_EQ(playlist_->caption(), "unix");
    // Nothing is said on reading; the empty playlist's message then says why it is empty.
    EXPECT_TRUE(dialogs_.messages.empty());
    playlist_->cmdID3_Click();
    ASSERT_EQ(dialogs_.messages.size(), 1u);
    EXPECT_EQ(dialogs_.messages[0].text,
              "Please add some music First...\n\n" + QDir::toNativeSeparators(unix) +
                  " holds no songs: its lines end in LF alone, where CR LF is expected.");

    // A new playlist, or one that is merely empty, gets the plain message.
    playlist_->new_playlist();
    playlist_->cmdID3_Click();
    playlist_->Load_playlist(writeFile("empty.m3u", ""));
    playlist_->cmdID3_Click();
    ASSERT_EQ(dialogs_.messages.size(), 3u);
    EXPECT_EQ(dialogs_.messages[1].text, "Please add some music First...");
    EXPECT_EQ(dialogs_.messages[2].text, "Please add some music First...");
}

TEST_F(PlaylistFiles, FailedOpenLeavesEmptyListAndCaptionButNamesTheFile) {
    playlist_->Load_playlist(writeM3u("first.m3u", {"/m/a.mp3"}));
    const QString missing = dir_.filePath("gone.m3u");
    dialogs_.answerNextOpen({missing});
    playlist_->openPlaylistCB_Click();
    ASSERT_EQ(dialogs_.openRequests.size(), 1u);
    EXPECT_EQ(dialogs_.openRequests[0].title, "Open Playlist...");
    EXPECT_EQ(dialogs_.openRequests[0].filter, kPlaylistFilter);
    EXPECT_FALSE(dialogs_.openRequests[0].multipleSelection);
    EXPECT_EQ(playlist_->count(), 0);
    EXPECT_EQ(playlist_->currentPlaylist(), missing);
    EXPECT_EQ(playlist_->caption(), "first");
    EXPECT_TRUE(dialogs_.messages.empty());
}

TEST_F(PlaylistFiles, ImportNumbersOnAndStartsAtOneAfterClear) {
    const QString two = writeM3u("two.m3u", {"/m/x.mp3", "/m/y.mp3"});
    playlist_->Load_playlist(writeM3u("base.m3u", {"/m/a.mp3", "/m/b.mp3", "/m/c.mp3"}));
    dialogs_.answerNextOpen({two});
    playlist_->importPlaylistCB_Click();
    EXPECT_EQ(dialogs_.openRequests.back().title, "Import Playlist...");
    settle();
    EXPECT_EQ(lines(), (QStringList{"1.  a", "2.  b", "3.  c", "4.  x", "5.  y"}));
    EXPECT_TRUE(playlist_->playlistChanged());
    EXPECT_EQ(playlist_->caption(), "base");  // import keeps the playlist's name and file
    EXPECT_TRUE(playlist_->currentPlaylist().endsWith("base.m3u"));

    dialogs_.answerNext(MessageResult::Yes);
    playlist_->clearCB_Click();
    EXPECT_EQ(playlist_->count(), 0);
    dialogs_.answerNextOpen({two});
    playlist_->importPlaylistCB_Click();
    settle();
    EXPECT_EQ(lines(), (QStringList{"1.  x", "2.  y"}));
    EXPECT_EQ(playlist_->selectedRow(), 0);
    EXPECT_EQ(playlist_->nextSong(), "/m/x.mp3");

    // A name that does not end in .m3u is ignored without a word, and sets no flag.
    dialogs_.answerNextOpen({dir_.filePath("songs.txt")});
    const int messages = static_cast<int>(dialogs_.messages.size());
    playlist_->importPlaylistCB_Click();
    EXPECT_EQ(playlist_->count(), 2);
    EXPECT_EQ(static_cast<int>(dialogs_.messages.size()), messages);
}

TEST_F(PlaylistFiles, SaveAddsTheEndingWritesCrLfAndReports) {
    playlist_->loadsongs_to_playlist({"/m/a.mp3", QString::fromUtf8("/m/ü.mp3")});
    const QString target = dir_.filePath("Saturday");
    dialogs_.answerNextSave(target);
    playlist_->saveCB_Click();
    ASSERT_EQ(dialogs_.saveRequests.size(), 1u);
    EXPECT_EQ(dialogs_.saveRequests[0].title, "Save Playlist As...");
    EXPECT_EQ(dialogs_.saveRequests[0].initialName, "DJ Mix1");
    EXPECT_EQ(readFile(target + ".m3u"), QByteArray("/m/a.mp3\r\n/m/\xC3\xBC.mp3\r\n"));
    EXPECT_EQ(playlist_->currentPlaylist(), target + ".m3u");
    EXPECT_EQ(playlist_->caption(), "Saturday");
    EXPECT_FALSE(playlist_->playlistChanged());
    ASSERT_EQ(dialogs_.messages.size(), 1u);
    EXPECT_EQ(dialogs_.messages[0].text, "Playlist has been saved.");

    // A named playlist saves without a dialog; an empty one writes an empty file.
    dialogs_.answerNext(MessageResult::Yes);
    playlist_->clearCB_Click();
    playlist_->saveCB_Click();
    EXPECT_EQ(dialogs_.saveRequests.size(), 1u);
    EXPECT_TRUE(QFileInfo::exists(target + ".m3u"));
    EXPECT_EQ(QFileInfo(target + ".m3u").size(), 0);
    EXPECT_EQ(dialogs_.messages.back().text, "Playlist has been saved.");
}

TEST_F(PlaylistFiles, FailedSaveWarnsForgetsTheNameAndAsksForAnother) {
    const kelvra::test::FullDisk disk({{"good.m3u", "/m/a.mp3\r\n"}});
    if (!disk.mounted()) GTEST_SKIP() << disk.skipReason();
    const QString good = disk.path("good.m3u");
    playlist_->Load_playlist(good);
    playlist_->loadsongs_to_playlist({"/m/b.mp3"});
    const QString missing = dir_.filePath("no/such/folder/list.m3u");
    dialogs_.answerNextSave(missing);  // another bad place...
    dialogs_.answerNextSave({});       // ...then the user gives up
    dialogs_.messages.clear();
    playlist_->saveCB_Click();

    // Each warning says which file failed and why; the playlist on the full disk is kept.
    const QString failure =
        "Cannot Save the playlist. Make sure the Drive you are writing to has space and is not "
        "write protected.\r\n\r\ncannot write ";
    ASSERT_EQ(dialogs_.messages.size(), 2u);
    EXPECT_EQ(dialogs_.messages[0].text, failure + good + ": No space left on device");
    EXPECT_TRUE(dialogs_.messages[1].text.startsWith(failure + missing + ": "))
        << dialogs_.messages[1].text.toStdString();
    EXPECT_EQ(kelvra::test::contents(good), "/m/a.mp3\r\n");
    EXPECT_EQ(disk.files(), QStringList{"good.m3u"});
    EXPECT_EQ(dialogs_.saveRequests.size(), 2u);
    EXPECT_TRUE(playlist_->currentPlaylist().isEmpty());
    EXPECT_TRUE(playlist_->playlistSaveFile().isEmpty());
    EXPECT_TRUE(playlist_->playlistChanged());
    EXPECT_EQ(playlist_->count(), 2);

    // An unnamed playlist saved from the close prompt fails silently into the save dialog.
    dialogs_.messages.clear();
    const QString chosen = dir_.filePath("rescued.m3u");
    dialogs_.answerNext(MessageResult::Yes);
    dialogs_.answerNextSave(chosen);
    playlist_->confirm_close_playlist();
    EXPECT_EQ(dialogs_.messages[0].title, "Save Playlist...");
    EXPECT_EQ(dialogs_.messages[0].text, "Save Playlist? ");
    EXPECT_EQ(dialogs_.messages[1].text, "Playlist has been saved.");
    EXPECT_EQ(readFile(chosen), QByteArray("/m/a.mp3\r\n/m/b.mp3\r\n"));
    EXPECT_EQ(lastPlaylistSetting(), chosen);
}

TEST_F(PlaylistFiles, ChangedFlagTransitions) {
    const QString file = writeM3u("f.m3u", {"/m/a.mp3", "/m/b.mp3"});
    auto expectAfter = [&](const char* what, bool changed, auto action) {
        action();
        EXPECT_EQ(playlist_->playlistChanged(), changed) << what;
    };
    expectAfter("load", false, [&] { playlist_->Load_playlist(file); });
    expectAfter("move up at the top", false, [&] { playlist_->cmdMoveUp_Click(); });
    expectAfter("move down", true, [&] { playlist_->cmdMoveDown_Click(); });
    expectAfter("load again", false, [&] { playlist_->Load_playlist(file); });
    playlist_->selectLine(1);
    expectAfter("move down at the bottom", false, [&] { playlist_->cmdMoveDown_Click(); });
    expectAfter("shuffle", true, [&] { playlist_->cmdRandomShuffle_Click(); });
    expectAfter("save", false, [&] { playlist_->saveCB_Click(); });
    expectAfter("add", true, [&] { playlist_->loadsongs_to_playlist({"/m/c.mp3"}); });
    expectAfter("save", false, [&] { playlist_->saveCB_Click(); });
    dialogs_.answerNext(MessageResult::No);
    expectAfter("remove refused", false, [&] { playlist_->removeCB_Click(); });
    expectAfter("remove", true, [&] { playlist_->removeCB_Click(); });
    expectAfter("load", false, [&] { playlist_->Load_playlist(file); });
    expectAfter("clear", true, [&] { playlist_->clearCB_Click(); });
    expectAfter("load", false, [&] { playlist_->Load_playlist(file); });
    expectAfter("sort", true, [&] { playlist_->cmdAZsort_Click(); });
    settle();
    expectAfter("load", false, [&] { playlist_->Load_playlist(file); });
    expectAfter("new of a full list", true, [&] { playlist_->new_playlist(); });
    expectAfter("save", false, [&] {
        dialogs_.answerNextSave(dir_.filePath("n.m3u"));
        playlist_->saveCB_Click();
    });
    expectAfter("new of an empty list", false, [&] { playlist_->new_playlist(); });
    expectAfter("sort of nothing", true, [&] { playlist_->cmdZAsort_Click(); });
}

TEST_F(PlaylistFiles, NewPlaylistPromptsAndOpensTheAddDialog) {
    playlist_->Load_playlist(writeM3u("f.m3u", {"/m/a.mp3"}));
    dialogs_.answerNext(MessageResult::No);
    playlist_->newPlaylistCB_Click();
    EXPECT_EQ(dialogs_.messages.back().text, "Create New playlist?");
    EXPECT_EQ(dialogs_.messages.back().title, "Please Confirm...");
    EXPECT_EQ(playlist_->count(), 1);

    dialogs_.answerNext(MessageResult::Yes);
    dialogs_.answerNextOpen({"/m/new.mp3"});
    playlist_->newPlaylistCB_Click();
    EXPECT_EQ(paths(), QStringList{"/m/new.mp3"});
    EXPECT_EQ(playlist_->caption(), kUnnamedCaption);
    EXPECT_TRUE(playlist_->currentPlaylist().isEmpty());
    EXPECT_EQ(dialogs_.openRequests.back().title, "Load Music Files...");

    // With changes: Cancel keeps everything, No starts afresh (without the add dialog).
    dialogs_.answerNext(MessageResult::Cancel);
    playlist_->newPlaylistCB_Click();
    EXPECT_EQ(dialogs_.messages.back().text, "Save Playlist Changes? ");
    EXPECT_EQ(playlist_->count(), 1);
    dialogs_.answerNext(MessageResult::No);
    const size_t opens = dialogs_.openRequests.size();
    playlist_->newPlaylistCB_Click();
    EXPECT_EQ(playlist_->count(), 0);
    EXPECT_EQ(dialogs_.openRequests.size(), opens);
}

TEST_F(PlaylistFiles, StartUpRestoresTheLastPlaylistByTheRules) {
    const QString file = writeM3u("Last One.m3u", {"/m/a.mp3", "/m/b.mp3"});
    settings_.writeSetting(settings::Hive::LocalMachine, settings::kSettingsKey, kLastPlaylistValue,
                           file);
    playlist_->startUp(QString());
    EXPECT_EQ(playlist_->count(), 2);
    EXPECT_EQ(playlist_->caption(), "Last One");
    EXPECT_EQ(playlist_->playlistSaveFile(), file);
    EXPECT_FALSE(playlist_->playlistChanged());
    EXPECT_EQ(playlist_->nextSong(), "/m/a.mp3");

    // The dialogs start in the configured folders once, then in their own memory.
    dialogs_.answerNextOpen({"/m/c.mp3"});
    playlist_->addCB_Click();
    playlist_->addCB_Click();
    EXPECT_EQ(dialogs_.openRequests[0].initialFolder, "/opt/kelvra/DJMixes");
    EXPECT_TRUE(dialogs_.openRequests[0].multipleSelection);
    EXPECT_EQ(dialogs_.openRequests[0].filter, kMusicFilter);
    EXPECT_TRUE(dialogs_.openRequests[1].initialFolder.isEmpty());
    playlist_->openPlaylistCB_Click();
    EXPECT_EQ(dialogs_.openRequests[2].initialFolder, "/opt/kelvra/Playlists");
}

TEST_F(PlaylistFiles, StartUpRestoreEdgeCases) {
    auto start = [this](const QString& remembered, const QString& commandLine) {
        playlist_.reset();
        settings_.deleteKey(settings::Hive::LocalMachine, settings::kSettingsKey);
        if (!remembered.isNull())
            settings_.writeSetting(settings::Hive::LocalMachine, settings::kSettingsKey,
                                   kLastPlaylistValue, remembered);
        settings_.writeSetting(settings::Hive::LocalMachine, settings::kSettingsKey,
                               kPlaylistPathValue, "/lists");
        playlist_ = std::make_unique<PlaylistController>(dialogs_, settings_, *titleService_,
                                                         "/opt/kelvra");
        playlist_->startUp(commandLine);
    };
    const QString file = writeM3u("remembered.m3u", {"/m/a.mp3"});

    start(QString(), QString());  // nothing remembered
    EXPECT_EQ(playlist_->caption(), kUnnamedCaption);
    EXPECT_TRUE(playlist_->currentPlaylist().isEmpty());

    start("a.m3", QString());  // four characters: too short to be a file
    EXPECT_EQ(playlist_->caption(), kUnnamedCaption);
    EXPECT_TRUE(playlist_->currentPlaylist().isEmpty());

    start(dir_.filePath("vanished.m3u"), QString());  // a missing file keeps its name
    EXPECT_EQ(playlist_->count(), 0);
    EXPECT_EQ(playlist_->caption(), "vanished");

    start(file, "/music/song.mp3");  // a music file on the command line restores nothing
    EXPECT_EQ(playlist_->count(), 0);
    EXPECT_EQ(playlist_->caption(), kUnnamedCaption);

    const QString upper = writeM3u("FROM CMD.M3U", {"/m/x.mp3", "/m/y.mp3"});
    start(file, upper);  // a playlist on the command line: loaded, but shown as unnamed
    EXPECT_EQ(playlist_->count(), 2);
    EXPECT_EQ(playlist_->caption(), kUnnamedCaption);
    EXPECT_EQ(playlist_->currentPlaylist(), upper);
    dialogs_.answerNextOpen({});
    playlist_->openPlaylistCB_Click();
    EXPECT_EQ(dialogs_.openRequests.back().initialFolder, "/lists");
}

TEST_F(PlaylistFiles, CloseAsksOnlyWhenChangedAndRemembersThePlaylist) {
    int hides = 0;
    QObject::connect(playlist_.get(), &PlaylistController::hideRequested, [&] { ++hides; });
    const QString file = writeM3u("kept.m3u", {"/m/a.mp3"});
    playlist_->Load_playlist(file);
    playlist_->confirm_close_playlist();
    EXPECT_TRUE(dialogs_.messages.empty());
    EXPECT_EQ(hides, 1);
    EXPECT_EQ(lastPlaylistSetting(), file);

    playlist_->loadsongs_to_playlist({"/m/b.mp3"});
    dialogs_.answerNext(MessageResult::Cancel);
    settings_.writeSetting(settings::Hive::LocalMachine, settings::kSettingsKey, kLastPlaylistValue,
                           "untouched");
    playlist_->confirm_close_playlist();
    EXPECT_EQ(dialogs_.messages.back().text, "Save Playlist to " + file + " ?");
    EXPECT_EQ(dialogs_.messages.back().icon, MessageIcon::Information);
    EXPECT_EQ(hides, 1);
    EXPECT_EQ(lastPlaylistSetting(), "untouched");

    dialogs_.answerNext(MessageResult::No);
    playlist_->confirm_close_playlist();
    EXPECT_EQ(hides, 2);
    EXPECT_EQ(lastPlaylistSetting(), file);
    EXPECT_EQ(readFile(file), QByteArray("/m/a.mp3\r\n"));  // not saved on No

    dialogs_.answerNext(MessageResult::Yes);
    playlist_->confirm_close_playlist();
    EXPECT_EQ(readFile(file), QByteArray("/m/a.mp3\r\n/m/b.mp3\r\n"));

    // Double-click hides first, then runs the same close.
    playlist_->listDoubleClicked();
    EXPECT_EQ(hides, 5);
}

// A FIFO or a folder named as the remembered or opened playlist fails like a missing file, at
// once, instead of blocking start-up on a read that never ends.
TEST_F(PlaylistFiles, FifoOrFolderInPlaceOfAPlaylistFailsAtOnce) {
    const QString fifo = dir_.filePath("pipe.m3u");
    ASSERT_EQ(mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
    settings_.writeSetting(settings::Hive::LocalMachine, settings::kSettingsKey, kLastPlaylistValue,
                           fifo);
    playlist_->startUp(QString());
    EXPECT_EQ(playlist_->count(), 0);
    EXPECT_EQ(playlist_->caption(), "pipe");

    ASSERT_TRUE(QDir(dir_.path()).mkdir("folder.m3u"));
    playlist_->Load_playlist(dir_.filePath("folder.m3u"));
    EXPECT_EQ(playlist_->count(), 0);
    EXPECT_FALSE(readWholeFile(fifo));
    EXPECT_FALSE(readWholeFile("/dev/zero"));
}

// "Yes, save" on closing while a sort still waits for titles: the sort is given up and the
// playlist is saved in the order it had, instead of the save returning silently.
TEST_F(PlaylistFiles, CloseWithASortPendingStillSaves) {
    const QString file = writeM3u("set.m3u", {"/m/b.mp3", "/m/a.mp3", "/m/c.mp3"});
    playlist_->Load_playlist(file);
    settle();
    playlist_->loadsongs_to_playlist({"/m/0.mp3"});
    playlist_->cmdAZsort_Click();
    ASSERT_TRUE(playlist_->busy());
    dialogs_.answerNext(MessageResult::Yes);
    playlist_->confirm_close_playlist();
    EXPECT_FALSE(playlist_->busy());
    EXPECT_FALSE(playlist_->playlistChanged());
    const auto saved = readWholeFile(file);
    ASSERT_TRUE(saved);
    EXPECT_EQ(*saved, "/m/b.mp3\r\n/m/a.mp3\r\n/m/c.mp3\r\n/m/0.mp3\r\n");
    EXPECT_EQ(lastPlaylistSetting(), file);
    settle();  // titles arriving afterwards sort nothing
    EXPECT_EQ(paths(), (QStringList{"/m/b.mp3", "/m/a.mp3", "/m/c.mp3", "/m/0.mp3"}));
}

}  // namespace
}  // namespace kelvra::playlist::test
