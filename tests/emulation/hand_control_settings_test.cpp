// Which version texts the full profile accepts, and what a refused one leaves behind.

#include "FullExchange.h"

#include <gtest/gtest.h>

#include <string>

using tqx::HandControlSettings;

namespace {

struct VersionText
{
    std::string name;
    std::string text;
    bool accepted;
};

void PrintTo(const VersionText &c, std::ostream *os) { *os << c.name; }

class VersionValidation : public testing::TestWithParam<VersionText>
{
};

TEST_P(VersionValidation, acceptsOnlyTwoOrThreeNumbersUpTo255)
{
    const std::string error = HandControlSettings::versionError(GetParam().text);
    if (GetParam().accepted) {
        EXPECT_EQ(error, "");
    } else {
        EXPECT_EQ(error.rfind("\"" + GetParam().text + "\" is not a version such as 4.21", 0), 0u)
                << error;
    }
}

INSTANTIATE_TEST_SUITE_P(
        Texts, VersionValidation,
        testing::Values(
                VersionText {"twoNumbers", "4.21", true},
                VersionText {"threeNumbers", "4.39.07", true}, VersionText {"zeros", "0.0", true},
                VersionText {"largest", "255.255.255", true},
                VersionText {"leadingZero", "04.021", true}, VersionText {"empty", "", false},
                VersionText {"oneNumber", "4", false},
                VersionText {"fourNumbers", "4.21.0.1", false},
                VersionText {"trailingDot", "4.", false}, VersionText {"leadingDot", ".21", false},
                VersionText {"doubleDot", "4..21", false}, VersionText {"tooLarge", "4.256", false},
                VersionText {"tooManyDigits", "4.0021", false},
                VersionText {"comma", "4,21", false}, VersionText {"space", " 4.21", false},
                VersionText {"sign", "4.-1", false}, VersionText {"prefix", "v4.21", false},
                VersionText {"basicProfileReply", "22", false}),
        [](const testing::TestParamInfo<VersionText> &info) { return info.param.name; });

TEST(HandControlSettings, refusedVersionLeavesThePreviousSettings)
{
    FullExchange x;
    HandControlSettings bad;
    bad.version = "4.x";
    bad.aligned = false;
    EXPECT_FALSE(x.interpreter.setHandControlSettings(bad));
    EXPECT_EQ(x.interpreter.handControlSettings().version, "4.21");
    EXPECT_EQ(x.send("V"), "\x04\x15#");
    EXPECT_EQ(x.send("J"), "\x01#");
}

TEST(HandControlSettings, changesApplyToTheNextCommand)
{
    FullExchange x;
    EXPECT_EQ(x.send("P"), "");
    HandControlSettings settings;
    settings.version = "4.39.07";
    settings.versionFormat = tqx::VersionFormat::Hex;
    settings.gpsPresent = true;
    settings.aligned = false;
    EXPECT_TRUE(x.interpreter.setHandControlSettings(settings));
    EXPECT_EQ(x.send(tqx::bytesOf({1, 176, 55, 0, 0, 0, 1})), "\x01#");
    EXPECT_EQ(x.send("VJm"), tqx::bytesOf({'0', '4', '2', '7', '0', '7', '#', 0, '#', 1, '#'}));
}

} // namespace
