#include "emulation/HandControlSettings.h"

#include "emulation/VersionNumber.h"

#include <algorithm>
#include <iterator>

namespace tqx {

std::uint8_t HandControlSettings::modelByte() const
{
    if (model)
        return *model;
    return versionFormat == VersionFormat::Binary ? equatorialModelBinary : equatorialModelHex;
}

bool HandControlSettings::isEquatorialMount() const
{
    const std::uint8_t byte = modelByte();
    if (versionFormat == VersionFormat::Hex)
        return byte != 5 && byte != 0x80 && byte != 0x90;
    constexpr std::uint8_t altAzimuthModels[] = {1, 3, 4, 7, 9, 10, 11, 12};
    return std::find(std::begin(altAzimuthModels), std::end(altAzimuthModels), byte)
            == std::end(altAzimuthModels);
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
        return "The slew rate must be from 0.1 to 90 degrees per second.";
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
