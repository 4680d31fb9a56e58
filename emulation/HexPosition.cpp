#include "emulation/HexPosition.h"

namespace tqx {

namespace {

void appendHex(Bytes &text, std::uint32_t value, int digits)
{
    static constexpr char hexDigits[] = "0123456789ABCDEF";
    for (int shift = (digits - 1) * 4; shift >= 0; shift -= 4)
        text += hexDigits[(value >> shift) & 0xF];
}

std::optional<std::uint32_t> parseHex(std::string_view digits)
{
    std::uint32_t value = 0;
    for (char digit : digits) {
        int nibble;
        if (digit >= '0' && digit <= '9')
            nibble = digit - '0';
        else if (digit >= 'A' && digit <= 'F')
            nibble = digit - 'A' + 10;
        else if (digit >= 'a' && digit <= 'f')
            nibble = digit - 'a' + 10;
        else
            return std::nullopt;
        value = value << 4 | static_cast<std::uint32_t>(nibble);
    }
    return value;
}

std::optional<MountPosition::Pair> decodePair(std::string_view argument, std::size_t digits)
{
    if (argument.size() != 2 * digits + 1 || argument[digits] != ',')
        return std::nullopt;
    const auto first = parseHex(argument.substr(0, digits));
    const auto second = parseHex(argument.substr(digits + 1));
    if (!first || !second)
        return std::nullopt;
    return MountPosition::Pair {*first, *second};
}

} // namespace

Bytes HexPosition::encode16(MountPosition::Pair pair)
{
    Bytes text;
    text.reserve(10);
    appendHex(text, pair.first >> 16, 4);
    text += ',';
    appendHex(text, pair.second >> 16, 4);
    text += '#';
    return text;
}

Bytes HexPosition::encode32(MountPosition::Pair pair)
{
    Bytes text;
    text.reserve(18);
    appendHex(text, pair.first & 0xFFFFFF00, 8);
    text += ',';
    appendHex(text, pair.second & 0xFFFFFF00, 8);
    text += '#';
    return text;
}

std::optional<MountPosition::Pair> HexPosition::decode16(std::string_view argument)
{
    const auto pair = decodePair(argument, 4);
    if (!pair)
        return std::nullopt;
    return MountPosition::Pair {pair->first << 16, pair->second << 16};
}

std::optional<MountPosition::Pair> HexPosition::decode32(std::string_view argument)
{
    const auto pair = decodePair(argument, 8);
    if (!pair)
        return std::nullopt;
    return MountPosition::Pair {pair->first & 0xFFFFFF00, pair->second & 0xFFFFFF00};
}

} // namespace tqx
