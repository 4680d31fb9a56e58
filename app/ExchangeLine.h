#pragma once

#include "emulation/Bytes.h"

#include <cstdint>
#include <string>
#include <string_view>

namespace tqx {

// Headless mode's line for one exchange: "<local time to the millisecond>\t<command>\t<reply>\n",
// bytes escaped as the console shows them, and when a meaning is given "\t<meaning>" before the
// newline. Made on the thread that answers, so it is made
// cheaply: the date and time to the second is formatted once per second, not once per line.
class ExchangeLine
{
public:
    std::string format(std::int64_t msecsSinceEpoch, const Bytes &command, const Bytes &reply,
                       std::string_view meaning = {});

private:
    std::int64_t m_second = -1; // of the cached text, in seconds since the epoch
    std::string m_secondText; // "yyyy-MM-dd HH:mm:ss"
};

} // namespace tqx
