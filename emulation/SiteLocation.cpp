#include "emulation/SiteLocation.h"

#include <cmath>

namespace tqx {

namespace {

Bytes fraction24(std::uint8_t degrees, std::uint8_t minutes, std::uint8_t seconds,
                 std::uint8_t negative)
{
    double angle = degrees + minutes / 60.0 + seconds / 3600.0;
    if (negative)
        angle = -angle;
    const auto value = static_cast<std::int64_t>(std::lround(angle / 360.0 * (1 << 24)));
    const auto bits = static_cast<int>(value & 0xFFFFFF);
    return bytesOf({bits >> 16, bits >> 8, bits});
}

} // namespace

Bytes SiteLocation::latitude24() const
{
    return fraction24(m_bytes[0], m_bytes[1], m_bytes[2], m_bytes[3]);
}

Bytes SiteLocation::longitude24() const
{
    return fraction24(m_bytes[4], m_bytes[5], m_bytes[6], m_bytes[7]);
}

} // namespace tqx
