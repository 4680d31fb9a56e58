#include "emulation/Sexagesimal.h"

#include "emulation/Angles.h"

#include <array>
#include <cmath>
#include <cstdio>
#include <cstdlib>

namespace tqx {

namespace {

// Angles are handled as whole hundredths of a second of time or of arc.
constexpr std::int64_t perSecond = 100;
constexpr std::int64_t perMinute = 60 * perSecond;
constexpr std::int64_t perUnit = 60 * perMinute; // an hour or a degree

std::int64_t perTurn(AngleStyle style)
{
    return style == AngleStyle::Hours ? 24 * perUnit : 360 * perUnit;
}

// Hundredths within one turn: 0 up to a turn, or for signed angles from minus to plus half a turn.
std::int64_t wrapped(std::int64_t hundredths, AngleStyle style)
{
    const std::int64_t turn = perTurn(style);
    std::int64_t value = hundredths % turn;
    if (value < 0)
        value += turn;
    if (style == AngleStyle::SignedDegrees && value > turn / 2)
        value -= turn;
    return value;
}

std::string formatHundredths(std::int64_t hundredths, AngleStyle style, int decimals)
{
    const std::int64_t value = wrapped(hundredths, style);
    const std::int64_t magnitude = std::llabs(value);
    const auto units = static_cast<long long>(magnitude / perUnit);
    const auto minutes = static_cast<long long>(magnitude % perUnit / perMinute);
    const auto seconds = static_cast<long long>(magnitude % perMinute / perSecond);
    const auto fraction = static_cast<long long>(magnitude % perSecond);
    char secondsText[16];
    if (decimals <= 0)
        std::snprintf(secondsText, sizeof secondsText, "%02lld", seconds);
    else if (decimals == 1)
        std::snprintf(secondsText, sizeof secondsText, "%02lld.%01lld", seconds, fraction / 10);
    else
        std::snprintf(secondsText, sizeof secondsText, "%02lld.%02lld", seconds, fraction);

    char text[48];
    switch (style) {
    case AngleStyle::Hours:
        std::snprintf(text, sizeof text, "%02lldh%02lldm%ss", units, minutes, secondsText);
        break;
    case AngleStyle::Degrees:
        std::snprintf(text, sizeof text, "%03lld %02lld'%s\"", units, minutes, secondsText);
        break;
    case AngleStyle::SignedDegrees:
        std::snprintf(text, sizeof text, "%c%02lld %02lld'%s\"", value < 0 ? '-' : '+', units,
                      minutes, secondsText);
        break;
    }
    return text;
}

std::int64_t pow10(int exponent)
{
    std::int64_t value = 1;
    for (int i = 0; i < exponent; ++i)
        value *= 10;
    return value;
}

} // namespace

std::string formatAngle(double radians, AngleStyle style, int decimals)
{
    if (!std::isfinite(radians))
        return "?";
    decimals = decimals < 0 ? 0 : decimals > 2 ? 2 : decimals;
    const double turns = std::remainder(radians / fullTurn, 1.0);
    const std::int64_t step = pow10(2 - decimals);
    const double inSteps = turns * static_cast<double>(perTurn(style)) / static_cast<double>(step);
    return formatHundredths(std::llround(inSteps) * step, style, decimals);
}

std::string formatPositionField(std::uint32_t fraction32, int significantBits, AngleStyle style)
{
    significantBits = significantBits < 1 ? 1 : significantBits > 32 ? 32 : significantBits;
    const double width = std::ldexp(1.0, 32 - significantBits);
    const std::uint32_t kept = significantBits == 32
            ? fraction32
            : fraction32 & ~static_cast<std::uint32_t>(width - 1);
    const double value = style == AngleStyle::SignedDegrees
            ? static_cast<double>(static_cast<std::int32_t>(kept))
            : static_cast<double>(kept);
    // A truncating encoder sent [value, value + width), a rounding one [value - width / 2,
    // value + width / 2): every angle in their union encodes to the field one way or the other.
    const double scale = static_cast<double>(perTurn(style)) / 4294967296.0;
    const double from = (value - width / 2) * scale;
    const double to = (value + width) * scale;
    const double middle = (value + width / 4) * scale;

    // From the coarsest step to the finest: whole hours or degrees, minutes, seconds, tenths,
    // hundredths. The first step that has a multiple inside the range gives the one nearest its
    // middle.
    constexpr std::array<std::int64_t, 5> steps {perUnit, perMinute, perSecond, 10, 1};
    for (const std::int64_t step : steps) {
        const auto size = static_cast<double>(step);
        std::int64_t candidate = std::llround(middle / size) * step;
        if (static_cast<double>(candidate) < from || static_cast<double>(candidate) >= to)
            candidate = static_cast<std::int64_t>(std::ceil(from / size)) * step;
        if (static_cast<double>(candidate) < to)
            return formatHundredths(candidate, style, step >= perSecond ? 0 : step == 10 ? 1 : 2);
    }
    return formatHundredths(std::llround(middle), style, 2);
}

} // namespace tqx
