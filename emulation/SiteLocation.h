#pragma once

#include "emulation/Bytes.h"

#include <array>
#include <cstdint>

namespace tqx {

// The observing site the hand control stores: the eight bytes of "W" and "w", kept as sent.
// Latitude degrees, minutes, seconds, 0 north / 1 south; longitude degrees, minutes, seconds,
// 0 east / 1 west.
class SiteLocation
{
public:
    using Layout = std::array<std::uint8_t, 8>;

    // The nearest whole seconds of arc; latitude north and longitude east positive, in degrees.
    static Layout fromDegrees(double latitude, double longitude);

    const Layout &bytes() const { return m_bytes; }
    void set(const Layout &bytes) { m_bytes = bytes; }

    // The GPS accessory's form: a 24-bit fraction of a revolution, big-endian, south and west as
    // two's complement.
    Bytes latitude24() const;
    Bytes longitude24() const;

    // North and east positive. Bytes a client sent that are no angle (minutes above 59, say)
    // still give a number; the latitude is kept within the poles.
    double latitudeRadians() const;
    double longitudeRadians() const;

private:
    // 0 deg 0 min 0 s north, 0 deg 0 min 0 s east until a client sends a site.
    Layout m_bytes {};
};

} // namespace tqx
