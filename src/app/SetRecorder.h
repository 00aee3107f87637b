// The recording of the DJ's set: the record button starts and stops a recording of the main mix
// into a FLAC file, lit red while it runs with its length and size beside it, and a cue sheet
// beside the file lists each song from the moment it is heard on the main mix. A recording that
// fails tells the DJ and ends; the decks play on either way.
// Thread: UI thread only.
#pragma once

#include <QDateTime>
#include <QString>
#include <array>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

#include "audio/AudioLibrary.h"
#include "autodj/CueSheet.h"
#include "core/Clock.h"
#include "core/ControlModels.h"
#include "core/Dialogs.h"
#include "core/Side.h"

namespace kelvra::app {

// The record button's back colours (colour numbers: blue in the high byte, red in the low).
inline constexpr int kRecordingColour = kColourLitRed;
inline constexpr int kRecordIdleColour = 0x1C1C50;  // dark red

// A song on the main mix: its file and what its deck's display says of it.
struct AudibleSong {
    QString path;
    QString deckText;
};

// "Mix 2026-12-07 21-05.flac" in `folder` for a recording started at `when`; " (2)", " (3)"
// and so on before the suffix while `taken` says the name or its cue sheet's is in use.
QString mixFilePath(const QString& folder, const QDateTime& when,
                    const std::function<bool(const QString&)>& taken);
// Whether anything at all is called `path` (a file, a folder, a pipe, a device, a link).
bool nameInUse(const QString& path);
// `path` itself for the first recording, "name-2.flac" for the second, and so on.
QString numberedPath(const QString& path, int number);
// The file beside a recording that holds its cue sheet: the same name ending in ".cue".
QString cueSheetPath(const QString& recording);
// "REC 12:34  85.2 MB": the recording's length (hours when it has them) and size.
QString recordingText(std::uint64_t frames, int rate, std::uint64_t bytes);

class SetRecorder {
  public:
    struct Parts {
        audio::AudioLibrary& library;
        Dialogs& dialogs;
        Clock& clock;
        ButtonModel& button;  // recordCB
        TextModel& text;      // recordTXT
        // Where the next recording goes: a new name each time.
        std::function<QString()> nextPath;
        // The song a deck plays on the main mix now (playing, with its main-mix volume above 0).
        std::function<std::optional<AudibleSong>(Side)> audible;
    };
    // The button's clicks toggle the recording from now on.
    explicit SetRecorder(Parts parts);
    ~SetRecorder();

    bool recording() const { return recording_; }
    // The recording's file while it runs, afterwards the last one's.
    QString path() const { return path_; }
    const std::vector<autodj::CueTrack>& tracks() const { return tracks_; }
    // Whether any recording so far could not start, ended early or lost its cue sheet.
    bool anyFailed() const { return anyFailed_; }

    void toggle();
    // False when it could not start: the DJ has been told why.
    bool start();
    // Completes the file and writes its cue sheet. What went wrong on the way, for the DJ, or
    // empty; the caller shows it.
    QString stop();
    // The display tick: the length and size shown, songs newly heard noted, and a failure
    // (a full disk) ends the recording and is told once the tick is over.
    void tick();
    // A song went onto a deck: once heard, it is a new track, even the same file again.
    void songLoaded(Side side) { noted_[sideIndex(side)] = false; }

  private:
    void noteAudibleSongs(const audio::RecordingStatus& status);
    // The cue sheet as it stands; the system's reason when it could not be written (the sheet
    // on disk is then the last one written whole).
    QString writeCueSheet() const;
    void showIdle();
    void tell(const QString& text);

    Parts parts_;
    std::unique_ptr<Timer> notice_;
    QString noticeText_;
    bool recording_ = false;
    bool anyFailed_ = false;
    QString path_;
    std::vector<autodj::CueTrack> tracks_;
    std::array<bool, 2> noted_{};  // the song on each deck is in the sheet
};

}  // namespace kelvra::app
