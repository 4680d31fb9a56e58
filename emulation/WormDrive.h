#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>

namespace tqx {

// The worm gear of the right ascension (or azimuth) axis: the periodic error it gives the
// pointing, and the periodic-error correction table that cancels it. The worm turns once while
// the axis turns by the worm angle, which takes one worm period at the sidereal rate; its phase is
// counted from the index, where the motor position passes the switch.
//
// The drive's error is a sine of the set amplitude over one turn. The table holds one correction
// a bin, a signed byte in tenths of a second of arc: the change of the correction over that bin.
// Played back, the corrections add up along the turn, so a table recorded from this drive cancels
// its error to within the bins' resolution.
class WormDrive
{
public:
    static constexpr std::size_t binCount = 88;

    // Amplitude and switch position in radians.
    void configure(double amplitude, std::int64_t wormPeriodMs, double switchPosition);
    std::int64_t wormPeriodMs() const { return m_wormPeriodMs; }
    // How far the axis turns during one turn of the worm, in radians.
    double wormAngle() const;
    // The forward distance from the motor position to the next index, 0 to the worm angle.
    double distanceToIndex(double motorPosition) const;
    std::size_t binAt(double motorPosition) const;
    // How far the pointing is from where the motor position puts it, in radians along the axis:
    // the drive's error, less the correction while playback is on.
    double offsetAt(double motorPosition, std::int64_t steadyMs) const;
    // Whether offsetAt can be other than zero, so that readings can skip it.
    bool hasOffset(std::int64_t steadyMs) const;

    void setPlayback(bool on) { m_playback = on; }
    bool playback() const { return m_playback; }
    // Recording takes one worm period from now; stopping before it ends keeps the old table.
    void startRecording(std::int64_t steadyMs);
    void stopRecording(std::int64_t steadyMs);
    bool isRecording(std::int64_t steadyMs) const;
    // A recording has ended, or bins were written.
    bool isRecorded(std::int64_t steadyMs) const;
    std::int8_t bin(std::size_t index, std::int64_t steadyMs) const;
    void setBin(std::size_t index, std::int8_t value, std::int64_t steadyMs);

private:
    using Table = std::array<std::int8_t, binCount>;

    double phaseAt(double motorPosition) const; // 0 to 1
    double errorAt(double phase) const;
    const Table &tableAt(std::int64_t steadyMs) const;
    // A recording that has ended by then replaces the table.
    void commit(std::int64_t steadyMs);

    double m_amplitude = 0;
    std::int64_t m_wormPeriodMs = 480'000;
    double m_switchPosition = 0;
    Table m_table {};
    bool m_written = false;
    bool m_playback = false;
    std::optional<std::int64_t> m_recordingEndsMs;
    Table m_recording {};
};

} // namespace tqx
