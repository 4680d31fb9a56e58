#include "emulation/MountModels.h"

#include "emulation/HandControlSettings.h"

#include <algorithm>
#include <array>

namespace tqx {

namespace {

constexpr bool equatorial = true;
constexpr bool altAzimuth = false;
constexpr bool pec = true;
constexpr bool noPec = false;
constexpr bool switches = true;
constexpr bool noSwitches = false;

constexpr std::array<MountModel, 23> binaryFamily {{
        {1, "large fork-arm alt-azimuth mount with GPS", altAzimuth, pec, noSwitches},
        {3, "fork-arm alt-azimuth mount", altAzimuth, noPec, noSwitches},
        {4, "fork-arm alt-azimuth mount, special edition", altAzimuth, noPec, noSwitches},
        {5, "heavy German equatorial mount", equatorial, pec, noSwitches},
        {6, "medium German equatorial mount", equatorial, noPec, noSwitches},
        {7, "small single-arm alt-azimuth mount", altAzimuth, noPec, noSwitches},
        {9, "dual fork-arm alt-azimuth mount with GPS", altAzimuth, pec, noSwitches},
        {10, "small single-arm alt-azimuth mount, entry level", altAzimuth, noPec, noSwitches},
        {11, "single-arm alt-azimuth mount for small tubes", altAzimuth, noPec, noSwitches},
        {12, "single-arm alt-azimuth mount for larger tubes", altAzimuth, noPec, noSwitches},
        {13, "German equatorial mount with periodic-error correction", equatorial, pec, noSwitches},
        {14, "German equatorial mount with periodic-error correction", equatorial, pec, noSwitches},
        {15, "alt-azimuth mount", altAzimuth, noPec, noSwitches},
        {16, "alt-azimuth mount", altAzimuth, noPec, noSwitches},
        {17, "alt-azimuth mount with periodic-error correction", altAzimuth, pec, noSwitches},
        {18, "alt-azimuth mount", altAzimuth, noPec, noSwitches},
        {19, "alt-azimuth mount", altAzimuth, noPec, noSwitches},
        {20, "German equatorial mount with periodic-error correction", equatorial, pec, noSwitches},
        {21, "alt-azimuth mount", altAzimuth, noPec, noSwitches},
        {22, "alt-azimuth mount with periodic-error correction", altAzimuth, pec, noSwitches},
        {23, "German equatorial mount with home switches", equatorial, pec, switches},
        {24, "German equatorial mount with home switches", equatorial, pec, switches},
        {25, "alt-azimuth mount", altAzimuth, noPec, noSwitches},
}};

constexpr std::array<MountModel, 6> hexFamily {{
        {0, "equatorial mount", equatorial, noPec, noSwitches},
        {1, "equatorial mount", equatorial, noPec, noSwitches},
        {4, "equatorial mount", equatorial, noPec, noSwitches},
        {5, "alt-azimuth mount", altAzimuth, noPec, noSwitches},
        {0x80, "alt-azimuth mount", altAzimuth, noPec, noSwitches},
        {0x90, "alt-azimuth mount", altAzimuth, noPec, noSwitches},
}};

} // namespace

std::span<const MountModel> mountModels(VersionFormat format)
{
    if (format == VersionFormat::Hex)
        return hexFamily;
    return binaryFamily;
}

const MountModel *findMountModel(VersionFormat format, std::uint8_t number)
{
    const std::span<const MountModel> models = mountModels(format);
    const auto found = std::find_if(models.begin(), models.end(), [&](const MountModel &model) {
        return model.number == number;
    });
    return found == models.end() ? nullptr : &*found;
}

MountModel mountModelOrDefault(VersionFormat format, std::uint8_t number)
{
    if (const MountModel *model = findMountModel(format, number))
        return *model;
    const bool hex = format == VersionFormat::Hex;
    return {number, hex ? "unknown equatorial mount" : "unknown fork mount", hex, noPec,
            noSwitches};
}

} // namespace tqx
