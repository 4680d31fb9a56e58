#include "emulation/HandControlSettings.h"

#include "emulation/VersionNumber.h"

namespace tqx {

std::uint8_t HandControlSettings::modelByte() const
{
    if (model)
        return *model;
    return versionFormat == VersionFormat::Binary ? equatorialModelBinary : equatorialModelHex;
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
