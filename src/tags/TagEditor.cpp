#include "tags/TagEditor.h"

#include <QRegularExpression>

#include "tags/DisplayText.h"
#include "tags/GenreTable.h"
#include "tags/Id3v1.h"
#include "tags/Id3v1Writer.h"
#include "tags/MP3Info.h"
#include "tags/TagText.h"
#include "tags/WmaAttributes.h"

namespace kelvra::tags {

namespace {

// The first entry of every genre box stands for "no genre", so a genre can also be taken away.
QStringList genreItems() {
    return QStringList{QString()} + genreTable();
}

// Index of `name` in a genre box, matched without regard to case; -1 when it is not there.
int genreIndex(const ChoiceModel& box, const QString& name) {
    if (name.isEmpty()) return 0;
    const QStringList items = box.items();
    for (int i = 1; i < items.size(); ++i)
        if (items[i].compare(name, Qt::CaseInsensitive) == 0) return i;
    return -1;
}

// An ID3v2 genre as a name: "(17)" and "17" are the table's numbers, anything else is text.
QString genreNameOfSlot(const QString& slot) {
    static const QRegularExpression number(QStringLiteral("^\\(?(\\d{1,3})\\)?$"));
    const QString text = cleanTagText(slot);
    const QRegularExpressionMatch match = number.match(text);
    if (match.hasMatch()) {
        const QString name = genreName(match.captured(1).toInt());
        if (!name.isEmpty()) return name;
    }
    return text;
}

void showGenre(ChoiceModel& box, const QString& name) {
    int index = genreIndex(box, name);
    if (index < 0) {
        // A genre of the file's own wording is kept choosable rather than lost.
        box.addItem(name);
        index = static_cast<int>(box.items().size()) - 1;
    }
    box.setCurrentIndex(index);
}

}  // namespace

TagEditor::TagEditor(TagEditorControls& controls, audio::AudioLibrary& library, Dialogs& dialogs,
                     ID3v2TagWriter& tagWriterComponent, QString path, Hooks hooks)
    : controls_(controls),
      library_(library),
      dialogs_(dialogs),
      writer_(tagWriterComponent),
      path_(std::move(path)),
      hooks_(std::move(hooks)) {
    for (TagBoxes& boxes : controls_.boxes) {
        boxes.genre.clear();
        for (const QString& item : genreItems())
            boxes.genre.addItem(item);
    }
    for (int view : {kViewID3v1, kViewID3v2}) {
        connect(&controls_.boxes[view].genre, &ChoiceModel::chosen, this,
                [this, view] { genreChosen_[view] = true; });
    }
    for (TextModel* box : controls_.boxes[kViewID3v1].texts())
        connect(box, &TextModel::changed, this, &TagEditor::updateID3v1Notice);
    connect(&controls_.ID3ver, &ChoiceModel::chosen, this, &TagEditor::showView);
    connect(&controls_.cmdCopyTags, &ButtonModel::clicked, this, &TagEditor::cmdCopyTags_Click);
    connect(&controls_.cmdSave, &ButtonModel::clicked, this, &TagEditor::cmdSave_Click);
    connect(&controls_.cmdClose, &ButtonModel::clicked, this, &TagEditor::cancel);
}

TagEditor::~TagEditor() {
    freeWmaStream();
}

void TagEditor::load() {
    wmaHandle_ = library_.wmaStreamCreateFile(path_.toStdString(), audio::kStreamTagsOnly);
    showView(wmaHandle_ > 0 ? kViewWma : kViewID3v2);
}

void TagEditor::showView(int view) {
    controls_.ID3ver.setCurrentIndex(view);
    switch (view) {
        case kViewID3v1:
            showID3v1View();
            break;
        case kViewID3v2:
            showID3v2View();
            break;
        case kViewWma:
            showWmaView();
            break;
        default:
            break;
    }
}

void TagEditor::setFrame(int view) {
    controls_.frameTagInfo.setCurrentIndex(view);
    const bool id3 = view != kViewWma;
    controls_.ID3ver.setItemEnabled(kViewID3v1, id3);
    controls_.ID3ver.setItemEnabled(kViewID3v2, id3);
    controls_.ID3ver.setItemEnabled(kViewWma, !id3);
    controls_.cmdSave.setEnabled(id3);
    controls_.cmdCopyTags.setEnabled(id3);
    if (view == kViewID3v1) controls_.cmdCopyTags.setCaption(QStringLiteral("Copy ID3v2"));
    if (view == kViewID3v2) controls_.cmdCopyTags.setCaption(QStringLiteral("Copy ID3v1"));
}

void TagEditor::showID3v1View() {
    clsMP3Info info;
    info.setFilename(path_);
    if (info.IsFileID3v1()) {
        TagBoxes& boxes = controls_.boxes[kViewID3v1];
        // NUL padding of the fields is no part of the text a user edits.
        boxes.song.setText(cleanTagText(info.Title()));
        boxes.artist.setText(cleanTagText(info.Artist()));
        boxes.album.setText(cleanTagText(info.Album()));
        boxes.year.setText(cleanTagText(info.Year()));
        boxes.comments.setText(cleanTagText(info.Comment()));
        showGenre(boxes.genre, info.Genre());
        genreChosen_[kViewID3v1] = false;
    }
    setFrame(kViewID3v1);
}

void TagEditor::showID3v2View() {
    if (readID3v2Header(path_, id3v2_)) {
        readID3v2Frames(path_, id3v2_);
        TagBoxes& boxes = controls_.boxes[kViewID3v2];
        boxes.song.setText(cleanTagText(id3v2_.title));
        boxes.artist.setText(cleanTagText(id3v2_.artist));
        boxes.album.setText(cleanTagText(id3v2_.album));
        boxes.year.setText(cleanTagText(id3v2_.year));
        boxes.comments.setText(commentOfSlot(id3v2_.comment));
        showGenre(boxes.genre, genreNameOfSlot(id3v2_.genre));
        genreChosen_[kViewID3v2] = false;
    }
    setFrame(kViewID3v2);
}

void TagEditor::showWmaView() {
    if (wmaHandle_ > 0) {
        TagBoxes& boxes = controls_.boxes[kViewWma];
        // The last entry of a name wins, as the boxes are simply overwritten in list order.
        for (const WmaAttribute& attribute : wmaAttributes(library_.wmaStreamTags(wmaHandle_))) {
            const QString key = wmaKey(attribute.name);
            if (key == QLatin1String("TITLE"))
                boxes.song.setText(attribute.value);
            else if (key == QLatin1String("AUTHOR"))
                boxes.artist.setText(attribute.value);
            else if (key == QLatin1String("WM/ALBUMTITLE"))
                boxes.album.setText(attribute.value);
            else if (key == QLatin1String("WM/YEAR"))
                boxes.year.setText(attribute.value);
            else if (key == QLatin1String("DESCRIPTION"))
                boxes.comments.setText(attribute.value);
        }
        freeWmaStream();
    }
    setFrame(kViewWma);
}

void TagEditor::freeWmaStream() {
    if (wmaHandle_ > 0) library_.wmaStreamFree(wmaHandle_);
    wmaHandle_ = 0;
}

void TagEditor::cmdCopyTags_Click() {
    int from = -1;
    if (visibleView() == kViewID3v2) from = kViewID3v1;
    if (visibleView() == kViewID3v1) from = kViewID3v2;
    if (from < 0) return;
    const auto source = controls_.boxes[from].texts();
    const auto target = controls_.boxes[visibleView()].texts();
    for (std::size_t i = 0; i < source.size(); ++i) {
        // A blank source field would wipe what the target already says.
        if (!trimSpaces(source[i]->text()).isEmpty()) target[i]->setText(source[i]->text());
    }
}

void TagEditor::cmdSave_Click() {
    if (visibleView() == kViewID3v1 && !confirmID3v1Losses()) return;
    if (hooks_.busyPointer) hooks_.busyPointer(true);
    if (visibleView() == kViewID3v1)
        saveID3v1();
    else if (visibleView() == kViewID3v2)
        saveID3v2();
    if (hooks_.busyPointer) hooks_.busyPointer(false);
    if (hooks_.tagsSaved) hooks_.tagsSaved(getID3_tag(library_, path_));
    if (hooks_.close) hooks_.close();
}

void TagEditor::saveID3v1() {
    const TagBoxes& boxes = controls_.boxes[kViewID3v1];
    ID3v1Record record;
    record.title = boxes.song.text().left(30);
    record.artist = boxes.artist.text().left(30);
    record.album = boxes.album.text().left(30);
    record.comment = boxes.comments.text().left(30);
    record.year = boxes.year.text().left(4);
    if (genreChosen_[kViewID3v1]) {
        // The empty first entry takes the genre away: 255 reads back as none.
        const int index = boxes.genre.currentIndex();
        record.genre = static_cast<std::uint8_t>(index <= 0 ? 255 : index - 1);
    }
    // A failure is shown by the writer itself and leaves the file as it was.
    writeID3v1Tag(dialogs_, path_, record);
}

void TagEditor::saveID3v2() {
    const TagBoxes& boxes = controls_.boxes[kViewID3v2];
    id3v2_.title = boxes.song.text();
    id3v2_.artist = boxes.artist.text();
    id3v2_.album = boxes.album.text();
    id3v2_.year = boxes.year.text();
    id3v2_.comment = boxes.comments.text();
    if (genreChosen_[kViewID3v2]) id3v2_.genre = boxes.genre.currentText();
    if (writeID3v2Tag(writer_, path_, id3v2_) == 0) {
        // The file is untouched (the writer saves through a checked copy); the user is told
        // rather than left believing the tag was saved.
        dialogs_.message(writer_.failureText(),
                         QStringLiteral("Cannot Save the information. Please make sure that the "
                                        "file is not read-only."),
                         MessageButtons::Ok, MessageIcon::Critical);
    }
}

void TagEditor::cancel() {
    if (hooks_.close) hooks_.close();
}

QString TagEditor::charactersID3v1Lacks(const QString& text) {
    QString lacking;
    for (qsizetype i = 0; i < text.size(); ++i) {
        // A character outside the basic plane is two code units; it is judged whole.
        const qsizetype length = text[i].isHighSurrogate() && i + 1 < text.size() ? 2 : 1;
        const QString character = text.mid(i, length);
        i += length - 1;
        if (character != QLatin1String("?") && encodeSingleByte(character) == "?" &&
            !lacking.contains(character))
            lacking += character;
    }
    return lacking;
}

void TagEditor::updateID3v1Notice() {
    QString lacking;
    for (TextModel* box : controls_.boxes[kViewID3v1].texts())
        lacking += box->text();
    lacking = charactersID3v1Lacks(lacking);
    controls_.id3v1Notice.setText(
        lacking.isEmpty()
            ? QString()
            : QStringLiteral("ID3v1 cannot store %1 - use the ID3v2 tag for these characters.")
                  .arg(lacking));
}

bool TagEditor::confirmID3v1Losses() {
    if (controls_.id3v1Notice.text().isEmpty()) return true;
    return dialogs_.message(QStringLiteral("Kelvra Music Information"),
                            controls_.id3v1Notice.text() +
                                QStringLiteral("\nThey would be saved as \"?\". Save anyway?"),
                            MessageButtons::YesNo, MessageIcon::Exclamation) == MessageResult::Yes;
}

QString TagEditor::commentOfSlot(const QString& slot) {
    // The slot holds the comment frame's body: an encoding byte, three letters of language, a
    // description ended by NUL, then the text. A slot without that shape is shown as it is.
    if (slot.size() < 4 || slot[0].unicode() > 3) return cleanTagText(slot);
    const qsizetype end = slot.indexOf(QChar(0), 4);
    return cleanTagText(end < 0 ? slot.mid(4) : slot.mid(end + 1));
}

}  // namespace kelvra::tags
