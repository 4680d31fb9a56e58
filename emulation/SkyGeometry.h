#pragma once

#include <cstdint>

namespace tqx {

// A direction as two angles in radians: right ascension and declination, hour-angle axis and
// declination, or azimuth and altitude, depending on the frame.
struct SkyAngles
{
    double first = 0;
    double second = 0;
};

// The frames a pointing is expressed in. Sky: right ascension and declination of the date (true
// equator and equinox), fixed among the stars. Equatorial: the polar axis of an equatorial mount,
// the first angle being right ascension less local sidereal time (minus the hour angle), fixed to
// the ground. Horizon: azimuth from north through east and altitude, fixed to the ground.
enum class SkyFrame { Sky, Equatorial, Horizon };

// Converts directions between the frames for a site and an instant, with ERFA's IAU 2006/2000A
// sidereal time and precession-nutation. UT1 is taken as UTC, and neither refraction nor
// aberration is applied: the hand control works to its own 24-bit resolution, not to the sky's.
//
// The precession-nutation matrix and the equation of the equinoxes change by far less than the
// replies' resolution within a minute, so they are computed once a minute; sidereal time itself
// is computed for every instant.
class SkyGeometry
{
public:
    // Latitude north positive, longitude east positive, both in radians.
    void setSite(double latitude, double longitude);
    double latitude() const { return m_latitude; }
    double longitude() const { return m_longitude; }

    // Local apparent sidereal time at the instant, in radians from 0 to 2 pi.
    double localSiderealTime(std::int64_t utcMs) const;

    SkyAngles convert(SkyAngles angles, SkyFrame from, SkyFrame to, std::int64_t utcMs) const;

    // Right ascension and declination between the mean equator and equinox of J2000 and those of
    // the date.
    SkyAngles dateFromJ2000(SkyAngles j2000, std::int64_t utcMs) const;
    SkyAngles j2000FromDate(SkyAngles ofDate, std::int64_t utcMs) const;

private:
    struct SlowTerms
    {
        std::int64_t minute = INT64_MIN;
        double ttMinusUtcDays = 0;
        double equationOfEquinoxes = 0;
        double precessionNutation[3][3] {};
    };

    SlowTerms &slowTerms(std::int64_t utcMs) const;

    double m_latitude = 0;
    double m_longitude = 0;
    mutable SlowTerms m_slow;
};

// Keeps the second angle within -pi/2..pi/2 by going over the pole, and the first within 0..2 pi.
SkyAngles normalizedAngles(SkyAngles angles);

} // namespace tqx
