#include "console/ExchangeView.h"

#include "console/ExchangeFilter.h"
#include "console/MountView.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QFontDatabase>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QItemSelection>
#include <QLabel>
#include <QLineEdit>
#include <QScrollBar>
#include <QTableView>
#include <QVBoxLayout>

#include <QMainWindow>
#include <QScreen>
#include <QStatusBar>

#include <algorithm>
#include <numeric>

namespace tqx {

namespace {

// Column widths in characters of the fixed font; the meaning takes the rest.
constexpr std::array<int, ExchangeModel::columns - 1> columnCharacters {12, 11, 6, 18, 20};
constexpr int meaningCharacters = 80;

} // namespace

ExchangeView::ExchangeView(ExchangeModel *model, QWidget *parent)
    : QWidget(parent, Qt::Window)
    , m_model(model)
    , m_filter(new ExchangeFilter(model, this))
    , m_table(new QTableView(this))
    , m_hidePolling(new QCheckBox(tr("Hide polling"), this))
    , m_follow(new QCheckBox(tr("Follow newest"), this))
    , m_letters(new QLineEdit(this))
    , m_search(new QLineEdit(this))
    , m_copy(new QAction(tr("Copy"), this))
{
    setWindowTitle(tr("Exchanges - TQX Orbivo Emulator"));

    m_letters->setPlaceholderText(tr("all"));
    m_letters->setToolTip(tr("Show only the commands that begin with these letters, such as "
                             "\"Ee\"; rows without a command are then hidden"));
    m_letters->setMaximumWidth(m_letters->fontMetrics().horizontalAdvance(QString(10, 'M')));
    m_search->setPlaceholderText(tr("Search"));
    m_search->setClearButtonEnabled(true);
    m_search->setToolTip(tr("Show only the rows with this text in any column"));
    m_hidePolling->setToolTip(tr("Fold a query repeated while nothing else happens into one row "
                                 "with its count, its latest time and reply"));
    m_follow->setChecked(true);
    m_follow->setToolTip(tr("Keep the newest row in view; scroll up to stay where you are"));

    auto *filters = new QHBoxLayout;
    filters->addWidget(new QLabel(tr("Commands:"), this));
    filters->addWidget(m_letters);
    filters->addSpacing(8);
    for (int i = 0; i < ExchangeModel::kindCount; ++i) {
        const auto kind = ExchangeModel::Kind(i);
        auto *box = new QCheckBox(ExchangeModel::kindMark(kind) + QLatin1Char(' ')
                                          + ExchangeModel::kindName(kind),
                                  this);
        box->setChecked(true);
        box->setToolTip(tr("Show the rows of this kind"));
        if (const QColor colour = ExchangeModel::kindColour(kind); colour.isValid()) {
            QPalette colours = box->palette();
            colours.setColor(QPalette::WindowText, colour);
            box->setPalette(colours);
        }
        connect(box, &QCheckBox::toggled, this,
                [this, kind](bool shown) { m_filter->setKindShown(kind, shown); });
        m_kindBoxes[std::size_t(i)] = box;
        filters->addWidget(box);
    }
    filters->addStretch(1);

    auto *viewing = new QHBoxLayout;
    viewing->addWidget(m_search, 1);
    viewing->addWidget(m_hidePolling);
    viewing->addWidget(m_follow);

    m_table->setModel(m_filter);
    m_table->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    m_table->verticalHeader()->hide();
    // Fixed row heights keep scrolling to the newest row constant in time however many there are.
    m_table->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    m_table->verticalHeader()->setMinimumSectionSize(1);
    m_table->verticalHeader()->setDefaultSectionSize(m_table->fontMetrics().height() + 2);
    m_table->horizontalHeader()->setStretchLastSection(true);
    m_table->horizontalHeader()->setHighlightSections(false);
    m_table->setShowGrid(false);
    m_table->setWordWrap(false);
    // The meaning starts with what the command is; bytes too long for their column go on in
    // the tooltip and in what is copied.
    m_table->setTextElideMode(Qt::ElideRight);
    m_table->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_table->setSelectionMode(QAbstractItemView::ExtendedSelection);
    m_table->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_table->setHorizontalScrollMode(QAbstractItemView::ScrollPerPixel);
    const int character = m_table->fontMetrics().horizontalAdvance(QLatin1Char('0'));
    for (std::size_t column = 0; column < columnCharacters.size(); ++column)
        m_table->setColumnWidth(int(column), columnCharacters[column] * character + 12);
    m_table->setColumnHidden(ExchangeModel::CountColumn, true);

    m_copy->setShortcut(QKeySequence::Copy);
    m_copy->setShortcutContext(Qt::WidgetShortcut);
    auto *selectAll = new QAction(tr("Select All"), this);
    selectAll->setShortcut(QKeySequence::SelectAll);
    selectAll->setShortcutContext(Qt::WidgetShortcut);
    m_table->setContextMenuPolicy(Qt::ActionsContextMenu);
    m_table->addAction(m_copy);
    m_table->addAction(selectAll);
    connect(m_copy, &QAction::triggered, this, &ExchangeView::copySelection);
    connect(selectAll, &QAction::triggered, m_table, &QTableView::selectAll);

    auto *layout = new QVBoxLayout(this);
    layout->addLayout(filters);
    layout->addLayout(viewing);
    layout->addWidget(m_table, 1);

    connect(m_letters, &QLineEdit::textChanged, m_filter, &ExchangeFilter::setCommandLetters);
    connect(m_search, &QLineEdit::textChanged, m_filter, &ExchangeFilter::setSearchText);
    connect(m_hidePolling, &QCheckBox::toggled, this, [this](bool hidden) {
        m_filter->setPollingHidden(hidden);
        m_table->setColumnHidden(ExchangeModel::CountColumn, !hidden);
        if (isFollowing())
            scrollToNewest();
    });
    connect(m_follow, &QCheckBox::toggled, this, [this](bool following) {
        if (following)
            scrollToNewest();
    });
    connect(m_table->verticalScrollBar(), &QScrollBar::valueChanged, this,
            &ExchangeView::onScrolled);
    connect(m_table->verticalScrollBar(), &QScrollBar::rangeChanged, this, [this] {
        if (isFollowing())
            scrollToNewest();
    });
    connect(&m_frameTimer, &QTimer::timeout, this, &ExchangeView::refresh);

    // The count's column is shown only while polling is hidden.
    const int width
            = (std::accumulate(columnCharacters.begin(), columnCharacters.end(), meaningCharacters)
               - columnCharacters[ExchangeModel::CountColumn])
                    * character
            + 80;
    resize(width, 24 * m_table->verticalHeader()->defaultSectionSize() + 110);
}

void ExchangeView::placeBeside(QWidget *console)
{
    const QScreen *display = console->screen();
    const QRect available = display ? display->availableGeometry() : console->frameGeometry();
    QRect consoleFrame = console->frameGeometry();
    // Room for the console's status bar, which appears with the first marker.
    if (const auto *window = qobject_cast<const QMainWindow *>(console);
        window && window->statusBar()->isHidden())
        consoleFrame.setBottom(consoleFrame.bottom() + window->statusBar()->sizeHint().height());
    if (frameGeometry().width() > available.width())
        resize(available.width() - (frameGeometry().width() - width()), height());
    const QSize size = frameGeometry().size();
    const QPoint below(std::max(available.x(),
                                std::min(consoleFrame.x(), available.right() + 1 - size.width())),
                       consoleFrame.bottom() + 1);
    if (below.y() + size.height() <= available.bottom() + 1)
        move(below);
    else
        move(MountView::besideWindow(consoleFrame, size, available));
}

void ExchangeView::refresh()
{
    if (!m_model->hasPending())
        return;
    m_scrolling = true;
    m_model->publish();
    m_scrolling = false;
    if (isFollowing())
        scrollToNewest();
}

bool ExchangeView::isFollowing() const { return m_follow->isChecked(); }

void ExchangeView::setFollowing(bool following) { m_follow->setChecked(following); }

void ExchangeView::scrollToNewest()
{
    m_scrolling = true;
    m_table->scrollToBottom();
    m_scrolling = false;
}

// Rows arriving and leaving change the scroll bar's range, which brings the newest row back into
// view while following; everything else that moves the bar is the user's doing, and following
// is whether it was left at the newest row.
void ExchangeView::onScrolled(int value)
{
    if (m_scrolling)
        return;
    const bool atNewest = value >= m_table->verticalScrollBar()->maximum();
    if (atNewest != isFollowing())
        setFollowing(atNewest);
}

void ExchangeView::showRowsFrom(qint64 msecsSinceEpoch,
                                std::initializer_list<ExchangeModel::Kind> kinds)
{
    // The rows are shown before following stops: showing them may move the scroll bar.
    for (const ExchangeModel::Kind kind : kinds)
        m_kindBoxes[std::size_t(kind)]->setChecked(true);
    m_scrolling = true;
    m_model->publish();
    m_scrolling = false;
    setFollowing(false);
    const int from = m_model->firstRowAtOrAfter(msecsSinceEpoch);
    if (from < 0)
        return;
    QItemSelection selection;
    QModelIndex first;
    for (int row = from; row < m_model->rowCount(); ++row) {
        if (std::find(kinds.begin(), kinds.end(), m_model->kind(row)) == kinds.end())
            continue;
        const QModelIndex shown = m_filter->mapFromSource(m_model->index(row, 0));
        if (!shown.isValid())
            continue;
        if (!first.isValid())
            first = shown;
        selection.select(shown, shown.siblingAtColumn(ExchangeModel::columns - 1));
    }
    if (!first.isValid())
        first = m_filter->mapFromSource(m_model->index(from, 0));
    if (!first.isValid())
        return;
    m_table->selectionModel()->select(
            selection, QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
    m_table->selectionModel()->setCurrentIndex(first, QItemSelectionModel::NoUpdate);
    m_scrolling = true;
    m_table->scrollTo(first, QAbstractItemView::PositionAtCenter);
    m_scrolling = false;
}

QString ExchangeView::selectedText() const
{
    QList<int> rows;
    for (const QModelIndex &index : m_table->selectionModel()->selectedRows())
        rows << m_filter->mapToSource(index).row();
    std::sort(rows.begin(), rows.end());
    QStringList lines;
    for (const int row : rows)
        lines << m_model->copyText(row);
    return lines.join(QLatin1Char('\n'));
}

void ExchangeView::copySelection() const
{
    const QString text = selectedText();
    if (!text.isEmpty())
        QApplication::clipboard()->setText(text);
}

void ExchangeView::showEvent(QShowEvent *event)
{
    QWidget::showEvent(event);
    m_model->publish();
    if (isFollowing())
        scrollToNewest();
    m_frameTimer.start(MountView::frameIntervalMs(screen()));
}

void ExchangeView::hideEvent(QHideEvent *event)
{
    QWidget::hideEvent(event);
    m_frameTimer.stop();
}

} // namespace tqx
