#include <gtest/gtest.h>

#include <QDir>
#include <QLineEdit>
#include <QProcess>
#include <QRadioButton>
#include <QTemporaryDir>
#include <QTest>

#include "SaveFixtures.h"
#include "TagFixtures.h"
#include "support/FakeEngine.h"
#include "support/ScriptedDialogs.h"
#include "tags/Id3v1.h"
#include "tags/TagEditor.h"
#include "tags/TagText.h"
#include "tags/ui/TagEditorWindow.h"

using namespace kelvra;
using namespace kelvra::tags;
using namespace kelvra::test;

namespace {

// A real MP3 in a temporary folder, with its encoder tag stripped so it starts untagged.
QString untaggedMp3(const QTemporaryDir& dir, const QString& name) {
    const QString path = dir.filePath(name);
    QDir().mkpath(QFileInfo(path).path());
    QByteArray bytes = contents(sampleMp3());
    ID3v2Slots head;
    if (parseID3v2Header(std::string_view(bytes.constData(), std::size_t(bytes.size())), head))
        bytes.remove(0, qsizetype(head.tagSize));
    writeFile(path, bytes);
    return path;
}

// One opening of the editor window, as the playlist does it.
struct Editor {
    Editor(FakeEngine& library, ID3v2TagWriter& writer, const QString& path)
        : editor(controls, library, dialogs, writer, path,
                 {[this](const QString& title) { savedTitles << title; }, [this] { ++closes; },
                  [this](bool busy) { busyChanges << busy; }}) {
        editor.load();
    }
    TagBoxes& view(int index) { return controls.boxes[index]; }

    TagEditorControls controls;
    ScriptedDialogs dialogs;
    TagEditor editor;
    QStringList savedTitles;
    int closes = 0;
    QList<bool> busyChanges;
};

class FailingWriter final : public ID3v2TagWriter {
  public:
    bool setField(int, const QString&) override { return true; }
    bool writeFile(const QString&) override { return false; }
    QString failureText() const override { return QStringLiteral("No space left on device"); }
};

}  // namespace

TEST(TagEditor, WmaFileOpensReadOnlyWithItsAttributes) {
    FakeEngine library;
    FakeEngine::Song song = FakeEngine::addonSong(1000);
    song.tags = bytes(
        "Title:First\0 author :Band\0WM/AlbumTitle:Disc\0WM/Year:2003\0"
        "WM/Genre:Rock\0Description:Live\0Title:Second\0\0");
    library.addSong("/m/set.wma", song);
    TagLibID3v2Writer writer;
    Editor e(library, writer, QStringLiteral("/m/set.wma"));

    EXPECT_EQ(e.editor.visibleView(), kViewWma);
    EXPECT_EQ(e.controls.ID3ver.currentIndex(), kViewWma);
    EXPECT_FALSE(e.controls.ID3ver.isItemEnabled(kViewID3v1));
    EXPECT_FALSE(e.controls.ID3ver.isItemEnabled(kViewID3v2));
    EXPECT_TRUE(e.controls.ID3ver.isItemEnabled(kViewWma));
    EXPECT_FALSE(e.controls.cmdSave.isEnabled());
    EXPECT_FALSE(e.controls.cmdCopyTags.isEnabled());
    // The last entry of a name wins; names match trimmed and in any case; genre is not shown.
    EXPECT_EQ(e.view(kViewWma).song.text(), QStringLiteral("Second"));
    EXPECT_EQ(e.view(kViewWma).artist.text(), QStringLiteral("Band"));
    EXPECT_EQ(e.view(kViewWma).album.text(), QStringLiteral("Disc"));
    EXPECT_EQ(e.view(kViewWma).year.text(), QStringLiteral("2003"));
    EXPECT_EQ(e.view(kViewWma).comments.text(), QStringLiteral("Live"));
    EXPECT_EQ(e.view(kViewWma).genre.currentIndex(), -1);
    // The stream is freed once read.
    EXPECT_EQ(e.editor.wmaHandle(), 0u);
    EXPECT_TRUE(library.stream(1) == nullptr || library.stream(1)->freed);
}

TEST(TagEditor, UntaggedMp3OpensEmptyInID3v2AndShowsFileNameTitleInID3v1) {
    QTemporaryDir dir;
    const QString path =
        untaggedMp3(dir, QStringLiteral("Nova - Night Album - 01 - Midnight Run.mp3"));
    FakeEngine library;
    TagLibID3v2Writer writer;
    Editor e(library, writer, path);

    EXPECT_EQ(e.editor.visibleView(), kViewID3v2);
    EXPECT_EQ(e.controls.cmdCopyTags.caption(), QStringLiteral("Copy ID3v1"));
    EXPECT_TRUE(e.controls.cmdSave.isEnabled());
    EXPECT_FALSE(e.controls.ID3ver.isItemEnabled(kViewWma));
    for (TextModel* box : e.view(kViewID3v2).texts())
        EXPECT_TRUE(box->text().isEmpty());

    e.editor.showView(kViewID3v1);
    EXPECT_EQ(e.editor.visibleView(), kViewID3v1);
    EXPECT_EQ(e.controls.cmdCopyTags.caption(), QStringLiteral("Copy ID3v2"));
    EXPECT_EQ(e.view(kViewID3v1).song.text(), QStringLiteral("Midnight Run"));
    EXPECT_EQ(e.view(kViewID3v1).artist.text(), QStringLiteral("Nova"));
    EXPECT_EQ(e.view(kViewID3v1).album.text(), QStringLiteral("Night Album"));
    // Every genre box offers "no genre" first and then the whole table.
    EXPECT_EQ(e.view(kViewID3v1).genre.items().size(), 149);
}

TEST(TagEditor, ID3v1SaveCutsToFieldWidthsKeepsAudioAndRefreshesTheLine) {
    QTemporaryDir dir;
    const QString path = untaggedMp3(dir, QStringLiteral("song.mp3"));
    const QByteArray audio = contents(path);
    FakeEngine library;
    library.addSong(path.toStdString(), FakeEngine::mainSong(1000));
    TagLibID3v2Writer writer;
    Editor e(library, writer, path);
    e.editor.showView(kViewID3v1);
    e.view(kViewID3v1).song.edit(QString(40, u'T'));
    e.view(kViewID3v1).artist.edit(QStringLiteral("Band"));
    e.view(kViewID3v1).year.edit(QStringLiteral("199912"));
    e.view(kViewID3v1).genre.choose(1 + 17);  // Rock
    e.controls.cmdSave.click();

    const QByteArray saved = contents(path);
    ASSERT_EQ(saved.size(), audio.size() + 128);
    EXPECT_EQ(saved.left(audio.size()), audio);
    const std::string block = saved.right(128).toStdString();
    EXPECT_EQ(block.substr(3, 30), std::string(30, 'T'));
    EXPECT_EQ(block.substr(33, 30), "Band" + std::string(26, ' '));
    EXPECT_EQ(block.substr(93, 4), "1999");
    EXPECT_EQ(static_cast<unsigned char>(block[127]), 17);
    EXPECT_TRUE(e.dialogs.messages.empty());
    EXPECT_EQ(e.busyChanges, (QList<bool>{true, false}));
    EXPECT_EQ(e.savedTitles.size(), 1);
    EXPECT_EQ(e.closes, 1);
}

TEST(TagEditor, CopyTakesOnlyNonBlankFieldsAndWritesNothing) {
    QTemporaryDir dir;
    const QString path = untaggedMp3(dir, QStringLiteral("song.mp3"));
    const QByteArray before = contents(path);
    FakeEngine library;
    TagLibID3v2Writer writer;
    Editor e(library, writer, path);
    TagBoxes& v1 = e.view(kViewID3v1);
    TagBoxes& v2 = e.view(kViewID3v2);
    v1.song.edit(QStringLiteral("From One"));
    v1.year.edit(QStringLiteral("    "));
    v1.artist.edit(QString());
    v2.year.edit(QStringLiteral("2020"));
    v2.artist.edit(QStringLiteral("Keeps"));

    e.controls.cmdCopyTags.click();  // the ID3v2 view shows: copies ID3v1 into it
    EXPECT_EQ(v2.song.text(), QStringLiteral("From One"));
    EXPECT_EQ(v2.year.text(), QStringLiteral("2020"));
    EXPECT_EQ(v2.artist.text(), QStringLiteral("Keeps"));

    e.editor.showView(kViewID3v1);
    v1.song.edit(QStringLiteral("  "));
    e.controls.cmdCopyTags.click();  // now the other way
    EXPECT_EQ(v1.artist.text(), QStringLiteral("Keeps"));
    EXPECT_EQ(v1.year.text(), QStringLiteral("2020"));
    EXPECT_EQ(v1.song.text(), QStringLiteral("From One"));
    EXPECT_EQ(contents(path), before);
    EXPECT_EQ(e.closes, 0);
}

TEST(TagEditor, AnyLanguageTitleRoundTripsThroughID3v2AndID3v1SaysWhatItCannotHold) {
    QTemporaryDir dir;
    const QString path = untaggedMp3(dir, QStringLiteral("song.mp3"));
    const QString title = QStringLiteral("Ночь в Токио 夜の街 \U0001F3B5");
    FakeEngine library;
    TagLibID3v2Writer writer;
    {
        Editor e(library, writer, path);
        e.view(kViewID3v2).song.edit(title);
        e.view(kViewID3v2).comments.edit(QStringLiteral("Überall"));
        e.view(kViewID3v2).genre.choose(1 + 17);
        e.controls.cmdSave.click();
        EXPECT_TRUE(e.dialogs.messages.empty());
    }
    Editor again(library, writer, path);
    EXPECT_EQ(again.view(kViewID3v2).song.text(), title);
    // Another program's reader agrees.
    QProcess probe;
    probe.start(QStringLiteral("ffprobe"), {"-v", "error", "-show_entries", "format_tags=title",
                                            "-of", "default=noprint_wrappers=1:nokey=1", path});
    if (probe.waitForFinished(20000)) {
        EXPECT_EQ(QString::fromUtf8(probe.readAllStandardOutput()).trimmed(), title);
    }
    EXPECT_EQ(again.view(kViewID3v2).comments.text(), QStringLiteral("Überall"));
    EXPECT_EQ(again.view(kViewID3v2).genre.currentText(), QStringLiteral("Rock"));

    // Copied into ID3v1, the Cyrillic and Japanese letters have no byte there: the view says
    // so, and saving asks first; "No" leaves the file and the window as they were.
    again.editor.showView(kViewID3v1);
    again.controls.cmdCopyTags.click();
    EXPECT_TRUE(again.controls.id3v1Notice.text().contains(QStringLiteral("Ночь")) ||
                again.controls.id3v1Notice.text().contains(QStringLiteral("Н")));
    EXPECT_EQ(TagEditor::charactersID3v1Lacks(QStringLiteral("Café ?")), QString());
    const QByteArray before = contents(path);
    again.dialogs.answerNext(MessageResult::No);
    again.controls.cmdSave.click();
    EXPECT_EQ(contents(path), before);
    EXPECT_EQ(again.closes, 0);
}

TEST(TagEditor, FailedSaveShowsItsMessageAndLeavesTheFileByteForByte) {
    QTemporaryDir dir;
    const QString path = untaggedMp3(dir, QStringLiteral("song.mp3"));
    const QByteArray before = contents(path);
    FakeEngine library;

    FailingWriter failing;
    Editor e(library, failing, path);
    e.view(kViewID3v2).song.edit(QStringLiteral("New"));
    e.controls.cmdSave.click();
    ASSERT_EQ(e.dialogs.messages.size(), 1u);
    EXPECT_EQ(e.dialogs.messages[0].title, QStringLiteral("No space left on device"));
    EXPECT_EQ(e.dialogs.messages[0].icon, MessageIcon::Critical);
    EXPECT_EQ(e.closes, 1);  // the window still closes, as after any save

    // The real writer on a disk that refuses to grow the file: the copy fails, the original
    // stays as it was, and no copy is left behind.
    const int code = runLimited(std::uint64_t(before.size()) / 2, [&] {
        TagLibID3v2Writer writer;
        Editor child(library, writer, path);
        child.view(kViewID3v2).song.edit(QStringLiteral("New"));
        child.controls.cmdSave.click();
        return child.dialogs.messages.size() == 1 ? 0 : 1;
    });
    EXPECT_EQ(code, 0);
    EXPECT_EQ(contents(path), before);
    EXPECT_TRUE(strayFiles(dir, path).isEmpty());
}

TEST(TagEditor, CommentSlotLosesEncodingLanguageAndDescription) {
    EXPECT_EQ(TagEditor::commentOfSlot(QString::fromLatin1("\0engDesc\0Hello", 14)),
              QStringLiteral("Hello"));
    EXPECT_EQ(TagEditor::commentOfSlot(QString::fromLatin1("\3eng\0Hi", 7)), QStringLiteral("Hi"));
    EXPECT_EQ(TagEditor::commentOfSlot(QStringLiteral("plain")), QStringLiteral("plain"));
}

// The window as a user meets it: typing into the ID3v2 title box and pressing Save writes the
// file; the WMA view's boxes cannot be typed into.
TEST(TagEditorWindow, TypedTitleIsSavedThroughTheWidgets) {
    QTemporaryDir dir;
    const QString path = untaggedMp3(dir, QStringLiteral("song.mp3"));
    FakeEngine library;
    TagLibID3v2Writer writer;
    Editor e(library, writer, path);
    TagEditorWindow window(e.controls);
    window.show();
    auto* title = window.findChild<QLineEdit*>(QStringLiteral("txtSong_1"));
    ASSERT_NE(title, nullptr);
    EXPECT_TRUE(title->isVisible());
    EXPECT_FALSE(window.findChild<QLineEdit*>(QStringLiteral("txtSong_0"))->isVisible());
    QTest::keyClicks(title, QStringLiteral("Cafe Noir"));
    EXPECT_EQ(e.view(kViewID3v2).song.text(), QStringLiteral("Cafe Noir"));
    EXPECT_FALSE(window.findChild<QRadioButton*>(QStringLiteral("ID3ver_2"))->isEnabled());
    QTest::mouseClick(window.findChild<QAbstractButton*>(QStringLiteral("cmdSave")),
                      Qt::LeftButton);
    EXPECT_EQ(e.closes, 1);
    ID3v2Slots tag;
    ASSERT_TRUE(readID3v2Header(path, tag));
    readID3v2Frames(path, tag);
    EXPECT_EQ(cleanTagText(tag.title), QStringLiteral("Cafe Noir"));

    QTest::keyClick(&window, Qt::Key_Escape);
    EXPECT_EQ(e.closes, 2);
    EXPECT_TRUE(window.findChild<QLineEdit*>(QStringLiteral("txtSong_2"))->isReadOnly());
}
