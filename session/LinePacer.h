#pragma once

#include <QByteArray>
#include <QObject>
#include <QTimer>

#include <chrono>
#include <deque>
#include <functional>

namespace tqx {

// Sends replies at the serial line's pace: each byte goes to the writer once the line would have
// carried it, one after another, and a reply may wait before its first byte (the hand control's
// bus). Nothing blocks: a timer sends what is due, in the order it was given, so that replies
// never overtake each other.
class LinePacer : public QObject
{
    Q_OBJECT

public:
    using Clock = std::function<std::chrono::nanoseconds()>;
    // Takes bytes that are due; false when the transport failed (the pacer drops the rest then).
    using Writer = std::function<bool(const QByteArray &bytes)>;

    LinePacer(Writer writer, QObject *parent = nullptr);

    // A monotonic clock; tests drive it and call sendDue() themselves.
    void setClock(Clock clock) { m_clock = std::move(clock); }

    // Queues a reply whose first byte starts out no sooner than `delay` from now, and no sooner
    // than the line is free.
    void send(const QByteArray &bytes, std::chrono::milliseconds delay = {});
    // Drops what has not gone out yet (the client left, the port closed).
    void clear();
    bool isIdle() const { return m_queue.empty(); }
    qsizetype pendingBytes() const;

    // Hands the writer every byte that is due by now, and sets the timer for the next one.
    void sendDue();

private:
    struct Reply
    {
        QByteArray bytes;
        qsizetype sent = 0;
        std::chrono::nanoseconds earliestStart;
    };

    std::chrono::nanoseconds now() const { return m_clock(); }
    void schedule();

    Writer m_writer;
    Clock m_clock;
    std::deque<Reply> m_queue;
    // When the byte being carried will have arrived; the next cannot start before.
    std::chrono::nanoseconds m_lineFreeAt {0};
    // When the front reply's next byte is due.
    std::chrono::nanoseconds m_nextDue {0};
    QTimer m_timer;
};

} // namespace tqx
