#include "emulation/BusCommandTable.h"

#include <algorithm>
#include <array>
#include <iterator>

namespace tqx {

namespace {

using enum BusDeviceKind;
using Argument = BusArgument;
using Answer = BusAnswer;

constexpr std::array<BusCommandRow, 41> table {{
        {Motor, MotorCommand::GetPosition, 1, Argument::None, Answer::Position24, "get position"},
        {Motor, MotorCommand::FastGoto, 4, Argument::Position24, Answer::None, "fast goto to"},
        {Motor, MotorCommand::SetPosition, 4, Argument::Position24, Answer::None,
         "set position to"},
        {Motor, MotorCommand::SlewVariablePositive, 3, Argument::VariableRate, Answer::None,
         "slew positive at"},
        {Motor, MotorCommand::SlewVariableNegative, 3, Argument::VariableRate, Answer::None,
         "slew negative at"},
        {Motor, MotorCommand::StartLevelling, 1, Argument::None, Answer::None,
         "move to the index switch (levelling)"},
        {Motor, MotorCommand::StartPecRecording, 1, Argument::None, Answer::None,
         "start recording periodic-error corrections"},
        {Motor, MotorCommand::SetPecPlayback, 2, Argument::OnOff, Answer::None,
         "periodic-error playback"},
        {Motor, MotorCommand::GetPecBin, 1, Argument::None, Answer::PecBin,
         "get the periodic-error bin"},
        {Motor, MotorCommand::IsLevellingDone, 1, Argument::None, Answer::DoneFlag,
         "is levelling done"},
        {Motor, MotorCommand::IsPecRecordingDone, 1, Argument::None, Answer::RecordedFlag,
         "is the periodic-error recording done"},
        {Motor, MotorCommand::StopPecRecording, 1, Argument::None, Answer::None,
         "stop recording periodic-error corrections"},
        {Motor, MotorCommand::IsAtPecIndex, 1, Argument::None, Answer::AtIndexFlag,
         "is it at the periodic-error index"},
        {Motor, MotorCommand::SeekPecIndex, 1, Argument::None, Answer::None,
         "seek the periodic-error index"},
        {Motor, MotorCommand::IsGotoDone, 1, Argument::None, Answer::DoneFlag, "is the goto done"},
        {Motor, MotorCommand::SlowGoto, 4, Argument::Position24, Answer::None, "slow goto to"},
        {Motor, MotorCommand::SlewFixedPositive, 2, Argument::FixedRate, Answer::None,
         "slew positive at"},
        {Motor, MotorCommand::SlewFixedNegative, 2, Argument::FixedRate, Answer::None,
         "slew negative at"},
        {Motor, MotorCommand::GuidePulse, 3, Argument::GuidePulse, Answer::None, "guide pulse"},
        {Motor, MotorCommand::IsGuiding, 1, Argument::None, Answer::GuidingFlag,
         "is a guide pulse running"},
        {Motor, MotorCommand::ReadPecData, 2, Argument::PecAddress, Answer::PecValue,
         "read periodic-error data"},
        {Motor, MotorCommand::WritePecData, 3, Argument::PecAddressValue, Answer::None,
         "write periodic-error data"},
        {Motor, MotorCommand::EnableCordWrap, 1, Argument::None, Answer::None,
         "enable cord-wrap protection"},
        {Motor, MotorCommand::DisableCordWrap, 1, Argument::None, Answer::None,
         "disable cord-wrap protection"},
        {Motor, MotorCommand::SetCordWrapPosition, 4, Argument::Position24, Answer::None,
         "set the cord-wrap position to"},
        {Motor, MotorCommand::IsCordWrapEnabled, 1, Argument::None, Answer::EnabledFlag,
         "is cord-wrap protection enabled"},
        {Motor, MotorCommand::GetCordWrapPosition, 1, Argument::None, Answer::Position24,
         "get the cord-wrap position"},
        {Motor, MotorCommand::SetGuideRate, 2, Argument::GuideRate, Answer::None,
         "set the autoguide rate to"},
        {Motor, MotorCommand::GetGuideRate, 1, Argument::None, Answer::GuideRate,
         "get the autoguide rate"},
        {Gps, GpsCommand::GetLatitude, 1, Argument::None, Answer::Latitude24, "get latitude"},
        {Gps, GpsCommand::GetLongitude, 1, Argument::None, Answer::Longitude24, "get longitude"},
        {Gps, GpsCommand::GetDate, 1, Argument::None, Answer::MonthDay, "get date"},
        {Gps, GpsCommand::GetYear, 1, Argument::None, Answer::Year, "get year"},
        {Gps, GpsCommand::GetTime, 1, Argument::None, Answer::TimeOfDay, "get time"},
        {Gps, GpsCommand::IsLinked, 1, Argument::None, Answer::LinkedFlag, "is the GPS linked"},
        {Clock, ClockCommand::GetDate, 1, Argument::None, Answer::MonthDay, "get date"},
        {Clock, ClockCommand::GetYear, 1, Argument::None, Answer::Year, "get year"},
        {Clock, ClockCommand::GetTime, 1, Argument::None, Answer::TimeOfDay, "get time"},
        {Clock, ClockCommand::SetDate, 3, Argument::MonthDay, Answer::None, "set date to"},
        {Clock, ClockCommand::SetYear, 3, Argument::Year, Answer::None, "set year to"},
        {Clock, ClockCommand::SetTime, 4, Argument::TimeOfDay, Answer::None, "set time to"},
}};

// The version query every device answers.
constexpr BusCommandRow versionRow {Unknown,        busVersionCommand, 1,
                                    Argument::None, Answer::Version,   "get firmware version"};

} // namespace

double buttonRate(std::uint8_t button)
{
    constexpr double rates[] = {0,
                                2 * siderealArcsecondsPerSecond,
                                4 * siderealArcsecondsPerSecond,
                                8 * siderealArcsecondsPerSecond,
                                16 * siderealArcsecondsPerSecond,
                                32 * siderealArcsecondsPerSecond,
                                0.5 * 3600,
                                1 * 3600,
                                2 * 3600,
                                4 * 3600};
    static_assert(std::size(rates) == fastestButton + 1);
    return rates[std::min<std::size_t>(button, fastestButton)];
}

BusDeviceKind busDeviceKind(std::uint8_t address)
{
    switch (address) {
    case 16:
    case 17:
        return Motor;
    case 18:
        return Focuser;
    case 176:
        return Gps;
    case 178:
        return Clock;
    default:
        return Unknown;
    }
}

std::span<const BusCommandRow> busCommandRows() { return table; }

const BusCommandRow &busVersionRow() { return versionRow; }

const BusCommandRow *findBusCommand(std::uint8_t address, std::uint8_t command)
{
    if (command == busVersionCommand)
        return &versionRow;
    const BusDeviceKind kind = busDeviceKind(address);
    for (const BusCommandRow &row : table) {
        if (row.device == kind && row.command == command)
            return &row;
    }
    return nullptr;
}

} // namespace tqx
