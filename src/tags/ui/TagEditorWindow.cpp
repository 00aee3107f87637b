#include "tags/ui/TagEditorWindow.h"

#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QStackedLayout>

#include "core/widgets/ButtonWidget.h"
#include "core/widgets/ChoiceWidgets.h"
#include "core/widgets/FormStyle.h"

namespace kelvra::tags {

using namespace kelvra::widgets;

namespace {

constexpr int kWidth = 520;

QGroupBox* tagFrame(TagBoxes& boxes, const QString& caption, int index) {
    auto* frame = new QGroupBox(caption);
    frame->setObjectName(QStringLiteral("frameTagInfo_%1").arg(index));
    auto* grid = new QGridLayout(frame);
    grid->setHorizontalSpacing(10);
    const QString artist =
        index == kViewWma ? QStringLiteral("Author:") : QStringLiteral("Artist:");
    const std::pair<QString, TextModel*> rows[] = {
        {QStringLiteral("Title:"), &boxes.song},  {artist, &boxes.artist},
        {QStringLiteral("Album:"), &boxes.album}, {QStringLiteral("Comments:"), &boxes.comments},
        {QStringLiteral("Year:"), &boxes.year},
    };
    const char* names[] = {"txtSong", "txtArtist", "txtAlbum", "txtComments", "txtYear"};
    int row = 0;
    for (const auto& [label, model] : rows) {
        auto* box = new TextBox(*model);
        box->setObjectName(QStringLiteral("%1_%2").arg(QLatin1String(names[row])).arg(index));
        box->setReadOnly(index == kViewWma);
        grid->addWidget(new QLabel(label), row, 0);
        grid->addWidget(box, row, 1);
        ++row;
    }
    auto* genre = new ChoiceCombo(boxes.genre);
    genre->setObjectName(QStringLiteral("cmbGenre_%1").arg(index));
    genre->setMaxVisibleItems(16);
    genre->setEnabled(index != kViewWma);
    grid->addWidget(new QLabel(QStringLiteral("Genre:")), row, 0);
    grid->addWidget(genre, row, 1);
    return frame;
}

}  // namespace

TagEditorWindow::TagEditorWindow(TagEditorControls& controls, QWidget* owner)
    : BorderlessWindow(owner), controls_(controls) {
    setObjectName(QStringLiteral("editTagsF"));
    setCaption(QStringLiteral("         Kelvra Music Information..."));
    setStyleSheet(kFormStyle);

    auto* choice = new QGroupBox(QStringLiteral("Tag Format:"));
    choice->setObjectName(QStringLiteral("FrameID3choice"));
    auto* choiceLayout = new QHBoxLayout(choice);
    choiceLayout->addWidget(new OptionGroup(controls.ID3ver, QStringLiteral("ID3ver")));
    bodyLayout()->addWidget(choice);

    auto* framesHolder = new QWidget;
    frames_ = new QStackedLayout(framesHolder);
    const QStringList captions = controls.frameTagInfo.items();
    for (int i = 0; i < kViewCount; ++i) {
        QGroupBox* frame = tagFrame(controls.boxes[i], captions.value(i), i);
        if (i == kViewID3v1) {
            auto* notice = new QLabel;
            notice->setObjectName(QStringLiteral("id3v1Notice"));
            notice->setWordWrap(true);
            notice->setStyleSheet(QStringLiteral("color: #ffb000;"));
            auto* grid = static_cast<QGridLayout*>(frame->layout());
            grid->addWidget(notice, grid->rowCount(), 0, 1, 2);
            auto show = [notice, &controls] {
                notice->setText(controls.id3v1Notice.text());
                notice->setVisible(!controls.id3v1Notice.text().isEmpty());
            };
            connect(&controls.id3v1Notice, &TextModel::changed, notice, show);
            show();
        }
        frames_->addWidget(frame);
    }
    auto showFrame = [this] {
        frames_->setCurrentIndex(std::max(0, controls_.frameTagInfo.currentIndex()));
    };
    connect(&controls.frameTagInfo, &ChoiceModel::changed, this, showFrame);
    showFrame();
    bodyLayout()->addWidget(framesHolder);

    auto* buttons = new QHBoxLayout;
    const std::pair<ButtonModel*, const char*> row[] = {{&controls.cmdCopyTags, "cmdCopyTags"},
                                                        {&controls.cmdSave, "cmdSave"},
                                                        {&controls.cmdClose, "cmdClose"}};
    for (const auto& [model, name] : row) {
        auto* button = new ButtonWidget(*model);
        button->setObjectName(QLatin1String(name));
        button->setFixedHeight(32);
        buttons->addWidget(button);
    }
    bodyLayout()->addLayout(buttons);
    connect(this, &BorderlessWindow::closeClicked, &controls.cmdClose, &ButtonModel::click);

    setFixedWidth(kWidth);
    adjustSize();
    placeOnScreen();
}

void TagEditorWindow::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_Escape) {
        controls_.cmdClose.click();
        return;
    }
    BorderlessWindow::keyPressEvent(event);
}

}  // namespace kelvra::tags
