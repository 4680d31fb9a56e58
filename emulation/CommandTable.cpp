#include "emulation/CommandTable.h"

namespace tqx {

namespace {

using enum CommandAction;
using enum PositionField;

constexpr std::array<CommandRow, 16> table {{
        {'E', 1, false, GetPosition, RaDec16, "", "get right ascension/declination, 16-bit"},
        {'e', 1, false, GetPosition, RaDec32, "", "get right ascension/declination, 32-bit"},
        {'Z', 1, false, GetPosition, AzmAlt16, "", "get azimuth/altitude, 16-bit"},
        {'z', 1, false, GetPosition, AzmAlt32, "", "get azimuth/altitude, 32-bit"},
        {'R', 10, false, GotoPosition, RaDec16, "", "goto right ascension/declination, 16-bit"},
        {'r', 18, false, GotoPosition, RaDec32, "", "goto right ascension/declination, 32-bit"},
        {'B', 10, false, GotoPosition, AzmAlt16, "", "goto azimuth/altitude, 16-bit"},
        {'b', 18, false, GotoPosition, AzmAlt32, "", "goto azimuth/altitude, 32-bit"},
        {'M', 1, false, FixedReply, RaDec16, "#", "cancel goto"},
        {'T', 2, false, FixedReply, RaDec16, "#", "stop or start tracking"},
        {'L', 1, false, FixedReply, RaDec16, "0#", "is a goto in progress"},
        {'J', 1, false, FixedReply, RaDec16, "1#", "is the alignment complete"},
        {'V', 1, false, VersionReply, RaDec16, "", "hand-control version"},
        {'K', 2, false, EchoReply, RaDec16, "", "echo"},
        {'P', 8, false, FixedReply, RaDec16, "#", "undocumented, answered \"#\""},
        {'?', 1, true, FixedReply, RaDec16, "#", "undocumented, answered \"#\""},
}};

} // namespace

bool CommandRow::recognises(std::string_view buffer) const
{
    if (buffer.empty() || buffer.front() != letter)
        return false;
    return aloneOnly ? buffer.size() == 1 : buffer.size() >= minLength;
}

Bytes CommandRow::gotoPositionText(std::string_view buffer) const
{
    return upperAscii(buffer.substr(1, minLength - 1)) + '#';
}

const std::array<CommandRow, 16> &commandTable() { return table; }

const CommandRow *findCommand(std::string_view buffer)
{
    for (const CommandRow &row : table) {
        if (row.recognises(buffer))
            return &row;
    }
    return nullptr;
}

} // namespace tqx
