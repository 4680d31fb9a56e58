#pragma once

namespace tqx {

// The Unicode character of a byte in Windows code page 1252, the "ANSI" code page of Western
// RTF documents. It differs from Latin-1 in 0x80-0x9F, which holds typographic quotes, dashes, the
// euro sign and a few letters. The five bytes the code page leaves undefined give U+FFFD.
char32_t windows1252ToUnicode(unsigned char byte);

} // namespace tqx
