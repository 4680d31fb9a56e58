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

std::uint16_t rateValue(const BusDevice::Request &request)
{
    return static_cast<std::uint16_t>((request.data[0] << 8) | request.data[1]);
}

// A 16-bit big-endian rate in quarters of a second of arc per second.
double variableRate(const BusDevice::Request &request)
{
    return rateValue(request) / 4.0 * radiansPerArcsecond;
}

std::optional<TrackingRate> trackingRateOf(const BusDevice::Request &request)
{
    switch (rateValue(request)) {
    case TrackingRateValue::Sidereal:
        return TrackingRate::Sidereal;
    case TrackingRateValue::Solar:
        return TrackingRate::Solar;
    case TrackingRateValue::Lunar:
        return TrackingRate::Lunar;
    default:
        return std::nullopt;
    }
}

Bytes flag(bool set) { return Bytes(1, set ? '\xFF' : '\x00'); }

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
    case FastGoto:
        m_mount.fastGotoAxis(m_axis, position24(request));
        return Bytes();
    case SlewVariablePositive:
    case SlewVariableNegative:
        if (const std::optional<TrackingRate> rate = trackingRateOf(request);
            rate && m_axis == MountPosition::Axis::Azimuth) {
            m_mount.setTrackingRate(*rate);
            return Bytes();
        }
        m_mount.slewAxis(m_axis,
                         request.command == SlewVariablePositive ? variableRate(request)
                                                                 : -variableRate(request));
        return Bytes();
    case SlewFixedPositive:
        m_mount.slewAxis(m_axis, fixedRate(request.data[0]));
        return Bytes();
    case SlewFixedNegative:
        m_mount.slewAxis(m_axis, -fixedRate(request.data[0]));
        return Bytes();
    case IsGotoDone:
        return flag(m_mount.isAxisGotoDone(m_axis));
    case GuidePulse:
        m_mount.guidePulse(m_axis, static_cast<std::int8_t>(request.data[0]), request.data[1] * 10);
        return Bytes();
    case IsGuiding:
        return Bytes(1, m_mount.isGuidePulseRunning(m_axis) ? '\x01' : '\x00');
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
    const MountConfiguration &mount = m_mount.configuration();
    if (mount.homeSwitches) {
        if (std::optional<Bytes> answer = answerLevelling(request))
            return answer;
    }
    if (m_axis != MountPosition::Axis::Azimuth)
        return std::nullopt;
    if (mount.periodicErrorCorrection) {
        if (std::optional<Bytes> answer = answerPeriodicError(request))
            return answer;
    }
    return answerCordWrap(request);
}

std::optional<Bytes> MotorController::answerLevelling(const Request &request)
{
    switch (request.command) {
    case StartLevelling:
        m_mount.startLevelling(m_axis);
        return Bytes();
    case IsLevellingDone:
        return flag(m_mount.isLevellingDone(m_axis));
    default:
        return std::nullopt;
    }
}

std::optional<Bytes> MotorController::answerPeriodicError(const Request &request)
{
    const std::uint8_t address = request.data[0];
    const bool isBin = address >= pecFirstBinAddress && address < pecFirstBinAddress + pecBinCount;
    switch (request.command) {
    case SeekPecIndex:
        m_mount.seekPecIndex();
        return Bytes();
    case IsAtPecIndex:
        return flag(m_mount.periodicErrorState().indexFound);
    case StartPecRecording:
        // Recording starts at the index, so it has to have been found.
        return m_mount.startPecRecording() ? std::optional<Bytes>(Bytes()) : std::nullopt;
    case StopPecRecording:
        m_mount.stopPecRecording();
        return Bytes();
    case IsPecRecordingDone:
        return flag(m_mount.periodicErrorState().recorded
                    && !m_mount.periodicErrorState().recording);
    case SetPecPlayback:
        m_mount.setPecPlayback(request.data[0] != 0);
        return Bytes();
    case GetPecBin:
        return Bytes(1, static_cast<char>(m_mount.periodicErrorState().bin));
    case ReadPecData:
        if (address == pecBinCountAddress)
            return Bytes(1, static_cast<char>(pecBinCount));
        if (isBin)
            return Bytes(1, static_cast<char>(m_mount.pecBin(address - pecFirstBinAddress)));
        return std::nullopt;
    case WritePecData:
        if (!isBin)
            return std::nullopt;
        m_mount.setPecBin(address - pecFirstBinAddress, static_cast<std::int8_t>(request.data[1]));
        return Bytes();
    default:
        return std::nullopt;
    }
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
