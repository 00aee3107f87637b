#include "playlist/ui/PlaylistWindow.h"

#include <QApplication>
#include <QCloseEvent>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QListView>
#include <QMenu>
#include <QMimeData>
#include <QMouseEvent>
#include <QPainter>
#include <QProgressBar>
#include <QPushButton>
#include <QShortcut>
#include <QStyledItemDelegate>
#include <QUrl>
#include <QVBoxLayout>

#include "core/widgets/WidgetColours.h"
#include "playlist/PlaylistController.h"
#include "playlist/ui/SearchWindow.h"

namespace kelvra::playlist {
namespace {

const QColor kPlaceholderText(0x7a, 0x84, 0x8b);

// Entries whose title is still being read show their file name, dimmed. The song's tempo and key
// stand at the right end of its line, green when the key mixes with the one on the main mix; the
// line itself stays the number and the title.
class EntryDelegate final : public QStyledItemDelegate {
  public:
    using QStyledItemDelegate::QStyledItemDelegate;

    void paint(QPainter* painter, const QStyleOptionViewItem& option,
               const QModelIndex& index) const override {
        const QString facts = index.data(PlaylistModel::FactsRole).toString();
        if (facts.isEmpty()) {
            QStyledItemDelegate::paint(painter, option, index);
            return;
        }
        // One item across the whole row (the selection runs under the facts too), its title
        // cut short to leave them room.
        QStyleOptionViewItem item(option);
        initStyleOption(&item, index);
        const int width = item.fontMetrics.horizontalAdvance(facts) + 3 * kFactsMargin;
        item.text = item.fontMetrics.elidedText(item.text, Qt::ElideRight,
                                                std::max(0, item.rect.width() - width));
        const QStyle* style = item.widget ? item.widget->style() : QApplication::style();
        style->drawControl(QStyle::CE_ItemViewItem, &item, painter, item.widget);
        painter->save();
        const bool selected = option.state & QStyle::State_Selected;
        painter->setPen(selected ? option.palette.color(QPalette::HighlightedText)
                        : index.data(PlaylistModel::CompatibleRole).toBool() ? widgets::kMeterGreen
                                                                             : kPlaceholderText);
        painter->drawText(option.rect.adjusted(0, 0, -kFactsMargin, 0),
                          Qt::AlignRight | Qt::AlignVCenter, facts);
        painter->restore();
    }

  protected:
    static constexpr int kFactsMargin = 6;

    void initStyleOption(QStyleOptionViewItem* option, const QModelIndex& index) const override {
        QStyledItemDelegate::initStyleOption(option, index);
        if (!index.data(PlaylistModel::TitleReadRole).toBool())
            option->palette.setColor(QPalette::Text, kPlaceholderText);
    }
};

}  // namespace

PlaylistWindow::PlaylistWindow(PlaylistController& controller, Dialogs& dialogs, QWidget* owner)
    : BorderlessWindow(owner), controller_(controller), dialogs_(dialogs) {
    setObjectName(QStringLiteral("playlistF"));
    setAcceptDrops(true);
    setCaption(tr("PLAYLIST"));
    resize(560, 600);

    playlistLabel_ = new QLabel(controller_.caption(), body());
    playlistLabel_->setObjectName(QStringLiteral("playlistLABEL"));
    bodyLayout()->addWidget(playlistLabel_);

    auto* filesRow = new QHBoxLayout;
    filesRow->setSpacing(6);
    filesRow->addWidget(addButton("newPlaylistCB", tr("New"), tr("Start a new playlist")));
    filesRow->addWidget(addButton("openPlaylistCB", tr("Open"), tr("Open a playlist file")));
    filesRow->addWidget(
        addButton("importPlaylistCB", tr("Import"), tr("Add a playlist file's songs")));
    filesRow->addWidget(addButton("saveCB", tr("Save"), tr("Save the playlist")));
    filesRow->addStretch(1);
    filesRow->addWidget(addButton("findCB", tr("Find"), tr("Search the playlist")));
    bodyLayout()->addLayout(filesRow);

    list_ = new QListView(body());
    list_->setObjectName(QStringLiteral("List1"));
    list_->setModel(&controller_.model());
    list_->setItemDelegate(new EntryDelegate(list_));
    list_->setUniformItemSizes(true);  // keeps ten thousand rows cheap to lay out
    list_->setSelectionMode(QAbstractItemView::SingleSelection);
    list_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    list_->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    list_->setTextElideMode(Qt::ElideRight);
    list_->viewport()->installEventFilter(this);
    bodyLayout()->addWidget(list_, 1);

    progress_ = new QProgressBar(body());
    progress_->setObjectName(QStringLiteral("titleProgress"));
    progress_->setFormat(tr("Reading titles: %v of %m"));
    progress_->hide();
    bodyLayout()->addWidget(progress_);

    auto* editGrid = new QGridLayout;
    editGrid->setHorizontalSpacing(6);
    editGrid->setVerticalSpacing(6);
    editGrid->addWidget(addButton("addCB", tr("Add Songs"), tr("Add music files")), 0, 0);
    editGrid->addWidget(addButton("removeCB", tr("Remove"), tr("Remove the selected song")), 0, 1);
    editGrid->addWidget(addButton("clearCB", tr("Clear"), tr("Remove all songs")), 0, 2);
    editGrid->addWidget(addButton("cmdMoveUp", tr("Move Up"), tr("Move the song up")), 0, 3);
    editGrid->addWidget(addButton("cmdMoveDown", tr("Move Down"), tr("Move the song down")), 0, 4);
    editGrid->addWidget(addButton("cmdAZsort", tr("A-Z"), tr("Sort A to Z")), 1, 0);
    editGrid->addWidget(addButton("cmdZAsort", tr("Z-A"), tr("Sort Z to A")), 1, 1);
    editGrid->addWidget(addButton("cmdRandomShuffle", tr("Shuffle"), tr("Random shuffle")), 1, 2);
    editGrid->addWidget(addButton("cmdID3", tr("Song Info"), tr("Edit song information")), 1, 3, 1,
                        2);
    bodyLayout()->addLayout(editGrid);

    buildMenu();
    bind();
}

PlaylistWindow::~PlaylistWindow() {
    setBusy(false);
}

QPushButton* PlaylistWindow::addButton(const QString& name, const QString& text,
                                       const QString& tip) {
    auto* button = new QPushButton(text, body());
    button->setObjectName(name);
    button->setToolTip(tip);
    button->setFocusPolicy(Qt::TabFocus);
    static const QStringList editing = {"newPlaylistCB", "openPlaylistCB", "importPlaylistCB",
                                        "saveCB",        "addCB",          "removeCB",
                                        "clearCB",       "cmdMoveUp",      "cmdMoveDown",
                                        "cmdAZsort",     "cmdZAsort",      "cmdRandomShuffle"};
    if (editing.contains(name)) editButtons_.push_back(button);
    return button;
}

void PlaylistWindow::buildMenu() {
    mnuFile_ = new QMenu(this);
    mnuFile_->setObjectName(QStringLiteral("mnuFile"));
    auto item = [this](const char* name, const QString& text, auto slot) {
        QAction* action = mnuFile_->addAction(text, &controller_, slot);
        action->setObjectName(QString::fromLatin1(name));
        return action;
    };
    item("mnuFileEditTags", tr("Edit Song Information"), &PlaylistController::cmdID3_Click);
    mnuFile_->addSeparator();
    item("mnuFileSortAsc", tr("Sort Ascending"), &PlaylistController::cmdAZsort_Click);
    item("mnuFileSortDesc", tr("Sort Descending"), &PlaylistController::cmdZAsort_Click);
    mnuFile_->addSeparator();
    item("mnuFileRandomShuffle", tr("Random Shuffle"), &PlaylistController::cmdRandomShuffle_Click);
    mnuFile_->addSeparator();
    item("mnuFileRemove", tr("Remove from Playlist"), &PlaylistController::removeCB_Click);
}

void PlaylistWindow::bind() {
    auto clicked = [this](const char* name, auto slot) {
        connect(findChild<QPushButton*>(QString::fromLatin1(name)), &QPushButton::clicked,
                &controller_, slot);
    };
    clicked("newPlaylistCB", &PlaylistController::newPlaylistCB_Click);
    clicked("openPlaylistCB", &PlaylistController::openPlaylistCB_Click);
    clicked("importPlaylistCB", &PlaylistController::importPlaylistCB_Click);
    clicked("saveCB", &PlaylistController::saveCB_Click);
    clicked("addCB", &PlaylistController::addCB_Click);
    clicked("removeCB", &PlaylistController::removeCB_Click);
    clicked("clearCB", &PlaylistController::clearCB_Click);
    clicked("cmdMoveUp", &PlaylistController::cmdMoveUp_Click);
    clicked("cmdMoveDown", &PlaylistController::cmdMoveDown_Click);
    clicked("cmdAZsort", &PlaylistController::cmdAZsort_Click);
    clicked("cmdZAsort", &PlaylistController::cmdZAsort_Click);
    clicked("cmdRandomShuffle", &PlaylistController::cmdRandomShuffle_Click);
    clicked("cmdID3", &PlaylistController::cmdID3_Click);
    connect(findChild<QPushButton*>(QStringLiteral("findCB")), &QPushButton::clicked, this,
            &PlaylistWindow::showSearch);
    connect(this, &BorderlessWindow::closeClicked, &controller_,
            &PlaylistController::confirm_close_playlist);

    connect(&controller_, &PlaylistController::captionChanged, playlistLabel_, &QLabel::setText);
    connect(&controller_, &PlaylistController::hideRequested, this, &QWidget::hide);
    connect(&controller_, &PlaylistController::selectionChanged, this,
            &PlaylistWindow::followSelection);
    connect(&controller_, &PlaylistController::busyChanged, this, &PlaylistWindow::setBusy);
    connect(&controller_, &PlaylistController::editTagsRequested, this, [this](int row) {
        if (row >= 0 && row < controller_.count()) emit editTagsRequested(controller_.path(row));
    });
    connect(&controller_, &PlaylistController::titleProgress, this, [this](int done, int total) {
        progress_->setVisible(total > 0);
        progress_->setRange(0, std::max(1, total));
        progress_->setValue(done);
    });

    // A click, or moving through the list with the keyboard, makes the line the next song.
    connect(list_, &QListView::clicked, this,
            [this](const QModelIndex& index) { controller_.listClicked(index.row()); });
    connect(list_->selectionModel(), &QItemSelectionModel::currentRowChanged, this,
            [this](const QModelIndex& current) {
                if (!followingSelection_ && current.isValid())
                    controller_.listClicked(current.row());
            });
    connect(list_, &QListView::doubleClicked, &controller_, &PlaylistController::listDoubleClicked);

    // Window keys: Escape and Enter hide without asking; Delete removes the selected song.
    for (const QKeySequence& key :
         {QKeySequence(Qt::Key_Escape), QKeySequence(Qt::Key_Return), QKeySequence(Qt::Key_Enter)})
        connect(new QShortcut(key, this), &QShortcut::activated, this, &QWidget::hide);
    connect(new QShortcut(QKeySequence(Qt::Key_Delete), this), &QShortcut::activated, &controller_,
            &PlaylistController::removeCB_Click);
}

void PlaylistWindow::followSelection(int row) {
    followingSelection_ = true;
    if (row < 0) {
        list_->selectionModel()->clear();
    } else {
        const QModelIndex index = controller_.model().index(row);
        list_->selectionModel()->setCurrentIndex(index, QItemSelectionModel::ClearAndSelect);
        list_->scrollTo(index);
    }
    followingSelection_ = false;
}

void PlaylistWindow::setBusy(bool busy) {
    for (QPushButton* button : editButtons_)
        button->setEnabled(!busy);
    for (QAction* action : mnuFile_->actions())
        if (action->objectName() != QLatin1String("mnuFileEditTags")) action->setEnabled(!busy);
    busyPointer_.set(busy);
}

void PlaylistWindow::load(const QString& commandLine) {
    if (!isDocked()) {
        adjustSize();
        resize(560, 600);
        placeOnScreen(0.6);
    }
    controller_.startUp(commandLine);
}

void PlaylistWindow::showCentred() {
    show();
    if (isDocked()) return;  // it is already where it belongs, below the decks
    placeOnScreen(0.5);
    raise();
    activateWindow();
}

void PlaylistWindow::showSearch() {
    if (!search_) search_ = new SearchWindow(controller_, dialogs_, this);
    search_->show();
    search_->placeOnScreen(0.5);
    search_->raise();
    search_->activateWindow();
}

void PlaylistWindow::showLineMenu(QPoint viewportPosition, QPoint globalPosition) {
    if (controller_.count() == 0) return;
    const int top = std::max(0, list_->indexAt(QPoint(0, 0)).row());
    // Rows of this list are one line of text high, so the row height is the letter height.
    const int rowHeight = std::max(1, list_->sizeHintForRow(0));
    const int row = PlaylistController::lineUnderPointer(top, viewportPosition.y(), rowHeight,
                                                         controller_.count());
    controller_.listClicked(row);
    list_->setFocus();
    mnuFile_->popup(globalPosition);
}

bool PlaylistWindow::eventFilter(QObject* watched, QEvent* event) {
    if (list_ && watched == list_->viewport() && event->type() == QEvent::MouseButtonPress) {
        auto* mouse = static_cast<QMouseEvent*>(event);
        if (mouse->button() == Qt::RightButton) {
            showLineMenu(mouse->position().toPoint(), mouse->globalPosition().toPoint());
            return true;
        }
    }
    return BorderlessWindow::eventFilter(watched, event);
}

void PlaylistWindow::changeEvent(QEvent* event) {
    if (event->type() == QEvent::ActivationChange) {
        if (isActiveWindow())
            list_->setFocus();
        else
            controller_.windowDeactivated();
    }
    BorderlessWindow::changeEvent(event);
}

namespace {
QStringList droppedFiles(const QMimeData* data) {
    QStringList files;
    if (data)
        for (const QUrl& url : data->urls())
            if (url.isLocalFile()) files << url.toLocalFile();
    return files;
}
}  // namespace

void PlaylistWindow::dragEnterEvent(QDragEnterEvent* event) {
    if (!droppedFiles(event->mimeData()).isEmpty()) event->acceptProposedAction();
}

void PlaylistWindow::dropEvent(QDropEvent* event) {
    const QStringList files = droppedFiles(event->mimeData());
    if (files.isEmpty()) return;
    event->acceptProposedAction();
    controller_.loadsongs_to_playlist(files);
}

void PlaylistWindow::closeEvent(QCloseEvent* event) {
    // Only program exit closes this window; its close button hides it through the controller.
    controller_.closeForGood();
    event->accept();
}

}  // namespace kelvra::playlist
