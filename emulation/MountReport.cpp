#include "emulation/MountReport.h"

#include "emulation/Angles.h"
#include "emulation/CommandInterpreter.h"
#include "emulation/ExchangeDecoder.h"
#include "emulation/HexPosition.h"
#include "emulation/Sexagesimal.h"

#include <cmath>
#include <cstdio>

namespace tqx {

namespace {

constexpr double twoTo32 = 4294967296.0;

std::string pairText(const char *first, AngleStyle firstStyle, SkyAngles angles)
{
    return std::string(first) + ' ' + formatAngle(angles.first, firstStyle) + ' '
            + (firstStyle == AngleStyle::Degrees ? "Alt " : "Dec ")
            + formatAngle(angles.second, AngleStyle::SignedDegrees);
}

std::string remainingText(double radians)
{
    char text[32];
    const double degrees = radians / radiansPerDegree;
    if (degrees >= 1)
        std::snprintf(text, sizeof text, "%.2f deg", degrees);
    else
        std::snprintf(text, sizeof text, "%.1f'", degrees * 60);
    return text;
}

// The clock as "i" sends it, less its "#".
std::string clockText(const HandControl &handControl)
{
    const Bytes reply = handControl.dateTimeReply(true);
    return ExchangeDecoder::dateTime(std::string_view(reply).substr(0, reply.size() - 1));
}

std::string motionText(const MountPosition &mount,
                       const std::optional<MountPosition::GotoProgress> &progress,
                       std::int64_t utcMs)
{
    if (progress) {
        std::string target;
        switch (progress->frame) {
        case SkyFrame::Sky: {
            const SkyAngles reported = mount.configuration().j2000
                    ? mount.geometry().j2000FromDate(progress->target, utcMs)
                    : progress->target;
            target = pairText("RA", AngleStyle::Hours, reported);
            break;
        }
        case SkyFrame::Horizon:
            target = pairText("Az", AngleStyle::Degrees, progress->target);
            break;
        case SkyFrame::Equatorial:
            // The axis's first angle is minus the hour angle.
            target = pairText("HA", AngleStyle::Hours,
                              {-progress->target.first, progress->target.second});
            break;
        }
        return "slewing to " + target + ", " + remainingText(progress->remaining) + " to go";
    }
    if (mount.isSlewing())
        return "moving at a set rate";
    return mount.isTracking() ? "tracking" : "standing still";
}

std::string trackingRateText(TrackingRate rate)
{
    switch (rate) {
    case TrackingRate::Solar:
        return "solar";
    case TrackingRate::Lunar:
        return "lunar";
    case TrackingRate::Sidereal:
        break;
    }
    return "sidereal";
}

// Where a guide pulse on the axis moves the pointing; growing azimuth is to the right as seen
// from behind the tube.
std::string_view pulseDirection(const MountPosition &mount, MountPosition::Axis axis, bool positive)
{
    using Direction = MountPosition::Direction;
    switch (mount.positiveMotion(axis)) {
    case Direction::West:
        return positive ? "west" : "east";
    case Direction::East:
        return positive ? "east" : "west";
    case Direction::North:
        return positive ? "north" : "south";
    case Direction::South:
        return positive ? "south" : "north";
    case Direction::AzimuthGrowing:
        return positive ? "right" : "left";
    case Direction::Up:
        return positive ? "up" : "down";
    }
    return {};
}

// The guide pulses running: "north 50 % sidereal, 0.40 s to go", or both axes' in one line
// short enough for the view's column.
std::string guidingText(const MountPosition &mount)
{
    std::vector<std::string> directions;
    std::vector<std::string> remaining;
    for (const MountPosition::Axis axis :
         {MountPosition::Axis::Azimuth, MountPosition::Axis::Altitude}) {
        const std::optional<MountPosition::GuidePulseProgress> pulse
                = mount.guidePulseProgress(axis);
        if (!pulse)
            continue;
        char text[32];
        std::snprintf(text, sizeof text, " %.0f %%", std::abs(pulse->percentOfSidereal));
        directions.push_back(std::string(pulseDirection(mount, axis, pulse->percentOfSidereal >= 0))
                             + text);
        std::snprintf(text, sizeof text, "%.2f s", static_cast<double>(pulse->remainingMs) / 1000);
        remaining.push_back(text);
    }
    if (directions.empty())
        return "none";
    const auto joined = [](const std::vector<std::string> &parts) {
        return parts.size() == 1 ? parts[0] : parts[0] + " and " + parts[1];
    };
    return joined(directions) + " sidereal, " + joined(remaining) + " to go";
}

std::string periodicErrorText(const PeriodicErrorState &state)
{
    std::string text = state.seekingIndex ? "seeking the index"
            : state.indexFound            ? "index found"
                                          : "index not found";
    text += state.recording ? ", recording" : state.recorded ? ", recorded" : ", not recorded";
    text += state.playback ? ", playback on" : ", playback off";
    return text + ", bin " + std::to_string(state.bin);
}

MountReport fullReport(const HandControl &handControl)
{
    const MountPosition &mount = handControl.mount();
    const std::int64_t utcMs = handControl.dateTime().universalMs();
    const bool j2000 = mount.configuration().j2000;
    SkyAngles sky = mount.skyNow();
    if (j2000)
        sky = mount.geometry().j2000FromDate(sky, utcMs);
    const SkyAngles horizon = mount.horizonNow();
    const std::optional<MountPosition::GotoProgress> progress = mount.gotoProgress();

    MountReport report;
    std::string pierSide = "none: an alt-azimuth mount";
    if (mount.configuration().equatorial)
        pierSide = mount.pointingSide() == 'W'
                ? "W: west of the meridian (the tube east of the pier)"
                : "E: east of the meridian (the tube west of the pier)";
    const auto &site = handControl.site().bytes();
    report.rows = {
            {"Right ascension", formatAngle(sky.first, AngleStyle::Hours, 1)},
            {"Declination", formatAngle(sky.second, AngleStyle::SignedDegrees)},
            {"Coordinates", j2000 ? "J2000" : "of the date"},
            {"Azimuth", formatAngle(horizon.first, AngleStyle::Degrees)},
            {"Altitude", formatAngle(horizon.second, AngleStyle::SignedDegrees)},
            {"Tracking", ExchangeDecoder::trackingMode(mount.trackingMode())},
            {"Tracking rate", trackingRateText(mount.trackingRate())},
            {"Pier side", pierSide},
            {"Site",
             ExchangeDecoder::site(
                     std::string_view(reinterpret_cast<const char *>(site.data()), site.size()))},
            {"Clock", clockText(handControl)},
            {"Motion", motionText(mount, progress, utcMs)},
            {"Guiding", guidingText(mount)},
    };
    // Only the models that have it: a client offers the correction from the model byte.
    if (mount.configuration().periodicErrorCorrection)
        report.rows.push_back({"Periodic error", periodicErrorText(mount.periodicErrorState())});
    report.pointings = {{horizon.first, horizon.second, {}}};
    if (progress) {
        report.target = MountReport::Mark {
                progress->horizonTarget.first, progress->horizonTarget.second, {}};
        for (const SkyAngles &point : progress->horizonPath)
            report.path.push_back({point.first, point.second, {}});
    }
    return report;
}

// The basic profile keeps four positions as text, each set by its own goto; the picture marks the
// two azimuth/altitude ones that can be read.
void markStored(MountReport &report, const Bytes &text, bool precise, const char *label)
{
    const std::string_view fields = std::string_view(text).substr(
            0, text.size() - (text.empty() || text.back() != '#' ? 0 : 1));
    const std::optional<MountPosition::Pair> pair
            = precise ? HexPosition::decode32(fields) : HexPosition::decode16(fields);
    if (!pair)
        return;
    report.pointings.push_back({pair->first / twoTo32 * fullTurn,
                                static_cast<std::int32_t>(pair->second) / twoTo32 * fullTurn,
                                label});
}

MountReport basicReport(const MountState &mount)
{
    MountReport report;
    report.rows = {
            {"RA/Dec (E)", ExchangeDecoder::positionPair(mount.RaDec16, true)},
            {"RA/Dec (e)", ExchangeDecoder::positionPair(mount.RaDec32, true)},
            {"Az/Alt (Z)", ExchangeDecoder::positionPair(mount.AzmAlt16, false)},
            {"Az/Alt (z)", ExchangeDecoder::positionPair(mount.AzmAlt32, false)},
            {"Motion", "none: a goto stores its position at once"},
    };
    markStored(report, mount.AzmAlt32, true, "z");
    markStored(report, mount.AzmAlt16, false, "Z");
    return report;
}

} // namespace

MountReport MountReport::of(const CommandInterpreter &interpreter)
{
    return interpreter.profile() == Profile::Full ? fullReport(interpreter.handControl())
                                                  : basicReport(interpreter.mount());
}

} // namespace tqx
