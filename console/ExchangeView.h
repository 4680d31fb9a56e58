#pragma once

#include "console/ExchangeModel.h"

#include <QTimer>
#include <QWidget>

#include <array>

class QAction;
class QCheckBox;
class QLineEdit;
class QTableView;

namespace tqx {

class ExchangeFilter;

// The "Show exchanges" window: every exchange on the line as a table, with what the console's
// logs cannot show (see ExchangeModel), a filter by command and kind, hidden polling, a search,
// and copy of the selected rows with every column. It brings the model up to date once per frame
// of the display while it is shown, and does nothing while it is closed.
class ExchangeView : public QWidget
{
    Q_OBJECT

public:
    // A window of its own; the parent (the console) closes it with itself.
    explicit ExchangeView(ExchangeModel *model, QWidget *parent = nullptr);

    // Below the console where the screen has room for it, else beside it as the mount view goes.
    void placeBeside(QWidget *console);

    // Shows what the model has queued, and brings the newest row into view while following.
    void refresh();

    // Stops following and selects the rows of the kinds, from the first at or after the time,
    // bringing the first of them into view.
    void showRowsFrom(qint64 msecsSinceEpoch, std::initializer_list<ExchangeModel::Kind> kinds);

    // The selected rows as copy takes them: one line each, every column, tab-separated.
    QString selectedText() const;
    void copySelection() const;

    // While following, every new row is brought into view; scrolling away from the newest stops
    // it, scrolling back to the newest starts it again.
    bool isFollowing() const;
    void setFollowing(bool following);

    QTableView *table() const { return m_table; }
    ExchangeFilter *filter() const { return m_filter; }
    QCheckBox *kindBox(ExchangeModel::Kind kind) const { return m_kindBoxes[std::size_t(kind)]; }
    QCheckBox *hidePollingBox() const { return m_hidePolling; }
    QCheckBox *followBox() const { return m_follow; }
    QLineEdit *commandLettersText() const { return m_letters; }
    QLineEdit *searchText() const { return m_search; }
    QAction *copyAction() const { return m_copy; }
    const QTimer &frameTimer() const { return m_frameTimer; }

protected:
    void showEvent(QShowEvent *event) override;
    void hideEvent(QHideEvent *event) override;

private:
    void onScrolled(int value);
    void scrollToNewest();

    ExchangeModel *m_model;
    ExchangeFilter *m_filter;
    QTableView *m_table;
    std::array<QCheckBox *, ExchangeModel::kindCount> m_kindBoxes {};
    QCheckBox *m_hidePolling;
    QCheckBox *m_follow;
    QLineEdit *m_letters;
    QLineEdit *m_search;
    QAction *m_copy;
    QTimer m_frameTimer;
    bool m_scrolling = false; // the view, not the user, is moving the scroll bar
};

} // namespace tqx
