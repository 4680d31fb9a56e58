#include "emulation/PassThroughBus.h"

namespace tqx {

PassThroughBus::PassThroughBus(MountPosition &mount, const SiteLocation &site, DateTimeStore &clock)
    : m_azimuthMotor(mount, MountPosition::Axis::Azimuth)
    , m_altitudeMotor(mount, MountPosition::Axis::Altitude)
    , m_gps(site, clock)
    , m_clock(clock)
{
}

void PassThroughBus::setAccessories(bool gpsPresent, bool clockPresent)
{
    m_gpsPresent = gpsPresent;
    m_clockPresent = clockPresent;
}

Bytes PassThroughBus::reply(std::string_view frame)
{
    const auto byteAt = [&](std::size_t index) { return static_cast<std::uint8_t>(frame[index]); };
    const std::size_t replyLength = byteAt(7);
    BusDevice *target = device(byteAt(2));
    if (!target)
        return errorReply(replyLength);
    const std::optional<Bytes> data
            = target->answer({byteAt(3), {byteAt(4), byteAt(5), byteAt(6)}});
    if (!data)
        return errorReply(replyLength);
    // A longer answer is cut to what was asked for (a two-byte version query to a motor
    // controller that knows four), a shorter one filled with zeros.
    Bytes reply = *data;
    reply.resize(replyLength, '\0');
    reply += '#';
    return reply;
}

Bytes PassThroughBus::errorReply(std::size_t replyLength)
{
    Bytes reply(replyLength, '\0');
    reply += errorMarker;
    reply += '#';
    return reply;
}

BusDevice *PassThroughBus::device(std::uint8_t address)
{
    switch (address) {
    case azimuthMotor:
        return &m_azimuthMotor;
    case altitudeMotor:
        return &m_altitudeMotor;
    case gps:
        return m_gpsPresent ? &m_gps : nullptr;
    case clock:
        return m_clockPresent ? &m_clock : nullptr;
    default:
        return nullptr;
    }
}

} // namespace tqx
