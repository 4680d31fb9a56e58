#pragma once

#include "emulation/BusDevice.h"
#include "emulation/DateTimeStore.h"

namespace tqx {

// The real-time clock (bus device 178): the hand control's own clock, read and set in local time.
class RealTimeClock : public BusDevice
{
public:
    static constexpr std::array<std::uint8_t, 2> firmwareVersion {1, 0};

    explicit RealTimeClock(DateTimeStore &clock);

    std::optional<Bytes> answer(const Request &request) override;

private:
    DateTimeStore &m_clock;
};

} // namespace tqx
