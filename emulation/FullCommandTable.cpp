#include "emulation/FullCommandTable.h"

namespace tqx {

namespace {

using enum FullAction;

constexpr std::array<FullCommand, fullCommandCount> table {{
        {'E', 1, GetRaDec16, false, "get right ascension/declination, 16-bit"},
        {'e', 1, GetRaDec32, false, "get right ascension/declination, 32-bit"},
        {'Z', 1, GetAzmAlt16, false, "get azimuth/altitude, 16-bit"},
        {'z', 1, GetAzmAlt32, false, "get azimuth/altitude, 32-bit"},
        {'R', 10, GotoRaDec16, false, "goto right ascension/declination, 16-bit"},
        {'r', 18, GotoRaDec32, false, "goto right ascension/declination, 32-bit"},
        {'B', 10, GotoAzmAlt16, false, "goto azimuth/altitude, 16-bit"},
        {'b', 18, GotoAzmAlt32, false, "goto azimuth/altitude, 32-bit"},
        {'S', 10, SyncRaDec16, false, "sync right ascension/declination, 16-bit"},
        {'s', 18, SyncRaDec32, false, "sync right ascension/declination, 32-bit"},
        {'M', 1, CancelGoto, false, "cancel goto"},
        {'L', 1, IsGotoInProgress, false, "is a goto in progress, ASCII 0 or 1"},
        {'J', 1, IsAligned, false, "is the alignment complete, binary 0 or 1"},
        {'K', 2, Echo, false, "echo"},
        {'V', 1, Version, false, "hand-control version"},
        {'v', 1, Variant, true, "hand-control variant"},
        {'m', 1, Model, false, "mount model"},
        {'t', 1, GetTracking, false, "get tracking mode"},
        {'T', 2, SetTracking, false, "set tracking mode"},
        {'w', 1, GetSite, false, "get site"},
        {'W', 9, SetSite, false, "set site"},
        {'h', 1, GetDateTime, false, "get date and time"},
        {'H', 9, SetDateTime, false, "set date and time"},
        {'i', 1, GetDateTimeQuarterHourZone, true, "get date and time, zone in quarter hours"},
        {'I', 9, SetDateTimeQuarterHourZone, true, "set date and time, zone in quarter hours"},
        {'p', 1, PointingSide, false, "pier side"},
        {'x', 1, Hibernate, false, "hibernate"},
        {'y', 1, WakeUp, false, "wake up from hibernation"},
        {'P', 8, PassThrough, false, "pass-through to a bus device"},
        {'?', 1, LoneQuestionMark, false, "undocumented, answered \"#\" as in the basic table"},
}};

// Index by byte value; filled once from the table.
std::array<const FullCommand *, 256> makeIndex()
{
    std::array<const FullCommand *, 256> index {};
    for (const FullCommand &command : table)
        index[static_cast<unsigned char>(command.letter)] = &command;
    return index;
}

} // namespace

const std::array<FullCommand, fullCommandCount> &fullCommandTable() { return table; }

const FullCommand *findFullCommand(char firstByte)
{
    static const std::array<const FullCommand *, 256> index = makeIndex();
    return index[static_cast<unsigned char>(firstByte)];
}

} // namespace tqx
