#pragma once

#include <cstdint>
#include <string_view>

namespace tqx {

// The devices on the hand control's internal bus, as the pass-through addresses them.
enum class BusDeviceKind { Motor, Focuser, Gps, Clock, Unknown };

// The command ids each kind of device knows. The devices answer them and the exchange decoder
// describes them from the same ids, so the two cannot drift apart.
namespace MotorCommand {
enum : std::uint8_t {
    GetPosition = 1,
    SetPosition = 4,
    SlewVariablePositive = 6,
    SlewVariableNegative = 7,
    IsGotoDone = 19,
    SlowGoto = 23,
    SlewFixedPositive = 36,
    SlewFixedNegative = 37,
    EnableCordWrap = 56,
    DisableCordWrap = 57,
    SetCordWrapPosition = 58,
    IsCordWrapEnabled = 59,
    GetCordWrapPosition = 60,
    SetGuideRate = 70,
    GetGuideRate = 71,
};
}

namespace GpsCommand {
enum : std::uint8_t {
    GetLatitude = 1,
    GetLongitude = 2,
    GetDate = 3,
    GetYear = 4,
    GetTime = 51,
    IsLinked = 55,
};
}

namespace ClockCommand {
enum : std::uint8_t {
    GetDate = 3,
    GetYear = 4,
    GetTime = 51,
    SetDate = 131,
    SetYear = 132,
    SetTime = 179,
};
}

// The firmware version query every device answers.
inline constexpr std::uint8_t busVersionCommand = 254;

inline constexpr double siderealArcsecondsPerSecond = 15.041;
// The hand control's button rates, which the fixed-rate slew takes as its byte: 0 stops, 1 to 5
// are 2 to 32 times sidereal, 6 to 9 are 0.5 to 4 degrees per second. Faster bytes take the
// fastest rate. In seconds of arc per second.
double buttonRate(std::uint8_t button);
inline constexpr std::uint8_t fastestButton = 9;

// What the data bytes d1 d2 d3 of a pass-through frame carry.
enum class BusArgument {
    None,
    Position24, // a 24-bit fraction of a revolution, big-endian
    VariableRate, // 16-bit big-endian, quarters of a second of arc per second
    FixedRate, // a hand-control button rate, 0 (stop) to 9
    GuideRate, // fractions of the sidereal rate, in 256ths
    MonthDay,
    Year, // 16-bit big-endian
    TimeOfDay, // hour, minute, second
};

// What the data bytes of the reply carry.
enum class BusAnswer {
    None,
    Position24,
    DoneFlag, // 0xFF done, 0x00 still moving
    EnabledFlag, // 0xFF yes, 0x00 no
    LinkedFlag, // above 0 linked
    GuideRate,
    Latitude24, // a 24-bit fraction of a revolution, south as two's complement
    Longitude24, // west as two's complement
    MonthDay,
    Year,
    TimeOfDay,
    Version, // one byte per number
};

struct BusCommandRow
{
    BusDeviceKind device;
    std::uint8_t command;
    // The frame's length byte: the command id and the data bytes it uses.
    std::uint8_t lengthByte;
    BusArgument argument;
    BusAnswer answer;
    std::string_view meaning;
};

BusDeviceKind busDeviceKind(std::uint8_t address);

// The row for a command id sent to a device, or nullptr when that kind of device is not known to
// take it.
const BusCommandRow *findBusCommand(std::uint8_t address, std::uint8_t command);

} // namespace tqx
