#pragma once

#include "emulation/Clocks.h"

#include <cstdint>

namespace tqx {

// A calendar date and a time of day, to the second.
struct CivilDateTime
{
    int year = 2000;
    int month = 1;
    int day = 1;
    int hour = 0;
    int minute = 0;
    int second = 0;

    bool isValid() const;
    bool operator==(const CivilDateTime &) const = default;
};

// The hand control's clock: local civil time, its offset from UTC and the daylight-saving flag.
// Until a client sets it, it shows the computer's UTC time with offset 0. Once set, it runs on
// from the moment it was set. A date or time that does not exist (month 13, 25 o'clock) cannot
// run; it is kept as sent and read back unchanged.
class DateTimeStore
{
public:
    explicit DateTimeStore(const Clocks &clocks);

    CivilDateTime local() const;
    // Local time less the offset and the daylight-saving hour.
    CivilDateTime universal() const;
    // UTC in milliseconds since 1970-01-01 00:00: the computer's until a client sets the clock,
    // and the computer's again while the clock holds a date that does not exist.
    std::int64_t universalMs() const;
    // Offset from UTC in quarter hours (west negative).
    int zoneQuarterHours() const { return m_zoneQuarterHours; }
    // As sent: 1 while daylight-saving time is in effect, 0 otherwise.
    std::uint8_t daylightSaving() const { return m_daylightSaving; }

    void set(const CivilDateTime &local, int zoneQuarterHours, std::uint8_t daylightSaving);
    // Replaces the local date or time of day and keeps everything else.
    void setLocal(const CivilDateTime &local);

private:
    // While running: the local time now, in milliseconds since 1970-01-01 00:00.
    std::int64_t localMs() const;

    const Clocks &m_clocks;
    bool m_setByClient = false;
    bool m_running = true;
    // While running: local time in milliseconds since 1970-01-01 00:00 at steady time m_setAtMs.
    std::int64_t m_localMs = 0;
    std::int64_t m_setAtMs = 0;
    CivilDateTime m_stopped; // while not running
    int m_zoneQuarterHours = 0;
    std::uint8_t m_daylightSaving = 0;
};

} // namespace tqx
