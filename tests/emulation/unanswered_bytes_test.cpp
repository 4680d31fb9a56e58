// Bytes that get no answer: an unknown command in the full profile, discarded after a quiet gap,
// and the automatic reset of a blocked buffer, both on a clock the test drives.

#include "FullExchange.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using tqx::Bytes;
using tqx::Profile;
using Lines = std::vector<Bytes>;

namespace {

constexpr std::int64_t gap = tqx::CommandInterpreter::quietGapMs;

// Steps of one unknown-command scenario: bytes arriving, or time passing.
struct Event
{
    std::int64_t waitMs; // time that passes first, with a poll at its end
    Bytes received;
    Bytes written;
};

struct UnknownCase
{
    std::string name;
    std::vector<Event> events;
    Lines unanswered; // the lines logged, in order, once every event has happened
};

void PrintTo(const UnknownCase &c, std::ostream *os) { *os << c.name; }

class UnknownCommand : public testing::TestWithParam<UnknownCase>
{
};

TEST_P(UnknownCommand, isDiscardedAsOneLine)
{
    FullExchange x;
    int number = 0;
    for (const Event &event : GetParam().events) {
        ++number;
        if (event.waitMs > 0)
            x.wait(event.waitMs);
        EXPECT_EQ(x.send(event.received), event.written) << "event " << number;
    }
    EXPECT_EQ(x.display.unanswered, GetParam().unanswered);
}

INSTANTIATE_TEST_SUITE_P(
        FullProfile, UnknownCommand,
        testing::Values(
                UnknownCase {
                        "aloneThenAGap", {{0, "X", ""}, {gap, "E", FullExchange::startE}}, {"X"}},
                UnknownCase {"payloadLooksLikeCommands",
                             {{0, Bytes("X\x01E\x02MM", 6), ""}, {gap, "L", "0#"}},
                             {Bytes("X\x01E\x02MM", 6)}},
                UnknownCase {"payloadInPiecesWithinTheGap",
                             {{0, "X", ""},
                              {gap - 1, "12", ""},
                              {gap - 1, "E", ""},
                              {gap, "E", FullExchange::startE}},
                             {"X12E"}},
                UnknownCase {"afterAnsweredCommandsOfTheSameEvent",
                             {{0, "EX9", FullExchange::startE}, {gap, "J", "\x01#"}},
                             {"X9"}},
                UnknownCase {"newerFirmwareCommandOnOlderFirmware",
                             {{0, "i", ""}, {gap, "V", "\x04\x15#"}},
                             {"i"}},
                UnknownCase {"twoUnknownCommandsTwoLines",
                             {{0, "X1", ""}, {gap, "Y2", ""}, {gap, "E", FullExchange::startE}},
                             {"X1", "Y2"}}),
        [](const testing::TestParamInfo<UnknownCase> &info) { return info.param.name; });

TEST(UnknownCommand, gapEndsAtTheNextEventWithoutAPoll)
{
    FullExchange x;
    x.send("Xq");
    x.steadyMs += gap;
    EXPECT_EQ(x.send("E"), FullExchange::startE);
    EXPECT_EQ(x.display.unanswered, Lines {"Xq"});
    EXPECT_EQ(x.display.inputLines, Lines {"E"});
}

TEST(UnknownCommand, bufferShowsTheBytesUntilTheyAreDiscarded)
{
    FullExchange x;
    x.send("X12");
    EXPECT_EQ(x.display.commandText, "X12");
    x.wait(gap - 1);
    EXPECT_EQ(x.display.commandText, "X12");
    EXPECT_TRUE(x.display.unanswered.empty());
    x.wait(1);
    EXPECT_EQ(x.display.commandText, "");
    EXPECT_EQ(x.interpreter.InputCount(), 0u);
    EXPECT_EQ(x.display.unansweredReasons,
              (std::vector<std::string> {"not a command: discarded without a reply"}));
}

TEST(UnknownCommand, longPayloadKeepsItsFirstBytesAndCountsTheRest)
{
    FullExchange x;
    const std::size_t limit = tqx::CommandInterpreter::maxBufferSize;
    x.send("X" + Bytes(limit + 9, 'E'));
    x.wait(gap);
    ASSERT_EQ(x.display.unanswered.size(), 1u);
    EXPECT_EQ(x.display.unanswered[0].size(), limit);
    EXPECT_NE(x.display.unansweredReasons[0].find("10 more bytes"), std::string::npos);
    EXPECT_EQ(x.port.written, "");
    EXPECT_EQ(x.send("E"), FullExchange::startE);
}

TEST(UnknownCommand, resetEndsTheDiscard)
{
    FullExchange x;
    x.send("X");
    x.interpreter.resetBuffer();
    EXPECT_EQ(x.send("E"), FullExchange::startE);
    EXPECT_TRUE(x.display.unanswered.empty());
}

struct ResetCase
{
    std::string name;
    Profile profile;
    std::vector<Event> events;
    Lines unanswered;
};

void PrintTo(const ResetCase &c, std::ostream *os) { *os << c.name; }

class AutomaticReset : public testing::TestWithParam<ResetCase>
{
};

TEST_P(AutomaticReset, resetsABlockedBuffer)
{
    FullExchange x;
    x.interpreter.setProfile(GetParam().profile);
    x.interpreter.setAutoResetAfter(1000);
    int number = 0;
    for (const Event &event : GetParam().events) {
        ++number;
        if (event.waitMs > 0)
            x.wait(event.waitMs);
        EXPECT_EQ(x.send(event.received), event.written) << "event " << number;
    }
    EXPECT_EQ(x.display.unanswered, GetParam().unanswered);
}

INSTANTIATE_TEST_SUITE_P(
        Profiles, AutomaticReset,
        testing::Values(ResetCase {"basicNotBeforeItsTime",
                                   Profile::Basic,
                                   {{0, "X", ""}, {999, "E", ""}},
                                   {}},
                        ResetCase {"basicAfterItsTime",
                                   Profile::Basic,
                                   {{0, "X", ""}, {1000, "E", "310C,0BBB#"}},
                                   {"X"}},
                        ResetCase {"basicCountsFromTheFirstByteNotTheLast",
                                   Profile::Basic,
                                   {{0, "X", ""}, {500, "E", ""}, {500, "L", "0#"}},
                                   {"XE"}},
                        ResetCase {"basicQuestionMarkWithMore",
                                   Profile::Basic,
                                   {{0, "?a", ""}, {1000, "?", "#"}},
                                   {"?a"}},
                        ResetCase {"basicHalfAGoto",
                                   Profile::Basic,
                                   {{0, "R12", ""}, {1000, "E", "310C,0BBB#"}},
                                   {"R12"}},
                        ResetCase {"fullHalfACommand",
                                   Profile::Full,
                                   {{0, "W\x01\x02", ""}, {1000, "J", "\x01#"}},
                                   {"W\x01\x02"}},
                        ResetCase {"fullHalfACommandAfterAnsweredOnes",
                                   Profile::Full,
                                   {{0, "E", FullExchange::startE},
                                    {900, "EW", FullExchange::startE},
                                    {999, "", ""},
                                    {1, "K", ""}},
                                   {"W"}},
                        ResetCase {"fullUnknownBytesThatNeverGoQuiet",
                                   Profile::Full,
                                   {{0, "X", ""},
                                    {90, "q", ""},
                                    {90, "q", ""},
                                    {90, "q", ""},
                                    {90, "q", ""},
                                    {90, "q", ""},
                                    {90, "q", ""},
                                    {90, "q", ""},
                                    {90, "q", ""},
                                    {90, "q", ""},
                                    {90, "q", ""},
                                    {90, "q", ""},
                                    {90, "q", ""},
                                    {gap, "E", FullExchange::startE}},
                                   {"X" + Bytes(11, 'q'), "q"}}),
        [](const testing::TestParamInfo<ResetCase> &info) { return info.param.name; });

TEST(AutomaticReset, offByDefaultAndAtZero)
{
    for (const std::int64_t setting : {std::int64_t {-1}, std::int64_t {0}}) {
        FullExchange x;
        x.interpreter.setProfile(Profile::Basic);
        if (setting >= 0)
            x.interpreter.setAutoResetAfter(setting);
        EXPECT_EQ(x.interpreter.autoResetAfter(), 0);
        x.send("X");
        x.wait(24 * 3'600'000);
        EXPECT_EQ(x.send("E"), "");
        EXPECT_EQ(x.display.commandText, "XE");
        EXPECT_TRUE(x.display.unanswered.empty());
    }
}

TEST(AutomaticReset, isLoggedWithTheBytesItDropped)
{
    FullExchange x;
    x.interpreter.setProfile(Profile::Basic);
    x.interpreter.setAutoResetAfter(250);
    const std::size_t limit = tqx::CommandInterpreter::maxBufferSize;
    x.send("X" + Bytes(limit + 2, 'a'));
    x.port.callLog = &x.display.calls;
    const std::size_t callsBefore = x.display.calls.size();
    x.wait(250);
    ASSERT_EQ(x.display.unanswered.size(), 1u);
    EXPECT_EQ(x.display.unanswered[0], "X" + Bytes(limit - 1, 'a'));
    EXPECT_EQ(x.display.unansweredReasons[0],
              "reset automatically after 250 ms without an answer (3 more bytes were not kept)");
    const std::vector<std::string> calls(x.display.calls.begin() + static_cast<long>(callsBefore),
                                         x.display.calls.end());
    EXPECT_EQ(calls,
              (std::vector<std::string> {"Unanswered+" + x.display.unanswered[0], "CommandText="}));
    EXPECT_EQ(x.display.dropped, 0u);
}

TEST(AutomaticReset, answeredBufferIsNeverReset)
{
    FullExchange x;
    x.interpreter.setProfile(Profile::Basic);
    x.interpreter.setAutoResetAfter(100);
    x.send("E");
    x.wait(10'000);
    EXPECT_TRUE(x.display.unanswered.empty());
}

TEST(ProfileSwitch, takesEffectAtTheNextCommand)
{
    FullExchange x;
    x.interpreter.setProfile(Profile::Basic);
    EXPECT_EQ(x.send("J"), "1#");
    EXPECT_EQ(x.send("V"), "22");
    x.interpreter.setProfile(Profile::Full);
    EXPECT_EQ(x.send("J"), "\x01#");
    EXPECT_EQ(x.send("V"), "\x04\x15#");
    EXPECT_EQ(x.send("m"), "\x06#");
    x.interpreter.setProfile(Profile::Basic);
    EXPECT_EQ(x.send("m"), "");
    x.interpreter.resetBuffer();
    EXPECT_EQ(x.send("MM"), "#");
    EXPECT_EQ(x.display.inputLines, (Lines {"J", "V", "J", "V", "m", "MM"}));
}

TEST(ProfileSwitch, eachProfileKeepsItsOwnMount)
{
    FullExchange x;
    EXPECT_EQ(x.send("S1111,2222"), "#");
    x.interpreter.setProfile(Profile::Basic);
    EXPECT_EQ(x.send("E"), "310C,0BBB#");
    EXPECT_EQ(x.send("Rzzzz,yyyy"), "#");
    EXPECT_EQ(x.send("E"), "ZZZZ,YYYY#");
    x.interpreter.setProfile(Profile::Full);
    EXPECT_EQ(x.send("E"), "1111,2222#");
}

TEST(ProfileSwitch, halfACommandIsFinishedByTheNewProfile)
{
    FullExchange x;
    x.interpreter.setProfile(Profile::Basic);
    EXPECT_EQ(x.send("R34AB"), "");
    x.interpreter.setProfile(Profile::Full);
    EXPECT_EQ(x.send(",12CEL"), "#1#");
}

TEST(ProfileSwitch, blockedBasicBufferIsDiscardedInTheFullProfile)
{
    FullExchange x;
    x.interpreter.setProfile(Profile::Basic);
    x.send("X");
    x.interpreter.setProfile(Profile::Full);
    EXPECT_EQ(x.send("E"), "");
    x.wait(gap);
    EXPECT_EQ(x.display.unanswered, Lines {"XE"});
    EXPECT_EQ(x.send("E"), FullExchange::startE);
}

TEST(ProfileSwitch, discardInProgressEndsAtTheSwitch)
{
    FullExchange x;
    x.send("X1");
    x.interpreter.setProfile(Profile::Basic);
    EXPECT_EQ(x.display.unanswered, Lines {"X1"});
    EXPECT_EQ(x.display.commandText, "");
    EXPECT_EQ(x.send("E"), "310C,0BBB#");
}

} // namespace
