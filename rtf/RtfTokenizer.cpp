#include "rtf/RtfTokenizer.h"

#include <algorithm>
#include <cstdint>
#include <limits>

namespace tqx {

namespace {

bool isLetter(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }

bool isDigit(char c) { return c >= '0' && c <= '9'; }

int hexValue(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

bool isLineBreak(char c) { return c == '\r' || c == '\n'; }

RtfToken makeToken(RtfTokenType type, std::string_view text = {})
{
    RtfToken token;
    token.type = type;
    token.text = text;
    return token;
}

RtfToken symbolToken(char symbol)
{
    RtfToken token = makeToken(RtfTokenType::ControlSymbol);
    token.symbol = symbol;
    return token;
}

} // namespace

RtfToken RtfTokenizer::next()
{
    while (!atEnd() && isLineBreak(m_input[m_pos]))
        ++m_pos;
    if (atEnd())
        return {};

    switch (m_input[m_pos]) {
    case '{':
        ++m_pos;
        return makeToken(RtfTokenType::GroupStart);
    case '}':
        ++m_pos;
        return makeToken(RtfTokenType::GroupEnd);
    case '\\':
        ++m_pos;
        return readControl();
    default:
        return readText();
    }
}

RtfToken RtfTokenizer::readControl()
{
    if (atEnd())
        return {};
    const char c = m_input[m_pos];
    if (isLetter(c))
        return readControlWord();
    ++m_pos;
    if (c == '\'')
        return readHexByte();
    // A backslash before a line break is an old way of writing \par.
    if (isLineBreak(c))
        return makeToken(RtfTokenType::ControlWord, "par");
    return symbolToken(c);
}

RtfToken RtfTokenizer::readControlWord()
{
    const std::size_t start = m_pos;
    while (!atEnd() && isLetter(m_input[m_pos]))
        ++m_pos;
    RtfToken token = makeToken(RtfTokenType::ControlWord, m_input.substr(start, m_pos - start));

    const bool negative = !atEnd() && m_input[m_pos] == '-' && m_pos + 1 < m_input.size()
            && isDigit(m_input[m_pos + 1]);
    if (negative)
        ++m_pos;
    if (!atEnd() && isDigit(m_input[m_pos])) {
        token.hasParameter = true;
        token.parameter = readParameter();
        if (negative)
            token.parameter = -token.parameter;
    }
    // One space ends a control word and belongs to it.
    if (!atEnd() && m_input[m_pos] == ' ')
        ++m_pos;

    if (token.text == "bin") {
        // \binN is followed by N raw bytes that may contain braces and backslashes.
        const std::size_t length = token.parameter > 0 ? std::size_t(token.parameter) : 0;
        m_pos += std::min(length, m_input.size() - m_pos);
        token.type = RtfTokenType::Binary;
    }
    return token;
}

// Reads the digits of a parameter, saturating at the largest int: RTF parameters are signed 16- or
// 32-bit values, and anything beyond that is garbage that must not overflow.
int RtfTokenizer::readParameter()
{
    constexpr std::int64_t limit = std::numeric_limits<int>::max();
    std::int64_t value = 0;
    while (!atEnd() && isDigit(m_input[m_pos])) {
        value = std::min(limit, value * 10 + (m_input[m_pos] - '0'));
        ++m_pos;
    }
    return int(value);
}

// \'hh with both hex digits gives a byte; anything shorter is dropped as a symbol of no meaning.
RtfToken RtfTokenizer::readHexByte()
{
    int value = 0;
    int digits = 0;
    while (digits < 2 && !atEnd()) {
        const int digit = hexValue(m_input[m_pos]);
        if (digit < 0)
            break;
        value = value * 16 + digit;
        ++digits;
        ++m_pos;
    }
    if (digits < 2)
        return symbolToken('\'');
    RtfToken token = makeToken(RtfTokenType::HexByte);
    token.parameter = value;
    return token;
}

RtfToken RtfTokenizer::readText()
{
    const std::size_t start = m_pos;
    while (!atEnd()) {
        const char c = m_input[m_pos];
        if (c == '{' || c == '}' || c == '\\' || isLineBreak(c))
            break;
        ++m_pos;
    }
    return makeToken(RtfTokenType::Text, m_input.substr(start, m_pos - start));
}

} // namespace tqx
