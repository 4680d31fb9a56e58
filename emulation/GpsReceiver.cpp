#include "emulation/GpsReceiver.h"

#include "emulation/BusCommandTable.h"

namespace tqx {

using namespace GpsCommand;

GpsReceiver::GpsReceiver(const SiteLocation &site, const DateTimeStore &clock)
    : m_site(site)
    , m_clock(clock)
{
}

std::optional<Bytes> GpsReceiver::answer(const Request &request)
{
    switch (request.command) {
    case GetLatitude:
        return m_site.latitude24();
    case GetLongitude:
        return m_site.longitude24();
    case GetDate: {
        const CivilDateTime now = m_clock.universal();
        return bytesOf({now.month, now.day});
    }
    case GetYear: {
        const CivilDateTime now = m_clock.universal();
        return bytesOf({now.year >> 8, now.year});
    }
    case GetTime: {
        const CivilDateTime now = m_clock.universal();
        return bytesOf({now.hour, now.minute, now.second});
    }
    case IsLinked:
        return bytesOf({1});
    case versionCommand:
        return Bytes(firmwareVersion.begin(), firmwareVersion.end());
    default:
        return std::nullopt;
    }
}

} // namespace tqx
