#include "rtf/RtfCodePage1252.h"

namespace tqx {

namespace {

constexpr char32_t undefined = 0xFFFD;

constexpr char32_t range80To9F[32] = {
        0x20AC,    undefined, 0x201A, 0x0192, 0x201E, 0x2026,    0x2020, 0x2021, // 80-87
        0x02C6,    0x2030,    0x0160, 0x2039, 0x0152, undefined, 0x017D, undefined, // 88-8F
        undefined, 0x2018,    0x2019, 0x201C, 0x201D, 0x2022,    0x2013, 0x2014, // 90-97
        0x02DC,    0x2122,    0x0161, 0x203A, 0x0153, undefined, 0x017E, 0x0178, // 98-9F
};

} // namespace

char32_t windows1252ToUnicode(unsigned char byte)
{
    if (byte >= 0x80 && byte <= 0x9F)
        return range80To9F[byte - 0x80];
    return byte;
}

} // namespace tqx
