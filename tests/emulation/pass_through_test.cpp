// The "P" pass-through: replies of the length the client asks for, the error form, and the
// devices on the bus.

#include "FullExchange.h"

#include <gtest/gtest.h>

#include <set>
#include <string>
#include <vector>

using tqx::Bytes;
using tqx::bytesOf;
using tqx::HandControlSettings;

namespace {

Bytes frame(int len, int dest, int command, int d1, int d2, int d3, int replyLength)
{
    return bytesOf({'P', len, dest, command, d1, d2, d3, replyLength});
}

Bytes query(int dest, int command, int replyLength)
{
    return frame(1, dest, command, 0, 0, 0, replyLength);
}

Bytes error(std::size_t replyLength) { return Bytes(replyLength, '\0') + "\x01#"; }

HandControlSettings accessories(bool gps, bool clock)
{
    HandControlSettings settings;
    settings.gpsPresent = gps;
    settings.clockPresent = clock;
    return settings;
}

HandControlSettings altAzimuthModel()
{
    HandControlSettings settings = accessories(true, true);
    settings.model = 7;
    return settings;
}

struct Step
{
    Bytes received;
    Bytes written;
    std::int64_t thenWaitMs = 0; // time that passes before the next step
};

struct BusCase
{
    std::string name;
    std::vector<Step> steps;
    HandControlSettings settings = accessories(true, true);
};

void PrintTo(const BusCase &c, std::ostream *os) { *os << c.name; }

class Bus : public testing::TestWithParam<BusCase>
{
};

TEST_P(Bus, answersEachFrameExactly)
{
    FullExchange x(GetParam().settings);
    int stepNumber = 0;
    for (const Step &step : GetParam().steps) {
        EXPECT_EQ(x.send(step.received), step.written) << "step " << ++stepNumber;
        x.wait(step.thenWaitMs);
    }
}

// 21:45:30 local, 12 Nov 2024, UTC+1.
const Bytes novemberEvening = "H" + bytesOf({21, 45, 30, 11, 12, 24, 1, 0});

INSTANTIATE_TEST_SUITE_P(
        MotorControllers, Bus,
        testing::Values(BusCase {"versionTwoBytes",
                                 {{query(16, 254, 2), bytesOf({7, 15, '#'})},
                                  {query(17, 254, 2), bytesOf({7, 15, '#'})}}},
                        BusCase {"axisPositionsReadBackAsSet",
                                 {{frame(4, 16, 4, 0x12, 0xAB, 0x05, 0), "#"},
                                  {frame(4, 17, 4, 0x20, 0x00, 0x00, 0), "#"},
                                  {query(16, 1, 3), bytesOf({0x12, 0xAB, 0x05, '#'})},
                                  {query(17, 1, 3), bytesOf({0x20, 0x00, 0x00, '#'})}}},
                        BusCase {"setPositionMovesTheAltAzimuthMount",
                                 {{frame(4, 16, 4, 0x23, 0x00, 0xFF, 0), "#"},
                                  {frame(4, 17, 4, 0x10, 0x00, 0x00, 0), "#"},
                                  {query(16, 1, 3), bytesOf({0x23, 0x00, 0xFF, '#'})},
                                  {"z", "2300FF00,10000000#"}},
                                 altAzimuthModel()},
                        BusCase {"setPositionWithTheOldLengthByte",
                                 {{frame(3, 17, 4, 1, 2, 3, 0), "#"},
                                  {query(17, 1, 3), bytesOf({1, 2, 3, '#'})}}},
                        BusCase {"slowGotoTakesTime",
                                 {{bytesOf({'T', 0}), "#"},
                                  {frame(4, 16, 4, 0x12, 0xAB, 0x05, 0), "#"},
                                  {frame(4, 17, 23, 0x15, 0x55, 0x55, 0), "#"},
                                  {query(17, 19, 1), bytesOf({0x00, '#'})},
                                  {query(16, 19, 1), bytesOf({0xFF, '#'})},
                                  {"L", "1#", 120'000},
                                  {query(17, 19, 1), bytesOf({0xFF, '#'})},
                                  {"L", "0#"},
                                  {"Z", "12AB,1555#"}},
                                 altAzimuthModel()},
                        BusCase {"slowGotoBelowTheHorizonRefused",
                                 {{frame(4, 17, 23, 213, 85, 85, 0), "#"},
                                  {query(17, 19, 1), bytesOf({0xFF, '#'})},
                                  {"L", "0#"}},
                                 altAzimuthModel()},
                        BusCase {"slewsAccepted",
                                 {{frame(3, 16, 6, 0, 240, 0, 0), "#"},
                                  {frame(3, 17, 7, 0xA8, 0xC0, 0, 0), "#"},
                                  {frame(2, 16, 36, 9, 0, 0, 0), "#"},
                                  {frame(2, 17, 37, 0, 0, 0, 0), "#"}}},
                        BusCase {"guideRatePerAxis",
                                 {{query(16, 71, 1), bytesOf({0x80, '#'})},
                                  {frame(2, 17, 70, '#', 0, 0, 0), "#"},
                                  {query(17, 71, 1), "##"},
                                  {query(16, 71, 1), bytesOf({0x80, '#'})}}},
                        BusCase {"cordWrapOnTheAzimuthAxis",
                                 {{query(16, 59, 1), bytesOf({0x00, '#'})},
                                  {query(16, 56, 0), "#"},
                                  {query(16, 59, 1), bytesOf({0xFF, '#'})},
                                  {frame(4, 16, 58, 0xFF, '#', 0, 0), "#"},
                                  {query(16, 60, 3), bytesOf({0xFF, '#', 0, '#'})},
                                  {query(16, 57, 0), "#"},
                                  {query(16, 59, 1), bytesOf({0x00, '#'})}}},
                        BusCase {"noCordWrapOnTheAltitudeAxis",
                                 {{query(17, 59, 1), error(1)}, {query(17, 56, 0), error(0)}}},
                        BusCase {"unknownMotorCommand", {{query(16, 200, 2), error(2)}}}),
        [](const testing::TestParamInfo<BusCase> &info) { return info.param.name; });

INSTANTIATE_TEST_SUITE_P(
        Accessories, Bus,
        testing::Values(
                BusCase {"gpsLinked", {{query(176, 55, 1), bytesOf({1, '#'})}}},
                BusCase {"gpsAbsent",
                         {{query(176, 55, 1), error(1)}, {query(176, 51, 3), error(3)}},
                         accessories(false, true)},
                BusCase {"gpsReportsTheStoredSite",
                         {{"W" + bytesOf({48, 51, 24, 0, 2, 21, 8, 0}), "#"},
                          {query(176, 1, 3), bytesOf({0x22, 0xBE, 0x16, '#'})},
                          {query(176, 2, 3), bytesOf({0x01, 0xAC, 0x36, '#'})}}},
                BusCase {"gpsSouthAndWestAsTwosComplement",
                         {{"W" + bytesOf({33, 52, 0, 1, 70, 0, 0, 1}), "#"},
                          {query(176, 1, 3), bytesOf({0xE7, 0xEA, 0xC3, '#'})},
                          {query(176, 2, 3), bytesOf({0xCE, 0x38, 0xE4, '#'})}}},
                BusCase {"gpsTimeIsUniversal",
                         {{novemberEvening, "#"},
                          {query(176, 51, 3), bytesOf({20, 45, 30, '#'})},
                          {query(176, 3, 2), bytesOf({11, 12, '#'})},
                          {query(176, 4, 2), bytesOf({0x07, 0xE8, '#'})}}},
                BusCase {"gpsDateCrossesMidnightWithDaylightSaving",
                         {{"H" + bytesOf({0, 30, 0, 1, 1, 25, 1, 1}), "#"},
                          {query(176, 51, 3), bytesOf({22, 30, 0, '#'})},
                          {query(176, 3, 2), bytesOf({12, 31, '#'})},
                          {query(176, 4, 2), bytesOf({0x07, 0xE8, '#'})}}},
                BusCase {"clockReadsLocalTime",
                         {{novemberEvening, "#"},
                          {query(178, 51, 3), bytesOf({21, 45, 30, '#'})},
                          {query(178, 3, 2), bytesOf({11, 12, '#'})},
                          {query(178, 4, 2), bytesOf({0x07, 0xE8, '#'})}}},
                BusCase {"clockSetsTheHandControlsTime",
                         {{novemberEvening, "#"},
                          {frame(3, 178, 131, 2, 29, 0, 0), "#"},
                          {frame(3, 178, 132, 0x07, 0xEC, 0, 0), "#"},
                          {frame(4, 178, 179, 6, 7, 8, 0), "#"},
                          {"h", bytesOf({6, 7, 8, 2, 29, 28, 1, 0, '#'})}}},
                BusCase {"clockAbsent", {{query(178, 51, 3), error(3)}}, accessories(true, false)},
                BusCase {"focuserNeverAnswers",
                         {{query(18, 254, 2), error(2)}, {query(18, 1, 3), error(3)}}},
                BusCase {"handControlOwnAddressDoesNotAnswer", {{query(13, 254, 2), error(2)}}},
                BusCase {"versionsOfTheAccessories",
                         {{query(176, 254, 2), bytesOf({1, 6, '#'})},
                          {query(178, 254, 2), bytesOf({1, 0, '#'})}}}),
        [](const testing::TestParamInfo<BusCase> &info) { return info.param.name; });

TEST(PassThrough, everyReplyLengthFromZeroToEight)
{
    FullExchange x(accessories(false, false));
    const Bytes version = bytesOf({7, 15, 32, 78});
    for (int length = 0; length <= 8; ++length) {
        Bytes expected = version.substr(0, static_cast<std::size_t>(length));
        expected.resize(static_cast<std::size_t>(length), '\0');
        EXPECT_EQ(x.send(query(16, 254, length)), expected + "#") << "length " << length;
        EXPECT_EQ(x.send(query(176, 254, length)), error(static_cast<std::size_t>(length)))
                << "absent device, length " << length;
        EXPECT_EQ(x.send(query(17, 99, length)), error(static_cast<std::size_t>(length)))
                << "unknown command, length " << length;
    }
}

TEST(PassThrough, longReplyLengthsAreHonoured)
{
    FullExchange x;
    EXPECT_EQ(x.send(query(16, 254, 255)), bytesOf({7, 15, 32, 78}) + Bytes(251, '\0') + "#");
    EXPECT_EQ(x.send(query(18, 254, 255)), error(255));
}

TEST(PassThrough, frameWaitsForItsEighthByte)
{
    FullExchange x;
    const Bytes version = query(16, 254, 2);
    for (std::size_t i = 0; i + 1 < version.size(); ++i)
        EXPECT_EQ(x.send(version.substr(i, 1)), "") << "byte " << i;
    EXPECT_EQ(x.send(version.substr(7)), bytesOf({7, 15, '#'}));
}

// Reads replies the way clients do: rlen bytes and "#"; if the byte where "#" belongs is not
// "#", one more byte follows and the device is taken as absent.
class ProbingClient
{
public:
    explicit ProbingClient(FullExchange &exchange)
        : m_exchange(exchange)
    {
    }

    bool answers(int dest, int command, int replyLength)
    {
        const std::size_t start = m_exchange.port.written.size();
        m_exchange.send(query(dest, command, replyLength));
        const Bytes &line = m_exchange.port.written;
        const std::size_t hashAt = start + static_cast<std::size_t>(replyLength);
        if (line.size() <= hashAt)
            return false;
        if (line[hashAt] == '#') {
            EXPECT_EQ(line.size(), hashAt + 1) << "bytes after the reply to device " << dest;
            return true;
        }
        EXPECT_EQ(line.substr(hashAt + 1), "#") << "error reply of device " << dest;
        return false;
    }

private:
    FullExchange &m_exchange;
};

struct ProbeCase
{
    std::string name;
    bool gps;
    bool clock;
    std::set<int> found;
};

class AccessoryProbe : public testing::TestWithParam<ProbeCase>
{
};

TEST_P(AccessoryProbe, clientFindsWhatIsPresent)
{
    FullExchange x(accessories(GetParam().gps, GetParam().clock));
    ProbingClient client(x);
    std::set<int> found;
    // One by one, each with the query its driver sends, and "Ka" between them to check that the
    // line is still in step.
    const std::vector<std::pair<int, int>> probes {
            {16, 254}, {17, 254}, {18, 254}, {176, 55}, {178, 51}};
    for (const auto &[dest, command] : probes) {
        const int replyLength = command == 55 ? 1 : command == 51 ? 3 : 2;
        if (client.answers(dest, command, replyLength))
            found.insert(dest);
        ASSERT_EQ(x.send("Ka"), "a#") << "after probing " << dest;
    }
    EXPECT_EQ(found, GetParam().found);
}

INSTANTIATE_TEST_SUITE_P(Settings, AccessoryProbe,
                         testing::Values(ProbeCase {"motorsOnly", false, false, {16, 17}},
                                         ProbeCase {"withGps", true, false, {16, 17, 176}},
                                         ProbeCase {"withClock", false, true, {16, 17, 178}},
                                         ProbeCase {"withBoth", true, true, {16, 17, 176, 178}}),
                         [](const testing::TestParamInfo<ProbeCase> &info) {
                             return info.param.name;
                         });

} // namespace
