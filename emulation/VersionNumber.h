#pragma once

#include "emulation/Bytes.h"

#include <cstdint>
#include <optional>
#include <string_view>
#include <vector>

namespace tqx {

// A hand-control firmware version written as two or three dot-separated numbers from 0 to 255:
// "4.21" or "4.39.07".
class VersionNumber
{
public:
    static std::optional<VersionNumber> parse(std::string_view text);

    // One binary byte per number, then "#": "4.21" gives 0x04 0x15 "#".
    Bytes binaryReply() const;
    // Two upper-case hexadecimal digits each for major, minor and patch, then "#": "4.39.07"
    // gives "042707#"; a version without a patch number sends patch 00.
    Bytes hexReply() const;

    bool isAtLeast(int major, int minor) const;

private:
    std::vector<std::uint8_t> m_numbers;
};

} // namespace tqx
