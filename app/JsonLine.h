#pragma once

#include "emulation/Bytes.h"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace tqx {

// Headless mode's lines with --log-format jsonl: one JSON object a line, for programs that read
// the log instead of people. An exchange carries the time (UTC, ISO 8601 to the millisecond),
// the command and the reply in the escaped text the plain lines show and as hex bytes, and with
// --decode what they mean; an event carries its kind and the text the plain "# " line shows.
// "instance" names the instance when there is one. Made on the thread that answers, so it is
// made cheaply: the date and time to the second is formatted once per second.
class JsonLine
{
public:
    explicit JsonLine(std::string instance = {})
        : m_instance(std::move(instance))
    {
    }

    std::string exchange(std::int64_t msecsSinceEpoch, const Bytes &command, const Bytes &reply,
                         std::optional<std::string_view> meaning = std::nullopt);
    // `fields`, if given, are more members, already JSON: "\"connect\":{...}".
    std::string event(std::int64_t msecsSinceEpoch, std::string_view kind, std::string_view text,
                      std::string_view fields = {});

private:
    void begin(std::string &line, std::int64_t msecsSinceEpoch);

    std::string m_instance;
    std::int64_t m_second = -1; // of the cached text, in seconds since the epoch
    std::string m_secondText; // "yyyy-MM-ddTHH:mm:ss"
};

// Appends `text` (UTF-8) as a JSON string, quotes included.
void appendJsonString(std::string &out, std::string_view text);

} // namespace tqx
