#include "emulation/SkyGeometry.h"

#include <erfa.h>
#include <erfam.h>

#include <cmath>

namespace tqx {

namespace {

constexpr double unixEpochJd = 2440587.5;
constexpr double msPerDay = 86'400'000.0;
constexpr std::int64_t msPerMinute = 60'000;
constexpr double ttMinusTaiSeconds = 32.184;

// A UTC instant as a two-part Julian date, whole epoch day first for precision.
double utcDayFraction(std::int64_t utcMs) { return static_cast<double>(utcMs) / msPerDay; }

// TAI - UTC from ERFA's leap-second table, plus TT - TAI, in days.
double ttMinusUtcDays(std::int64_t utcMs)
{
    int year = 0, month = 0, day = 0;
    double fraction = 0;
    eraJd2cal(unixEpochJd, utcDayFraction(utcMs), &year, &month, &day, &fraction);
    double taiMinusUtc = 37;
    eraDat(year, month, day, fraction, &taiMinusUtc);
    return (taiMinusUtc + ttMinusTaiSeconds) / 86'400.0;
}

// The direction turned by the matrix, or by its transpose (the inverse rotation).
SkyAngles rotated(SkyAngles angles, double matrix[3][3], bool inverse)
{
    double from[3], to[3];
    eraS2c(angles.first, angles.second, from);
    if (inverse)
        eraTrxp(matrix, from, to);
    else
        eraRxp(matrix, from, to);
    SkyAngles result;
    eraC2s(to, &result.first, &result.second);
    return {eraAnp(result.first), result.second};
}

} // namespace

SkyAngles normalizedAngles(SkyAngles angles)
{
    double second = eraAnpm(angles.second);
    double first = angles.first;
    if (second > ERFA_DPI / 2) {
        second = ERFA_DPI - second;
        first += ERFA_DPI;
    } else if (second < -ERFA_DPI / 2) {
        second = -ERFA_DPI - second;
        first += ERFA_DPI;
    }
    return {eraAnp(first), second};
}

void SkyGeometry::setSite(double latitude, double longitude)
{
    m_latitude = latitude;
    m_longitude = longitude;
}

SkyGeometry::SlowTerms &SkyGeometry::slowTerms(std::int64_t utcMs) const
{
    const std::int64_t minute = utcMs >= 0 ? utcMs / msPerMinute : (utcMs + 1) / msPerMinute - 1;
    if (minute != m_slow.minute) {
        const std::int64_t minuteMs = minute * msPerMinute;
        m_slow.minute = minute;
        m_slow.ttMinusUtcDays = ttMinusUtcDays(minuteMs);
        const double tt = utcDayFraction(minuteMs) + m_slow.ttMinusUtcDays;
        m_slow.equationOfEquinoxes = eraEe06a(unixEpochJd, tt);
        eraPnm06a(unixEpochJd, tt, m_slow.precessionNutation);
    }
    return m_slow;
}

double SkyGeometry::localSiderealTime(std::int64_t utcMs) const
{
    const SlowTerms &slow = slowTerms(utcMs);
    const double ut1 = utcDayFraction(utcMs);
    const double meanSidereal = eraGmst06(unixEpochJd, ut1, unixEpochJd, ut1 + slow.ttMinusUtcDays);
    return eraAnp(meanSidereal + slow.equationOfEquinoxes + m_longitude);
}

SkyAngles SkyGeometry::convert(SkyAngles angles, SkyFrame from, SkyFrame to,
                               std::int64_t utcMs) const
{
    if (from == to)
        return angles;
    // Through the equatorial frame: the sky differs from it by sidereal time, the horizon by the
    // site's latitude.
    SkyAngles equatorial = angles;
    if (from == SkyFrame::Sky) {
        equatorial.first = angles.first - localSiderealTime(utcMs);
    } else if (from == SkyFrame::Horizon) {
        double hourAngle = 0;
        eraAe2hd(angles.first, angles.second, m_latitude, &hourAngle, &equatorial.second);
        equatorial.first = -hourAngle;
    }
    switch (to) {
    case SkyFrame::Sky:
        return {eraAnp(equatorial.first + localSiderealTime(utcMs)), equatorial.second};
    case SkyFrame::Horizon: {
        SkyAngles horizon;
        eraHd2ae(-equatorial.first, equatorial.second, m_latitude, &horizon.first, &horizon.second);
        return horizon;
    }
    case SkyFrame::Equatorial:
        break;
    }
    return {eraAnp(equatorial.first), equatorial.second};
}

SkyAngles SkyGeometry::dateFromJ2000(SkyAngles j2000, std::int64_t utcMs) const
{
    return rotated(j2000, slowTerms(utcMs).precessionNutation, false);
}

SkyAngles SkyGeometry::j2000FromDate(SkyAngles ofDate, std::int64_t utcMs) const
{
    return rotated(ofDate, slowTerms(utcMs).precessionNutation, true);
}

} // namespace tqx
