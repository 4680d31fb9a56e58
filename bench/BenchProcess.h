#pragma once

// What the benchmarks that start the program as a process of its own share: keeping it and
// its client on cores of their own, and reading a reply whole.

#include <cstddef>

#include <poll.h>
#include <sched.h>
#include <sys/types.h>
#include <unistd.h>

namespace benchprocess {

// Left to the scheduler, the same program measures 28 or 65 us a round trip.
inline void pinToCore(pid_t pid, int core)
{
    cpu_set_t set;
    CPU_ZERO(&set);
    CPU_SET(core, &set);
    sched_setaffinity(pid, sizeof set, &set); // a machine with one core runs both on it
}

// Reads `size` bytes, waiting up to 10 s for each part; false when they do not come.
inline bool readFully(int fd, char *buffer, std::size_t size)
{
    std::size_t done = 0;
    while (done < size) {
        pollfd ready {fd, POLLIN, 0};
        if (::poll(&ready, 1, 10000) <= 0)
            return false;
        const ssize_t n = ::read(fd, buffer + done, size - done);
        if (n <= 0)
            return false;
        done += static_cast<std::size_t>(n);
    }
    return true;
}

} // namespace benchprocess
