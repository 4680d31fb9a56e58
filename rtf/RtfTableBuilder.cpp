#include "rtf/RtfTableBuilder.h"

#include "rtf/RtfUnits.h"

#include <QTextCursor>
#include <QTextTable>

#include <algorithm>

namespace tqx {

namespace {

// RTF's cell gap only separates text horizontally; vertically cells get a hairline of space.
constexpr double leastCellPadding = 2.0;
constexpr double verticalCellPadding = 1.0;

} // namespace

void RtfTableBuilder::beginRowDefinition()
{
    m_boundaries.clear();
    m_rowLeft = 0;
    m_cellGap = 0;
    m_bordered = false;
}

void RtfTableBuilder::addCellBoundary(int twips)
{
    if (m_boundaries.size() < std::size_t(mostColumns))
        m_boundaries.push_back(clampTwips(twips));
}

void RtfTableBuilder::setCellGap(int twips) { m_cellGap = std::clamp(twips, 0, largestTwips); }

void RtfTableBuilder::setRowLeft(int twips) { m_rowLeft = clampTwips(twips); }

void RtfTableBuilder::setBordered() { m_bordered = true; }

int RtfTableBuilder::definedColumns() const { return std::max(1, int(m_boundaries.size())); }

QTextTableFormat RtfTableBuilder::tableFormat(int columns) const
{
    QTextTableFormat format;
    format.setCellSpacing(0);
    format.setCellPadding(verticalCellPadding);
    format.setBorderCollapse(true);
    format.setBorder(m_bordered ? 1 : 0);
    format.setBorderStyle(m_bordered ? QTextFrameFormat::BorderStyle_Solid
                                     : QTextFrameFormat::BorderStyle_None);

    QList<QTextLength> widths;
    int left = m_rowLeft;
    for (int column = 0; column < columns; ++column) {
        const bool defined = std::size_t(column) < m_boundaries.size();
        const int right = defined ? m_boundaries[std::size_t(column)] : left;
        // Boundaries out of order come from damaged files; such a column takes what it needs.
        widths.append(right > left
                              ? QTextLength(QTextLength::FixedLength, twipsToPixels(right - left))
                              : QTextLength());
        left = std::max(left, right);
    }
    format.setColumnWidthConstraints(widths);
    return format;
}

void RtfTableBuilder::fitColumns(int count)
{
    const int columns = std::clamp(count, 1, mostColumns);
    if (columns > m_table->columns())
        m_table->appendColumns(columns - m_table->columns());
    m_table->setFormat(tableFormat(m_table->columns()));
}

void RtfTableBuilder::enterCell(QTextCursor &cursor)
{
    if (!m_table) {
        const int columns = std::min(definedColumns(), mostColumns);
        m_table = cursor.insertTable(1, columns, tableFormat(columns));
        m_row = 0;
        m_column = 0;
        m_rowEnded = false;
        m_cursorInCell = true;
        padCell();
        return;
    }
    if (m_rowEnded) {
        m_table->appendRows(1);
        fitColumns(definedColumns());
        ++m_row;
        m_column = 0;
        m_rowEnded = false;
        m_cursorInCell = false;
    }
    if (m_cursorInCell)
        return;
    if (m_column >= m_table->columns())
        fitColumns(m_column + 1);
    cursor = m_table->cellAt(m_row, m_column).firstCursorPosition();
    m_cursorInCell = true;
    padCell();
}

void RtfTableBuilder::padCell()
{
    QTextTableCell cell = m_table->cellAt(m_row, m_column);
    QTextTableCellFormat format = cell.format().toTableCellFormat();
    const double horizontal = std::max(leastCellPadding, twipsToPixels(m_cellGap));
    format.setLeftPadding(horizontal);
    format.setRightPadding(horizontal);
    format.setTopPadding(verticalCellPadding);
    format.setBottomPadding(verticalCellPadding);
    cell.setFormat(format);
}

bool RtfTableBuilder::endCell()
{
    if (m_column + 1 >= mostColumns)
        return false;
    ++m_column;
    m_cursorInCell = false;
    return true;
}

void RtfTableBuilder::endRow()
{
    if (!m_table)
        return;
    m_rowEnded = true;
    m_column = 0;
    m_cursorInCell = false;
}

void RtfTableBuilder::close(QTextCursor &cursor)
{
    if (!m_table)
        return;
    // Tables are only ever added at the end of the document, so the paragraph after this one is
    // the last in the document.
    cursor.movePosition(QTextCursor::End);
    m_table = nullptr;
    m_rowEnded = false;
    m_cursorInCell = false;
}

} // namespace tqx
