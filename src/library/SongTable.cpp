#include "library/SongTable.h"

#include <QColor>
#include <QDateTime>
#include <QMimeData>
#include <QUrl>
#include <cmath>
#include <iterator>
#include <set>

#include "audio/analysis/KeyNames.h"
#include "core/Rounding.h"
#include "core/widgets/SongDrag.h"

namespace kelvra::library {

namespace {
const QColor kCompatible(0x5f, 0xe0, 0x7a);
}

QString columnTitle(SongColumn column) {
    switch (column) {
        case SongColumn::Artist:
            return QStringLiteral("Artist");
        case SongColumn::Title:
            return QStringLiteral("Title");
        case SongColumn::Album:
            return QStringLiteral("Album");
        case SongColumn::Genre:
            return QStringLiteral("Genre");
        case SongColumn::Bpm:
            return QStringLiteral("BPM");
        case SongColumn::Key:
            return QStringLiteral("Key");
        case SongColumn::Length:
            return QStringLiteral("Length");
        case SongColumn::Rating:
            return QStringLiteral("Rating");
        case SongColumn::Plays:
            return QStringLiteral("Plays");
        case SongColumn::LastPlayed:
            return QStringLiteral("Last played");
        case SongColumn::Comment:
            return QStringLiteral("Comment");
        case SongColumn::Path:
        case SongColumn::Count:
            break;
    }
    return QStringLiteral("File");
}

QString cellText(const SongRow& song, SongColumn column) {
    switch (column) {
        case SongColumn::Artist:
            return song.artist;
        case SongColumn::Title:
            return song.title;
        case SongColumn::Album:
            return song.album;
        case SongColumn::Genre:
            return song.genre;
        case SongColumn::Bpm:
            return song.bpm && *song.bpm > 0 ? QString::number(*song.bpm, 'f', 1) : QString();
        case SongColumn::Key:
            if (song.key < 0) return {};
            return QString::fromStdString(audio::analysis::keyWheel(song.key) + "  " +
                                          audio::analysis::keyName(song.key));
        case SongColumn::Length: {
            if (song.seconds <= 0) return {};
            const std::int64_t seconds = roundEven(song.seconds);
            return QStringLiteral("%1:%2").arg(seconds / 60).arg(seconds % 60, 2, 10, QChar(u'0'));
        }
        case SongColumn::Rating:
            return QString(song.rating, QChar(0x2605)) + QString(5 - song.rating, QChar(0x2606));
        case SongColumn::Plays:
            return song.playCount > 0 ? QString::number(song.playCount) : QString();
        case SongColumn::LastPlayed:
            return song.lastPlayed ? QDateTime::fromSecsSinceEpoch(*song.lastPlayed)
                                         .toString(QStringLiteral("yyyy-MM-dd hh:mm"))
                                   : QString();
        case SongColumn::Comment:
            return song.comment;
        case SongColumn::Path:
        case SongColumn::Count:
            break;
    }
    return song.path;
}

void SongTable::setSongs(std::vector<SongRow> songs) {
    beginResetModel();
    songs_ = std::move(songs);
    more_ = nullptr;
    endResetModel();
}

void SongTable::addSongs(std::vector<SongRow> songs) {
    if (songs.empty()) return;
    beginInsertRows({}, rowCount(), rowCount() + int(songs.size()) - 1);
    songs_.insert(songs_.end(), std::make_move_iterator(songs.begin()),
                  std::make_move_iterator(songs.end()));
    endInsertRows();
}

bool SongTable::canFetchMore(const QModelIndex& parent) const {
    return !parent.isValid() && more_ != nullptr;
}

void SongTable::fetchMore(const QModelIndex& parent) {
    // The fetch may drop itself (no more after this page): it is kept alive while it runs.
    if (const std::function<void()> fetch = parent.isValid() ? nullptr : more_) fetch();
}

const SongRow* SongTable::song(int row) const {
    return row >= 0 && row < int(songs_.size()) ? &songs_[std::size_t(row)] : nullptr;
}

void SongTable::setMixKey(int key) {
    if (key == mixKey_) return;
    mixKey_ = key;
    if (!songs_.empty())
        emit dataChanged(index(0, int(SongColumn::Key)),
                         index(rowCount() - 1, int(SongColumn::Key)), {Qt::ForegroundRole});
}

int SongTable::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : int(songs_.size());
}

int SongTable::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : int(SongColumn::Count);
}

QVariant SongTable::data(const QModelIndex& index, int role) const {
    const SongRow* row = song(index.row());
    if (!row || index.column() < 0 || index.column() >= int(SongColumn::Count)) return {};
    const auto column = SongColumn(index.column());
    switch (role) {
        case Qt::DisplayRole:
            return cellText(*row, column);
        case Qt::ToolTipRole:
            return row->path;
        case Qt::TextAlignmentRole: {
            const bool number = column == SongColumn::Bpm || column == SongColumn::Length ||
                                column == SongColumn::Plays;
            return int((number ? Qt::AlignRight : Qt::AlignLeft) | Qt::AlignVCenter);
        }
        case Qt::ForegroundRole:
            if (column == SongColumn::Key && mixKey_ >= 0 &&
                audio::analysis::keysCompatible(row->key, mixKey_))
                return kCompatible;
            return {};
        default:
            return {};
    }
}

QVariant SongTable::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole || section < 0 ||
        section >= int(SongColumn::Count))
        return {};
    return columnTitle(SongColumn(section));
}

Qt::ItemFlags SongTable::flags(const QModelIndex& index) const {
    if (!index.isValid()) return Qt::NoItemFlags;
    return Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemIsDragEnabled;
}

QStringList SongTable::mimeTypes() const {
    return {QStringLiteral("text/uri-list"), QString::fromLatin1(widgets::kSongMimeType)};
}

QMimeData* SongTable::mimeData(const QModelIndexList& indexes) const {
    std::set<int> rows;
    for (const QModelIndex& index : indexes)
        rows.insert(index.row());
    QList<QUrl> urls;
    QStringList lines;
    for (int row : rows)
        if (const SongRow* chosen = song(row)) {
            urls << QUrl::fromLocalFile(chosen->path);
            lines << chosen->artist + QStringLiteral(" - ") + chosen->title;
        }
    if (urls.isEmpty()) return nullptr;
    QMimeData* data = widgets::makeSongMimeData(lines.join(u'\n'));
    data->setUrls(urls);
    return data;
}

}  // namespace kelvra::library
