#pragma once

#include "emulation/Bytes.h"
#include "emulation/ExchangeDecoder.h"

#include <QAbstractListModel>
#include <QColor>
#include <QtGlobal>

#include <cstdint>
#include <deque>
#include <unordered_map>
#include <vector>

namespace tqx {

// One of the console's logs: the most recent lines, shown escaped. Lines are appended to a
// pending batch and reach the view only at publish(), so a burst of exchanges costs the view one
// update instead of one per line. A line's tooltip says what it means; the meaning is worked out
// only when a tooltip asks, so logging an exchange costs no decoding.
class LogModel : public QAbstractListModel
{
    Q_OBJECT

public:
    static constexpr std::size_t defaultMaxLines = 100'000;
    // The text colour of a reply the reply stages changed (a fault, for a test of a client), so
    // that it stands out from the replies the client got as they were.
    static QColor changedReplyColour();

    explicit LogModel(QObject *parent = nullptr, std::size_t maxLines = defaultMaxLines);

    int rowCount(const QModelIndex &parent = {}) const override;
    QVariant data(const QModelIndex &index, int role) const override;

    // Queues a line; it is shown at the next publish(). A line without a context has its bytes
    // as its tooltip.
    void append(const Bytes &line);
    // A command, read in the context it was answered in, at the time it was answered.
    void appendCommand(const Bytes &command, DecodeContext context, qint64 msecsSinceEpoch = 0);
    // A reply, read as the answer to its command; `note` says what the reply stages did to it.
    void appendReply(const Bytes &reply, const Bytes &command, DecodeContext context,
                     const QString &note = {}, qint64 msecsSinceEpoch = 0);
    // Moves the queued lines into the model, dropping the oldest lines beyond the limit.
    void publish();
    // Removes every line, shown and queued.
    void clear();

    // Row of the line with the given index counted since the last clear, or -1 if that line
    // has left the model (or not reached it yet).
    int rowOfLine(std::uint64_t lineIndex) const;

    const Bytes &line(int row) const { return m_lines[static_cast<std::size_t>(row)].bytes; }
    // What the line means, in plain words; empty for a line appended without a context.
    QString meaning(int row) const;
    // What the reply stages did to the line's reply; empty for every other line.
    QString note(int row) const;
    bool hasPending() const { return !m_pending.empty(); }
    // When the line's exchange was answered; 0 for a line appended without a time.
    qint64 msecsSinceEpoch(int row) const { return m_lines[static_cast<std::size_t>(row)].msecs; }
    // The line as copy takes it: its time, its bytes and what they mean, tab-separated.
    QString copyText(int row) const;

private:
    enum class Kind : std::uint8_t { Plain, Command, Reply };
    struct Line
    {
        Bytes bytes;
        Bytes command; // a reply's command
        Kind kind = Kind::Plain;
        std::uint8_t context = 0; // DecodeContext::packed()
        // The key of a reply's note in m_notes, 0 for none. Notes are rare (reply stages are
        // for tests of clients), so they are kept aside and a line stays the size it was.
        std::uint32_t noteKey = 0;
        qint64 msecs = 0;
    };
    static_assert(sizeof(Line) <= 2 * sizeof(Bytes) + 16, "a line without a note costs no more");

    // Forgets the notes of the lines in [first, last), which leave the log.
    template<typename Iterator>
    void dropNotes(Iterator first, Iterator last);

    std::size_t m_maxLines;
    std::deque<Line> m_lines;
    std::vector<Line> m_pending;
    std::uint64_t m_droppedLines = 0; // lines that left the top since the last clear
    std::unordered_map<std::uint32_t, QString> m_notes;
    std::uint32_t m_lastNoteKey = 0;
};

} // namespace tqx
