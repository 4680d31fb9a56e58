#include "emulation/AxisMotion.h"

#include "emulation/Angles.h"

#include <algorithm>
#include <cmath>
#include <numbers>

namespace tqx {

namespace {

// The signed shorter way from one angle to another on an axis that goes round.
double shorterWay(double from, double to)
{
    double difference = std::remainder(to - from, fullTurn);
    if (difference <= -std::numbers::pi)
        difference += fullTurn;
    return difference;
}

} // namespace

AxisMotion AxisMotion::still(double position, double driftPerSecond, std::int64_t startMs)
{
    AxisMotion motion;
    motion.m_start = position;
    motion.m_rate = driftPerSecond;
    motion.m_startMs = startMs;
    motion.m_endMs = startMs;
    return motion;
}

AxisMotion AxisMotion::toTarget(double from, double target, bool wraps, const SlewRates &rates,
                                std::int64_t startMs)
{
    const double difference = wraps ? shorterWay(from, target) : target - from;
    AxisMotion motion;
    motion.m_kind = Kind::Goto;
    motion.m_start = from;
    motion.m_direction = difference < 0 ? -1 : 1;
    motion.m_distance = std::abs(difference);
    motion.m_rates = rates;
    motion.m_startMs = startMs;
    const double slowPart = std::min(motion.m_distance, rates.approach);
    const double seconds = (motion.m_distance - slowPart) / rates.fast + slowPart / rates.slow;
    motion.m_endMs = startMs + static_cast<std::int64_t>(std::ceil(seconds * 1000));
    return motion;
}

AxisMotion AxisMotion::atRate(double from, double radiansPerSecond, std::int64_t startMs)
{
    AxisMotion motion;
    motion.m_kind = Kind::Rate;
    motion.m_start = from;
    motion.m_rate = radiansPerSecond;
    motion.m_startMs = startMs;
    motion.m_endMs = startMs;
    return motion;
}

AxisMotion AxisMotion::pulse(double from, double driftPerSecond, double pulsePerSecond,
                             std::int64_t startMs, std::int64_t endMs)
{
    AxisMotion motion;
    motion.m_kind = Kind::Pulse;
    motion.m_start = from;
    motion.m_rate = driftPerSecond;
    motion.m_pulseRate = pulsePerSecond;
    motion.m_startMs = startMs;
    motion.m_endMs = endMs;
    return motion;
}

double AxisMotion::positionAt(std::int64_t ms) const
{
    const double seconds = static_cast<double>(ms - m_startMs) / 1000;
    switch (m_kind) {
    case Kind::Still:
    case Kind::Rate:
        return m_start + m_rate * seconds;
    case Kind::Pulse: {
        const double pulseSeconds
                = static_cast<double>(std::clamp(ms, m_startMs, m_endMs) - m_startMs) / 1000;
        return m_start + m_rate * seconds + m_pulseRate * pulseSeconds;
    }
    case Kind::Goto:
        if (ms >= m_endMs)
            return target();
        return m_start + m_direction * travelledBy(std::max(seconds, 0.0));
    }
    return m_start;
}

double AxisMotion::travelledBy(double seconds) const
{
    const double fastPart = m_distance - std::min(m_distance, m_rates.approach);
    const double fastSeconds = fastPart / m_rates.fast;
    const double travelled = seconds <= fastSeconds
            ? seconds * m_rates.fast
            : fastPart + (seconds - fastSeconds) * m_rates.slow;
    return std::min(travelled, m_distance);
}

} // namespace tqx
