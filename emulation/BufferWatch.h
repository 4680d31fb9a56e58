#pragma once

#include <cstdint>

namespace tqx {

// Decides when bytes that will never be answered leave the command input buffer: the bytes of an
// unknown command once the line has been quiet for a short gap (so that its payload is never
// taken for commands), and any buffer that has stayed blocked for the automatic reset time.
// It only keeps times; the interpreter asks it at each receive event and at each poll.
class BufferWatch
{
public:
    enum class Expiry { None, UnknownCommandEnded, AutomaticReset };

    // Long enough for the bytes of one write to arrive (a byte takes about 1 ms at 9600 bit/s,
    // and adapters deliver in packets), far shorter than the 2-5 s clients wait for a reply.
    static constexpr std::int64_t quietGapMs = 100;

    // 0: never.
    void setAutoResetAfter(std::int64_t ms) { m_autoResetAfterMs = ms < 0 ? 0 : ms; }
    std::int64_t autoResetAfter() const { return m_autoResetAfterMs; }

    void startDiscarding() { m_discarding = true; }
    bool discarding() const { return m_discarding; }

    // Bytes arrived at `nowMs`: a discard goes on until the line has been quiet after them.
    void bytesArrived(std::int64_t nowMs) { m_lastBytesMs = nowMs; }
    // The buffer's first byte arrived at `nowMs`: it has waited for an answer since then.
    void waitingSince(std::int64_t nowMs) { m_waitingSinceMs = nowMs; }
    // The buffer was emptied.
    void cleared() { m_discarding = false; }

    Expiry expiry(std::int64_t nowMs, bool bufferEmpty) const;

private:
    bool m_discarding = false;
    std::int64_t m_autoResetAfterMs = 0;
    std::int64_t m_lastBytesMs = 0;
    std::int64_t m_waitingSinceMs = 0;
};

} // namespace tqx
