#include "FullExchange.h"
#include "SkyTesting.h"
#include "emulation/MountClock.h"

#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <limits>
#include <ostream>
#include <string>
#include <vector>

using namespace tqx;
using namespace skytest;

namespace {

constexpr std::int64_t startUtc = FullExchange::startUtcMs;

// A mount clock on a real clock the test moves.
struct SteppedClock
{
    std::int64_t realMs = 1'000'000;
    MountClock clock {[this] { return realMs; }, startUtc};
};

struct ClockCase
{
    std::string name;
    std::function<void(SteppedClock &)> script;
    std::int64_t mountElapsedMs; // since the start, on the mount's time line
    std::int64_t utcMs;
    double rate;
};

void PrintTo(const ClockCase &clockCase, std::ostream *out) { *out << clockCase.name; }

class MountClockScripts : public testing::TestWithParam<ClockCase>
{
};

TEST_P(MountClockScripts, followTheScript)
{
    SteppedClock x;
    const std::int64_t startSteady = x.clock.steadyMs();
    GetParam().script(x);
    EXPECT_EQ(x.clock.steadyMs() - startSteady, GetParam().mountElapsedMs);
    EXPECT_EQ(x.clock.utcMs(), GetParam().utcMs);
    EXPECT_EQ(x.clock.rate(), GetParam().rate);
    EXPECT_EQ(x.clock.isPaused(), GetParam().rate == 0);
}

INSTANTIATE_TEST_SUITE_P(
        MountClock, MountClockScripts,
        testing::Values(ClockCase {"realTime", [](SteppedClock &x) { x.realMs += 1500; }, 1500,
                                   startUtc + 1500, 1},
                        ClockCase {"tenTimesFaster",
                                   [](SteppedClock &x) {
                                       x.clock.setRate(10);
                                       x.realMs += 1500;
                                   },
                                   15'000, startUtc + 15'000, 10},
                        ClockCase {"halfTheSpeedRounds",
                                   [](SteppedClock &x) {
                                       x.clock.setRate(0.5);
                                       x.realMs += 3;
                                   },
                                   2, startUtc + 2, 0.5},
                        ClockCase {"rateChangesKeepWhatHasPassed",
                                   [](SteppedClock &x) {
                                       x.realMs += 1000;
                                       x.clock.setRate(100);
                                       x.realMs += 1000;
                                       x.clock.setRate(1);
                                       x.realMs += 1000;
                                   },
                                   102'000, startUtc + 102'000, 1},
                        ClockCase {"paused",
                                   [](SteppedClock &x) {
                                       x.clock.pause();
                                       x.realMs += 60'000;
                                   },
                                   0, startUtc, 0},
                        ClockCase {"resumedAtTheRateItHad",
                                   [](SteppedClock &x) {
                                       x.clock.setRate(10);
                                       x.clock.pause();
                                       x.realMs += 60'000;
                                       x.clock.resume();
                                       x.realMs += 100;
                                   },
                                   1000, startUtc + 1000, 10},
                        ClockCase {"startedPausedResumesAtRealTime",
                                   [](SteppedClock &x) {
                                       x.clock.setRate(0);
                                       x.realMs += 500;
                                       x.clock.resume();
                                       x.realMs += 500;
                                   },
                                   500, startUtc + 500, 1},
                        ClockCase {"steppedWhilePaused",
                                   [](SteppedClock &x) {
                                       x.clock.pause();
                                       x.clock.step(90'000);
                                       x.realMs += 5000;
                                   },
                                   90'000, startUtc + 90'000, 0},
                        ClockCase {"steppedWhileRunning",
                                   [](SteppedClock &x) {
                                       x.clock.setRate(2);
                                       x.realMs += 100;
                                       x.clock.step(1000);
                                       x.realMs += 100;
                                   },
                                   1400, startUtc + 1400, 2},
                        ClockCase {"setBackMovesTheDateNotTheMotors",
                                   [](SteppedClock &x) {
                                       x.realMs += 1000;
                                       x.clock.setUtc(startUtc - hourMs);
                                       x.realMs += 1000;
                                   },
                                   2000, startUtc - hourMs + 1000, 1},
                        ClockCase {"refusedRatesAndStepsChangeNothing",
                                   [](SteppedClock &x) {
                                       EXPECT_FALSE(x.clock.setRate(-1));
                                       EXPECT_FALSE(x.clock.setRate(MountClock::maxRate + 1));
                                       EXPECT_FALSE(x.clock.setRate(
                                               std::numeric_limits<double>::quiet_NaN()));
                                       EXPECT_FALSE(x.clock.step(-1));
                                       x.realMs += 10;
                                   },
                                   10, startUtc + 10, 1}),
        [](const auto &info) { return info.param.name; });

// The full profile's hand control on a mount clock whose real time the test moves.
struct ClockedMount : FullExchange
{
    std::int64_t realMs = 7'000'000;
    MountClock clock {[this] { return realMs; }, FullExchange::startUtcMs};

    ClockedMount()
        : FullExchange(withModel(equatorialModel))
    {
        interpreter.setMountClocks(clock.clocks());
        send(paris.command());
        send(preciseCommand('s', 0, 0));
    }

    void passReal(std::int64_t ms)
    {
        realMs += ms;
        steadyMs += ms; // the line's time
        interpreter.poll();
    }

    // Real milliseconds from a 90-degree goto to `L` answering that it has ended.
    std::int64_t quarterTurnGotoMs(std::int64_t stepMs)
    {
        EXPECT_EQ(send(preciseCommand('r', 0x400000, 0)), "#");
        std::int64_t elapsed = 0;
        while (send("L") == "1#" && elapsed < 120'000) {
            passReal(stepMs);
            elapsed += stepMs;
        }
        return elapsed;
    }
};

TEST(MountClockGoto, atRateOneHundredTakesAHundredthOfTheTime)
{
    ClockedMount real;
    const std::int64_t realTimeMs = real.quarterTurnGotoMs(100);
    ClockedMount fast;
    fast.clock.setRate(100);
    const std::int64_t fastMs = fast.quarterTurnGotoMs(1);
    // 89.5 degrees at 4 degrees a second, then the last half degree slowly.
    EXPECT_GE(realTimeMs, 23'000);
    EXPECT_LE(realTimeMs, 24'000);
    EXPECT_NEAR(double(fastMs), double(realTimeMs) / 100, 2);
    EXPECT_EQ(fast.send("e"), "40000000,00000000#") << "arrived exactly";
}

TEST(MountClockGoto, pausedStopsTheGotoAndSteppingFinishesIt)
{
    ClockedMount x;
    ASSERT_EQ(x.send(preciseCommand('r', 0x400000, 0)), "#");
    x.passReal(2000);
    x.clock.pause();
    const Bytes halted = x.send("e");
    x.passReal(60'000);
    EXPECT_EQ(x.send("e"), halted);
    EXPECT_EQ(x.send("L"), "1#");
    x.clock.step(30'000);
    EXPECT_EQ(x.send("L"), "0#");
    EXPECT_EQ(x.send("e"), "40000000,00000000#");
}

TEST(MountClockGoto, theLineKeepsRealTimeWhileTheMountIsPaused)
{
    ClockedMount x;
    x.clock.pause();
    // An unknown command's bytes are discarded after the line's quiet gap, paused or not.
    EXPECT_EQ(x.send("X"), "");
    ASSERT_FALSE(x.interpreter.CommandBuffer().empty());
    x.passReal(CommandInterpreter::quietGapMs + 1);
    EXPECT_TRUE(x.interpreter.CommandBuffer().empty());
}

// Sidereal time and the hand control's clock follow the mount's time, not the computer's.
TEST(MountClockGoto, siderealTimeAndTheHandControlClockFollowIt)
{
    ClockedMount x;
    x.clock.setRate(3600); // an hour a second
    const Reading before = precise(x.send("e"));
    const Bytes clockBefore = x.send("h");
    x.passReal(1000);
    const Reading after = precise(x.send("e"));
    // Tracking holds right ascension; the hour angle is what moved, so the altitude changed.
    EXPECT_LE(unitsApart(before.first, after.first), 2u);
    EXPECT_NE(x.send("h"), clockBefore);
    const Bytes z = x.send("z");
    x.clock.pause();
    x.passReal(1000);
    EXPECT_EQ(x.send("z"), z) << "paused: the sky stands still";
}

} // namespace
