// A window that draws its own frame: a title bar (`titlebar`) with the program's icon
// (`imgIcon`), a caption and a close button (`cmdcloseButton`, optionally a minimise button
// `CmdMinimizeButton`), all inside a thin dialog frame. Pressing the left mouse button on the
// title bar, the icon or the window's background moves the window, through the platform's own
// window move where it offers one.
//
// The close button only emits closeClicked(): what closing means (hide, ask to save, unload)
// is the window's own business. Thread: UI thread only.
#pragma once

#include <QSet>
#include <QWidget>

class QLabel;
class QToolButton;
class QVBoxLayout;

namespace kelvra {

class BorderlessWindow : public QWidget {
    Q_OBJECT
  public:
    explicit BorderlessWindow(QWidget* owner = nullptr);

    void setCaption(const QString& caption);
    QString caption() const;
    void setMinimizeButtonVisible(bool visible);

    // Where the window's controls go.
    QWidget* body() const { return body_; }
    QVBoxLayout* bodyLayout() const { return bodyLayout_; }
    QWidget* titleBar() const { return titleBar_; }

    // Puts the window in the middle of its screen horizontally and at `verticalShare` of the
    // free height (0.5: centred).
    void placeOnScreen(double verticalShare = 0.5);
    // Makes `widget` (a child without its own mouse handling) drag the window too.
    void addDragHandle(QWidget* widget);
    // Puts the window inside `host` as a pane: its title bar hidden, it no longer moves and
    // stays where the host places it. Null makes it a window of its own again (hidden until it is
    // shown). A docked window's placeOnScreen() does nothing.
    void dockInto(QWidget* host);
    bool isDocked() const { return !isWindow(); }

  signals:
    void closeClicked();

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    void beginDrag(QPoint globalPosition);

    QWidget* titleBar_;
    QLabel* icon_;
    QLabel* caption_;
    QToolButton* minimizeButton_;
    QToolButton* closeButton_;
    QWidget* body_;
    QVBoxLayout* bodyLayout_;
    QSet<QObject*> dragHandles_;
    // Manual moving where the platform cannot move the window itself.
    bool dragging_ = false;
    QPoint dragOffset_;
};

}  // namespace kelvra
