#include "session/LinePacer.h"

#include "session/LineTiming.h"

#include <algorithm>

namespace tqx {

using std::chrono::milliseconds;
using std::chrono::nanoseconds;

LinePacer::LinePacer(Writer writer, QObject *parent)
    : QObject(parent)
    , m_writer(std::move(writer))
    , m_clock([] { return std::chrono::steady_clock::now().time_since_epoch(); })
{
    m_timer.setSingleShot(true);
    // A coarse timer would bunch the bytes up into the few-millisecond steps a client cannot
    // tell from no pacing at all.
    m_timer.setTimerType(Qt::PreciseTimer);
    connect(&m_timer, &QTimer::timeout, this, &LinePacer::sendDue);
}

void LinePacer::send(const QByteArray &bytes, milliseconds delay)
{
    if (bytes.isEmpty())
        return;
    const bool wasIdle = m_queue.empty();
    m_queue.push_back({bytes, 0, now() + delay});
    if (!wasIdle)
        return;
    // A byte is due once the line has carried all of it.
    m_nextDue = std::max(m_queue.front().earliestStart, m_lineFreeAt) + SerialLine::byteTime;
    schedule();
}

void LinePacer::clear()
{
    m_queue.clear();
    m_timer.stop();
}

qsizetype LinePacer::pendingBytes() const
{
    qsizetype pending = 0;
    for (const Reply &reply : m_queue)
        pending += reply.bytes.size() - reply.sent;
    return pending;
}

void LinePacer::sendDue()
{
    const nanoseconds time = now();
    QByteArray due;
    while (!m_queue.empty() && m_nextDue <= time) {
        Reply &front = m_queue.front();
        due.append(front.bytes.at(front.sent++));
        m_lineFreeAt = m_nextDue;
        if (front.sent == front.bytes.size()) {
            m_queue.pop_front();
            if (m_queue.empty())
                break;
        }
        m_nextDue = std::max(m_queue.front().earliestStart, m_lineFreeAt) + SerialLine::byteTime;
    }
    if (!due.isEmpty() && !m_writer(due)) {
        clear();
        return;
    }
    schedule();
}

void LinePacer::schedule()
{
    if (m_queue.empty()) {
        m_timer.stop();
        return;
    }
    const nanoseconds left = std::max(m_nextDue - now(), nanoseconds(0));
    m_timer.start(std::chrono::ceil<milliseconds>(left));
}

} // namespace tqx
