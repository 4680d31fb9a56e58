#pragma once

#include "emulation/Clocks.h"

#include <cstdint>

namespace tqx {

// The emulated hand control's own time: what its motors, its tracking, its sidereal time and its
// clock run on. It keeps the computer's pace by default, so that the mount behaves as the real
// one; a test may instead start it at a chosen moment, run it faster or slower, pause it, step it
// on or set it, so that a night of tracking takes seconds and two runs give the same bytes. The
// serial line's own timing (quiet gaps, pacing) is not the mount's and keeps the computer's.
//
// Its monotonic time never goes back: setting the date and time moves the mount's calendar, not
// the motors' time line, so that a goto under way goes on from where it is.
class MountClock
{
public:
    // The fastest the clock may run: a week in a minute.
    static constexpr double maxRate = 10'000;

    // Runs from `startUtcMs` (milliseconds since 1970-01-01 UTC) on, at the pace of
    // `realSteadyMs`.
    explicit MountClock(Clocks::Source realSteadyMs = Clocks::steadyMilliseconds,
                        std::int64_t startUtcMs = Clocks::utcMilliseconds());

    // The mount's monotonic milliseconds and its date and time, as the emulation reads them.
    std::int64_t steadyMs() const;
    std::int64_t utcMs() const;
    // Both, bound to this clock, for the hand control.
    Clocks clocks() const;

    // Mount milliseconds a real millisecond: 1 keeps the computer's pace, 0 is paused. A rate
    // outside 0 to maxRate is refused (false, nothing changed).
    bool setRate(double rate);
    double rate() const { return m_rate; }
    bool isPaused() const { return m_rate == 0; }
    // Stops the clock, and starts it again at the rate it had (1 if it never ran).
    void pause();
    void resume();
    // Moves the clock on by `ms` at once, as if that much time had passed; negative steps are
    // refused (false).
    bool step(std::int64_t ms);
    // The mount's date and time from now on.
    void setUtc(std::int64_t utcMs);

private:
    void anchor();

    Clocks::Source m_realSteadyMs;
    std::int64_t m_anchorRealMs = 0;
    std::int64_t m_anchorMountMs = 0;
    std::int64_t m_utcMinusSteadyMs = 0;
    double m_rate = 1;
    double m_resumeRate = 1;
};

} // namespace tqx
