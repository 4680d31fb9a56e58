// What goes on the line for each command, from a freshly started emulator.

#include "Exchange.h"
#include "emulation/CommandTable.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using tqx::Bytes;

namespace {

struct Step
{
    Bytes received; // the bytes of one receive event
    Bytes written; // what must be written back in that event
};

struct ProtocolCase
{
    std::string name;
    std::vector<Step> steps;
    Bytes verText = "22";
};

void PrintTo(const ProtocolCase &c, std::ostream *os) { *os << c.name; }

class Protocol : public testing::TestWithParam<ProtocolCase>
{
};

TEST_P(Protocol, answersEachEventExactly)
{
    Exchange exchange;
    exchange.display.verText = GetParam().verText;
    int stepNumber = 0;
    for (const Step &step : GetParam().steps) {
        ++stepNumber;
        EXPECT_EQ(exchange.send(step.received), step.written)
                << "step " << stepNumber << ", received \"" << step.received << '"';
    }
}

const Bytes nul(1, '\0');

INSTANTIATE_TEST_SUITE_P(
        Commands, Protocol,
        testing::Values(ProtocolCase {"startupGets",
                                      {{"E", "310C,0BBB#"},
                                       {"e", "310C0500,0BBB0500#"},
                                       {"Z", "12AB,4000#"},
                                       {"z", "12AB0500,40000500#"}}},
                        ProtocolCase {"gotoRaDec16ChangesOnlyE",
                                      {{"R34AB,12CE", "#"},
                                       {"E", "34AB,12CE#"},
                                       {"e", "310C0500,0BBB0500#"},
                                       {"Z", "12AB,4000#"},
                                       {"z", "12AB0500,40000500#"}}},
                        ProtocolCase {"gotoRaDec32AnsweredAtEighteenthByte",
                                      {{"r34AB0500,12CE050", ""},
                                       {"0", "#"},
                                       {"e", "34AB0500,12CE0500#"},
                                       {"E", "310C,0BBB#"}}},
                        ProtocolCase {"gotoAzmAlt16ChangesOnlyZ",
                                      {{"B0123,4567", "#"},
                                       {"Z", "0123,4567#"},
                                       {"z", "12AB0500,40000500#"},
                                       {"E", "310C,0BBB#"}}},
                        ProtocolCase {"gotoAzmAlt32ChangesOnlyz",
                                      {{"b01234567,89ABCDEF", "#"},
                                       {"z", "01234567,89ABCDEF#"},
                                       {"Z", "12AB,4000#"},
                                       {"e", "310C0500,0BBB0500#"}}},
                        ProtocolCase {"lowerCaseDigitsStoredUpperCase",
                                      {{"R34ab,12ce", "#"}, {"E", "34AB,12CE#"}}},
                        ProtocolCase {"nonHexArgumentStoredAsItCame",
                                      {{"Rhello wd!", "#"}, {"E", "HELLO WD!#"}}},
                        ProtocolCase {"onlyAsciiLettersAreUpperCased",
                                      {{Bytes("r\xe9\xff") + nul + "z{~\x7f" + "abcdefgh,", ""},
                                       {"j", "#"},
                                       {"e", Bytes("\xe9\xff") + nul + "Z{~\x7f" + "ABCDEFGH,J#"}}},
                        ProtocolCase {"bytesBeyondGotoLengthAreDropped",
                                      {{"R34AB,12CEXYZ", "#"}, {"E", "34AB,12CE#"}}},
                        ProtocolCase {"shortGotoWaitsForItsArgument",
                                      {{"R34AB", ""}, {",12CE", "#"}, {"E", "34AB,12CE#"}}},
                        ProtocolCase {"versionFirstRun", {{"V", "22"}}},
                        ProtocolCase {"versionEdited", {{"V", "41 beta"}}, "41 beta"},
                        ProtocolCase {"versionEmptyWritesNothing", {{"V", ""}, {"L", "0#"}}, ""},
                        ProtocolCase {"echoAnswersTheCharacter",
                                      {{"Ka", "a#"}, {"K#", "##"}, {"K" + nul, nul + "#"}}},
                        ProtocolCase {"echoWaitsForItsCharacter", {{"K", ""}, {"\xff", "\xff#"}}},
                        ProtocolCase {"fixedStatusReplies",
                                      {{"L", "0#"},
                                       {"J", "1#"},
                                       {"M", "#"},
                                       {"R1111,2222", "#"},
                                       {"L", "0#"},
                                       {"J", "1#"}}},
                        ProtocolCase {"trackingWaitsForItsMode",
                                      {{"T", ""}, {"\x02", "#"}, {"T1", "#"}, {"E", "310C,0BBB#"}}},
                        ProtocolCase {"passThroughWaitsForSevenBytes",
                                      {{"P\x01\x02\x03\x04\x05", ""},
                                       {"\x06", ""},
                                       {"\x07", "#"},
                                       {"E", "310C,0BBB#"}}},
                        ProtocolCase {"loneQuestionMark", {{"?", "#"}, {"E", "310C,0BBB#"}}},
                        ProtocolCase {"questionMarkWithMoreBlocks", {{"?a", ""}, {"E", ""}}},
                        ProtocolCase {"questionMarkThenLaterByteBlocks",
                                      {{"?", "#"}, {"a", ""}, {"E", ""}}},
                        ProtocolCase {"unknownLowerCaseBlocks", {{"m", ""}, {"E", ""}}},
                        ProtocolCase {"caseSensitive", {{"l", ""}}}),
        [](const testing::TestParamInfo<ProtocolCase> &info) { return info.param.name; });

TEST(CommandTable, onlyTheSixteenLettersBeginACommand)
{
    const std::string letters = "EeZzRrBbMTLJVKP?";
    for (int value = 0; value < 256; ++value) {
        const char byte = static_cast<char>(value);
        // A full-length buffer, so that length rules do not hide a row.
        const Bytes buffer = byte + Bytes(17, '0');
        const bool begins = letters.find(byte) != std::string::npos;
        const tqx::CommandRow *row = tqx::findCommand(buffer);
        if (byte == '?')
            EXPECT_EQ(row, nullptr) << "'?' with bytes behind it";
        else if (begins)
            EXPECT_TRUE(row && row->letter == byte) << "byte " << value;
        else
            EXPECT_EQ(row, nullptr) << "byte " << value;
    }
}

TEST(CommandTable, rowsStandInTheirTestingOrder)
{
    std::string order;
    for (const tqx::CommandRow &row : tqx::commandTable())
        order += row.letter;
    EXPECT_EQ(order, "EeZzRrBbMTLJVKP?");
}

TEST(CommandTable, lengthRulesRecogniseAtTheExactLength)
{
    struct Rule
    {
        char letter;
        std::size_t length;
    };
    for (const Rule rule : {Rule {'R', 10}, Rule {'r', 18}, Rule {'B', 10}, Rule {'b', 18},
                            Rule {'T', 2}, Rule {'K', 2}, Rule {'P', 8}}) {
        const Bytes complete = rule.letter + Bytes(rule.length - 1, 'x');
        EXPECT_EQ(tqx::findCommand(complete.substr(0, rule.length - 1)), nullptr) << rule.letter;
        const tqx::CommandRow *row = tqx::findCommand(complete);
        ASSERT_NE(row, nullptr) << rule.letter;
        EXPECT_EQ(row->letter, rule.letter);
    }
}

} // namespace
