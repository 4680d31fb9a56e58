#include "emulation/MountClock.h"

#include <cmath>
#include <utility>

namespace tqx {

MountClock::MountClock(Clocks::Source realSteadyMs, std::int64_t startUtcMs)
    : m_realSteadyMs(std::move(realSteadyMs))
    , m_anchorRealMs(m_realSteadyMs())
    // Starts where the computer's monotonic clock is, so that its times read like the ones the
    // emulation took from that clock before it had one of its own.
    , m_anchorMountMs(m_anchorRealMs)
    , m_utcMinusSteadyMs(startUtcMs - m_anchorMountMs)
{
}

std::int64_t MountClock::steadyMs() const
{
    const std::int64_t realElapsed = m_realSteadyMs() - m_anchorRealMs;
    if (m_rate == 1)
        return m_anchorMountMs + realElapsed;
    return m_anchorMountMs + std::llround(double(realElapsed) * m_rate);
}

std::int64_t MountClock::utcMs() const { return steadyMs() + m_utcMinusSteadyMs; }

Clocks MountClock::clocks() const
{
    Clocks clocks;
    clocks.steadyMs = [this] { return steadyMs(); };
    clocks.utcMs = [this] { return utcMs(); };
    return clocks;
}

void MountClock::anchor()
{
    m_anchorMountMs = steadyMs();
    m_anchorRealMs = m_realSteadyMs();
}

bool MountClock::setRate(double rate)
{
    if (!(rate >= 0 && rate <= maxRate))
        return false;
    anchor();
    m_rate = rate;
    if (rate > 0)
        m_resumeRate = rate;
    return true;
}

void MountClock::pause()
{
    if (m_rate > 0)
        setRate(0);
}

void MountClock::resume()
{
    if (m_rate == 0)
        setRate(m_resumeRate);
}

bool MountClock::step(std::int64_t ms)
{
    if (ms < 0)
        return false;
    m_anchorMountMs += ms;
    return true;
}

void MountClock::setUtc(std::int64_t utcMs) { m_utcMinusSteadyMs = utcMs - steadyMs(); }

} // namespace tqx
