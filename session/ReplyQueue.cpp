#include "session/ReplyQueue.h"

#include <cerrno>

namespace tqx {

void ReplyQueue::append(const QByteArray &bytes)
{
    m_bytes.append(bytes);
    updatePause();
}

ReplyQueue::Flushed ReplyQueue::flush(const Writer &writer)
{
    Flushed result = Flushed::All;
    while (m_sent < m_bytes.size()) {
        const ssize_t n = writer(m_bytes.constData() + m_sent,
                                 static_cast<std::size_t>(m_bytes.size() - m_sent));
        if (n > 0) {
            m_sent += n;
            continue;
        }
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
            result = Flushed::Blocked;
            break;
        }
        if (n == 0)
            errno = EIO;
        result = Flushed::Failed;
        break;
    }
    if (m_sent == m_bytes.size()) {
        m_bytes.clear();
        m_sent = 0;
    } else if (m_sent >= resumeReadingAt) {
        // Moving the rest forward now and then keeps the buffer from growing at the front.
        m_bytes.remove(0, m_sent);
        m_sent = 0;
    }
    updatePause();
    return result;
}

qsizetype ReplyQueue::clear()
{
    const qsizetype dropped = size();
    m_bytes = QByteArray();
    m_sent = 0;
    m_readingPaused = false;
    return dropped;
}

void ReplyQueue::updatePause()
{
    if (size() >= pauseReadingAt)
        m_readingPaused = true;
    else if (size() <= resumeReadingAt)
        m_readingPaused = false;
}

} // namespace tqx
