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
// standing still (or drifting at a constant rate, as a mount tracking at other than the sidereal
// rate drifts among the stars), a goto toward a target, a slew at a constant rate, or a guide
// pulse: an extra rate for a while on top of the drift. The position is computed from the time it
// is asked for, so nothing needs to tick.
class AxisMotion
{
public:
    enum class Kind { Still, Goto, Rate, Pulse };

    static AxisMotion still(double position, double driftPerSecond = 0, std::int64_t startMs = 0);
    // `wraps`: the axis goes round (right ascension, azimuth), so the goto takes the shorter way.
    static AxisMotion toTarget(double from, double target, bool wraps, const SlewRates &rates,
                               std::int64_t startMs);
    static AxisMotion atRate(double from, double radiansPerSecond, std::int64_t startMs);
    static AxisMotion pulse(double from, double driftPerSecond, double pulsePerSecond,
                            std::int64_t startMs, std::int64_t endMs);

    Kind kind() const { return m_kind; }
    double positionAt(std::int64_t ms) const;
    // A goto that has not arrived by this moment.
    bool isGotoUnderWayAt(std::int64_t ms) const { return m_kind == Kind::Goto && ms < m_endMs; }
    bool isPulseRunningAt(std::int64_t ms) const { return m_kind == Kind::Pulse && ms < m_endMs; }
    // When a goto arrives or a pulse ends (its start for the other kinds).
    std::int64_t arrivalMs() const { return m_endMs; }
    double target() const { return m_start + m_distance * m_direction; }
    // The rate the axis keeps apart from a pulse: a slew's or a drift's.
    double steadyRate() const { return m_kind == Kind::Goto ? 0 : m_rate; }
    double pulseRate() const { return m_kind == Kind::Pulse ? m_pulseRate : 0; }

private:
    double travelledBy(double seconds) const;

    Kind m_kind = Kind::Still;
    double m_start = 0;
    double m_direction = 1;
    double m_distance = 0; // a goto's distance
    double m_rate = 0; // a slew's or drift's rate
    double m_pulseRate = 0;
    SlewRates m_rates;
    std::int64_t m_startMs = 0;
    std::int64_t m_endMs = 0;
};

} // namespace tqx
