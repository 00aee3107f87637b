#include "playlist/PlaylistModel.h"

#include <algorithm>

#include "audio/analysis/KeyNames.h"
#include "core/PathBytes.h"

namespace kelvra::playlist {

QString songFactsText(const SongFacts& facts) {
    QStringList parts;
    if (facts.bpm > 0)
        parts << QString::number(facts.bpm, 'f', 1) + QStringLiteral(" BPM") +
                     (facts.tempoChanges ? QStringLiteral(" (tempo changes)") : QString());
    else
        parts << QStringLiteral("no steady beat");
    if (facts.key >= 0)
        parts << QString::fromStdString(audio::analysis::keyWheel(facts.key) + ' ' +
                                        audio::analysis::keyName(facts.key));
    return parts.join(QStringLiteral("  "));
}

PlaylistModel::PlaylistModel(QObject* parent) : QAbstractListModel(parent) {}

QString PlaylistModel::displayLine(int number, const QString& title) {
    return QString::number(number) + kNumberSeparator + title;
}

QString PlaylistModel::displayLine(int row) const {
    const PlaylistEntry& e = entry(row);
    if (!e.editedLine.isEmpty()) return e.editedLine;
    return displayLine(e.number, e.title);
}

QString PlaylistModel::placeholderTitle(const QString& path) {
    return readablePath(path.mid(path.lastIndexOf(u'/') + 1));
}

void PlaylistModel::giveIds(std::vector<PlaylistEntry>& entries) {
    for (PlaylistEntry& e : entries)
        if (e.id == 0) e.id = nextId_++;
}

int PlaylistModel::append(std::vector<PlaylistEntry> entries) {
    const int first = count();
    if (entries.empty()) return first;
    giveIds(entries);
    beginInsertRows({}, first, first + static_cast<int>(entries.size()) - 1);
    for (PlaylistEntry& e : entries) {
        if (!rowsStale_) rows_[e.id] = static_cast<int>(entries_.size());
        entries_.push_back(std::move(e));
    }
    endInsertRows();
    return first;
}

void PlaylistModel::removeAt(int row) {
    if (row < 0 || row >= count()) return;
    beginRemoveRows({}, row, row);
    entries_.erase(entries_.begin() + row);
    rowsStale_ = true;
    endRemoveRows();
}

void PlaylistModel::clear() {
    beginResetModel();
    entries_.clear();
    rows_.clear();
    rowsStale_ = false;
    endResetModel();
}

void PlaylistModel::swapRows(int a, int b) {
    if (a == b || a < 0 || b < 0 || a >= count() || b >= count()) return;
    std::swap(entries_[static_cast<size_t>(a)], entries_[static_cast<size_t>(b)]);
    rowsStale_ = true;
    emit dataChanged(index(std::min(a, b)), index(std::max(a, b)));
}

void PlaylistModel::replaceAll(std::vector<PlaylistEntry> entries) {
    beginResetModel();
    giveIds(entries);
    entries_ = std::move(entries);
    rowsStale_ = true;
    endResetModel();
}

void PlaylistModel::renumberAndMarkUnread() {
    for (size_t i = 0; i < entries_.size(); ++i) {
        entries_[i].number = static_cast<int>(i) + 1;
        entries_[i].titleRead = false;
        entries_[i].editedLine.clear();
    }
    if (!entries_.empty()) emit dataChanged(index(0), index(count() - 1));
}

void PlaylistModel::markAllUnread() {
    for (PlaylistEntry& e : entries_)
        e.titleRead = false;
    if (!entries_.empty()) emit dataChanged(index(0), index(count() - 1));
}

int PlaylistModel::rowOf(EntryId id) {
    if (rowsStale_) {
        rows_.clear();
        rows_.reserve(entries_.size());
        for (size_t i = 0; i < entries_.size(); ++i)
            rows_[entries_[i].id] = static_cast<int>(i);
        rowsStale_ = false;
    }
    const auto found = rows_.find(id);
    return found == rows_.end() ? -1 : found->second;
}

void PlaylistModel::setEditedLine(int row, const QString& title) {
    if (row < 0 || row >= count()) return;
    PlaylistEntry& e = entries_[static_cast<size_t>(row)];
    e.title = title;
    e.titleRead = true;
    e.editedLine = QString::number(e.number) + QStringLiteral(". ") + title;
    emit dataChanged(index(row), index(row));
}

void PlaylistModel::setTitles(const std::vector<TitleResult>& results) {
    int low = count();
    int high = -1;
    for (const TitleResult& result : results) {
        const int row = rowOf(result.id);
        if (row < 0) continue;
        PlaylistEntry& e = entries_[static_cast<size_t>(row)];
        e.title = result.title;
        e.titleRead = true;
        e.editedLine.clear();
        low = std::min(low, row);
        high = std::max(high, row);
    }
    // One notification per batch: the view repaints what is visible, not each row.
    if (high >= low) emit dataChanged(index(low), index(high));
}

void PlaylistModel::setSongFacts(const QString& path, const SongFacts& facts) {
    const auto known = facts_.constFind(path);
    if (known != facts_.constEnd() && *known == facts) return;
    facts_.insert(path, facts);
    // The view repaints only the rows it shows, so one notice for all is cheaper than finding
    // the song's rows in a long list.
    if (!entries_.empty()) emit dataChanged(index(0), index(count() - 1), {FactsRole});
}

void PlaylistModel::setMixKey(int key) {
    if (key == mixKey_) return;
    mixKey_ = key;
    if (!entries_.empty()) emit dataChanged(index(0), index(count() - 1), {CompatibleRole});
}

int PlaylistModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : count();
}

QVariant PlaylistModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || index.row() >= count()) return {};
    switch (role) {
        case Qt::DisplayRole:
            return displayLine(index.row());
        case Qt::ToolTipRole:
        case PathRole:
            return path(index.row());
        case TitleReadRole:
            return entry(index.row()).titleRead;
        case FactsRole: {
            // A song not analysed yet shows nothing, not "no steady beat".
            const auto known = facts_.constFind(path(index.row()));
            return known == facts_.constEnd() ? QString() : songFactsText(*known);
        }
        case CompatibleRole:
            return mixKey_ >= 0 &&
                   audio::analysis::keysCompatible(facts_.value(path(index.row())).key, mixKey_);
        default:
            return {};
    }
}

}  // namespace kelvra::playlist
