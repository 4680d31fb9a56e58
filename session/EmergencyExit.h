#pragma once

#include <chrono>
#include <string>

namespace tqx {

// The last resort after a termination signal: when the program has not ended by itself within a
// grace period (its event loop busy or blocked), a watchdog thread removes the files the program
// asked to have removed (a published link, its lock) and ends the process with exit code 0. A
// second signal ends it at once. Plain C++ so that it works whatever state the rest is in.
class EmergencyExit
{
public:
    // Starts the watchdog, once; later calls only change the grace period.
    static void arm(std::chrono::milliseconds grace);
    // The program ends by itself from here on (or goes on, in a test): signals received so far
    // and later ones are no longer acted on.
    static void disarm();
    // Tells the watchdog that a termination signal arrived. Safe in a signal handler installed
    // after arm().
    static void signalReceived();

    // Files to remove if the watchdog ends the process.
    static void removeOnExit(const std::string &path);
    static void forget(const std::string &path);
};

} // namespace tqx
