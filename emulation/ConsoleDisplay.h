#pragma once

#include "emulation/Bytes.h"

#include <cstdint>
#include <string>

namespace tqx {

// The console controls through which the interpreter shows its work. The window implements it;
// tests record the calls.
class ConsoleDisplay
{
public:
    virtual ~ConsoleDisplay() = default;

    // The command log: append a line at the end, then select the line with the given index
    // (counted from 0 since the last Clear), which also brings it into view.
    virtual void InputListAddItem(const Bytes &line) = 0;
    virtual void InputListSelect(std::uint64_t index) = 0;
    // The command count, as decimal text.
    virtual void SetInputLabel(const std::string &text) = 0;
    virtual void InputListClear() = 0;

    // The response log and its count, as for commands.
    virtual void RespListAddItem(const Bytes &line) = 0;
    virtual void RespListSelect(std::uint64_t index) = 0;
    virtual void SetRespLabel(const std::string &text) = 0;
    virtual void RespListClear() = 0;

    // Shows the command input buffer. droppedBytes counts the bytes of a blocked buffer that
    // arrived after it reached its size limit and were not kept.
    virtual void SetCommandText(const Bytes &buffer, std::uint64_t droppedBytes) = 0;

    // The current text of the version box: the reply to the V command.
    virtual Bytes ReadVerText() const = 0;

    // Bytes that left the command input buffer without an answer, as one line, and why: the
    // bytes of an unknown command once the line went quiet, or a blocked buffer reset
    // automatically. Displays that do not show such lines need not implement it.
    virtual void LogUnanswered(const Bytes &bytes, const std::string &reason)
    {
        (void)bytes;
        (void)reason;
    }
};

} // namespace tqx
