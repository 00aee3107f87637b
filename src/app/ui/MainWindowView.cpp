#include "app/ui/MainWindowView.h"

#include <QApplication>
#include <QCloseEvent>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QToolButton>

#include "app/KeyCodes.h"
#include "app/KeyboardMap.h"
#include "app/ui/DeckPanelView.h"
#include "app/ui/EffectsRowView.h"
#include "app/ui/KeyboardSheetView.h"
#include "app/ui/MixerPanelView.h"
#include "app/ui/NextSongBox.h"
#include "app/ui/WaveformStripView.h"
#include "core/Rounding.h"
#include "core/widgets/ButtonWidget.h"
#include "core/widgets/LevelMeterWidget.h"

namespace kelvra::app {

using widgets::ButtonWidget;

namespace {
// The title bar ends just above the decks' top of 390 twips (26 pixels).
constexpr int kTitleBarHeight = 24;
// How long a release that may be a repeat's waits for its press: a repeat's pair is sent at
// once, so this only covers a busy moment, and a real release is late by no more than this.
constexpr int kHeldBackMs = 40;
constexpr int kBottomRowTop = 466;
constexpr int kBottomRowHeight = 36;
constexpr int kWindowHeight = kBottomRowTop + kBottomRowHeight + 10;
// The waveform strip sits below everything else, so showing it moves no other control.
constexpr int kStripTop = kWindowHeight - 2;
constexpr int kStripHeight = 132;
// A docked playlist goes below the strip, where it covers neither the crossfader nor the
// Auto-DJ button: room for a dozen lines and its buttons.
constexpr int kDockHeight = 330;

int toPixels(int twips) {
    return int(roundEven(double(twips) / kTwipsPerPixel));
}
int toTwips(int pixels) {
    return pixels * kTwipsPerPixel;
}
}  // namespace

MainWindowView::MainWindowView(MainControls& controls, QWidget* parent)
    : BorderlessWindow(parent),
      controls_(controls),
      leftDeck_(new DeckPanelView(controls.left, controls.keyboardHints, this)),
      mixer_(new MixerPanelView(controls.mixer, controls.deck(Side::Left),
                                controls.deck(Side::Right), controls.keyboardHints, this)),
      rightDeck_(new DeckPanelView(controls.right, controls.keyboardHints, this)) {
    setObjectName(QStringLiteral("quelmaraF"));
    repeatsAsReleases_ = QGuiApplication::platformName() == QLatin1String("xcb");
    heldBackTimer_ = new QTimer(this);
    heldBackTimer_->setSingleShot(true);
    heldBackTimer_->setInterval(kHeldBackMs);
    connect(heldBackTimer_, &QTimer::timeout, this, [this] { releaseHeldBack(); });
    setCaption(controls.titleCaption);
    setWindowTitle(controls.titleCaption.trimmed());
    titleBar()->setFixedHeight(kTitleBarHeight);
    bindWindowButtons();
    buildBottomRow();
    strip_ = new WaveformStripView(controls.waveforms, this);
    effectsRow_ = new EffectsRowView(controls.effects, this);
    connect(&controls.effects.show, &ButtonModel::changed, this, [this] {
        if (effectsRow_->isVisibleTo(this) != controls_.effects.show.isLit()) relayout();
    });
    connect(&controls.waveforms, &WaveformStripModel::changed, this, [this] {
        if (strip_->isVisibleTo(this) != controls_.waveforms.isVisible() ||
            height() != wantedHeight())
            relayout();
    });
    connect(&controls.layout, &LayoutNotifier::playlistDockChanged, this,
            &MainWindowView::dockPlaylist);

    // The panels sit on the window itself, over the background, at the places the DJ set-up
    // gives them; the background stays a handle for moving the window, and so is the mixer.
    addDragHandle(mixer_);
    // Focus keeping: mouse movement over the background or a panel hands the focus to the mixer.
    for (QWidget* area : {body(), static_cast<QWidget*>(leftDeck_), static_cast<QWidget*>(mixer_),
                          static_cast<QWidget*>(rightDeck_), static_cast<QWidget*>(strip_),
                          static_cast<QWidget*>(effectsRow_)}) {
        area->setMouseTracking(true);
        area->installEventFilter(this);
    }

    connect(&controls.layout, &LayoutNotifier::djSetupChanged, this, &MainWindowView::relayout);
    connect(&controls.focus, &FocusRequests::requested, this, [this](FocusTarget target) {
        const char* name = target == FocusTarget::LeftPlay    ? "playCB2"
                           : target == FocusTarget::RightPlay ? "playCB"
                                                              : nullptr;
        QWidget* widget = name ? findChild<QWidget*>(QString::fromLatin1(name)) : mixer_;
        if (widget) widget->setFocus(Qt::OtherFocusReason);
    });
    relayout();
    placeOnScreen();
}

void MainWindowView::bindWindowButtons() {
    auto* close = titleBar()->findChild<QToolButton*>(QStringLiteral("cmdcloseButton"));
    auto* minimize = titleBar()->findChild<QToolButton*>(QStringLiteral("CmdMinimizeButton"));
    close->setToolTip(controls_.close.toolTip());
    minimize->setToolTip(controls_.minimize.toolTip());
    setMinimizeButtonVisible(true);
    // The buttons report to their models; the models' clicks (from the buttons or the logic)
    // act on the window.
    connect(this, &BorderlessWindow::closeClicked, &controls_.close, &ButtonModel::click);
    connect(minimize, &QToolButton::clicked, &controls_.minimize, &ButtonModel::click);
    connect(&controls_.close, &ButtonModel::clicked, this, &QWidget::close);
    connect(&controls_.minimize, &ButtonModel::clicked, this, &QWidget::showMinimized);
    // Maximise beside minimise; a double click on the title bar does the same.
    auto* maximize = new QToolButton(titleBar());
    maximize->setObjectName(QStringLiteral("CmdMaximizeButton"));
    maximize->setText(QStringLiteral("\u25A1"));
    maximize->setToolTip(tr("Maximise (F11: full screen)"));
    maximize->setFocusPolicy(Qt::NoFocus);
    if (auto* row = qobject_cast<QHBoxLayout*>(titleBar()->layout()))
        row->insertWidget(row->indexOf(close), maximize);
    connect(maximize, &QToolButton::clicked, this, &MainWindowView::toggleMaximized);

    // The keyboard sheet's own button, so a new user finds the keys without knowing "?".
    auto* keysButton = new QToolButton(titleBar());
    keysButton->setObjectName(QStringLiteral("keyboardSheetButton"));
    keysButton->setText(QStringLiteral("?"));
    keysButton->setToolTip(tr("Keyboard shortcuts (?)"));
    keysButton->setFocusPolicy(Qt::NoFocus);
    if (auto* row = qobject_cast<QHBoxLayout*>(titleBar()->layout()))
        row->insertWidget(row->indexOf(minimize), keysButton);
    connect(keysButton, &QToolButton::clicked, this,
            [this] { controls_.keyboardSheet.setVisible(!controls_.keyboardSheet.isVisible()); });

    // The dropout lamp, amber, left of the "?": out of sight until the sound has gapped.
    auto* dropouts = new QToolButton(titleBar());
    dropouts->setObjectName(QStringLiteral("dropoutLamp"));
    dropouts->setFocusPolicy(Qt::NoFocus);
    dropouts->setStyleSheet(QStringLiteral(
        "QToolButton { color: #111; background: #ffb020; border-radius: 3px; padding: 0 6px;"
        " font-weight: bold; }"));
    if (auto* row = qobject_cast<QHBoxLayout*>(titleBar()->layout()))
        row->insertWidget(row->indexOf(keysButton), dropouts);
    const auto showDropouts = [this, dropouts] {
        dropouts->setText(controls_.dropouts.caption());
        dropouts->setToolTip(controls_.dropouts.toolTip());
        dropouts->setVisible(controls_.dropouts.isVisible());
    };
    showDropouts();
    connect(&controls_.dropouts, &ButtonModel::changed, dropouts, showDropouts);
    connect(dropouts, &QToolButton::clicked, &controls_.dropouts, &ButtonModel::click);
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
    playlistButton_ = playlist;
    auto* library = new ButtonWidget(controls_.openLibrary, this);
    library->setObjectName(QStringLiteral("libraryCB"));
    library->setFace(QStringLiteral("LIBRARY"));
    library->setFacePixelSize(14);
    libraryButton_ = library;
    auto* effects = new ButtonWidget(controls_.effects.show, this);
    effects->setObjectName(QStringLiteral("fxShowCB"));
    effects->setFace(QStringLiteral("FX"));
    effects->setFacePixelSize(14);
    effectsButton_ = effects;
    nextSong_ = new NextSongBox(controls_.nextSongText, this);
}

void MainWindowView::setClock(Clock& clock) {
    leftDeck_->setClock(clock);
    rightDeck_->setClock(clock);
    strip_->setClock(clock);
    // The deck and main meters fall to nothing on it when no level comes in.
    for (auto* meter : findChildren<widgets::LevelMeterWidget*>())
        meter->setClock(clock);
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

QRect MainWindowView::mixingSurface() const {
    QRect surface;
    for (Panel which : {Panel::LeftDeck, Panel::Mixer, Panel::RightDeck}) {
        const QWidget& shown = panel(which);
        surface |= QRect(shown.mapToGlobal(QPoint(0, 0)), shown.size());
    }
    return surface;
}

void MainWindowView::setPlaylistWindow(BorderlessWindow* playlist) {
    playlist_ = playlist;
    dockPlaylist();
}

void MainWindowView::dockPlaylist() {
    if (!playlist_ || playlist_->isDocked() == controls_.playlistDocked) return;
    const bool shown = playlist_->isVisible();
    playlist_->dockInto(controls_.playlistDocked ? this : nullptr);
    if (!controls_.playlistDocked) {
        // Floating again, it comes up where it did before it was docked: over the window.
        playlist_->resize(560, 600);
        if (shown) {
            playlist_->show();
            playlist_->placeOnScreen(0.5);
        }
    }
    relayout();
}

int MainWindowView::effectsHeight() const {
    return controls_.effects.show.isLit() ? EffectsRowView::kHeight + 6 : 0;
}

int MainWindowView::wantedHeight() const {
    const int panels =
        effectsHeight() +
        (controls_.waveforms.isVisible() ? kStripTop + kStripHeight + 10 : kWindowHeight);
    return panels + (playlist_ && playlist_->isDocked() ? kDockHeight + 6 : 0);
}

QSize MainWindowView::designedSize() const {
    // The window ends 120 twips after the last panel. That is the right deck in the club and
    // mixer-on-left set-ups; with the mixer on the right, measuring from the right deck would
    // cut the mixer off, so the last panel counts, whichever it is.
    const auto placement = placePanels(controls_.djSetup, toTwips(leftDeck_->width()),
                                       toTwips(mixer_->width()), toTwips(rightDeck_->width()));
    const Panel last = panelOrder(controls_.djSetup).back();
    const int lastRight = placement[std::size_t(last)].left + toTwips(panel(last).width());
    return {toPixels(lastRight + 120), wantedHeight()};
}

bool MainWindowView::sizedFreely() const {
    return windowState() & (Qt::WindowMaximized | Qt::WindowFullScreen);
}

void MainWindowView::relayout() {
    const QSize designed = designedSize();
    setMinimumSize(designed);
    if (!sizedFreely()) {
        setMaximumSize(designed);
        resize(designed);
    } else {
        setMaximumSize(QWIDGETSIZE_MAX, QWIDGETSIZE_MAX);
    }
    placeChildren();
}

void MainWindowView::placeChildren() {
    if (!strip_) return;  // still being built
    const QSize designed = designedSize();
    // More room than designed: the panels and the song row stand centred at their size, the
    // waveforms run the whole width, and the height left goes to them and a docked playlist.
    const bool docked = playlist_ && playlist_->isDocked();
    const Room room = roomFor(size(), designed, controls_.waveforms.isVisible(), docked);
    const int shift = room.shift, stripExtra = room.stripExtra;
    const int extra = stripExtra + room.dockExtra;
    const auto placement = placePanels(controls_.djSetup, toTwips(leftDeck_->width()),
                                       toTwips(mixer_->width()), toTwips(rightDeck_->width()));
    for (Panel which : {Panel::LeftDeck, Panel::Mixer, Panel::RightDeck}) {
        const PanelPlacement& place = placement[std::size_t(which)];
        panel(which).move(shift + toPixels(place.left), toPixels(place.top));
        panel(which).raise();
    }
    // The effect units sit between the song row and the waveforms, at the panels' width, so
    // showing them moves neither the decks nor the mixer.
    effectsRow_->setVisible(controls_.effects.show.isLit());
    effectsRow_->setGeometry(shift + 10, kStripTop + 4, designed.width() - 20,
                             EffectsRowView::kHeight);
    strip_->setGeometry(10, kStripTop + effectsHeight(), width() - 20, kStripHeight + stripExtra);
    if (docked)
        playlist_->setGeometry(10, height() - kDockHeight - (extra - stripExtra) - 10, width() - 20,
                               kDockHeight + extra - stripExtra);

    const int right = shift + designed.width();
    playlistButton_->setGeometry(right - 10 - 130, kBottomRowTop, 130, kBottomRowHeight);
    libraryButton_->setGeometry(playlistButton_->x() - 6 - 120, kBottomRowTop, 120,
                                kBottomRowHeight);
    effectsButton_->setGeometry(libraryButton_->x() - 6 - 56, kBottomRowTop, 56, kBottomRowHeight);
    nextSong_->setGeometry(shift + 108, kBottomRowTop, effectsButton_->x() - 6 - 108 - shift,
                           kBottomRowHeight);
    for (QWidget* row : {playlistButton_, libraryButton_, effectsButton_, nextSong_})
        row->raise();
    int x = shift + 10;
    for (const char* name : {"upCB", "downCB"}) {
        QWidget* button = findChild<QWidget*>(QLatin1String(name));
        button->move(x, kBottomRowTop);
        button->raise();
        x += 48;
    }
    // The keyboard sheet lies over everything the lines above raised.
    if (sheet_) {
        sheet_->setGeometry(rect().adjusted(6, kTitleBarHeight + 4, -6, -6));
        sheet_->raise();
    }
}

MainWindowView::Room MainWindowView::roomFor(QSize window, QSize designed, bool waveforms,
                                             bool docked) {
    Room room;
    room.shift = std::max(0, (window.width() - designed.width()) / 2);
    const int extra = std::max(0, window.height() - designed.height());
    // With both, the playlist takes two thirds: lines to choose from matter more than height.
    room.stripExtra = waveforms ? (docked ? extra / 3 : extra) : 0;
    room.dockExtra = docked ? extra - room.stripExtra : 0;
    return room;
}

void MainWindowView::toggleMaximized() {
    if (isFullScreen()) return;
    setMaximumSize(QWIDGETSIZE_MAX, QWIDGETSIZE_MAX);
    if (isMaximized())
        showNormal();
    else
        showMaximized();
}

void MainWindowView::toggleFullScreen() {
    setMaximumSize(QWIDGETSIZE_MAX, QWIDGETSIZE_MAX);
    if (isFullScreen())
        showNormal();
    else
        showFullScreen();
}

void MainWindowView::resizeEvent(QResizeEvent* event) {
    BorderlessWindow::resizeEvent(event);
    placeChildren();
}

void MainWindowView::keyPressEvent(QKeyEvent* event) {
    // F11 is no key of the deck map: full screen and back, as in most desktop programs.
    if (event->key() == Qt::Key_F11 && event->modifiers() == Qt::NoModifier) {
        toggleFullScreen();
        event->accept();
        return;
    }
    BorderlessWindow::keyPressEvent(event);
}

void MainWindowView::closeEvent(QCloseEvent* event) {
    if (canClose_ && !canClose_()) {
        event->ignore();
        return;
    }
    event->accept();
}

// Hands every key event of the application to the window, which keeps those of its own widgets.
class MainWindowView::KeyFilter : public QObject {
  public:
    explicit KeyFilter(MainWindowView& view) : QObject(&view), view_(view) {}
    bool eventFilter(QObject* watched, QEvent* event) override {
        const bool key = event->type() == QEvent::KeyPress || event->type() == QEvent::KeyRelease;
        return key && view_.keyEvent(watched, event);
    }

  private:
    MainWindowView& view_;
};

void MainWindowView::setKeyboard(KeyboardMap& keyboard) {
    keyboard_ = &keyboard;
    // The application sees a key before the widget with the focus does.
    if (!keyFilter_) {
        keyFilter_ = new KeyFilter(*this);
        qApp->installEventFilter(keyFilter_);
    }
    delete sheet_;
    sheet_ = new KeyboardSheetView(controls_.keyboardSheet, keyboard.helpSheet(), this);
    sheet_->setGeometry(rect().adjusted(6, kTitleBarHeight + 4, -6, -6));
}

bool MainWindowView::keyEvent(QObject* watched, QEvent* event) {
    auto* widget = qobject_cast<QWidget*>(watched);
    if (!keyboard_ || !widget || widget->window() != this) return false;
    auto* key = static_cast<QKeyEvent*>(event);
    const int code = keyCode({key->key(), key->nativeScanCode(), key->modifiers(),
                              key->modifiers().testFlag(Qt::KeypadModifier)},
                             scanCodesOf(QGuiApplication::platformName()));
    if (code == 0) return false;
    const int mask = modifierMask(key->modifiers());
    if (event->type() == QEvent::KeyPress) {
        if (heldBack_ && heldBack_->code == code && heldBack_->time == key->timestamp()) {
            // The release held back was a repeat after all: the key never came up.
            heldBack_.reset();
            heldBackTimer_->stop();
        } else {
            releaseHeldBack();
        }
        return keyboard_->keyDown(code, mask);
    }
    // A held key repeats as further presses; the releases some platforms put between them are
    // not the key coming up, or a held bend would snap back at every repeat.
    if (key->isAutoRepeat()) return keyboard_->keyUpOwned(code);
    releaseHeldBack();
    if (!repeatsAsReleases_) return keyboard_->keyUp(code, mask);
    // X11 marks a repeat's release only when its press is already queued behind it; on a busy
    // machine it may not be yet. The press of a repeat carries the release's own time stamp.
    if (!keyboard_->keyUpOwned(code)) return false;
    heldBack_ = Release{code, mask, key->timestamp()};
    heldBackTimer_->start();
    return true;
}

void MainWindowView::releaseHeldBack() {
    if (!heldBack_) return;
    const Release release = *heldBack_;
    heldBack_.reset();
    heldBackTimer_->stop();
    keyboard_->keyUp(release.code, release.mask);
}

bool MainWindowView::eventFilter(QObject* watched, QEvent* event) {
    if (watched == titleBar() && event->type() == QEvent::MouseButtonDblClick) {
        toggleMaximized();
        return true;
    }
    if (event->type() == QEvent::MouseMove && !mixer_->hasFocus())
        mixer_->setFocus(Qt::MouseFocusReason);
    return BorderlessWindow::eventFilter(watched, event);
}

void MainWindowView::changeEvent(QEvent* event) {
    // Back from maximised or full screen: the designed size again.
    if (event->type() == QEvent::WindowStateChange) relayout();
    // Coming back to the front, the window repaints at once under the busy pointer, so the DJ
    // never looks at stale meters and lamps.
    if (event->type() == QEvent::ActivationChange && !isActiveWindow() && keyboard_) {
        releaseHeldBack();
        keyboard_->releaseHeldKeys();
    }
    if (event->type() == QEvent::ActivationChange && isActiveWindow()) {
        QApplication::setOverrideCursor(Qt::WaitCursor);
        repaint();
        QApplication::restoreOverrideCursor();
    }
    BorderlessWindow::changeEvent(event);
}

}  // namespace kelvra::app
