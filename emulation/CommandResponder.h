#pragma once

#include "emulation/Bytes.h"

#include <cstddef>
#include <string_view>

namespace tqx {

// One command set's answers. The interpreter frames the bytes of the line into commands with
// what recognise() says of them and hands each complete command to reply(); how a set answers
// is its own business, so both profiles are answered the same way.
class CommandResponder
{
public:
    enum class Verdict {
        Complete, // a whole command begins the bytes
        Incomplete, // a command begins the bytes, but its argument has not all arrived
        NotACommand, // no command this set answers begins the bytes
    };

    struct Recognition
    {
        Verdict verdict;
        // For a complete command: how many bytes from the front it takes, letter included (so at
        // least 1).
        std::size_t length = 0;

        bool operator==(const Recognition &) const = default;
    };

    virtual ~CommandResponder() = default;

    // What the bytes waiting to be answered begin with; an empty view is incomplete.
    virtual Recognition recognise(std::string_view pending) const = 0;
    // The reply to one complete command, exactly the bytes recognise() gave it, into `out`
    // (whose storage is reused from reply to reply). It may change the mount.
    virtual void reply(std::string_view command, Bytes &out) = 0;
};

} // namespace tqx
