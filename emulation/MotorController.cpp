#include "emulation/MotorController.h"

#include "emulation/Angles.h"
#include "emulation/BusCommandTable.h"

namespace tqx {

using namespace MotorCommand;

namespace {

Bytes position24(std::uint32_t position)
{
    const auto value = static_cast<int>(position);
    return bytesOf({value >> 16, value >> 8, value});
}

std::uint32_t position24(const BusDevice::Request &request)
{
    return std::uint32_t {request.data[0]} << 16 | std::uint32_t {request.data[1]} << 8
            | request.data[2];
}

// A button rate, in radians per second.
double fixedRate(std::uint8_t button) { return buttonRate(button) * radiansPerArcsecond; }

// A 16-bit big-endian rate in quarters of a second of arc per second.
double variableRate(const BusDevice::Request &request)
{
    return ((request.data[0] << 8) | request.data[1]) / 4.0 * radiansPerArcsecond;
}

} // namespace

MotorController::MotorController(MountPosition &mount, MountPosition::Axis axis)
    : m_mount(mount)
    , m_axis(axis)
{
}

std::optional<Bytes> MotorController::answer(const Request &request)
{
    switch (request.command) {
    case GetPosition:
        return position24(m_mount.axisPosition(m_axis));
    case SetPosition:
        m_mount.setAxisPosition(m_axis, position24(request));
        return Bytes();
    case SlowGoto:
        m_mount.gotoAxis(m_axis, position24(request));
        return Bytes();
    case SlewVariablePositive:
        m_mount.slewAxis(m_axis, variableRate(request));
        return Bytes();
    case SlewVariableNegative:
        m_mount.slewAxis(m_axis, -variableRate(request));
        return Bytes();
    case SlewFixedPositive:
        m_mount.slewAxis(m_axis, fixedRate(request.data[0]));
        return Bytes();
    case SlewFixedNegative:
        m_mount.slewAxis(m_axis, -fixedRate(request.data[0]));
        return Bytes();
    case IsGotoDone:
        return Bytes(1, m_mount.isAxisGotoDone(m_axis) ? '\xFF' : '\x00');
    case SetGuideRate:
        m_guideRate = request.data[0];
        return Bytes();
    case GetGuideRate:
        return Bytes(1, static_cast<char>(m_guideRate));
    case versionCommand:
        return Bytes(firmwareVersion.begin(), firmwareVersion.end());
    default:
        break;
    }
    return m_axis == MountPosition::Axis::Azimuth ? answerCordWrap(request) : std::nullopt;
}

std::optional<Bytes> MotorController::answerCordWrap(const Request &request)
{
    switch (request.command) {
    case EnableCordWrap:
        m_cordWrapEnabled = true;
        return Bytes();
    case DisableCordWrap:
        m_cordWrapEnabled = false;
        return Bytes();
    case SetCordWrapPosition:
        m_cordWrapPosition = position24(request);
        return Bytes();
    case IsCordWrapEnabled:
        return Bytes(1, m_cordWrapEnabled ? '\xFF' : '\x00');
    case GetCordWrapPosition:
        return position24(m_cordWrapPosition);
    default:
        return std::nullopt;
    }
}

} // namespace tqx
