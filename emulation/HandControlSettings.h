#pragma once

#include "emulation/MountModels.h"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace tqx {

// How the full profile sends its version in reply to "V". Clients read one form or the other and
// misread the other one, so the user picks the form the client under test expects.
enum class VersionFormat {
    Binary, // one byte per number: "4.21" -> 0x04 0x15 "#"
    Hex, // six hexadecimal digits, major minor patch: "4.39.07" -> "042707#"
};

// Whether right ascension and declination are read and written for the date or for J2000.
// Clients reading the binary version form work of the date, those reading the hexadecimal form
// in J2000, so the automatic choice follows the version format.
enum class CoordinateEpoch { Automatic, OfDate, J2000 };

// What the full profile's hand control is: its firmware, its mount and its accessories.
struct HandControlSettings
{
    // Models that clients of each version format read as an equatorial mount: 6 is the medium
    // German equatorial mount in the binary family's numbering; the hexadecimal family's clients
    // take 0, 1 and 4 as equatorial, and 1 is chosen because some clients test the byte for zero.
    static constexpr std::uint8_t equatorialModelBinary = 6;
    static constexpr std::uint8_t equatorialModelHex = 1;

    // Dot-separated version numbers, checked with versionError(). "v", "i" and "I" are answered
    // from 5.28 on.
    std::string version = "4.21";
    VersionFormat versionFormat = VersionFormat::Binary;
    // The reply byte of "m"; empty means the equatorial model of the version format.
    std::optional<std::uint8_t> model;
    // "J" answers 0x01 while aligned, 0x00 otherwise; gotos and syncs in right ascension and
    // declination, and alt-azimuth tracking, need an aligned mount.
    bool aligned = true;
    // Whether the GPS accessory (bus device 176) and the real-time clock (178) answer on the bus.
    bool gpsPresent = false;
    bool clockPresent = false;
    // The reply byte of "v" (firmware 5.28 on).
    std::uint8_t variant = 0;
    // The site the hand control starts with, until a client sends one: degrees, north and east
    // positive.
    double siteLatitude = 0;
    double siteLongitude = 0;
    // How fast a goto moves each axis, in degrees per second: the hand control's fastest button
    // rate by default.
    double slewRate = 4;
    CoordinateEpoch epoch = CoordinateEpoch::Automatic;
    // The emulated mount's own periodic error on the right ascension (or azimuth) axis: a sine of
    // this amplitude in seconds of arc over one turn of the worm, which takes the worm period
    // while the mount tracks. 0, the default, is a perfect drive. Periodic-error playback
    // cancels it once a recording has been made.
    double periodicError = 0;
    double wormPeriod = 480;
    // Where the index switches are on the motor axes, in degrees of motor position: levelling
    // moves an axis there, and the worm's index is found where the right ascension (or azimuth)
    // motor passes it, once every turn of the worm.
    double switchPosition = 0;

    static constexpr double minSlewRate = 0.1;
    static constexpr double maxSlewRate = 90;
    static constexpr double maxPeriodicError = 600;
    static constexpr double minWormPeriod = 10;
    static constexpr double maxWormPeriod = 3600;

    std::uint8_t modelByte() const;
    // The model as the hand control treats it (see mountModelOrDefault).
    MountModel mountModel() const;
    bool isEquatorialMount() const { return mountModel().equatorial; }
    bool usesJ2000() const;

    // Empty when the text is a version the full profile can send; otherwise a sentence for the
    // user that says why it is refused.
    static std::string versionError(std::string_view text);
    // Empty when the site is on the globe (latitude -90 to 90, longitude -180 to 180) and the slew
    // rate, the periodic error, the worm period and the switch position within their bounds;
    // otherwise a sentence for the user.
    std::string mountError() const;
};

} // namespace tqx
