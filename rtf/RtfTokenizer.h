#pragma once

#include "rtf/RtfToken.h"

#include <cstddef>
#include <string_view>

namespace tqx {

// Splits RTF bytes into tokens. It never fails: every byte sequence, however malformed, yields a
// finite series of tokens ending in End. Line breaks outside control words carry no meaning in RTF
// and are dropped here.
class RtfTokenizer
{
public:
    explicit RtfTokenizer(std::string_view input)
        : m_input(input)
    {
    }

    RtfToken next();

private:
    RtfToken readControl();
    RtfToken readControlWord();
    RtfToken readHexByte();
    RtfToken readText();
    int readParameter();
    bool atEnd() const { return m_pos >= m_input.size(); }

    std::string_view m_input;
    std::size_t m_pos = 0;
};

} // namespace tqx
