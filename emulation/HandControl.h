#pragma once

#include "emulation/Clocks.h"
#include "emulation/DateTimeStore.h"
#include "emulation/FullCommandTable.h"
#include "emulation/HandControlSettings.h"
#include "emulation/MountPosition.h"
#include "emulation/PassThroughBus.h"
#include "emulation/SiteLocation.h"

#include <string_view>

namespace tqx {

// The full profile's hand control: answers one complete top-level command from its settings,
// the mount position, the stored site and clock, and the devices on its bus.
class HandControl
{
public:
    explicit HandControl(const Clocks &clocks);

    // False, and nothing changed, when the version text is not a version or the mount settings
    // are out of bounds (see HandControlSettings::versionError and mountError). A site that
    // differs from the previous settings' replaces the stored one.
    bool setSettings(const HandControlSettings &settings);
    const HandControlSettings &settings() const { return m_settings; }

    // The command the byte begins for this firmware, or nullptr when the hand control does not
    // answer it.
    const FullCommand *commandStartingWith(char firstByte) const;
    // The reply to a complete command, into `out` (whose storage is reused from reply to reply):
    // `bytes` holds exactly command.length bytes.
    void reply(const FullCommand &command, std::string_view bytes, Bytes &out);

    MountPosition &mount() { return m_mount; }
    const SiteLocation &site() const { return m_site; }
    const DateTimeStore &dateTime() const { return m_dateTime; }
    const MountPosition &mount() const { return m_mount; }
    bool isFirmware528() const { return m_isFirmware528; }
    // The stored date and time as "h" answers it, or as "i" with the zone in quarter hours.
    Bytes dateTimeReply(bool zoneInQuarterHours) const;

private:
    void positionReply(FullAction action, Bytes &out) const;
    void configureMount();
    // The settings' site replaces the stored one.
    void useSiteOf(const HandControlSettings &settings);
    void moveTo(FullAction action, std::string_view argument);
    void setDateTime(std::string_view argument, bool zoneInQuarterHours);

    HandControlSettings m_settings;
    Bytes m_versionReply;
    bool m_isFirmware528 = false;
    SiteLocation m_site;
    DateTimeStore m_dateTime;
    MountPosition m_mount;
    PassThroughBus m_bus;
};

} // namespace tqx
