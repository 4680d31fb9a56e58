#include "emulation/GpsReceiver.h"

namespace tqx {

namespace {

enum Command : std::uint8_t {
    GetLatitude = 1,
    GetLongitude = 2,
    GetDate = 3,
    GetYear = 4,
    GetTime = 51,
    IsLinked = 55,
};

} // namespace

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
