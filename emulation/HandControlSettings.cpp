#include "emulation/HandControlSettings.h"

#include "emulation/VersionNumber.h"

#include <cstdio>

namespace tqx {

namespace {

// A bound as the user typed it: 0.1, 90, 3600.
std::string boundText(double bound)
{
    char text[32];
    std::snprintf(text, sizeof text, "%g", bound);
    return text;
}

} // namespace

std::uint8_t HandControlSettings::modelByte() const
{
    if (model)
        return *model;
    return versionFormat == VersionFormat::Binary ? equatorialModelBinary : equatorialModelHex;
}

MountModel HandControlSettings::mountModel() const
{
    return mountModelOrDefault(versionFormat, modelByte());
}

bool HandControlSettings::usesJ2000() const
{
    if (epoch == CoordinateEpoch::Automatic)
        return versionFormat == VersionFormat::Hex;
    return epoch == CoordinateEpoch::J2000;
}

std::string HandControlSettings::mountError() const
{
    if (!(siteLatitude >= -90 && siteLatitude <= 90))
        return "The latitude must be from -90 to 90 degrees.";
    if (!(siteLongitude >= -180 && siteLongitude <= 180))
        return "The longitude must be from -180 to 180 degrees.";
    if (!(slewRate >= minSlewRate && slewRate <= maxSlewRate))
        return "The slew rate must be from " + boundText(minSlewRate) + " to "
                + boundText(maxSlewRate) + " degrees per second.";
    if (!(periodicError >= 0 && periodicError <= maxPeriodicError))
        return "The periodic error must be from 0 to " + boundText(maxPeriodicError)
                + " seconds of arc.";
    if (!(wormPeriod >= minWormPeriod && wormPeriod <= maxWormPeriod))
        return "The worm period must be from " + boundText(minWormPeriod) + " to "
                + boundText(maxWormPeriod) + " seconds.";
    if (!(switchPosition >= 0 && switchPosition < 360))
        return "The switch position must be from 0 to less than 360 degrees.";
    return {};
}

std::string HandControlSettings::versionError(std::string_view text)
{
    if (VersionNumber::parse(text))
        return {};
    return "\"" + std::string(text)
            + "\" is not a version such as 4.21 or 4.39.07: two or three numbers from 0 to 255, "
              "separated by dots.";
}

} // namespace tqx
