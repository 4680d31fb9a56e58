#pragma once

#include <initializer_list>
#include <string>
#include <string_view>

namespace tqx {

// Everything that crosses the serial line is a byte string: one char per byte, any value 0-255
// allowed, embedded NULs included. std::string holds that without any encoding attached.
using Bytes = std::string;

// Upper-cases the ASCII letters a-z and leaves every other byte as it is. The locale-aware
// std::toupper would also change bytes above 0x7F in some locales, and a goto argument must be
// stored exactly as it came apart from the case of its hexadecimal letters.
Bytes upperAscii(std::string_view bytes);

// Binary bytes from their values, each taken modulo 256: bytesOf({0x04, 0x15, '#'}).
Bytes bytesOf(std::initializer_list<int> values);

} // namespace tqx
