// What the mount view is given to show: the moving mount's texts and marks during and after a
// goto on a clock the test drives, and the basic profile's stored positions decoded.

#include "FullExchange.h"
#include "emulation/MountReport.h"

#include <gtest/gtest.h>

#include <cmath>
#include <string>

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
