#include "emulation/HandControl.h"

#include "emulation/Angles.h"
#include "emulation/HexPosition.h"
#include "emulation/VersionNumber.h"

#include <cmath>

namespace tqx {

namespace {

using enum FullAction;

constexpr std::uint8_t altAzimuthTracking = 1;

std::uint8_t byteAt(std::string_view bytes, std::size_t index)
{
    return static_cast<std::uint8_t>(bytes[index]);
}

} // namespace

HandControl::HandControl(const Clocks &clocks)
    : m_dateTime(clocks)
    , m_mount(clocks, m_dateTime, m_site)
    , m_bus(m_mount, m_site, m_dateTime)
{
    setSettings(m_settings);
    useSiteOf(m_settings);
}

bool HandControl::setSettings(const HandControlSettings &settings)
{
    const std::optional<VersionNumber> version = VersionNumber::parse(settings.version);
    if (!version || !settings.mountError().empty())
        return false;
    const bool siteChanged = settings.siteLatitude != m_settings.siteLatitude
            || settings.siteLongitude != m_settings.siteLongitude;
    m_settings = settings;
    if (siteChanged)
        useSiteOf(settings);
    configureMount();
    m_versionReply = settings.versionFormat == VersionFormat::Binary ? version->binaryReply()
                                                                     : version->hexReply();
    m_isFirmware528 = version->isAtLeast(5, 28);
    m_bus.setAccessories(settings.gpsPresent, settings.clockPresent);
    return true;
}

void HandControl::useSiteOf(const HandControlSettings &settings)
{
    m_site.set(SiteLocation::fromDegrees(settings.siteLatitude, settings.siteLongitude));
    m_mount.siteChanged();
}

void HandControl::configureMount()
{
    MountConfiguration configuration;
    const MountModel model = m_settings.mountModel();
    configuration.equatorial = model.equatorial;
    configuration.periodicErrorCorrection = model.periodicErrorCorrection;
    configuration.homeSwitches = model.homeSwitches;
    configuration.periodicErrorAmplitude = m_settings.periodicError * radiansPerArcsecond;
    configuration.wormPeriodMs = std::llround(m_settings.wormPeriod * 1000);
    configuration.switchPosition = m_settings.switchPosition * radiansPerDegree;
    configuration.j2000 = m_settings.usesJ2000();
    // The final approach covers half a degree at an eighth of the slew rate.
    const double fast = m_settings.slewRate * radiansPerDegree;
    configuration.rates = {fast, fast / 8, 0.5 * radiansPerDegree};
    m_mount.configure(configuration);
}

const FullCommand *HandControl::commandStartingWith(char firstByte) const
{
    const FullCommand *command = findFullCommand(firstByte);
    if (command && command->needsFirmware528 && !m_isFirmware528)
        return nullptr;
    return command;
}

CommandResponder::Recognition HandControl::recognise(std::string_view pending) const
{
    if (pending.empty())
        return {Verdict::Incomplete};
    const FullCommand *command = commandStartingWith(pending.front());
    if (!command)
        return {Verdict::NotACommand};
    if (pending.size() < command->length)
        return {Verdict::Incomplete};
    return {Verdict::Complete, command->length};
}

void HandControl::reply(std::string_view bytes, Bytes &out)
{
    const FullCommand *command = bytes.empty() ? nullptr : commandStartingWith(bytes.front());
    if (!command || bytes.size() != command->length) {
        out.clear();
        return;
    }
    const std::string_view argument = bytes.substr(1);
    switch (command->action) {
    case GetRaDec16:
        HexPosition::encode16(m_mount.raDec(), out);
        break;
    case GetRaDec32:
        HexPosition::encode32(m_mount.raDec(), out);
        break;
    case GetAzmAlt16:
        HexPosition::encode16(m_mount.azmAlt(), out);
        break;
    case GetAzmAlt32:
        HexPosition::encode32(m_mount.azmAlt(), out);
        break;
    // A goto whose target is not a position, or a goto or sync in right ascension and declination
    // on a mount that is not aligned, leaves the mount where it is: the hand control answers "#"
    // either way, as it does for a target beyond the slew limits.
    case GotoRaDec16:
    case GotoRaDec32:
        if (const std::optional<MountPosition::Pair> target = targetOf(argument);
            target && m_settings.aligned)
            m_mount.gotoRaDec(*target);
        out = "#";
        break;
    case GotoAzmAlt16:
    case GotoAzmAlt32:
        if (const std::optional<MountPosition::Pair> target = targetOf(argument))
            m_mount.gotoAzmAlt(*target);
        out = "#";
        break;
    case SyncRaDec16:
    case SyncRaDec32:
        if (const std::optional<MountPosition::Pair> target = targetOf(argument);
            target && m_settings.aligned)
            m_mount.syncRaDec(*target);
        out = "#";
        break;
    case CancelGoto:
        m_mount.cancelGoto();
        out = "#";
        break;
    case IsGotoInProgress:
        out = m_mount.gotoInProgress() ? "1#" : "0#";
        break;
    case IsAligned:
        out = bytesOf({m_settings.aligned ? 1 : 0, '#'});
        break;
    case Echo:
        out = Bytes {argument[0], '#'};
        break;
    case Version:
        out = m_versionReply;
        break;
    case Variant:
        out = bytesOf({m_settings.variant, '#'});
        break;
    case Model:
        out = bytesOf({m_settings.modelByte(), '#'});
        break;
    case GetTracking:
        out = bytesOf({m_mount.trackingMode(), '#'});
        break;
    case SetTracking:
        // Alt-azimuth tracking needs an aligned mount; the hand control still answers "#".
        if (m_settings.aligned || byteAt(argument, 0) != altAzimuthTracking)
            m_mount.setTrackingMode(byteAt(argument, 0));
        out = "#";
        break;
    case GetSite: {
        const SiteLocation::Layout &site = m_site.bytes();
        out = Bytes(site.begin(), site.end()) + '#';
        break;
    }
    case SetSite: {
        SiteLocation::Layout site;
        for (std::size_t i = 0; i < site.size(); ++i)
            site[i] = byteAt(argument, i);
        m_site.set(site);
        m_mount.siteChanged();
        out = "#";
        break;
    }
    case GetDateTime:
    case GetDateTimeQuarterHourZone:
        out = dateTimeReply(command->action == GetDateTimeQuarterHourZone);
        break;
    case SetDateTime:
    case SetDateTimeQuarterHourZone:
        setDateTime(argument, command->action == SetDateTimeQuarterHourZone);
        out = "#";
        break;
    case PointingSide:
        out = Bytes {m_mount.pointingSide(), '#'};
        break;
    case Hibernate:
    case WakeUp:
    case LoneQuestionMark:
        out = "#";
        break;
    case PassThrough:
        out = m_bus.reply(bytes);
        break;
    }
}

std::optional<MountPosition::Pair> HandControl::targetOf(std::string_view argument)
{
    const bool sixteenBit = argument.size() == 9;
    return sixteenBit ? HexPosition::decode16(argument) : HexPosition::decode32(argument);
}

// Hour, minute, second, month, day, year - 2000, offset from UTC (whole hours, or quarter hours
// for "i"; two's complement), daylight-saving flag, "#".
Bytes HandControl::dateTimeReply(bool zoneInQuarterHours) const
{
    const CivilDateTime local = m_dateTime.local();
    const int quarters = m_dateTime.zoneQuarterHours();
    return bytesOf({local.hour, local.minute, local.second, local.month, local.day,
                    local.year - 2000, zoneInQuarterHours ? quarters : quarters / 4,
                    m_dateTime.daylightSaving(), '#'});
}

void HandControl::setDateTime(std::string_view argument, bool zoneInQuarterHours)
{
    const CivilDateTime local {2000 + byteAt(argument, 5), byteAt(argument, 3),
                               byteAt(argument, 4),        byteAt(argument, 0),
                               byteAt(argument, 1),        byteAt(argument, 2)};
    const int zone = static_cast<std::int8_t>(byteAt(argument, 6));
    m_dateTime.set(local, zoneInQuarterHours ? zone : zone * 4, byteAt(argument, 7));
}

} // namespace tqx
