#include "emulation/Clocks.h"

#include <chrono>

namespace tqx {

// steady_clock counts nanoseconds too, but from the computer's start, which it will not reach
// the end of.
std::int64_t Clocks::steadyMilliseconds()
{
    using namespace std::chrono;
    return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}

// Not system_clock: on Linux its time_point is a 64-bit count of nanoseconds, which wraps to 1677
// when the computer's clock reaches 2262-04-11 23:47:16 UTC.
std::int64_t Clocks::utcMilliseconds()
{
    std::timespec now {};
    std::timespec_get(&now, TIME_UTC);
    return millisecondsOf(now);
}

std::int64_t Clocks::millisecondsOf(const std::timespec &time)
{
    // tv_nsec is always 0 to 999'999'999, also before 1970, so this rounds toward the past.
    return static_cast<std::int64_t>(time.tv_sec) * 1000
            + static_cast<std::int64_t>(time.tv_nsec) / 1'000'000;
}

} // namespace tqx
