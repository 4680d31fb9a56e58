#pragma once

#include <cstdint>

namespace tqx {

// Where the full profile's mount points: right ascension/declination and azimuth/altitude, each
// angle a 32-bit fraction of a revolution, and whether a goto is under way. Every command that
// reads or moves the mount goes through here, so a mount that moves over time can take this
// class over without touching the commands.
//
// The two pairs are kept apart: nothing converts between them, so a goto in one pair leaves the
// other where it was. The two motor axes are the azimuth/altitude pair.
class MountPosition
{
public:
    struct Pair
    {
        std::uint32_t first; // right ascension or azimuth
        std::uint32_t second; // declination or altitude
    };
    enum class Axis { Azimuth, Altitude };

    // Start-up: the star Aldebaran, as in the basic profile.
    static constexpr Pair startRaDec {0x310C0500, 0x0BBB0500};
    static constexpr Pair startAzmAlt {0x12AB0500, 0x40000500};

    Pair raDec() const { return m_raDec; }
    Pair azmAlt() const { return m_azmAlt; }

    // Gotos arrive at once, so none is ever under way and cancelling has nothing to stop.
    void gotoRaDec(Pair target) { m_raDec = target; }
    void gotoAzmAlt(Pair target) { m_azmAlt = target; }
    void syncRaDec(Pair position) { m_raDec = position; }
    void cancelGoto() { }
    bool gotoInProgress() const { return false; }

    // 0 off, 1 alt-azimuth, 2 equatorial north, 3 equatorial south; other bytes kept as sent.
    std::uint8_t trackingMode() const { return m_trackingMode; }
    void setTrackingMode(std::uint8_t mode) { m_trackingMode = mode; }

    // The side the tube points to, as "p" reports it: 'W' while the tube is on the east side of
    // the pier, the usual side after start-up. Without a moving mount it never changes.
    char pointingSide() const { return 'W'; }

    // A motor axis as a 24-bit fraction of a revolution.
    std::uint32_t axisPosition(Axis axis) const;
    void setAxisPosition(Axis axis, std::uint32_t position24);

private:
    Pair m_raDec = startRaDec;
    Pair m_azmAlt = startAzmAlt;
    std::uint8_t m_trackingMode = 2;
};

} // namespace tqx
