#include "console/ExchangeFilter.h"

namespace tqx {

ExchangeFilter::ExchangeFilter(ExchangeModel *model, QObject *parent)
    : QSortFilterProxyModel(parent)
    , m_model(model)
{
    m_kinds.fill(true);
    setSourceModel(model);
}

void ExchangeFilter::setKindShown(ExchangeModel::Kind kind, bool shown)
{
    if (m_kinds[std::size_t(kind)] == shown)
        return;
    m_kinds[std::size_t(kind)] = shown;
    invalidateFilter();
}

void ExchangeFilter::setCommandLetters(const QString &letters)
{
    std::bitset<256> chosen;
    for (const QChar letter : letters) {
        if (letter.unicode() < 256 && !letter.isSpace() && letter != QLatin1Char(','))
            chosen.set(letter.unicode());
    }
    if (chosen == m_letters)
        return;
    m_letters = chosen;
    m_anyLetter = chosen.none();
    invalidateFilter();
}

void ExchangeFilter::setPollingHidden(bool hidden)
{
    if (hidden == m_pollingHidden)
        return;
    m_pollingHidden = hidden;
    m_model->setFolded(hidden);
    invalidateFilter();
}

void ExchangeFilter::setSearchText(const QString &text)
{
    if (text == m_search)
        return;
    m_search = text;
    invalidateFilter();
}

bool ExchangeFilter::filterAcceptsRow(int sourceRow, const QModelIndex &) const
{
    if (!m_kinds[std::size_t(m_model->kind(sourceRow))])
        return false;
    if (!m_anyLetter) {
        const int first = m_model->index(sourceRow, 0).data(ExchangeModel::commandByteRole).toInt();
        if (first < 0 || !m_letters.test(std::size_t(first)))
            return false;
    }
    if (m_pollingHidden
        && !m_model->index(sourceRow, 0).data(ExchangeModel::groupHeadRole).toBool())
        return false;
    if (m_search.isEmpty())
        return true;
    for (int column = 0; column < ExchangeModel::columns; ++column) {
        if (m_model->index(sourceRow, column)
                    .data()
                    .toString()
                    .contains(m_search, Qt::CaseInsensitive))
            return true;
    }
    return false;
}

} // namespace tqx
