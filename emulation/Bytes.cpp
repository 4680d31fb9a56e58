#include "emulation/Bytes.h"

namespace tqx {

Bytes upperAscii(std::string_view bytes)
{
    Bytes result(bytes);
    for (char &byte : result) {
        if (byte >= 'a' && byte <= 'z')
            byte = static_cast<char>(byte - 'a' + 'A');
    }
    return result;
}

Bytes bytesOf(std::initializer_list<int> values)
{
    Bytes result;
    result.reserve(values.size());
    for (int value : values)
        result += static_cast<char>(value & 0xFF);
    return result;
}

} // namespace tqx
