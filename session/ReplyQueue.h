#pragma once

#include <QByteArray>

#include <cstddef>
#include <functional>

#include <sys/types.h>

namespace tqx {

// The replies waiting for a client that reads them slower than it sends commands. A serial line
// is paced by its baud rate: a client that does not read its replies stalls the line, and the hand
// control stops taking commands. So does this queue: reading from the client stops while more than
// pauseReadingAt bytes wait, and resumes once they have drained below resumeReadingAt. Reads are
// at most readChunk bytes, so what the queue holds stays under pauseReadingAt plus the replies to
// one read (the longest reply is 18 bytes for a 1-byte command): about 140 KiB.
class ReplyQueue
{
public:
    static constexpr qsizetype readChunk = 4096;
    static constexpr qsizetype pauseReadingAt = 64 * 1024;
    static constexpr qsizetype resumeReadingAt = 16 * 1024;

    // Writes up to `size` bytes, as write(2) does: the count written, or -1 with errno set.
    using Writer = std::function<ssize_t(const char *data, std::size_t size)>;
    enum class Flushed { All, Blocked, Failed };

    void append(const QByteArray &bytes);
    // Hands the writer as much as it takes, in order; Failed leaves errno from the writer.
    Flushed flush(const Writer &writer);
    // Drops what waits and gives its memory back; returns how many bytes were dropped.
    qsizetype clear();

    qsizetype size() const { return m_bytes.size() - m_sent; }
    bool isEmpty() const { return size() == 0; }
    bool readingPaused() const { return m_readingPaused; }

private:
    void updatePause();

    QByteArray m_bytes;
    qsizetype m_sent = 0; // the front of m_bytes already written
    bool m_readingPaused = false;
};

} // namespace tqx
