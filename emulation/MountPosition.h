#pragma once

#include "emulation/AxisMotion.h"
#include "emulation/Clocks.h"
#include "emulation/SkyGeometry.h"
#include "emulation/WormDrive.h"

#include <array>
#include <cstdint>
#include <optional>
#include <vector>

namespace tqx {

class DateTimeStore;
class SiteLocation;

// What the full profile's mount is, from the hand-control settings.
struct MountConfiguration
{
    // An equatorial mount's axes are hour angle and declination and it has a pier side; an
    // alt-azimuth mount's are azimuth and altitude and it cannot point below the horizon.
    bool equatorial = true;
    // Right ascension and declination are read and written for J2000 rather than of the date.
    bool j2000 = false;
    SlewRates rates;
    // The motor controllers' optional features of the model.
    bool periodicErrorCorrection = false;
    bool homeSwitches = false;
    // The drive's own periodic error on the right ascension (or azimuth) axis: the amplitude of
    // a sine over one turn of the worm, in radians (0: none), and how long a turn takes at the
    // sidereal rate.
    double periodicErrorAmplitude = 0;
    std::int64_t wormPeriodMs = 480'000;
    // Where the index switches are, as a motor position in radians.
    double switchPosition = 0;
};

// How fast the right ascension motor turns while the mount tracks the sky.
enum class TrackingRate { Sidereal, Solar, Lunar };

// The periodic-error correction of the right ascension (or azimuth) motor, as its commands read
// it.
struct PeriodicErrorState
{
    bool indexFound = false;
    bool seekingIndex = false;
    bool recording = false;
    bool recorded = false; // a recording has been made, or bins written
    bool playback = false;
    std::size_t bin = 0; // where the worm is, 0 to 87
};

// Where the full profile's mount points, and how it moves. There is one pointing; right
// ascension/declination, azimuth/altitude and the two motor axes are views of it through the
// stored site and the hand control's clock.
//
// The pointing is held in one frame with one motion per axis. At rest that frame is the sky
// while the mount tracks (right ascension and declination stay, azimuth and altitude follow the
// sky) and the mount's own axes while it does not (the axes stand still and right ascension
// drifts with sidereal time). A goto moves the two coordinates it was given in, both at once,
// each at the slew rate with a slow final approach; on arrival the pointing comes to rest in the
// rest frame. Every position is computed from the clocks when it is asked for.
class MountPosition
{
public:
    struct Pair
    {
        std::uint32_t first; // right ascension or azimuth, a 32-bit fraction of a revolution
        std::uint32_t second; // declination or altitude
    };
    enum class Axis { Azimuth, Altitude }; // the motor axes: azimuth or right ascension first

    // Until the mount first moves it points at the star Aldebaran, as the basic profile does:
    // this is the star's J2000 position, read in the client's coordinates.
    static constexpr Pair startRaDec {0x310C0500, 0x0BBB0500};

    // 0 off, 1 alt-azimuth, 2 equatorial north, 3 equatorial south; other bytes are kept as sent
    // and do not track.
    static constexpr std::uint8_t startTrackingMode = 2;

    MountPosition(const Clocks &clocks, const DateTimeStore &dateTime, const SiteLocation &site);

    void configure(const MountConfiguration &configuration);
    const MountConfiguration &configuration() const { return m_configuration; }
    // Takes the stored site over; the pointing stays where it is in its rest frame.
    void siteChanged();

    Pair raDec() const;
    Pair azmAlt() const;

    // A goto refused by the horizon limit leaves the mount where it is and returns false.
    bool gotoRaDec(Pair target);
    bool gotoAzmAlt(Pair target);
    // The mount now points at this right ascension and declination; any motion stops.
    void syncRaDec(Pair position);
    // Stops both axes where they are, gotos and slews alike.
    void cancelGoto();
    bool gotoInProgress() const;

    std::uint8_t trackingMode() const { return m_trackingMode; }
    void setTrackingMode(std::uint8_t mode);

    // The direction the tube points, as "p" reports it: a goto to an object west of the
    // meridian puts the tube on the east side of the pier and answers 'W', one east of it 'E';
    // tracking keeps the side over the meridian, and a declination slew over the pole changes
    // it. An alt-azimuth mount has no pier side and always answers 'W'.
    char pointingSide() const;

    // A motor position as a 24-bit fraction of a revolution. Positive motor motion turns the
    // right ascension axis the way the mount tracks (west in the northern hemisphere, east in
    // the southern) and the declination axis north while "p" answers 'E' (south while 'W';
    // mirrored in the southern hemisphere); on an alt-azimuth mount toward growing azimuth and
    // up.
    std::uint32_t axisPosition(Axis axis) const;
    // Redefines where the axis is; any motion stops.
    void setAxisPosition(Axis axis, std::uint32_t position24);
    // A goto of one axis to a motor position; the other axis stands still.
    void gotoAxis(Axis axis, std::uint32_t position24);
    // Where positive motion of a motor moves the pointing now (on an alt-azimuth mount: toward
    // growing azimuth, or up).
    enum class Direction { West, East, North, South, AzimuthGrowing, Up };
    Direction positiveMotion(Axis axis) const;
    // A goto of one axis at the slew rate without a slow final approach.
    void fastGotoAxis(Axis axis, std::uint32_t position24);
    // Turns the motor at a constant rate, positive toward larger motor positions; 0 stops it. A
    // goto under way stops first. Which way that moves the pointing depends on the mount (see
    // the motor axes in the README).
    void slewAxis(Axis axis, double radiansPerSecond);
    bool isAxisGotoDone(Axis axis) const;
    // The rate the motor turns at while the axis moves at a set rate, as slewAxis was given it;
    // nothing while it does anything else.
    std::optional<double> axisRate(Axis axis) const;

    // A guide pulse: the motor turns by percent/100 of the sidereal rate for the duration, on top
    // of whatever it does; a new pulse on the axis replaces a running one, and a goto, "M" or a
    // slew of the axis ends it. Ignored while a goto is under way.
    void guidePulse(Axis axis, double percentOfSidereal, std::int64_t durationMs);
    bool isGuidePulseRunning(Axis axis) const;
    struct GuidePulseProgress
    {
        double percentOfSidereal = 0;
        std::int64_t remainingMs = 0;
    };
    std::optional<GuidePulseProgress> guidePulseProgress(Axis axis) const;

    // The tracking rate is kept while tracking is off and used when it comes back on.
    void setTrackingRate(TrackingRate rate);
    TrackingRate trackingRate() const { return m_trackingRate; }

    // Levelling: the axis turns to its index switch; done once it has arrived.
    void startLevelling(Axis axis);
    bool isLevellingDone(Axis axis) const;

    // Periodic-error correction of the right ascension (or azimuth) motor. Seeking the index
    // turns the axis forward to the worm's index; recording needs the index found (false
    // otherwise) and takes one turn of the worm, storing the corrections that cancel the drive's
    // periodic error bin by bin; playback applies the stored corrections.
    void seekPecIndex();
    bool startPecRecording();
    void stopPecRecording();
    void setPecPlayback(bool on);
    PeriodicErrorState periodicErrorState() const;
    // A bin's correction in units of 0.1 second of arc.
    std::int8_t pecBin(std::size_t bin) const;
    void setPecBin(std::size_t bin, std::int8_t value);

    // A goto under way: where it goes, how far it still has to go and the way it takes.
    struct GotoProgress
    {
        // What the goto moves: right ascension and declination (Sky), azimuth and altitude
        // (Horizon) or an equatorial mount's axes (Equatorial).
        SkyFrame frame = SkyFrame::Sky;
        SkyAngles target; // in that frame, of the date
        double remaining = 0; // radians along the sky
        std::int64_t remainingMs = 0; // of the mount's time until it arrives
        // Azimuth and altitude from now to the arrival, evenly spaced in time.
        std::vector<SkyAngles> horizonPath;
        SkyAngles horizonTarget; // where the target is in azimuth and altitude on arrival
    };
    std::optional<GotoProgress> gotoProgress(std::size_t pathPoints = 32) const;
    // Tracking modes 1 to 3 follow the sky; 0 and other bytes stand still.
    bool isTracking() const;
    // Whether an axis is moving at a set rate (a pass-through slew).
    bool isSlewing() const;

    // Right ascension/declination of the date and azimuth/altitude, in radians, now.
    SkyAngles skyNow() const;
    SkyAngles horizonNow() const;
    const SkyGeometry &geometry() const { return m_geometry; }

private:
    struct Instant
    {
        std::int64_t steadyMs;
        std::int64_t utcMs;
    };
    // The pointing in one frame, one motion per axis. In the sky and equatorial frames of an
    // equatorial mount the declination may run past a pole: that is the declination axis turned
    // to the other pier side, where the hour angle is half a turn from the axis's. Gotos in right
    // ascension and declination or azimuth and altitude move the pointing itself and come to rest
    // on the side a goto chooses for the target; everything else keeps the side it is on.
    struct State
    {
        SkyFrame frame = SkyFrame::Sky;
        std::array<AxisMotion, 2> axes;
    };
    // An axis turning to a switch, and whether it has got there.
    struct SwitchSeek
    {
        std::optional<std::int64_t> arrivalMs;
        bool reached = false;
    };

    Instant now() const;
    std::int64_t utcAt(const Instant &now, std::int64_t steadyMs) const;
    SkyFrame restFrame() const;
    SkyFrame axisFrame() const;
    // The state as it is at the instant: a goto that has arrived has come to rest.
    State stateAt(const Instant &now) const;
    State resting(SkyFrame frame, SkyAngles angles, std::int64_t steadyMs) const;
    // The state's angles at the instant, in another frame, on the pier side the state is on.
    SkyAngles carriedTo(const State &state, SkyFrame frame, const Instant &now) const;
    // Where the motors put the pointing, and where it is with the drive's periodic error.
    SkyAngles positionIn(const State &state, SkyFrame frame, const Instant &now) const;
    SkyAngles pointingIn(const State &state, SkyFrame frame, const Instant &now) const;
    // The motor positions of both axes, in radians.
    SkyAngles motorPositions(const State &state, const Instant &now) const;
    // Motor motion to motion of the frame's angles: +1 or -1 for each axis.
    double motorSense(std::size_t axisIndex) const;
    // How fast the right ascension drifts among the stars at the tracking rate, in radians per
    // second.
    double trackingDrift() const;
    double driftIn(SkyFrame frame, std::size_t axisIndex) const;
    // Normalised angles of the sky or equatorial frame, put on the side a goto would choose:
    // the declination axis over the pole while the object is west of the meridian.
    SkyAngles onGotoSide(SkyAngles angles, SkyFrame frame, std::int64_t utcMs) const;
    bool isPointingGoto(const State &state) const;
    // Commits stateAt(now), then re-expresses the pointing, standing still, in the frame.
    void restIn(SkyFrame frame, const Instant &now);
    void settle(const Instant &now);
    // Both coordinates of the frame toward the target at once, from where the mount is now.
    void startGoto(SkyFrame frame, SkyAngles target, const Instant &now);
    void startAxisGoto(std::size_t axisIndex, double motorTarget, const SlewRates &rates,
                       const Instant &now);
    SkyAngles skyFromReported(Pair pair, std::int64_t utcMs) const;
    bool belowHorizonLimit(double altitude) const;
    bool hasReached(const SwitchSeek &seek, std::size_t axisIndex, const Instant &now) const;
    void noteArrival(SwitchSeek &seek, std::size_t axisIndex, const Instant &now);

    const Clocks &m_clocks;
    const DateTimeStore &m_dateTime;
    const SiteLocation &m_site;
    MountConfiguration m_configuration;
    SkyGeometry m_geometry;
    State m_state;
    // Until the first command that moves the mount, it points at the start star in the
    // coordinates of the date.
    bool m_atStart = true;
    std::uint8_t m_trackingMode = startTrackingMode;
    TrackingRate m_trackingRate = TrackingRate::Sidereal;
    WormDrive m_worm;
    SwitchSeek m_indexSeek;
    std::array<SwitchSeek, 2> m_levelling;
};

} // namespace tqx
