#pragma once

#include <string_view>

namespace tqx {

enum class RtfTokenType {
    End, // no more input
    GroupStart, // {
    GroupEnd, // }
    ControlWord, // \word or \wordN
    ControlSymbol, // \ followed by one character that is not a letter
    HexByte, // \'hh
    Text, // a run of plain bytes
    Binary, // the data of \binN, already skipped
};

// One lexical element of an RTF stream. Views point into the tokenizer's input.
struct RtfToken
{
    RtfTokenType type = RtfTokenType::End;
    std::string_view text; // the control word's name, or the bytes of a text run
    char symbol = 0; // the character of a control symbol
    bool hasParameter = false;
    int parameter = 0; // the control word's parameter, or the value of a hex byte
};

} // namespace tqx
