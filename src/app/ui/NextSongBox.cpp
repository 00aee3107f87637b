#include "app/ui/NextSongBox.h"

#include <QDrag>
#include <QMouseEvent>
#include <QPainter>

#include "core/widgets/SongDrag.h"
#include "core/widgets/WidgetColours.h"

namespace kelvra::app {

using namespace kelvra::widgets;

NextSongBox::NextSongBox(TextModel& model, QWidget* parent) : QWidget(parent), model_(model) {
    setObjectName(QStringLiteral("nextSongTXT"));
    setToolTip(model_.toolTip());
    setFocusPolicy(Qt::NoFocus);
    setCursor(Qt::OpenHandCursor);
    connect(&model_, &TextModel::changed, this, qOverload<>(&QWidget::update));
}

void NextSongBox::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(QPen(kEdge, 1));
    painter.setBrush(kSurfaceSunken);
    painter.drawRoundedRect(QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5), 5, 5);
    // A grip at the left says "drag me".
    painter.setPen(QPen(kTextDim, 2));
    for (int i = 0; i < 3; ++i) {
        const int y = height() / 2 - 6 + 6 * i;
        painter.drawLine(10, y, 22, y);
    }
    const QRect textArea = rect().adjusted(32, 0, -8, 0);
    painter.setFont(uiFont(15, true));
    const QString text = model_.text();
    painter.setPen(kText);
    painter.drawText(textArea, Qt::AlignLeft | Qt::AlignVCenter,
                     painter.fontMetrics().elidedText(text, Qt::ElideRight, textArea.width()));
}

void NextSongBox::enterEvent(QEnterEvent* event) {
    // The tool tip follows the current line, so a long title can be read in full.
    if (!model_.text().isEmpty()) setToolTip(model_.text());
    QWidget::enterEvent(event);
}

void NextSongBox::mousePressEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton) return;
    model_.startDrag();
    auto* drag = new QDrag(this);
    drag->setMimeData(makeSongMimeData(model_.text()));
    drag->exec(Qt::CopyAction);
}

}  // namespace kelvra::app
