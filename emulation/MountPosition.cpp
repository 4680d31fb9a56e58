#include "emulation/MountPosition.h"

#include "emulation/Angles.h"
#include "emulation/DateTimeStore.h"
#include "emulation/SiteLocation.h"

#include <algorithm>
#include <cmath>

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

MountPosition::State MountPosition::stateAt(const Instant &now) const
{
    if (m_atStart) {
        const SkyAngles start = skyFromReported(startRaDec, now.utcMs);
        State state;
        state.frame = SkyFrame::Sky;
        state.axes = {AxisMotion::still(start.first), AxisMotion::still(start.second)};
        return state;
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
    const std::int64_t arrivalUtc = utcAt(now, arrivalMs);
    const SkyAngles arrived {m_state.axes[0].positionAt(arrivalMs),
                             m_state.axes[1].positionAt(arrivalMs)};
    const SkyAngles resting
            = normalizedAngles(m_geometry.convert(arrived, m_state.frame, restFrame(), arrivalUtc));
    State state;
    state.frame = restFrame();
    state.axes = {AxisMotion::still(resting.first), AxisMotion::still(resting.second)};
    return state;
}

SkyAngles MountPosition::positionIn(const State &state, SkyFrame frame, const Instant &now) const
{
    const SkyAngles angles {state.axes[0].positionAt(now.steadyMs),
                            state.axes[1].positionAt(now.steadyMs)};
    return normalizedAngles(m_geometry.convert(angles, state.frame, frame, now.utcMs));
}

void MountPosition::settle(const Instant &now)
{
    m_state = stateAt(now);
    m_atStart = false;
}

void MountPosition::restIn(SkyFrame frame, const Instant &now)
{
    settle(now);
    const SkyAngles angles = positionIn(m_state, frame, now);
    m_state.frame = frame;
    m_state.axes = {AxisMotion::still(angles.first), AxisMotion::still(angles.second)};
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
    return positionIn(stateAt(instant), SkyFrame::Sky, instant);
}

SkyAngles MountPosition::horizonNow() const
{
    const Instant instant = now();
    return positionIn(stateAt(instant), SkyFrame::Horizon, instant);
}

MountPosition::Pair MountPosition::raDec() const
{
    const Instant instant = now();
    const SkyAngles ofDate = positionIn(stateAt(instant), SkyFrame::Sky, instant);
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
    const SkyAngles from {m_state.axes[0].positionAt(now.steadyMs),
                          m_state.axes[1].positionAt(now.steadyMs)};
    const SlewRates &rates = m_configuration.rates;
    m_state.axes = {AxisMotion::toTarget(from.first, target.first, true, rates, now.steadyMs),
                    AxisMotion::toTarget(from.second, target.second, false, rates, now.steadyMs)};
}

void MountPosition::syncRaDec(Pair position)
{
    const Instant instant = now();
    settle(instant);
    const SkyAngles sky = skyFromReported(position, instant.utcMs);
    m_state.frame = SkyFrame::Sky;
    m_state.axes = {AxisMotion::still(sky.first), AxisMotion::still(sky.second)};
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
    m_trackingMode = mode;
    // A goto under way comes to rest in the new frame when it arrives.
    if (!moving && m_state.frame != restFrame())
        restIn(restFrame(), instant);
}

char MountPosition::pointingSide() const
{
    if (!m_configuration.equatorial)
        return 'W';
    const Instant instant = now();
    const double minusHourAngle = positionIn(stateAt(instant), SkyFrame::Equatorial, instant).first;
    return std::remainder(minusHourAngle, fullTurn) <= 0 ? 'W' : 'E';
}

std::uint32_t MountPosition::axisPosition(Axis axis) const
{
    const Instant instant = now();
    const SkyAngles angles = positionIn(stateAt(instant), axisFrame(), instant);
    return fraction24(axis == Axis::Azimuth ? angles.first : angles.second);
}

void MountPosition::setAxisPosition(Axis axis, std::uint32_t position24)
{
    const Instant instant = now();
    restIn(axisFrame(), instant);
    const std::uint32_t fraction32 = (position24 & 0xFFFFFF) << 8;
    const std::size_t index = indexOf(axis);
    m_state.axes[index]
            = AxisMotion::still(index == 0 ? unsignedAngle(fraction32) : signedAngle(fraction32));
    restIn(restFrame(), instant);
}

void MountPosition::gotoAxis(Axis axis, std::uint32_t position24)
{
    const Instant instant = now();
    const std::uint32_t fraction32 = (position24 & 0xFFFFFF) << 8;
    const std::size_t index = indexOf(axis);
    const double target = index == 0 ? unsignedAngle(fraction32) : signedAngle(fraction32);
    if (index == 1 && belowHorizonLimit(target))
        return;
    restIn(axisFrame(), instant);
    m_state.axes[index]
            = AxisMotion::toTarget(m_state.axes[index].positionAt(instant.steadyMs), target,
                                   index == 0, m_configuration.rates, instant.steadyMs);
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
    m_state.axes[index] = radiansPerSecond == 0
            ? AxisMotion::still(from)
            : AxisMotion::atRate(from, radiansPerSecond, instant.steadyMs);
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

bool MountPosition::isAxisGotoDone(Axis axis) const
{
    const Instant instant = now();
    return !stateAt(instant).axes[indexOf(axis)].isGotoUnderWayAt(instant.steadyMs);
}

} // namespace tqx

// Stubs, replaced below as the motor features land.
namespace tqx {
void MountPosition::fastGotoAxis(Axis axis, std::uint32_t position24) { gotoAxis(axis, position24); }
void MountPosition::guidePulse(Axis, double, std::int64_t) {}
bool MountPosition::isGuidePulseRunning(Axis) const { return false; }
std::optional<MountPosition::GuidePulseProgress> MountPosition::guidePulseProgress(Axis) const { return std::nullopt; }
void MountPosition::setTrackingRate(TrackingRate rate) { m_trackingRate = rate; }
void MountPosition::startLevelling(Axis) {}
bool MountPosition::isLevellingDone(Axis) const { return true; }
void MountPosition::seekPecIndex() {}
bool MountPosition::startPecRecording() { return false; }
void MountPosition::stopPecRecording() {}
void MountPosition::setPecPlayback(bool) {}
PeriodicErrorState MountPosition::periodicErrorState() const { return {}; }
std::int8_t MountPosition::pecBin(std::size_t) const { return 0; }
void MountPosition::setPecBin(std::size_t, std::int8_t) {}
}
