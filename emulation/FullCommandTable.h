#pragma once

#include <array>
#include <cstddef>
#include <string_view>

namespace tqx {

// What a top-level command of the full profile does.
enum class FullAction {
    GetRaDec16,
    GetRaDec32,
    GetAzmAlt16,
    GetAzmAlt32,
    GotoRaDec16,
    GotoRaDec32,
    GotoAzmAlt16,
    GotoAzmAlt32,
    SyncRaDec16,
    SyncRaDec32,
    CancelGoto,
    IsGotoInProgress,
    IsAligned,
    Echo,
    Version,
    Variant,
    Model,
    GetTracking,
    SetTracking,
    GetSite,
    SetSite,
    GetDateTime,
    SetDateTime,
    GetDateTimeQuarterHourZone,
    SetDateTimeQuarterHourZone,
    PointingSide,
    Hibernate,
    WakeUp,
    PassThrough,
    LoneQuestionMark,
};

struct FullCommand
{
    char letter;
    // The whole command, letter included. Every command has a fixed length, so the bytes of a
    // command can never be taken for the start of the next one.
    std::size_t length;
    FullAction action;
    // Answered only by firmware 5.28 and later; older firmware does not know the letter.
    bool needsFirmware528;
    std::string_view meaning;
};

inline constexpr std::size_t fullCommandCount = 30;

const std::array<FullCommand, fullCommandCount> &fullCommandTable();

// The command the byte begins, or nullptr when no command of the full profile begins with it.
const FullCommand *findFullCommand(char firstByte);

} // namespace tqx
