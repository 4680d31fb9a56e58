#include "emulation/DateTimeStore.h"

namespace tqx {

namespace {

constexpr std::int64_t msPerSecond = 1000;
constexpr std::int64_t msPerDay = 86'400'000;
// The proleptic Gregorian calendar repeats every 400 years, which have 146'097 days. Counting
// from 0000-03-01 puts the leap day at the end of each year.
constexpr std::int64_t daysPerEra = 146'097;
constexpr std::int64_t daysFromMarch0000To1970 = 719'468;

// Rounds toward the past, so that a moment before 1970 belongs to the day it falls in.
std::int64_t floorDivide(std::int64_t value, std::int64_t divisor)
{
    return value >= 0 ? value / divisor : (value - divisor + 1) / divisor;
}

bool isLeapYear(std::int64_t year) { return year % 4 == 0 && (year % 100 != 0 || year % 400 == 0); }

int daysInMonth(std::int64_t year, int month)
{
    static constexpr int days[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    return month == 2 && isLeapYear(year) ? 29 : days[month - 1];
}

// Days since 1970-01-01 in 64-bit integers throughout, for every year the hand control or the
// computer's clock can hold. std::chrono's calendar stops at the year 32767 and stores years in
// 16 bits, and its system_clock time points are nanoseconds, which end in 2262.
std::int64_t daysSince1970(std::int64_t year, int month, int day)
{
    const std::int64_t marchYear = month <= 2 ? year - 1 : year;
    const std::int64_t era = floorDivide(marchYear, 400);
    const std::int64_t yearOfEra = marchYear - era * 400;
    const int monthFromMarch = month > 2 ? month - 3 : month + 9;
    const std::int64_t dayOfYear = (153 * monthFromMarch + 2) / 5 + day - 1;
    const std::int64_t dayOfEra = yearOfEra * 365 + yearOfEra / 4 - yearOfEra / 100 + dayOfYear;
    return era * daysPerEra + dayOfEra - daysFromMarch0000To1970;
}

std::int64_t toMilliseconds(const CivilDateTime &time)
{
    const std::int64_t seconds = (time.hour * 60 + time.minute) * 60 + time.second;
    return daysSince1970(time.year, time.month, time.day) * msPerDay + seconds * msPerSecond;
}

CivilDateTime fromMilliseconds(std::int64_t ms)
{
    const std::int64_t days = floorDivide(ms, msPerDay);
    const std::int64_t secondsOfDay = (ms - days * msPerDay) / msPerSecond;
    const std::int64_t fromMarch0000 = days + daysFromMarch0000To1970;
    const std::int64_t era = floorDivide(fromMarch0000, daysPerEra);
    const std::int64_t dayOfEra = fromMarch0000 - era * daysPerEra;
    const std::int64_t yearOfEra
            = (dayOfEra - dayOfEra / 1460 + dayOfEra / 36'524 - dayOfEra / 146'096) / 365;
    const std::int64_t dayOfYear = dayOfEra - (yearOfEra * 365 + yearOfEra / 4 - yearOfEra / 100);
    const std::int64_t monthFromMarch = (5 * dayOfYear + 2) / 153;
    const auto month
            = static_cast<int>(monthFromMarch < 10 ? monthFromMarch + 3 : monthFromMarch - 9);
    const std::int64_t year = era * 400 + yearOfEra + (month <= 2 ? 1 : 0);
    // A 64-bit count of milliseconds spans less than 300 million years either way.
    return {static_cast<int>(year),
            month,
            static_cast<int>(dayOfYear - (153 * monthFromMarch + 2) / 5 + 1),
            static_cast<int>(secondsOfDay / 3600),
            static_cast<int>(secondsOfDay / 60 % 60),
            static_cast<int>(secondsOfDay % 60)};
}

} // namespace

bool CivilDateTime::isValid() const
{
    return month >= 1 && month <= 12 && day >= 1 && day <= daysInMonth(year, month) && hour >= 0
            && hour < 24 && minute >= 0 && minute < 60 && second >= 0 && second < 60;
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
