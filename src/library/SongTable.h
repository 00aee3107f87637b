// The library's songs as a table for the library window: one column per SongColumn, in that
// order (the view shows, hides and moves them), with the texts a DJ reads at a glance. Rows are
// the page a search gave; dragging rows carries their paths as file URLs, so they can be dropped
// on a deck, into the playlist or onto a crate. Thread: UI thread only.
#pragma once

#include <QAbstractTableModel>
#include <functional>
#include <vector>

#include "library/Library.h"

namespace kelvra::library {

QString columnTitle(SongColumn column);
// The text of one cell: "126.0" for a tempo, "8A  A minor" for a key, "4:05" for a length,
// stars for a rating, a date for the last play; empty where the library knows nothing.
QString cellText(const SongRow& song, SongColumn column);

class SongTable : public QAbstractTableModel {
    Q_OBJECT
  public:
    explicit SongTable(QObject* parent = nullptr) : QAbstractTableModel(parent) {}

    // The rows listed anew, with no more to come until setMore() says so.
    void setSongs(std::vector<SongRow> songs);
    // More rows after the last ones.
    void addSongs(std::vector<SongRow> songs);
    // What fetches the rows after the last ones when the view scrolls to them; null when the
    // rows listed are all there are.
    void setMore(std::function<void()> fetch) { more_ = std::move(fetch); }
    const std::vector<SongRow>& songs() const { return songs_; }
    // The song of a row; null outside the rows.
    const SongRow* song(int row) const;
    // Rows whose key mixes with the playing deck's show it in green.
    void setMixKey(int key);

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;
    bool canFetchMore(const QModelIndex& parent) const override;
    void fetchMore(const QModelIndex& parent) override;
    QStringList mimeTypes() const override;
    QMimeData* mimeData(const QModelIndexList& indexes) const override;
    Qt::DropActions supportedDragActions() const override { return Qt::CopyAction; }

  private:
    std::vector<SongRow> songs_;
    std::function<void()> more_;
    int mixKey_ = -1;
};

}  // namespace kelvra::library
