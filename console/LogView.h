#pragma once

#include <QTableView>

#include <cstdint>
#include <optional>

namespace tqx {

class LogModel;

// A console log on screen: a one-column table with fixed row heights, which takes lines at both
// ends and brings the newest into view in constant time however long the log is.
class LogView : public QTableView
{
    Q_OBJECT

public:
    LogView(LogModel *model, const QColor &textColor, QWidget *parent = nullptr);

    // Shows the lines queued in the model and selects the line with the given index (counted
    // since the last Clear), bringing it into view, unless the user has selected several.
    void showLines(std::optional<std::uint64_t> selectedLine);

private:
    LogModel *m_model;
};

} // namespace tqx
