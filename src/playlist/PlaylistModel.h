// The entries of the playlist: for each, its path (exactly as an M3U file holds it), the number
// it shows and its display title. One list of records stands for the program's two parallel
// lists, so paths and display lines can never get out of step.
//
// A title may still be a placeholder (the file's name) while the title service reads the real
// one; the entry's id finds it again however the list was edited in the meantime.
// Thread: UI thread only.
#pragma once

#include <QAbstractListModel>
#include <QHash>
#include <unordered_map>
#include <vector>

#include "playlist/TitleService.h"

namespace kelvra::playlist {

struct PlaylistEntry {
    EntryId id = 0;
    QString path;
    int number = 0;  // the 1-based number shown; kept by removes and moves
    QString title;
    bool titleRead = false;  // false while `title` is only a placeholder
    // A line the tag editor wrote after saving ("7. Title - Artist", one space); it stands
    // until the entry's title is read again.
    QString editedLine;
};

// What the analysis found of a song: the tempo (0: none) and the key (see KeyNames.h).
// What the analysis found of a song: 0 BPM when it has no steady beat.
struct SongFacts {
    double bpm = 0;
    int key = -1;
    bool tempoChanges = false;  // `bpm` is the longest steady stretch's
    bool operator==(const SongFacts&) const = default;
};

// "126.0 BPM  8A A minor": the tempo, or "no steady beat", then the key where one stands out.
QString songFactsText(const SongFacts& facts);

// The three characters between an entry's number and its title.
inline const QString kNumberSeparator = QStringLiteral(".  ");

class PlaylistModel final : public QAbstractListModel {
    Q_OBJECT
  public:
    enum Role {
        PathRole = Qt::UserRole + 1,
        TitleReadRole,
        FactsRole,       // songFactsText() of the entry's song
        CompatibleRole,  // its key mixes with the key on the main mix
    };

    explicit PlaylistModel(QObject* parent = nullptr);

    int count() const { return static_cast<int>(entries_.size()); }
    const PlaylistEntry& entry(int row) const { return entries_.at(static_cast<size_t>(row)); }
    const std::vector<PlaylistEntry>& entries() const { return entries_; }
    QString path(int row) const { return entry(row).path; }
    // "12.  Title - Artist": the number, a period, two spaces and the title.
    QString displayLine(int row) const;
    static QString displayLine(int number, const QString& title);
    // The title shown before the real one is read: the file's name, as a title falls back to.
    static QString placeholderTitle(const QString& path);

    // Entries with id 0 get a fresh id here; others keep theirs (a reordering keeps identity).
    // Returns the first new row.
    int append(std::vector<PlaylistEntry> entries);
    void removeAt(int row);
    void clear();
    void swapRows(int a, int b);
    void replaceAll(std::vector<PlaylistEntry> entries);  // ids as for append()
    // Renumbers every entry 1..N in list order and marks every title as unread.
    void renumberAndMarkUnread();
    void markAllUnread();
    // Sets the titles of the entries with these ids; ids no longer in the list are skipped.
    void setTitles(const std::vector<TitleResult>& results);
    // After a tag save: the row shows its number, ". " and `title`.
    void setEditedLine(int row, const QString& title);
    // The analysis of `path` is known: every entry of that song shows it. Kept by path, so an
    // entry added again later shows it at once.
    void setSongFacts(const QString& path, const SongFacts& facts);
    // The key of the song heard on the main mix (-1: none); entries whose key mixes with it are
    // marked.
    void setMixKey(int key);

    int rowCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;

  private:
    int rowOf(EntryId id);
    void giveIds(std::vector<PlaylistEntry>& entries);

    std::vector<PlaylistEntry> entries_;
    QHash<QString, SongFacts> facts_;
    int mixKey_ = -1;
    EntryId nextId_ = 1;
    // id -> row, rebuilt lazily after edits that move rows.
    std::unordered_map<EntryId, int> rows_;
    bool rowsStale_ = true;
};

}  // namespace kelvra::playlist
