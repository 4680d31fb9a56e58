// The motor controllers as clients drive them: which way each motor turns the mount on both pier
// sides and in both hemispheres, guide pulses, tracking rates, levelling, the periodic-error
// index and correction, and byte vectors from a client's own tests. All on a clock the test
// drives.

#include "SkyTesting.h"

#include <functional>
#include <vector>

namespace {

using namespace skytest;

constexpr double arcsecond = degree / 3600;
constexpr double sidereal = 15.041 * arcsecond; // per second

Bytes frame(int length, int device, int command, int d1 = 0, int d2 = 0, int d3 = 0,
            int replyLength = 0)
{
    return bytesOf({'P', length, device, command, d1, d2, d3, replyLength});
}

Bytes errorReply(std::size_t replyLength) { return Bytes(replyLength, '\0') + "\x01#"; }

// The signed difference b - a of two 24-bit angles, in radians.
double change24(std::uint32_t a, std::uint32_t b) { return signedAngleOf24((b - a) & 0xFFFFFF); }

std::uint32_t motorPosition(FullExchange &x, int device)
{
    const Bytes reply = x.send(frame(1, device, 1, 0, 0, 0, 3));
    EXPECT_EQ(reply.size(), 4u);
    return static_cast<std::uint8_t>(reply[0]) << 16 | static_cast<std::uint8_t>(reply[1]) << 8
            | static_cast<std::uint8_t>(reply[2]);
}

Bytes position24Frame(int device, int command, std::uint32_t value)
{
    return axisFrame(device, command, value & 0xFFFFFF);
}

std::uint32_t units(double angle) { return units24(angle); }

// An equatorial mount at a site, synced to an object the hour angle east or west of the
// meridian, tracking.
struct SyncedMount : FullExchange
{
    SyncedMount(const Site &site, double hourAngleHours, double declinationDegrees,
                std::uint8_t model = equatorialModel)
        : FullExchange(withModel(model))
    {
        send(site.command());
        const double rightAscension
                = siderealTime(utcMs, site.longitude()) - hourAngleHours * 15 * degree;
        send(preciseCommand('s', units24(rightAscension), units24(declinationDegrees * degree)));
    }

    Reading e() { return precise(send("e")); }
};

enum class Way { FixedRate, VariableRate, SlowGoto, FastGoto, SetPosition, GuidePulse };

struct Motion
{
    Way way;
    const char *name;
    double amount; // radians of motor position
};

const Motion motions[] = {
        {Way::FixedRate, "fixedRate", 2 * degree}, // rate 7, 1 deg/s, for 2 s
        {Way::VariableRate, "variableRate", 2 * degree}, // 14400 quarter arcseconds a second
        {Way::SlowGoto, "slowGoto", 2 * degree},
        {Way::FastGoto, "fastGoto", 2 * degree},
        {Way::SetPosition, "setPosition", 2 * degree},
        {Way::GuidePulse, "guidePulse", 2 * sidereal}, // 100 % for 2.00 s
};

// Turns one motor by the motion's amount, forward or back; returns how long it took.
std::int64_t turn(FullExchange &x, int device, const Motion &motion, bool forward)
{
    switch (motion.way) {
    case Way::FixedRate:
        EXPECT_EQ(x.send(frame(2, device, forward ? 36 : 37, 7)), "#");
        x.wait(2'000);
        EXPECT_EQ(x.send(frame(2, device, 36, 0)), "#");
        return 2'000;
    case Way::VariableRate:
        EXPECT_EQ(x.send(frame(3, device, forward ? 6 : 7, 0x38, 0x40)), "#");
        x.wait(2'000);
        EXPECT_EQ(x.send(frame(3, device, 6, 0, 0)), "#");
        return 2'000;
    case Way::SlowGoto:
    case Way::FastGoto:
    case Way::SetPosition: {
        const int command = motion.way == Way::SlowGoto ? 23 : motion.way == Way::FastGoto ? 2 : 4;
        const std::uint32_t from = motorPosition(x, device);
        const auto step = static_cast<std::int32_t>(units(motion.amount));
        EXPECT_EQ(x.send(position24Frame(device, command, from + (forward ? step : -step))), "#");
        if (motion.way == Way::SetPosition)
            return 0;
        x.wait(30'000);
        EXPECT_EQ(x.send(frame(1, device, 19, 0, 0, 0, 1)), bytesOf({0xFF, '#'}));
        return 30'000;
    }
    case Way::GuidePulse:
        EXPECT_EQ(x.send(frame(3, device, 38, forward ? 100 : -100 & 0xFF, 200)), "#");
        x.wait(2'000);
        return 2'000;
    }
    return 0;
}

struct DirectionCase
{
    std::string name;
    bool south;
    bool westOfMeridian;
    int device;
    bool forward;
    Motion motion;
};

void PrintTo(const DirectionCase &c, std::ostream *os) { *os << c.name; }

std::vector<DirectionCase> directionCases()
{
    std::vector<DirectionCase> cases;
    for (const bool south : {false, true})
        for (const bool west : {false, true})
            for (const int device : {16, 17})
                for (const bool forward : {true, false})
                    for (const Motion &motion : motions)
                        cases.push_back(
                                {std::string(south ? "south" : "north") + (west ? "PierW" : "PierE")
                                         + (device == 16 ? "Ra" : "Dec")
                                         + (forward ? "Positive" : "Negative") + motion.name,
                                 south, west, device, forward, motion});
    return cases;
}

class MotorDirections : public testing::TestWithParam<DirectionCase>
{
};

// Which way the pointing should go: positive right ascension motion turns the mount the way it
// tracks (west in the north, east in the south); positive declination motion is north while "p"
// answers "E" and south while it answers "W", mirrored in the southern hemisphere.
TEST_P(MotorDirections, moveTheSkyTheWayClientsMeanIt)
{
    const DirectionCase &c = GetParam();
    SyncedMount x(c.south ? sydney : paris, c.westOfMeridian ? 2 : -2, c.south ? -20 : 20);
    ASSERT_EQ(x.send("p"), c.westOfMeridian ? "W#" : "E#");
    const Reading before = x.e();
    const std::uint32_t motorBefore = motorPosition(x, c.device);
    const std::int64_t ms = turn(x, c.device, c.motion, c.forward);
    const Reading after = x.e();

    const double sign = c.forward ? 1 : -1;
    const double tolerance = std::max(c.motion.amount * 0.01, 0.2 * arcsecond);
    if (c.device == 16) {
        // West is falling right ascension.
        const bool west = c.forward != c.south;
        EXPECT_NEAR(change24(before.first, after.first), west ? -c.motion.amount : c.motion.amount,
                    tolerance);
        EXPECT_LE(unitsApart(before.second, after.second), 1u);
    } else {
        const bool north = c.forward == (c.westOfMeridian == c.south);
        EXPECT_NEAR(change24(before.second, after.second),
                    north ? c.motion.amount : -c.motion.amount, tolerance);
        EXPECT_LE(unitsApart(before.first, after.first), 1u);
    }
    // The motor position moved by the same amount, with tracking turning the right ascension
    // motor forward in the north and back in the south.
    const double tracking = c.device == 16 ? (c.south ? -1 : 1) * sidereal * ms / 1000.0 : 0;
    EXPECT_NEAR(change24(motorBefore, motorPosition(x, c.device)),
                sign * c.motion.amount + tracking, tolerance);
    EXPECT_EQ(x.send("p"), c.westOfMeridian ? "W#" : "E#") << "no motion here crosses a pole";
}

INSTANTIATE_TEST_SUITE_P(EveryWayToMove, MotorDirections, testing::ValuesIn(directionCases()),
                         [](const testing::TestParamInfo<DirectionCase> &info) {
                             return info.param.name;
                         });

TEST(PierSide, staysThroughTrackingAndChangesOverThePole)
{
    SyncedMount x(paris, -0.5, 30);
    ASSERT_EQ(x.send("p"), "E#");
    // Tracking carries the object over the meridian; the tube stays on its side of the pier.
    x.wait(hourMs);
    EXPECT_EQ(x.send("p"), "E#");
    // North over the pole: the declination axis is now on the other side, and the same motor
    // motion goes on, now south.
    ASSERT_EQ(x.send(frame(2, 17, 36, 9)), "#"); // 4 deg/s
    x.wait(20'000); // 80 degrees: from +30 over the pole to +70 on the far side
    ASSERT_EQ(x.send(frame(2, 17, 36, 0)), "#");
    EXPECT_EQ(x.send("p"), "W#");
    EXPECT_NEAR(signedAngleOf24(x.e().second) / degree, 70, 0.01);
    // A goto chooses the side for its target: east of the meridian, "E".
    const double lst = siderealTime(x.utcMs, paris.longitude());
    ASSERT_EQ(x.send(preciseCommand('r', units24(lst + 30 * degree), units24(10 * degree))), "#");
    x.wait(60'000);
    ASSERT_EQ(x.send("L"), "0#");
    EXPECT_EQ(x.send("p"), "E#");
}

TEST(GuidePulse, movesRateTimesDurationAndReportsUntilItEnds)
{
    SyncedMount x(paris, -2, 20);
    const Bytes running = frame(1, 17, 39, 0, 0, 0, 1);
    EXPECT_EQ(x.send(running), bytesOf({0, '#'}));
    const Reading before = x.e();
    // 50 % sidereal north for 1.50 s: 11.28 seconds of arc.
    ASSERT_EQ(x.send(frame(3, 17, 38, 50, 150)), "#");
    x.wait(1'490);
    EXPECT_NE(x.send(running), bytesOf({0, '#'}));
    EXPECT_EQ(x.send(frame(1, 16, 39, 0, 0, 0, 1)), bytesOf({0, '#'})) << "the other axis";
    x.wait(10);
    EXPECT_EQ(x.send(running), bytesOf({0, '#'}));
    x.wait(5'000);
    EXPECT_NEAR(change24(before.second, x.e().second), 0.5 * 1.5 * sidereal,
                0.01 * 0.75 * sidereal);
}

struct PulseEndCase
{
    std::string name;
    std::function<void(SyncedMount &)> interrupt;
    double expectedSeconds; // of the pulse that counted
};

void PrintTo(const PulseEndCase &c, std::ostream *os) { *os << c.name; }

class GuidePulseEnds : public testing::TestWithParam<PulseEndCase>
{
};

TEST_P(GuidePulseEnds, earlyWhenSomethingElseTakesTheAxis)
{
    const PulseEndCase &c = GetParam();
    SyncedMount x(paris, -2, 20);
    const Reading before = x.e();
    ASSERT_EQ(x.send(frame(3, 17, 38, 100, 250)), "#"); // 2.50 s north
    x.wait(1'000);
    c.interrupt(x);
    EXPECT_EQ(x.send(frame(1, 17, 39, 0, 0, 0, 1)), bytesOf({0, '#'}));
    x.wait(5'000);
    if (c.expectedSeconds >= 0) {
        EXPECT_NEAR(change24(before.second, x.e().second), c.expectedSeconds * sidereal,
                    0.01 * sidereal);
    }
}

INSTANTIATE_TEST_SUITE_P(
        Pulses, GuidePulseEnds,
        testing::Values(PulseEndCase {"cancel", [](SyncedMount &x) { x.send("M"); }, 1.0},
                        PulseEndCase {"newPulseReplacesIt",
                                      [](SyncedMount &x) {
                                          x.send(frame(3, 17, 38, 100, 50));
                                          x.wait(500);
                                      },
                                      1.5},
                        PulseEndCase {"slewOfTheAxis",
                                      [](SyncedMount &x) { x.send(frame(2, 17, 36, 0)); }, 1.0},
                        PulseEndCase {"goto", [](SyncedMount &x) { x.send("r00000000,00000000"); },
                                      -1}),
        [](const testing::TestParamInfo<PulseEndCase> &info) { return info.param.name; });

struct RateCase
{
    std::string name;
    std::uint16_t value;
    double driftArcsecondsPerHour; // right ascension, toward east
};

void PrintTo(const RateCase &c, std::ostream *os) { *os << c.name; }

class TrackingRates : public testing::TestWithParam<RateCase>
{
};

TEST_P(TrackingRates, moveRightAscensionOverAnHour)
{
    const RateCase &c = GetParam();
    for (const bool south : {false, true}) {
        SyncedMount x(south ? sydney : paris, -1, south ? -30 : 30);
        const int command = south ? 7 : 6;
        ASSERT_EQ(x.send(frame(3, 16, command, c.value >> 8, c.value & 0xFF)), "#");
        const Reading before = x.e();
        x.wait(hourMs);
        const Reading after = x.e();
        EXPECT_NEAR(change24(before.first, after.first) / arcsecond, c.driftArcsecondsPerHour,
                    std::max(0.01 * c.driftArcsecondsPerHour, 0.2))
                << (south ? "south" : "north");
        EXPECT_LE(unitsApart(before.second, after.second), 1u);
        EXPECT_EQ(x.send("t"), bytesOf({2, '#'})) << "the mode is unchanged";
        EXPECT_EQ(x.send("L"), "0#");
    }
}

INSTANTIATE_TEST_SUITE_P(RightAscensionMotor, TrackingRates,
                         testing::Values(RateCase {"sidereal", 0xFFFF, 0},
                                         RateCase {"solar", 0xFFFE, (15.041 - 15.0) * 3600},
                                         RateCase {"lunar", 0xFFFD, (15.041 - 14.511415) * 3600}),
                         [](const testing::TestParamInfo<RateCase> &info) {
                             return info.param.name;
                         });

TEST(TrackingRates, aCustomRateIsTrackingOffAndAVariableRate)
{
    SyncedMount x(paris, -1, 30);
    ASSERT_EQ(x.send(bytesOf({'T', 0})), "#");
    // 15.0 seconds of arc a second: 60 quarter seconds.
    ASSERT_EQ(x.send(frame(3, 16, 6, 0, 60)), "#");
    const Reading before = x.e();
    x.wait(hourMs);
    EXPECT_NEAR(change24(before.first, x.e().first) / arcsecond, (15.041 - 15.0) * 3600, 1.5);
}

TEST(TrackingRates, solarRateAgainAfterTrackingWasOff)
{
    SyncedMount x(paris, -1, 30);
    ASSERT_EQ(x.send(frame(3, 16, 6, 0xFF, 0xFE)), "#");
    ASSERT_EQ(x.send(bytesOf({'T', 0})), "#");
    ASSERT_EQ(x.send(bytesOf({'T', 2})), "#");
    const Reading before = x.e();
    x.wait(hourMs);
    EXPECT_NEAR(change24(before.first, x.e().first) / arcsecond, (15.041 - 15.0) * 3600, 1.5);
}

HandControlSettings periodicErrorMount(std::uint8_t model, double amplitude = 0)
{
    HandControlSettings settings = withModel(model);
    settings.periodicError = amplitude;
    settings.wormPeriod = 60;
    settings.switchPosition = 0;
    return settings;
}

// A mount with periodic-error correction at Paris, synced east of the meridian.
struct PecMount : FullExchange
{
    explicit PecMount(double amplitude = 0, std::uint8_t model = 14)
        : FullExchange(periodicErrorMount(model, amplitude))
    {
        send(paris.command());
        const double rightAscension = siderealTime(utcMs, paris.longitude()) + 30 * degree;
        send(preciseCommand('s', units24(rightAscension), units24(20 * degree)));
    }

    Reading e() { return precise(send("e")); }
    Bytes ask(int command, int d1 = 0, int replyLength = 1)
    {
        return send(frame(d1 ? 2 : 1, 16, command, d1, 0, 0, replyLength));
    }
    // Seeks the index and waits, polling as a client does, until it is found.
    void findIndex()
    {
        ASSERT_EQ(ask(25, 0, 0), "#");
        for (int poll = 0; poll < 100 && ask(24) != bytesOf({0xFF, '#'}); ++poll)
            wait(100);
        ASSERT_EQ(ask(24), bytesOf({0xFF, '#'}));
    }
};

TEST(PeriodicErrorIndex, isFoundByTurningTheAxisToIt)
{
    PecMount x;
    EXPECT_EQ(x.ask(24), bytesOf({0, '#'}));
    EXPECT_EQ(x.ask(12, 0, 0), errorReply(0)) << "recording needs the index";
    const std::uint32_t before = motorPosition(x, 16);
    ASSERT_EQ(x.ask(25, 0, 0), "#");
    x.wait(100);
    EXPECT_EQ(x.ask(24), bytesOf({0, '#'})) << "still turning";
    x.findIndex();
    EXPECT_EQ(x.send("L"), "0#");
    // It turned forward, less than one turn of the worm (60 s of tracking, 15 arcminutes).
    const double turned = change24(before, motorPosition(x, 16));
    EXPECT_GT(turned, 0);
    EXPECT_LT(turned, 60 * sidereal + 10 * sidereal);
    EXPECT_LE(x.ask(14)[0], 1) << "the worm is at its first bin";
}

TEST(PeriodicErrorCorrection, recordsOneWormTurnAndPlaysItBack)
{
    PecMount x(20);
    x.findIndex();
    EXPECT_EQ(x.ask(48, 0x3F), bytesOf({88, '#'}));
    ASSERT_EQ(x.ask(12, 0, 0), "#");
    EXPECT_EQ(x.ask(21), bytesOf({0, '#'}));
    x.wait(59'000);
    EXPECT_EQ(x.ask(21), bytesOf({0, '#'})) << "a worm period is 60 s";
    x.wait(1'000);
    EXPECT_NE(x.ask(21), bytesOf({0, '#'}));
    // The bins hold the corrections of a 20" sine: the first quarter pulls back, and they add up
    // to nothing over the turn.
    int sum = 0;
    for (int bin = 0; bin < 88; ++bin) {
        const Bytes reply = x.ask(48, 0x40 + bin);
        ASSERT_EQ(reply.size(), 2u);
        sum += static_cast<std::int8_t>(reply[0]);
        if (bin < 20) {
            EXPECT_LT(static_cast<std::int8_t>(reply[0]), 0) << bin;
        }
    }
    EXPECT_LE(std::abs(sum), 3);

    // Without playback the right ascension swings by the error over a turn; with it, it stays
    // within the bins' resolution.
    const auto swing = [&] {
        const Reading start = x.e();
        double low = 0, high = 0;
        for (int step = 0; step < 60; ++step) {
            x.wait(1'000);
            const double offset = change24(start.first, x.e().first) / arcsecond;
            low = std::min(low, offset);
            high = std::max(high, offset);
        }
        return high - low;
    };
    EXPECT_GT(swing(), 35.0);
    ASSERT_EQ(x.ask(13, 1, 0), "#");
    EXPECT_LT(swing(), 1.5);
    ASSERT_EQ(x.ask(13, 0, 0), "#");
    EXPECT_GT(swing(), 35.0);
}

TEST(PeriodicErrorCorrection, binsReadBackWhatWasWrittenAndFollowTheWorm)
{
    PecMount x;
    x.findIndex();
    ASSERT_EQ(x.send(frame(3, 16, 49, 0x40 + 5, 0xF6)), "#"); // -10
    EXPECT_EQ(x.ask(48, 0x40 + 5), bytesOf({0xF6, '#'}));
    EXPECT_EQ(x.send(frame(3, 16, 49, 0x40 + 88, 1)), errorReply(0)) << "past the last bin";
    EXPECT_EQ(x.ask(48, 0x40 + 88), errorReply(1));
    // The bin follows the motor: 88 bins over the 60 s of a worm turn, found within 100 ms.
    x.wait(30'000);
    EXPECT_NEAR(x.ask(14)[0], 44, 1);
    x.wait(29'400);
    EXPECT_NEAR(x.ask(14)[0], 87, 1);
    x.wait(1'200);
    EXPECT_NEAR(x.ask(14)[0], 1, 1);
}

TEST(Levelling, turnsEachAxisToItsSwitch)
{
    HandControlSettings settings = withModel(23);
    settings.switchPosition = 90;
    FullExchange x(settings);
    x.send(paris.command());
    ASSERT_EQ(x.send(bytesOf({'T', 0})), "#");
    for (const int device : {16, 17}) {
        const Bytes done = frame(1, device, 18, 0, 0, 0, 1);
        EXPECT_EQ(x.send(done), bytesOf({0, '#'})) << device;
        ASSERT_EQ(x.send(frame(1, device, 11)), "#");
        x.wait(100);
        EXPECT_EQ(x.send(done), bytesOf({0, '#'})) << device;
        x.wait(400'000);
        EXPECT_EQ(x.send(done), bytesOf({0xFF, '#'})) << device;
        EXPECT_LE(unitsApart(motorPosition(x, device), 0x400000), 1u) << device;
    }
}

struct FeatureCase
{
    std::string name;
    std::uint8_t model;
    bool periodicError;
    bool levelling;
};

void PrintTo(const FeatureCase &c, std::ostream *os) { *os << c.name; }

class ModelFeatures : public testing::TestWithParam<FeatureCase>
{
};

// Only the models that have them answer the optional commands; the others give the error form,
// as for a command the motor controller does not know.
TEST_P(ModelFeatures, answerOnlyWhereTheModelHasThem)
{
    const FeatureCase &c = GetParam();
    FullExchange x(withModel(c.model));
    const auto answered = [&](const Bytes &request, std::size_t replyLength) {
        return x.send(request) != errorReply(replyLength);
    };
    EXPECT_EQ(answered(frame(1, 16, 24, 0, 0, 0, 1), 1), c.periodicError);
    EXPECT_EQ(answered(frame(1, 16, 14, 0, 0, 0, 1), 1), c.periodicError);
    EXPECT_EQ(answered(frame(2, 16, 48, 0x3F, 0, 0, 1), 1), c.periodicError);
    EXPECT_EQ(answered(frame(1, 17, 24, 0, 0, 0, 1), 1), false)
            << "the Dec motor has no worm index";
    EXPECT_EQ(answered(frame(1, 16, 18, 0, 0, 0, 1), 1), c.levelling);
    EXPECT_EQ(answered(frame(1, 17, 18, 0, 0, 0, 1), 1), c.levelling);
    EXPECT_TRUE(answered(frame(1, 17, 39, 0, 0, 0, 1), 1)) << "every model guides";
}

INSTANTIATE_TEST_SUITE_P(
        Models, ModelFeatures,
        testing::Values(FeatureCase {"mediumEquatorialHasNone", 6, false, false},
                        FeatureCase {"heavyEquatorialHasCorrection", 5, true, false},
                        FeatureCase {"equatorialWithHomeSwitches", 24, true, true},
                        FeatureCase {"forkWithCorrection", 17, true, false},
                        FeatureCase {"forkWithout", 15, false, false},
                        FeatureCase {"unknownModelIsAPlainFork", 99, false, false}),
        [](const testing::TestParamInfo<FeatureCase> &info) { return info.param.name; });

TEST(ModelKinds, newerModelsAreMostlyAltAzimuth)
{
    for (int model = 13; model <= 25; ++model) {
        const bool equatorial
                = model == 13 || model == 14 || model == 20 || model == 23 || model == 24;
        FullExchange x(withModel(static_cast<std::uint8_t>(model)));
        // An alt-azimuth mount has no pier side to report and stays above the horizon.
        x.send(paris.command());
        EXPECT_EQ(x.send("b00000000,F0000000"), "#");
        EXPECT_EQ(x.send("L"), equatorial ? "1#" : "0#") << "model " << model;
    }
}

// The replies a client's unit tests recorded from the hand control.
TEST(ClientVectors, answerAsRecorded)
{
    HandControlSettings settings = withModel(equatorialModel);
    settings.version = "4.41";
    FullExchange x(settings);
    EXPECT_EQ(x.send("V"), bytesOf({0x04, 0x29, '#'}));
    const Bytes version = x.send(frame(1, 16, 254, 0, 0, 0, 2));
    ASSERT_EQ(version.size(), 3u);
    EXPECT_GE(static_cast<std::uint8_t>(version[0]) * 100 + static_cast<std::uint8_t>(version[1]),
              612)
            << "a motor controller that takes guide pulses";
    EXPECT_EQ(x.send("S2000,2000"), "#");
    EXPECT_EQ(x.send("E"), "2000,2000#");
    EXPECT_EQ(x.send("s20000000,20000000"), "#");
    EXPECT_EQ(x.send("e"), "20000000,20000000#");
    EXPECT_EQ(x.send("R2000,2000"), "#");
    EXPECT_EQ(x.send("B2000,2000"), "#");
    EXPECT_EQ(x.send("M"), "#");
    const Bytes time = bytesOf({0x08, 0x23, 0x2B, 0x0C, 0x12, 0x11, 0xFE, 0x00});
    EXPECT_EQ(x.send("H" + time), "#");
    EXPECT_EQ(x.send("h"), time + "#");
    const Bytes site = bytesOf({0x28, 0x19, 0x00, 0x00, 0x03, 0x2A, 0x01, 0x01});
    EXPECT_EQ(x.send("W" + site), "#");
    EXPECT_EQ(x.send("w"), site + "#");
}

TEST(StartPosition, isTheStarInTheClientsCoordinates)
{
    // Aldebaran's J2000 position, as "e" gives it to a client working in J2000.
    FullExchange j2000(withModel(1, VersionFormat::Hex));
    EXPECT_EQ(j2000.send("e"), "310C0500,0BBB0500#");
    // The same star of the date, from ERFA's precession-nutation at the start time.
    FullExchange ofDate(withModel(equatorialModel));
    double matrix[3][3], from[3], to[3], ra = 0, dec = 0;
    precessionNutation(ofDate.utcMs, matrix);
    eraS2c(angleOf24(0x310C05), signedAngleOf24(0x0BBB05), from);
    eraRxp(matrix, from, to);
    eraC2s(to, &ra, &dec);
    const Reading e = precise(ofDate.send("e"));
    EXPECT_LE(unitsApart(e.first, units24(eraAnp(ra))), 1u);
    EXPECT_LE(unitsApart(e.second, units24(dec)), 1u);
    EXPECT_EQ(ofDate.send("e"), FullExchange::starte);
}

} // namespace
