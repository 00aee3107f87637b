// The playlist's state, its selection model, title bookkeeping and the file commands.
#include "playlist/PlaylistController.h"

#include "playlist/M3u.h"
#include "settings/SettingsKey.h"
#include "settings/SettingsStore.h"

namespace kelvra::playlist {
namespace {

bool hasM3uEnding(const QString& path) {
    return path.endsWith(QStringLiteral(".m3u"), Qt::CaseInsensitive);
}

}  // namespace

PlaylistController::PlaylistController(Dialogs& dialogs, settings::SettingsStore& settings,
                                       TitleService& titles, QString programFolder,
                                       UniformSource uniform, QObject* parent)
    : QObject(parent),
      dialogs_(dialogs),
      settings_(settings),
      titles_(titles),
      programFolder_(std::move(programFolder)),
      uniform_(std::move(uniform)) {
    titles_.setSink([this](std::vector<TitleResult> results) { onTitles(std::move(results)); });
}

PlaylistController::~PlaylistController() {
    titles_.cancelAll();
    titles_.setSink({});
}

QString PlaylistController::captionFor(const QString& playlistFile) {
    QString name = playlistFile.mid(playlistFile.lastIndexOf(u'/') + 1);
    name.chop(4);
    return name;
}

void PlaylistController::setCaption(const QString& caption) {
    caption_ = caption;
    emit captionChanged(caption_);
}

// ---- selection ---------------------------------------------------------------------------------

void PlaylistController::selectLine(int row) {
    if (row == selectedRow_) return;
    listClicked(row);
}

void PlaylistController::listClicked(int row) {
    selectedRow_ = row;
    emit selectionChanged(row);
    runSelectionModel();
}

void PlaylistController::runSelectionModel() {
    if (count() == 0) {
        nextSong_.clear();
        emit nextSongChanged(nextSong_);
        return;
    }
    if (selectedRow_ < 0 || selectedRow_ >= count()) return;
    playlistPosition_ = selectedRow_;
    nextSong_ = path(selectedRow_);
    emit nextSongChanged(displayLine(selectedRow_));
}

// ---- titles ------------------------------------------------------------------------------------

void PlaylistController::appendEntries(const QStringList& paths, int firstNumber,
                                       bool numberByCounter) {
    std::vector<PlaylistEntry> entries;
    entries.reserve(static_cast<size_t>(paths.size()));
    int number = firstNumber;
    for (const QString& p : paths) {
        PlaylistEntry e;
        e.path = p;
        e.number = numberByCounter ? ++entryCounter_ : number++;
        e.title = PlaylistModel::placeholderTitle(p);
        entries.push_back(std::move(e));
    }
    const int first = model_.append(std::move(entries));
    requestTitles(first, count() - 1);
    if (!paths.isEmpty()) emit songsAdded(paths);
}

void PlaylistController::requestTitles(int firstRow, int lastRow) {
    std::vector<TitleRequest> requests;
    for (int row = firstRow; row <= lastRow; ++row) {
        const PlaylistEntry& e = model_.entry(row);
        if (pendingTitles_.insert(e.id).second) requests.push_back({e.id, e.path});
    }
    if (requests.empty()) return;
    titles_.request(std::move(requests));
    emitProgress();
}

void PlaylistController::onTitles(std::vector<TitleResult> results) {
    model_.setTitles(results);
    for (const TitleResult& result : results) {
        if (pendingTitles_.erase(result.id) > 0) ++titlesDone_;
    }
    // The next-song box shows the selected line; bring it up to date when its title arrives.
    if (selectedRow_ >= 0 && selectedRow_ < count() && selectedRow_ == playlistPosition_ &&
        nextSong_ == path(selectedRow_))
        emit nextSongChanged(displayLine(selectedRow_));
    if (pendingTitles_.empty()) titlesDone_ = 0;
    emitProgress();
    if (pendingTitles_.empty() && pendingSort_) finishSort();
}

void PlaylistController::forgetPending(EntryId id) {
    pendingTitles_.erase(id);
}

void PlaylistController::emitProgress() {
    emit titleProgress(titlesDone_, titlesDone_ + titlesPending());
}

void PlaylistController::clearEntries() {
    titles_.cancelAll();
    pendingTitles_.clear();
    titlesDone_ = 0;
    model_.clear();
    selectedRow_ = -1;
    emit selectionChanged(-1);
    emitProgress();
}

// ---- files -------------------------------------------------------------------------------------

void PlaylistController::loadsongs_to_playlist(const QStringList& files) {
    if (busy()) return;
    setChanged();
    playlistPosition_ = count() - 1;
    const int remembered = selectedRow_ >= 0 ? selectedRow_ : 0;
    appendEntries(files, count() + 1, false);
    playlistPosition_ += static_cast<int>(files.size());
    addedSongPath_ =
        playlistPosition_ >= 0 && playlistPosition_ < count() ? path(playlistPosition_) : QString();
    selectLine(remembered);
}

void PlaylistController::new_playlist() {
    if (busy()) return;
    if (count() > 0) {
        setChanged();
        clearEntries();
    }
    currentPlaylist_.clear();
    playlistSaveFile_.clear();
    byteOrderMark_ = ByteOrderMark::Without;
    lfAloneFile_.clear();
    setCaption(kUnnamedCaption);
}

void PlaylistController::Load_playlist(const QString& path) {
    if (busy() || path.isEmpty() || !hasM3uEnding(path)) return;
    playlistChanged_ = false;
    clearEntries();
    playlistPosition_ = 0;
    entryCounter_ = 0;
    currentPlaylist_ = path;
    byteOrderMark_ = ByteOrderMark::Without;
    // A file that cannot be read ends the load here: the list stays empty and the caption and
    // save target stay as they were.
    if (!open_playlist(path)) return;
    byteOrderMark_ = lastReadMark_;
    playlistSaveFile_ = currentPlaylist_;
    setCaption(captionFor(currentPlaylist_));
}

bool PlaylistController::open_playlist(const QString& path) {
    const std::optional<QByteArray> content = readWholeFile(path);
    if (!content) return false;
    lastReadMark_ = byteOrderMarkOf(*content);
    lfAloneFile_ = endsLinesInLfAlone(*content) ? path : QString();
    int linesStarted = 0;
    const QStringList lines = readM3uLines(*content, &linesStarted);
    const int counterAtStart = entryCounter_;
    appendEntries(lines, 0, true);
    // The counter also counts the unfinished last line, which is not an entry.
    entryCounter_ = counterAtStart + linesStarted;
    if (!lines.isEmpty() && playlistPosition_ >= 0 && playlistPosition_ < count())
        selectLine(playlistPosition_);
    return true;
}

void PlaylistController::save_playlist() {
    if (busy()) return;
    if (!playlistSaveFile_.isEmpty() && !hasM3uEnding(playlistSaveFile_))
        playlistSaveFile_ += QStringLiteral(".m3u");
    QStringList paths;
    paths.reserve(count());
    for (const PlaylistEntry& e : model_.entries())
        paths.push_back(e.path);
    if (const QString failure = writeM3uFile(playlistSaveFile_, paths, byteOrderMark_);
        !failure.isEmpty()) {
        // An unnamed playlist "fails" silently; either way the user is asked for a file.
        if (!playlistSaveFile_.isEmpty()) {
            dialogs_.message(QString(),
                             QStringLiteral("Cannot Save the playlist. Make sure the Drive you are "
                                            "writing to has space and is not write protected.") +
                                 QStringLiteral("\r\n\r\n") + failure,
                             MessageButtons::Ok, MessageIcon::None);
            currentPlaylist_.clear();
            playlistSaveFile_.clear();
        }
        saveCB_Click();
        return;
    }
    playlistChanged_ = false;
    currentPlaylist_ = playlistSaveFile_;
    dialogs_.message(QString(), QStringLiteral("Playlist has been saved."), MessageButtons::Ok,
                     MessageIcon::None);
    setCaption(captionFor(currentPlaylist_));
}

void PlaylistController::newPlaylistCB_Click() {
    if (busy()) return;
    if (!playlistChanged_) {
        if (dialogs_.message(QStringLiteral("Please Confirm..."),
                             QStringLiteral("Create New playlist?"), MessageButtons::YesNo,
                             MessageIcon::Exclamation) == MessageResult::Yes) {
            new_playlist();
            addCB_Click();
        }
        return;
    }
    const QString text = currentPlaylist_.isEmpty() ? QStringLiteral("Save Playlist Changes? ")
                                                    : QStringLiteral("Save Playlist Changes to ") +
                                                          currentPlaylist_ + QStringLiteral(" ?");
    switch (
        dialogs_.message(QString(), text, MessageButtons::YesNoCancel, MessageIcon::Information)) {
        case MessageResult::Yes:
            save_playlist();
            new_playlist();
            break;
        case MessageResult::No:
            new_playlist();
            break;
        default:
            break;
    }
}

void PlaylistController::openPlaylistCB_Click() {
    if (busy()) return;
    const QStringList chosen = dialogs_.openFiles(
        {QStringLiteral("Open Playlist..."), kPlaylistFilter, openPlaylistFolder_, {}, false});
    openPlaylistFolder_.clear();
    if (!chosen.isEmpty()) Load_playlist(chosen.front());
}

void PlaylistController::importPlaylistCB_Click() {
    if (busy()) return;
    const QStringList chosen = dialogs_.openFiles(
        {QStringLiteral("Import Playlist..."), kPlaylistFilter, openPlaylistFolder_, {}, false});
    openPlaylistFolder_.clear();
    if (chosen.isEmpty()) return;
    const QString file = chosen.front();
    if (file.isEmpty() || !hasM3uEnding(file)) return;
    setChanged();
    if (count() > 0) {
        // Imported songs are numbered on from the existing ones.
        entryCounter_ = count();
        open_playlist(file);
    } else {
        playlistPosition_ = 0;
        entryCounter_ = 0;
        open_playlist(file);
        selectLine(0);
    }
}

void PlaylistController::saveCB_Click() {
    if (busy()) return;
    QString name;
    if (!currentPlaylist_.isEmpty()) {
        name = currentPlaylist_;
    } else {
        name = dialogs_.saveFile({QStringLiteral("Save Playlist As..."), kPlaylistFilter,
                                  savePlaylistFolder_, QStringLiteral("DJ Mix1"), false});
        savePlaylistFolder_.clear();
        if (name.isEmpty()) return;
    }
    if (trimSpaces(name).isEmpty()) return;
    playlistSaveFile_ = name;
    save_playlist();
}

void PlaylistController::confirm_close_playlist() {
    if (playlistChanged_) {
        const QString text =
            currentPlaylist_.isEmpty()
                ? QStringLiteral("Save Playlist? ")
                : QStringLiteral("Save Playlist to ") + currentPlaylist_ + QStringLiteral(" ?");
        switch (dialogs_.message(QStringLiteral("Save Playlist..."), text,
                                 MessageButtons::YesNoCancel, MessageIcon::Information)) {
            case MessageResult::Yes:
                // A sort still waiting for titles would make the save refuse; the program is
                // closing, so the sort is given up and the list saved in the order it has.
                cancelSort();
                save_playlist();
                break;
            case MessageResult::No:
                break;
            default:
                return;  // the window stays and nothing is remembered
        }
    }
    emit hideRequested();
    settings_.writeSetting(settings::Hive::LocalMachine, settings::kSettingsKey, kLastPlaylistValue,
                           currentPlaylist_);
    playlistSaveFile_ = currentPlaylist_;
}

void PlaylistController::startUp(const QString& commandLine) {
    QString playlistFolder = settings_.readSetting(settings::Hive::LocalMachine,
                                                   settings::kSettingsKey, kPlaylistPathValue);
    if (playlistFolder == settings::kAbsentMarker ||
        playlistFolder.compare(QStringLiteral("not found"), Qt::CaseInsensitive) == 0)
        playlistFolder = programFolder_ + QStringLiteral("/Playlists");
    loadFilesFolder_ = programFolder_ + QStringLiteral("/DJMixes");
    openPlaylistFolder_ = playlistFolder;
    savePlaylistFolder_ = playlistFolder;

    if (commandLine.toUpper().endsWith(QStringLiteral(".M3U"))) {
        Load_playlist(commandLine);
        setCaption(kUnnamedCaption);
        return;
    }
    if (!commandLine.isEmpty()) return;  // a music file: the main window deals with it

    const QString remembered = settings_.readSetting(settings::Hive::LocalMachine,
                                                     settings::kSettingsKey, kLastPlaylistValue);
    if (remembered == settings::kAbsentMarker || remembered.size() < 5) {
        currentPlaylist_.clear();
        setCaption(kUnnamedCaption);
        return;
    }
    currentPlaylist_ = remembered;
    playlistSaveFile_ = remembered;
    setCaption(captionFor(remembered));
    playlistChanged_ = false;
    byteOrderMark_ = ByteOrderMark::Without;
    if (hasM3uEnding(remembered)) {
        if (open_playlist(remembered)) byteOrderMark_ = lastReadMark_;
        selectLine(0);
    }
}

void PlaylistController::closeForGood() {
    settings_.writeSetting(settings::Hive::LocalMachine, settings::kSettingsKey, kLastPlaylistValue,
                           currentPlaylist_);
}

}  // namespace kelvra::playlist
