#pragma once

#include "emulation/Clocks.h"
#include "emulation/CommandResponder.h"
#include "emulation/DateTimeStore.h"
#include "emulation/FullCommandTable.h"
#include "emulation/HandControlSettings.h"
#include "emulation/MountPosition.h"
#include "emulation/PassThroughBus.h"
#include "emulation/SiteLocation.h"

#include <optional>
#include <string_view>

namespace tqx {

// The full profile's hand control: answers one complete top-level command from its settings,
// the mount position, the stored site and clock, and the devices on its bus. Every command has a
// fixed length, so it recognises a command from its first byte alone.
class HandControl : public CommandResponder
{
public:
    explicit HandControl(const Clocks &clocks);

    // False, and nothing changed, when the version text is not a version or the mount settings
    // are out of bounds (see HandControlSettings::versionError and mountError). A site that
    // differs from the previous settings' replaces the stored one.
    bool setSettings(const HandControlSettings &settings);
    const HandControlSettings &settings() const { return m_settings; }

    // A byte that begins no command of this firmware is not a command, whatever follows it.
    Recognition recognise(std::string_view pending) const override;
    void reply(std::string_view command, Bytes &out) override;

    const SiteLocation &site() const { return m_site; }
    const DateTimeStore &dateTime() const { return m_dateTime; }
    const MountPosition &mount() const { return m_mount; }
    // For those who move the mount without a command on the line (the control channel).
    MountPosition &mount() { return m_mount; }
    bool isFirmware528() const { return m_isFirmware528; }
    // The stored date and time as "h" answers it, or as "i" with the zone in quarter hours.
    Bytes dateTimeReply(bool zoneInQuarterHours) const;

private:
    // The command the byte begins for this firmware, or nullptr when the hand control does not
    // answer it.
    const FullCommand *commandStartingWith(char firstByte) const;
    // The position a goto or sync names, when it is one.
    static std::optional<MountPosition::Pair> targetOf(std::string_view argument);
    void configureMount();
    // The settings' site replaces the stored one.
    void useSiteOf(const HandControlSettings &settings);
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
