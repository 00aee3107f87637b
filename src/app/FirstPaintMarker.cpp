#include "app/FirstPaintMarker.h"

#include <QEvent>
#include <QWidget>
#include <cstdio>

namespace kelvra::app {
namespace {

class FirstPaintFilter : public QObject {
  public:
    FirstPaintFilter(QWidget& window, QByteArray text) : QObject(&window), text_(std::move(text)) {}

    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::Paint) {
            // Written before the paint itself: the window reaches the screen within this event.
            std::fprintf(stderr, "%s\n", text_.constData());
            std::fflush(stderr);
            watched->removeEventFilter(this);
            deleteLater();
        }
        return false;
    }

  private:
    QByteArray text_;
};

}  // namespace

void markFirstPaint(QWidget& window) {
    const QByteArray text = qgetenv(kFirstPaintVariable);
    if (text.isEmpty()) return;
    window.installEventFilter(new FirstPaintFilter(window, text));
}

}  // namespace kelvra::app
