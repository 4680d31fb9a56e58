#pragma once

#include "emulation/MountState.h"

#include <array>
#include <cstddef>
#include <string_view>

namespace tqx {

// How a recognised command chooses its reply and what it does to the mount state.
enum class CommandAction {
    GetPosition, // reply with the stored position text
    GotoPosition, // store the argument as the position, reply "#"
    FixedReply, // reply with a fixed text
    VersionReply, // reply with the current text of the version box
    EchoReply, // reply with the character that follows the command letter, then "#"
};

struct CommandRow
{
    char letter;
    // Number of bytes the buffer must hold before the row is recognised: the command letter and
    // its argument. Commands that carry an argument wait for it, so an argument that arrives in a
    // later receive event completes the command instead of blocking the buffer.
    std::size_t minLength;
    // The buffer must hold the letter alone; anything behind it means no match.
    bool aloneOnly;
    CommandAction action;
    PositionField field; // read by GetPosition, replaced by GotoPosition; unused otherwise
    std::string_view fixedReply; // for FixedReply
    std::string_view meaning;

    bool recognises(std::string_view buffer) const;
    // The text a goto stores: the argument upper-cased, with "#" appended.
    Bytes gotoPositionText(std::string_view buffer) const;
};

// The sixteen commands, in the order in which a buffer is tested against them.
const std::array<CommandRow, 16> &commandTable();

// The first row that recognises the buffer, or nullptr.
const CommandRow *findCommand(std::string_view buffer);

} // namespace tqx
