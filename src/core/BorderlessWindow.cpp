#include "core/BorderlessWindow.h"

#include <QFrame>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QMouseEvent>
#include <QScreen>
#include <QToolButton>
#include <QVBoxLayout>
#include <QWindow>

#include "core/Rounding.h"
#include "core/Theme.h"

namespace kelvra {

BorderlessWindow::BorderlessWindow(QWidget* owner)
    : QWidget(owner, Qt::Window | Qt::FramelessWindowHint) {
    auto* outer = new QVBoxLayout(this);
    outer->setContentsMargins(0, 0, 0, 0);
    auto* frame = new QFrame(this);
    frame->setObjectName(QStringLiteral("dialogFrame"));
    outer->addWidget(frame);

    auto* frameLayout = new QVBoxLayout(frame);
    frameLayout->setContentsMargins(1, 1, 1, 1);
    frameLayout->setSpacing(0);

    titleBar_ = new QWidget(frame);
    titleBar_->setObjectName(QStringLiteral("titlebar"));
    titleBar_->setAttribute(Qt::WA_StyledBackground);
    auto* titleLayout = new QHBoxLayout(titleBar_);
    titleLayout->setContentsMargins(6, 3, 4, 3);
    titleLayout->setSpacing(6);
    icon_ = new QLabel(titleBar_);
    icon_->setObjectName(QStringLiteral("imgIcon"));
    icon_->setPixmap(theme::appIcon().pixmap(18, 18));
    caption_ = new QLabel(titleBar_);
    caption_->setObjectName(QStringLiteral("titleCaption"));
    minimizeButton_ = new QToolButton(titleBar_);
    minimizeButton_->setObjectName(QStringLiteral("CmdMinimizeButton"));
    minimizeButton_->setText(QStringLiteral("\u2013"));
    minimizeButton_->setToolTip(tr("Minimise"));
    minimizeButton_->setFocusPolicy(Qt::NoFocus);
    minimizeButton_->hide();
    closeButton_ = new QToolButton(titleBar_);
    closeButton_->setObjectName(QStringLiteral("cmdcloseButton"));
    closeButton_->setText(QStringLiteral("\u2715"));
    closeButton_->setToolTip(tr("Close"));
    closeButton_->setFocusPolicy(Qt::NoFocus);
    titleLayout->addWidget(icon_);
    titleLayout->addWidget(caption_, 1);
    titleLayout->addWidget(minimizeButton_);
    titleLayout->addWidget(closeButton_);
    frameLayout->addWidget(titleBar_);

    body_ = new QWidget(frame);
    body_->setObjectName(QStringLiteral("body"));
    bodyLayout_ = new QVBoxLayout(body_);
    bodyLayout_->setContentsMargins(10, 8, 10, 10);
    bodyLayout_->setSpacing(8);
    frameLayout->addWidget(body_, 1);

    connect(closeButton_, &QToolButton::clicked, this, &BorderlessWindow::closeClicked);
    connect(minimizeButton_, &QToolButton::clicked, this, &QWidget::showMinimized);
    for (QWidget* handle :
         std::initializer_list<QWidget*>{titleBar_, icon_, caption_, body_, frame})
        addDragHandle(handle);
}

void BorderlessWindow::setCaption(const QString& caption) {
    caption_->setText(caption);
    setWindowTitle(caption);
}

QString BorderlessWindow::caption() const {
    return caption_->text();
}

void BorderlessWindow::setMinimizeButtonVisible(bool visible) {
    minimizeButton_->setVisible(visible);
}

void BorderlessWindow::addDragHandle(QWidget* widget) {
    dragHandles_.insert(widget);
    widget->installEventFilter(this);
}

void BorderlessWindow::dockInto(QWidget* host) {
    if (host == parentWidget() && isDocked() == (host != nullptr)) return;
    dragging_ = false;
    if (host) {
        setParent(host, Qt::Widget);
        titleBar_->hide();
        show();
    } else {
        setParent(nullptr, Qt::Window | Qt::FramelessWindowHint);
        titleBar_->show();
    }
}

void BorderlessWindow::placeOnScreen(double verticalShare) {
    if (isDocked()) return;
    const QScreen* screen = this->screen() ? this->screen() : QGuiApplication::primaryScreen();
    if (!screen) return;
    const QRect area = screen->geometry();
    const QSize size = frameGeometry().size().isValid() ? frameGeometry().size() : sizeHint();
    const int left = area.left() + (area.width() - size.width()) / 2;
    const int top =
        area.top() + static_cast<int>(roundEven((area.height() - size.height()) * verticalShare));
    move(left, top);
}

void BorderlessWindow::beginDrag(QPoint globalPosition) {
    // The platform's own move feels native and works under every window manager that offers
    // it; otherwise the window follows the mouse by itself.
    if (QWindow* handle = windowHandle(); handle && handle->startSystemMove()) return;
    dragging_ = true;
    dragOffset_ = globalPosition - frameGeometry().topLeft();
}

bool BorderlessWindow::eventFilter(QObject* watched, QEvent* event) {
    if (!dragHandles_.contains(watched)) return QWidget::eventFilter(watched, event);
    switch (event->type()) {
        case QEvent::MouseButtonPress: {
            auto* mouse = static_cast<QMouseEvent*>(event);
            if (mouse->button() != Qt::LeftButton || isDocked()) break;
            // The four-way arrow says the window is being moved; the title bar needs no telling.
            if (watched != titleBar_) setCursor(Qt::SizeAllCursor);
            beginDrag(mouse->globalPosition().toPoint());
            return true;
        }
        case QEvent::MouseMove: {
            auto* mouse = static_cast<QMouseEvent*>(event);
            if (dragging_) {
                move(mouse->globalPosition().toPoint() - dragOffset_);
                return true;
            }
            // A platform move keeps the release to itself; the next plain move ends the arrow.
            if (!(mouse->buttons() & Qt::LeftButton) && testAttribute(Qt::WA_SetCursor))
                unsetCursor();
            break;
        }
        case QEvent::MouseButtonRelease:
            unsetCursor();
            if (dragging_) {
                dragging_ = false;
                return true;
            }
            break;
        default:
            break;
    }
    return QWidget::eventFilter(watched, event);
}

}  // namespace kelvra
