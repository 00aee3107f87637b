#include "app/ui/MainWindowView.h"

#include <QCloseEvent>
#include <QPainter>

#include "app/ui/DeckPanelView.h"
#include "app/ui/MixerPanelView.h"
#include "app/ui/NextSongBox.h"
#include "core/Rounding.h"
#include "core/widgets/ButtonWidget.h"
#include "core/widgets/Chrome.h"
#include "core/widgets/WidgetColours.h"
#include "core/widgets/WindowDrag.h"

namespace kelvra::app {

using widgets::ButtonWidget;

namespace {
constexpr int kBottomRowTop = 466;
constexpr int kBottomRowHeight = 36;
constexpr int kWindowHeight = kBottomRowTop + kBottomRowHeight + 10;

int toPixels(int twips) {
    return int(roundEven(double(twips) / kTwipsPerPixel));
}
int toTwips(int pixels) {
    return pixels * kTwipsPerPixel;
}
}  // namespace

MainWindowView::MainWindowView(MainControls& controls, QWidget* parent)
    : QWidget(parent, Qt::Window | Qt::FramelessWindowHint),
      controls_(controls),
      titleBar_(new widgets::TitleBar(controls.titleCaption, this)),
      drag_(new widgets::WindowDrag(*this)),
      leftDeck_(new DeckPanelView(controls.left, controls.keyboardHints, this)),
      mixer_(new MixerPanelView(controls.mixer, controls.keyboardHints, this)),
      rightDeck_(new DeckPanelView(controls.right, controls.keyboardHints, this)) {
    setObjectName(QStringLiteral("quelmaraF"));
    setWindowTitle(controls.titleCaption.trimmed());
    setWindowIcon(widgets::programIcon(64));
    setAttribute(Qt::WA_OpaquePaintEvent);

    auto* minimize = new ButtonWidget(controls.minimize, titleBar_);
    minimize->setObjectName(QStringLiteral("CmdMinimizeButton"));
    minimize->setStyle(ButtonWidget::Style::Flat);
    minimize->setFace(QStringLiteral("\u2013"));
    minimize->setFacePixelSize(16);
    minimize_ = minimize;
    auto* close = new ButtonWidget(controls.close, titleBar_);
    close->setObjectName(QStringLiteral("cmdcloseButton"));
    close->setStyle(ButtonWidget::Style::Flat);
    close->setFace(QStringLiteral("\u2715"));
    close->setFacePixelSize(15);
    close_ = close;
    connect(&controls.minimize, &ButtonModel::clicked, this, &QWidget::showMinimized);
    connect(&controls.close, &ButtonModel::clicked, this, &QWidget::close);

    buildBottomRow();

    // The title bar moves the window without changing the pointer; the icon, the background
    // and the mixer panel show the four-way arrow while they move it.
    drag_->addHandle(titleBar_->caption(), widgets::WindowDrag::Pointer::Keep);
    drag_->addHandle(titleBar_->icon());
    drag_->addHandle(*this);
    drag_->addHandle(*mixer_);

    // Focus keeping: mouse movement over the background or a panel hands the focus to the mixer.
    for (QWidget* area : {static_cast<QWidget*>(this), static_cast<QWidget*>(leftDeck_),
                          static_cast<QWidget*>(mixer_), static_cast<QWidget*>(rightDeck_)}) {
        area->setMouseTracking(true);
        area->installEventFilter(this);
    }

    connect(&controls.layout, &LayoutNotifier::djSetupChanged, this, &MainWindowView::relayout);
    relayout();
    widgets::centreOnScreen(*this);
}

void MainWindowView::buildBottomRow() {
    const int top = kBottomRowTop;
    auto* up = new ButtonWidget(controls_.previousSong, this);
    up->setObjectName(QStringLiteral("upCB"));
    up->setFace(QStringLiteral("\u25B2"));
    up->setGeometry(10, top, 44, kBottomRowHeight);
    auto* down = new ButtonWidget(controls_.nextSong, this);
    down->setObjectName(QStringLiteral("downCB"));
    down->setFace(QStringLiteral("\u25BC"));
    down->setGeometry(58, top, 44, kBottomRowHeight);
    auto* playlist = new ButtonWidget(controls_.openPlaylist, this);
    playlist->setObjectName(QStringLiteral("playListCB"));
    playlist->setFace(QStringLiteral("PLAYLIST"));
    playlist->setFacePixelSize(14);
    new NextSongBox(controls_.nextSongText, this);
}

void MainWindowView::setClock(Clock& clock) {
    leftDeck_->setClock(clock);
    rightDeck_->setClock(clock);
}

QWidget& MainWindowView::panel(Panel which) const {
    switch (which) {
        case Panel::LeftDeck:
            return *leftDeck_;
        case Panel::Mixer:
            return *mixer_;
        case Panel::RightDeck:
            break;
    }
    return *rightDeck_;
}

void MainWindowView::relayout() {
    const auto placement = placePanels(controls_.djSetup, toTwips(leftDeck_->width()),
                                       toTwips(mixer_->width()), toTwips(rightDeck_->width()));
    for (Panel which : {Panel::LeftDeck, Panel::Mixer, Panel::RightDeck}) {
        const PanelPlacement& place = placement[std::size_t(which)];
        panel(which).move(toPixels(place.left), toPixels(place.top));
    }
    // The window ends 120 twips after the last panel. That is the right deck in the club and
    // mixer-on-left set-ups; with the mixer on the right, measuring from the right deck would
    // cut the mixer off, so the last panel counts, whichever it is.
    const Panel last = panelOrder(controls_.djSetup).back();
    const int lastRight = placement[std::size_t(last)].left + toTwips(panel(last).width());
    const int width = toPixels(lastRight + 120);
    setFixedSize(width, kWindowHeight);

    titleBar_->setGeometry(0, 0, width, widgets::TitleBar::kHeight);
    close_->setGeometry(width - 34, 2, 30, widgets::TitleBar::kHeight - 4);
    minimize_->setGeometry(width - 66, 2, 30, widgets::TitleBar::kHeight - 4);
    auto* playlist = findChild<QWidget*>(QStringLiteral("playListCB"));
    playlist->setGeometry(width - 10 - 130, kBottomRowTop, 130, kBottomRowHeight);
    auto* next = findChild<QWidget*>(QStringLiteral("nextSongTXT"));
    next->setGeometry(108, kBottomRowTop, playlist->x() - 6 - 108, kBottomRowHeight);
}

void MainWindowView::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    QLinearGradient shade(0, 0, 0, height());
    shade.setColorAt(0, QColor(0x14, 0x17, 0x1b));
    shade.setColorAt(1, QColor(0x0b, 0x0d, 0x10));
    painter.fillRect(rect(), shade);
    painter.setPen(widgets::kEdge);
    painter.drawRect(rect().adjusted(0, 0, -1, -1));
}

void MainWindowView::closeEvent(QCloseEvent* event) {
    if (canClose_ && !canClose_()) {
        event->ignore();
        return;
    }
    event->accept();
}

bool MainWindowView::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::MouseMove && watched->isWidgetType() && !mixer_->hasFocus())
        mixer_->setFocus(Qt::MouseFocusReason);
    return QWidget::eventFilter(watched, event);
}

}  // namespace kelvra::app
