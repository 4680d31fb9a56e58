#include "emulation/BufferWatch.h"

namespace tqx {

BufferWatch::Expiry BufferWatch::expiry(std::int64_t nowMs, bool bufferEmpty) const
{
    if (bufferEmpty)
        return Expiry::None;
    if (m_discarding && nowMs - m_lastBytesMs >= quietGapMs)
        return Expiry::UnknownCommandEnded;
    if (m_autoResetAfterMs > 0 && nowMs - m_waitingSinceMs >= m_autoResetAfterMs)
        return Expiry::AutomaticReset;
    return Expiry::None;
}

} // namespace tqx
