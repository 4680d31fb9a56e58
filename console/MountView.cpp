#include "console/MountView.h"

#include "console/SkyPicture.h"

#include <QEvent>
#include <QFontDatabase>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLineEdit>
#include <QScreen>

#include <algorithm>
#include <cmath>

namespace tqx {

namespace {

// Wide enough for the longest texts the report gives (a goto's motion, the pier side).
constexpr int valueColumnCharacters = 60;
constexpr double fallbackRefreshRate = 60;

bool sameLabels(const std::vector<MountReport::Row> &a, const std::vector<MountReport::Row> &b)
{
    return std::equal(a.begin(), a.end(), b.begin(), b.end(),
                      [](const auto &x, const auto &y) { return x.label == y.label; });
}

} // namespace

MountView::MountView(const CommandInterpreter &interpreter, QWidget *parent)
    : QWidget(parent, Qt::Window)
    , m_interpreter(interpreter)
    , m_rows(new QFormLayout)
    , m_picture(new SkyPicture(this))
{
    setWindowTitle(tr("Mount - TQX Orbivo Emulator"));
    m_rows->setLabelAlignment(Qt::AlignRight);
    m_rows->setFieldGrowthPolicy(QFormLayout::AllNonFixedFieldsGrow);
    auto *layout = new QHBoxLayout(this);
    layout->addWidget(m_picture, 1);
    layout->addLayout(m_rows);
    layout->setAlignment(m_rows, Qt::AlignTop);

    connect(&m_frameTimer, &QTimer::timeout, this, &MountView::refresh);
    refresh();
}

void MountView::refresh()
{
    MountReport report = MountReport::of(m_interpreter);
    if (m_hasShown && report == m_shown)
        return;
    if (!m_hasShown || !sameLabels(report.rows, m_shown.rows))
        rebuildRows(report);
    else
        updateRowTexts(report);
    m_picture->showMarks(report);
    m_shown = std::move(report);
    m_hasShown = true;
    ++m_changeCount;
}

void MountView::rebuildRows(const MountReport &report)
{
    while (m_rows->rowCount() > 0)
        m_rows->removeRow(0);
    m_rowValues.clear();

    const QFont fixed = QFontDatabase::systemFont(QFontDatabase::FixedFont);
    const int valueWidth = QFontMetrics(fixed).horizontalAdvance(
            QString(valueColumnCharacters, QLatin1Char('0')));
    for (const MountReport::Row &row : report.rows) {
        // A read-only line rather than a selectable label: the label lays its text out as a
        // rich-text document on every change, several times a second per row here.
        auto *value = new QLineEdit(QString::fromStdString(row.text), this);
        value->setReadOnly(true);
        value->setFrame(false);
        value->setFocusPolicy(Qt::ClickFocus);
        value->setFont(fixed);
        // The column is wider than the texts, so a changing text never resizes it, moving the
        // picture and making it repaint.
        value->setMinimumWidth(valueWidth);
        m_rows->addRow(QString::fromStdString(row.label) + QLatin1Char(':'), value);
        m_rowValues.push_back(value);
    }
    colourValuesAsText();
}

void MountView::colourValuesAsText()
{
    // The values read as text on the window, not as input fields.
    QPalette colours = palette();
    colours.setColor(QPalette::Base, colours.color(QPalette::Window));
    colours.setColor(QPalette::Text, colours.color(QPalette::WindowText));
    for (QLineEdit *value : m_rowValues)
        value->setPalette(colours);
}

void MountView::changeEvent(QEvent *event)
{
    QWidget::changeEvent(event);
    if (event->type() == QEvent::PaletteChange)
        colourValuesAsText();
}

void MountView::updateRowTexts(const MountReport &report)
{
    for (std::size_t i = 0; i < report.rows.size(); ++i)
        if (report.rows[i].text != m_shown.rows[i].text)
            m_rowValues[i]->setText(QString::fromStdString(report.rows[i].text));
}

QString MountView::rowText(const QString &label) const
{
    for (std::size_t i = 0; i < m_shown.rows.size(); ++i)
        if (QString::fromStdString(m_shown.rows[i].label) == label)
            return m_rowValues[i]->text();
    return {};
}

int MountView::frameIntervalMs(const QScreen *display)
{
    double rate = display ? display->refreshRate() : 0;
    if (!(rate > 0))
        rate = fallbackRefreshRate;
    return std::max(1, static_cast<int>(std::lround(1000 / rate)));
}

void MountView::showEvent(QShowEvent *event)
{
    QWidget::showEvent(event);
    refresh();
    m_frameTimer.start(frameIntervalMs(screen()));
}

void MountView::hideEvent(QHideEvent *event)
{
    QWidget::hideEvent(event);
    m_frameTimer.stop();
}

QPoint MountView::besideWindow(const QRect &consoleFrame, const QSize &size, const QRect &available)
{
    const int availableRight = available.x() + available.width();
    const int availableBottom = available.y() + available.height();
    int x = consoleFrame.x() + consoleFrame.width();
    if (x + size.width() > availableRight) {
        const int left = consoleFrame.x() - size.width();
        // No room on either side: against the screen's right edge, over part of the console.
        x = left >= available.x() ? left : availableRight - size.width();
    }
    x = std::max(x, available.x());
    const int y
            = std::max(std::min(consoleFrame.y(), availableBottom - size.height()), available.y());
    return {x, y};
}

void MountView::placeBeside(QWidget *console)
{
    // A window never shown has no size of its own yet; it takes the one it will be shown with.
    if (!isVisible() && !testAttribute(Qt::WA_Resized))
        adjustSize();
    const QScreen *display = console->screen();
    const QRect available = display ? display->availableGeometry() : console->frameGeometry();
    move(besideWindow(console->frameGeometry(), frameGeometry().size(), available));
}

} // namespace tqx
