#include "emulation/WormDrive.h"

#include "emulation/Angles.h"
#include "emulation/BusCommandTable.h"

#include <algorithm>
#include <cmath>
#include <numbers>

namespace tqx {

namespace {

constexpr double radiansPerUnit = pecArcsecondsPerUnit * radiansPerArcsecond;

} // namespace

void WormDrive::configure(double amplitude, std::int64_t wormPeriodMs, double switchPosition)
{
    m_amplitude = amplitude;
    m_wormPeriodMs = std::max<std::int64_t>(wormPeriodMs, 1);
    m_switchPosition = switchPosition;
}

double WormDrive::wormAngle() const
{
    return static_cast<double>(m_wormPeriodMs) / 1000 * siderealArcsecondsPerSecond
            * radiansPerArcsecond;
}

double WormDrive::phaseAt(double motorPosition) const
{
    const double turns = (motorPosition - m_switchPosition) / wormAngle();
    return turns - std::floor(turns);
}

double WormDrive::distanceToIndex(double motorPosition) const
{
    const double phase = phaseAt(motorPosition);
    return phase == 0 ? 0 : (1 - phase) * wormAngle();
}

std::size_t WormDrive::binAt(double motorPosition) const
{
    return std::min(static_cast<std::size_t>(phaseAt(motorPosition) * binCount), binCount - 1);
}

double WormDrive::errorAt(double phase) const
{
    return m_amplitude * std::sin(2 * std::numbers::pi * phase);
}

double WormDrive::offsetAt(double motorPosition, std::int64_t steadyMs) const
{
    const double phase = phaseAt(motorPosition);
    double offset = errorAt(phase);
    if (m_playback) {
        // The corrections of the bins passed since the index, and the part of the current one.
        const Table &table = tableAt(steadyMs);
        const double position = phase * binCount;
        const auto current = std::min(static_cast<std::size_t>(position), binCount - 1);
        double units = 0;
        for (std::size_t i = 0; i < current; ++i)
            units += table[i];
        units += table[current] * (position - static_cast<double>(current));
        offset += units * radiansPerUnit;
    }
    return offset;
}

bool WormDrive::hasOffset(std::int64_t steadyMs) const
{
    if (m_amplitude != 0)
        return true;
    if (!m_playback)
        return false;
    const Table &table = tableAt(steadyMs);
    return std::any_of(table.begin(), table.end(), [](std::int8_t value) { return value != 0; });
}

void WormDrive::startRecording(std::int64_t steadyMs)
{
    commit(steadyMs);
    // What a perfect guider would have corrected over each bin of the turn.
    for (std::size_t i = 0; i < binCount; ++i) {
        const double change = errorAt(static_cast<double>(i + 1) / binCount)
                - errorAt(static_cast<double>(i) / binCount);
        m_recording[i] = static_cast<std::int8_t>(
                std::clamp<long>(std::lround(-change / radiansPerUnit), -128, 127));
    }
    m_recordingEndsMs = steadyMs + m_wormPeriodMs;
}

void WormDrive::stopRecording(std::int64_t steadyMs)
{
    commit(steadyMs);
    m_recordingEndsMs.reset();
}

bool WormDrive::isRecording(std::int64_t steadyMs) const
{
    return m_recordingEndsMs && steadyMs < *m_recordingEndsMs;
}

bool WormDrive::isRecorded(std::int64_t steadyMs) const
{
    return m_written || (m_recordingEndsMs && steadyMs >= *m_recordingEndsMs);
}

const WormDrive::Table &WormDrive::tableAt(std::int64_t steadyMs) const
{
    return m_recordingEndsMs && steadyMs >= *m_recordingEndsMs ? m_recording : m_table;
}

std::int8_t WormDrive::bin(std::size_t index, std::int64_t steadyMs) const
{
    return tableAt(steadyMs)[index];
}

void WormDrive::setBin(std::size_t index, std::int8_t value, std::int64_t steadyMs)
{
    commit(steadyMs);
    m_table[index] = value;
    m_written = true;
}

void WormDrive::commit(std::int64_t steadyMs)
{
    if (m_recordingEndsMs && steadyMs >= *m_recordingEndsMs) {
        m_table = m_recording;
        m_written = true;
        m_recordingEndsMs.reset();
    }
}

} // namespace tqx
