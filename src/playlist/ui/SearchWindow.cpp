#include "playlist/ui/SearchWindow.h"

#include <QEvent>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QShortcut>

#include "core/QtDialogs.h"

namespace kelvra::playlist {

SearchWindow::SearchWindow(PlaylistController& playlist, Dialogs& dialogs, QWidget* owner)
    : BorderlessWindow(owner), dialogs_(dialogs, *this), search_(playlist, dialogs_) {
    setObjectName(QStringLiteral("searchF"));
    setAttribute(Qt::WA_DeleteOnClose);
    setCaption(tr("SEARCH PLAYLIST"));

    auto* prompt = new QLabel(tr("Find songs whose line contains:"), body());
    bodyLayout()->addWidget(prompt);
    searchTXT_ = new QLineEdit(body());
    searchTXT_->setObjectName(QStringLiteral("searchTXT"));
    searchTXT_->setPlaceholderText(tr("title, artist or number"));
    searchTXT_->setMinimumWidth(320);
    bodyLayout()->addWidget(searchTXT_);

    auto* buttons = new QHBoxLayout;
    buttons->setSpacing(6);
    auto button = [this, buttons](const char* name, const QString& text) {
        auto* b = new QPushButton(text, body());
        b->setObjectName(QString::fromLatin1(name));
        b->setFocusPolicy(Qt::TabFocus);
        buttons->addWidget(b);
        return b;
    };
    QPushButton* first = button("findFirstCB", tr("Find First"));
    QPushButton* previous = button("findPrevCB", tr("Find Previous"));
    QPushButton* next = button("FindNextCB", tr("Find Next"));
    bodyLayout()->addLayout(buttons);

    connect(first, &QPushButton::clicked, this, [this] { search_.findFirst(searchTXT_->text()); });
    connect(next, &QPushButton::clicked, this, [this] { search_.findNext(searchTXT_->text()); });
    connect(previous, &QPushButton::clicked, this,
            [this] { search_.findPrevious(searchTXT_->text()); });
    connect(searchTXT_, &QLineEdit::returnPressed, this,
            [this] { search_.findNext(searchTXT_->text()); });
    connect(this, &BorderlessWindow::closeClicked, this, &QWidget::close);
    connect(new QShortcut(QKeySequence(Qt::Key_Escape), this), &QShortcut::activated, this,
            &QWidget::close);
    adjustSize();
    placeOnScreen(0.5);
}

MessageResult SearchWindow::OwnDialogs::message(const QString& title, const QString& text,
                                                MessageButtons buttons, MessageIcon icon) {
    // The real boxes are parented here; other dialogs (tests' scripted ones) are asked as given.
    const MessageResult result = dynamic_cast<QtDialogs*>(&shared_)
                                     ? QtDialogs(&owner_).message(title, text, buttons, icon)
                                     : shared_.message(title, text, buttons, icon);
    owner_.takeKeyboard();
    return result;
}

void SearchWindow::takeKeyboard() {
    if (!isVisible()) return;
    raise();
    activateWindow();
    searchTXT_->setFocus();
}

void SearchWindow::changeEvent(QEvent* event) {
    if (event->type() == QEvent::ActivationChange && isActiveWindow()) searchTXT_->setFocus();
    BorderlessWindow::changeEvent(event);
}

}  // namespace kelvra::playlist
