#include "emulation/RealTimeClock.h"

#include "emulation/BusCommandTable.h"

namespace tqx {

using namespace ClockCommand;

RealTimeClock::RealTimeClock(DateTimeStore &clock)
    : m_clock(clock)
{
}

std::optional<Bytes> RealTimeClock::answer(const Request &request)
{
    CivilDateTime now = m_clock.local();
    const auto &data = request.data;
    switch (request.command) {
    case GetDate:
        return bytesOf({now.month, now.day});
    case GetYear:
        return bytesOf({now.year >> 8, now.year});
    case GetTime:
        return bytesOf({now.hour, now.minute, now.second});
    case SetDate:
        now.month = data[0];
        now.day = data[1];
        break;
    case SetYear:
        now.year = data[0] << 8 | data[1];
        break;
    case SetTime:
        now.hour = data[0];
        now.minute = data[1];
        now.second = data[2];
        break;
    case versionCommand:
        return Bytes(firmwareVersion.begin(), firmwareVersion.end());
    default:
        return std::nullopt;
    }
    m_clock.setLocal(now);
    return Bytes();
}

} // namespace tqx
