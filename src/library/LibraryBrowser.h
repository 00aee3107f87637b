// The library window's logic, without the window: what the table lists (every song, a crate or
// one set of the history), the search typed so far, the "compatible with the playing deck"
// filter, the order and the columns the DJ chose (remembered), crates, history export and adding
// folders. Adding runs kelvra-cli's scan in a process of its own, so a slow disk or a broken file
// never holds up the program, and quitting mid-scan loses nothing the scan committed; the songs it
// brought in are then analysed in the background.
// Thread: UI thread only.
#pragma once

#include <QObject>
#include <QProcess>
#include <QStringList>
#include <functional>
#include <optional>
#include <vector>

#include "library/HistoryExport.h"
#include "library/Library.h"
#include "library/SearchQuery.h"
#include "library/SongTable.h"

namespace kelvra {
class Dialogs;
}
namespace kelvra::settings {
class SettingsStore;
}

namespace kelvra::library {

// The song heard on the main mix now: what a compatible song must mix with.
struct MixReference {
    double bpm = 0;  // as it plays, 0 when unknown
    int key = -1;
    // The songs the tempo and key are taken from: they mix with themselves, and are not listed.
    QStringList songs;
};

// Within this share of the playing tempo a song is close enough to beat-match.
inline constexpr double kCompatibleTempoShare = 0.06;

class LibraryAnalyser;

class LibraryBrowser : public QObject {
    Q_OBJECT
  public:
    struct Parts {
        Library& library;
        settings::SettingsStore& store;
        Dialogs& dialogs;
        QString scanProgram;   // kelvra-cli
        QString databasePath;  // the library's file, for the scan
        std::function<std::optional<MixReference>()> playing;
        // Analyses what a scan brought in; none: the songs wait for a deck to analyse them.
        LibraryAnalyser* analyser = nullptr;
    };
    explicit LibraryBrowser(Parts parts);
    ~LibraryBrowser() override;

    SongTable& table() { return table_; }
    Library& library() { return parts_.library; }

    // "All songs", then the crates by name, then the history's sets, newest first.
    QStringList sources() const;
    int source() const { return source_; }
    void chooseSource(int index);
    // The crate a source names; empty for the others.
    QString crateAt(int index) const;
    bool isHistory(int index) const;

    void setSearchText(const QString& text);
    QString searchText() const { return searchText_; }
    void setCompatibleOnly(bool on);
    bool compatibleOnly() const { return compatibleOnly_; }
    void sortBy(SongColumn column, bool descending);
    SongColumn sortColumn() const { return listing_.sortBy; }
    bool sortDescending() const { return listing_.descending; }
    // The columns shown, left to right.
    const std::vector<SongColumn>& columns() const { return columns_; }
    void setColumns(std::vector<SongColumn> columns);

    // "1,234 songs", a reason the search cannot be read, or what the filter is waiting for.
    QString status() const { return status_; }
    // Lists again: after a scan, a change on disk, a new playing deck for the filter.
    void refresh();

    // Crates. Empty or taken names are refused with the reason (an empty text: done).
    QString makeCrate(const QString& name);
    QString renameCrate(int index, const QString& name);
    void removeCrate(int index);  // asks first; the songs stay in the library
    void addToCrate(const QString& crate, const QStringList& paths);
    void removeFromCrate(const QStringList& paths);  // from the crate listed now

    // Writes the history set listed now, or every set, where the DJ says; the file's ending
    // (.m3u, .cue, .csv) picks the format.
    void exportHistory();

    // Asks for a folder and adds its songs; the scan runs on while the DJ works.
    void addFolder();
    void scanFolders(const QStringList& folders);
    bool scanning() const { return scan_ != nullptr; }
    // The scan's progress or outcome, for the window's status line.
    QString scanText() const { return scanText_; }
    // The analysis's progress or outcome, for the status line too; empty before there was one.
    QString analysisText() const;

  signals:
    void changed();  // sources, status, scan or analysis text
    void scanFinished();
    // A scan went through these folders to its end: they are worth watching from now on.
    void foldersScanned(const QStringList& folders);

  private:
    void list();
    // The next page of the songs listed, for the view scrolled to their end.
    void listMore();
    void showCount(const QString& filter);
    void finishScan(int exitCode, QProcess::ExitStatus status);
    void readScanOutput();
    void saveLook();
    void readSources();

    Parts parts_;
    SongTable table_;
    SongListing listing_;
    // What the table lists, for its further pages.
    SearchQuery listedQuery_;
    SongListing listedPage_;
    QString listedFilter_;
    std::vector<SongColumn> columns_;
    QString searchText_;
    bool compatibleOnly_ = false;
    int source_ = 0;
    std::vector<QString> crates_;
    std::vector<HistorySet> sets_;  // oldest first; listed newest first
    QString status_;
    QProcess* scan_ = nullptr;
    QByteArray scanOutput_;
    QStringList scanning_;  // the folders the running scan was asked for
    QString scanText_;
};

}  // namespace kelvra::library
