// How received bytes become answered, logged and counted exchanges.

#include "Exchange.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using tqx::Bytes;
using Lines = std::vector<Bytes>;

namespace {

TEST(Interpreter, singleCommandIsLoggedSelectedAndCounted)
{
    Exchange x;
    EXPECT_EQ(x.send("E"), "310C,0BBB#");
    EXPECT_EQ(x.display.inputLines, Lines {"E"});
    EXPECT_EQ(x.display.respLines, Lines {"310C,0BBB#"});
    EXPECT_EQ(x.display.inputSelected, 0);
    EXPECT_EQ(x.display.respSelected, 0);
    EXPECT_EQ(x.display.inputLabel, "1");
    EXPECT_EQ(x.display.respLabel, "1");
    EXPECT_EQ(x.display.commandText, "");
    EXPECT_EQ(x.interpreter.Response(), "310C,0BBB#");
}

TEST(Interpreter, displayCallOrderOfOneExchange)
{
    Exchange x;
    x.port.callLog = &x.display.calls;
    x.send("E");
    const std::vector<std::string> expected {
            "InputList+E",         "InputList@0", "InputLabel=1", "Output:310C,0BBB#",
            "RespList+310C,0BBB#", "RespList@0",  "RespLabel=1",  "CommandText="};
    EXPECT_EQ(x.display.calls, expected);
}

TEST(Interpreter, oneAnswerPerEventConsumesTheRest)
{
    Exchange x;
    EXPECT_EQ(x.send("EE"), "310C,0BBB#");
    EXPECT_EQ(x.display.inputLines, Lines {"EE"});
    EXPECT_EQ(x.interpreter.InputCount(), 1u);
    EXPECT_EQ(x.interpreter.RespCount(), 1u);

    EXPECT_EQ(x.send("R34AB,12CEE"), "#");
    EXPECT_EQ(x.display.inputLines.back(), "R34AB,12CEE");
    EXPECT_EQ(x.interpreter.CommandBuffer(), "");
}

TEST(Interpreter, gotoSplitOverTwoEventsIsShownWhileWaiting)
{
    Exchange x;
    EXPECT_EQ(x.send("R34AB"), "");
    EXPECT_EQ(x.display.commandText, "R34AB");
    EXPECT_TRUE(x.display.inputLines.empty());
    EXPECT_EQ(x.send(",12CE"), "#");
    EXPECT_EQ(x.display.inputLines, Lines {"R34AB,12CE"});
    EXPECT_EQ(x.display.commandText, "");
}

TEST(Interpreter, incompleteGotoSwallowsLaterCommandsAsItsArgument)
{
    Exchange x;
    EXPECT_EQ(x.send("R12"), "");
    EXPECT_EQ(x.send("EZ"), "");
    EXPECT_EQ(x.send("LJMV"), "");
    EXPECT_EQ(x.display.commandText, "R12EZLJMV");
    EXPECT_EQ(x.send("q"), "#");
    EXPECT_EQ(x.display.inputLines, Lines {"R12EZLJMVq"});
    EXPECT_EQ(x.send("E"), "12EZLJMVQ#");
}

TEST(Interpreter, trackingModeInALaterEventCompletesTheCommand)
{
    Exchange x;
    EXPECT_EQ(x.send("T"), "");
    EXPECT_EQ(x.display.commandText, "T");
    EXPECT_EQ(x.send("1"), "#");
    EXPECT_EQ(x.display.inputLines, Lines {"T1"});
    EXPECT_EQ(x.display.commandText, "");
    EXPECT_EQ(x.send("E"), "310C,0BBB#");
}

TEST(Interpreter, blockedBufferGrowsUntilReset)
{
    Exchange x;
    EXPECT_EQ(x.send("X"), "");
    EXPECT_EQ(x.send("E"), "");
    EXPECT_EQ(x.display.commandText, "XE");
    x.interpreter.resetBuffer();
    EXPECT_EQ(x.display.commandText, "");
    EXPECT_EQ(x.interpreter.CommandBuffer(), "");
    EXPECT_EQ(x.send("E"), "310C,0BBB#");
    EXPECT_EQ(x.display.inputLines, Lines {"E"});
}

TEST(Interpreter, emptyReceiveShowsTheBufferAgain)
{
    Exchange x;
    x.send("R34");
    const int updates = x.display.commandTextUpdates;
    EXPECT_EQ(x.send(""), "");
    EXPECT_EQ(x.display.commandTextUpdates, updates + 1);
    EXPECT_EQ(x.display.commandText, "R34");
    EXPECT_EQ(x.interpreter.InputCount(), 0u);
}

TEST(Interpreter, otherEventsChangeNothing)
{
    Exchange x;
    x.send("R34");
    const auto callsBefore = x.display.calls.size();
    const int readsBefore = x.port.inputReads;
    for (int event : {0, 1, 3, 4, 5, 6, 7, 1001, 1004, 1009})
        x.port.deliver(x.interpreter, "E", event);
    EXPECT_EQ(x.display.calls.size(), callsBefore);
    EXPECT_EQ(x.port.inputReads, readsBefore);
    EXPECT_EQ(x.interpreter.CommandBuffer(), "R34");
    EXPECT_EQ(x.port.written, "");
}

TEST(Interpreter, clearRestartsLogsAndCountsButKeepsTheBuffer)
{
    Exchange x;
    for (int i = 0; i < 5; ++i)
        x.send("L");
    x.send("R34AB");
    x.interpreter.clearLogs();
    EXPECT_TRUE(x.display.inputLines.empty());
    EXPECT_TRUE(x.display.respLines.empty());
    EXPECT_EQ(x.display.inputLabel, "0");
    EXPECT_EQ(x.display.respLabel, "0");
    EXPECT_EQ(x.interpreter.CommandBuffer(), "R34AB");

    EXPECT_EQ(x.send(",12CE"), "#");
    EXPECT_EQ(x.display.inputLines, Lines {"R34AB,12CE"});
    EXPECT_EQ(x.display.inputSelected, 0);
    EXPECT_EQ(x.display.respSelected, 0);
    EXPECT_EQ(x.display.inputLabel, "1");
    EXPECT_EQ(x.display.respLabel, "1");
}

TEST(Interpreter, clearAndResetLeaveTheMountState)
{
    Exchange x;
    x.send("B0123,4567");
    x.interpreter.clearLogs();
    x.interpreter.resetBuffer();
    EXPECT_EQ(x.send("Z"), "0123,4567#");
}

TEST(Interpreter, emptyVersionIsLoggedAndCounted)
{
    Exchange x;
    x.display.verText = "";
    EXPECT_EQ(x.send("V"), "");
    EXPECT_EQ(x.display.respLines, Lines {""});
    EXPECT_EQ(x.display.inputLabel, "1");
    EXPECT_EQ(x.display.respLabel, "1");
}

TEST(Interpreter, versionIsReadAtEachAnswer)
{
    Exchange x;
    EXPECT_EQ(x.send("V"), "22");
    x.display.verText = "41";
    EXPECT_EQ(x.send("V"), "41");
}

TEST(Interpreter, countsPassTheSixteenBitRange)
{
    Exchange x;
    for (int i = 0; i < 40000; ++i)
        x.send("M");
    EXPECT_EQ(x.interpreter.InputCount(), 40000u);
    EXPECT_EQ(x.display.inputLabel, "40000");
    EXPECT_EQ(x.display.respLabel, "40000");
    EXPECT_EQ(x.display.respSelected, 39999);
}

TEST(Interpreter, blockedBufferKeepsItsFirstBytesAndCountsTheRest)
{
    Exchange x;
    const std::size_t limit = tqx::CommandInterpreter::maxBufferSize;
    x.send("X");
    x.send(Bytes(limit - 2, 'a'));
    EXPECT_EQ(x.display.dropped, 0u);
    x.send("bcd");
    EXPECT_EQ(x.interpreter.CommandBuffer().size(), limit);
    EXPECT_EQ(x.interpreter.CommandBuffer().back(), 'b');
    EXPECT_EQ(x.display.dropped, 2u);
    for (int i = 0; i < 1000; ++i)
        x.send("E");
    EXPECT_EQ(x.display.commandText.size(), limit);
    EXPECT_EQ(x.display.dropped, 1002u);
    EXPECT_EQ(x.port.written, "");

    x.interpreter.resetBuffer();
    EXPECT_EQ(x.display.dropped, 0u);
    EXPECT_EQ(x.send("E"), "310C,0BBB#");
}

TEST(Interpreter, oversizedEventStillAnswersItsFirstCommand)
{
    Exchange x;
    const std::size_t limit = tqx::CommandInterpreter::maxBufferSize;
    EXPECT_EQ(x.send("E" + Bytes(limit + 100, 'z')), "310C,0BBB#");
    EXPECT_EQ(x.display.inputLines.back().size(), limit);
    EXPECT_EQ(x.display.dropped, 0u);
    EXPECT_EQ(x.interpreter.CommandBuffer(), "");
}

TEST(Interpreter, bytesOfAnyValueTravelUnchanged)
{
    Exchange x;
    Bytes all;
    for (int value = 0; value < 256; ++value)
        all += static_cast<char>(value);
    x.send("X" + all);
    EXPECT_EQ(x.display.commandText, "X" + all);
    x.interpreter.resetBuffer();
    x.display.verText = all;
    EXPECT_EQ(x.send("V"), all);
    EXPECT_EQ(x.display.respLines.back(), all);
}

} // namespace
