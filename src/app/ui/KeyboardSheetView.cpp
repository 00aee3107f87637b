#include "app/ui/KeyboardSheetView.h"

#include <QMouseEvent>
#include <QPainter>

#include "core/ControlModels.h"
#include "core/Theme.h"

namespace kelvra::app {
namespace {

using Group = KeyboardMap::Group;

// Three columns: the decks on the outside as they stand on the table, the mixer in the middle.
const std::vector<std::vector<Group>> kColumns = {
    {Group::LeftDeck, Group::Window, Group::Effects},
    {Group::Mixer, Group::AutoDJ},
    {Group::RightDeck, Group::ActiveDeck},
};

constexpr int kMargin = 18;
constexpr int kLineHeight = 17;
constexpr int kKeyWidth = 140;

}  // namespace

KeyboardSheetView::KeyboardSheetView(ButtonModel& shown, std::vector<KeyboardMap::HelpLine> lines,
                                     QWidget* parent)
    : QWidget(parent), shown_(shown), lines_(std::move(lines)) {
    setObjectName(QStringLiteral("keyboardSheet"));
    setAttribute(Qt::WA_NoSystemBackground);
    setVisible(shown.isVisible());
    connect(&shown, &ButtonModel::changed, this, [this] {
        setVisible(shown_.isVisible());
        if (isVisible()) raise();
    });
}

void KeyboardSheetView::mousePressEvent(QMouseEvent* event) {
    shown_.setVisible(false);
    event->accept();
}

void KeyboardSheetView::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.fillRect(rect(), QColor(0x0c, 0x0d, 0x0f, 250));
    painter.setPen(QColor(theme::kUnlitGreen));
    painter.drawRoundedRect(rect().adjusted(4, 4, -5, -5), 8, 8);

    QFont title = font();
    title.setPixelSize(15);
    title.setBold(true);
    QFont heading = font();
    heading.setPixelSize(12);
    heading.setBold(true);
    QFont body = font();
    body.setPixelSize(11);

    painter.setFont(title);
    painter.setPen(QColor(0xdc, 0xe2, 0xe6));
    painter.drawText(QRect(kMargin, 10, width() - 2 * kMargin, 24),
                     Qt::AlignLeft | Qt::AlignVCenter, tr("Keyboard"));
    painter.setFont(body);
    painter.setPen(QColor(0x70, 0x78, 0x7e));
    painter.drawText(QRect(kMargin, 10, width() - 2 * kMargin, 24),
                     Qt::AlignRight | Qt::AlignVCenter, tr("Press ? or Esc, or click, to close"));

    const int columnWidth = (width() - 2 * kMargin) / int(kColumns.size());
    for (std::size_t column = 0; column < kColumns.size(); ++column) {
        const int left = kMargin + int(column) * columnWidth;
        int y = 44;
        for (Group group : kColumns[column]) {
            painter.setFont(heading);
            painter.setPen(QColor(theme::kLitGreen));
            painter.drawText(QRect(left, y, columnWidth, kLineHeight), Qt::AlignLeft,
                             KeyboardMap::groupTitle(group));
            y += kLineHeight + 3;
            painter.setFont(body);
            for (const KeyboardMap::HelpLine& line : lines_) {
                if (line.group != group) continue;
                const QRect keyBox(left, y, kKeyWidth - 8, kLineHeight - 2);
                painter.setPen(QColor(0xf2, 0xff, 0xf2));
                painter.drawText(keyBox, Qt::AlignLeft | Qt::AlignVCenter, line.keys);
                painter.setPen(QColor(0xb4, 0xbc, 0xc2));
                painter.drawText(
                    QRect(left + kKeyWidth - 8, y, columnWidth - kKeyWidth, kLineHeight - 2),
                    Qt::AlignLeft | Qt::AlignVCenter, line.action);
                y += kLineHeight;
            }
            y += 10;
        }
    }
}

}  // namespace kelvra::app
