#pragma once

#include "console/ExchangeModel.h"

#include <QSortFilterProxyModel>
#include <QString>

#include <array>
#include <bitset>

namespace tqx {

// Which of the exchange view's rows are shown: those of the kinds chosen, of the commands whose
// first byte was typed (none typed: every command), one row a group of repeats while polling is
// hidden, and those with the search text in any column. Rows keep their order.
class ExchangeFilter : public QSortFilterProxyModel
{
    Q_OBJECT

public:
    explicit ExchangeFilter(ExchangeModel *model, QObject *parent = nullptr);

    void setKindShown(ExchangeModel::Kind kind, bool shown);
    bool isKindShown(ExchangeModel::Kind kind) const { return m_kinds[std::size_t(kind)]; }
    // The letters (first bytes) of the commands to show, such as "Ee"; empty for all. A row
    // without a command (a client's) is shown only while no letter is chosen.
    void setCommandLetters(const QString &letters);
    // Folds the model's groups of repeated queries into one row each.
    void setPollingHidden(bool hidden);
    bool isPollingHidden() const { return m_pollingHidden; }
    // Case-insensitive, in any column; empty for none.
    void setSearchText(const QString &text);

    ExchangeModel *exchangeModel() const { return m_model; }

protected:
    bool filterAcceptsRow(int sourceRow, const QModelIndex &sourceParent) const override;

private:
    ExchangeModel *m_model;
    std::array<bool, ExchangeModel::kindCount> m_kinds;
    std::bitset<256> m_letters;
    bool m_anyLetter = true;
    bool m_pollingHidden = false;
    QString m_search;
};

} // namespace tqx
