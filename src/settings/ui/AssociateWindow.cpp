#include "settings/ui/AssociateWindow.h"

#include <QGroupBox>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QVBoxLayout>

#include "core/widgets/ButtonWidget.h"
#include "core/widgets/ChoiceWidgets.h"
#include "core/widgets/FormStyle.h"

namespace kelvra::settings {

using namespace kelvra::widgets;

AssociateWindow::AssociateWindow(AssociateControls& controls, QWidget* owner)
    : BorderlessWindow(owner) {
    setObjectName(QStringLiteral("frmAssociate"));
    setCaption(QStringLiteral("        Associate Music files with Kelvra..."));
    setStyleSheet(kFormStyle);

    auto* frame = new QGroupBox(QStringLiteral("Always open these files with Kelvra:"));
    frame->setObjectName(QStringLiteral("FrameID3choice"));
    auto* boxes = new QVBoxLayout(frame);
    const std::pair<CheckModel*, const char*> rows[] = {{&controls.chkMP3, "chkMP3"},
                                                        {&controls.chkWMA, "chkWMA"},
                                                        {&controls.chkWAV, "chkWAV"},
                                                        {&controls.chkASF, "chkASF"},
                                                        {&controls.chkM3U, "chkM3U"}};
    for (const auto& [model, name] : rows) {
        auto* box = new CheckBox(*model);
        box->setObjectName(QLatin1String(name));
        boxes->addWidget(box);
    }
    bodyLayout()->addWidget(frame);

    auto* update = new ButtonWidget(controls.cmdAssociate);
    update->setObjectName(QStringLiteral("cmdAssociate"));
    update->setFixedHeight(32);
    bodyLayout()->addWidget(update);

    auto* startup = new QHBoxLayout;
    auto* startupBox = new CheckBox(controls.chkStartupShow);
    startupBox->setObjectName(QStringLiteral("chkStartupShow"));
    auto* label = new ButtonWidget(controls.lblStartup);
    label->setObjectName(QStringLiteral("lblStartup"));
    label->setStyle(ButtonWidget::Style::Flat);
    label->setMinimumWidth(label->fontMetrics().horizontalAdvance(label->shownText()) + 24);
    startup->addWidget(startupBox);
    startup->addWidget(label);
    startup->addStretch();
    bodyLayout()->addLayout(startup);

    auto* note =
        new QLabel(QStringLiteral("NOTE: You can undo this at any time (if you choose "
                                  "to) from the DJ Options dialog... "));
    note->setObjectName(QStringLiteral("Label18"));
    note->setWordWrap(true);
    note->setStyleSheet(QStringLiteral("color: #c8d0d8; font: 12px \"DejaVu Sans\";"));
    bodyLayout()->addWidget(note);

    connect(this, &BorderlessWindow::closeClicked, this, &AssociateWindow::cancelled);
    setFixedWidth(420);
    adjustSize();
    placeOnScreen();
}

void AssociateWindow::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_Escape) {
        emit cancelled();
        return;
    }
    BorderlessWindow::keyPressEvent(event);
}

}  // namespace kelvra::settings
