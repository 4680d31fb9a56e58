#include "console/ExchangeModel.h"

#include "session/DisplayText.h"
#include "session/Exchange.h"

#include <QDateTime>

#include <algorithm>

namespace tqx {

ExchangeModel::ExchangeModel(QObject *parent, std::size_t maxRows)
    : QAbstractTableModel(parent)
    , m_maxRows(std::max<std::size_t>(maxRows, 1))
{
}

QString ExchangeModel::kindName(Kind kind)
{
    switch (kind) {
    case Kind::Answered:
        return QStringLiteral("answered");
    case Kind::Malformed:
        return QStringLiteral("malformed");
    case Kind::Changed:
        return QStringLiteral("changed");
    case Kind::Unanswered:
        return QStringLiteral("discarded");
    case Kind::Reset:
        return QStringLiteral("reset");
    case Kind::Client:
        return QStringLiteral("client");
    }
    return {};
}

QString ExchangeModel::kindMark(Kind kind)
{
    switch (kind) {
    case Kind::Answered:
        return QStringLiteral("\u2713"); // check mark
    case Kind::Malformed:
        return QStringLiteral("\u26A0"); // warning sign
    case Kind::Changed:
        return QStringLiteral("\u270E"); // pencil
    case Kind::Unanswered:
        return QStringLiteral("\u2717"); // ballot x
    case Kind::Reset:
        return QStringLiteral("\u21BA"); // anticlockwise arrow
    case Kind::Client:
        return QStringLiteral("\u21C4"); // arrows both ways
    }
    return {};
}

QColor ExchangeModel::kindColour(Kind kind)
{
    switch (kind) {
    case Kind::Answered:
        return {};
    case Kind::Malformed:
        return QColor(0x9A, 0x64, 0x00);
    case Kind::Changed:
        return LogModel::changedReplyColour();
    case Kind::Unanswered:
        return QColor(0xC0, 0x00, 0x00);
    case Kind::Reset:
        return QColor(0x80, 0x00, 0xA0);
    case Kind::Client:
        return QColor(0x00, 0x60, 0x80);
    }
    return {};
}

int ExchangeModel::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : static_cast<int>(m_rows.size());
}

int ExchangeModel::columnCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : columns;
}

QVariant ExchangeModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole)
        return QAbstractTableModel::headerData(section, orientation, role);
    switch (section) {
    case TimeColumn:
        return QStringLiteral("Time");
    case KindColumn:
        return QStringLiteral("Kind");
    case CountColumn:
        return QStringLiteral("Times");
    case CommandColumn:
        return QStringLiteral("Command");
    case ReplyColumn:
        return QStringLiteral("Reply");
    case MeaningColumn:
        return QStringLiteral("Meaning");
    }
    return {};
}

bool ExchangeModel::isGroupHead(int row) const
{
    const Row &entry = m_rows[std::size_t(row)];
    if (entry.group == none)
        return true;
    const auto found = m_groups.find(entry.group);
    return found == m_groups.end() || found->second.latest == m_droppedRows + std::uint64_t(row);
}

int ExchangeModel::count(int row) const
{
    const Row &entry = m_rows[std::size_t(row)];
    if (!m_folded || entry.group == none || !isGroupHead(row))
        return 1;
    return m_groups.at(entry.group).count;
}

QString ExchangeModel::meaning(int row) const
{
    const Row &entry = m_rows[std::size_t(row)];
    const ExchangeDecoder decoder(DecodeContext::unpacked(entry.context));
    std::string text;
    switch (entry.kind) {
    case Kind::Answered:
    case Kind::Malformed:
    case Kind::Changed:
        text = decoder.exchange(entry.command, entry.reply);
        break;
    case Kind::Unanswered:
    case Kind::Reset:
        text = decoder.unanswered(entry.command);
        break;
    case Kind::Client:
        return entry.note;
    }
    QString meaning = QString::fromStdString(text);
    if (!entry.note.isEmpty())
        meaning += QStringLiteral("; ") + entry.note;
    if (!entry.sent)
        meaning += QStringLiteral("; not sent: the client had gone");
    return meaning;
}

QVariant ExchangeModel::data(const QModelIndex &index, int role) const
{
    if (!index.isValid() || index.row() >= rowCount() || index.column() >= columns)
        return {};
    const int row = index.row();
    const Row &entry = m_rows[std::size_t(row)];
    switch (role) {
    case Qt::DisplayRole:
        switch (index.column()) {
        case TimeColumn:
            return QDateTime::fromMSecsSinceEpoch(entry.msecs)
                    .toString(QStringLiteral("HH:mm:ss.zzz"));
        case KindColumn:
            return kindMark(entry.kind) + QLatin1Char(' ') + kindName(entry.kind);
        case CountColumn: {
            const int times = count(row);
            return times > 1 ? QString::number(times) : QString();
        }
        case CommandColumn:
            return displayText(entry.command);
        case ReplyColumn:
            return displayText(entry.reply);
        case MeaningColumn:
            return meaning(row);
        }
        return {};
    case Qt::ToolTipRole:
        if (index.column() == TimeColumn)
            return exchangeTimeText(QDateTime::fromMSecsSinceEpoch(entry.msecs));
        return meaning(row);
    case Qt::ForegroundRole:
        if (const QColor colour = kindColour(entry.kind); colour.isValid())
            return colour;
        return {};
    case Qt::TextAlignmentRole:
        if (index.column() == CountColumn)
            return QVariant::fromValue(Qt::AlignRight | Qt::AlignVCenter);
        return {};
    case kindRole:
        return int(entry.kind);
    case groupHeadRole:
        return isGroupHead(row);
    case commandByteRole:
        return entry.command.empty() ? -1 : int(static_cast<unsigned char>(entry.command[0]));
    }
    return {};
}

QString ExchangeModel::copyText(int row) const
{
    QStringList cells;
    for (int column = 0; column < columns; ++column) {
        if (column == CountColumn)
            cells << QString::number(count(row));
        else
            cells << data(index(row, column), Qt::DisplayRole).toString();
    }
    return cells.join(QLatin1Char('\t'));
}

int ExchangeModel::firstRowAtOrAfter(qint64 msecsSinceEpoch) const
{
    if (m_rows.empty())
        return -1;
    const auto found = std::partition_point(m_rows.begin(), m_rows.end(), [&](const Row &row) {
        return row.msecs < msecsSinceEpoch;
    });
    if (found == m_rows.end())
        return int(m_rows.size()) - 1;
    return int(found - m_rows.begin());
}

void ExchangeModel::queue(Row row)
{
    // While nobody publishes, the queue keeps what the model would: the newest rows.
    if (m_pending.size() >= m_maxRows)
        m_pending.pop_front();
    m_pending.push_back(std::move(row));
}

void ExchangeModel::appendExchange(const Exchange &exchange)
{
    Row row;
    row.msecs = exchange.msecsSinceEpoch;
    row.command = exchange.command;
    row.reply = exchange.reply;
    row.note = exchange.note;
    row.kind = exchange.note.isEmpty() ? Kind::Answered : Kind::Changed;
    row.context = exchange.context.packed();
    row.sent = exchange.sent;
    queue(std::move(row));
}

void ExchangeModel::appendUnanswered(qint64 msecsSinceEpoch, const Bytes &bytes,
                                     const QString &reason, DecodeContext context)
{
    Row row;
    row.msecs = msecsSinceEpoch;
    row.command = bytes;
    row.note = reason;
    row.kind = Kind::Unanswered;
    row.context = context.packed();
    queue(std::move(row));
}

void ExchangeModel::appendReset(qint64 msecsSinceEpoch, const Bytes &bytes, const QString &reason,
                                DecodeContext context)
{
    Row row;
    row.msecs = msecsSinceEpoch;
    row.command = bytes;
    row.note = reason;
    row.kind = Kind::Reset;
    row.context = context.packed();
    queue(std::move(row));
}

void ExchangeModel::appendClient(qint64 msecsSinceEpoch, const QString &text)
{
    Row row;
    row.msecs = msecsSinceEpoch;
    row.note = text;
    row.kind = Kind::Client;
    queue(std::move(row));
}

std::uint64_t ExchangeModel::joinGroup(std::uint64_t serial)
{
    Row &row = at(serial);
    if (row.kind != Kind::Answered) {
        // Anything else that happens ends the run of repeats: what came before it and what
        // comes after stay apart.
        m_recentHeads.clear();
        return none;
    }
    std::erase_if(m_recentHeads, [&](std::uint64_t latest) { return latest < m_droppedRows; });
    const auto same
            = std::find_if(m_recentHeads.begin(), m_recentHeads.end(),
                           [&](std::uint64_t latest) { return at(latest).command == row.command; });
    if (same == m_recentHeads.end()) {
        if (m_recentHeads.size() == foldReach)
            m_recentHeads.erase(m_recentHeads.begin());
        m_recentHeads.push_back(serial);
        return none;
    }
    const std::uint64_t previous = *same;
    m_recentHeads.erase(same);
    m_recentHeads.push_back(serial);
    Row &last = at(previous);
    if (last.group == none) {
        last.group = previous;
        m_groups[previous] = {previous, 1};
    }
    Group &group = m_groups.at(last.group);
    row.group = last.group;
    group.latest = serial;
    ++group.count;
    return previous;
}

// A group's latest row leaves last, so the row that stands for a group never changes here.
void ExchangeModel::dropFront(std::size_t count)
{
    for (std::size_t i = 0; i < count; ++i) {
        const Row &row = m_rows[i];
        if (row.group == none)
            continue;
        const auto found = m_groups.find(row.group);
        if (found != m_groups.end() && --found->second.count == 0)
            m_groups.erase(found);
    }
    m_rows.erase(m_rows.begin(), m_rows.begin() + std::ptrdiff_t(count));
    m_droppedRows += count;
}

void ExchangeModel::publish()
{
    if (m_pending.empty())
        return;
    const std::size_t incoming = m_pending.size(); // never more than the bound
    if (m_rows.size() + incoming > m_maxRows) {
        const std::size_t excess = m_rows.size() + incoming - m_maxRows;
        beginRemoveRows({}, 0, int(excess) - 1);
        dropFront(excess);
        endRemoveRows();
    }

    const int first = int(m_rows.size());
    std::vector<std::uint64_t> replaced; // rows that stood for their group until now
    beginInsertRows({}, first, first + int(incoming) - 1);
    for (Row &row : m_pending) {
        // Told apart here rather than when queued, so that a closed view decodes nothing.
        if (row.kind == Kind::Answered
            && !ExchangeDecoder(DecodeContext::unpacked(row.context))
                        .commandProblem(row.command)
                        .empty())
            row.kind = Kind::Malformed;
        m_rows.push_back(std::move(row));
        const std::uint64_t previous = joinGroup(m_droppedRows + m_rows.size() - 1);
        if (previous != none)
            replaced.push_back(previous);
    }
    m_pending.clear();
    endInsertRows();

    // A row that no longer stands for its group is hidden when folded; one that arrived in this
    // batch and left it again was never shown.
    for (const std::uint64_t serial : replaced) {
        if (m_folded && serial < m_droppedRows + std::uint64_t(first))
            emit dataChanged(index(int(serial - m_droppedRows), 0),
                             index(int(serial - m_droppedRows), columns - 1));
    }
}

void ExchangeModel::clear()
{
    beginResetModel();
    m_rows.clear();
    m_pending.clear();
    m_groups.clear();
    m_recentHeads.clear();
    m_droppedRows = 0;
    endResetModel();
}

void ExchangeModel::setFolded(bool folded)
{
    if (folded == m_folded)
        return;
    m_folded = folded;
    if (!m_rows.empty())
        emit dataChanged(index(0, 0), index(rowCount() - 1, columns - 1));
}

} // namespace tqx
