#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string_view>

namespace tqx {

// The devices on the hand control's internal bus, as the pass-through addresses them.
enum class BusDeviceKind { Motor, Focuser, Gps, Clock, Unknown };

// The command ids each kind of device knows. The devices answer them and the exchange decoder
// describes them from the same ids, so the two cannot drift apart.
namespace MotorCommand {
enum : std::uint8_t {
    GetPosition = 1,
    FastGoto = 2,
    SetPosition = 4,
    SlewVariablePositive = 6,
    SlewVariableNegative = 7,
    StartLevelling = 11,
    StartPecRecording = 12,
    SetPecPlayback = 13,
    GetPecBin = 14,
    IsLevellingDone = 18,
    IsGotoDone = 19,
    IsPecRecordingDone = 21,
    StopPecRecording = 22,
    SlowGoto = 23,
    IsAtPecIndex = 24,
    SeekPecIndex = 25,
    SlewFixedPositive = 36,
    SlewFixedNegative = 37,
    GuidePulse = 38,
    IsGuiding = 39,
    ReadPecData = 48,
    WritePecData = 49,
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
// The tracking rates other than sidereal, in seconds of arc per second of the motor axis.
inline constexpr double solarArcsecondsPerSecond = 15.0;
inline constexpr double lunarArcsecondsPerSecond = 14.511415;
// A variable-rate slew of the right ascension motor with one of these rates sets the tracking
// rate instead of moving at it.
namespace TrackingRateValue {
enum : std::uint16_t { Lunar = 0xFFFD, Solar = 0xFFFE, Sidereal = 0xFFFF };
}
// The periodic-error table: 88 bins over one turn of the worm, read and written at addresses
// from 0x40; address 0x3F reads the number of bins.
inline constexpr std::size_t pecBinCount = 88;
inline constexpr std::uint8_t pecBinCountAddress = 0x3F;
inline constexpr std::uint8_t pecFirstBinAddress = 0x40;
// A bin's correction is a signed byte in tenths of a second of arc of the right ascension axis.
inline constexpr double pecArcsecondsPerUnit = 0.1;
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
    GuideRate, // 0 to 255 for 0 to 100 % of the sidereal rate
    GuidePulse, // a signed percentage of the sidereal rate, then the length in 1/100 s
    OnOff, // 1 on, 0 off
    PecAddress, // 0x3F the number of bins, 0x40 + i bin i
    PecAddressValue, // an address as above, then a signed value
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
    AtIndexFlag, // 0xFF at the index, 0x00 not
    RecordedFlag, // non-zero: the recording is done
    GuidingFlag, // non-zero: a guide pulse is still running
    PecBin, // 0 to 87
    PecValue, // the number of bins, or a bin's signed correction
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

// Every command id a kind of device is known to take, device by device; the version query that
// every device answers is busVersionRow().
std::span<const BusCommandRow> busCommandRows();
const BusCommandRow &busVersionRow();

// The row for a command id sent to a device, or nullptr when that kind of device is not known to
// take it.
const BusCommandRow *findBusCommand(std::uint8_t address, std::uint8_t command);

} // namespace tqx
