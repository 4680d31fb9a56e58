// What the full profile puts on the line for each top-level command, byte for byte.

#include "FullExchange.h"
#include "emulation/Clocks.h"
#include "emulation/FullCommandTable.h"

#include <gtest/gtest.h>

#include <ctime>
#include <string>
#include <vector>

using tqx::Bytes;
using tqx::bytesOf;
using tqx::HandControlSettings;
using tqx::VersionFormat;

namespace {

struct Step
{
    Bytes received; // the bytes of one receive event
    Bytes written; // everything written back in that event
    std::int64_t thenWaitMs = 0; // time that passes before the next step
};

struct FullCase
{
    std::string name;
    std::vector<Step> steps;
    HandControlSettings settings = {};
};

void PrintTo(const FullCase &c, std::ostream *os) { *os << c.name; }

HandControlSettings version(const std::string &text, VersionFormat format)
{
    HandControlSettings settings;
    settings.version = text;
    settings.versionFormat = format;
    return settings;
}

HandControlSettings unaligned()
{
    HandControlSettings settings;
    settings.aligned = false;
    return settings;
}

HandControlSettings model(std::uint8_t byte)
{
    HandControlSettings settings;
    settings.model = byte;
    return settings;
}

HandControlSettings firmware528()
{
    HandControlSettings settings;
    settings.version = "5.28";
    settings.variant = 0x23;
    return settings;
}

// The site of the fact sheet's example: 48 deg 51' 24" N, 2 deg 21' 08" E.
const Bytes parisSite = bytesOf({0x30, 0x33, 0x18, 0x00, 0x02, 0x15, 0x08, 0x00});
// 21:45:30, 12 Nov 2024, UTC+1, no daylight-saving time.
const Bytes novemberEvening = bytesOf({0x15, 0x2D, 0x1E, 0x0B, 0x0C, 0x18, 0x01, 0x00});

class FullProtocol : public testing::TestWithParam<FullCase>
{
};

TEST_P(FullProtocol, answersEachEventExactly)
{
    FullExchange exchange(GetParam().settings);
    int stepNumber = 0;
    for (const Step &step : GetParam().steps) {
        ++stepNumber;
        EXPECT_EQ(exchange.send(step.received), step.written)
                << "step " << stepNumber << ", received \"" << step.received << '"';
        exchange.wait(step.thenWaitMs);
    }
}

INSTANTIATE_TEST_SUITE_P(
        Positions, FullProtocol,
        testing::Values(FullCase {"startupPositionIsAldebaran",
                                  {{"E", FullExchange::startE}, {"e", FullExchange::starte}}},
                        FullCase {"startupPositionInJ2000ForHexClients",
                                  {{"E", "310C,0BBB#"}, {"e", "310C0500,0BBB0500#"}},
                                  version("4.39.07", VersionFormat::Hex)},
                        FullCase {"gotoRaDec16ArrivesAfterItsSlew",
                                  {{"R34AB,12CE", "#"},
                                   {"L", "1#", 60'000},
                                   {"L", "0#"},
                                   {"E", "34AB,12CE#"},
                                   {"e", "34AB0000,12CE0000#"}}},
                        FullCase {"gotoRaDec32IgnoresTheLowByte",
                                  {{"r34AB05FF,12CE0577", "#", 60'000},
                                   {"e", "34AB0500,12CE0500#"},
                                   {"E", "34AB,12CE#"}}},
                        FullCase {"gotoAzmAlt16",
                                  {{bytesOf({'T', 0}), "#"},
                                   {"B0123,1567", "#", 60'000},
                                   {"z", "01230000,15670000#"}}},
                        FullCase {"gotoAzmAlt32AcceptsLowerCase",
                                  {{bytesOf({'T', 0}), "#"},
                                   {"b89abcdef,00000001", "#", 60'000},
                                   {"z", "89ABCD00,00000000#"},
                                   {"Z", "89AB,0000#"}}},
                        FullCase {"gotoToSomethingNotAPositionStaysPut",
                                  {{"Rhello wd!", "#"},
                                   {"R12345,678", "#"},
                                   {"L", "0#"},
                                   {"E", FullExchange::startE}}},
                        FullCase {"gotoRaDecNeedsAlignment",
                                  {{"R34AB,12CE", "#"},
                                   {"L", "0#"},
                                   {"E", FullExchange::startE},
                                   {bytesOf({'T', 0}), "#"},
                                   {"B0123,1567", "#", 60'000},
                                   {"Z", "0123,1567#"}},
                                  unaligned()},
                        FullCase {"syncSetsThePosition",
                                  {{"S1234,2678", "#"},
                                   {"E", "1234,2678#"},
                                   {"s9ABCDEF0,00FF00FF", "#"},
                                   {"e", "9ABCDE00,00FF0000#"}}},
                        FullCase {"syncNeedsAlignment",
                                  {{"S1234,5678", "#"}, {"E", FullExchange::startE}},
                                  unaligned()},
                        FullCase {"cancelStopsTheGoto",
                                  {{"R0000,0000", "#"}, {"L", "1#"}, {"M", "#"}, {"L", "0#"}}}),
        [](const testing::TestParamInfo<FullCase> &info) { return info.param.name; });

INSTANTIATE_TEST_SUITE_P(
        Status, FullProtocol,
        testing::Values(
                FullCase {"alignedIsBinaryOne", {{"J", bytesOf({0x01, '#'})}}},
                FullCase {"notAlignedIsBinaryZero", {{"J", bytesOf({0x00, '#'})}}, unaligned()},
                FullCase {"echoAnyByte",
                          {{"Ka", "a#"},
                           {"K#", "##"},
                           {bytesOf({'K', 0}), bytesOf({0, '#'})},
                           {"K\xff", "\xff#"}}},
                FullCase {"echoWaitsForItsByte", {{"K", ""}, {"x", "x#"}}},
                FullCase {"versionBinary", {{"V", bytesOf({0x04, 0x15, '#'})}}},
                FullCase {"versionBinaryMinorIsTheHashByte",
                          {{"V", bytesOf({0x04, 0x23, '#'})}},
                          version("4.35", VersionFormat::Binary)},
                FullCase {"versionBinaryExtremes",
                          {{"V", bytesOf({0xFF, 0x00, '#'})}},
                          version("255.0", VersionFormat::Binary)},
                FullCase {"versionBinaryThreeNumbers",
                          {{"V", bytesOf({0x04, 0x27, 0x07, '#'})}},
                          version("4.39.07", VersionFormat::Binary)},
                FullCase {"versionHex", {{"V", "042707#"}}, version("4.39.07", VersionFormat::Hex)},
                FullCase {"versionHexWithoutPatch",
                          {{"V", "041500#"}},
                          version("4.21", VersionFormat::Hex)},
                FullCase {"versionHexUpperCase",
                          {{"V", "FF0AC8#"}},
                          version("255.10.200", VersionFormat::Hex)},
                FullCase {"modelEquatorialForBinaryClients", {{"m", bytesOf({6, '#'})}}},
                FullCase {"modelEquatorialForHexClients",
                          {{"m", bytesOf({1, '#'})}},
                          version("4.39.07", VersionFormat::Hex)},
                FullCase {"modelZero", {{"m", bytesOf({0, '#'})}}, model(0)},
                FullCase {"modelHashByte", {{"m", "##"}}, model('#')},
                FullCase {"modelAltAzOfTheHexFamily", {{"m", bytesOf({0x90, '#'})}}, model(0x90)},
                FullCase {"noPierSideOnAnAltAzimuthMount", {{"p", "W#"}}, model(7)},
                FullCase {"hibernateAndWakeUp", {{"x", "#"}, {"y", "#"}}},
                FullCase {"loneQuestionMark",
                          {{"?", "#"}, {"?E", "#" + Bytes(FullExchange::startE)}}},
                FullCase {"variantFrom528", {{"v", "##"}}, firmware528()}),
        [](const testing::TestParamInfo<FullCase> &info) { return info.param.name; });

INSTANTIATE_TEST_SUITE_P(
        TrackingSiteAndTime, FullProtocol,
        testing::Values(FullCase {"trackingStartsEquatorialNorth", {{"t", bytesOf({2, '#'})}}},
                        FullCase {"trackingModesAreBinary",
                                  {{bytesOf({'T', 0}), "#"},
                                   {"t", bytesOf({0, '#'})},
                                   {bytesOf({'T', 3}), "#"},
                                   {"t", bytesOf({3, '#'})},
                                   {bytesOf({'T', 1}), "#"},
                                   {"t", bytesOf({1, '#'})}}},
                        FullCase {"trackingWaitsForItsMode",
                                  {{"T", ""}, {bytesOf({0}), "#"}, {"t", bytesOf({0, '#'})}}},
                        FullCase {"altAzTrackingNeedsAlignment",
                                  {{bytesOf({'T', 1}), "#"}, {"t", bytesOf({2, '#'})}},
                                  unaligned()},
                        FullCase {"siteStartsAtZero", {{"w", Bytes(8, '\0') + "#"}}},
                        FullCase {"siteReadBackAsSent",
                                  {{"W" + parisSite, "#"}, {"w", parisSite + "#"}}},
                        FullCase {"siteWithHashAndFfBytes",
                                  {{"W" + bytesOf({'#', 0xFF, 0, '#', 0xFF, 0, '#', 0xFF}), "#"},
                                   {"w", bytesOf({'#', 0xFF, 0, '#', 0xFF, 0, '#', 0xFF, '#'})}}},
                        FullCase {"siteWaitsForEightBytes",
                                  {{"W" + parisSite.substr(0, 7), ""}, {parisSite.substr(7), "#"}}},
                        FullCase {"timeBeforeSettingIsTheComputersUtc",
                                  {{"h", bytesOf({21, 45, 30, 11, 12, 24, 0, 0, '#'})}}},
                        FullCase {"timeReadBackAsSent",
                                  {{"H" + novemberEvening, "#"}, {"h", novemberEvening + "#"}}},
                        FullCase {"negativeZoneAsTwosComplement",
                                  {{"H" + bytesOf({6, 0, 0, 1, 1, 25, 0xFB, 1}), "#"},
                                   {"h", bytesOf({6, 0, 0, 1, 1, 25, 0xFB, 1, '#'})}}},
                        FullCase {"impossibleDateKeptAsSent",
                                  {{"H" + bytesOf({35, 0, 0xFF, 13, 0, 0, 0, 0}), "#"},
                                   {"h", bytesOf({35, 0, 0xFF, 13, 0, 0, 0, 0, '#'})}}},
                        FullCase {"quarterHourZoneFrom528",
                                  {{"I" + bytesOf({21, 45, 30, 11, 12, 24, 22, 0}), "#"},
                                   {"i", bytesOf({21, 45, 30, 11, 12, 24, 22, 0, '#'})},
                                   {"h", bytesOf({21, 45, 30, 11, 12, 24, 5, 0, '#'})},
                                   {"H" + novemberEvening, "#"},
                                   {"i", bytesOf({21, 45, 30, 11, 12, 24, 4, 0, '#'})}},
                                  firmware528()}),
        [](const testing::TestParamInfo<FullCase> &info) { return info.param.name; });

INSTANTIATE_TEST_SUITE_P(
        Pipelining, FullProtocol,
        testing::Values(FullCase {"doubleCancelAnsweredTwice", {{"MM", "##"}}},
                        FullCase {"everyCommandOfAnEventInOrder",
                                  {{"EKaJL", FullExchange::startE + Bytes("a#\x01#0#")}}},
                        FullCase {"commandSplitAcrossEvents",
                                  {{"ES34", FullExchange::startE}, {"AB,12CEE", "#34AB,12CE#"}}}),
        [](const testing::TestParamInfo<FullCase> &info) { return info.param.name; });

TEST(FullProfile, eachExchangeIsLoggedOnItsOwn)
{
    FullExchange x;
    x.send("MKaE");
    EXPECT_EQ(x.display.inputLines, (std::vector<Bytes> {"M", "Ka", "E"}));
    EXPECT_EQ(x.display.respLines, (std::vector<Bytes> {"#", "a#", FullExchange::startE}));
    EXPECT_EQ(x.port.writes, (std::vector<Bytes> {"#", "a#", FullExchange::startE}));
    EXPECT_EQ(x.display.inputLabel, "3");
    EXPECT_EQ(x.display.respSelected, 2);
    EXPECT_EQ(x.display.commandText, "");
}

TEST(FullProfile, clockRunsOnFromTheMomentItWasSet)
{
    FullExchange x;
    x.send("H" + bytesOf({23, 59, 30, 12, 31, 24, 0xFB, 0}));
    x.wait(44'999);
    EXPECT_EQ(x.send("h"), bytesOf({0, 0, 14, 1, 1, 25, 0xFB, 0, '#'}));
    x.wait(1);
    EXPECT_EQ(x.send("h"), bytesOf({0, 0, 15, 1, 1, 25, 0xFB, 0, '#'}));
}

TEST(FullProfile, clockIsUnaffectedByTheComputersClockOnceSet)
{
    FullExchange x;
    x.send("H" + novemberEvening);
    x.utcMs += 3'600'000;
    EXPECT_EQ(x.send("h"), novemberEvening + "#");
}

TEST(FullProfile, impossibleDateDoesNotRun)
{
    FullExchange x;
    const Bytes stopped = bytesOf({10, 0, 0, 2, 30, 24, 0, 0});
    x.send("H" + stopped);
    x.wait(60'000);
    EXPECT_EQ(x.send("h"), stopped + "#");
}

TEST(FullProfile, onlyTheTableLettersBeginACommand)
{
    const std::string letters = "EeZzRrBbSsMLJKVvmtTwWhHiIpxyP?";
    std::string fromTable;
    for (const tqx::FullCommand &command : tqx::fullCommandTable())
        fromTable += command.letter;
    EXPECT_EQ(fromTable, letters);
    for (int value = 0; value < 256; ++value) {
        const char byte = static_cast<char>(value);
        const tqx::FullCommand *command = tqx::findFullCommand(byte);
        if (letters.find(byte) == std::string::npos)
            EXPECT_EQ(command, nullptr) << "byte " << value;
        else
            EXPECT_TRUE(command && command->letter == byte) << "byte " << value;
    }
}

TEST(FullProfile, commandsOfNewerFirmwareAreUnknownBefore528)
{
    for (const char *text : {"4.21", "5.27", "4.99.99"}) {
        FullExchange x(version(text, VersionFormat::Binary));
        for (const char *command : {"v", "i", "I"}) {
            EXPECT_EQ(x.send(command), "") << text << ' ' << command;
            x.wait(tqx::CommandInterpreter::quietGapMs);
            EXPECT_EQ(x.display.unanswered.back(), command) << text;
        }
    }
    for (const char *text : {"5.28", "5.28.01", "6.00"}) {
        FullExchange x(version(text, VersionFormat::Binary));
        EXPECT_EQ(x.send("v"), bytesOf({0, '#'})) << text;
    }
}

// The computer's clock read through the system's seconds and nanoseconds, as the real clock
// source reads it, then answered by "h" and by the real-time clock's 16-bit year on the bus.
struct ComputerClockCase
{
    std::string name;
    std::timespec utc; // seconds and nanoseconds since 1970-01-01 00:00 UTC
    Bytes dateTimeReply; // "h": the byte after month and day is the year less 2000, modulo 256
    int year;
};

void PrintTo(const ComputerClockCase &c, std::ostream *os) { *os << c.name; }

class ComputerClock : public testing::TestWithParam<ComputerClockCase>
{
};

TEST_P(ComputerClock, givesTheDateWhateverTheYear)
{
    const ComputerClockCase &c = GetParam();
    HandControlSettings settings;
    settings.clockPresent = true;
    FullExchange x(settings);
    x.utcMs = tqx::Clocks::millisecondsOf(c.utc);
    EXPECT_EQ(x.send("h"), c.dateTimeReply);
    EXPECT_EQ(x.send(bytesOf({'P', 1, 178, 4, 0, 0, 0, 2})),
              bytesOf({c.year >> 8, c.year & 0xFF, '#'}));
}

INSTANTIATE_TEST_SUITE_P(
        FullProfile, ComputerClock,
        testing::Values(ComputerClockCase {"lastYearTheDateLayoutHolds",
                                           {9'025'257'599, 0},
                                           bytesOf({23, 59, 59, 12, 31, 255, 0, 0, '#'}),
                                           2255},
                        // 2^63 nanoseconds after 1970 is 2262-04-11 23:47:16.854775807.
                        ComputerClockCase {"lastMillisecondOfNanosecondClocks",
                                           {9'223'372'036, 854'775'807},
                                           bytesOf({23, 47, 16, 4, 11, 262 - 256, 0, 0, '#'}),
                                           2262},
                        ComputerClockCase {"beyondNanosecondClocks",
                                           {9'223'372'800, 0},
                                           bytesOf({0, 0, 0, 4, 12, 262 - 256, 0, 0, '#'}),
                                           2262},
                        ComputerClockCase {"year2300",
                                           {10'413'792'000, 0},
                                           bytesOf({0, 0, 0, 1, 1, 300 - 256, 0, 0, '#'}),
                                           2300},
                        // 2100 is not a leap year: the day after 28 February is 1 March.
                        ComputerClockCase {"centuryThatIsNoLeapYear",
                                           {4'107'585'600, 0},
                                           bytesOf({12, 0, 0, 3, 1, 100, 0, 0, '#'}),
                                           2100},
                        // 95 cycles of 400 years after 2000-01-01.
                        ComputerClockCase {"beyondTheYear32767",
                                           {1'200'110'860'800, 0},
                                           bytesOf({0, 0, 0, 1, 1, 38'000 % 256, 0, 0, '#'}),
                                           40'000},
                        ComputerClockCase {
                                "halfASecondBefore1970",
                                {-1, 500'000'000},
                                bytesOf({23, 59, 59, 12, 31, 1969 - 2000 + 256, 0, 0, '#'}),
                                1969}),
        [](const auto &info) { return info.param.name; });

// A clock a client set runs on past the last year the date layout holds.
TEST(FullProfile, clockSetByAClientRunsIntoTheNextCentury)
{
    HandControlSettings settings;
    settings.clockPresent = true;
    FullExchange x(settings);
    x.send("H" + bytesOf({23, 59, 59, 12, 31, 255, 0, 0}));
    x.wait(1'000);
    EXPECT_EQ(x.send("h"), bytesOf({0, 0, 0, 1, 1, 0, 0, 0, '#'}));
    EXPECT_EQ(x.send(bytesOf({'P', 1, 178, 4, 0, 0, 0, 2})),
              bytesOf({2256 >> 8, 2256 & 0xFF, '#'}));
}

} // namespace
