#pragma once

// Helpers for tests of the full profile's moving mount: sites, ERFA's own sidereal time and
// precession, conversions between angles and the hand control's 24-bit units, and command
// builders.

#include "FullExchange.h"

#include <erfa.h>
#include <erfam.h>

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <string>

namespace skytest {

using tqx::Bytes;
using tqx::bytesOf;
using tqx::HandControlSettings;
using tqx::VersionFormat;

inline constexpr double unixEpochJd = 2440587.5;
inline constexpr double degree = ERFA_DD2R;
inline constexpr std::int64_t hourMs = 3'600'000;

struct Site
{
    int latDegrees, latMinutes, latSeconds;
    bool south;
    int lonDegrees, lonMinutes, lonSeconds;
    bool west;

    Bytes command() const
    {
        return "W"
                + bytesOf({latDegrees, latMinutes, latSeconds, south ? 1 : 0, lonDegrees,
                           lonMinutes, lonSeconds, west ? 1 : 0});
    }
    double latitude() const
    {
        const double value = latDegrees + latMinutes / 60.0 + latSeconds / 3600.0;
        return (south ? -value : value) * degree;
    }
    double longitude() const
    {
        const double value = lonDegrees + lonMinutes / 60.0 + lonSeconds / 3600.0;
        return (west ? -value : value) * degree;
    }
};

// UTC as days since the Unix epoch, and TT - UTC in days, from ERFA's leap-second table.
inline double utcDays(std::int64_t utcMs) { return static_cast<double>(utcMs) / 86'400'000.0; }

inline double ttMinusUtcDays(std::int64_t utcMs)
{
    int year, month, day;
    double fraction, taiMinusUtc = 0;
    eraJd2cal(unixEpochJd, utcDays(utcMs), &year, &month, &day, &fraction);
    eraDat(year, month, day, fraction, &taiMinusUtc);
    return (taiMinusUtc + 32.184) / 86'400.0;
}

// Local apparent sidereal time, straight from ERFA with no caching.
inline double siderealTime(std::int64_t utcMs, double longitude)
{
    const double ut = utcDays(utcMs);
    return eraAnp(eraGst06a(unixEpochJd, ut, unixEpochJd, ut + ttMinusUtcDays(utcMs)) + longitude);
}

inline void precessionNutation(std::int64_t utcMs, double matrix[3][3])
{
    eraPnm06a(unixEpochJd, utcDays(utcMs) + ttMinusUtcDays(utcMs), matrix);
}

inline std::uint32_t units24(double angle)
{
    const double turns = angle / ERFA_D2PI;
    return static_cast<std::uint32_t>(std::llround((turns - std::floor(turns)) * 16777216.0))
            & 0xFFFFFF;
}

inline double angleOf24(std::uint32_t units) { return units / 16777216.0 * ERFA_D2PI; }
inline double signedAngleOf24(std::uint32_t units)
{
    return (units >= 0x800000 ? static_cast<double>(units) - 16777216.0 : units) / 16777216.0
            * ERFA_D2PI;
}

struct Reading
{
    std::uint32_t first; // 24-bit units
    std::uint32_t second;
};

// "XXXXXXXX,YYYYYYYY#" as two 24-bit values; the low bytes must be 00.
inline Reading precise(const Bytes &reply)
{
    unsigned first = 0, second = 0;
    EXPECT_EQ(reply.size(), 18u) << reply;
    EXPECT_EQ(std::sscanf(reply.c_str(), "%8X,%8X#", &first, &second), 2) << reply;
    EXPECT_EQ(first & 0xFF, 0u) << reply;
    EXPECT_EQ(second & 0xFF, 0u) << reply;
    return {first >> 8, second >> 8};
}

// Distance in 24-bit units the short way round.
inline std::uint32_t unitsApart(std::uint32_t a, std::uint32_t b)
{
    const std::uint32_t d = (a - b) & 0xFFFFFF;
    return std::min(d, 0x1000000 - d);
}

inline Bytes preciseCommand(char letter, std::uint32_t first24, std::uint32_t second24)
{
    char text[32];
    std::snprintf(text, sizeof text, "%c%06X00,%06X00", letter, first24 & 0xFFFFFF,
                  second24 & 0xFFFFFF);
    return text;
}

inline Bytes axisFrame(int axis, int command, std::uint32_t value24)
{
    return bytesOf({'P', 4, axis, command, static_cast<int>(value24 >> 16),
                    static_cast<int>(value24 >> 8 & 0xFF), static_cast<int>(value24 & 0xFF), 0});
}

inline HandControlSettings withModel(std::uint8_t model,
                                     VersionFormat format = VersionFormat::Binary)
{
    HandControlSettings settings;
    settings.versionFormat = format;
    settings.version = format == VersionFormat::Hex ? "4.39.07" : "4.21";
    settings.model = model;
    return settings;
}

inline constexpr std::uint8_t altAzimuthModel = 7;
inline constexpr std::uint8_t equatorialModel = 6;

inline const Site paris {48, 51, 24, false, 2, 21, 8, false};
inline const Site sydney {33, 51, 54, true, 151, 12, 36, false};
inline const Site santiago {33, 26, 42, true, 70, 40, 12, true};
inline const Site fairbanks {64, 50, 15, false, 147, 43, 0, true};

} // namespace skytest
