#pragma once

#include <cstdint>
#include <string>

namespace tqx {

// How an angle is written for a person, in ASCII so that it reads the same in a terminal, a log
// file and a tooltip:
//   Hours          "05h30m00s"    right ascension, hour angle
//   Degrees        "123 27'00\""  azimuth, a motor position (0 to 360)
//   SignedDegrees  "+20 00'00\""  declination, altitude, latitude
enum class AngleStyle { Hours, Degrees, SignedDegrees };

// An angle in radians, rounded to `decimals` (0 to 2) decimals of a second.
std::string formatAngle(double radians, AngleStyle style, int decimals = 0);

// The angle a client most likely meant by a position field: a 32-bit fraction of a revolution
// that carries `significantBits` bits (16 for the four-digit fields, 24 for the eight-digit ones).
// Many angles encode to the same field, and encoders differ in whether they truncate or round, so
// of the angles that encode to it either way this picks the roundest: 20 degrees sent as "0E38"
// reads "+20 00'00\"", not "+19 59'42\"". It is shown to the second, or to a tenth or hundredth
// where the field is finer than that.
std::string formatPositionField(std::uint32_t fraction32, int significantBits, AngleStyle style);

} // namespace tqx
