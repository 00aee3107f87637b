#include "library/LibraryBrowser.h"

#include <QDateTime>
#include <QDir>
#include <QFileInfo>
#include <QLocale>
#include <algorithm>

#include "audio/analysis/KeyNames.h"
#include "core/Dialogs.h"
#include "core/SaveFile.h"
#include "library/LibraryAnalyser.h"
#include "library/SearchQuery.h"
#include "settings/SettingsKey.h"
#include "settings/SettingsStore.h"

namespace kelvra::library {

namespace {

const QString kColumnsValue = QStringLiteral("LibraryColumns");
const QString kSortValue = QStringLiteral("LibrarySort");
const QString kTitle = QStringLiteral("Library");

// What a new library shows: what a DJ picks a song by.
const std::vector<SongColumn> kFirstColumns = {SongColumn::Artist, SongColumn::Title,
                                               SongColumn::Bpm,    SongColumn::Key,
                                               SongColumn::Length, SongColumn::Rating};

std::vector<SongColumn> columnsFrom(const QString& text) {
    std::vector<SongColumn> columns;
    for (const QString& part : text.split(u',', Qt::SkipEmptyParts)) {
        bool ok = false;
        const int number = part.toInt(&ok);
        const auto column = SongColumn(number);
        if (ok && number >= 0 && number < int(SongColumn::Count) &&
            std::find(columns.begin(), columns.end(), column) == columns.end())
            columns.push_back(column);
    }
    return columns;
}

QString count(std::size_t n, const char* one, const char* many) {
    return QLocale(QLocale::English).toString(qulonglong(n)) + QLatin1Char(' ') +
           QLatin1String(n == 1 ? one : many);
}

}  // namespace

LibraryBrowser::LibraryBrowser(Parts parts) : parts_(std::move(parts)) {
    const QString columns = parts_.store.readSetting(settings::Hive::LocalMachine,
                                                     settings::kSettingsKey, kColumnsValue);
    columns_ = columnsFrom(columns == settings::kAbsentMarker ? QString() : columns);
    if (columns_.empty()) columns_ = kFirstColumns;
    const QStringList sort =
        parts_.store.readSetting(settings::Hive::LocalMachine, settings::kSettingsKey, kSortValue)
            .split(u',');
    if (sort.size() == 2) {
        const int column = sort[0].toInt();
        if (column >= 0 && column < int(SongColumn::Count)) listing_.sortBy = SongColumn(column);
        listing_.descending = sort[1] == u"desc";
    }
    readSources();
    list();
    if (parts_.analyser) {
        connect(parts_.analyser, &LibraryAnalyser::progressed, this, &LibraryBrowser::changed);
        // The tempi and keys found show once the walk is over: a list that changed under the
        // DJ's eyes at every song would lose its place.
        connect(parts_.analyser, &LibraryAnalyser::finished, this, [this] {
            parts_.library.writer().flush();
            refresh();
        });
    }
}

QString LibraryBrowser::analysisText() const {
    return parts_.analyser ? parts_.analyser->text() : QString();
}

LibraryBrowser::~LibraryBrowser() {
    // The scan's process is killed with the program; what it committed stays committed.
    if (scan_) {
        scan_->disconnect(this);
        scan_->kill();
        scan_->waitForFinished(2000);
    }
}

void LibraryBrowser::readSources() {
    crates_ = parts_.library.crates();
    sets_ = historySets(parts_.library.history());
}

QStringList LibraryBrowser::sources() const {
    QStringList names{QStringLiteral("All songs")};
    for (const QString& crate : crates_)
        names << crate;
    for (auto set = sets_.rbegin(); set != sets_.rend(); ++set)
        names << QStringLiteral("History: %1, %2")
                     .arg(QDateTime::fromSecsSinceEpoch(set->songs.front().heard)
                              .toString(QStringLiteral("yyyy-MM-dd hh:mm")),
                          count(set->songs.size(), "song", "songs"));
    return names;
}

QString LibraryBrowser::crateAt(int index) const {
    return index >= 1 && index <= int(crates_.size()) ? crates_[std::size_t(index - 1)] : QString();
}

bool LibraryBrowser::isHistory(int index) const {
    return index > int(crates_.size()) && index <= int(crates_.size() + sets_.size());
}

void LibraryBrowser::chooseSource(int index) {
    source_ = std::clamp(index, 0, int(crates_.size() + sets_.size()));
    list();
}

void LibraryBrowser::setSearchText(const QString& text) {
    if (text == searchText_) return;
    searchText_ = text;
    list();
}

void LibraryBrowser::setCompatibleOnly(bool on) {
    if (on == compatibleOnly_) return;
    compatibleOnly_ = on;
    list();
}

void LibraryBrowser::sortBy(SongColumn column, bool descending) {
    listing_.sortBy = column;
    listing_.descending = descending;
    saveLook();
    list();
}

void LibraryBrowser::setColumns(std::vector<SongColumn> columns) {
    if (columns.empty() || columns == columns_) return;
    columns_ = std::move(columns);
    saveLook();
    emit changed();
}

void LibraryBrowser::saveLook() {
    QStringList numbers;
    for (SongColumn column : columns_)
        numbers << QString::number(int(column));
    parts_.store.writeSetting(settings::Hive::LocalMachine, settings::kSettingsKey, kColumnsValue,
                              numbers.join(u','));
    parts_.store.writeSetting(settings::Hive::LocalMachine, settings::kSettingsKey, kSortValue,
                              QStringLiteral("%1,%2")
                                  .arg(int(listing_.sortBy))
                                  .arg(listing_.descending ? "desc" : "asc"));
}

void LibraryBrowser::refresh() {
    const QString crate = crateAt(source_);
    const bool history = isHistory(source_);
    const std::size_t setsBefore = sets_.size();
    readSources();
    // The same crate stays listed when others come and go; a new set slides the history along.
    if (!crate.isEmpty()) {
        const auto found = std::find(crates_.begin(), crates_.end(), crate);
        source_ = found == crates_.end() ? 0 : int(found - crates_.begin()) + 1;
    } else if (history) {
        source_ = std::min(source_ + int(sets_.size()) - int(setsBefore),
                           int(crates_.size() + sets_.size()));
    }
    list();
}

void LibraryBrowser::list() {
    if (isHistory(source_)) {
        // A set as it was heard, in its order; the search does not apply.
        const HistorySet& set = sets_[sets_.size() - std::size_t(source_ - int(crates_.size()))];
        std::vector<SongRow> songs;
        for (const HeardSong& heard : set.songs)
            if (std::optional<SongRow> song = parts_.library.song(heard.path))
                songs.push_back(std::move(*song));
        status_ = count(songs.size(), "song heard", "songs heard");
        table_.setSongs(std::move(songs));
        emit changed();
        return;
    }
    const SearchQuery query = parseSearchQuery(searchText_);
    SongListing listing = listing_;
    listing.crate = crateAt(source_);
    listing.bpmLow.reset();
    listing.bpmHigh.reset();
    listing.keys.clear();
    listing.leaveOut.clear();
    QString filter;
    const std::optional<MixReference> playing =
        parts_.playing ? parts_.playing() : std::optional<MixReference>();
    table_.setMixKey(playing ? playing->key : -1);
    if (compatibleOnly_) {
        if (!playing || (playing->bpm <= 0 && playing->key < 0)) {
            filter = QStringLiteral(" (no deck is playing: all shown)");
        } else {
            if (playing->bpm > 0) {
                listing.bpmLow = playing->bpm * (1 - kCompatibleTempoShare);
                listing.bpmHigh = playing->bpm * (1 + kCompatibleTempoShare);
            }
            for (int key = 0; key < 24 && playing->key >= 0; ++key)
                if (audio::analysis::keysCompatible(key, playing->key)) listing.keys.push_back(key);
            listing.leaveOut.assign(playing->songs.begin(), playing->songs.end());
            filter = QStringLiteral(" that mix with the playing deck");
        }
    }
    listedQuery_ = query;
    listedPage_ = listing;
    listedFilter_ = filter;
    std::vector<SongRow> songs = parts_.library.search(query, listing);
    const bool more = int(songs.size()) == listing.limit;
    table_.setSongs(std::move(songs));
    table_.setMore(more ? std::function<void()>([this] { listMore(); }) : nullptr);
    showCount(filter);
    emit changed();
}

void LibraryBrowser::listMore() {
    SongListing next = listedPage_;
    next.offset = int(table_.songs().size());
    std::vector<SongRow> songs = parts_.library.search(listedQuery_, next);
    if (int(songs.size()) < next.limit) table_.setMore(nullptr);
    table_.addSongs(std::move(songs));
    showCount(listedFilter_);
    emit changed();
}

void LibraryBrowser::showCount(const QString& filter) {
    if (!listedQuery_.error.isEmpty()) {
        status_ = listedQuery_.error;
        return;
    }
    status_ = count(table_.songs().size(), "song", "songs") + filter;
    if (table_.canFetchMore({}))
        status_ = QStringLiteral("The first ") + status_ +
                  QStringLiteral(": scroll for more, or type to narrow");
}

QString LibraryBrowser::makeCrate(const QString& name) {
    const QString trimmed = name.trimmed();
    if (trimmed.isEmpty()) return QStringLiteral("A crate needs a name.");
    if (std::find(crates_.begin(), crates_.end(), trimmed) != crates_.end())
        return QStringLiteral("There is a crate \"%1\" already.").arg(trimmed);
    parts_.library.makeCrate(trimmed);
    parts_.library.writer().flush();
    refresh();
    return {};
}

QString LibraryBrowser::renameCrate(int index, const QString& name) {
    const QString crate = crateAt(index);
    const QString trimmed = name.trimmed();
    if (crate.isEmpty() || trimmed == crate) return {};
    if (trimmed.isEmpty()) return QStringLiteral("A crate needs a name.");
    if (std::find(crates_.begin(), crates_.end(), trimmed) != crates_.end())
        return QStringLiteral("There is a crate \"%1\" already.").arg(trimmed);
    parts_.library.renameCrate(crate, trimmed);
    parts_.library.writer().flush();
    const bool listed = index == source_;
    readSources();
    if (listed) {
        const auto found = std::find(crates_.begin(), crates_.end(), trimmed);
        source_ = found == crates_.end() ? 0 : int(found - crates_.begin()) + 1;
    }
    list();
    return {};
}

void LibraryBrowser::removeCrate(int index) {
    const QString crate = crateAt(index);
    if (crate.isEmpty()) return;
    const MessageResult answer = parts_.dialogs.message(
        kTitle,
        QStringLiteral("Remove the crate \"%1\"? Its songs stay in the library.").arg(crate),
        MessageButtons::YesNo, MessageIcon::Question);
    if (answer != MessageResult::Yes) return;
    parts_.library.removeCrate(crate);
    parts_.library.writer().flush();
    if (index == source_) source_ = 0;
    refresh();
}

void LibraryBrowser::addToCrate(const QString& crate, const QStringList& paths) {
    if (crate.isEmpty() || paths.isEmpty()) return;
    for (const QString& path : paths)
        parts_.library.addToCrate(crate, path);
    parts_.library.writer().flush();
    refresh();
}

void LibraryBrowser::removeFromCrate(const QStringList& paths) {
    const QString crate = crateAt(source_);
    if (crate.isEmpty()) return;
    for (const QString& path : paths)
        parts_.library.removeFromCrate(crate, path);
    parts_.library.writer().flush();
    list();
}

void LibraryBrowser::exportHistory() {
    std::vector<HistorySet> sets = sets_;
    QString name = QStringLiteral("Kelvra history");
    if (isHistory(source_)) {
        const HistorySet& set = sets_[sets_.size() - std::size_t(source_ - int(crates_.size()))];
        sets = {set};
        name = QStringLiteral("Set ") + QDateTime::fromSecsSinceEpoch(set.songs.front().heard)
                                            .toString(QStringLiteral("yyyy-MM-dd hh-mm"));
    }
    if (sets.empty()) {
        parts_.dialogs.message(kTitle, QStringLiteral("Nothing has been heard yet."),
                               MessageButtons::Ok, MessageIcon::Information);
        return;
    }
    const QString path = parts_.dialogs.saveFile(
        {QStringLiteral("Export the history"),
         QStringLiteral("Playlist (*.m3u);;Cue sheet (*.cue);;Table (*.csv)"), QString(),
         name + QStringLiteral(".m3u"), false});
    if (path.isEmpty()) return;
    const std::optional<ExportFormat> format = exportFormatNamed(QFileInfo(path).suffix());
    CheckedSaveFile file(path + (format ? QString() : QStringLiteral(".m3u")));
    const QByteArray bytes = exportSets(sets, format.value_or(ExportFormat::M3u));
    if (!file.open() || !file.write(bytes) || !file.commit())
        parts_.dialogs.message(kTitle,
                               QStringLiteral("The history could not be written to \"%1\": %2")
                                   .arg(QDir::toNativeSeparators(file.fileName()), file.reason()),
                               MessageButtons::Ok, MessageIcon::Critical);
}

void LibraryBrowser::addFolder() {
    const QString folder =
        parts_.dialogs.chooseFolder({QStringLiteral("Add a folder of songs"), {}, {}, {}, false});
    if (!folder.isEmpty()) scanFolders({folder});
}

void LibraryBrowser::scanFolders(const QStringList& folders) {
    if (folders.isEmpty()) return;
    if (scan_) {
        parts_.dialogs.message(kTitle,
                               QStringLiteral("A scan is running; add the folder when it is done."),
                               MessageButtons::Ok, MessageIcon::Information);
        return;
    }
    scan_ = new QProcess(this);
    scanning_ = folders;
    scanOutput_.clear();
    scan_->setProcessChannelMode(QProcess::SeparateChannels);
    connect(scan_, &QProcess::readyReadStandardError, this, &LibraryBrowser::readScanOutput);
    connect(scan_, &QProcess::finished, this, &LibraryBrowser::finishScan);
    connect(scan_, &QProcess::errorOccurred, this, [this](QProcess::ProcessError error) {
        if (error == QProcess::FailedToStart) finishScan(-1, QProcess::CrashExit);
    });
    scanText_ = QStringLiteral("Scanning...");
    emit changed();
    scan_->start(parts_.scanProgram, QStringList{QStringLiteral("library"), QStringLiteral("scan")}
                                         << folders << QStringLiteral("--db")
                                         << parts_.databasePath);
}

void LibraryBrowser::readScanOutput() {
    if (!scan_) return;
    scanOutput_ += scan_->readAllStandardError();
    // Progress lines: "scan: 1234 found, 12 unchanged, 1000 stored".
    const qsizetype end = scanOutput_.lastIndexOf('\n');
    if (end < 0) return;
    const QList<QByteArray> lines = scanOutput_.left(end).split('\n');
    scanOutput_.remove(0, end + 1);
    for (const QByteArray& line : lines) {
        if (line.startsWith("scan: done: "))
            scanText_ = QString::fromUtf8(line.mid(12));
        else if (line.startsWith("scan: "))
            scanText_ = QStringLiteral("Scanning: ") + QString::fromUtf8(line.mid(6));
        else if (line.startsWith("kelvra-cli: library: "))
            scanText_ = QString::fromUtf8(line.mid(21));
    }
    emit changed();
}

void LibraryBrowser::finishScan(int exitCode, QProcess::ExitStatus status) {
    if (!scan_) return;
    readScanOutput();
    if (status != QProcess::NormalExit || exitCode < 0)
        scanText_ = QStringLiteral("The scan could not run: ") + scan_->errorString();
    else if (exitCode != 0)
        parts_.dialogs.message(kTitle, scanText_, MessageButtons::Ok, MessageIcon::Exclamation);
    const bool whole = status == QProcess::NormalExit && exitCode == 0;
    scan_->deleteLater();
    scan_ = nullptr;
    refresh();
    // What the scan committed, even of a scan cut short, is worth analysing.
    if (parts_.analyser) parts_.analyser->start();
    emit scanFinished();
    if (whole) emit foldersScanned(scanning_);
}

}  // namespace kelvra::library
