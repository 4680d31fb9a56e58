#include "emulation/HexPosition.h"

namespace tqx {

namespace {

// Writes `digits` upper-case hexadecimal digits of the value at `at` and returns the end.
char *writeHex(char *at, std::uint32_t value, int digits)
{
    static constexpr char hexDigits[] = "0123456789ABCDEF";
    for (int shift = (digits - 1) * 4; shift >= 0; shift -= 4)
        *at++ = hexDigits[(value >> shift) & 0xF];
    return at;
}

// "first,second#" with `digits` digits per field, built in place and assigned in one go because
// a position query is the exchange clients repeat most.
void encodePair(std::uint32_t first, std::uint32_t second, int digits, Bytes &out)
{
    char text[18];
    char *end = writeHex(text, first, digits);
    *end++ = ',';
    end = writeHex(end, second, digits);
    *end++ = '#';
    out.assign(text, static_cast<std::size_t>(end - text));
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

void HexPosition::encode16(MountPosition::Pair pair, Bytes &out)
{
    encodePair(pair.first >> 16, pair.second >> 16, 4, out);
}

void HexPosition::encode32(MountPosition::Pair pair, Bytes &out)
{
    encodePair(pair.first & 0xFFFFFF00, pair.second & 0xFFFFFF00, 8, out);
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
