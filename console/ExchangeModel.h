#pragma once

#include "console/LogModel.h"
#include "emulation/Bytes.h"
#include "emulation/ExchangeDecoder.h"

#include <QAbstractTableModel>
#include <QColor>
#include <QString>
#include <QtGlobal>

#include <cstdint>
#include <deque>
#include <limits>
#include <unordered_map>
#include <vector>

namespace tqx {

struct Exchange;

// What happened on the line, one row per event: every answered command with its reply, and what
// the console's two logs cannot show (bytes thrown away, a blocked buffer's reset, clients coming
// and going, a reply a fault changed, a goto with a bad hex digit that was acknowledged). Rows are
// queued as they come and reach the model only at publish(), which the exchange view calls while it
// is shown; while it is closed, queuing is all an event costs, and the queue keeps only as many
// rows as the model would. Meanings are worked out when a row is shown, never when it is queued.
//
// Repeated queries (a client polling "E" and "L" during a goto) form groups: an answered command
// joins the group of the same command among the last few it follows, as long as nothing else
// happened in between. Folded, a group shows as its latest row, with the count, so that the rows
// stay in the order of their times.
class ExchangeModel : public QAbstractTableModel
{
    Q_OBJECT

public:
    enum class Kind : std::uint8_t {
        Answered,
        // answered, though its position is malformed (a bad hex digit), as the hand control does
        Malformed,
        Changed, // answered, the reply changed on its way by a fault or another reply stage
        Unanswered, // thrown away: an unknown command, a bad parameter, a silent line
        Reset, // a blocked buffer emptied, automatically or by the Reset button
        Client, // a client came, left, was refused, or what its transport says of it
    };
    static constexpr int kindCount = 6;
    enum Column { TimeColumn, KindColumn, CountColumn, CommandColumn, ReplyColumn, MeaningColumn };
    static constexpr int columns = 6;
    // The row's Kind, as an int.
    static constexpr int kindRole = Qt::UserRole + 1;
    // True for a row a folded view shows: the latest of its group, or a row of no group.
    static constexpr int groupHeadRole = Qt::UserRole + 2;
    // The first byte of the row's command, as an int; -1 for a row without one.
    static constexpr int commandByteRole = Qt::UserRole + 3;
    // How many answered commands apart from the group's latest a repeat may follow and still
    // join it: enough for a client that polls position, goto state and time in turn.
    static constexpr std::size_t foldReach = 4;

    // The most rows kept: the newest, as many as a console log keeps.
    explicit ExchangeModel(QObject *parent = nullptr,
                           std::size_t maxRows = LogModel::defaultMaxLines);

    static QString kindName(Kind kind);
    // A sign that tells the kind apart without its colour.
    static QString kindMark(Kind kind);
    // The kind's text colour; invalid for answered commands, which keep the view's own.
    static QColor kindColour(Kind kind);

    int rowCount(const QModelIndex &parent = {}) const override;
    int columnCount(const QModelIndex &parent = {}) const override;
    QVariant data(const QModelIndex &index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

    // Queues a row; the model shows it at the next publish().
    void appendExchange(const Exchange &exchange);
    void appendUnanswered(qint64 msecsSinceEpoch, const Bytes &bytes, const QString &reason,
                          DecodeContext context);
    void appendReset(qint64 msecsSinceEpoch, const Bytes &bytes, const QString &reason,
                     DecodeContext context);
    void appendClient(qint64 msecsSinceEpoch, const QString &text);
    // Moves the queued rows in, dropping the oldest beyond the bound.
    void publish();
    bool hasPending() const { return !m_pending.empty(); }
    void clear();

    // Folded, a group's first row stands for the whole group (see above).
    void setFolded(bool folded);
    bool isFolded() const { return m_folded; }

    Kind kind(int row) const { return m_rows[std::size_t(row)].kind; }
    qint64 msecsSinceEpoch(int row) const { return m_rows[std::size_t(row)].msecs; }
    // The answered commands the row stands for: its group's size while folded, 1 otherwise.
    int count(int row) const;
    QString meaning(int row) const;
    // Every column, tab-separated, as copy takes the row.
    QString copyText(int row) const;
    // The first row at or after the time, or the last row when every row is older; -1 if none.
    int firstRowAtOrAfter(qint64 msecsSinceEpoch) const;
    std::size_t maxRows() const { return m_maxRows; }

private:
    static constexpr std::uint64_t none = std::numeric_limits<std::uint64_t>::max();
    struct Row
    {
        qint64 msecs = 0;
        Bytes command;
        Bytes reply;
        QString note; // a fault's note, why bytes were thrown away, what a client did
        Kind kind = Kind::Answered;
        std::uint8_t context = 0; // DecodeContext::packed()
        bool sent = true;
        // The group's first row ever, counted since the last clear.
        std::uint64_t group = none;
    };
    struct Group
    {
        std::uint64_t latest; // counted since the last clear
        int count; // of its rows still in the model
    };

    void queue(Row row);
    const Row &at(std::uint64_t serial) const
    {
        return m_rows[std::size_t(serial - m_droppedRows)];
    }
    Row &at(std::uint64_t serial) { return m_rows[std::size_t(serial - m_droppedRows)]; }
    bool isGroupHead(int row) const;
    // Puts a row that has just arrived into a group; the row that stood for the group until
    // then, or `none`.
    std::uint64_t joinGroup(std::uint64_t serial);
    void dropFront(std::size_t count);

    std::size_t m_maxRows;
    std::deque<Row> m_rows;
    std::deque<Row> m_pending;
    std::uint64_t m_droppedRows = 0; // rows that left the top since the last clear
    std::unordered_map<std::uint64_t, Group> m_groups; // by their first row ever
    // The latest rows of the groups new repeats may join, the most recent last.
    std::vector<std::uint64_t> m_recentHeads;
    bool m_folded = false;
};

} // namespace tqx
