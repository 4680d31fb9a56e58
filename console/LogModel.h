#pragma once

#include "emulation/Bytes.h"

#include <QAbstractListModel>

#include <cstdint>
#include <deque>
#include <vector>

namespace tqx {

// One of the console's logs: the most recent lines, shown escaped. Lines are appended to a
// pending batch and reach the view only at publish(), so a burst of exchanges costs the view one
// update instead of one per line.
class LogModel : public QAbstractListModel
{
    Q_OBJECT

public:
    static constexpr std::size_t defaultMaxLines = 100'000;

    explicit LogModel(QObject *parent = nullptr, std::size_t maxLines = defaultMaxLines);

    int rowCount(const QModelIndex &parent = {}) const override;
    QVariant data(const QModelIndex &index, int role) const override;

    // Queues a line; it is shown at the next publish().
    void append(const Bytes &line);
    // Moves the queued lines into the model, dropping the oldest lines beyond the limit.
    void publish();
    // Removes every line, shown and queued.
    void clear();

    // Row of the line with the given index counted since the last clear, or -1 if that line
    // has left the model (or not reached it yet).
    int rowOfLine(std::uint64_t lineIndex) const;

    const Bytes &line(int row) const { return m_lines[static_cast<std::size_t>(row)]; }
    bool hasPending() const { return !m_pending.empty(); }

private:
    std::size_t m_maxLines;
    std::deque<Bytes> m_lines;
    std::vector<Bytes> m_pending;
    std::uint64_t m_droppedLines = 0; // lines that left the top since the last clear
};

} // namespace tqx
