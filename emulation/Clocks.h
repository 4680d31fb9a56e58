#pragma once

#include <cstdint>
#include <ctime>
#include <functional>

namespace tqx {

// The two clocks the emulation reads. Both are plain functions so that tests can drive them.
struct Clocks
{
    using Source = std::function<std::int64_t()>;

    // Milliseconds of a monotonic clock: quiet gaps, automatic resets, and the hand control's
    // own clock running on from the moment a client set it.
    Source steadyMs = steadyMilliseconds;
    // Milliseconds since 1970-01-01 00:00 UTC: the date and time the hand control reports until
    // a client sets its clock.
    Source utcMs = utcMilliseconds;

    static std::int64_t steadyMilliseconds();
    static std::int64_t utcMilliseconds();
    // The system's time as seconds and nanoseconds since 1970, in milliseconds: good for
    // hundreds of millions of years either way, where a 64-bit count of nanoseconds ends in
    // April 2262.
    static std::int64_t millisecondsOf(const std::timespec &time);
};

} // namespace tqx
