#include "core/widgets/WindowDrag.h"

#include <QMouseEvent>
#include <QWidget>
#include <QWindow>

namespace kelvra::widgets {

namespace {
constexpr const char* kPointerProperty = "kelvraDragPointer";
}

WindowDrag::WindowDrag(QWidget& window) : QObject(&window), window_(window) {}

void WindowDrag::addHandle(QWidget& handle, Pointer pointer) {
    handle.setProperty(kPointerProperty, pointer == Pointer::MoveArrows);
    handle.installEventFilter(this);
}

bool WindowDrag::eventFilter(QObject* watched, QEvent* event) {
    auto* handle = qobject_cast<QWidget*>(watched);
    if (handle == nullptr) return false;
    switch (event->type()) {
        case QEvent::MouseButtonPress: {
            auto* mouse = static_cast<QMouseEvent*>(event);
            if (mouse->button() != Qt::LeftButton) return false;
            const bool arrows = handle->property(kPointerProperty).toBool();
            QWindow* window = window_.windowHandle();
            if (window != nullptr && window->startSystemMove()) {
                // The window system owns the mouse until the button comes up; the pointer it
                // shows meanwhile is its own.
                return true;
            }
            manual_ = true;
            grab_ = mouse->globalPosition().toPoint() - window_.frameGeometry().topLeft();
            if (arrows) handle->setCursor(Qt::SizeAllCursor);
            return true;
        }
        case QEvent::MouseMove: {
            auto* mouse = static_cast<QMouseEvent*>(event);
            if (!manual_ || !(mouse->buttons() & Qt::LeftButton)) return false;
            window_.move(mouse->globalPosition().toPoint() - grab_);
            return true;
        }
        case QEvent::MouseButtonRelease:
            if (!manual_) return false;
            manual_ = false;
            handle->unsetCursor();
            return true;
        default:
            return false;
    }
}

}  // namespace kelvra::widgets
