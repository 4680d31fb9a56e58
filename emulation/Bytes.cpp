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

} // namespace tqx
