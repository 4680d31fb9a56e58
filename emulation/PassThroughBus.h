#pragma once

#include "emulation/BusDevice.h"
#include "emulation/GpsReceiver.h"
#include "emulation/MotorController.h"
#include "emulation/RealTimeClock.h"

#include <string_view>

namespace tqx {

// The "P" pass-through: an 8-byte frame 'P' len dest cmd d1 d2 d3 rlen goes to bus device dest,
// and the reply is always rlen data bytes and "#". A device that is absent, or does not know the
// command, gives the error form: rlen bytes of zeros, one extra byte 0x01, then "#". Clients
// check the byte where "#" belongs to tell the two apart, and probe for accessories that way.
class PassThroughBus
{
public:
    static constexpr std::size_t frameLength = 8;
    static constexpr std::uint8_t azimuthMotor = 16;
    static constexpr std::uint8_t altitudeMotor = 17;
    static constexpr std::uint8_t focuser = 18; // never present
    static constexpr std::uint8_t gps = 176;
    static constexpr std::uint8_t clock = 178;
    static constexpr char errorMarker = '\x01';

    PassThroughBus(MountPosition &mount, const SiteLocation &site, DateTimeStore &clock);

    void setAccessories(bool gpsPresent, bool clockPresent);

    // The reply to a complete frame, "P" included. The length byte is not checked: the documented
    // set-position quirk sends 3 for a four-byte command, and the devices take it either way.
    Bytes reply(std::string_view frame);

    static Bytes errorReply(std::size_t replyLength);

private:
    BusDevice *device(std::uint8_t address);

    MotorController m_azimuthMotor;
    MotorController m_altitudeMotor;
    GpsReceiver m_gps;
    RealTimeClock m_clock;
    bool m_gpsPresent = false;
    bool m_clockPresent = false;
};

} // namespace tqx
