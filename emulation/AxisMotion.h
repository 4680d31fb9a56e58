#pragma once

#include <cstdint>

namespace tqx {

// How fast a goto moves an axis: at the slew rate until it is close to its target, then slowly
// for the final approach, as a mount's motors do to arrive without overshooting.
struct SlewRates
{
    double fast = 0; // radians per second
    double slow = 0; // radians per second, never more than fast
    double approach = 0; // radians: the distance covered at the slow rate
};

// The motion of one axis of a mount, in radians, from a reference moment on the steady clock:
// standing still, a goto toward a target, or a slew at a constant rate. The position is computed
// from the time it is asked for, so nothing needs to tick.
class AxisMotion
{
public:
    enum class Kind { Still, Goto, Rate };

    static AxisMotion still(double position);
    // `wraps`: the axis goes round (right ascension, azimuth), so the goto takes the shorter way.
    static AxisMotion toTarget(double from, double target, bool wraps, const SlewRates &rates,
                               std::int64_t startMs);
    static AxisMotion atRate(double from, double radiansPerSecond, std::int64_t startMs);

    Kind kind() const { return m_kind; }
    double positionAt(std::int64_t ms) const;
    // A goto that has not arrived by this moment.
    bool isGotoUnderWayAt(std::int64_t ms) const { return m_kind == Kind::Goto && ms < m_endMs; }
    // When a goto arrives (its start for the other kinds).
    std::int64_t arrivalMs() const { return m_endMs; }
    double target() const { return m_start + m_distance * m_direction; }

private:
    double travelledBy(double seconds) const;

    Kind m_kind = Kind::Still;
    double m_start = 0;
    double m_direction = 1;
    double m_distance = 0; // a goto's distance; a slew's rate
    SlewRates m_rates;
    std::int64_t m_startMs = 0;
    std::int64_t m_endMs = 0;
};

} // namespace tqx
