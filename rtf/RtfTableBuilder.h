#pragma once

#include <QTextTableFormat>

#include <vector>

class QTextCursor;
class QTextTable;

namespace tqx {

// Builds a QTextTable from RTF's table rows: a row definition (\trowd, \cellxN...) announces the
// cells' right edges, paragraphs marked \intbl fill them, \cell ends a cell and \row a row. Rows of
// one table may have different cell counts; the table takes the largest.
class RtfTableBuilder
{
public:
    // More cells in a row than this come from a damaged file; their text joins the last cell.
    static constexpr int mostColumns = 64;

    void beginRowDefinition(); // \trowd
    void addCellBoundary(int twips); // \cellxN: the cell's right edge
    void setCellGap(int twips); // \trgaphN: half the space between two cells' text
    void setRowLeft(int twips); // \trleftN: the row's left edge
    void setBordered(); // a visible border on a cell or the row

    bool isOpen() const { return m_table != nullptr; }

    // Moves the cursor to where the current cell's content goes, creating the table, a row or a
    // column when the content is the first there.
    void enterCell(QTextCursor &cursor);
    // \cell: content from now on goes to the next cell. Returns false when the row is already at
    // its most columns, so the next content stays in this cell.
    bool endCell();
    void endRow(); // \row
    // Leaves the table: the cursor moves to the paragraph after it.
    void close(QTextCursor &cursor);

private:
    int definedColumns() const;
    void fitColumns(int count);
    void padCell();
    QTextTableFormat tableFormat(int columns) const;

    std::vector<int> m_boundaries;
    int m_rowLeft = 0;
    int m_cellGap = 0;
    bool m_bordered = false;

    QTextTable *m_table = nullptr;
    int m_row = 0;
    int m_column = 0;
    bool m_rowEnded = false;
    bool m_cursorInCell = false;
};

} // namespace tqx
