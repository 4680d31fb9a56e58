#include "emulation/MountPosition.h"

#include "emulation/Angles.h"
#include "emulation/BusCommandTable.h"
#include "emulation/DateTimeStore.h"
#include "emulation/SiteLocation.h"

#include <algorithm>
#include <cmath>
#include <numbers>

namespace tqx {

namespace {

constexpr double twoTo32 = 4294967296.0;
constexpr double twoTo24 = 16777216.0;

double unsignedAngle(std::uint32_t fraction32) { return fraction32 / twoTo32 * fullTurn; }

// Declination and altitude: the upper half of the revolution is negative (-30 deg is 330 deg).
double signedAngle(std::uint32_t fraction32)
{
    return static_cast<std::int32_t>(fraction32) / twoTo32 * fullTurn;
}

// The nearest 24-bit fraction of a revolution.
std::uint32_t fraction24(double angle)
{
    const double turns = angle / fullTurn;
    const auto units
            = static_cast<std::int64_t>(std::llround((turns - std::floor(turns)) * twoTo24));
    return static_cast<std::uint32_t>(units) & 0xFFFFFF;
}

MountPosition::Pair pairOf(SkyAngles angles)
{
    return {fraction24(angles.first) << 8, fraction24(angles.second) << 8};
}

std::size_t indexOf(MountPosition::Axis axis)
{
    return axis == MountPosition::Axis::Azimuth ? 0 : 1;
}

} // namespace

MountPosition::MountPosition(const Clocks &clocks, const DateTimeStore &dateTime,
                             const SiteLocation &site)
    : m_clocks(clocks)
    , m_dateTime(dateTime)
    , m_site(site)
{
    m_geometry.setSite(m_site.latitudeRadians(), m_site.longitudeRadians());
}

void MountPosition::configure(const MountConfiguration &configuration)
{
    m_worm.configure(configuration.periodicErrorAmplitude, configuration.wormPeriodMs,
                     configuration.switchPosition);
    if (m_atStart) {
        m_configuration = configuration;
        return;
    }
    const Instant instant = now();
    settle(instant);
    m_configuration = configuration;
    // The rest frame follows the axes, which may now be of another kind.
    if (!gotoInProgress())
        restIn(restFrame(), instant);
}

void MountPosition::siteChanged()
{
    if (!m_atStart)
        settle(now());
    m_geometry.setSite(m_site.latitudeRadians(), m_site.longitudeRadians());
}

MountPosition::Instant MountPosition::now() const
{
    return {m_clocks.steadyMs(), m_dateTime.universalMs()};
}

std::int64_t MountPosition::utcAt(const Instant &now, std::int64_t steadyMs) const
{
    return now.utcMs - (now.steadyMs - steadyMs);
}

bool MountPosition::isTracking() const { return m_trackingMode >= 1 && m_trackingMode <= 3; }

SkyFrame MountPosition::restFrame() const { return isTracking() ? SkyFrame::Sky : axisFrame(); }

SkyFrame MountPosition::axisFrame() const
{
    return m_configuration.equatorial ? SkyFrame::Equatorial : SkyFrame::Horizon;
}

double MountPosition::motorSense(std::size_t axisIndex) const
{
    if (!m_configuration.equatorial)
        return 1;
    // The frames' first angle is minus the hour angle: in the northern hemisphere the right
    // ascension motor turns the hour angle up, in the southern one down; the declination motor
    // turns the axis's declination, which runs on past the pole to the other pier side.
    const double hemisphere = m_geometry.latitude() < 0 ? -1 : 1;
    return axisIndex == 0 ? -hemisphere : hemisphere;
}

MountPosition::Direction MountPosition::positiveMotion(Axis axis) const
{
    const std::size_t index = indexOf(axis);
    if (!m_configuration.equatorial)
        return index == 0 ? Direction::AzimuthGrowing : Direction::Up;
    // The first angle is minus the hour angle: falling is west. The declination axis's angle
    // grows north on the east side and south over the pole.
    if (index == 0)
        return motorSense(0) < 0 ? Direction::West : Direction::East;
    const bool growsNorth = pointingSide() == 'E';
    return (motorSense(1) > 0) == growsNorth ? Direction::North : Direction::South;
}

double MountPosition::trackingDrift() const
{
    double rate = siderealArcsecondsPerSecond;
    switch (m_trackingRate) {
    case TrackingRate::Sidereal:
        return 0;
    case TrackingRate::Solar:
        rate = solarArcsecondsPerSecond;
        break;
    case TrackingRate::Lunar:
        rate = lunarArcsecondsPerSecond;
        break;
    }
    // Slower than the stars: the pointing falls behind them, toward growing right ascension.
    return (siderealArcsecondsPerSecond - rate) * radiansPerArcsecond;
}

double MountPosition::driftIn(SkyFrame frame, std::size_t axisIndex) const
{
    return frame == SkyFrame::Sky && axisIndex == 0 && isTracking() ? trackingDrift() : 0;
}

MountPosition::State MountPosition::resting(SkyFrame frame, SkyAngles angles,
                                            std::int64_t steadyMs) const
{
    State state;
    state.frame = frame;
    state.axes = {AxisMotion::still(angles.first, driftIn(frame, 0), steadyMs),
                  AxisMotion::still(angles.second, 0, steadyMs)};
    return state;
}

SkyAngles MountPosition::onGotoSide(SkyAngles angles, SkyFrame frame, std::int64_t utcMs) const
{
    if (!m_configuration.equatorial || frame == SkyFrame::Horizon)
        return angles;
    const double minusHourAngle = frame == SkyFrame::Sky
            ? angles.first - m_geometry.localSiderealTime(utcMs)
            : angles.first;
    if (std::remainder(minusHourAngle, fullTurn) > 0)
        return angles;
    return {angles.first + std::numbers::pi, std::numbers::pi - angles.second};
}

bool MountPosition::isPointingGoto(const State &state) const
{
    return state.frame != SkyFrame::Equatorial
            && std::any_of(state.axes.begin(), state.axes.end(), [](const AxisMotion &motion) {
                   return motion.kind() == AxisMotion::Kind::Goto;
               });
}

SkyAngles MountPosition::carriedTo(const State &state, SkyFrame frame, const Instant &now) const
{
    const SkyAngles angles {state.axes[0].positionAt(now.steadyMs),
                            state.axes[1].positionAt(now.steadyMs)};
    // A goto of the pointing runs in normalised angles; it is on the side it would arrive on.
    if (isPointingGoto(state))
        return onGotoSide(
                normalizedAngles(m_geometry.convert(angles, state.frame, frame, now.utcMs)), frame,
                now.utcMs);
    if (state.frame == frame)
        return angles;
    // Between the sky and the equatorial frame only sidereal time changes: the declination axis
    // stays on its side.
    if (state.frame != SkyFrame::Horizon && frame != SkyFrame::Horizon) {
        const double siderealTime = m_geometry.localSiderealTime(now.utcMs);
        return {angles.first + (frame == SkyFrame::Sky ? siderealTime : -siderealTime),
                angles.second};
    }
    return onGotoSide(normalizedAngles(m_geometry.convert(angles, state.frame, frame, now.utcMs)),
                      frame, now.utcMs);
}

MountPosition::State MountPosition::stateAt(const Instant &now) const
{
    if (m_atStart) {
        const SkyAngles start = m_geometry.dateFromJ2000(
                {unsignedAngle(startRaDec.first), signedAngle(startRaDec.second)}, now.utcMs);
        return resting(SkyFrame::Sky, onGotoSide(start, SkyFrame::Sky, now.utcMs), now.steadyMs);
    }
    const auto isGoto
            = [](const AxisMotion &motion) { return motion.kind() == AxisMotion::Kind::Goto; };
    if (!std::any_of(m_state.axes.begin(), m_state.axes.end(), isGoto))
        return m_state;
    std::int64_t arrivalMs = INT64_MIN;
    for (const AxisMotion &motion : m_state.axes) {
        if (motion.isGotoUnderWayAt(now.steadyMs))
            return m_state;
        if (isGoto(motion))
            arrivalMs = std::max(arrivalMs, motion.arrivalMs());
    }
    // Arrived: from the moment of arrival on, the pointing rests in the rest frame.
    const Instant arrival {arrivalMs, utcAt(now, arrivalMs)};
    return resting(restFrame(), carriedTo(m_state, restFrame(), arrival), arrivalMs);
}

SkyAngles MountPosition::positionIn(const State &state, SkyFrame frame, const Instant &now) const
{
    return normalizedAngles(carriedTo(state, frame, now));
}

SkyAngles MountPosition::motorPositions(const State &state, const Instant &now) const
{
    const SkyAngles angles = carriedTo(state, axisFrame(), now);
    return {motorSense(0) * angles.first, motorSense(1) * angles.second};
}

SkyAngles MountPosition::pointingIn(const State &state, SkyFrame frame, const Instant &now) const
{
    if (!m_worm.hasOffset(now.steadyMs))
        return positionIn(state, frame, now);
    // The worm's error turns the axis away from where its motor put it.
    SkyAngles axes = carriedTo(state, axisFrame(), now);
    axes.first += motorSense(0) * m_worm.offsetAt(motorSense(0) * axes.first, now.steadyMs);
    return normalizedAngles(m_geometry.convert(axes, axisFrame(), frame, now.utcMs));
}

void MountPosition::settle(const Instant &now)
{
    noteArrival(m_indexSeek, 0, now);
    noteArrival(m_levelling[0], 0, now);
    noteArrival(m_levelling[1], 1, now);
    m_state = stateAt(now);
    m_atStart = false;
}

void MountPosition::restIn(SkyFrame frame, const Instant &now)
{
    settle(now);
    m_state = resting(frame, carriedTo(m_state, frame, now), now.steadyMs);
}

SkyAngles MountPosition::skyFromReported(Pair pair, std::int64_t utcMs) const
{
    const SkyAngles reported {unsignedAngle(pair.first), signedAngle(pair.second)};
    return m_configuration.j2000 ? m_geometry.dateFromJ2000(reported, utcMs) : reported;
}

bool MountPosition::belowHorizonLimit(double altitude) const
{
    return !m_configuration.equatorial && altitude < 0;
}

SkyAngles MountPosition::skyNow() const
{
    const Instant instant = now();
    return pointingIn(stateAt(instant), SkyFrame::Sky, instant);
}

SkyAngles MountPosition::horizonNow() const
{
    const Instant instant = now();
    return pointingIn(stateAt(instant), SkyFrame::Horizon, instant);
}

MountPosition::Pair MountPosition::raDec() const
{
    const Instant instant = now();
    const SkyAngles ofDate = pointingIn(stateAt(instant), SkyFrame::Sky, instant);
    return pairOf(m_configuration.j2000 ? m_geometry.j2000FromDate(ofDate, instant.utcMs) : ofDate);
}

MountPosition::Pair MountPosition::azmAlt() const { return pairOf(horizonNow()); }

bool MountPosition::gotoRaDec(Pair target)
{
    const Instant instant = now();
    const SkyAngles sky = skyFromReported(target, instant.utcMs);
    const SkyAngles horizon = normalizedAngles(
            m_geometry.convert(sky, SkyFrame::Sky, SkyFrame::Horizon, instant.utcMs));
    if (belowHorizonLimit(horizon.second))
        return false;
    startGoto(SkyFrame::Sky, sky, instant);
    return true;
}

bool MountPosition::gotoAzmAlt(Pair target)
{
    const SkyAngles horizon {unsignedAngle(target.first), signedAngle(target.second)};
    if (belowHorizonLimit(horizon.second))
        return false;
    startGoto(SkyFrame::Horizon, horizon, now());
    return true;
}

void MountPosition::startGoto(SkyFrame frame, SkyAngles target, const Instant &now)
{
    restIn(frame, now);
    const SkyAngles from = normalizedAngles(
            {m_state.axes[0].positionAt(now.steadyMs), m_state.axes[1].positionAt(now.steadyMs)});
    const SlewRates &rates = m_configuration.rates;
    m_state.axes = {AxisMotion::toTarget(from.first, target.first, true, rates, now.steadyMs),
                    AxisMotion::toTarget(from.second, target.second, false, rates, now.steadyMs)};
}

void MountPosition::syncRaDec(Pair position)
{
    const Instant instant = now();
    settle(instant);
    const SkyAngles sky = skyFromReported(position, instant.utcMs);
    m_state = resting(SkyFrame::Sky, onGotoSide(sky, SkyFrame::Sky, instant.utcMs),
                      instant.steadyMs);
    restIn(restFrame(), instant);
}

void MountPosition::cancelGoto() { restIn(restFrame(), now()); }

bool MountPosition::gotoInProgress() const
{
    const Instant instant = now();
    const State state = stateAt(instant);
    return std::any_of(state.axes.begin(), state.axes.end(), [&](const AxisMotion &motion) {
        return motion.isGotoUnderWayAt(instant.steadyMs);
    });
}

void MountPosition::setTrackingMode(std::uint8_t mode)
{
    const Instant instant = now();
    settle(instant);
    const bool moving = gotoInProgress();
    const bool wasTracking = isTracking();
    m_trackingMode = mode;
    // A goto under way comes to rest in the new frame when it arrives.
    if (!moving && (m_state.frame != restFrame() || wasTracking != isTracking()))
        restIn(restFrame(), instant);
}

void MountPosition::setTrackingRate(TrackingRate rate)
{
    const Instant instant = now();
    settle(instant);
    m_trackingRate = rate;
    // The right ascension motor now turns at the new rate; a slew or pulse of it ends.
    if (m_state.frame == SkyFrame::Sky && !gotoInProgress()) {
        m_state.axes[0] = AxisMotion::still(m_state.axes[0].positionAt(instant.steadyMs),
                                            driftIn(SkyFrame::Sky, 0), instant.steadyMs);
    }
}

char MountPosition::pointingSide() const
{
    if (!m_configuration.equatorial)
        return 'W';
    const Instant instant = now();
    const double declinationAxis
            = carriedTo(stateAt(instant), SkyFrame::Equatorial, instant).second;
    return std::abs(std::remainder(declinationAxis, fullTurn)) <= std::numbers::pi / 2 ? 'E' : 'W';
}

std::uint32_t MountPosition::axisPosition(Axis axis) const
{
    const Instant instant = now();
    const SkyAngles motors = motorPositions(stateAt(instant), instant);
    return fraction24(axis == Axis::Azimuth ? motors.first : motors.second);
}

void MountPosition::setAxisPosition(Axis axis, std::uint32_t position24)
{
    const Instant instant = now();
    restIn(axisFrame(), instant);
    const std::uint32_t fraction32 = (position24 & 0xFFFFFF) << 8;
    const std::size_t index = indexOf(axis);
    SkyAngles motors = motorPositions(m_state, instant);
    (index == 0 ? motors.first : motors.second)
            = index == 0 ? unsignedAngle(fraction32) : signedAngle(fraction32);
    m_state = resting(axisFrame(), {motorSense(0) * motors.first, motorSense(1) * motors.second},
                      instant.steadyMs);
    restIn(restFrame(), instant);
}

void MountPosition::startAxisGoto(std::size_t axisIndex, double motorTarget, const SlewRates &rates,
                                  const Instant &now)
{
    restIn(axisFrame(), now);
    // While the declination axis moves, the right ascension axis goes on tracking.
    if (axisIndex == 1 && isTracking() && m_configuration.equatorial) {
        const double siderealRate = siderealArcsecondsPerSecond * radiansPerArcsecond;
        m_state.axes[0] = AxisMotion::still(m_state.axes[0].positionAt(now.steadyMs), -siderealRate,
                                            now.steadyMs);
    }
    AxisMotion &motion = m_state.axes[axisIndex];
    // An equatorial mount's declination axis turns right round, over the poles.
    const bool wraps = axisIndex == 0 || m_configuration.equatorial;
    motion = AxisMotion::toTarget(motion.positionAt(now.steadyMs),
                                  motorSense(axisIndex) * motorTarget, wraps, rates, now.steadyMs);
}

void MountPosition::gotoAxis(Axis axis, std::uint32_t position24)
{
    const std::uint32_t fraction32 = (position24 & 0xFFFFFF) << 8;
    const std::size_t index = indexOf(axis);
    const double target = index == 0 ? unsignedAngle(fraction32) : signedAngle(fraction32);
    if (index == 1 && belowHorizonLimit(target))
        return;
    startAxisGoto(index, target, m_configuration.rates, now());
}

void MountPosition::fastGotoAxis(Axis axis, std::uint32_t position24)
{
    const std::uint32_t fraction32 = (position24 & 0xFFFFFF) << 8;
    const std::size_t index = indexOf(axis);
    const double target = index == 0 ? unsignedAngle(fraction32) : signedAngle(fraction32);
    if (index == 1 && belowHorizonLimit(target))
        return;
    SlewRates rates = m_configuration.rates;
    rates.approach = 0;
    startAxisGoto(index, target, rates, now());
}

void MountPosition::slewAxis(Axis axis, double radiansPerSecond)
{
    const Instant instant = now();
    settle(instant);
    const bool otherMotion
            = std::any_of(m_state.axes.begin(), m_state.axes.end(), [](const AxisMotion &motion) {
                  return motion.kind() == AxisMotion::Kind::Goto;
              });
    // The other axis keeps its slew, unless a goto was under way or the rest frame has changed.
    if (otherMotion || m_state.frame != restFrame())
        restIn(restFrame(), instant);
    const std::size_t index = indexOf(axis);
    const double from = m_state.axes[index].positionAt(instant.steadyMs);
    const double drift = driftIn(m_state.frame, index);
    m_state.axes[index] = radiansPerSecond == 0
            ? AxisMotion::still(from, drift, instant.steadyMs)
            : AxisMotion::atRate(from, drift + motorSense(index) * radiansPerSecond,
                                 instant.steadyMs);
}

void MountPosition::guidePulse(Axis axis, double percentOfSidereal, std::int64_t durationMs)
{
    const Instant instant = now();
    settle(instant);
    if (gotoInProgress())
        return;
    if (m_state.frame != restFrame())
        restIn(restFrame(), instant);
    const std::size_t index = indexOf(axis);
    AxisMotion &motion = m_state.axes[index];
    const double from = motion.positionAt(instant.steadyMs);
    const double rate = percentOfSidereal / 100 * siderealArcsecondsPerSecond * radiansPerArcsecond
            * motorSense(index);
    motion = AxisMotion::pulse(from, motion.steadyRate(), rate, instant.steadyMs,
                               instant.steadyMs + std::max<std::int64_t>(durationMs, 0));
}

bool MountPosition::isGuidePulseRunning(Axis axis) const
{
    const Instant instant = now();
    return stateAt(instant).axes[indexOf(axis)].isPulseRunningAt(instant.steadyMs);
}

std::optional<MountPosition::GuidePulseProgress> MountPosition::guidePulseProgress(Axis axis) const
{
    const Instant instant = now();
    const std::size_t index = indexOf(axis);
    const AxisMotion motion = stateAt(instant).axes[index];
    if (!motion.isPulseRunningAt(instant.steadyMs))
        return std::nullopt;
    const double percent = motion.pulseRate() * motorSense(index)
            / (siderealArcsecondsPerSecond * radiansPerArcsecond) * 100;
    return GuidePulseProgress {percent, motion.arrivalMs() - instant.steadyMs};
}

bool MountPosition::hasReached(const SwitchSeek &seek, std::size_t axisIndex,
                               const Instant &now) const
{
    if (seek.reached)
        return true;
    // Still the seek's own motion, and it has arrived.
    const AxisMotion &motion = m_state.axes[axisIndex];
    return seek.arrivalMs && !m_atStart && motion.kind() == AxisMotion::Kind::Goto
            && motion.arrivalMs() == *seek.arrivalMs && now.steadyMs >= *seek.arrivalMs;
}

void MountPosition::noteArrival(SwitchSeek &seek, std::size_t axisIndex, const Instant &now)
{
    if (!seek.arrivalMs)
        return;
    seek.reached = hasReached(seek, axisIndex, now);
    // Arrived, or another motion took the axis over before it got there.
    seek.arrivalMs.reset();
}

void MountPosition::startLevelling(Axis axis)
{
    const Instant instant = now();
    const std::size_t index = indexOf(axis);
    const double seekRate = buttonRate(6) * radiansPerArcsecond;
    startAxisGoto(index, m_configuration.switchPosition, {seekRate, seekRate, 0}, instant);
    m_levelling[index] = {m_state.axes[index].arrivalMs(), false};
}

bool MountPosition::isLevellingDone(Axis axis) const
{
    const std::size_t index = indexOf(axis);
    return hasReached(m_levelling[index], index, now());
}

void MountPosition::seekPecIndex()
{
    const Instant instant = now();
    restIn(axisFrame(), instant);
    const double seekRate = buttonRate(6) * radiansPerArcsecond;
    const double distance = m_worm.distanceToIndex(motorPositions(m_state, instant).first);
    AxisMotion &motion = m_state.axes[0];
    const double from = motion.positionAt(instant.steadyMs);
    // Forward, not the shorter way: the worm finds its index only turning on.
    motion = AxisMotion::toTarget(from, from + motorSense(0) * distance, false,
                                  {seekRate, seekRate, 0}, instant.steadyMs);
    m_indexSeek = {motion.arrivalMs(), false};
}

bool MountPosition::startPecRecording()
{
    const Instant instant = now();
    if (!hasReached(m_indexSeek, 0, instant))
        return false;
    m_worm.startRecording(instant.steadyMs);
    return true;
}

void MountPosition::stopPecRecording() { m_worm.stopRecording(now().steadyMs); }

void MountPosition::setPecPlayback(bool on) { m_worm.setPlayback(on); }

PeriodicErrorState MountPosition::periodicErrorState() const
{
    const Instant instant = now();
    PeriodicErrorState state;
    state.indexFound = hasReached(m_indexSeek, 0, instant);
    state.seekingIndex = !state.indexFound && m_indexSeek.arrivalMs
            && stateAt(instant).axes[0].isGotoUnderWayAt(instant.steadyMs);
    state.recording = m_worm.isRecording(instant.steadyMs);
    state.recorded = m_worm.isRecorded(instant.steadyMs);
    state.playback = m_worm.playback();
    state.bin = m_worm.binAt(motorPositions(stateAt(instant), instant).first);
    return state;
}

std::int8_t MountPosition::pecBin(std::size_t bin) const
{
    return m_worm.bin(std::min(bin, WormDrive::binCount - 1), now().steadyMs);
}

void MountPosition::setPecBin(std::size_t bin, std::int8_t value)
{
    m_worm.setBin(std::min(bin, WormDrive::binCount - 1), value, now().steadyMs);
}

std::optional<MountPosition::GotoProgress> MountPosition::gotoProgress(std::size_t pathPoints) const
{
    const Instant instant = now();
    const State state = stateAt(instant);
    std::optional<std::int64_t> arrivalMs;
    for (const AxisMotion &motion : state.axes) {
        if (motion.isGotoUnderWayAt(instant.steadyMs))
            arrivalMs = std::max(arrivalMs.value_or(INT64_MIN), motion.arrivalMs());
    }
    if (!arrivalMs)
        return std::nullopt;

    const auto positionAt = [&](std::int64_t steadyMs) {
        return SkyAngles {state.axes[0].positionAt(steadyMs), state.axes[1].positionAt(steadyMs)};
    };
    const auto horizonAt = [&](std::int64_t steadyMs) {
        return normalizedAngles(m_geometry.convert(positionAt(steadyMs), state.frame,
                                                   SkyFrame::Horizon, utcAt(instant, steadyMs)));
    };
    GotoProgress progress;
    progress.frame = state.frame;
    progress.target = normalizedAngles(positionAt(*arrivalMs));
    const SkyAngles current = positionAt(instant.steadyMs);
    // The angle between the two directions, by the haversine formula (well-conditioned for the
    // small angles of a final approach).
    const double sinHalfSecond = std::sin((progress.target.second - current.second) / 2);
    const double sinHalfFirst = std::sin((progress.target.first - current.first) / 2);
    const double haversine = sinHalfSecond * sinHalfSecond
            + std::cos(current.second) * std::cos(progress.target.second) * sinHalfFirst
                    * sinHalfFirst;
    progress.remaining = 2 * std::asin(std::sqrt(std::clamp(haversine, 0.0, 1.0)));
    progress.remainingMs = *arrivalMs - instant.steadyMs;
    const std::size_t points = std::max<std::size_t>(pathPoints, 2);
    progress.horizonPath.reserve(points);
    const std::int64_t span = *arrivalMs - instant.steadyMs;
    for (std::size_t i = 0; i < points; ++i) {
        const auto offset
                = static_cast<std::int64_t>(static_cast<double>(span) * static_cast<double>(i)
                                            / static_cast<double>(points - 1));
        progress.horizonPath.push_back(horizonAt(instant.steadyMs + offset));
    }
    progress.horizonTarget = progress.horizonPath.back();
    return progress;
}

bool MountPosition::isSlewing() const
{
    const State state = stateAt(now());
    return std::any_of(state.axes.begin(), state.axes.end(), [](const AxisMotion &motion) {
        return motion.kind() == AxisMotion::Kind::Rate;
    });
}

std::optional<double> MountPosition::axisRate(Axis axis) const
{
    const State state = stateAt(now());
    const std::size_t index = indexOf(axis);
    const AxisMotion &motion = state.axes[index];
    if (motion.kind() != AxisMotion::Kind::Rate)
        return std::nullopt;
    // The sense is +1 or -1, its own inverse.
    return (motion.steadyRate() - driftIn(state.frame, index)) * motorSense(index);
}

bool MountPosition::isAxisGotoDone(Axis axis) const
{
    const Instant instant = now();
    return !stateAt(instant).axes[indexOf(axis)].isGotoUnderWayAt(instant.steadyMs);
}

} // namespace tqx
