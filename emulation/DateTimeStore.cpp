#include "emulation/DateTimeStore.h"

#include <chrono>

namespace tqx {

namespace {

using namespace std::chrono;

constexpr std::int64_t msPerSecond = 1000;
constexpr std::int64_t msPerDay = 86'400'000;

std::int64_t toMilliseconds(const CivilDateTime &time)
{
    const sys_days date
            = year_month_day {year {time.year}, month {static_cast<unsigned>(time.month)},
                              day {static_cast<unsigned>(time.day)}};
    const std::int64_t seconds = (time.hour * 60 + time.minute) * 60 + time.second;
    return date.time_since_epoch().count() * msPerDay + seconds * msPerSecond;
}

CivilDateTime fromMilliseconds(std::int64_t ms)
{
    const std::int64_t days = ms >= 0 ? ms / msPerDay : (ms - msPerDay + 1) / msPerDay;
    const std::int64_t secondsOfDay = (ms - days * msPerDay) / msPerSecond;
    const year_month_day date {sys_days {std::chrono::days {days}}};
    return {static_cast<int>(date.year()),
            static_cast<int>(static_cast<unsigned>(date.month())),
            static_cast<int>(static_cast<unsigned>(date.day())),
            static_cast<int>(secondsOfDay / 3600),
            static_cast<int>(secondsOfDay / 60 % 60),
            static_cast<int>(secondsOfDay % 60)};
}

} // namespace

bool CivilDateTime::isValid() const
{
    const year_month_day date {std::chrono::year {year},
                               std::chrono::month {static_cast<unsigned>(month)},
                               std::chrono::day {static_cast<unsigned>(day)}};
    return month >= 1 && day >= 1 && date.ok() && hour >= 0 && hour < 24 && minute >= 0
            && minute < 60 && second >= 0 && second < 60;
}

DateTimeStore::DateTimeStore(const Clocks &clocks)
    : m_clocks(clocks)
{
}

CivilDateTime DateTimeStore::local() const
{
    if (m_setByClient && !m_running)
        return m_stopped;
    return fromMilliseconds(localMs());
}

CivilDateTime DateTimeStore::universal() const
{
    if (m_setByClient && !m_running)
        return m_stopped;
    return fromMilliseconds(universalMs());
}

std::int64_t DateTimeStore::universalMs() const
{
    if (!m_setByClient || !m_running)
        return m_clocks.utcMs();
    return localMs() - (m_zoneQuarterHours * 15 + (m_daylightSaving ? 60 : 0)) * 60'000LL;
}

std::int64_t DateTimeStore::localMs() const
{
    if (!m_setByClient)
        return m_clocks.utcMs();
    return m_localMs + (m_clocks.steadyMs() - m_setAtMs);
}

void DateTimeStore::set(const CivilDateTime &local, int zoneQuarterHours,
                        std::uint8_t daylightSaving)
{
    m_setByClient = true;
    m_zoneQuarterHours = zoneQuarterHours;
    m_daylightSaving = daylightSaving;
    m_running = local.isValid();
    if (m_running) {
        m_localMs = toMilliseconds(local);
        m_setAtMs = m_clocks.steadyMs();
    } else {
        m_stopped = local;
    }
}

void DateTimeStore::setLocal(const CivilDateTime &local)
{
    set(local, m_zoneQuarterHours, m_daylightSaving);
}

} // namespace tqx
