#pragma once

#include "emulation/Bytes.h"
#include "emulation/MountPosition.h"

#include <optional>
#include <string_view>

namespace tqx {

// The ASCII-hexadecimal position pairs of E/e/Z/z and R/r/B/b/S/s: "XXXX,YYYY" with 16-bit
// fields, or "XXXXXXXX,YYYYYYYY" with 32-bit fields of which the hand control uses the upper 24
// bits only.
class HexPosition
{
public:
    // The reply to a position query, "#" included, replacing the contents of `out`. 32-bit fields
    // always end in "00".
    static void encode16(MountPosition::Pair pair, Bytes &out);
    static void encode32(MountPosition::Pair pair, Bytes &out);

    // The argument of a goto or sync (the bytes after the command letter). Digits may be upper or
    // lower case; the low byte of a 32-bit field is ignored. Anything else is not a position.
    static std::optional<MountPosition::Pair> decode16(std::string_view argument);
    static std::optional<MountPosition::Pair> decode32(std::string_view argument);
};

} // namespace tqx
