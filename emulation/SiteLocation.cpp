#include "emulation/SiteLocation.h"

#include "emulation/Angles.h"

#include <algorithm>
#include <cmath>

namespace tqx {

namespace {

double degreesOf(std::uint8_t degrees, std::uint8_t minutes, std::uint8_t seconds,
                 std::uint8_t negative)
{
    const double angle = degrees + minutes / 60.0 + seconds / 3600.0;
    return negative ? -angle : angle;
}

// Degrees, minutes, seconds and the hemisphere byte of an angle, to the nearest second.
void putDegrees(double angle, std::uint8_t *bytes)
{
    const long seconds = std::lround(std::abs(angle) * 3600);
    bytes[0] = static_cast<std::uint8_t>(seconds / 3600);
    bytes[1] = static_cast<std::uint8_t>(seconds / 60 % 60);
    bytes[2] = static_cast<std::uint8_t>(seconds % 60);
    bytes[3] = angle < 0 && seconds != 0 ? 1 : 0;
}

Bytes fraction24(std::uint8_t degrees, std::uint8_t minutes, std::uint8_t seconds,
                 std::uint8_t negative)
{
    const double angle = degreesOf(degrees, minutes, seconds, negative);
    const auto value = static_cast<std::int64_t>(std::lround(angle / 360.0 * (1 << 24)));
    const auto bits = static_cast<int>(value & 0xFFFFFF);
    return bytesOf({bits >> 16, bits >> 8, bits});
}

} // namespace

SiteLocation::Layout SiteLocation::fromDegrees(double latitude, double longitude)
{
    Layout layout {};
    putDegrees(latitude, layout.data());
    putDegrees(longitude, layout.data() + 4);
    return layout;
}

double SiteLocation::latitudeRadians() const
{
    const double degrees = degreesOf(m_bytes[0], m_bytes[1], m_bytes[2], m_bytes[3]);
    return std::clamp(degrees, -90.0, 90.0) * radiansPerDegree;
}

double SiteLocation::longitudeRadians() const
{
    return degreesOf(m_bytes[4], m_bytes[5], m_bytes[6], m_bytes[7]) * radiansPerDegree;
}

Bytes SiteLocation::latitude24() const
{
    return fraction24(m_bytes[0], m_bytes[1], m_bytes[2], m_bytes[3]);
}

Bytes SiteLocation::longitude24() const
{
    return fraction24(m_bytes[4], m_bytes[5], m_bytes[6], m_bytes[7]);
}

} // namespace tqx
