#include "emulation/MountPosition.h"

namespace tqx {

std::uint32_t MountPosition::axisPosition(Axis axis) const
{
    const std::uint32_t angle = axis == Axis::Azimuth ? m_azmAlt.first : m_azmAlt.second;
    return angle >> 8;
}

void MountPosition::setAxisPosition(Axis axis, std::uint32_t position24)
{
    std::uint32_t &angle = axis == Axis::Azimuth ? m_azmAlt.first : m_azmAlt.second;
    angle = (position24 & 0xFFFFFF) << 8;
}

} // namespace tqx
