#include "console/LogView.h"

#include "console/LogModel.h"

#include <QHeaderView>

namespace tqx {

LogView::LogView(LogModel *model, const QColor &textColor, QWidget *parent)
    : QTableView(parent)
    , m_model(model)
{
    setModel(model);
    horizontalHeader()->hide();
    horizontalHeader()->setStretchLastSection(true);
    verticalHeader()->hide();
    verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    verticalHeader()->setMinimumSectionSize(1);
    verticalHeader()->setDefaultSectionSize(fontMetrics().height());
    setShowGrid(false);
    setWordWrap(false);
    setSelectionBehavior(QAbstractItemView::SelectRows);
    setSelectionMode(QAbstractItemView::ExtendedSelection);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    QPalette colors = palette();
    colors.setColor(QPalette::Text, textColor);
    setPalette(colors);
}

void LogView::showLines(std::optional<std::uint64_t> selectedLine)
{
    m_model->publish();
    // Several lines selected are the user's, for copying; the log stays where they are.
    if (!selectedLine || selectionModel()->selectedRows().size() > 1)
        return;
    const int row = m_model->rowOfLine(*selectedLine);
    if (row < 0)
        return;
    const QModelIndex index = m_model->index(row);
    setCurrentIndex(index);
    scrollTo(index);
}

} // namespace tqx
