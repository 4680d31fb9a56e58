#pragma once

#include <numbers>

namespace tqx {

// The units the mount's angles are converted between: the emulation computes in radians.
inline constexpr double fullTurn = 2 * std::numbers::pi;
inline constexpr double radiansPerDegree = std::numbers::pi / 180;
inline constexpr double radiansPerArcsecond = radiansPerDegree / 3600;

} // namespace tqx
