#include "emulation/VersionNumber.h"

namespace tqx {

std::optional<VersionNumber> VersionNumber::parse(std::string_view text)
{
    VersionNumber version;
    std::size_t at = 0;
    while (true) {
        const std::size_t dot = text.find('.', at);
        const std::string_view part
                = text.substr(at, dot == std::string_view::npos ? dot : dot - at);
        if (part.empty() || part.size() > 3)
            return std::nullopt;
        int value = 0;
        for (char digit : part) {
            if (digit < '0' || digit > '9')
                return std::nullopt;
            value = value * 10 + (digit - '0');
        }
        if (value > 255)
            return std::nullopt;
        version.m_numbers.push_back(static_cast<std::uint8_t>(value));
        if (dot == std::string_view::npos)
            break;
        at = dot + 1;
    }
    if (version.m_numbers.size() < 2 || version.m_numbers.size() > 3)
        return std::nullopt;
    return version;
}

Bytes VersionNumber::binaryReply() const
{
    Bytes reply(m_numbers.begin(), m_numbers.end());
    reply += '#';
    return reply;
}

Bytes VersionNumber::hexReply() const
{
    static constexpr char digits[] = "0123456789ABCDEF";
    Bytes reply;
    for (std::size_t i = 0; i < 3; ++i) {
        const std::uint8_t number = i < m_numbers.size() ? m_numbers[i] : 0;
        reply += digits[number >> 4];
        reply += digits[number & 0x0F];
    }
    reply += '#';
    return reply;
}

bool VersionNumber::isAtLeast(int major, int minor) const
{
    if (m_numbers[0] != major)
        return m_numbers[0] > major;
    return m_numbers[1] >= minor;
}

} // namespace tqx
