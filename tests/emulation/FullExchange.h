#pragma once

#include "Exchange.h"

#include <cstdint>

// An interpreter in the full profile on clocks the test drives. The wall clock starts at
// 2024-11-12 21:45:30 UTC.
struct FullExchange : Exchange
{
    static constexpr std::int64_t startUtcMs = 1'731'447'930'000;

    // "E" and "e" until the mount first moves: the start star's J2000 position carried to the
    // date of the start time, as clients working in coordinates of the date read it.
    static constexpr const char *startE = "314C,0BC4#";
    static constexpr const char *starte = "314CD100,0BC46600#";

    std::int64_t steadyMs = 5'000'000;
    std::int64_t utcMs = startUtcMs;

    explicit FullExchange(const tqx::HandControlSettings &settings = {})
    {
        interpreter.setClock([this] { return steadyMs; });
        interpreter.setWallClock([this] { return utcMs; });
        interpreter.setProfile(tqx::Profile::Full);
        interpreter.setHandControlSettings(settings);
    }

    // Lets time pass without bytes arriving, polling as the session does.
    void wait(std::int64_t ms)
    {
        steadyMs += ms;
        utcMs += ms;
        interpreter.poll();
    }
};
