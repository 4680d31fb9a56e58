#pragma once

// What the round-trip benchmarks share: a client that sends "E" and waits for the 10-byte reply
// on a descriptor (a pseudo-terminal's master end, a socket), and the figures they report.

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <vector>

#include <poll.h>
#include <unistd.h>

namespace roundtrip {

using Clock = std::chrono::steady_clock;

// Plays the client on `fd`; returns each exchange's latency in microseconds.
inline std::vector<double> runClient(int fd, int exchanges)
{
    std::vector<double> latencies;
    latencies.reserve(static_cast<std::size_t>(exchanges));
    char reply[64];
    for (int i = 0; i < exchanges; ++i) {
        const auto start = Clock::now();
        if (::write(fd, "E", 1) != 1)
            break;
        int received = 0;
        while (received < 10) {
            pollfd pending {fd, POLLIN, 0};
            if (::poll(&pending, 1, 5000) <= 0) {
                std::fprintf(stderr, "no reply after %d exchanges\n", i);
                return latencies;
            }
            const ssize_t n = ::read(fd, reply + received, sizeof reply - received);
            if (n <= 0)
                return latencies;
            received += static_cast<int>(n);
        }
        latencies.push_back(
                std::chrono::duration<double, std::micro>(Clock::now() - start).count());
    }
    return latencies;
}

inline double percentile(std::vector<double> values, double fraction)
{
    if (values.empty())
        return 0;
    std::sort(values.begin(), values.end());
    const auto at = static_cast<std::size_t>(fraction * static_cast<double>(values.size() - 1));
    return values[at];
}

inline void report(const char *name, const std::vector<double> &latencies)
{
    std::printf("%-30s n=%zu median %.1f us, p99 %.1f us\n", name, latencies.size(),
                percentile(latencies, 0.5), percentile(latencies, 0.99));
}

} // namespace roundtrip
