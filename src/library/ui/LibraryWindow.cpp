#include "library/ui/LibraryWindow.h"

#include <QCheckBox>
#include <QDragEnterEvent>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QInputDialog>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QMimeData>
#include <QPainter>
#include <QPushButton>
#include <QScreen>
#include <QSplitter>
#include <QStyledItemDelegate>
#include <QTableView>
#include <QUrl>
#include <set>

namespace kelvra::library {

namespace {

QStringList localFiles(const QMimeData* data) {
    QStringList files;
    if (!data) return files;
    for (const QUrl& url : data->urls())
        if (url.isLocalFile()) files << url.toLocalFile();
    return files;
}

// A cell as the DJ reads it: its text on the row's background, cut short with an ellipsis. The
// style's general item painter lays every cell's text out as a paragraph, which made repainting
// the table after each keystroke cost more than the search; this draws the one line directly.
class SongCellPainter final : public QStyledItemDelegate {
  public:
    using QStyledItemDelegate::QStyledItemDelegate;

    void paint(QPainter* painter, const QStyleOptionViewItem& option,
               const QModelIndex& index) const override {
        const bool selected = option.state & QStyle::State_Selected;
        if (selected)
            painter->fillRect(option.rect, option.palette.highlight());
        else if (option.features & QStyleOptionViewItem::Alternate)
            painter->fillRect(option.rect, option.palette.alternateBase());
        const QString text = index.data(Qt::DisplayRole).toString();
        if (text.isEmpty()) return;
        const QVariant colour = index.data(Qt::ForegroundRole);
        painter->setPen(selected           ? option.palette.highlightedText().color()
                        : colour.isValid() ? colour.value<QColor>()
                                           : option.palette.text().color());
        const QRect room = option.rect.adjusted(kMargin, 0, -kMargin, 0);
        const auto alignment = Qt::Alignment(index.data(Qt::TextAlignmentRole).toInt());
        painter->drawText(room, int(alignment | Qt::AlignVCenter | Qt::TextSingleLine),
                          option.fontMetrics.elidedText(text, Qt::ElideRight, room.width()));
    }

  private:
    static constexpr int kMargin = 4;
};

// The table, telling when a drag of its songs starts and ends, so a deck dropped on knows which
// songs came.
class SongTableView final : public QTableView {
  public:
    SongTableView(LibraryWindow& window, QWidget* parent) : QTableView(parent), window_(window) {}

  protected:
    void startDrag(Qt::DropActions actions) override {
        const QModelIndexList rows = selectionModel()->selectedRows();
        QStringList paths;
        const auto* table = static_cast<const SongTable*>(model());
        for (const QModelIndex& row : rows)
            if (const SongRow* song = table->song(row.row())) paths << song->path;
        emit window_.songDragStarted(paths);
        QTableView::startDrag(actions);  // returns once the drop is done
        emit window_.songDragEnded();
    }

  private:
    LibraryWindow& window_;
};

// The sources: songs dropped on a crate go into it.
class SourceList final : public QListWidget {
  public:
    SourceList(LibraryBrowser& browser, QWidget* parent) : QListWidget(parent), browser_(browser) {
        setAcceptDrops(true);
        setDropIndicatorShown(true);
    }

  protected:
    QString crateUnder(QPoint at) const {
        const QModelIndex index = indexAt(at);
        return index.isValid() ? browser_.crateAt(index.row()) : QString();
    }
    void dragEnterEvent(QDragEnterEvent* event) override {
        if (event->mimeData()->hasUrls()) event->acceptProposedAction();
    }
    void dragMoveEvent(QDragMoveEvent* event) override {
        if (!crateUnder(event->position().toPoint()).isEmpty())
            event->acceptProposedAction();
        else
            event->ignore();
    }
    void dropEvent(QDropEvent* event) override {
        const QString crate = crateUnder(event->position().toPoint());
        if (crate.isEmpty()) return;
        event->acceptProposedAction();
        browser_.addToCrate(crate, localFiles(event->mimeData()));
    }

  private:
    LibraryBrowser& browser_;
};

// The status line: one line, cut short with an ellipsis (the whole of it in its tooltip), so a
// long scan report never widens the window past the screen.
class StatusLine final : public QLabel {
  public:
    explicit StatusLine(QWidget* parent, Qt::Alignment alignment = Qt::AlignLeft)
        : QLabel(parent), alignment_(alignment) {}
    QSize minimumSizeHint() const override { return {0, QLabel::minimumSizeHint().height()}; }
    QSize sizeHint() const override {
        // As wide as its text where there is room, never wider than the window gives it.
        return {fontMetrics().horizontalAdvance(text()) + 4, QLabel::sizeHint().height()};
    }

  protected:
    void paintEvent(QPaintEvent*) override {
        QPainter painter(this);
        painter.setPen(palette().color(foregroundRole()));
        const QRect room = contentsRect();
        painter.drawText(room, int(alignment_ | Qt::AlignVCenter | Qt::TextSingleLine),
                         fontMetrics().elidedText(text(), Qt::ElideRight, room.width()));
    }

  private:
    Qt::Alignment alignment_;
};

QPushButton* button(const QString& name, const QString& text, const QString& tip, QWidget* parent) {
    auto* made = new QPushButton(text, parent);
    made->setObjectName(name);
    made->setToolTip(tip);
    made->setFocusPolicy(Qt::NoFocus);
    return made;
}

}  // namespace

LibraryWindow::LibraryWindow(LibraryBrowser& browser, QWidget* owner)
    : BorderlessWindow(owner), browser_(browser) {
    setObjectName(QStringLiteral("libraryF"));
    setCaption(tr("LIBRARY"));
    resize(kWantedSize);
    buildTop();
    buildMiddle();
    buildBottom();
    connect(&browser_, &LibraryBrowser::changed, this, [this] {
        showSources();
        QStringList parts{browser_.status()};
        for (const QString& more : {browser_.scanText(), browser_.analysisText()})
            if (!more.isEmpty()) parts << more;
        status_->setText(parts.join(QStringLiteral("      ")));
        status_->setToolTip(status_->text());
        if (!showingColumns_) showColumns();
    });
    connect(this, &BorderlessWindow::closeClicked, this, &QWidget::hide);
    showSources();
    showColumns();
    status_->setText(browser_.status());
}

void LibraryWindow::buildTop() {
    auto* row = new QHBoxLayout;
    search_ = new QLineEdit(body());
    search_->setObjectName(QStringLiteral("librarySearch"));
    search_->setPlaceholderText(
        QStringLiteral("Search artist, title, album, genre, comment   bpm:120-128   key:8A"));
    search_->setClearButtonEnabled(true);
    connect(search_, &QLineEdit::textChanged, &browser_, &LibraryBrowser::setSearchText);
    // Typing a search and pressing Enter (or Shift+Left/Right) loads the song found first.
    search_->installEventFilter(this);
    compatible_ = new QCheckBox(QStringLiteral("Compatible with the playing deck"), body());
    compatible_->setObjectName(QStringLiteral("chkCompatible"));
    compatible_->setToolTip(
        QStringLiteral("Only songs within 6 % of its tempo whose key is one step from its key"));
    connect(compatible_, &QCheckBox::toggled, &browser_, &LibraryBrowser::setCompatibleOnly);
    row->addWidget(search_, 1);
    row->addWidget(compatible_);
    bodyLayout()->addLayout(row);
}

void LibraryWindow::buildMiddle() {
    auto* split = new QSplitter(Qt::Horizontal, body());
    sources_ = new SourceList(browser_, split);
    sources_->setObjectName(QStringLiteral("librarySources"));
    sources_->setMinimumWidth(150);
    // A long crate name is cut short with an ellipsis rather than scrolled to.
    sources_->setTextElideMode(Qt::ElideRight);
    sources_->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    connect(sources_, &QListWidget::currentRowChanged, this, [this](int row) {
        if (row >= 0 && row != browser_.source()) browser_.chooseSource(row);
    });
    table_ = new SongTableView(*this, split);
    table_->setObjectName(QStringLiteral("librarySongs"));
    table_->setModel(&browser_.table());
    table_->setItemDelegate(new SongCellPainter(table_));
    table_->setSelectionBehavior(QAbstractItemView::SelectRows);
    table_->setSelectionMode(QAbstractItemView::ExtendedSelection);
    table_->setDragEnabled(true);
    table_->setDragDropMode(QAbstractItemView::DragOnly);
    table_->setAlternatingRowColors(true);
    table_->setShowGrid(false);
    table_->setWordWrap(false);
    table_->verticalHeader()->hide();
    table_->verticalHeader()->setDefaultSectionSize(24);
    table_->setContextMenuPolicy(Qt::CustomContextMenu);
    table_->setToolTip(
        QStringLiteral("Enter or a double click: onto the deck in hand.  "
                       "Shift+Left / Shift+Right: onto the left / right deck."));
    table_->installEventFilter(this);
    connect(table_, &QWidget::customContextMenuRequested, this, &LibraryWindow::showRowMenu);
    connect(table_, &QAbstractItemView::doubleClicked, this, [this](const QModelIndex& index) {
        table_->setCurrentIndex(index);
        loadCurrent(DeckChoice::InHand);
    });
    QHeaderView* header = table_->horizontalHeader();
    header->setSectionsMovable(true);
    header->setSectionsClickable(true);
    header->setSortIndicatorShown(true);
    header->setStretchLastSection(true);
    header->setContextMenuPolicy(Qt::CustomContextMenu);
    header->setSortIndicator(int(browser_.sortColumn()),
                             browser_.sortDescending() ? Qt::DescendingOrder : Qt::AscendingOrder);
    connect(header, &QHeaderView::sortIndicatorChanged, this,
            [this](int section, Qt::SortOrder order) {
                browser_.sortBy(SongColumn(section), order == Qt::DescendingOrder);
            });
    connect(header, &QHeaderView::sectionMoved, this, [this] { columnsMoved(); });
    connect(header, &QWidget::customContextMenuRequested, this, &LibraryWindow::showHeaderMenu);
    for (const auto& [column, width] : {std::pair{SongColumn::Artist, 180},
                                        {SongColumn::Title, 220},
                                        {SongColumn::Album, 170},
                                        {SongColumn::Bpm, 64},
                                        {SongColumn::Key, 110},
                                        {SongColumn::Length, 64},
                                        {SongColumn::Rating, 80}})
        header->resizeSection(int(column), width);
    split->addWidget(sources_);
    split->addWidget(table_);
    split->setStretchFactor(1, 1);
    split->setSizes({230, 720});
    bodyLayout()->addWidget(split, 1);
}

void LibraryWindow::buildBottom() {
    auto* row = new QHBoxLayout;
    QPushButton* add = button(QStringLiteral("cmdAddFolder"), QStringLiteral("Add folder..."),
                              QStringLiteral("Add a folder of songs (and those below it)"), body());
    connect(add, &QPushButton::clicked, &browser_, &LibraryBrowser::addFolder);
    QPushButton* crate = button(QStringLiteral("cmdNewCrate"), QStringLiteral("New crate"),
                                QStringLiteral("A new crate; drag songs onto it"), body());
    connect(crate, &QPushButton::clicked, this, [this] { askCrateName(false); });
    QPushButton* rename = button(QStringLiteral("cmdRenameCrate"), QStringLiteral("Rename"),
                                 QStringLiteral("Rename the crate chosen on the left"), body());
    connect(rename, &QPushButton::clicked, this, [this] { askCrateName(true); });
    QPushButton* remove = button(QStringLiteral("cmdRemoveCrate"), QStringLiteral("Remove"),
                                 QStringLiteral("Remove the crate chosen on the left"), body());
    connect(remove, &QPushButton::clicked, this,
            [this] { browser_.removeCrate(sources_->currentRow()); });
    QPushButton* history = button(
        QStringLiteral("cmdExportHistory"), QStringLiteral("Export history..."),
        QStringLiteral("The set chosen on the left, or every set, as M3U, CUE or CSV"), body());
    connect(history, &QPushButton::clicked, &browser_, &LibraryBrowser::exportHistory);
    status_ = new StatusLine(body());
    status_->setObjectName(QStringLiteral("libraryStatus"));
    for (QPushButton* each : {add, crate, rename, remove, history})
        row->addWidget(each);
    row->addSpacing(12);
    row->addWidget(status_);
    // The keys that load a song, dim at the right, where a DJ looks for what else there is.
    auto* keys = new StatusLine(body(), Qt::AlignRight);
    keys->setObjectName(QStringLiteral("libraryKeys"));
    keys->setText(QStringLiteral("Enter: deck in hand   Shift+\u2190/\u2192: left/right deck"));
    keys->setToolTip(keys->text());
    keys->setStyleSheet(QStringLiteral("color: #7c8790;"));
    // It gives way to the status line: the room left, cut short when there is little.
    keys->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
    row->addWidget(keys, 1);
    bodyLayout()->addLayout(row);
}

void LibraryWindow::showCentred() {
    show();
    placeOnScreen(0.5);
    raise();
    activateWindow();
    search_->setFocus();
    search_->selectAll();
}

QRect placeClearOf(const QRect& screen, const QRect& keepClear, QSize wanted, QSize minimum) {
    wanted = wanted.boundedTo(screen.size());
    minimum = minimum.boundedTo(wanted);
    const QRect clear = keepClear.intersected(screen);
    const auto centredIn = [&](const QRect& room) {
        const QSize size = wanted.boundedTo(room.size());
        return QRect(room.left() + (room.width() - size.width()) / 2,
                     room.top() + (room.height() - size.height()) / 2, size.width(), size.height());
    };
    if (clear.isEmpty()) return centredIn(screen);
    // Below the decks first: the mixing surface stays in sight, the window under the hand.
    const QRect below(screen.left(), clear.bottom() + 1, screen.width(),
                      screen.bottom() - clear.bottom());
    if (below.height() >= minimum.height()) {
        QRect place = centredIn(below);
        place.moveTop(below.top());
        return place;
    }
    const QRect right(clear.right() + 1, screen.top(), screen.right() - clear.right(),
                      screen.height());
    const QRect left(screen.left(), screen.top(), clear.left() - screen.left(), screen.height());
    for (const QRect& beside : {right, left})
        if (beside.width() >= minimum.width()) return centredIn(beside);
    // No room anywhere: as short as it goes, at the foot of the screen, over as little as can be.
    const QSize size(wanted.width(), minimum.height());
    return QRect(screen.left() + (screen.width() - size.width()) / 2,
                 screen.bottom() + 1 - size.height(), size.width(), size.height());
}

void LibraryWindow::showClearOf(const QRect& keepClear) {
    const QScreen* screen = QGuiApplication::screenAt(keepClear.center());
    if (!screen) screen = this->screen() ? this->screen() : QGuiApplication::primaryScreen();
    if (screen)
        setGeometry(
            placeClearOf(screen->availableGeometry(), keepClear, kWantedSize, kMinimumSize));
    show();
    raise();
    activateWindow();
    search_->setFocus();
    search_->selectAll();
}

bool LibraryWindow::loadCurrent(DeckChoice deck) {
    QModelIndex current = table_->currentIndex();
    // From the search line, with nothing chosen yet: the first song found.
    if (!current.isValid() && browser_.table().rowCount() > 0)
        current = browser_.table().index(0, 0);
    const SongRow* song = current.isValid() ? browser_.table().song(current.row()) : nullptr;
    if (!song) return false;
    emit loadRequested(song->path, deck);
    return true;
}

bool LibraryWindow::loadKey(const QKeyEvent& key) {
    const Qt::KeyboardModifiers mods = key.modifiers() & ~Qt::KeypadModifier;
    if ((key.key() == Qt::Key_Return || key.key() == Qt::Key_Enter) && mods == Qt::NoModifier)
        return loadCurrent(DeckChoice::InHand);
    if ((key.key() == Qt::Key_Left || key.key() == Qt::Key_Right) && mods == Qt::ShiftModifier)
        return loadCurrent(key.key() == Qt::Key_Left ? DeckChoice::Left : DeckChoice::Right);
    return false;
}

void LibraryWindow::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_Escape) {
        event->accept();
        hide();
        return;
    }
    if (loadKey(*event)) {
        event->accept();
        return;
    }
    BorderlessWindow::keyPressEvent(event);
}

bool LibraryWindow::eventFilter(QObject* watched, QEvent* event) {
    // The table and the search line would take Enter and the arrows for themselves.
    if ((watched == table_ || watched == search_) && event->type() == QEvent::KeyPress) {
        auto* key = static_cast<QKeyEvent*>(event);
        if (key->key() == Qt::Key_Escape) {
            hide();
            return true;
        }
        if (loadKey(*key)) return true;
    }
    return BorderlessWindow::eventFilter(watched, event);
}

void LibraryWindow::showSources() {
    const QStringList names = browser_.sources();
    QStringList shown;
    for (int row = 0; row < sources_->count(); ++row)
        shown << sources_->item(row)->text();
    if (shown != names) {
        const QSignalBlocker quiet(sources_);
        sources_->clear();
        sources_->addItems(names);
    }
    if (sources_->currentRow() != browser_.source()) {
        const QSignalBlocker quiet(sources_);
        sources_->setCurrentRow(browser_.source());
    }
}

void LibraryWindow::showColumns() {
    showingColumns_ = true;
    QHeaderView* header = table_->horizontalHeader();
    const std::vector<SongColumn>& columns = browser_.columns();
    const std::set<SongColumn> shown(columns.begin(), columns.end());
    for (int section = 0; section < int(SongColumn::Count); ++section)
        header->setSectionHidden(section, !shown.count(SongColumn(section)));
    for (std::size_t place = 0; place < columns.size(); ++place) {
        const int from = header->visualIndex(int(columns[place]));
        if (from != int(place)) header->moveSection(from, int(place));
    }
    showingColumns_ = false;
}

void LibraryWindow::columnsMoved() {
    if (showingColumns_) return;
    QHeaderView* header = table_->horizontalHeader();
    std::vector<SongColumn> columns;
    for (int visual = 0; visual < header->count(); ++visual) {
        const int section = header->logicalIndex(visual);
        if (!header->isSectionHidden(section)) columns.push_back(SongColumn(section));
    }
    browser_.setColumns(columns);
}

void LibraryWindow::showHeaderMenu(QPoint at) {
    QMenu menu(this);
    QHeaderView* header = table_->horizontalHeader();
    for (int section = 0; section < int(SongColumn::Count); ++section) {
        QAction* action = menu.addAction(columnTitle(SongColumn(section)));
        action->setCheckable(true);
        action->setChecked(!header->isSectionHidden(section));
        connect(action, &QAction::toggled, this, [this, header, section](bool on) {
            header->setSectionHidden(section, !on);
            columnsMoved();
        });
    }
    menu.exec(header->mapToGlobal(at));
}

QStringList LibraryWindow::selectedPaths() const {
    QStringList paths;
    for (const QModelIndex& row : table_->selectionModel()->selectedRows())
        if (const SongRow* song = browser_.table().song(row.row())) paths << song->path;
    return paths;
}

void LibraryWindow::showRowMenu(QPoint at) {
    const QStringList paths = selectedPaths();
    if (paths.isEmpty()) return;
    QMenu menu(this);
    connect(menu.addAction(QStringLiteral("Add to the playlist")), &QAction::triggered, this,
            [this, paths] { emit addToPlaylistRequested(paths); });
    QMenu* crates = menu.addMenu(QStringLiteral("Add to crate"));
    const QStringList sources = browser_.sources();
    for (int index = 1; index < sources.size(); ++index) {
        const QString crate = browser_.crateAt(index);
        if (crate.isEmpty()) break;
        connect(crates->addAction(crate), &QAction::triggered, this,
                [this, crate, paths] { browser_.addToCrate(crate, paths); });
    }
    crates->setEnabled(!crates->isEmpty());
    if (!browser_.crateAt(browser_.source()).isEmpty())
        connect(menu.addAction(QStringLiteral("Remove from this crate")), &QAction::triggered, this,
                [this, paths] { browser_.removeFromCrate(paths); });
    menu.exec(table_->viewport()->mapToGlobal(at));
}

void LibraryWindow::askCrateName(bool rename) {
    const int index = sources_->currentRow();
    if (rename && browser_.crateAt(index).isEmpty()) return;
    QString name = rename ? browser_.crateAt(index) : QString();
    for (;;) {
        bool ok = false;
        name = QInputDialog::getText(this, rename ? tr("Rename crate") : tr("New crate"),
                                     tr("Name:"), QLineEdit::Normal, name, &ok);
        if (!ok) return;
        const QString refused =
            rename ? browser_.renameCrate(index, name) : browser_.makeCrate(name);
        if (refused.isEmpty()) return;
        status_->setText(refused);
    }
}

}  // namespace kelvra::library
