#include "session/EmergencyExit.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <ctime>
#include <mutex>
#include <thread>
#include <vector>

#include <semaphore.h>
#include <unistd.h>

namespace tqx {

namespace {

struct Watchdog
{
    sem_t signals;
    std::atomic<long long> graceMs {3000};
    std::atomic<bool> armed {false};
    std::mutex mutex;
    std::vector<std::string> paths;

    Watchdog() { ::sem_init(&signals, 0, 0); }

    void waitForSignal()
    {
        while (::sem_wait(&signals) != 0 && errno == EINTR) { }
    }

    // Waits out the grace period; a second signal cuts it short.
    void waitOutGrace()
    {
        timespec deadline {};
        ::clock_gettime(CLOCK_REALTIME, &deadline);
        const long long grace = graceMs;
        deadline.tv_sec += static_cast<time_t>(grace / 1000);
        deadline.tv_nsec += static_cast<long>((grace % 1000) * 1000000);
        if (deadline.tv_nsec >= 1000000000) {
            deadline.tv_sec += 1;
            deadline.tv_nsec -= 1000000000;
        }
        while (::sem_timedwait(&signals, &deadline) != 0 && errno == EINTR) { }
    }

    [[noreturn]] void run()
    {
        for (;;) {
            waitForSignal();
            if (!armed)
                continue;
            waitOutGrace();
            if (armed)
                break;
        }
        {
            std::lock_guard lock(mutex);
            for (const std::string &path : paths)
                ::unlink(path.c_str());
        }
        ::_exit(0);
    }
};

// Never destroyed: the watchdog thread may use it while the process exits.
Watchdog &watchdog()
{
    static Watchdog *instance = new Watchdog;
    return *instance;
}

} // namespace

void EmergencyExit::arm(std::chrono::milliseconds grace)
{
    Watchdog &dog = watchdog();
    dog.graceMs = grace.count();
    dog.armed = true;
    static std::once_flag started;
    std::call_once(started, [&dog] { std::thread([&dog] { dog.run(); }).detach(); });
}

void EmergencyExit::disarm()
{
    Watchdog &dog = watchdog();
    dog.armed = false;
    static_cast<void>(::sem_post(&dog.signals)); // ends a grace period that is running
}

void EmergencyExit::signalReceived()
{
    // The handler is installed only after arm() has made the watchdog, so nothing is created here.
    static_cast<void>(::sem_post(&watchdog().signals));
}

void EmergencyExit::removeOnExit(const std::string &path)
{
    Watchdog &dog = watchdog();
    std::lock_guard lock(dog.mutex);
    dog.paths.push_back(path);
}

void EmergencyExit::forget(const std::string &path)
{
    Watchdog &dog = watchdog();
    std::lock_guard lock(dog.mutex);
    dog.paths.erase(std::remove(dog.paths.begin(), dog.paths.end(), path), dog.paths.end());
}

} // namespace tqx
