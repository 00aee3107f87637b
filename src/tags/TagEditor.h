// The tag editor's logic without the window: which view shows, what each view reads from the
// file, the copy between the ID3v1 and ID3v2 views, and the save. The window `editTagsF` only
// draws TagEditorControls and forwards input; tests drive this class headless.
//
// One editor is made for one song and thrown away after a save or a cancel. Thread: UI thread
// only (it reads and writes the file and drives the audio library).
#pragma once

#include <QObject>
#include <functional>

#include "audio/AudioLibrary.h"
#include "core/Dialogs.h"
#include "tags/Id3v2Reader.h"
#include "tags/Id3v2Writer.h"
#include "tags/TagEditorControls.h"

namespace kelvra::tags {

class TagEditor final : public QObject {
    Q_OBJECT
  public:
    struct Hooks {
        // After a save: the playlist line of the song shows `title` (its `getID3_tag` text)
        // after its number and ". ", and the next-song box shows the selected line.
        std::function<void(const QString& title)> tagsSaved;
        // The window closes (after a save, Cancel, the close button or Escape).
        std::function<void()> close;
        // The hourglass pointer while a save runs.
        std::function<void(bool busy)> busyPointer;
    };

    TagEditor(TagEditorControls& controls, audio::AudioLibrary& library, Dialogs& dialogs,
              ID3v2TagWriter& tagWriterComponent, QString path, Hooks hooks);
    ~TagEditor() override;

    // The window's load: opens the WMA stream and shows the WMA/ASF view for a WMA/ASF file,
    // the ID3v2 view for any other.
    void load();
    // A click on option `view` of `ID3ver`.
    void showView(int view);
    void cmdCopyTags_Click();
    void cmdSave_Click();
    // Cancel, the close button and Escape: closes without saving.
    void cancel();

    const QString& path() const { return path_; }
    audio::Handle wmaHandle() const { return wmaHandle_; }
    int visibleView() const { return controls_.frameTagInfo.currentIndex(); }

    // The characters of `text` that ID3v1's single-byte fields cannot hold, each once.
    static QString charactersID3v1Lacks(const QString& text);
    // The comment a comment slot holds: its encoding, language and description dropped, cleaned.
    static QString commentOfSlot(const QString& slot);

  private:
    void showID3v1View();
    void showID3v2View();
    void showWmaView();
    void setFrame(int view);
    void updateID3v1Notice();
    bool confirmID3v1Losses();
    void saveID3v1();
    void saveID3v2();
    void freeWmaStream();

    TagEditorControls& controls_;
    audio::AudioLibrary& library_;
    Dialogs& dialogs_;
    ID3v2TagWriter& writer_;
    QString path_;
    Hooks hooks_;
    audio::Handle wmaHandle_ = 0;
    ID3v2Slots id3v2_;
    // Whether the user picked a genre in the ID3v1 or ID3v2 view; an untouched box leaves the
    // file's genre as it was.
    std::array<bool, 2> genreChosen_{};
};

}  // namespace kelvra::tags
