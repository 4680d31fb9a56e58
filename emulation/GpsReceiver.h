#pragma once

#include "emulation/BusDevice.h"
#include "emulation/DateTimeStore.h"
#include "emulation/SiteLocation.h"

namespace tqx {

// The GPS accessory (bus device 176). It reports the hand control's stored site and its clock in
// universal time, as if it had a fix at the site the user entered.
class GpsReceiver : public BusDevice
{
public:
    static constexpr std::array<std::uint8_t, 2> firmwareVersion {1, 6};

    GpsReceiver(const SiteLocation &site, const DateTimeStore &clock);

    std::optional<Bytes> answer(const Request &request) override;

private:
    const SiteLocation &m_site;
    const DateTimeStore &m_clock;
};

} // namespace tqx
