#include "emulation/ExchangeDecoder.h"

#include "emulation/BusCommandTable.h"
#include "emulation/CommandTable.h"
#include "emulation/DateTimeStore.h"
#include "emulation/FullCommandTable.h"
#include "emulation/HandControlSettings.h"
#include "emulation/MountModels.h"
#include "emulation/Sexagesimal.h"

#include <cstdio>
#include <optional>

namespace tqx {

namespace {

using enum FullAction;

// A command as the profile's table knows it.
struct KnownCommand
{
    std::string_view meaning;
    std::size_t length;
    FullAction action;
    bool needsNewerFirmware; // the letter is the full profile's, but this firmware does not answer
                             // it
};

// The basic table's letters are all letters of the full table, with the same meaning; the full
// table says what their arguments are.
std::optional<KnownCommand> lookUp(char letter, const DecodeContext &context)
{
    const FullCommand *full = findFullCommand(letter);
    if (context.profile == Profile::Basic) {
        for (const CommandRow &row : commandTable()) {
            if (row.letter == letter && full)
                return KnownCommand {row.meaning, row.minLength, full->action, false};
        }
        return std::nullopt;
    }
    if (!full)
        return std::nullopt;
    return KnownCommand {full->meaning, full->length, full->action,
                         full->needsFirmware528 && !context.firmware528};
}

std::uint8_t byteAt(std::string_view bytes, std::size_t index)
{
    return static_cast<std::uint8_t>(bytes[index]);
}

std::string number(long long value) { return std::to_string(value); }

std::string hexText(std::uint8_t byte)
{
    char hex[8];
    std::snprintf(hex, sizeof hex, "0x%02X", byte);
    return hex;
}

// A byte as a person reads it: the character when it is one, its value otherwise.
std::string byteText(std::uint8_t byte)
{
    if (byte > 0x20 && byte < 0x7F)
        return std::string {'\'', static_cast<char>(byte), '\''};
    return hexText(byte);
}

std::string bytesText(std::string_view bytes)
{
    std::string text;
    for (std::size_t i = 0; i < bytes.size(); ++i)
        text += (i == 0 ? "" : " ") + hexText(byteAt(bytes, i));
    return text;
}

std::string countText(std::size_t count, const char *unit)
{
    return number(static_cast<long long>(count)) + ' ' + unit + (count == 1 ? "" : "s");
}

int hexDigit(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    return -1;
}

// `digits` hexadecimal digits from `at`; positions in `problem` count from 1 over the whole text.
std::optional<std::uint32_t> parseHex(std::string_view text, std::size_t at, std::size_t digits,
                                      std::string &problem)
{
    std::uint32_t value = 0;
    for (std::size_t i = at; i < at + digits; ++i) {
        const int digit = hexDigit(text[i]);
        if (digit < 0) {
            problem = byteText(byteAt(text, i)) + " at byte "
                    + number(static_cast<long long>(i + 1)) + " is not a hexadecimal digit";
            return std::nullopt;
        }
        value = value << 4 | static_cast<std::uint32_t>(digit);
    }
    return value;
}

std::string pairText(std::uint32_t first, std::uint32_t second, int bits, bool raDec)
{
    std::string text = raDec
            ? "RA " + formatPositionField(first, bits, AngleStyle::Hours) + " Dec "
            : "Az " + formatPositionField(first, bits, AngleStyle::Degrees) + " Alt ";
    text += formatPositionField(second, bits, AngleStyle::SignedDegrees);
    const auto signedSecond = static_cast<std::int32_t>(second);
    if (signedSecond > 0x40000000 || signedSecond < -0x40000000)
        text += raDec ? " (beyond the pole)" : " (beyond the zenith)";
    return text;
}

// "XXXX,YYYY" or "XXXXXXXX,YYYYYYYY" starting at `at` of `text`.
std::optional<std::string> parsePair(std::string_view text, std::size_t at, std::size_t digits,
                                     bool raDec, std::string &problem)
{
    if (text.size() < at + 2 * digits + 1) {
        problem = "expected " + number(static_cast<long long>(digits))
                + " hexadecimal digits, a comma and " + number(static_cast<long long>(digits));
        return std::nullopt;
    }
    const std::optional<std::uint32_t> first = parseHex(text, at, digits, problem);
    if (!first)
        return std::nullopt;
    if (text[at + digits] != ',') {
        problem = byteText(byteAt(text, at + digits)) + " at byte "
                + number(static_cast<long long>(at + digits + 1)) + " is not a comma";
        return std::nullopt;
    }
    const std::optional<std::uint32_t> second = parseHex(text, at + digits + 1, digits, problem);
    if (!second)
        return std::nullopt;
    const int shift = digits == 4 ? 16 : 0;
    return pairText(*first << shift, *second << shift, digits == 4 ? 16 : 24, raDec);
}

std::string trackingText(std::uint8_t mode)
{
    static constexpr std::string_view modes[]
            = {"off", "alt-azimuth", "equatorial north", "equatorial south"};
    return number(mode) + ": "
            + (mode < std::size(modes) ? std::string(modes[mode]) : "not a tracking mode");
}

std::string modelText(std::uint8_t model, bool hexVersion)
{
    const MountModel *known
            = findMountModel(hexVersion ? VersionFormat::Hex : VersionFormat::Binary, model);
    return "model " + number(model) + ": " + (known ? std::string(known->name) : "unknown model");
}

std::string dmsText(int degrees, int minutes, int seconds, char hemisphere)
{
    char text[40];
    std::snprintf(text, sizeof text, "%d %02d'%02d\" %c", degrees, minutes, seconds, hemisphere);
    return text;
}

// The eight bytes of "W" and "w".
std::string siteText(std::string_view site)
{
    const auto at = [&](std::size_t index) { return static_cast<int>(byteAt(site, index)); };
    const auto hemisphere = [&](std::size_t index, char zero, char one) {
        return at(index) == 0 ? zero : at(index) == 1 ? one : '?';
    };
    std::string text = dmsText(at(0), at(1), at(2), hemisphere(3, 'N', 'S')) + ", "
            + dmsText(at(4), at(5), at(6), hemisphere(7, 'E', 'W'));
    if (at(0) > 90)
        text += "; the latitude is above 90 degrees";
    if (at(4) > 180)
        text += "; the longitude is above 180 degrees";
    if (at(1) > 59 || at(2) > 59 || at(5) > 59 || at(6) > 59)
        text += "; minutes and seconds go to 59";
    if (at(3) > 1 || at(7) > 1)
        text += "; a hemisphere byte is neither 0 nor 1";
    return text;
}

std::string zoneText(int minutes)
{
    char text[16];
    const int magnitude = minutes < 0 ? -minutes : minutes;
    std::snprintf(text, sizeof text, "UTC%c%02d:%02d", minutes < 0 ? '-' : '+', magnitude / 60,
                  magnitude % 60);
    return text;
}

// The eight bytes of "H" and "h" (zone in hours) or "I" and "i" (zone in quarter hours).
std::string dateTimeText(std::string_view bytes, bool zoneInQuarterHours)
{
    const auto at = [&](std::size_t index) { return static_cast<int>(byteAt(bytes, index)); };
    const CivilDateTime local {2000 + at(5), at(3), at(4), at(0), at(1), at(2)};
    const int zone = static_cast<std::int8_t>(byteAt(bytes, 6));
    char text[48];
    std::snprintf(text, sizeof text, "%04d-%02d-%02d %02d:%02d:%02d ", local.year, local.month,
                  local.day, local.hour, local.minute, local.second);
    std::string result = text + zoneText(zone * (zoneInQuarterHours ? 15 : 60));
    if (at(7) == 1)
        result += ", daylight saving";
    else if (at(7) != 0)
        result += "; the daylight-saving byte is neither 0 nor 1";
    if (!local.isValid())
        result += "; no such date or time";
    return result;
}

std::string rateText(double arcsecondsPerSecond)
{
    char text[48];
    if (arcsecondsPerSecond >= 360)
        std::snprintf(text, sizeof text, "%.3f deg/s", arcsecondsPerSecond / 3600);
    else
        std::snprintf(text, sizeof text, "%.2f\"/s", arcsecondsPerSecond);
    return text;
}

std::string fixedRateText(std::uint8_t button)
{
    const double rate = buttonRate(button);
    char text[32];
    if (rate == 0)
        std::snprintf(text, sizeof text, "stop");
    else if (rate >= 1800)
        std::snprintf(text, sizeof text, "%g deg/s", rate / 3600);
    else
        std::snprintf(text, sizeof text, "%gx sidereal", rate / siderealArcsecondsPerSecond);
    const std::string taken
            = button > fastestButton ? "taken as " + number(fastestButton) + ", " : std::string();
    return "rate " + number(button) + " (" + taken + text + ")";
}

// The autoguide rate's byte: 0 to 255 for none to all of the sidereal rate.
std::string guideRateText(std::uint8_t rate)
{
    char text[32];
    std::snprintf(text, sizeof text, "%.0f %% sidereal", rate * 100.0 / 255);
    return text;
}

std::uint32_t position24(std::string_view bytes, std::size_t at)
{
    return std::uint32_t {byteAt(bytes, at)} << 16 | std::uint32_t {byteAt(bytes, at + 1)} << 8
            | byteAt(bytes, at + 2);
}

// The bus addresses of the right ascension (or azimuth) and the declination (or altitude) motor.
constexpr std::uint8_t firstMotorAddress = 16;
constexpr std::uint8_t secondMotorAddress = 17;

// Where a positive or a negative rate of a motor takes the pointing. On an equatorial mount these
// are the directions clients mean by the sign (west on the right ascension motor, north on the
// declination motor); the decoder does not know the pier side that flips the declination
// motor's sky direction. On an alt-azimuth mount it is the sense of the axis.
std::string_view motorSense(std::uint8_t address, bool equatorialMount, bool positive)
{
    if (address == secondMotorAddress) {
        if (equatorialMount)
            return positive ? "north" : "south";
        return positive ? "up" : "down";
    }
    if (equatorialMount)
        return positive ? "west" : "east";
    // Growing azimuth turns the tube to the right, as seen from behind it.
    return positive ? "right" : "left";
}

// A signed percentage of the sidereal rate, then the length in hundredths of a second.
std::string guidePulseText(std::string_view data, std::uint8_t address, bool equatorialMount)
{
    const int percent = static_cast<std::int8_t>(byteAt(data, 0));
    const int hundredths = byteAt(data, 1);
    std::string sense;
    if (percent != 0)
        sense = std::string(motorSense(address, equatorialMount, percent > 0)) + ' ';
    char text[48];
    std::snprintf(text, sizeof text, "%d %% sidereal for %d.%02d s",
                  percent < 0 ? -percent : percent, hundredths / 100, hundredths % 100);
    return sense + text;
}

std::string pecBinText(std::size_t bin)
{
    return "bin " + number(static_cast<long long>(bin))
            + (bin < pecBinCount ? "" : ", beyond the " + countText(pecBinCount, "bin"));
}

// Address 0x3F of the periodic-error data reads the number of bins, the addresses from 0x40 the
// bins.
std::string pecAddressText(std::uint8_t address)
{
    if (address == pecBinCountAddress)
        return "the number of bins";
    if (address >= pecFirstBinAddress)
        return pecBinText(address - pecFirstBinAddress);
    return "address " + hexText(address);
}

// What the periodic-error data at the address holds: the number of bins, or a bin's signed
// correction.
std::string pecValueText(std::uint8_t address, std::uint8_t value)
{
    if (address == pecBinCountAddress)
        return countText(value, "bin");
    if (address < pecFirstBinAddress)
        return "data " + hexText(value);
    const int correction = static_cast<std::int8_t>(value);
    char text[32];
    std::snprintf(text, sizeof text, "%d (%.1f\")", correction, correction * pecArcsecondsPerUnit);
    return text;
}

std::string argumentText(BusArgument argument, std::string_view data, std::uint8_t address,
                         bool equatorialMount)
{
    switch (argument) {
    case BusArgument::None:
        return {};
    case BusArgument::Position24:
        return " " + formatPositionField(position24(data, 0) << 8, 24, AngleStyle::Degrees);
    case BusArgument::VariableRate: {
        const int quarters = byteAt(data, 0) << 8 | byteAt(data, 1);
        return " " + rateText(quarters / 4.0) + (quarters == 0 ? " (stop)" : "");
    }
    case BusArgument::FixedRate:
        return " " + fixedRateText(byteAt(data, 0));
    case BusArgument::GuideRate:
        return " " + guideRateText(byteAt(data, 0));
    case BusArgument::GuidePulse:
        return " " + guidePulseText(data, address, equatorialMount);
    case BusArgument::OnOff:
        if (byteAt(data, 0) <= 1)
            return byteAt(data, 0) ? " on" : " off";
        return " " + number(byteAt(data, 0)) + ", neither 1 (on) nor 0 (off)";
    case BusArgument::PecAddress:
        return ", " + pecAddressText(byteAt(data, 0));
    case BusArgument::PecAddressValue:
        return ", " + pecAddressText(byteAt(data, 0)) + ": "
                + pecValueText(byteAt(data, 0), byteAt(data, 1));
    case BusArgument::MonthDay:
        return " month " + number(byteAt(data, 0)) + ", day " + number(byteAt(data, 1));
    case BusArgument::Year:
        return " " + number(byteAt(data, 0) << 8 | byteAt(data, 1));
    case BusArgument::TimeOfDay: {
        char text[16];
        std::snprintf(text, sizeof text, " %02d:%02d:%02d", byteAt(data, 0), byteAt(data, 1),
                      byteAt(data, 2));
        return text;
    }
    }
    return {};
}

// A command of a bus device with its data bytes d1 d2 d3.
std::string busCommandText(const BusCommandRow &row, std::uint8_t address, std::string_view data,
                           bool equatorialMount)
{
    // The right ascension (or azimuth) motor takes three variable rates no slew would use as
    // the tracking rates.
    if (row.argument == BusArgument::VariableRate && address == firstMotorAddress) {
        switch (byteAt(data, 0) << 8 | byteAt(data, 1)) {
        case TrackingRateValue::Sidereal:
            return "set the tracking rate to sidereal";
        case TrackingRateValue::Solar:
            return "set the tracking rate to solar";
        case TrackingRateValue::Lunar:
            return "set the tracking rate to lunar";
        default:
            break;
        }
    }
    return std::string(row.meaning) + argumentText(row.argument, data, address, equatorialMount);
}

// The data of a reply to the row's command with its data bytes `sent`, when it has the size its
// kind needs; nothing otherwise.
std::optional<std::string> answerText(const BusCommandRow &row, std::string_view sent,
                                      std::string_view data)
{
    const BusAnswer answer = row.answer;
    const auto sized = [&](std::size_t size) { return data.size() == size; };
    // Flags that are 0xFF or 0x00 and nothing else.
    const auto flag = [&]() -> std::optional<bool> {
        if (sized(1) && (byteAt(data, 0) == 0xFF || byteAt(data, 0) == 0))
            return byteAt(data, 0) == 0xFF;
        return std::nullopt;
    };
    switch (answer) {
    case BusAnswer::None:
        if (data.empty())
            return "acknowledged";
        break;
    case BusAnswer::Position24:
        if (sized(3))
            return "position "
                    + formatPositionField(position24(data, 0) << 8, 24, AngleStyle::Degrees);
        break;
    case BusAnswer::DoneFlag:
        if (const std::optional<bool> done = flag()) {
            if (!*done)
                return "still moving";
            return row.command == MotorCommand::IsLevellingDone ? "levelling done"
                                                                : "the goto is done";
        }
        break;
    case BusAnswer::EnabledFlag:
        if (const std::optional<bool> enabled = flag())
            return *enabled ? "enabled" : "disabled";
        break;
    case BusAnswer::AtIndexFlag:
        if (const std::optional<bool> atIndex = flag())
            return *atIndex ? "at the index" : "not at the index";
        break;
    case BusAnswer::RecordedFlag:
        if (sized(1))
            return byteAt(data, 0) ? "recording done" : "still recording";
        break;
    case BusAnswer::GuidingFlag:
        if (sized(1))
            return byteAt(data, 0) ? "still running" : "ended";
        break;
    case BusAnswer::PecBin:
        if (sized(1))
            return pecBinText(byteAt(data, 0));
        break;
    case BusAnswer::PecValue:
        if (sized(1) && !sent.empty())
            return pecValueText(byteAt(sent, 0), byteAt(data, 0));
        break;
    case BusAnswer::LinkedFlag:
        if (sized(1))
            return byteAt(data, 0) > 0 ? "linked" : "not linked";
        break;
    case BusAnswer::GuideRate:
        if (sized(1))
            return guideRateText(byteAt(data, 0));
        break;
    case BusAnswer::Latitude24:
    case BusAnswer::Longitude24:
        if (sized(3)) {
            const std::string angle
                    = formatPositionField(position24(data, 0) << 8, 24, AngleStyle::SignedDegrees);
            return (answer == BusAnswer::Latitude24 ? "latitude " : "longitude ") + angle;
        }
        break;
    case BusAnswer::MonthDay:
        if (sized(2))
            return "month " + number(byteAt(data, 0)) + ", day " + number(byteAt(data, 1));
        break;
    case BusAnswer::Year:
        if (sized(2))
            return "year " + number(byteAt(data, 0) << 8 | byteAt(data, 1));
        break;
    case BusAnswer::TimeOfDay:
        if (sized(3)) {
            char text[16];
            std::snprintf(text, sizeof text, "%02d:%02d:%02d", byteAt(data, 0), byteAt(data, 1),
                          byteAt(data, 2));
            return text;
        }
        break;
    case BusAnswer::Version:
        if (!data.empty()) {
            std::string text = "version ";
            for (std::size_t i = 0; i < data.size(); ++i)
                text += (i ? "." : "") + number(byteAt(data, i));
            return text;
        }
        break;
    }
    return std::nullopt;
}

std::string deviceName(std::uint8_t address, bool equatorialMount)
{
    switch (address) {
    case firstMotorAddress:
        return equatorialMount ? "the RA motor" : "the azimuth motor";
    case secondMotorAddress:
        return equatorialMount ? "the Dec motor" : "the altitude motor";
    case 18:
        return "the focuser";
    case 176:
        return "the GPS";
    case 178:
        return "the real-time clock";
    case 13:
        return "the hand control";
    case 32:
        return "the PC";
    default:
        return "bus device " + number(address);
    }
}

std::string passThroughCommand(std::string_view frame, bool equatorialMount)
{
    const std::uint8_t length = byteAt(frame, 1);
    const std::uint8_t address = byteAt(frame, 2);
    const std::uint8_t id = byteAt(frame, 3);
    const std::uint8_t replyLength = byteAt(frame, 7);
    std::string text = "pass-through to " + deviceName(address, equatorialMount) + ": ";
    const BusCommandRow *row = findBusCommand(address, id);
    if (row)
        text += busCommandText(*row, address, frame.substr(4, 3), equatorialMount);
    else
        text += "command " + number(id);
    if (replyLength > 0)
        text += " (" + countText(replyLength, "byte") + ")";
    if (row && length != row->lengthByte) {
        if (row->command == MotorCommand::SetPosition && row->device == BusDeviceKind::Motor
            && length == 3)
            text += "; length byte 3, the form motor firmware before 4.1 expects";
        else
            text += "; length byte " + number(length) + ", expected " + number(row->lengthByte);
    }
    return text;
}

std::string passThroughReply(std::string_view frame, std::string_view reply)
{
    const std::size_t asked = byteAt(frame, 7);
    if (reply.size() == asked + 2 && reply.back() == '#')
        return "error: no answer from the device (absent, or it does not know the command)";
    if (reply.size() != asked + 1 || reply.back() != '#')
        return "malformed: " + countText(reply.size(), "byte") + ", expected "
                + number(static_cast<long long>(asked + 1));
    const std::string_view data = reply.substr(0, asked);
    if (const BusCommandRow *row = findBusCommand(byteAt(frame, 2), byteAt(frame, 3))) {
        if (std::optional<std::string> text = answerText(*row, frame.substr(4, 3), data))
            return *text;
    }
    return data.empty() ? "acknowledged" : "data " + bytesText(data);
}

std::string versionText(std::string_view body, bool basicProfile)
{
    if (basicProfile) {
        std::string text = "version box text \"";
        for (const char c : body) {
            char escaped[8];
            std::snprintf(escaped, sizeof escaped, c >= 0x20 && c < 0x7F ? "%c" : "\\x%02X",
                          static_cast<unsigned char>(c));
            text += escaped;
        }
        return text + "\"";
    }
    // Binary: major and minor, and in some firmware families a sub-version as well, written
    // with two digits as the hexadecimal form writes it.
    if (body.size() == 2)
        return "version " + number(byteAt(body, 0)) + "." + number(byteAt(body, 1));
    if (body.size() == 3) {
        char sub[8];
        std::snprintf(sub, sizeof sub, ".%02u", static_cast<unsigned>(byteAt(body, 2)));
        return "version " + number(byteAt(body, 0)) + "." + number(byteAt(body, 1)) + sub;
    }
    std::string problem;
    if (body.size() == 6) {
        std::string text = "version";
        for (std::size_t i = 0; i < 6; i += 2) {
            const std::optional<std::uint32_t> part = parseHex(body, i, 2, problem);
            if (!part)
                return "malformed: " + problem;
            char piece[8];
            std::snprintf(piece, sizeof piece, i == 4 ? ".%02u" : i == 0 ? " %u" : ".%u", *part);
            text += piece;
        }
        return text;
    }
    return "malformed: " + countText(body.size() + 1, "byte")
            + ", expected 3 or 4 (binary) or 7 (hexadecimal)";
}

// The position pair a command sends, or that its reply carries.
struct PositionForm
{
    std::size_t digits; // per axis: 4 or 8
    bool raDec; // right ascension and declination, or azimuth and altitude
};

// Nothing for a command without a position.
std::optional<PositionForm> positionForm(FullAction action)
{
    switch (action) {
    case GetRaDec16:
    case GotoRaDec16:
    case SyncRaDec16:
        return PositionForm {4, true};
    case GetRaDec32:
    case GotoRaDec32:
    case SyncRaDec32:
        return PositionForm {8, true};
    case GetAzmAlt16:
    case GotoAzmAlt16:
        return PositionForm {4, false};
    case GetAzmAlt32:
    case GotoAzmAlt32:
        return PositionForm {8, false};
    case CancelGoto:
    case IsGotoInProgress:
    case IsAligned:
    case Echo:
    case Version:
    case Variant:
    case Model:
    case GetTracking:
    case SetTracking:
    case GetSite:
    case SetSite:
    case GetDateTime:
    case SetDateTime:
    case GetDateTimeQuarterHourZone:
    case SetDateTimeQuarterHourZone:
    case PointingSide:
    case Hibernate:
    case WakeUp:
    case PassThrough:
    case LoneQuestionMark:
        return std::nullopt;
    }
    return std::nullopt;
}

std::string acknowledgementText(std::string_view body)
{
    return body.empty() ? "acknowledged" : "unexpected data before '#': " + bytesText(body);
}

} // namespace

std::uint8_t DecodeContext::packed() const
{
    return static_cast<std::uint8_t>((profile == Profile::Full ? 1 : 0) | (equatorialMount ? 2 : 0)
                                     | (hexVersion ? 4 : 0) | (firmware528 ? 8 : 0));
}

DecodeContext DecodeContext::unpacked(std::uint8_t bits)
{
    return {(bits & 1) ? Profile::Full : Profile::Basic, (bits & 2) != 0, (bits & 4) != 0,
            (bits & 8) != 0};
}

ExchangeDecoder::ExchangeDecoder(DecodeContext context)
    : m_context(context)
{
}

std::string ExchangeDecoder::command(std::string_view bytes) const
{
    if (bytes.empty())
        return "no bytes";
    const std::optional<KnownCommand> known = lookUp(bytes.front(), m_context);
    if (!known)
        return "unknown command";
    const std::string meaning(known->meaning);
    if (bytes.size() < known->length)
        return meaning + ": incomplete, " + number(static_cast<long long>(bytes.size())) + " of "
                + countText(known->length, "byte");
    std::string text;
    std::string problem;
    const std::string_view whole = bytes.substr(0, known->length);
    switch (known->action) {
    case GotoRaDec16:
    case GotoRaDec32:
    case GotoAzmAlt16:
    case GotoAzmAlt32:
    case SyncRaDec16:
    case SyncRaDec32: {
        const PositionForm form = *positionForm(known->action);
        const std::optional<std::string> pair
                = parsePair(whole, 1, form.digits, form.raDec, problem);
        const bool isSync = known->action == SyncRaDec16 || known->action == SyncRaDec32;
        text = pair ? (isSync ? "sync " : "goto ") + *pair : meaning + ": " + problem;
        break;
    }
    case Echo:
        text = "echo " + byteText(byteAt(whole, 1));
        break;
    case SetTracking:
        text = "set tracking mode " + trackingText(byteAt(whole, 1));
        break;
    case SetSite:
        text = "set site " + siteText(whole.substr(1));
        break;
    case SetDateTime:
    case SetDateTimeQuarterHourZone:
        text = "set date and time "
                + dateTimeText(whole.substr(1), known->action == SetDateTimeQuarterHourZone);
        break;
    case PassThrough:
        text = passThroughCommand(whole, m_context.equatorialMount);
        break;
    case GetRaDec16:
    case GetRaDec32:
    case GetAzmAlt16:
    case GetAzmAlt32:
    case CancelGoto:
    case IsGotoInProgress:
    case IsAligned:
    case Version:
    case Variant:
    case Model:
    case GetTracking:
    case GetSite:
    case GetDateTime:
    case GetDateTimeQuarterHourZone:
    case PointingSide:
    case Hibernate:
    case WakeUp:
    case LoneQuestionMark:
        text = meaning;
        break;
    }
    if (known->needsNewerFirmware)
        text += "; answered from firmware 5.28 on";
    if (bytes.size() > known->length)
        text += "; " + countText(bytes.size() - known->length, "more byte")
                + " behind it went with it";
    return text;
}

std::string ExchangeDecoder::reply(std::string_view command, std::string_view reply) const
{
    if (command.empty())
        return "a reply to no command";
    const std::optional<KnownCommand> known = lookUp(command.front(), m_context);
    if (!known)
        return "a reply to an unknown command";
    if (reply.empty())
        return "no reply";
    const bool basic = m_context.profile == Profile::Basic;
    // The basic profile sends the version box's text as it is, without a "#" of its own.
    if (basic && known->action == Version)
        return versionText(reply, true);
    if (reply.back() != '#')
        return "malformed: does not end with '#'";
    const std::string_view body = reply.substr(0, reply.size() - 1);
    if (command.size() < known->length)
        return "a reply to an incomplete command";

    const auto oneByte = [&]() -> std::optional<std::uint8_t> {
        if (body.size() == 1)
            return byteAt(body, 0);
        return std::nullopt;
    };
    const std::string wrongSize = "malformed: " + countText(reply.size(), "byte");
    switch (known->action) {
    case GetRaDec16:
    case GetRaDec32:
    case GetAzmAlt16:
    case GetAzmAlt32: {
        const PositionForm form = *positionForm(known->action);
        if (body.size() != 2 * form.digits + 1)
            return "malformed: " + countText(reply.size(), "byte") + ", expected "
                    + number(static_cast<long long>(2 * form.digits + 2));
        std::string problem;
        const std::optional<std::string> pair
                = parsePair(body, 0, form.digits, form.raDec, problem);
        return pair ? *pair : "malformed: " + problem;
    }
    case IsGotoInProgress:
        if (body == "0")
            return "no goto in progress";
        if (body == "1")
            return "a goto is in progress";
        return "malformed: expected '0' or '1'";
    case IsAligned:
        if (body == "1" || body == std::string_view("\x01", 1))
            return "aligned";
        if (body == "0" || body == std::string_view("\x00", 1))
            return "not aligned";
        return "malformed: expected 0 or 1";
    case Echo:
        if (const auto byte = oneByte())
            return "echo " + byteText(*byte)
                    + (*byte == byteAt(command, 1) ? "" : ", not the byte that was sent");
        return wrongSize + ", expected 2";
    case Version:
        return versionText(body, false);
    case Variant:
        if (const auto byte = oneByte())
            return "variant " + number(*byte);
        return wrongSize + ", expected 2";
    case Model:
        if (const auto byte = oneByte())
            return modelText(*byte, m_context.hexVersion);
        return wrongSize + ", expected 2";
    case GetTracking:
        if (const auto byte = oneByte())
            return "tracking mode " + trackingText(*byte);
        return wrongSize + ", expected 2";
    case GetSite:
        if (body.size() == 8)
            return "site " + siteText(body);
        return wrongSize + ", expected 9";
    case GetDateTime:
    case GetDateTimeQuarterHourZone:
        if (body.size() == 8)
            return dateTimeText(body, known->action == GetDateTimeQuarterHourZone);
        return wrongSize + ", expected 9";
    case PointingSide:
        if (body == "W")
            return "W: the object is west of the meridian (the tube east of the pier)";
        if (body == "E")
            return "E: the object is east of the meridian (the tube west of the pier)";
        return "malformed: expected 'E' or 'W'";
    case PassThrough:
        if (basic)
            return body.empty() ? "acknowledged; the basic profile sends no data"
                                : "data " + bytesText(body);
        return passThroughReply(command, reply);
    case GotoRaDec16:
    case GotoRaDec32:
    case GotoAzmAlt16:
    case GotoAzmAlt32:
    case SyncRaDec16:
    case SyncRaDec32:
    case CancelGoto:
    case SetTracking:
    case SetSite:
    case SetDateTime:
    case SetDateTimeQuarterHourZone:
    case Hibernate:
    case WakeUp:
    case LoneQuestionMark:
        return acknowledgementText(body);
    }
    return acknowledgementText(body);
}

std::string ExchangeDecoder::exchange(std::string_view command, std::string_view reply) const
{
    return this->command(command) + " -> " + this->reply(command, reply);
}

std::string ExchangeDecoder::commandProblem(std::string_view bytes) const
{
    const std::optional<KnownCommand> known
            = bytes.empty() ? std::nullopt : lookUp(bytes.front(), m_context);
    if (!known || bytes.size() < known->length)
        return {};
    const std::string_view whole = bytes.substr(0, known->length);
    // The queries share the form of their replies' positions; only gotos and syncs send one.
    const std::optional<PositionForm> form = positionForm(known->action);
    if (form && known->length > 1) {
        std::string problem;
        if (!parsePair(whole, 1, form->digits, form->raDec, problem))
            return problem;
        return {};
    }
    if (known->action == PassThrough) {
        const BusCommandRow *row = findBusCommand(byteAt(whole, 2), byteAt(whole, 3));
        if (row && byteAt(whole, 1) != row->lengthByte)
            return "pass-through with length byte " + number(byteAt(whole, 1)) + ", expected "
                    + number(row->lengthByte);
    }
    return {};
}

std::string ExchangeDecoder::unanswered(std::string_view bytes) const
{
    if (bytes.empty())
        return "unanswered: nothing";
    const std::optional<KnownCommand> known = lookUp(bytes.front(), m_context);
    if (!known)
        return "unanswered: unknown command";
    const std::string meaning(known->meaning);
    if (known->needsNewerFirmware)
        return "unanswered: " + byteText(byteAt(bytes, 0)) + " (" + meaning
                + ") is answered from firmware 5.28 on";
    if (bytes.size() < known->length)
        return "unanswered: incomplete " + meaning + ", "
                + number(static_cast<long long>(bytes.size())) + " of "
                + countText(known->length, "byte");
    if (m_context.profile == Profile::Basic && bytes.front() == '?')
        return "unanswered: '?' is answered only when it arrives alone";
    return "unanswered: " + command(bytes);
}

std::string ExchangeDecoder::positionPair(std::string_view text, bool raDec)
{
    if (!text.empty() && text.back() == '#')
        text.remove_suffix(1);
    const std::size_t digits = text.size() == 17 ? 8 : 4;
    std::string problem;
    if (text.size() != 9 && text.size() != 17)
        return "not a position: " + countText(text.size(), "byte");
    const std::optional<std::string> pair = parsePair(text, 0, digits, raDec, problem);
    return pair ? *pair : "not a position: " + problem;
}

} // namespace tqx

namespace tqx {

std::string ExchangeDecoder::trackingMode(std::uint8_t mode) { return trackingText(mode); }

std::string ExchangeDecoder::site(std::string_view bytes)
{
    if (bytes.size() != 8)
        return "not a site: " + countText(bytes.size(), "byte");
    return siteText(bytes);
}

std::string ExchangeDecoder::dateTime(std::string_view bytes)
{
    if (bytes.size() != 8)
        return "not a date and time: " + countText(bytes.size(), "byte");
    return dateTimeText(bytes, true);
}

} // namespace tqx
