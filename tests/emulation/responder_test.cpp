// The two hand controls as the interpreter sees them: what each recognises at the front of the
// command input buffer, and the letters both command sets know answered alike.

#include "RecordingDisplay.h"
#include "emulation/BasicHandControl.h"
#include "emulation/Clocks.h"
#include "emulation/CommandResponder.h"
#include "emulation/HandControl.h"
#include "emulation/Profile.h"

#include <gtest/gtest.h>

#include <string>

using tqx::Bytes;
using tqx::CommandResponder;
using tqx::Profile;
using Verdict = CommandResponder::Verdict;

namespace {

// Both hand controls as freshly started, on clocks that stand still.
struct Responders
{
    RecordingDisplay display;
    tqx::Clocks clocks {[] { return std::int64_t {5'000'000}; },
                        [] { return std::int64_t {1'731'447'930'000}; }};
    tqx::BasicHandControl basic {display};
    tqx::HandControl full {clocks};

    explicit Responders(const std::string &version = "4.21")
    {
        tqx::HandControlSettings settings;
        settings.version = version;
        full.setSettings(settings);
    }

    CommandResponder &of(Profile profile)
    {
        if (profile == Profile::Basic)
            return basic;
        return full;
    }
};

struct RecognitionCase
{
    std::string name;
    Profile profile;
    Bytes pending;
    CommandResponder::Recognition expected;
    std::string version = "4.21";
};

void PrintTo(const RecognitionCase &c, std::ostream *os) { *os << c.name; }

class Recognition : public testing::TestWithParam<RecognitionCase>
{
};

TEST_P(Recognition, saysWhatTheBufferBegins)
{
    Responders responders(GetParam().version);
    const CommandResponder::Recognition got
            = responders.of(GetParam().profile).recognise(GetParam().pending);
    EXPECT_EQ(got.verdict, GetParam().expected.verdict);
    EXPECT_EQ(got.length, GetParam().expected.length);
}

constexpr Profile basic = Profile::Basic;
constexpr Profile full = Profile::Full;

INSTANTIATE_TEST_SUITE_P(
        Responders, Recognition,
        testing::Values(
                // The basic table takes the whole buffer with the command it recognises.
                RecognitionCase {
                        "basicGetTakesEverythingBehindIt", basic, "EEz", {Verdict::Complete, 3}},
                RecognitionCase {
                        "basicGotoWaitsForItsArgument", basic, "R34AB", {Verdict::Incomplete}},
                RecognitionCase {"basicGotoCompleteAtTenBytes",
                                 basic,
                                 "R34AB,12CE",
                                 {Verdict::Complete, 10}},
                RecognitionCase {"basicQuestionMarkAlone", basic, "?", {Verdict::Complete, 1}},
                RecognitionCase {
                        "basicQuestionMarkWithMoreBlocks", basic, "?E", {Verdict::NotACommand}},
                RecognitionCase {"basicUnknownLetterBlocks", basic, "m", {Verdict::NotACommand}},
                RecognitionCase {"basicNothingYet", basic, "", {Verdict::Incomplete}},
                // The full profile's commands have fixed lengths; what follows is left for the
                // next.
                RecognitionCase {"fullGetTakesItsLetterOnly", full, "EEz", {Verdict::Complete, 1}},
                RecognitionCase {
                        "fullGotoWaitsForItsArgument", full, "R34AB", {Verdict::Incomplete}},
                RecognitionCase {
                        "fullGotoLeavesWhatFollows", full, "R34AB,12CEE", {Verdict::Complete, 10}},
                RecognitionCase {"fullQuestionMarkWithMore", full, "?E", {Verdict::Complete, 1}},
                RecognitionCase {"fullKnowsTheModelLetter", full, "m", {Verdict::Complete, 1}},
                RecognitionCase {"fullVariantBeforeFirmware528", full, "v", {Verdict::NotACommand}},
                RecognitionCase {
                        "fullVariantFromFirmware528", full, "v", {Verdict::Complete, 1}, "5.28"},
                RecognitionCase {"fullUnknownByte", full, Bytes(1, '\0'), {Verdict::NotACommand}},
                RecognitionCase {"fullNothingYet", full, "", {Verdict::Incomplete}}),
        [](const auto &info) { return info.param.name; });

struct SharedCase
{
    std::string name;
    Bytes command;
    Bytes reply;
};

void PrintTo(const SharedCase &c, std::ostream *os) { *os << c.name; }

class SharedLetter : public testing::TestWithParam<SharedCase>
{
};

// The exchange decoder reads a basic exchange by the full table's row for its letter, so the
// letters both sets answer with fixed texts must stay alike.
TEST_P(SharedLetter, answeredAlikeByBothHandControls)
{
    for (const Profile profile : {basic, full}) {
        Responders responders;
        CommandResponder &responder = responders.of(profile);
        const bool isBasic = profile == basic;
        EXPECT_EQ(responder.recognise(GetParam().command),
                  (CommandResponder::Recognition {Verdict::Complete, GetParam().command.size()}))
                << (isBasic ? "basic" : "full");
        Bytes reply = "left from an earlier reply";
        responder.reply(GetParam().command, reply);
        EXPECT_EQ(reply, GetParam().reply) << (isBasic ? "basic" : "full");
    }
}

INSTANTIATE_TEST_SUITE_P(Responders, SharedLetter,
                         testing::Values(SharedCase {"echo", "Kq", "q#"},
                                         SharedCase {"cancelGoto", "M", "#"},
                                         SharedCase {"noGotoInProgress", "L", "0#"},
                                         SharedCase {"setTracking", "T\x02", "#"},
                                         SharedCase {"gotoRaDec16", "R34AB,12CE", "#"},
                                         SharedCase {"gotoRaDec32", "r34AB0500,12CE0500", "#"},
                                         SharedCase {"gotoAzmAlt16", "B12AB,4000", "#"},
                                         SharedCase {"gotoAzmAlt32", "b12AB0500,40000500", "#"},
                                         SharedCase {"questionMarkAlone", "?", "#"}),
                         [](const auto &info) { return info.param.name; });

} // namespace
