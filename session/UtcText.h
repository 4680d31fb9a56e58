#pragma once

#include <QString>

#include <optional>

namespace tqx {

// Dates and times as command lines, settings files and the control channel write them: ISO 8601,
// such as "2024-11-12T21:45:30Z", "2024-11-12T22:45:30+01:00" or "2024-11-12" (midnight). A time
// without an offset is UTC, not the computer's zone, so that a test gives the same run wherever it
// runs.
struct UtcText
{
    // Milliseconds since 1970-01-01 UTC, or nothing when `text` is no such date and time.
    static std::optional<qint64> parse(const QString &text);
    // "2024-11-12T21:45:30.000Z".
    static QString format(qint64 utcMs);
    // What parse() takes, for messages.
    static QString expected();
};

} // namespace tqx
