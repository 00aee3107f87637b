#include "core/Theme.h"

#include <QApplication>
#include <QFont>
#include <QPainter>
#include <QPixmap>
#include <QStyle>
#include <QWidget>

namespace kelvra::theme {

QPalette darkPalette() {
    QPalette p;
    const QColor window(0x16, 0x18, 0x1b);
    const QColor base(0x0c, 0x0d, 0x0f);
    const QColor text(0xdc, 0xe2, 0xe6);
    p.setColor(QPalette::Window, window);
    p.setColor(QPalette::WindowText, text);
    p.setColor(QPalette::Base, base);
    p.setColor(QPalette::AlternateBase, QColor(0x12, 0x14, 0x16));
    p.setColor(QPalette::Text, text);
    p.setColor(QPalette::Button, QColor(0x23, 0x27, 0x2b));
    p.setColor(QPalette::ButtonText, text);
    p.setColor(QPalette::BrightText, QColor(kLitGreen));
    p.setColor(QPalette::Highlight, QColor(0x1d, 0x5c, 0x2a));
    p.setColor(QPalette::HighlightedText, QColor(0xf2, 0xff, 0xf2));
    p.setColor(QPalette::ToolTipBase, QColor(0x20, 0x24, 0x28));
    p.setColor(QPalette::ToolTipText, text);
    p.setColor(QPalette::PlaceholderText, QColor(0x70, 0x78, 0x7e));
    p.setColor(QPalette::Link, QColor(kLitGreen));
    p.setColor(QPalette::Disabled, QPalette::Text, QColor(0x5a, 0x60, 0x66));
    p.setColor(QPalette::Disabled, QPalette::ButtonText, QColor(0x5a, 0x60, 0x66));
    p.setColor(QPalette::Disabled, QPalette::WindowText, QColor(0x5a, 0x60, 0x66));
    return p;
}

QString styleSheet() {
    return QStringLiteral(R"(
QWidget { color: #dce2e6; }
QFrame#dialogFrame {
    background: #16181b;
    border: 1px solid #3a4148;
    border-top-color: #4a535b;
}
QWidget#titlebar {
    background: qlineargradient(x1:0, y1:0, x2:0, y2:1, stop:0 #23282d, stop:1 #15181b);
    border-bottom: 1px solid #0a0b0c;
}
QLabel#titleCaption {
    color: #b9c2c8; font-weight: bold; letter-spacing: 1px;
}
QToolButton#cmdcloseButton, QToolButton#CmdMinimizeButton {
    background: transparent; border: 1px solid transparent; border-radius: 3px;
    color: #9aa3a9; font-weight: bold; padding: 0px;
    min-width: 20px; min-height: 20px;
}
QToolButton#cmdcloseButton:hover { background: #7a1f1f; color: #ffffff; border-color: #a33; }
QToolButton#CmdMinimizeButton:hover { background: #2c3338; color: #ffffff; }
QPushButton {
    background: qlineargradient(x1:0, y1:0, x2:0, y2:1, stop:0 #2b3035, stop:1 #1e2226);
    border: 1px solid #3a4148; border-radius: 3px;
    padding: 4px 10px; min-height: 18px;
}
QPushButton:hover { border-color: #00a000; }
QPushButton:pressed { background: #14171a; border-color: #00ff00; }
QPushButton:disabled { color: #5a6066; border-color: #2a2f34; }
QPushButton:focus { border-color: #3f8f3f; }
QPushButton[lamp="lit"] { background: #00ff00; color: #061006; border-color: #7fff7f; }
QPushButton[lamp="unlit"] { background: #008000; color: #dfffdf; border-color: #0a5a0a; }
QListView, QLineEdit {
    background: #0b0c0e; border: 1px solid #2f353b; border-radius: 2px;
    selection-background-color: #1d5c2a; selection-color: #f2fff2;
}
QListView { outline: 0; }
QListView::item { padding: 1px 2px; }
QListView::item:selected, QListView::item:hover { padding: 1px 2px; }
QListView::item:selected { background: #1d5c2a; color: #f2fff2; }
QListView::item:hover:!selected { background: #17201a; }
QLineEdit { padding: 3px 5px; }
QLineEdit:focus { border-color: #00a000; }
QLabel#playlistLABEL {
    color: #00ff00; font-size: 15pt; font-weight: bold; letter-spacing: 2px;
}
QProgressBar {
    background: #0b0c0e; border: 1px solid #2f353b; border-radius: 2px;
    color: #b9c2c8; text-align: center; max-height: 14px;
}
QProgressBar::chunk { background: #008000; }
QMenu { background: #1b1e22; border: 1px solid #3a4148; padding: 3px; }
QMenu::item { padding: 4px 22px 4px 16px; }
QMenu::item:selected { background: #1d5c2a; }
QMenu::separator { height: 1px; background: #343a40; margin: 3px 6px; }
QScrollBar:vertical { background: #0f1113; width: 12px; margin: 0; }
QScrollBar::handle:vertical { background: #343b42; min-height: 24px; border-radius: 4px; margin: 2px; }
QScrollBar::handle:vertical:hover { background: #00a000; }
QScrollBar::add-line, QScrollBar::sub-line { height: 0; width: 0; }
QScrollBar::add-page, QScrollBar::sub-page { background: none; }
QToolTip { background: #20242a; color: #dce2e6; border: 1px solid #3a4148; }
)");
}

void apply(QApplication& app) {
    app.setStyle(QStringLiteral("Fusion"));
    app.setPalette(darkPalette());
    QFont font(QStringLiteral("DejaVu Sans"));
    font.setPointSizeF(9.5);
    app.setFont(font);
    app.setStyleSheet(styleSheet());
    app.setWindowIcon(appIcon());
}

void setLamp(QWidget* button, Lamp lamp) {
    if (!button) return;
    const char* value = lamp == Lamp::Lit ? "lit" : lamp == Lamp::Unlit ? "unlit" : "";
    button->setProperty("lamp", QString::fromLatin1(value));
    // A dynamic property only restyles after the style is told to look again.
    button->style()->unpolish(button);
    button->style()->polish(button);
    button->update();
}

QIcon appIcon() {
    QIcon icon;
    for (int size : {16, 24, 32, 48, 64}) {
        QPixmap pixmap(size, size);
        pixmap.fill(Qt::transparent);
        QPainter painter(&pixmap);
        painter.setRenderHint(QPainter::Antialiasing);
        const QRectF disc(0.5, 0.5, size - 1.0, size - 1.0);
        painter.setPen(QPen(QColor(0x4a, 0x53, 0x5b), 1.0));
        painter.setBrush(QColor(0x0a, 0x0b, 0x0c));
        painter.drawEllipse(disc);
        painter.setBrush(Qt::NoBrush);
        painter.setPen(QPen(QColor(0x2a, 0x2f, 0x34), 1.0));
        painter.drawEllipse(disc.adjusted(size * 0.15, size * 0.15, -size * 0.15, -size * 0.15));
        painter.setPen(Qt::NoPen);
        painter.setBrush(QColor(kLitGreen));
        const double label = size * 0.36;
        painter.drawEllipse(QRectF((size - label) / 2, (size - label) / 2, label, label));
        painter.setBrush(QColor(0x0a, 0x0b, 0x0c));
        const double hole = std::max(1.5, size * 0.08);
        painter.drawEllipse(QRectF((size - hole) / 2, (size - hole) / 2, hole, hole));
        painter.end();
        icon.addPixmap(pixmap);
    }
    return icon;
}

}  // namespace kelvra::theme
