// What the mount view is given to show: the moving mount's texts and marks during and after a
// goto on a clock the test drives, and the basic profile's stored positions decoded.

#include "FullExchange.h"
#include "emulation/MountModels.h"
#include "emulation/MountReport.h"

#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

using tqx::Bytes;
using tqx::bytesOf;
using tqx::MountReport;

namespace {

std::string textOf(const MountReport &report, const std::string &label)
{
    for (const MountReport::Row &row : report.rows)
        if (row.label == label)
            return row.text;
    return "(no row " + label + ")";
}

struct ParisAtNight : FullExchange
{
    ParisAtNight()
    {
        send(bytesOf({'W', 48, 51, 24, 0, 2, 21, 8, 0}));
        send(bytesOf({'H', 21, 45, 30, 11, 12, 24, 1, 0}));
    }
};

TEST(MountReport, showsAGotoUnderWayAndItsArrival)
{
    ParisAtNight mount;
    ASSERT_EQ(mount.send("r6AAAAA00,0E38E300"), "#");
    mount.wait(2000);

    const MountReport during = MountReport::of(mount.interpreter);
    const std::string motion = textOf(during, "Motion");
    EXPECT_EQ(motion.rfind("slewing to RA 10h00m00s Dec +20 00'00\", ", 0), 0u) << motion;
    EXPECT_NE(motion.find(" deg to go"), std::string::npos) << motion;
    ASSERT_TRUE(during.target.has_value());
    ASSERT_EQ(during.pointings.size(), 1u);
    ASSERT_GE(during.path.size(), 2u);
    // The path runs from where the mount points to the target.
    EXPECT_NEAR(during.path.front().azimuth, during.pointings[0].azimuth, 1e-6);
    EXPECT_NEAR(during.path.front().altitude, during.pointings[0].altitude, 1e-6);
    EXPECT_EQ(during.path.back(), *during.target);
    EXPECT_EQ(textOf(during, "Site"), "48 51'24\" N, 2 21'08\" E");
    EXPECT_EQ(textOf(during, "Clock"), "2024-11-12 21:45:32 UTC+01:00");
    EXPECT_EQ(textOf(during, "Tracking"), "2: equatorial north");
    EXPECT_EQ(textOf(during, "Coordinates"), "of the date");

    mount.wait(2000);
    const MountReport later = MountReport::of(mount.interpreter);
    EXPECT_NE(later, during);
    const auto degreesToGo = [](const MountReport &report) {
        const std::string motion = textOf(report, "Motion");
        return std::stod(motion.substr(motion.rfind(", ") + 2));
    };
    EXPECT_LT(degreesToGo(later), degreesToGo(during) - 6);

    mount.wait(60'000);
    const MountReport arrived = MountReport::of(mount.interpreter);
    EXPECT_EQ(textOf(arrived, "Motion"), "tracking");
    EXPECT_EQ(textOf(arrived, "Right ascension"), "10h00m00.0s");
    EXPECT_EQ(textOf(arrived, "Declination"), "+20 00'00\"");
    EXPECT_FALSE(arrived.target.has_value());
    EXPECT_TRUE(arrived.path.empty());
    // The same moment reads the same: a view compares reports to redraw only on a change.
    EXPECT_EQ(MountReport::of(mount.interpreter), arrived);
}

TEST(MountReport, namesWhatAGotoMovesAndHowTheMountStands)
{
    ParisAtNight mount;
    ASSERT_EQ(mount.send("b80000000,20000000"), "#");
    mount.wait(1000);
    EXPECT_EQ(textOf(MountReport::of(mount.interpreter), "Motion")
                      .rfind("slewing to Az 180 00'00\" Alt +45 00'00\", ", 0),
              0u);
    mount.send(bytesOf({'P', 2, 16, 36, 9, 0, 0, 0}));
    EXPECT_EQ(textOf(MountReport::of(mount.interpreter), "Motion"), "moving at a set rate");
    mount.send(bytesOf({'P', 2, 16, 36, 0, 0, 0, 0}));
    mount.send(bytesOf({'T', 0}));
    const MountReport still = MountReport::of(mount.interpreter);
    EXPECT_EQ(textOf(still, "Motion"), "standing still");
    EXPECT_EQ(textOf(still, "Tracking"), "0: off");
    EXPECT_EQ(textOf(still, "Pier side").substr(0, 2), mount.send("p").substr(0, 1) + ":");
}

// The first model of the binary family that `fits`.
std::uint8_t firstModel(bool (*fits)(const tqx::MountModel &))
{
    for (const tqx::MountModel &model : tqx::mountModels(tqx::VersionFormat::Binary))
        if (fits(model))
            return model.number;
    ADD_FAILURE() << "no such model";
    return 0;
}

tqx::HandControlSettings altAzimuthMount()
{
    tqx::HandControlSettings settings;
    settings.model = firstModel([](const tqx::MountModel &model) { return !model.equatorial; });
    return settings;
}

tqx::HandControlSettings mountWithPeriodicErrorCorrection()
{
    tqx::HandControlSettings settings;
    settings.model = firstModel([](const tqx::MountModel &model) {
        return model.equatorial && model.periodicErrorCorrection;
    });
    // One turn of the worm as short as it goes, so that a recording ends soon.
    settings.wormPeriod = tqx::HandControlSettings::minWormPeriod;
    return settings;
}

const Bytes paris = bytesOf({'W', 48, 51, 24, 0, 2, 21, 8, 0});
const Bytes sydney = bytesOf({'W', 33, 52, 0, 1, 151, 12, 0, 0});
// Half-way up in the east or in the west: an object east of the meridian puts the tube on the
// west side of the pier ("p" answers 'E'), one west of it on the east side ('W').
const Bytes gotoEast = "B4000,2000";
const Bytes gotoWest = "BC000,2000";

Bytes guidePulse(int device, int percent, int hundredths)
{
    return bytesOf({'P', 3, device, 38, percent & 0xFF, hundredths, 0, 0});
}

struct GuidingCase
{
    std::string name;
    tqx::HandControlSettings settings;
    Bytes site;
    Bytes gotoFirst; // empty: the mount stays where it starts
    char pierSide; // what "p" answers before the pulses; 0: not checked
    std::vector<Bytes> pulses;
    std::int64_t waitMs; // after the pulses
    std::string guiding;
};

void PrintTo(const GuidingCase &c, std::ostream *os) { *os << c.name; }

class Guiding : public testing::TestWithParam<GuidingCase>
{
};

// The direction is where the pulse moves the pointing on the sky, as clients mean the sign.
TEST_P(Guiding, showsEachRunningPulseAndWhereItMovesThePointing)
{
    const GuidingCase &c = GetParam();
    FullExchange mount(c.settings);
    mount.send(c.site);
    mount.send(bytesOf({'H', 21, 45, 30, 11, 12, 24, 1, 0}));
    if (!c.gotoFirst.empty()) {
        ASSERT_EQ(mount.send(c.gotoFirst), "#");
        mount.wait(120'000);
        ASSERT_EQ(mount.send("L"), "0#");
    }
    if (c.pierSide) {
        ASSERT_EQ(mount.send("p"), (Bytes {c.pierSide, '#'}));
    }
    for (const Bytes &pulse : c.pulses)
        ASSERT_EQ(mount.send(pulse), "#");
    mount.wait(c.waitMs);
    EXPECT_EQ(textOf(MountReport::of(mount.interpreter), "Guiding"), c.guiding);
}

INSTANTIATE_TEST_SUITE_P(
        MountReport, Guiding,
        testing::Values(GuidingCase {"noPulse", {}, paris, {}, 0, {}, 0, "none"},
                        GuidingCase {"rightAscensionPositiveIsWest",
                                     {},
                                     paris,
                                     {},
                                     0,
                                     {guidePulse(16, 30, 200)},
                                     500,
                                     "west 30 % sidereal, 1.50 s to go"},
                        GuidingCase {"rightAscensionNegativeIsEast",
                                     {},
                                     paris,
                                     {},
                                     0,
                                     {guidePulse(16, -30, 200)},
                                     500,
                                     "east 30 % sidereal, 1.50 s to go"},
                        GuidingCase {"rightAscensionPositiveIsEastInTheSouth",
                                     {},
                                     sydney,
                                     {},
                                     0,
                                     {guidePulse(16, 30, 200)},
                                     500,
                                     "east 30 % sidereal, 1.50 s to go"},
                        GuidingCase {"declinationPositiveIsNorthWithTheTubeWestOfThePier",
                                     {},
                                     paris,
                                     gotoEast,
                                     'E',
                                     {guidePulse(17, 50, 100)},
                                     600,
                                     "north 50 % sidereal, 0.40 s to go"},
                        GuidingCase {"declinationPositiveIsSouthWithTheTubeEastOfThePier",
                                     {},
                                     paris,
                                     gotoWest,
                                     'W',
                                     {guidePulse(17, 50, 100)},
                                     600,
                                     "south 50 % sidereal, 0.40 s to go"},
                        GuidingCase {"declinationMirroredInTheSouth",
                                     {},
                                     sydney,
                                     gotoEast,
                                     'E',
                                     {guidePulse(17, 50, 100)},
                                     600,
                                     "south 50 % sidereal, 0.40 s to go"},
                        GuidingCase {"altitudePositiveIsUp",
                                     altAzimuthMount(),
                                     paris,
                                     {},
                                     0,
                                     {guidePulse(17, 50, 100)},
                                     600,
                                     "up 50 % sidereal, 0.40 s to go"},
                        GuidingCase {"azimuthNegativeIsLeft",
                                     altAzimuthMount(),
                                     paris,
                                     {},
                                     0,
                                     {guidePulse(16, -100, 255)},
                                     50,
                                     "left 100 % sidereal, 2.50 s to go"},
                        GuidingCase {"bothAxesOnOneLine",
                                     {},
                                     paris,
                                     gotoEast,
                                     'E',
                                     {guidePulse(16, 50, 100), guidePulse(17, -25, 50)},
                                     200,
                                     "west 50 % and south 25 % sidereal, 0.80 s and 0.30 s to go"},
                        GuidingCase {"pulseThatHasEnded",
                                     {},
                                     paris,
                                     {},
                                     0,
                                     {guidePulse(17, 50, 100)},
                                     1500,
                                     "none"}),
        [](const auto &info) { return info.param.name; });

struct TrackingRateCase
{
    std::string name;
    std::vector<Bytes> commands;
    std::string rate;
};

void PrintTo(const TrackingRateCase &c, std::ostream *os) { *os << c.name; }

class TrackingRate : public testing::TestWithParam<TrackingRateCase>
{
};

TEST_P(TrackingRate, isTheOneTheRightAscensionMotorWasLastGiven)
{
    const TrackingRateCase &c = GetParam();
    ParisAtNight mount;
    for (const Bytes &command : c.commands)
        ASSERT_EQ(mount.send(command), "#");
    EXPECT_EQ(textOf(MountReport::of(mount.interpreter), "Tracking rate"), c.rate);
}

const Bytes solarRate = bytesOf({'P', 3, 16, 6, 0xFF, 0xFE, 0, 0});
const Bytes lunarRateSouthern = bytesOf({'P', 3, 16, 7, 0xFF, 0xFD, 0, 0});
const Bytes siderealRate = bytesOf({'P', 3, 16, 6, 0xFF, 0xFF, 0, 0});

INSTANTIATE_TEST_SUITE_P(
        MountReport, TrackingRate,
        testing::Values(TrackingRateCase {"siderealAtFirst", {}, "sidereal"},
                        TrackingRateCase {"solar", {solarRate}, "solar"},
                        TrackingRateCase {"lunarSetForTheSouth", {lunarRateSouthern}, "lunar"},
                        TrackingRateCase {"backToSidereal", {solarRate, siderealRate}, "sidereal"},
                        TrackingRateCase {
                                "keptWhileTrackingIsOff", {bytesOf({'T', 0}), solarRate}, "solar"},
                        // The declination motor takes the same value as a fast slew.
                        TrackingRateCase {"notFromTheDeclinationMotor",
                                          {bytesOf({'P', 3, 17, 6, 0xFF, 0xFE, 0, 0})},
                                          "sidereal"}),
        [](const auto &info) { return info.param.name; });

TEST(MountReport, periodicErrorOnlyOnModelsThatCorrectIt)
{
    FullExchange without;
    EXPECT_EQ(textOf(MountReport::of(without.interpreter), "Periodic error"),
              "(no row Periodic error)");
    FullExchange with(mountWithPeriodicErrorCorrection());
    EXPECT_EQ(textOf(MountReport::of(with.interpreter), "Periodic error")
                      .rfind("index not found, not recorded, playback off, bin ", 0),
              0u);
}

// Seeking the worm's index, one turn of recording, then playback: each step as the motor's own
// answers tell it, with the bin the motor reports.
TEST(MountReport, periodicErrorFollowsTheSeekTheRecordingAndThePlayback)
{
    const tqx::HandControlSettings settings = mountWithPeriodicErrorCorrection();
    FullExchange mount(settings);
    mount.send(paris);
    const auto state = [&] { return textOf(MountReport::of(mount.interpreter), "Periodic error"); };
    const auto bin = [&] {
        const Bytes reply = mount.send(bytesOf({'P', 1, 16, 14, 0, 0, 0, 1}));
        return reply.size() == 2 ? std::to_string(static_cast<unsigned char>(reply[0])) : "?";
    };

    ASSERT_EQ(mount.send(bytesOf({'P', 1, 16, 25, 0, 0, 0, 0})), "#");
    EXPECT_EQ(state().rfind("seeking the index, not recorded, playback off, bin ", 0), 0u)
            << state();
    const Bytes atIndex = bytesOf({'P', 1, 16, 24, 0, 0, 0, 1});
    // The index comes by once a turn of the worm.
    for (int second = 0; second <= 2 * settings.wormPeriod && mount.send(atIndex) != "\xFF#";
         ++second)
        mount.wait(1000);
    EXPECT_EQ(state(), "index found, not recorded, playback off, bin " + bin());

    ASSERT_EQ(mount.send(bytesOf({'P', 1, 16, 12, 0, 0, 0, 0})), "#");
    EXPECT_EQ(state(), "index found, recording, playback off, bin " + bin());
    mount.wait(static_cast<std::int64_t>(settings.wormPeriod * 1000) + 1000);
    EXPECT_EQ(state(), "index found, recorded, playback off, bin " + bin());
    ASSERT_EQ(mount.send(bytesOf({'P', 2, 16, 13, 1, 0, 0, 0})), "#");
    EXPECT_EQ(state(), "index found, recorded, playback on, bin " + bin());
}

TEST(MountReport, basicProfileShowsTheStoredPositionsWithoutSiteOrClock)
{
    Exchange basic;
    basic.send("R3AAA,0E38");
    basic.send("B8000,2000");
    const MountReport report = MountReport::of(basic.interpreter);
    EXPECT_EQ(textOf(report, "RA/Dec (E)"), "RA 05h30m00s Dec +20 00'00\"");
    EXPECT_EQ(textOf(report, "Az/Alt (Z)"), "Az 180 00'00\" Alt +45 00'00\"");
    EXPECT_EQ(textOf(report, "Site"), "(no row Site)");
    EXPECT_EQ(textOf(report, "Clock"), "(no row Clock)");
    ASSERT_EQ(report.pointings.size(), 2u);
    EXPECT_EQ(report.pointings[1].label, "Z");
    EXPECT_NEAR(report.pointings[1].azimuth, M_PI, 1e-9);
    EXPECT_NEAR(report.pointings[1].altitude, M_PI / 4, 1e-9);

    // A goto stores any argument as it came; a stored text that is no position says so and
    // leaves no mark.
    basic.send("bXYZ00000,00000000");
    const MountReport odd = MountReport::of(basic.interpreter);
    EXPECT_EQ(textOf(odd, "Az/Alt (z)"),
              "not a position: 'X' at byte 1 is not a hexadecimal digit");
    EXPECT_EQ(odd.pointings.size(), 1u);
}

} // namespace
