// The full profile's moving mount: its two views of one pointing checked against ERFA's own
// results, gotos and slews over time on a clock the test drives, tracking, limits and pier side.

#include "SkyTesting.h"

#include <vector>

namespace {

using namespace skytest;

// Sites in both hemispheres and on both sides of Greenwich, instants in three years, pointings
// near the pole, on the meridian, low and high.
struct SkyCase
{
    std::string name;
    Site site;
    std::int64_t utcMs;
    double rightAscensionHours; // the hour angle instead when onMeridianHours is set
    double declinationDegrees;
    bool hourAngleGiven = false;
};

void PrintTo(const SkyCase &c, std::ostream *os) { *os << c.name; }

const std::vector<SkyCase> skyCases {
        {"parisNovemberEvening", paris, 1'731'447'930'000, 4.5987, 16.509},
        {"parisNearThePole", paris, 1'731'447'930'000, 2.53, 89.26},
        {"parisOnTheMeridian", paris, 1'731'447'930'000, 0.0, 30.0, true},
        {"sydneyMidwinter", sydney, 1'782'003'600'000, 18.6, -60.83},
        {"sydneyNearTheSouthPole", sydney, 1'782'003'600'000, 21.1, -88.9},
        {"sydneyJustWestOfTheMeridian", sydney, 1'782'003'600'000, 0.01, -33.0, true},
        {"santiagoLow", santiago, 1'924'992'000'000, 7.0, 10.0},
        {"fairbanksHigh", fairbanks, 1'924'992'000'000, 13.2, 60.0},
        {"fairbanksEastOfTheMeridian", fairbanks, 1'731'447'930'000, -0.02, 45.0, true},
};

class SkyViews : public testing::TestWithParam<SkyCase>
{
protected:
    // Right ascension of the date for the case, from the hour angle where one is given.
    double rightAscension(const Site &site) const
    {
        const SkyCase &c = GetParam();
        if (c.hourAngleGiven)
            return eraAnp(siderealTime(c.utcMs, site.longitude())
                          - c.rightAscensionHours * 15 * degree);
        return c.rightAscensionHours * 15 * degree;
    }
};

// A sync in right ascension/declination, read back in azimuth/altitude.
TEST_P(SkyViews, azimuthAltitudeOfASyncedPosition)
{
    const SkyCase &c = GetParam();
    for (const VersionFormat format : {VersionFormat::Binary, VersionFormat::Hex}) {
        FullExchange x(withModel(equatorialModel, format));
        x.utcMs = c.utcMs;
        ASSERT_EQ(x.send(c.site.command()), "#");
        const std::uint32_t ra24 = units24(rightAscension(c.site));
        const std::uint32_t dec24 = units24(c.declinationDegrees * degree);
        ASSERT_EQ(x.send(preciseCommand('s', ra24, dec24)), "#");

        // What ERFA gives for the synced position, read as J2000 by hexadecimal clients.
        double ra = angleOf24(ra24), dec = signedAngleOf24(dec24);
        if (format == VersionFormat::Hex) {
            double matrix[3][3], j2000[3], ofDate[3];
            precessionNutation(c.utcMs, matrix);
            eraS2c(ra, dec, j2000);
            eraRxp(matrix, j2000, ofDate);
            eraC2s(ofDate, &ra, &dec);
        }
        double azimuth = 0, altitude = 0;
        eraHd2ae(siderealTime(c.utcMs, c.site.longitude()) - ra, dec, c.site.latitude(), &azimuth,
                 &altitude);

        const Reading z = precise(x.send("z"));
        EXPECT_LE(unitsApart(z.first, units24(azimuth)), 1u) << "azimuth, format " << int(format);
        EXPECT_LE(unitsApart(z.second, units24(altitude)), 1u)
                << "altitude, format " << int(format);
        const Reading e = precise(x.send("e"));
        EXPECT_EQ(e.first, ra24);
        EXPECT_EQ(e.second, dec24);

        unsigned az16 = 0, alt16 = 0;
        ASSERT_EQ(std::sscanf(x.send("Z").c_str(), "%4X,%4X#", &az16, &alt16), 2);
        EXPECT_LE(unitsApart(az16 << 8, units24(azimuth)) >> 8, 1u);
        EXPECT_LE(unitsApart(alt16 << 8, units24(altitude)) >> 8, 1u);
    }
}

// The axes of an alt-azimuth mount set through the motor controllers, read back in right
// ascension/declination.
TEST_P(SkyViews, rightAscensionDeclinationOfSetAxes)
{
    const SkyCase &c = GetParam();
    for (const VersionFormat format : {VersionFormat::Binary, VersionFormat::Hex}) {
        FullExchange x(withModel(format == VersionFormat::Hex ? 0x90 : altAzimuthModel, format));
        x.utcMs = c.utcMs;
        ASSERT_EQ(x.send(c.site.command()), "#");
        double azimuthWanted = 0, altitudeWanted = 0;
        eraHd2ae(siderealTime(c.utcMs, c.site.longitude()) - rightAscension(c.site),
                 c.declinationDegrees * degree, c.site.latitude(), &azimuthWanted, &altitudeWanted);
        const std::uint32_t az24 = units24(azimuthWanted), alt24 = units24(altitudeWanted);
        ASSERT_EQ(x.send(axisFrame(16, 4, az24)), "#");
        ASSERT_EQ(x.send(axisFrame(17, 4, alt24)), "#");

        double hourAngle = 0, dec = 0;
        eraAe2hd(angleOf24(az24), signedAngleOf24(alt24), c.site.latitude(), &hourAngle, &dec);
        double ra = eraAnp(siderealTime(c.utcMs, c.site.longitude()) - hourAngle);
        if (format == VersionFormat::Hex) {
            double matrix[3][3], ofDate[3], j2000[3];
            precessionNutation(c.utcMs, matrix);
            eraS2c(ra, dec, ofDate);
            eraTrxp(matrix, ofDate, j2000);
            eraC2s(j2000, &ra, &dec);
        }
        const Reading e = precise(x.send("e"));
        EXPECT_LE(unitsApart(e.first, units24(ra)), 1u) << "format " << int(format);
        EXPECT_LE(unitsApart(e.second, units24(dec)), 1u) << "format " << int(format);
        unsigned ra16 = 0, dec16 = 0;
        ASSERT_EQ(std::sscanf(x.send("E").c_str(), "%4X,%4X#", &ra16, &dec16), 2);
        EXPECT_LE(unitsApart(ra16 << 8, units24(ra)) >> 8, 1u);
        EXPECT_LE(unitsApart(dec16 << 8, units24(dec)) >> 8, 1u);
        const Reading z = precise(x.send("z"));
        EXPECT_LE(unitsApart(z.first, az24), 1u);
        EXPECT_LE(unitsApart(z.second, alt24), 1u);
    }
}

INSTANTIATE_TEST_SUITE_P(SitesAndPointings, SkyViews, testing::ValuesIn(skyCases),
                         [](const testing::TestParamInfo<SkyCase> &info) {
                             return info.param.name;
                         });

// A mount at Paris, equatorial unless told otherwise, pointing at RA 0h Dec 0 at the start.
struct ParisMount : FullExchange
{
    explicit ParisMount(const HandControlSettings &settings = withModel(equatorialModel))
        : FullExchange(settings)
    {
        send(paris.command());
        send(preciseCommand('s', 0, 0));
    }

    Reading e() { return precise(send("e")); }
    Reading z() { return precise(send("z")); }

    // The reply to the query does not change while the time passes.
    void expectUnchangedAfter(const Bytes &query, std::int64_t ms)
    {
        const Bytes before = send(query);
        wait(ms);
        EXPECT_EQ(send(query), before) << query << " after " << ms << " ms";
    }
};

TEST(Goto, ninetyDegreesTakesItsTimeAndArrivesExactly)
{
    ParisMount x;
    const std::uint32_t target = 0x400000; // 6h: a quarter turn
    ASSERT_EQ(x.send(preciseCommand('r', target, 0)), "#");
    std::uint32_t lastDistance = unitsApart(x.e().first, target);
    std::int64_t slewingMs = 0;
    bool sawIntermediate = false;
    while (x.send("L") == "1#") {
        ASSERT_LT(slewingMs, 60'000) << "never arrived";
        x.wait(250);
        slewingMs += 250;
        const Reading now = x.e();
        const std::uint32_t distance = unitsApart(now.first, target);
        EXPECT_LE(distance, lastDistance) << "moved away at " << slewingMs << " ms";
        EXPECT_EQ(now.second, 0u);
        sawIntermediate |= distance > 0 && distance < 0x400000;
        lastDistance = distance;
    }
    EXPECT_TRUE(sawIntermediate);
    // 89.5 degrees at 4 deg/s, then half a degree at 0.5 deg/s.
    EXPECT_GE(slewingMs, 23'000);
    EXPECT_LE(slewingMs, 24'000);
    const Reading arrived = x.e();
    EXPECT_EQ(arrived.first, target);
    EXPECT_EQ(arrived.second, 0u);
    x.wait(hourMs);
    EXPECT_EQ(x.send("e"), "40000000,00000000#") << "tracking keeps the target";
}

TEST(Goto, bothAxesMoveAtOnceAndTheFasterArrivesFirst)
{
    ParisMount x;
    ASSERT_EQ(x.send(preciseCommand('r', 0x100000, 0x080000)), "#"); // 22.5 and 11.25 degrees
    x.wait(2'000);
    const Reading moving = x.e();
    EXPECT_GT(moving.first, 0u);
    EXPECT_GT(moving.second, 0u);
    x.wait(2'000);
    EXPECT_EQ(x.e().second, 0x080000u) << "declination arrived";
    EXPECT_EQ(x.send("L"), "1#") << "right ascension still on its way";
    x.wait(3'000);
    EXPECT_EQ(x.send("L"), "0#");
    EXPECT_EQ(x.send("e"), "10000000,08000000#");
}

TEST(Goto, takesTheShorterWayRound)
{
    ParisMount x;
    ASSERT_EQ(x.send(preciseCommand('r', 0xF00000, 0)), "#"); // 22h30m: 22.5 degrees back
    x.wait(1'000);
    const std::uint32_t first = x.e().first;
    EXPECT_GT(first, 0xF00000u);
    EXPECT_LT(first, 0xFFFFFFu);
    x.wait(10'000);
    EXPECT_EQ(x.send("L"), "0#");
}

TEST(Goto, cancelLeavesTheMountWhereItWas)
{
    ParisMount x;
    ASSERT_EQ(x.send(preciseCommand('r', 0x400000, 0x100000)), "#");
    x.wait(5'000);
    ASSERT_EQ(x.send("M"), "#");
    const Bytes stopped = x.send("e");
    EXPECT_NE(stopped, "00000000,00000000#");
    EXPECT_EQ(x.send("L"), "0#");
    x.wait(30'000);
    EXPECT_EQ(x.send("e"), stopped);
    EXPECT_EQ(x.send("L"), "0#");
}

TEST(Goto, altAzimuthGotoArrivesInAzimuthAndAltitude)
{
    ParisMount x;
    ASSERT_EQ(x.send("b20000000,10000000"), "#");
    EXPECT_EQ(x.send("L"), "1#");
    x.wait(60'000);
    EXPECT_EQ(x.send("L"), "0#");
    // Tracking since arrival: read at the moment of arrival the pointing was the target.
    const Reading later = x.z();
    EXPECT_GT(unitsApart(later.first, 0x200000), 0u) << "the sky has moved on";
    ASSERT_EQ(x.send(bytesOf({'T', 0})), "#");
    ASSERT_EQ(x.send("b20000000,10000000"), "#");
    x.wait(60'000);
    EXPECT_EQ(x.send("z"), "20000000,10000000#");
    x.wait(hourMs);
    EXPECT_EQ(x.send("z"), "20000000,10000000#") << "not tracking: the axes stand still";
}

TEST(Limits, altAzimuthMountDoesNotGoBelowTheHorizon)
{
    ParisMount x(withModel(altAzimuthModel));
    ASSERT_EQ(x.send(bytesOf({'T', 0})), "#");
    ASSERT_EQ(x.send("b10000000,10000000"), "#");
    x.wait(60'000);
    const Bytes before = x.send("z");
    ASSERT_EQ(x.send("b20000000,F0000000"), "#"); // altitude -22.5 degrees
    EXPECT_EQ(x.send("L"), "0#");
    // Declination -60 is below the horizon at Paris whatever the time.
    ASSERT_EQ(x.send(preciseCommand('r', 0, 0xD55555)), "#");
    EXPECT_EQ(x.send("L"), "0#");
    x.wait(10'000);
    EXPECT_EQ(x.send("z"), before);
}

TEST(Limits, equatorialMountHasNoHorizonLimit)
{
    ParisMount x;
    ASSERT_EQ(x.send(preciseCommand('r', 0, 0xD55555)), "#");
    EXPECT_EQ(x.send("L"), "1#");
}

TEST(Tracking, onKeepsRightAscensionAndDeclinationForAnHour)
{
    ParisMount x;
    const Bytes sky = x.send("e");
    const Reading horizon = x.z();
    for (int minute = 0; minute < 60; minute += 10) {
        x.wait(10 * 60'000);
        EXPECT_EQ(x.send("e"), sky) << minute;
    }
    // An hour of sidereal time moves the object 15 degrees of hour angle: azimuth changes.
    EXPECT_GT(unitsApart(x.z().first, horizon.first), 0x020000u);
}

TEST(Tracking, offKeepsTheAxesAndRightAscensionDriftsAtTheSiderealRate)
{
    for (const std::uint8_t model : {equatorialModel, altAzimuthModel}) {
        ParisMount x(withModel(model));
        ASSERT_EQ(x.send(bytesOf({'T', 0})), "#");
        const Bytes horizon = x.send("z");
        const Reading sky = x.e();
        x.wait(hourMs);
        EXPECT_EQ(x.send("z"), horizon) << "model " << int(model);
        const Reading later = x.e();
        // One hour of mean solar time is 1.0027379 hours of sidereal time: 15.041 degrees.
        const double drift = angleOf24((later.first - sky.first) & 0xFFFFFF) / degree;
        EXPECT_NEAR(drift, 15.041, 0.001) << "model " << int(model);
        EXPECT_LE(unitsApart(later.second, sky.second), 1u);
        // Back on: from now on the sky position stays.
        ASSERT_EQ(x.send(bytesOf({'T', 2})), "#");
        const Bytes tracked = x.send("e");
        x.wait(hourMs);
        EXPECT_EQ(x.send("e"), tracked);
        EXPECT_EQ(x.send("t"), bytesOf({2, '#'}));
    }
}

TEST(PierSide, ofASyncFollowsTheHourAngle)
{
    ParisMount x;
    const double lst = siderealTime(x.utcMs, paris.longitude());
    ASSERT_EQ(x.send(preciseCommand('s', units24(lst - 30 * degree), units24(20 * degree))), "#");
    EXPECT_EQ(x.send("p"), "W#") << "two hours west of the meridian";
    ASSERT_EQ(x.send(preciseCommand('s', units24(lst + 30 * degree), units24(20 * degree))), "#");
    EXPECT_EQ(x.send("p"), "E#") << "two hours east";
}

TEST(Sync, redefinesThePointingInBothSystems)
{
    ParisMount x(withModel(altAzimuthModel));
    ASSERT_EQ(x.send("s12345600,23456700"), "#");
    EXPECT_EQ(x.send("e"), "12345600,23456700#");
    const Bytes horizon = x.send("z");
    // Setting the axes to the same azimuth and altitude changes nothing.
    const Reading z = precise(horizon);
    ASSERT_EQ(x.send(axisFrame(16, 4, z.first)), "#");
    ASSERT_EQ(x.send(axisFrame(17, 4, z.second)), "#");
    EXPECT_EQ(x.send("z"), horizon);
    const Reading e = x.e();
    EXPECT_LE(unitsApart(e.first, 0x123456), 1u);
    EXPECT_LE(unitsApart(e.second, 0x234567), 1u);
    // Syncing during a goto stops it.
    ASSERT_EQ(x.send(preciseCommand('r', 0x300000, 0x200000)), "#");
    ASSERT_EQ(x.send("L"), "1#");
    ASSERT_EQ(x.send("s12345600,23456700"), "#");
    EXPECT_EQ(x.send("L"), "0#");
    EXPECT_EQ(x.send("e"), "12345600,23456700#");
}

TEST(PassThroughSlews, moveAnAxisUntilARateOfZeroStopsIt)
{
    ParisMount x;
    ASSERT_EQ(x.send(bytesOf({'T', 0})), "#");
    const Reading start = x.e();
    // Fixed rate 9 (4 deg/s) positive on the right ascension axis for 10 s: west.
    ASSERT_EQ(x.send(bytesOf({'P', 2, 16, 36, 9, 0, 0, 0})), "#");
    EXPECT_EQ(x.send("L"), "0#") << "a slew is not a goto";
    EXPECT_EQ(x.send(bytesOf({'P', 1, 16, 19, 0, 0, 0, 1})), bytesOf({0xFF, '#'}));
    x.wait(10'000);
    ASSERT_EQ(x.send(bytesOf({'P', 2, 16, 36, 0, 0, 0, 0})), "#");
    const Reading stopped = x.e();
    // 40 degrees of slew and 10 s of sidereal drift, since the mount does not track.
    const double moved = angleOf24((stopped.first - start.first) & 0xFFFFFF) / degree;
    EXPECT_NEAR(moved, 360 - 40 + 10 * 15.041 / 3600, 0.001);
    EXPECT_EQ(stopped.second, start.second);
    // Variable rate 1 deg/s (14400 quarter arcseconds) negative on declination for 5 s: north,
    // as the mount points west of the meridian.
    ASSERT_EQ(x.send("p"), "W#");
    ASSERT_EQ(x.send(bytesOf({'P', 3, 17, 7, 0x38, 0x40, 0, 0})), "#");
    x.wait(5'000);
    ASSERT_EQ(x.send(bytesOf({'P', 3, 17, 7, 0, 0, 0, 0})), "#");
    EXPECT_NEAR(signedAngleOf24(x.e().second) / degree, 5, 0.001);
    x.expectUnchangedAfter("z", 60'000);
}

TEST(PassThroughSlews, bothAxesAtOnceAndCancelStopsThem)
{
    ParisMount x;
    ASSERT_EQ(x.send(bytesOf({'P', 2, 16, 37, 7, 0, 0, 0})), "#"); // 1 deg/s each
    ASSERT_EQ(x.send(bytesOf({'P', 2, 17, 36, 7, 0, 0, 0})), "#");
    x.wait(3'000);
    const Reading moving = x.e();
    // Tracking: sky rates, east and, west of the meridian, south.
    EXPECT_NEAR(signedAngleOf24(moving.first) / degree, 3, 0.001);
    EXPECT_NEAR(signedAngleOf24(moving.second) / degree, -3, 0.001);
    ASSERT_EQ(x.send("M"), "#");
    x.expectUnchangedAfter("e", 3'000);
}

TEST(PassThroughSlews, aRateCommandEndsAGoto)
{
    ParisMount x;
    ASSERT_EQ(x.send(preciseCommand('r', 0x400000, 0x100000)), "#");
    x.wait(2'000);
    ASSERT_EQ(x.send(bytesOf({'P', 2, 17, 36, 0, 0, 0, 0})), "#");
    ASSERT_EQ(x.send(bytesOf({'P', 2, 16, 36, 0, 0, 0, 0})), "#");
    EXPECT_EQ(x.send("L"), "0#");
    x.expectUnchangedAfter("e", 5'000);
}

TEST(PassThroughSlews, gotoDoneAgreesWithLThroughAGoto)
{
    ParisMount x;
    const Bytes azimuthDone = bytesOf({'P', 1, 16, 19, 0, 0, 0, 1});
    const Bytes altitudeDone = bytesOf({'P', 1, 17, 19, 0, 0, 0, 1});
    ASSERT_EQ(x.send(preciseCommand('r', 0x200000, 0x040000)), "#");
    for (int step = 0; step < 80; ++step) {
        const bool slewing = x.send("L") == "1#";
        const bool azimuthArrived = x.send(azimuthDone)[0] == '\xFF';
        const bool altitudeArrived = x.send(altitudeDone)[0] == '\xFF';
        EXPECT_EQ(slewing, !(azimuthArrived && altitudeArrived)) << step;
        x.wait(250);
    }
    EXPECT_EQ(x.send("L"), "0#");
}

TEST(SiteAndClock, aNewSiteOrTimeMovesTheHorizonViewNotTheSky)
{
    ParisMount x;
    const Bytes sky = x.send("e");
    const Bytes horizon = x.send("z");
    ASSERT_EQ(x.send(sydney.command()), "#");
    EXPECT_EQ(x.send("e"), sky);
    EXPECT_NE(x.send("z"), horizon);
    ASSERT_EQ(x.send("H" + bytesOf({3, 0, 0, 6, 21, 26, 10, 0})), "#");
    EXPECT_EQ(x.send("e"), sky);
}

TEST(SiteAndClock, startSiteComesFromTheSettings)
{
    HandControlSettings settings = withModel(equatorialModel);
    settings.siteLatitude = -33.865;
    settings.siteLongitude = 151.21;
    FullExchange x(settings);
    EXPECT_EQ(x.send("w"), bytesOf({33, 51, 54, 1, 151, 12, 36, 0, '#'}));
}

} // namespace
